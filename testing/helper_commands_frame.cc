// test_helper commands for the process frame.
//   --check-the-interface
//       Stands in for the installer's probe child. Behaviour from the
//       environment variable TARVIK_PROBE_CHILD: "hang", "crash" or an exit
//       code (default 701). A hanging child writes its process id to the
//       file named by TARVIK_PROBE_CHILD_PID_FILE, if set.
//   hold-installer-instance <installer exe> <ready file> <stop file> <result file>
//       Acts as a running first installer: maps the installer executable as
//       an image (sharing its SHARED section with installer processes),
//       writes its own process id there, holds the single-instance mutex and
//       owns a window. Writes "<pid> <hwnd>" to the ready file, runs until the
//       stop file exists, then writes "foreground=<0|1>" (its window is the
//       foreground window) to the result file.
//   take-foreground <ready file> <stop file>
//       Owns a window that takes the foreground until the stop file exists.
//   run-with-temp [--as-user] <temp dir> <timeout ms> -- <command line>
//       Runs the command with TEMP and TMP set to <temp dir> and prints
//       "exit=<signed exit code>" (or "exit=timeout", "exit=start-failed").
//       With --as-user it runs with the limited token linked to this
//       administrator's (Wine gives every process an elevated one), as a
//       user who has not been asked for elevation.
//   wait-process <process id> <timeout ms>
//       Opens the process, prints "opened" (or "exit=open-failed"), waits for
//       its end and prints "exit=<signed exit code>" (or "exit=timeout").
//   end-process <process id>
//       Terminates the process with exit code 1, as a user's task manager
//       would; exit status 0 when it was ended.
//   window-state <title> [restore]
//       Prints "iconic=<0|1> visible=<0|1>" of the top-level window with that
//       title; with "restore" it first restores it as a taskbar click would
//       (WM_SYSCOMMAND SC_RESTORE). Exit status 1 when there is no such window.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/single_instance.h"
#include "base/file_util.h"
#include "base/scoped_handle.h"
#include "base/utf_string_conversions.h"
#include "testing/helper_commands.h"

namespace ostrel::testing {
namespace {

constexpr DWORD kHoldLimitMs = 120000;

bool WriteText(const std::wstring& path, const std::string& text);

int ProbeChild(const std::vector<std::wstring>&) {
  wchar_t behaviour[64] = {};
  ::GetEnvironmentVariableW(L"TARVIK_PROBE_CHILD", behaviour, 64);
  std::wstring text = behaviour;
  if (text == L"hang") {
    wchar_t pid_file[MAX_PATH] = {};
    if (::GetEnvironmentVariableW(L"TARVIK_PROBE_CHILD_PID_FILE", pid_file, MAX_PATH))
      WriteText(pid_file, std::to_string(::GetCurrentProcessId()));
    ::Sleep(INFINITE);
  }
  if (text == L"crash") {
    volatile int* nowhere = nullptr;
    *nowhere = 1;
  }
  if (text.empty()) return 701;
  return static_cast<int>(wcstoul(text.c_str(), nullptr, 0));
}

// Start of the section named `name` in a mapped image; null when missing.
volatile uint32_t* FindSection(HMODULE image, const char* name) {
  auto* base = reinterpret_cast<BYTE*>(image);
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
    if (strncmp(reinterpret_cast<const char*>(section->Name), name, IMAGE_SIZEOF_SHORT_NAME) == 0)
      return reinterpret_cast<volatile uint32_t*>(base + section->VirtualAddress);
  }
  return nullptr;
}

HWND CreateTestWindow(const wchar_t* title) {
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = ::DefWindowProcW;
  window_class.hInstance = ::GetModuleHandleW(nullptr);
  window_class.lpszClassName = L"TarvikFrameTestWindow";
  ::RegisterClassW(&window_class);
  HWND window = ::CreateWindowExW(0, window_class.lpszClassName, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 300,
                                  200, nullptr, nullptr, window_class.hInstance, nullptr);
  if (window) {
    ::ShowWindow(window, SW_SHOW);
    ::SetForegroundWindow(window);
  }
  return window;
}

// Pumps messages until `stop_file` exists.
void PumpUntil(const std::wstring& stop_file) {
  DWORD start = ::GetTickCount();
  while (!FileExists(stop_file) && ::GetTickCount() - start < kHoldLimitMs) {
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
}

bool WriteText(const std::wstring& path, const std::string& text) {
  // Written whole under another name first, so readers never see half.
  std::wstring partial = path + L".partial";
  return WriteBytesToFile(partial, text) && ::MoveFileExW(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

int HoldInstallerInstance(const std::vector<std::wstring>& a) {
  if (a.size() < 4) return 2;
  HMODULE image = ::LoadLibraryExW(a[0].c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
  if (!image) return 3;
  volatile uint32_t* master = FindSection(image, kMasterProcessIdSectionName);
  if (!master) return 4;
  *master = ::GetCurrentProcessId();
  ScopedKernelHandle mutex(::CreateMutexW(nullptr, FALSE, kSingleInstanceMutexName));
  if (!mutex.IsValid() || ::WaitForSingleObject(mutex.Get(), 0) != WAIT_OBJECT_0) return 5;
  HWND window = CreateTestWindow(L"Installer instance stand-in");
  if (!window) return 6;
  char ready[64];
  std::snprintf(ready, sizeof(ready), "%lu %llu", ::GetCurrentProcessId(),
                static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)));
  if (!WriteText(a[1], ready)) return 7;
  PumpUntil(a[2]);
  std::string result = ::GetForegroundWindow() == window ? "foreground=1" : "foreground=0";
  WriteText(a[3], result);
  ::ReleaseMutex(mutex.Get());
  ::DestroyWindow(window);
  return 0;
}

int TakeForeground(const std::vector<std::wstring>& a) {
  if (a.size() < 2) return 2;
  HWND window = CreateTestWindow(L"Foreground taker");
  if (!window) return 6;
  if (!WriteText(a[0], std::to_string(::GetCurrentProcessId()))) return 7;
  PumpUntil(a[1]);
  ::DestroyWindow(window);
  return 0;
}

// The text after the first " -- " of the raw command line, quoting intact.
std::wstring CommandAfterSeparator() {
  std::wstring raw = ::GetCommandLineW();
  size_t separator = raw.find(L" -- ");
  return separator == std::wstring::npos ? std::wstring() : raw.substr(separator + 4);
}

// Waits for `process` and prints "exit=<signed code>" (the shell sees only
// 8 bits), or "exit=timeout", ending it first when `end_on_timeout`.
int PrintExitCode(HANDLE process, DWORD timeout_ms, bool end_on_timeout) {
  if (::WaitForSingleObject(process, timeout_ms) != WAIT_OBJECT_0) {
    if (end_on_timeout) ::TerminateProcess(process, 1);
    std::printf("exit=timeout\n");
    return 1;
  }
  DWORD code = 0;
  ::GetExitCodeProcess(process, &code);
  std::printf("exit=%ld\n", static_cast<long>(code));
  std::fflush(stdout);
  return 0;
}

// A primary token of the limited half of this process's elevated token.
ScopedKernelHandle LimitedUserToken() {
  ScopedKernelHandle own;
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, &token)) return own;
  own.Reset(token);
  TOKEN_LINKED_TOKEN linked = {};
  DWORD size = 0;
  if (!::GetTokenInformation(own.Get(), TokenLinkedToken, &linked, sizeof(linked), &size)) return ScopedKernelHandle();
  ScopedKernelHandle linked_owner(linked.LinkedToken);
  HANDLE primary = nullptr;
  if (!::DuplicateTokenEx(linked_owner.Get(), TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation, TokenPrimary,
                          &primary))
    return ScopedKernelHandle();
  return ScopedKernelHandle(primary);
}

int RunWithTemp(const std::vector<std::wstring>& arguments) {
  std::wstring command = CommandAfterSeparator();
  bool as_user = !arguments.empty() && arguments[0] == L"--as-user";
  std::vector<std::wstring> a(arguments.begin() + (as_user ? 1 : 0), arguments.end());
  if (a.size() < 3 || command.empty()) return 2;
  ScopedKernelHandle user_token;
  if (as_user) {
    user_token = LimitedUserToken();
    if (!user_token.IsValid()) {
      std::printf("exit=start-failed %lu\n", ::GetLastError());
      return 1;
    }
  }
  ::SetEnvironmentVariableW(L"TEMP", a[0].c_str());
  ::SetEnvironmentVariableW(L"TMP", a[0].c_str());
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  BOOL started = as_user ? ::CreateProcessAsUserW(user_token.Get(), nullptr, command.data(), nullptr, nullptr, FALSE,
                                                  0, nullptr, nullptr, &startup, &info)
                         : ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                            &startup, &info);
  if (!started) {
    std::printf("exit=start-failed %lu\n", ::GetLastError());
    return 1;
  }
  ScopedKernelHandle process(info.hProcess);
  ScopedKernelHandle thread(info.hThread);
  return PrintExitCode(process.Get(), static_cast<DWORD>(_wtoi(a[1].c_str())), /*end_on_timeout=*/true);
}

