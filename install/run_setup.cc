#include "install/run_setup.h"

#include <vector>

#include "base/installer_command_line.h"
#include "base/logging.h"
#include "base/scoped_handle.h"

namespace ostrel {
StepResult RunModuleAndWait(const std::wstring& command_line, InstallerObserver* observer,
                            CreateProcessFunction create_process, bool* started) {
  const StepResult not_finished = StepFailed(kFailureGeneric, kInstallerExitCodeNotFinished);
  if (started) *started = false;
  // Started anyway, setup would run without the switches cut off the end.
  if (command_line.size() > kMaxCommandLineLength) {
    LOG(ERROR) << "Setup is not run: its command line has "
               << static_cast<unsigned long long>(command_line.size()) << " characters, more than "
               << static_cast<unsigned long long>(kMaxCommandLineLength);
    return not_finished;
  }
  LOG(INFO) << "Run: " << command_line;

  // CreateProcessW may write into the command line.
  std::vector<wchar_t> writable(command_line.begin(), command_line.end());
  writable.push_back(L'\0');
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (!create_process(nullptr, writable.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                      &info)) {
    DWORD error = ::GetLastError();
    PLOG(ERROR) << "Create process failed.";
    FailureKind kind = error == ERROR_EXE_MACHINE_TYPE_MISMATCH ? kFailureSetupWrongArchitecture : kFailureGeneric;
    return StepFailed(kind, kInstallerExitCodeNotFinished, error);
  }
  ScopedKernelHandle process(info.hProcess);
  ScopedKernelHandle thread(info.hThread);
  if (started) *started = true;
  LOG(INFO) << "Process created: " << static_cast<unsigned long>(info.dwProcessId);
  if (observer) {
    observer->SetProgress(40);
    observer->RemoveStopButton();
  }
  thread.Close();

  LOG(INFO) << "Wait for process finish.";
  if (::WaitForSingleObject(process.Get(), INFINITE) != WAIT_OBJECT_0) {
    DWORD error = ::GetLastError();
    PLOG(ERROR) << "Wait process failed.";
    return StepFailed(kFailureGeneric, kInstallerExitCodeNotFinished, error);
  }

  DWORD code = kInstallerExitCodeNotFinished;
  if (!::GetExitCodeProcess(process.Get(), &code)) {
    DWORD error = ::GetLastError();
    PLOG(ERROR) << "Get setup process exit code failed.";
    LOG(INFO) << "Setup process exit with code: " << FormatSetupExitCode(kInstallerExitCodeNotFinished);
    return StepFailed(kFailureGeneric, kInstallerExitCodeNotFinished, error);
  }
  LOG(INFO) << "Setup process exit with code: " << FormatSetupExitCode(code);
  // Any other code than 7 and 8 is a finished run, failing or not; it
  // becomes the installer's exit code either way.
  FailureKind kind = FailureKindOfSetupExitCode(code);
  return kind == kFailureNone ? StepSucceeded(code) : StepFailed(kind, code);
}

}  // namespace ostrel
