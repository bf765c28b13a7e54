// test_helper commands for the log and for exit codes.
//   log <log path> <count> <text> [max size]
//   log-error <log path> <windows error code>
//   hold-log-mutex <log path> <milliseconds>
//   die-holding-log-mutex <log path>
//   exit-code <signed or 0x code>
//   sleep <milliseconds>
//   hold-desktop [ready file]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "base/file_logger.h"
#include "base/logging.h"
#include "base/utf_string_conversions.h"
#include "testing/helper_commands.h"

namespace ostrel::testing {
namespace {

void InstallLogger(const std::wstring& path, int32_t max_size) {
  SetFileLogger(std::make_unique<FileLogger>(path, max_size));
}

HANDLE AcquireLogMutex(const std::wstring& path) {
  HANDLE mutex = ::CreateMutexW(nullptr, FALSE, FileLogger::MutexNameForPath(path).c_str());
  if (mutex) ::WaitForSingleObject(mutex, INFINITE);
  return mutex;
}

int Log(const std::vector<std::wstring>& a) {
  if (a.size() < 3) return 2;
  InstallLogger(a[0], a.size() >= 4 ? _wtoi(a[3].c_str()) : kLogFileMaxSize);
  int count = _wtoi(a[1].c_str());
  std::string text = WideToUtf8(a[2]);
  for (int i = 0; i < count; ++i) LOG_TAG(INFO, "wmain") << text << " " << i;
  return 0;
}

int LogError(const std::vector<std::wstring>& a) {
  if (a.size() < 2) return 2;
  InstallLogger(a[0], kLogFileMaxSize);
  ::SetLastError(static_cast<DWORD>(wcstoul(a[1].c_str(), nullptr, 0)));
  PLOG_TAG(ERROR, "wmain") << "Failed on purpose";
  return 0;
}

int HoldLogMutex(const std::vector<std::wstring>& a) {
  if (a.size() < 2) return 2;
  HANDLE mutex = AcquireLogMutex(a[0]);
  if (!mutex) return 3;
  ::Sleep(static_cast<DWORD>(_wtoi(a[1].c_str())));
  ::ReleaseMutex(mutex);
  ::CloseHandle(mutex);
  return 0;
}

int DieHoldingLogMutex(const std::vector<std::wstring>& a) {
  if (a.empty() || !AcquireLogMutex(a[0])) return 3;
  ::ExitProcess(0);  // ends without releasing: the mutex is abandoned
}

int ExitCode(const std::vector<std::wstring>& a) {
  if (a.empty()) return 2;
  // wcstoul wraps negative text, so -200 and 0xFFFFFF38 are the same code.
  return static_cast<int>(wcstoul(a[0].c_str(), nullptr, 0));
}

int SleepFor(const std::vector<std::wstring>& a) {
  if (a.empty()) return 2;
  ::Sleep(static_cast<DWORD>(_wtoi(a[0].c_str())));
  return 0;
}

// Stays connected to the prefix's desktop until killed. Wine closes an idle
// desktop and the next window program starts it again, handing its own
// standard handles to the desktop process: under CTest that is the test's
// output pipe, which then stays open (and the test "hangs") for as long as
// any other test keeps the desktop busy. Held from the start of a run, the
// desktop is started once, by this process, with no pipe to keep.
int HoldDesktop(const std::vector<std::wstring>& a) {
  if (!::GetDesktopWindow()) return 3;
  if (!a.empty()) {
    HANDLE ready = ::CreateFileW(a[0].c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ready != INVALID_HANDLE_VALUE) ::CloseHandle(ready);
  }
  for (;;) ::Sleep(INFINITE);
}

HelperCommandRegistrar log_command(L"log", Log);
HelperCommandRegistrar log_error_command(L"log-error", LogError);
HelperCommandRegistrar hold_command(L"hold-log-mutex", HoldLogMutex);
HelperCommandRegistrar die_command(L"die-holding-log-mutex", DieHoldingLogMutex);
HelperCommandRegistrar exit_code_command(L"exit-code", ExitCode);
HelperCommandRegistrar sleep_command(L"sleep", SleepFor);
HelperCommandRegistrar hold_desktop_command(L"hold-desktop", HoldDesktop);

}  // namespace
}  // namespace ostrel::testing