int WaitProcess(const std::vector<std::wstring>& a) {
  if (a.size() < 2) return 2;
  ScopedKernelHandle process(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                           static_cast<DWORD>(_wtoi(a[0].c_str()))));
  if (!process.IsValid()) {
    std::printf("exit=open-failed %lu\n", ::GetLastError());
    return 1;
  }
  // The caller may now end what it waits for: the handle keeps the exit code.
  std::printf("opened\n");
  std::fflush(stdout);
  return PrintExitCode(process.Get(), static_cast<DWORD>(_wtoi(a[1].c_str())), /*end_on_timeout=*/false);
}

int EndProcess(const std::vector<std::wstring>& a) {
  if (a.empty()) return 2;
  ScopedKernelHandle process(::OpenProcess(PROCESS_TERMINATE, FALSE, static_cast<DWORD>(_wtoi(a[0].c_str()))));
  return process.IsValid() && ::TerminateProcess(process.Get(), 1) ? 0 : 1;
}

int WindowState(const std::vector<std::wstring>& arguments) {
  if (arguments.empty()) return 2;
  HWND window = ::FindWindowW(nullptr, arguments[0].c_str());
  if (!window) return 1;
  if (arguments.size() > 1 && arguments[1] == L"restore") {
    ::SendMessageTimeoutW(window, WM_SYSCOMMAND, SC_RESTORE, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
  }
  std::printf("iconic=%d visible=%d\n", ::IsIconic(window) ? 1 : 0, ::IsWindowVisible(window) ? 1 : 0);
  return 0;
}

HelperCommandRegistrar probe_child_command(L"--check-the-interface", ProbeChild);
HelperCommandRegistrar hold_instance_command(L"hold-installer-instance", HoldInstallerInstance);
HelperCommandRegistrar take_foreground_command(L"take-foreground", TakeForeground);
HelperCommandRegistrar run_with_temp_command(L"run-with-temp", RunWithTemp);
HelperCommandRegistrar wait_process_command(L"wait-process", WaitProcess);
HelperCommandRegistrar end_process_command(L"end-process", EndProcess);
HelperCommandRegistrar window_state_command(L"window-state", WindowState);

}  // namespace
}  // namespace ostrel::testing
