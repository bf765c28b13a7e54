// The first copy's side of an elevated installation: whether to relaunch
// with administrator rights, the relaunch, and setup run through the copy.
#include <string>

#include "base/file_util.h"
#include "base/installer_command_line.h"
#include "base/logging.h"
#include "base/os_facts.h"
#include "base/switches.h"
#include "install/delayed_params.h"
#include "install/elevated_process.h"
#include "install/installer.h"
#include "install/setup_command_line.h"

namespace ostrel {

// The size the shipping 32-bit build hands to ShellExecuteExW.
static_assert(sizeof(void*) != 4 || sizeof(SHELLEXECUTEINFOW) == 60);

bool Installer::NeedStartThisProcessAsAdmin() const {
  if (!GetOsFacts().IsUserInAdminGroup()) {
    LOG(INFO) << "User is not in admin group.";
    return false;
  }
  if (CurrentWindowsVersion() < VERSION_VISTA) {
    LOG(INFO) << "Windows version is not suitable for elevated restart.";
    return false;
  }
  const InstallerCommandLine& command_line = InstallerCommandLine::ProcessCommandLine();
  for (const char* name : switches::kNonInstallSwitches) {
    if (command_line.IsSwitchPresent(name)) {
      LOG(INFO) << "Found non install-switch:" << name;
      return false;
    }
  }
  if (command_line.IsSwitchPresent(switches::kRunAsAdmin)) {
    LOG(INFO) << "Run-as-admin functionality is already enabled.";
    return false;
  }
  // Possibly elevated already; relaunched all the same.
  return true;
}

bool Installer::StartElevatedCopy() {
  InstallerCommandLine elevated = InstallerCommandLine::ProcessCommandLine();
  DropOversizedSwitchValues(&elevated, "StartElevatedCopy");
  elevated.PutSwitch(switches::kRunAsAdmin);
  elevated.PutSwitch(switches::kParentInstallerProcessId, std::to_string(::GetCurrentProcessId()));
  InstallerCommandLine setup = BuildSetupCommandLine(kFakeBrowserArcPath, false);
  elevated.PutSwitch(switches::kSetupCmdLine, std::wstring_view(setup.Render()));
  // This very file, not the program name the command line gives: only a
  // copy of the same file shares the Shared section the hand-over uses.
  const std::wstring executable = GetOwnExecutablePath();
  elevated.SetProgramPath(L"");
  const std::wstring parameters = elevated.Render();
  if (QuoteForCommandLine(executable).size() + 1 + parameters.size() > kMaxCommandLineLength) {
    LOG(ERROR) << "The elevated installer is not started: its command line would have more than "
               << static_cast<unsigned long long>(kMaxCommandLineLength) << " characters";
    return false;
  }
  size_t longest_setup = LongestCommandLineAfterHandOver(setup);
  if (longest_setup > kMaxCommandLineLength) {
    LOG(ERROR) << "The elevated installer is not started: setup's command line could have "
               << static_cast<unsigned long long>(longest_setup) << " characters with the handed-over paths, more than "
               << static_cast<unsigned long long>(kMaxCommandLineLength);
    return false;
  }

  ScopedElevationPromptOwner owner(CreateElevationPromptOwner());

  // The old copy's events go first: the new ones must be made afresh.
  elevated_process_.reset();
  std::unique_ptr<ElevatedCopy> copy = ElevatedCopy::Create(timings_.elevated_finish_wait_ms);
  if (!copy) return false;

  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.hwnd = owner.Get();
  info.lpVerb = L"runas";
  info.lpFile = executable.c_str();
  info.lpParameters = parameters.c_str();
  info.lpDirectory = nullptr;
  info.nShow = SW_SHOW;
  BOOL started = shell_execute_ ? shell_execute_(&info) : ::ShellExecuteExW(&info);
  if (started && info.hProcess) {
    copy->Attach(info.hProcess, owner.Release());
    elevated_process_ = std::move(copy);
    return true;
  }

  PLOG(ERROR) << "The elevated installer was not started, hInstApp=" << reinterpret_cast<INT_PTR>(info.hInstApp);
  ReportUacDeclined();
  // Releases a copy that started without a handle handed back.
  copy.reset();
  if (reinterpret_cast<INT_PTR>(info.hInstApp) == SE_ERR_ACCESSDENIED) uac_declined_ = true;
  owner.Close();
  return false;
}

StepResult Installer::RunModuleInElevatedProcess() {
  LOG(INFO) << "Started waiting the elevated installer has finished its work.";
  bool success = elevated_process_->RunModule(stop_event_.Get());
  LOG(INFO) << "The elevated installer has finished, success=" << success;
  if (success) return StepSucceeded();
  // The elevated copy leaves setup's own failures in the shared section.
  return StepFailed(FailureKindFromSlot(GetSharedFailureKind()));
}

}  // namespace ostrel
