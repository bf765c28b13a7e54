// A program linked like the shipping installer (every system library but
// kernel32 and oleacc delay-loaded, the same delay-load handler) that can
// also bind a function missing from a system DLL and a DLL that does not
// exist, to show what the installer does on an older Windows.
//
//   delay_load_helper <log file> [use-user32] (missing-function | missing-library) [--silent]
//   delay_load_helper <log file> floating-arguments
//
// Returns 0 if the missing function was called after all (it must not be).
// floating-arguments makes a GDI+ call with floating-point arguments the
// first call into GDI+ (the one that loads it): 0 when the arguments arrived
// whole, 4 when they did not, 5 when the call failed.
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

// GDI+'s flat API, declared as it is exported.
int WINAPI GdipCreateMatrix2(float m11, float m12, float m21, float m22, float dx, float dy, void** matrix);
int WINAPI GdipGetMatrixElements(const void* matrix, float* elements);
int WINAPI GdipDeleteMatrix(void* matrix);
}

namespace {

// On x86_64 the first four arguments travel in xmm0-3, across the delay-load
// helper that loads the DLL on this first call.
int CallWithFloatingArguments() {
  void* matrix = nullptr;
  if (GdipCreateMatrix2(1.5f, 2.5f, 3.5f, 4.5f, 5.5f, 6.5f, &matrix) != 0 || !matrix) return 5;
  float elements[6] = {};
  int status = GdipGetMatrixElements(matrix, elements);
  GdipDeleteMatrix(matrix);
  if (status != 0) return 5;
  const float expected[6] = {1.5f, 2.5f, 3.5f, 4.5f, 5.5f, 6.5f};
  for (int i = 0; i < 6; ++i) {
    if (elements[i] != expected[i]) return 4;
  }
  return 0;
}

}  // namespace

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
    } else if (command == L"floating-arguments") {
      return CallWithFloatingArguments();
    }
  }
  return 3;
}
