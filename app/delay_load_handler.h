// The process-wide handler that watches the binding of delay-loaded system
// libraries. Every system library except kernel32 and oleacc is bound on
// first use; when a library or one of its functions is missing (an older
// Windows), the process tells the user if it already has a user interface and
// ends, instead of calling into nothing.
//
// An executable installs the handler by defining the two mingw-w64 hook
// variables (see app/main.cc):
//   extern "C" PfnDliHook __pfnDliNotifyHook2 = ostrel::DelayLoadHook;
//   extern "C" PfnDliHook __pfnDliFailureHook2 = ostrel::DelayLoadHook;
#ifndef APP_DELAY_LOAD_HANDLER_H_
#define APP_DELAY_LOAD_HANDLER_H_

#include <windows.h>
#include <delayimp.h>

#include <atomic>
#include <string>
#include <string_view>

namespace ostrel {

// Exit code of a process that ends because a system library or function
// could not be bound.
inline constexpr int kMissingSystemLibraryExitCode = 405;

// Caption of the message box shown for a missing library or function.
inline constexpr char kMissingSystemLibraryCaption[] = "Tarvik Browser installer";

// The hook for both mingw-w64 hook variables; forwards to the process-wide
// DelayLoadWatcher.
FARPROC WINAPI DelayLoadHook(unsigned notification, PDelayLoadInfo info);

// "Windows dll is not found: <dll>" or "Function <name> not found in Windows
// dll <dll>" (a function imported by ordinal is named "#<ordinal>"); empty
// for notifications that are not failures.
std::string DelayLoadFailureMessage(unsigned notification, const DelayLoadInfo& info);

// The message box is shown only when user32 is already in use and the raw
// command line does not contain "--silent" anywhere.
bool ShouldShowDelayLoadFailure(bool user32_in_use, std::wstring_view raw_command_line);

class DelayLoadWatcher {
 public:
  struct Actions {
    // Shows `text` to the user (MessageBoxA without owner).
    void (*show_message)(const char* text);
    // Ends the process with `exit_code`; does not return in production.
    void (*end_process)(int exit_code);
    // The raw process command line.
    const wchar_t* (*raw_command_line)();
  };

  explicit DelayLoadWatcher(const Actions& actions) : actions_(actions) {}
  DelayLoadWatcher(const DelayLoadWatcher&) = delete;
  DelayLoadWatcher& operator=(const DelayLoadWatcher&) = delete;

  // One notification of the delay-load helper. Returns null: binding goes on
  // as usual (or the process has ended).
  FARPROC Notify(unsigned notification, const DelayLoadInfo& info);

  // Set once a library whose name begins with "user32.dll" is bound; never
  // cleared.
  bool user32_in_use() const { return user32_in_use_.load(); }

 private:
  Actions actions_;
  std::atomic<bool> user32_in_use_{false};
};

// The production actions: MessageBoxA through the already loaded user32 (so
// that reporting never needs delay loading itself), TerminateProcess, and
// GetCommandLineW.
const DelayLoadWatcher::Actions& DefaultDelayLoadActions();

}  // namespace ostrel

#endif  // APP_DELAY_LOAD_HANDLER_H_
