// test_helper commands for scripts/bench.sh. Times are taken inside the
// Windows side, so the cost of starting wine64 and this helper stays out.
//   verify-module <archive> <runs>
//       Verifies the archive as the installer does (trusted list from the
//       archive, then VerifyModule through an open handle) <runs> times;
//       prints "result=ok|refused best_ms=.. median_ms=.. runs=..".
//   first-paint <runs> <timeout ms> -- <command line>
//       Starts the command <runs> times, one after the other; each time waits
//       until the process has a visible top-level window and is then input
//       idle (its first paint handled), closes it and waits for it to end.
//       Prints "best_ms=.. median_ms=.. visible_best_ms=.. runs=..
//       each_ms=a,b,.." (from just before CreateProcess).
//   timed-run <temp dir> <timeout ms> <command line file>
//       Runs the command line read from the UTF-8 file with TEMP and TMP set
//       to <temp dir>; prints "exit=<signed code> ms=..".
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "base/file_util.h"
#include "base/scoped_handle.h"
#include "base/utf_string_conversions.h"
#include "testing/helper_commands.h"
#include "trust/tarvik_trust_verifier_win.h"
#include "trust/trusted_certificate_list.h"

namespace ostrel::testing {
namespace {

double NowMs() {
  LARGE_INTEGER frequency, counter;
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

int ParseCount(const std::wstring& text) {
  int value = _wtoi(text.c_str());
  return value > 0 ? value : 0;
}

int VerifyModuleCommand(const std::vector<std::wstring>& a) {
  int runs = a.size() >= 2 ? ParseCount(a[1]) : 0;
  if (runs == 0) return 2;
  std::vector<double> times;
  bool all_ok = true;
  for (int run = 0; run < runs; ++run) {
    double start = NowMs();
    ScopedFileHandle file(::CreateFileW(a[0].c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    TrustedCertificateList trusted;
    bool ok = file.IsValid() && GetTrustedFiles(GetTrustJsonFromModule(a[0]), &trusted) &&
              VerifyModule(a[0], trusted, false, file.Get());
    times.push_back(NowMs() - start);
    all_ok = all_ok && ok;
  }
  std::printf("result=%s best_ms=%.1f median_ms=%.1f runs=%d\n", all_ok ? "ok" : "refused",
              *std::min_element(times.begin(), times.end()), Median(times), runs);
  return all_ok ? 0 : 1;
}

struct WindowSearch {
  DWORD process_id;
  HWND found;
};

BOOL CALLBACK FindVisibleWindow(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<WindowSearch*>(context);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner != search->process_id || !::IsWindowVisible(window)) return TRUE;
  search->found = window;
  return FALSE;
}

// Closes the process's main windows as the user would; owned windows (the
// installer's shadows) go with them.
BOOL CALLBACK CloseWindowsOfProcess(HWND window, LPARAM process_id) {
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner == static_cast<DWORD>(process_id) && ::IsWindowVisible(window) && !::GetWindow(window, GW_OWNER))
    ::PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  return TRUE;
}

// The text after the first " -- " of the raw command line, quoting intact.
std::wstring CommandAfterSeparator() {
  std::wstring raw = ::GetCommandLineW();
  size_t separator = raw.find(L" -- ");
  return separator == std::wstring::npos ? std::wstring() : raw.substr(separator + 4);
}

// Milliseconds to the first visible window and to input idle after it; false
// when either did not come within the time-out.
bool TimeFirstPaint(std::wstring command, DWORD timeout_ms, double* visible_ms, double* idle_ms) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  double start = NowMs();
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    std::fprintf(stderr, "CreateProcess failed: %lu\n", ::GetLastError());
    return false;
  }
  ScopedKernelHandle process(info.hProcess);
  ScopedKernelHandle thread(info.hThread);
  WindowSearch search = {info.dwProcessId, nullptr};
  bool painted = false;
  while (NowMs() - start < timeout_ms) {
    ::EnumWindows(FindVisibleWindow, reinterpret_cast<LPARAM>(&search));
    if (search.found) break;
    if (::WaitForSingleObject(process.Get(), 1) == WAIT_OBJECT_0) break;
  }
  if (search.found) {
    *visible_ms = NowMs() - start;
    DWORD left = static_cast<DWORD>(std::max(0.0, timeout_ms - *visible_ms));
    painted = ::WaitForInputIdle(process.Get(), left) == 0;
    *idle_ms = NowMs() - start;
  }
  ::EnumWindows(CloseWindowsOfProcess, info.dwProcessId);
  if (::WaitForSingleObject(process.Get(), 10000) != WAIT_OBJECT_0) {
    ::TerminateProcess(process.Get(), 1);
    ::WaitForSingleObject(process.Get(), 10000);
  }
  return painted;
}

int FirstPaintCommand(const std::vector<std::wstring>& a) {
  std::wstring command = CommandAfterSeparator();
  int runs = a.size() >= 3 ? ParseCount(a[0]) : 0;
  if (runs == 0 || command.empty()) return 2;
  DWORD timeout_ms = static_cast<DWORD>(ParseCount(a[1]));
  std::vector<double> idle_times, visible_times;
  for (int run = 0; run < runs; ++run) {
    double visible_ms = 0, idle_ms = 0;
    if (!TimeFirstPaint(command, timeout_ms, &visible_ms, &idle_ms)) {
      std::printf("result=failed run=%d\n", run);
      return 1;
    }
    visible_times.push_back(visible_ms);
    idle_times.push_back(idle_ms);
  }
  std::printf("best_ms=%.1f median_ms=%.1f visible_best_ms=%.1f runs=%d each_ms=",
              *std::min_element(idle_times.begin(), idle_times.end()), Median(idle_times),
              *std::min_element(visible_times.begin(), visible_times.end()), runs);
  for (size_t run = 0; run < idle_times.size(); ++run) std::printf(run ? ",%.0f" : "%.0f", idle_times[run]);
  std::printf("\n");
  return 0;
}

int TimedRunCommand(const std::vector<std::wstring>& a) {
  std::string command_utf8;
  if (a.size() < 3 || !ReadFileToBytes(a[2], &command_utf8)) return 2;
  while (!command_utf8.empty() && (command_utf8.back() == '\n' || command_utf8.back() == '\r')) command_utf8.pop_back();
  std::wstring command = Utf8ToWide(command_utf8);
  ::SetEnvironmentVariableW(L"TEMP", a[0].c_str());
  ::SetEnvironmentVariableW(L"TMP", a[0].c_str());
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  double start = NowMs();
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    std::printf("exit=start-failed %lu\n", ::GetLastError());
    return 1;
  }
  ScopedKernelHandle process(info.hProcess);
  ScopedKernelHandle thread(info.hThread);
  if (::WaitForSingleObject(process.Get(), static_cast<DWORD>(ParseCount(a[1]))) != WAIT_OBJECT_0) {
    ::TerminateProcess(process.Get(), 1);
    std::printf("exit=timeout\n");
    return 1;
  }
  double elapsed = NowMs() - start;
  DWORD code = 0;
  ::GetExitCodeProcess(process.Get(), &code);
  std::printf("exit=%ld ms=%.1f\n", static_cast<long>(code), elapsed);
  return 0;
}

HelperCommandRegistrar verify_module_command(L"verify-module", VerifyModuleCommand);
HelperCommandRegistrar first_paint_command(L"first-paint", FirstPaintCommand);
HelperCommandRegistrar timed_run_command(L"timed-run", TimedRunCommand);

}  // namespace
}  // namespace ostrel::testing
