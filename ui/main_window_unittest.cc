#include "ui/main_window.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "install/progress_relay.h"
#include "ui/lite_main_window.h"

namespace ostrel {
namespace {

// Dialogs that answer at once and remember what was asked.
struct DialogLog {
  std::vector<int> failures;
  std::vector<int> notices;
  int resume_answer = kDialogPrimary;
  int resume_runs = 0;
  std::function<void()> while_resume_open;
};

class AnsweringDialog : public InstallerDialog {
 public:
  explicit AnsweringDialog(std::function<int()> answer) : answer_(std::move(answer)) {}
  int Run(HWND) override { return answer_(); }
  void End(int) override {}

 private:
  std::function<int()> answer_;
};

class RecordingDialogFactory : public DialogFactory {
 public:
  explicit RecordingDialogFactory(DialogLog* log) : log_(log) {}
  std::unique_ptr<InstallerDialog> CreateResumeDialog() override {
    return std::make_unique<AnsweringDialog>([log = log_] {
      ++log->resume_runs;
      if (log->while_resume_open) log->while_resume_open();
      return log->resume_answer;
    });
  }
  std::unique_ptr<InstallerDialog> CreateNotice(NoticeType type) override {
    log_->notices.push_back(type);
    return std::make_unique<AnsweringDialog>([] { return kDialogPrimary; });
  }
  std::unique_ptr<InstallerDialog> CreateForFailure(int32_t kind) override {
    log_->failures.push_back(kind);
    return std::make_unique<AnsweringDialog>([] { return kDialogPrimary; });
  }

 private:
  DialogLog* log_;
};

constexpr UINT kRunScriptMessage = WM_APP + 500;

// The real window without an installation; `script` runs inside its modal
// loop once it is shown, as input and setup's messages would arrive there.
class ScriptedWindow : public LiteMainWindow {
 public:
  ScriptedWindow(DialogLog* log, std::function<void(ScriptedWindow&)> script)
      : LiteMainWindow(nullptr, nullptr, false, Services(log)), script_(std::move(script)) {}

  void Send(UINT message, WPARAM wparam = 0) { ::SendMessageW(window(), message, wparam, 0); }
  void Click(int id) { Send(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED)); }

 protected:
  bool HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override {
    if (message == kRunScriptMessage && window == this->window()) {
      script_(*this);
      // A script that did not end the window ends it, so Run returns.
      if (::IsWindow(window)) ::PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
      return true;
    }
    bool handled = LiteMainWindow::HandleMessage(window, message, wparam, lparam, result);
    if (message == WM_INITDIALOG) ::PostMessageW(window, kRunScriptMessage, 0, 0);
    return handled;
  }

 private:
  static MainWindowServices Services(DialogLog* log) {
    MainWindowServices services;
    services.dialogs = std::make_unique<RecordingDialogFactory>(log);
    services.open_url = [](const std::wstring&) {};
    return services;
  }

  std::function<void(ScriptedWindow&)> script_;
};

TEST(MainWindowTest, ProgressFromSetupAndTheImportFillsOneBarUntilSetupCloses) {
  DialogLog log;
  MainWindowMessages messages = MainWindowMessages::Register();
  std::vector<int> positions;
  ScriptedWindow window(&log, [&](ScriptedWindow& w) {
    positions.push_back(w.ProgressPosition());  // no bar on the first screen
    w.Send(kProgressPositionMessage, 30);         // ignored before the click
    positions.push_back(w.ProgressPosition());
    w.Click(kInstallButtonId);
    EXPECT_TRUE(w.progress_shown());
    w.Send(kProgressPositionMessage, 30);
    positions.push_back(w.ProgressPosition());
    w.Send(messages.set_install_progress, 5);
    positions.push_back(w.ProgressPosition());
    w.Send(messages.set_install_progress, 6);  // other stages change nothing
    positions.push_back(w.ProgressPosition());
    w.Send(messages.set_install_progress, 7);
    positions.push_back(w.ProgressPosition());
    w.Send(messages.set_import_progress, 50);
    positions.push_back(w.ProgressPosition());
    w.Send(messages.close_window);
  });
  EXPECT_EQ(window.Run(), kWindowResultInstalled);
  EXPECT_EQ(positions, (std::vector<int>{-1, -1, 30, 75, 75, 79, 90}));
  EXPECT_TRUE(log.failures.empty());
}

TEST(MainWindowTest, FailureBeforeTheClickShowsAtTheClick) {
  DialogLog log;
  bool first_screen_stayed = false;
  ScriptedWindow window(&log, [&](ScriptedWindow& w) {
    w.OnInstallError(kFailureSetupWrongArchitecture);
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
    first_screen_stayed = log.failures.empty() && !w.ended();
    w.Click(kInstallButtonId);
  });
  EXPECT_EQ(window.Run(), kWindowResultInstalled);
  EXPECT_TRUE(first_screen_stayed);
  EXPECT_EQ(log.failures, std::vector<int>{kFailureSetupWrongArchitecture});
  EXPECT_FALSE(window.progress_shown());
}

TEST(MainWindowTest, CloseDuringInstallationAsksAndOnlyStopEndsTheWindow) {
  DialogLog log;
  bool open_after_proceed = false;
  ScriptedWindow window(&log, [&](ScriptedWindow& w) {
    w.Click(kInstallButtonId);
    w.Click(kCloseButtonId);  // "Proceed"
    open_after_proceed = !w.ended();
    log.resume_answer = kDialogSecondary;  // "Stop"
    w.Click(kCloseButtonId);
  });
  EXPECT_EQ(window.Run(), kWindowResultClosed);
  EXPECT_TRUE(open_after_proceed);
  EXPECT_EQ(log.resume_runs, 2);
}

TEST(MainWindowTest, SetupClosingTheWindowDuringTheQuestionWins) {
  DialogLog log;
  MainWindowMessages messages = MainWindowMessages::Register();
  HWND main_window = nullptr;
  log.while_resume_open = [&] { ::SendMessageW(main_window, messages.close_window, 0, 0); };
  log.resume_answer = kDialogSecondary;  // the user's "Stop" comes too late
  ScriptedWindow window(&log, [&](ScriptedWindow& w) {
    main_window = w.window();
    w.Click(kInstallButtonId);
    w.Click(kCloseButtonId);
  });
  EXPECT_EQ(window.Run(), kWindowResultInstalled);
  EXPECT_EQ(log.resume_runs, 1);
}

TEST(MainWindowTest, SetupNoticesEndTheWindowAndTheCorporateQuestionIsAnswered) {
  DialogLog log;
  MainWindowMessages messages = MainWindowMessages::Register();
  LRESULT answer = -1;
  ScriptedWindow window(&log, [&](ScriptedWindow& w) {
    answer = ::SendMessageW(w.window(), messages.corp_user_browser_exists, 0, 0);
    w.Send(messages.higher_version_exist);
  });
  EXPECT_EQ(window.Run(), kWindowResultInstalled);
  EXPECT_EQ(answer, 1);
  EXPECT_EQ(log.notices, (std::vector<int>{kNoticeCorporateUpdate, kNoticeHigherVersion}));
}

}  // namespace
}  // namespace ostrel
