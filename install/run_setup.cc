#include "install/run_setup.h"

#include <vector>

#include "base/installer_command_line.h"
#include "base/logging.h"
#include "base/scoped_handle.h"
#include "install/delayed_params.h"

namespace ostrel {
namespace {

// Setup's two failures that have dialogs of their own.
FailureKind FailureKindOfExitCode(uint32_t code) {
  if (code == 7) return kFailureSetupExitCode7;
  if (code == 8) return kFailureSetupExitCode8;
  return kFailureNone;
}

}  // namespace

bool RunModuleAndWait(const std::wstring& command_line, InstallerObserver* observer, uint32_t* exit_code,
                      CreateProcessFunction create_process, bool* started) {
  *exit_code = kInstallerExitCodeNotFinished;
  if (started) *started = false;
  // Started anyway, setup would run without the switches cut off the end.
  if (command_line.size() > kMaxCommandLineLength) {
    LOG(ERROR) << "Setup is not run: its command line has "
               << static_cast<unsigned long long>(command_line.size()) << " characters, more than "
               << static_cast<unsigned long long>(kMaxCommandLineLength);
    return false;
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
    if (error == ERROR_EXE_MACHINE_TYPE_MISMATCH) SetSharedFailureKind(kFailureSetupWrongArchitecture);
    ::SetLastError(error);
    PLOG(ERROR) << "Create process failed.";
    return false;
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
    PLOG(ERROR) << "Wait process failed.";
    return false;
  }

  DWORD code = kInstallerExitCodeNotFinished;
  bool read = ::GetExitCodeProcess(process.Get(), &code) != FALSE;
  if (read) {
    *exit_code = code;
  } else {
    PLOG(ERROR) << "Get setup process exit code failed.";
  }
  LOG(INFO) << "Setup process exit with code: " << FormatSetupExitCode(*exit_code);

  FailureKind kind = read ? FailureKindOfExitCode(*exit_code) : kFailureNone;
  if (kind != kFailureNone) {
    SetSharedFailureKind(kind);
    return false;
  }
  // Any other code is a finished run, failing or not; it still becomes the
  // installer's exit code.
  return read;
}

}  // namespace ostrel
