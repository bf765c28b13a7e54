// Start-up hardening against DLL planting. Runs before anything else (before
// the log exists): switches on safe DLL search where Windows has it, else
// relaunches the installer from a fresh temporary directory. Without safe DLL
// search, a copy made that way, or an elevated copy, refuses to run when a
// DLL lies beside it.
#ifndef APP_PROCESS_HARDENING_H_
#define APP_PROCESS_HARDENING_H_

#include <windows.h>

#include <string>

namespace ostrel {

enum HardeningResult : int {
  // A protected-directory copy ran and ended with -200; the out-value is
  // its exit code.
  kHardeningCopyRefused = 0,
  // No safe DLL search and no copy was run.
  kHardeningUnavailable = 1,
  // Safe DLL search is on, or this copy has no DLL beside it.
  kHardeningSecure = 2,
  // No safe DLL search, this is a copy or an elevated copy and a "*.dll"
  // lies beside it.
  kHardeningDllsBesideCopy = 3,
  // A protected-directory copy ran to its end; the out-value is its exit code.
  kHardeningCopyFinished = 4,
  // A protected-directory copy started, but waiting for it or reading its
  // exit code failed; the out-value is the Windows error.
  kHardeningCopyLost = 5,
};

// Exit code of a copy that refuses to run beside DLLs.
inline constexpr int kInsecureEnvironmentExitCode = -200;

// `exit_code` is set to 0 unless a protected-directory copy ran.
int HardenProcess(int* exit_code);

// What HardenProcess takes from the system. Tests replace parts to reach the
// relaunch path, which Windows versions with safe DLL search never take.
struct HardeningEnvironment {
  using SearchFlagsFunction = BOOL(WINAPI*)(DWORD);

  // SetSearchPathMode and SetDefaultDllDirectories; null when missing.
  SearchFlagsFunction set_search_path_mode = nullptr;
  SearchFlagsFunction set_default_dll_directories = nullptr;
  // The running executable.
  std::wstring executable_path;
  // Where the protected directory is created.
  std::wstring temp_directory;
  // Whether the process runs elevated, asked only when a copy is made (it
  // loads a library). Elevated, the copy's directory goes inside a new one
  // in `elevated_temp_directory` that only administrators may change: an
  // elevated process must not run from a folder its user can write.
  bool (*is_elevated)() = nullptr;
  std::wstring elevated_temp_directory;
  // Copies the executable into the protected directory.
  bool (*copy_executable)(const std::wstring& from, const std::wstring& to) = nullptr;
  // Waits for the copy's end and reads its exit code; false with the last
  // error set when either fails. Null: WaitForSingleObject, GetExitCodeProcess.
  bool (*wait_for_copy)(HANDLE process, DWORD* exit_code) = nullptr;
};

// The real environment: kernel32's functions, GetModuleFileNameW, the
// temporary directory (the Windows one when elevated), CopyFileW.
HardeningEnvironment ProcessHardeningEnvironment();

// HardenProcess with `environment`; the switches come from the process
// command line.
int HardenProcessWith(const HardeningEnvironment& environment, int* exit_code);

// Whether a file (not a directory) matching "*.dll" lies in the directory of
// `executable_path`.
bool HasDllBesideExecutable(const std::wstring& executable_path);

}  // namespace ostrel

#endif  // APP_PROCESS_HARDENING_H_
