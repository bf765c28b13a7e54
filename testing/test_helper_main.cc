// A small program that tests start as real processes when a behaviour only
// shows between processes (the log's cross-process lock, exit codes).
//
//   test_helper log <log path> <count> <text> [max size]
//   test_helper log-error <log path> <windows error code>
//   test_helper hold-log-mutex <log path> <milliseconds>
//   test_helper die-holding-log-mutex <log path>
//   test_helper exit-code <signed or 0x code>
//   test_helper sleep <milliseconds>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/file_logger.h"
#include "base/logging.h"
#include "base/utf_string_conversions.h"

namespace {

int Usage() { return 2; }

void InstallLogger(const wchar_t* path, int32_t max_size) {
  ostrel::SetFileLogger(std::make_unique<ostrel::FileLogger>(path, max_size));
}

HANDLE AcquireLogMutex(const wchar_t* path) {
  HANDLE mutex = ::CreateMutexW(nullptr, FALSE, ostrel::FileLogger::MutexNameForPath(path).c_str());
  if (mutex) ::WaitForSingleObject(mutex, INFINITE);
  return mutex;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return Usage();
  std::wstring command = argv[1];
  if (command == L"log" && argc >= 5) {
    int32_t max_size = argc >= 6 ? _wtoi(argv[5]) : ostrel::kLogFileMaxSize;
    InstallLogger(argv[2], max_size);
    int count = _wtoi(argv[3]);
    std::string text = ostrel::WideToUtf8(argv[4]);
    for (int i = 0; i < count; ++i) LOG(INFO) << text << " " << i;
    return 0;
  }
  if (command == L"log-error" && argc >= 4) {
    InstallLogger(argv[2], ostrel::kLogFileMaxSize);
    ::SetLastError(static_cast<DWORD>(wcstoul(argv[3], nullptr, 0)));
    PLOG(ERROR) << "Failed on purpose";
    return 0;
  }
  if (command == L"hold-log-mutex" && argc >= 4) {
    HANDLE mutex = AcquireLogMutex(argv[2]);
    if (!mutex) return 3;
    // Tell the test (through stdout) that the mutex is held.
    std::printf("held\n");
    std::fflush(stdout);
    ::Sleep(static_cast<DWORD>(_wtoi(argv[3])));
    ::ReleaseMutex(mutex);
    ::CloseHandle(mutex);
    return 0;
  }
  if (command == L"die-holding-log-mutex" && argc >= 3) {
    if (!AcquireLogMutex(argv[2])) return 3;
    ::ExitProcess(0);  // ends without releasing: the mutex is abandoned
  }
  if (command == L"exit-code" && argc >= 3) {
    // wcstoul wraps negative text, so -200 and 0xFFFFFF38 are the same code.
    return static_cast<int>(wcstoul(argv[2], nullptr, 0));
  }
  if (command == L"sleep" && argc >= 3) {
    ::Sleep(static_cast<DWORD>(_wtoi(argv[2])));
    return 0;
  }
  return Usage();
}
