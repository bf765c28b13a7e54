// A program linked like the shipping installer (every system library but
// kernel32 and oleacc delay-loaded, the same delay-load handler) that can
// also bind a function missing from a system DLL and a DLL that does not
// exist, to show what the installer does on an older Windows.
//
//   delay_load_helper <log file> [use-user32] (missing-function | missing-library) [--silent]
//
// Returns 0 if the missing function was called after all (it must not be).
#include <windows.h>

#include <memory>
#include <string>

#include "app/delay_load_handler.h"
#include "base/file_logger.h"

extern "C" {
PfnDliHook __pfnDliNotifyHook2 = ostrel::DelayLoadHook;
PfnDliHook __pfnDliFailureHook2 = ostrel::DelayLoadHook;

__declspec(dllimport) int TarvikNoSuchFunction(void);
__declspec(dllimport) int TarvikAbsentFunction(void);
}

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  ostrel::SetFileLogger(std::make_unique<ostrel::FileLogger>(argv[1], ostrel::kLogFileMaxSize));
  for (int i = 2; i < argc; ++i) {
    std::wstring command = argv[i];
    if (command == L"use-user32") {
      ::GetSystemMetrics(SM_CXSCREEN);
    } else if (command == L"missing-function") {
      TarvikNoSuchFunction();
      return 0;
    } else if (command == L"missing-library") {
      TarvikAbsentFunction();
      return 0;
    }
  }
  return 3;
}
