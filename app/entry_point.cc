#include "app/entry_point.h"

#include <commctrl.h>
#include <ole2.h>
#include <gdiplus.h>

#include <memory>

#include "app/process_hardening.h"
#include "app/start_up_configuration.h"
#include "base/file_logger.h"
#include "base/file_util.h"
#include "base/logging.h"
#include "base/os_facts.h"
#include "base/string_number_conversions.h"
#include "base/switches.h"
#include "base/system_queries.h"
#include "config/brand_info.h"
#include "crash/crash_reporting.h"
#include "install/delayed_params.h"
#include "install/elevated_process.h"
#include "install/installer.h"
#include "install/progress_relay.h"
#include "install/protected_archive_copy.h"
#include "install/protected_directory.h"
#include "resources/string_ids.h"
#include "ui/dialog_factory.h"
#include "ui/installer_dialogs.h"
#include "ui/lite_main_window.h"
#include "ui/localized_strings.h"
#include "win/application_association_registration_internal.h"

namespace ostrel {
namespace {

// Every line of the start-up and the normal mode carries the entry point's name.
constexpr char kMainTag[] = "wWinMain";


// Everything the steps after the configuration need.
struct NormalRun {
  explicit NormalRun(const InstallerCommandLine& command_line) : command_line(command_line) {}

  const InstallerCommandLine& command_line;
  bool silent = false;
  bool system_level = false;
  std::string brand_name;
  std::wstring temp_directory;
  StartUpConfiguration configuration;
  WindowsVersion windows_version = VERSION_PRE_XP;
  bool enough_disk_space = true;
};

// COM, user32, the common controls and GDI+ on the main thread, for the
// whole normal mode.
class ScopedUiPlatform {
 public:
  ScopedUiPlatform() {
    com_initialized_ = SUCCEEDED(::CoInitialize(nullptr));
    ::DefWindowProcW(nullptr, WM_NULL, 0, 0);
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LINK_CLASS | ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
    Gdiplus::GdiplusStartupInput input;  // version 1
    gdiplus_started_ = Gdiplus::GdiplusStartup(&gdiplus_token_, &input, nullptr) == Gdiplus::Ok;
  }
  ScopedUiPlatform(const ScopedUiPlatform&) = delete;
  ScopedUiPlatform& operator=(const ScopedUiPlatform&) = delete;
  ~ScopedUiPlatform() {
    if (gdiplus_started_) Gdiplus::GdiplusShutdown(gdiplus_token_);
    if (com_initialized_) ::CoUninitialize();
  }

