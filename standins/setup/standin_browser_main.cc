// The stand-in browser: keeps a message-only window of the browser's class
// for a while (as the installed browser would while it runs), then ends.
//
//   browser.exe [--lifetime-ms=N]      default 30000
#include <windows.h>

#include "base/installer_command_line.h"
#include "standins/setup/standin_common.h"
#include "standins/setup/standin_contract.h"

namespace {

constexpr UINT_PTR kLifetimeTimer = 1;

LRESULT CALLBACK BrowserWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_TIMER && wparam == kLifetimeTimer) {
    ::PostQuitMessage(0);
    return 0;
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
  using namespace ostrel;
  InstallerCommandLine command_line = InstallerCommandLine::ParseString(::GetCommandLineW());
  standin::RecordLine record;
  record.Add("role", L"browser");
  record.Add("pid", static_cast<int>(::GetCurrentProcessId()));
  record.Add("command_line", ::GetCommandLineW());
  record.Append(standin::RecordPath(command_line));

  uint32_t lifetime_ms = standin::NumericSetting(command_line, standin::kBrowserLifetimeArgument,
                                                 standin::kBrowserLifetimeEnv, 30000);
  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = BrowserWindowProc;
  window_class.hInstance = instance;
  window_class.lpszClassName = standin::kBrowserWindowClass;
  if (!::RegisterClassExW(&window_class)) return 1;
  HWND window = ::CreateWindowExW(0, standin::kBrowserWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  instance, nullptr);
  if (!window) return 2;
  ::SetTimer(window, kLifetimeTimer, lifetime_ms, nullptr);
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  ::DestroyWindow(window);
  return 0;
}
