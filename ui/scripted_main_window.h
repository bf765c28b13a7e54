// Test support: the real installation window with no installation behind
// it, driven by a script that runs inside its modal loop once the dialog is
// laid out and shown, as input and setup's messages would arrive there.
#ifndef UI_SCRIPTED_MAIN_WINDOW_H_
#define UI_SCRIPTED_MAIN_WINDOW_H_

#include <windows.h>

#include <functional>
#include <utility>

#include "install/window_protocol.h"
#include "ui/lite_main_window.h"

namespace ostrel::testing {

class ScriptedMainWindow : public LiteMainWindow {
 public:
  using Script = std::function<void(ScriptedMainWindow&)>;

  // What ends a window the script left open, so that Run returns.
  enum class Ending {
    kSystemClose,     // the close command of the system menu
    kAsSetupEndsIt,   // setup's close message: no question during an installation
    kLeftToTheWindow  // the script arranged its own ending
  };

  ScriptedMainWindow(const BrandInfo* brand, const DistribInfoParams* params, MainWindowServices services,
                     Script script, Ending ending)
      : LiteMainWindow(brand, params, false, std::move(services)), script_(std::move(script)), ending_(ending) {}

  void Send(UINT message, WPARAM wparam = 0) { ::SendMessageW(window(), message, wparam, 0); }
  void Click(int id) { Send(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED)); }

 protected:
  bool HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override {
    if (message == kRunScriptMessage && window == this->window()) {
      script_(*this);
      if (!::IsWindow(window)) return true;
      if (ending_ == Ending::kSystemClose) ::PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
      if (ending_ == Ending::kAsSetupEndsIt) ::PostMessageW(window, WindowMessages::Register().close_window, 0, 0);
      return true;
    }
    bool handled = LiteMainWindow::HandleMessage(window, message, wparam, lparam, result);
    if (message == WM_INITDIALOG && window == this->window()) ::PostMessageW(window, kRunScriptMessage, 0, 0);
    return handled;
  }

 private:
  static constexpr UINT kRunScriptMessage = WM_APP + 500;

  Script script_;
  Ending ending_;
};

}  // namespace ostrel::testing

#endif  // UI_SCRIPTED_MAIN_WINDOW_H_