 private:
  bool com_initialized_ = false;
  bool gdiplus_started_ = false;
  ULONG_PTR gdiplus_token_ = 0;
};

void ShowMessageBox(const std::wstring& caption, const std::wstring& text) {
  ::MessageBoxW(nullptr, text.c_str(), caption.c_str(), MB_OK);
}

void AddCrashAnnotations(const StartUpConfiguration& configuration) {
  for (const auto& [key, value] : configuration.distribution_parameters->params()) SetCrashAnnotation(key, value);
  SetCrashAnnotation("brand_id", configuration.brand->brand_id());
  SetCrashAnnotation("brand_name", configuration.brand->brand_name());
  SetCrashAnnotation("default_language", configuration.brand->interface_language());
}

// No window: the installation runs on this thread with the wishes the
// switches and the brand give, and its installer exit code ends the process.
int RunSilentInstallation(const NormalRun& run, const RunModeEnvironment& environment) {
  LOG_TAG(INFO, kMainTag) << "Installing in silent mode.";
  const BrandInfo& brand = *run.configuration.brand;
  Installer installer(nullptr, &brand, run.configuration.distribution_parameters.get(), true);
  installer.SetMakeDefault(run.command_line.IsSwitchPresent(switches::kMakeBrowserDefaultAfterImport));
  installer.set_send_statistics(
      run.command_line.IsSwitchPresent(switches::kSendStatistics) || brand.send_statistics() != kTriStateFalse ? 1 : 0);
  installer.set_pin(!run.command_line.IsSwitchPresent(switches::kDisableQopin));
  if (environment.install_synchronously) {
    environment.install_synchronously(&installer);
  } else {
    installer.InstallSynchronously();
  }
  return static_cast<int>(installer.installer_exit_code());
}

// The window creates its own Installer and starts it at once, so the
// download runs while the first screen shows; destroying the window stops it.
int RunInstallationWindow(const NormalRun& run) {
  LiteMainWindow window(run.configuration.brand.get(), run.configuration.distribution_parameters.get(), true);
  int result = window.Run();
  return WindowedExitCode(result, static_cast<int>(window.installer()->installer_exit_code()));
}

void ShowNotEnoughDiskSpaceNotice(LANGID language_id) {
  CreateNotEnoughDiskSpaceNotice(language_id)->Run(nullptr);
}

// The first copy reads a copy it had to end as failed, like one that failed.
static_assert(kElevatedChildFailedExitCode == kElevatedCopyFailedExitCode);

// The parent's process id as the first copy writes it: decimal digits only.
// Anything else gives 0, which opens no process.
bool ParseProcessId(const std::string& text, DWORD* process_id) {
  uint32_t value = 0;
  bool parsed = StringToUint32(text, &value);
  *process_id = parsed ? static_cast<DWORD>(value) : 0;
  return parsed;
}

// The elevated copy: waits for the first copy's go-ahead, completes setup's
// command line from the delayed parameters and runs setup. 0 when setup ran
// successfully, else -1.
int ExecuteAsAdmin(const InstallerCommandLine& command_line, const RunModeEnvironment& environment) {
  std::wstring setup_text = command_line.SwitchValueNative(switches::kSetupCmdLine);
  std::string parent_text = command_line.SwitchValueAscii(switches::kParentInstallerProcessId);
  DWORD parent_id = 0;
  if (!ParseProcessId(parent_text, &parent_id)) PLOG(ERROR) << "Suspicious process id=" << parent_text;

  ScopedKernelHandle parent(::OpenProcess(SYNCHRONIZE, TRUE, parent_id));
  LOG(INFO) << "Start installer as admin";
  InstallerCommandLine setup = InstallerCommandLine::ParseString(setup_text);
  LogRejectedSwitches(setup, "ExecuteAsAdmin");

  // The first copy made them before it started this copy; a missing one (or
  // parent) makes the wait below fail, which ends this copy.
  ScopedKernelHandle go_ahead(::OpenEventA(SYNCHRONIZE, FALSE, kElevatedGoAheadEventName));
  ScopedKernelHandle cancel(::OpenEventA(SYNCHRONIZE, FALSE, kElevatedCancelEventName));
  HANDLE handles[] = {go_ahead.Get(), cancel.Get(), parent.Get()};
  DWORD wait = ::WaitForMultipleObjects(3, handles, FALSE, INFINITE);
  if (wait != WAIT_OBJECT_0) {
    LOG(ERROR) << "Installer started as admin has been unexpectedly synced, wr=" << static_cast<unsigned long>(wait);
    return kElevatedChildFailedExitCode;
  }

  // Any process of this user can write the delayed parameters: only plain
  // files go on to setup, and only the archive the first copy named runs
  // here, never the placeholder program of the setup command line.
  DelayedParams handed_over = ReadDelayedParams();
  DropUnsafeHandedOverPaths(&handed_over);
  if (!ApplyDelayedParams(handed_over, &setup)) {
    LOG(ERROR) << "No browser archive was handed over";
    return kElevatedChildFailedExitCode;
  }
  const std::wstring archive = setup.ProgramPath();
  if (!IsAbsolutePath(archive) || !FileExists(archive)) {
    LOG(ERROR) << "Browser archive " << archive << " does not exist";
    return kElevatedChildFailedExitCode;
  }
  std::string problem = HandedOverPathProblem(archive);
  if (!problem.empty()) {
    LOG(ERROR) << "Browser archive " << archive << " is refused: " << problem;
    return kElevatedChildFailedExitCode;
  }

  // Unsigned, so a handle of either pointer size comes back whole.
  std::wstring window_text = setup.SwitchValueNative(switches::kProgressWindow);
  auto window = reinterpret_cast<HWND>(static_cast<uintptr_t>(_wcstoui64(window_text.c_str(), nullptr, 10)));
  ProgressRelay relay(window);
  Installer installer(&relay, nullptr, nullptr, false);
  // What runs with these rights is the copy this process made and holds, in
  // a directory only administrators can change; the handed-over name may
  // point elsewhere by now and is not used again.
  ProtectedArchiveCopy copy;
  if (!copy.Create(archive, WindowsTempDirectory())) {
    PLOG(ERROR) << "Cannot lock file: " << archive;
    return kElevatedChildFailedExitCode;
  }
  if (!installer.VerifyArchive(copy.path(), copy.file())) {
    LOG(ERROR) << "Module verification failed: " << archive;
    return kElevatedChildFailedExitCode;
  }
  if (environment.after_archive_verified) environment.after_archive_verified(archive);
  CopyDataFilesForSetup(&copy, &setup);
  StepResult result = installer.RunModule(copy.path(), setup);
  installer.Record(result);
  bool success = result.succeeded();
  LOG(INFO) << "RunModule results: success=" << success << " error_code=" << installer.installer_exit_code();
  return success ? 0 : kElevatedChildFailedExitCode;
}

bool CheckProcessor(const NormalRun& run, const RunModeEnvironment& environment) {
  MissingProcessorFeature missing = MissingProcessorFeature::kNone;
  if (CheckProcessorFeatures(&missing)) return true;
  PLOG_TAG(ERROR, kMainTag) << "CPU is not supported";
  if (!run.silent) {
    CpuMessage message = CpuNotSupportedMessage(missing, static_cast<LANGID>(run.configuration.brand->language_id()));
    (environment.show_message_box ? environment.show_message_box : ShowMessageBox)(message.caption, message.text);
  }
  return false;
}

int RunInstallation(const NormalRun& run, const RunModeEnvironment& environment) {
  if (run.silent) return RunSilentInstallation(run, environment);
  if (run.enough_disk_space) return RunInstallationWindow(run);
  (environment.show_disk_space_notice ? environment.show_disk_space_notice : ShowNotEnoughDiskSpaceNotice)(
      static_cast<LANGID>(run.configuration.brand->language_id()));
  return kNotEnoughDiskSpaceExitCode;
}

}  // namespace

CpuMessage CpuNotSupportedMessage(MissingProcessorFeature missing, LANGID language_id, HMODULE strings_module) {
  if (!strings_module) strings_module = ::GetModuleHandleW(nullptr);
  int reason = missing == MissingProcessorFeature::kSse2 ? kStringNoSse2 : kStringNoSse3;
  return {LoadUiString(strings_module, kStringCpuCaption, language_id),
          LoadUiString(strings_module, kStringCpuText, language_id) + L"\n" +
              LoadUiString(strings_module, reason, language_id)};
}

int WindowedExitCode(int window_result, int installer_exit_code) {
  if (window_result == 1) return installer_exit_code;
  LOG_TAG(INFO, kMainTag) << "User cancelled installation.";
  return kUserCancelledExitCode;
}

int RunNormalMode(const InstallerCommandLine& command_line, const RunModeEnvironment& environment) {
  ScopedUiPlatform ui_platform;
  LOG_TAG(INFO, kMainTag) << "Lite installer mode.";

  SingleInstanceLock lock(environment.single_instance_mutex_name);
  if (!lock.acquired()) {
    uint32_t master = ReadMasterProcessId();
    LOG_TAG(INFO, kMainTag) << "Another installer instance is already running.";
    LOG_TAG(INFO, kMainTag) << "Master installer process id: " << master;
    BringProcessWindowToTop(master);
    return kAnotherInstanceExitCode;
  }
  WriteMasterProcessId(::GetCurrentProcessId());
  LOG_TAG(INFO, kMainTag) << "Installer process id: " << static_cast<unsigned long>(::GetCurrentProcessId());

  NormalRun run(command_line);
  run.silent = command_line.IsSwitchPresent(switches::kSilent);
  run.system_level = command_line.IsSwitchPresent(switches::kSystemLevel);
  run.brand_name = command_line.SwitchValueAscii(switches::kBrandName);
  run.temp_directory = GetTempDirectory();
  LOG_TAG(INFO, kMainTag) << "Temporary path is: " << run.temp_directory;

  // An elevated run (an administrator's, or SYSTEM's under a deployment
  // tool) hands setup nothing from a folder others can write: the archive
  // and the data files go to a directory of its own.
  ProtectedDirectory protected_work;
  std::wstring work_directory = run.temp_directory;
  if (GetOsFacts().IsProcessElevated()) {
    if (!protected_work.Create(WindowsTempDirectory())) {
      int exit_code = static_cast<int>(kInstallerExitCodeNotFinished);
      LOG_TAG(INFO, kMainTag) << "Installer exit with code: " << exit_code;
      return exit_code;
    }
    work_directory = protected_work.path() + L"\\";
    LOG_TAG(INFO, kMainTag) << "Working path is: " << work_directory;
  }

  run.configuration = LoadStartUpConfiguration(command_line, work_directory, run.brand_name);
  run.windows_version = CurrentWindowsVersion();
  AddCrashAnnotations(run.configuration);

  if (!CheckProcessor(run, environment)) return kCpuNotSupportedExitCode;
  run.enough_disk_space = HasEnoughDiskSpace(run.system_level, kRequiredDiskSpace);

  int exit_code = RunInstallation(run, environment);
  LOG_TAG(INFO, kMainTag) << "Installer exit with code: " << exit_code;
  return exit_code;
}

int RunStartedProcess(const InstallerCommandLine& command_line, int hardening_result, int hardening_exit_code,
                      const RunModeEnvironment& environment) {
  if (command_line.IsSwitchPresent(switches::kCheckTheInterface)) {
    int exit_code = installer::win10_default_browser::kInterfaceNotAvailableExitCode ^
                    (installer::win10_default_browser::IsInterfaceAvailable() ? 1 : 0);
    LOG_TAG(INFO, kMainTag) << "Handled non install cmd line option by win10 default browser helper, ret code: "
                   << exit_code;
    return exit_code;
  }

  switch (hardening_result) {
    case kHardeningCopyRefused:
      LOG_TAG(INFO, kMainTag) << "Exiting, because of insecure environment.";
      return hardening_exit_code;
    case kHardeningUnavailable:
      LOG_TAG(INFO, kMainTag) << "Can't find secure environment.";
      break;
    case kHardeningSecure:
      LOG_TAG(INFO, kMainTag) << "Runned in secure environment.";
      break;
    case kHardeningDllsBesideCopy:
      LOG_TAG(INFO, kMainTag) << "Exiting, DLL files found in working directory";
      return kInsecureEnvironmentExitCode;
    case kHardeningCopyLost:
      ::SetLastError(static_cast<DWORD>(hardening_exit_code));
      PLOG_TAG(ERROR, kMainTag) << "Lost the installer copy in the protected directory";
      return static_cast<int>(kInstallerExitCodeNotFinished);
    case kHardeningCopyFinished:
    default:
      return hardening_exit_code;
  }

  if (command_line.IsSwitchPresent(switches::kRunAsAdmin)) return ExecuteAsAdmin(command_line, environment);
  return RunNormalMode(command_line, environment);
}

int InstallerMain(HINSTANCE) {
  int hardening_exit_code = 0;
  int hardening_result = HardenProcess(&hardening_exit_code);

  // The crash client lives from here to the end of this function.
  StartCrashReporting();
  SetCrashAnnotation("ptype", "installer");

  SetFileLogger(std::make_unique<FileLogger>(GetLogFilePath(), kLogFileMaxSize));
  LOG_TAG(INFO, kMainTag) << "-------------------------------------- Start install.";
  // The process command line was read before the log was open.
  LogRejectedSwitches(InstallerCommandLine::ProcessCommandLine(), kMainTag);

  int exit_code = RunStartedProcess(InstallerCommandLine::ProcessCommandLine(), hardening_result,
                                    hardening_exit_code, RunModeEnvironment());

  StopCrashReporting();
  return exit_code;
}

}  // namespace ostrel
