// The start-up sequence and the run modes of the installer process.
#ifndef APP_ENTRY_POINT_H_
#define APP_ENTRY_POINT_H_

#include <windows.h>

#include <string>

#include "app/single_instance.h"
#include "base/installer_command_line.h"
#include "base/system_queries.h"
#include "install/installer_observer.h"

namespace ostrel {

class Installer;

// Exit codes of the run modes (next to kAnotherInstanceExitCode = 600,
// kInsecureEnvironmentExitCode = -200, the probe's 700/701 and
// kMissingSystemLibraryExitCode).
inline constexpr int kCpuNotSupportedExitCode = 404;
inline constexpr int kNotEnoughDiskSpaceExitCode = 403;
inline constexpr int kUserCancelledExitCode = 500;
inline constexpr int kElevatedChildFailedExitCode = -1;

// Runs the whole process and returns its exit code.
int InstallerMain(HINSTANCE instance);

// What tests replace in the run modes.
struct RunModeEnvironment {
  const wchar_t* single_instance_mutex_name = kSingleInstanceMutexName;
  // Shows a message box without owner; null means MessageBoxW.
  void (*show_message_box)(const std::wstring& caption, const std::wstring& text) = nullptr;
  // Runs the silent installation; null means Installer::InstallSynchronously.
  void (*install_synchronously)(Installer* installer) = nullptr;
  // Elevated child mode: called between the verification of the archive's
  // protected copy and setup's start (tests retarget the handed-over name).
  void (*after_archive_verified)(const std::wstring& handed_over_archive) = nullptr;
  // Shows the not-enough-disk-space notice; null means the dialog.
  void (*show_disk_space_notice)(LANGID language_id) = nullptr;
};

// Everything after the log is open: the probe mode, the hardening result,
// then the elevated child mode or the normal mode. Returns the exit code.
int RunStartedProcess(const InstallerCommandLine& command_line, int hardening_result, int hardening_exit_code,
                      const RunModeEnvironment& environment);

// One installation, silent or windowed.
int RunNormalMode(const InstallerCommandLine& command_line, const RunModeEnvironment& environment);

// Caption and text of the message box for a processor without SSE2/SSE3,
// from the string tables of `strings_module` (null: the running executable).
struct CpuMessage {
  std::wstring caption;
  std::wstring text;
};
CpuMessage CpuNotSupportedMessage(MissingProcessorFeature missing, LANGID language_id,
                                  HMODULE strings_module = nullptr);

// Exit code of the windowed mode from the window's result and its
// Installer's exit code; logs the cancellation.
int WindowedExitCode(int window_result, int installer_exit_code);

}  // namespace ostrel

#endif  // APP_ENTRY_POINT_H_
