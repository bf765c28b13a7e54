#include "install/installer.h"

#include <objbase.h>
#include <process.h>

#include "base/file_util.h"
#include "base/installer_command_line.h"
#include "base/logging.h"
#include "base/os_facts.h"
#include "base/scoped_gdi.h"
#include "base/switches.h"
#include "base/utf_string_conversions.h"
#include "config/brand_info.h"
#include "config/distrib_info_params.h"
#include "config/maker_hosts.h"
#include "install/delayed_params.h"
#include "install/run_setup.h"
#include "install/setup_command_line.h"
#include "reporting/user_id.h"
#include "trust/tarvik_trust_verifier_win.h"
#include "trust/trusted_certificate_list.h"
#include "win/elevation_prerequisites.h"

namespace ostrel {
namespace {

constexpr uint64_t kMicrosPerSecond = 1000000;
constexpr int kFinishedProgress = 100;
constexpr int kDefaultDpi = 96;

// Distribution parameters that become standing statistics parameters.
struct DistribStatParam {
  const char* name;
  StatParam param;
};
constexpr DistribStatParam kDistribStatParams[] = {
    {"banerid", StatParam::kBannerId},
    {"distr_tarvikuid", StatParam::kDistrTarvikUid},
    {"tarvikuid", StatParam::kTarvikUid},
};

// The screen's scale, for an installation without a window.
double ScreenScaleFactor() {
  ScopedWindowDC screen(nullptr);
  int dpi = screen.Get() ? ::GetDeviceCaps(screen.Get(), LOGPIXELSX) : 0;
  return dpi > 0 ? static_cast<double>(dpi) / kDefaultDpi : 1.0;
}

void CALLBACK StopAtDeadline(void* stopper, BOOLEAN) { static_cast<DownloadStopper*>(stopper)->Stop(); }

bool IsSignalled(HANDLE event) { return ::WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

// A fresh GUID in upper-case hexadecimal without braces; empty on failure.
std::wstring NewInstallationId() {
  GUID guid = {};
  if (FAILED(::CoCreateGuid(&guid))) return std::wstring();
  wchar_t text[40] = {};
  int length = ::StringFromGUID2(guid, text, 40);
  if (length < 3) return std::wstring();
  return std::wstring(text + 1, static_cast<size_t>(length) - 3);
}

// Deletes the archive's file when the installation attempt ends, however it
// ends. Declared before any handle to the file so those close first.
class ScopedFileDeleter {
 public:
  explicit ScopedFileDeleter(std::wstring path) : path_(std::move(path)) {}
  ScopedFileDeleter(const ScopedFileDeleter&) = delete;
  ScopedFileDeleter& operator=(const ScopedFileDeleter&) = delete;
  ~ScopedFileDeleter() {
    if (!::DeleteFileW(path_.c_str()) && ::GetLastError() != ERROR_FILE_NOT_FOUND)
      PLOG_TAG(WARNING, "InstallBrowser") << "Cannot delete " << path_;
  }

 private:
  std::wstring path_;
};

// Turns the archive's write handle into a read-and-execute handle that
// denies writing to everyone else, without a moment in which the file is
// open to writers: first sharing writing (the write handle is still open),
// then, with the write handle closed, reading only.
bool ReOpenForExecution(ScopedFileHandle* handle) {
  for (DWORD sharing : {DWORD{FILE_SHARE_READ | FILE_SHARE_WRITE}, DWORD{FILE_SHARE_READ}}) {
    HANDLE reopened = ::ReOpenFile(handle->Get(), GENERIC_READ | GENERIC_EXECUTE, sharing, 0);
    if (reopened == INVALID_HANDLE_VALUE) return false;
    handle->Reset(reopened);
  }
  return true;
}

}  // namespace

uint64_t MonotonicMicros() {
  ULONGLONG interrupt_time = 0;
  ::QueryUnbiasedInterruptTime(&interrupt_time);
  return interrupt_time / 10;
}

void InstallerDownloadObserver::OnProgress(float fraction) {
  if (*observer_) (*observer_)->OnDownloadProgress(fraction);
}

void InstallerDownloadObserver::OnSlowDownload() {
  if (*observer_) (*observer_)->OnSlowDownload();
}

void InstallerDownloadObserver::OnRemainingTime(int32_t seconds, int32_t state) {
  if (*observer_) (*observer_)->OnRemainingTime(seconds + kSetupRemainingSeconds, state);
}

Installer::Installer(InstallerObserver* observer, const BrandInfo* brand, const DistribInfoParams* params,
                     bool start_async_tasks)
    : observer_(observer),
      brand_(brand),
      params_(params),
      work_dir_(brand ? brand->work_dir() : std::wstring()),
      data_paths_(InstallerDataPathsFromCommandLine(InstallerCommandLine::ProcessCommandLine())),
      download_observer_(&observer_),
      downloader_factory_([] { return std::make_unique<InternetDownloader>(); }) {
  if (start_async_tasks) StartAsyncTasks();
  Init();
}

void Installer::StartAsyncTasks() {
  if (!async_tasks_ && brand_ && params_) async_tasks_ = std::make_unique<AsyncInstallTasks>(brand_, params_);
}

void Installer::Init() {
  user_id_ = UserIdWithoutBraces(GetUserIdInternal());
  stat_reporter_ = std::make_unique<StatReporter>(user_id_, std::make_unique<AsyncUrlSender>());
  SetStatParams();
  stop_event_.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  download_stopper_ = std::make_unique<DownloadStopper>(stop_event_.Get());
  proceed_event_.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
}

void Installer::SetStatParams() {
  if (brand_) {
    BrandStatValues values;
    values.brand_id = Utf8ToWide(brand_->brand_id());
    values.partner_id = Utf8ToWide(brand_->partner_id());
    for (const std::string& id : brand_->forced_test_ids()) values.test_ids.push_back(Utf8ToWide(id));
    stat_reporter_->SetBrandParams(&values);
  } else {
    stat_reporter_->SetBrandParams(nullptr);
  }
  if (!params_) return;
  for (const DistribStatParam& entry : kDistribStatParams) {
    std::string value;
    if (params_->Get(entry.name, &value)) stat_reporter_->SetParam(entry.param, Utf8ToWide(value));
  }
}

void Installer::set_stat_reporter_for_testing(std::unique_ptr<StatReporter> reporter) {
  stat_reporter_ = std::move(reporter);
  SetStatParams();
}

Installer::~Installer() {
  if (install_thread_.IsValid()) {
    Stop();
    if (::WaitForSingleObject(install_thread_.Get(), timings_.thread_exit_wait_ms) != WAIT_OBJECT_0) {
      PLOG_TAG(ERROR, "~Installer") << "Failed to wait for install async exit. Terminate install_thread_";
      ::TerminateThread(install_thread_.Get(), 0);
    }
    install_thread_.Close();
  }
  elevated_process_.reset();
  if (async_tasks_) async_tasks_->Stop();
  // Queued events (setup's end among them) still go out, for a bounded time.
  if (!stat_reporter_->Drain(kStatisticsDrainWaitMs))
    LOG_TAG(WARNING, "~Installer") << "Statistics still queued after " << kStatisticsDrainWaitMs << " ms are dropped";
  stat_reporter_.reset();
}

void Installer::Stop() { download_stopper_->Stop(); }

unsigned __stdcall Installer::InstallThreadMain(void* installer) {
  static_cast<Installer*>(installer)->Install();
  return 0;
}

bool Installer::StartInstallThread() {
  if (install_thread_.IsValid()) return false;
  ::ResetEvent(stop_event_.Get());
  ::ResetEvent(proceed_event_.Get());
  uintptr_t thread = ::_beginthreadex(nullptr, 0, InstallThreadMain, this, 0, nullptr);
  if (thread == 0) {
    PLOG(ERROR) << "Cannot start the install thread";
    return false;
  }
  install_thread_.Reset(reinterpret_cast<HANDLE>(thread));
  return true;
}

void Installer::RecordInstallClick() { install_click_time_ = MonotonicMicros(); }

void Installer::Proceed() {
  proceed_time_ = MonotonicMicros();
  ::SetEvent(proceed_event_.Get());
}

void Installer::InstallSynchronously() {
  ::ResetEvent(stop_event_.Get());
  Proceed();
  Install();
}

bool Installer::WaitForInstallAsync() {
  if (!install_thread_.IsValid()) return true;
  Stop();
  return ::WaitForSingleObject(install_thread_.Get(), timings_.thread_exit_wait_ms) != WAIT_TIMEOUT;
}

void Installer::SetMakeDefault(bool make_default) {
  WindowsVersion version = CurrentWindowsVersion();
  if (version == VERSION_WIN8 || version == VERSION_WIN8_1) return;
  make_default_ = make_default;
}

bool Installer::ShouldLaunchBrowser() const {
  return !InstallerCommandLine::ProcessCommandLine().IsSwitchPresent(switches::kDoNotLaunchBrowser) &&
         launch_browser_;
}

bool Installer::IsStopped() const { return IsSignalled(stop_event_.Get()); }

void Installer::Install() {
  ReportInstallerStarted();
  installation_id_ = NewInstallationId();
  // A kind left by an earlier attempt must not be taken for this one's.
  SetSharedFailureKind(kFailureNone);
  if (brand_) brand_->SaveLanguageToRegistry();
  // Without a work directory the files would land in the current directory.
  bool data_written = work_dir_.empty() || ExtractInstallerDataIfAbsent(work_dir_, &data_paths_);
  SaveInstallerDataPathsToRegistry(data_paths_);
  if (brand_) brand_->SaveToRegistry();

  StepResult result = SetupFilesWritten(data_written) ? InstallBrowser() : StepFailed(kFailureGeneric);
  Record(result);
  bool success = result.succeeded();
  if (!success) {
    // A stopped installation shows only setup's own failures.
    if (observer_ && (!IsStopped() || IsSetupFailureKind(result.failure))) observer_->OnInstallError(result.failure);
  } else {
    if (!ShouldLaunchBrowser()) EndWindowWithoutBrowser();
    RemoveInstallerDataFromRegistry();
    if (brand_) {
      brand_->RemoveFromRegistry();
      if (!brand_->brand_package_path().empty()) ::DeleteFileW(brand_->brand_package_path().c_str());
      if (!brand_->partner_package_path().empty()) ::DeleteFileW(brand_->partner_package_path().c_str());
    }
  }
  if (observer_) WaitForBrowserWindow();
  ReportInstallationFinished(success);
}

bool Installer::SetupFilesWritten(bool installer_data_written) const {
  bool written = installer_data_written && (!brand_ || brand_->package_files_written()) &&
                 (!params_ || params_->json_written());
  // A normal user's run keeps going without a file it could not write; an
  // elevated one would hand setup a name whose file it did not make.
  if (written || !GetOsFacts().IsProcessElevated()) return true;
  LOG(ERROR) << "Not every file setup reads could be written to " << work_dir_ << "; the installation stops";
  return false;
}

void Installer::Record(const StepResult& result) {
  if (result.exit_code) installer_exit_code_.store(*result.exit_code);
  if (IsSetupFailureKind(result.failure)) SetSharedFailureKind(result.failure);
}

void Installer::EndWindowWithoutBrowser() {
  if (!observer_) return;
  observer_->SetProgress(kFinishedProgress);
  observer_->OnInstallFinished(1);
  observer_ = nullptr;
}

void Installer::WaitForBrowserWindow() {
  while (::WaitForSingleObject(stop_event_.Get(), timings_.browser_window_poll_ms) == WAIT_TIMEOUT) {
    if (!::FindWindowExW(HWND_MESSAGE, nullptr, kBrowserMessageWindowClass, nullptr)) {
      observer_->OnInstallFinished(1);
      return;
    }
  }
}

std::wstring Installer::GetModulePath() {
  std::wstring path;
  if (!work_dir_.empty()) path = CreateUniqueTempFile(work_dir_, kModuleFilePrefix);
  if (path.empty()) PLOG(ERROR) << "Cannot obtain temp file.";
  return path;
}

StepResult Installer::InstallBrowser() {
  LOG(INFO) << "Install Browser.";
  module_path_ = GetModulePath();
  if (module_path_.empty()) return StepFailed(kFailureGeneric, std::nullopt, ::GetLastError());
  const std::wstring path = module_path_;

  std::string lock_value;
  bool permanent_lock = params_ && params_->Get(kSetupArcPermanentLockParam, &lock_value) && !lock_value.empty();

  LOG(INFO) << "Executable path: " << path;
  // The empty file that reserved the name stays until the download opens it:
  // deleted and made again, the name would be free for anyone to take.
  ScopedFileDeleter delete_module(path);
  // In permanent-lock mode the download's write handle, later the lock.
  ScopedFileHandle archive;

  uint64_t download_start = MonotonicMicros();
  StepResult download = GetModule(path, permanent_lock ? &archive : nullptr);
  if (!download.succeeded()) return download;
  uint64_t download_end = MonotonicMicros();

  HANDLE go_ahead[] = {stop_event_.Get(), proceed_event_.Get()};
  if (::WaitForMultipleObjects(2, go_ahead, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) {
    LOG(ERROR) << "Installation after download event isn't in signal state or installation was stopped early.";
    return StepFailed(kFailureGeneric);
  }
  uint64_t go_ahead_time = MonotonicMicros();

  if (permanent_lock) {
    if (!ReOpenForExecution(&archive)) {
      DWORD error = ::GetLastError();
      // Logged first: sending the event may change the last error.
      PLOG(ERROR) << "Cannot lock file: " << path;
      ReportSetupArcLockError();
      return StepFailed(kFailureGeneric, std::nullopt, error);
    }
  } else {
    archive.Reset(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_EXECUTE, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!archive.IsValid()) {
      DWORD error = ::GetLastError();
      PLOG(ERROR) << "Cannot lock file: " << path;
      return StepFailed(kFailureGeneric, std::nullopt, error);
    }
  }

  if (!VerifyArchive(path, archive.Get())) {
    LOG(ERROR) << "Module verification failed: " << path;
    ReportVerificationError();
    return StepFailed(kFailureGeneric, kInstallerExitCodeVerificationFailed);
  }
  LOG(INFO) << "Verification succeeded: " << path;
  uint64_t setup_start = MonotonicMicros();
  // Setup reads the installer's statistics parameters from the registry.
  stat_reporter_->SaveParams();
  ReportSetupLaunched();

  StepResult setup;
  if (elevated_process_) {
    if (!WriteDelayedParamsForElevatedSetup()) {
      LOG(ERROR) << "Unexpected error in CreateDelayedParamsMapping()";
      return StepFailed(kFailureGeneric);
    }
    setup = RunModuleInElevatedProcess();
  } else {
    setup = RunModule(path, BuildSetupCommandLine(path, true));
    launch_browser_ = setup.succeeded();
  }
  setup_duration_ = MonotonicMicros() - setup_start;
  ReportSetupExited(setup);
  archive.Close();
  elevated_process_.reset();
  if (setup.succeeded()) active_time_ = (download_end - download_start) + (MonotonicMicros() - go_ahead_time);
  return setup;
}

bool Installer::VerifyArchive(const std::wstring& path, HANDLE file) {
  TrustedCertificateList trusted;
  GetTrustedFiles(GetTrustJsonFromModule(path), &trusted);
  return VerifyModule(path, trusted, false, file);
}

InstallerCommandLine Installer::BuildSetupCommandLine(const std::wstring& module_path, bool with_file_paths) const {
  SetupCommandLineInputs inputs;
  inputs.process_command_line = InstallerCommandLine::ProcessCommandLine();
  inputs.module_path = module_path;
  inputs.with_file_paths = with_file_paths;
  inputs.progress_window = observer_ ? reinterpret_cast<uintptr_t>(observer_->GetWindow()) : 0;
  inputs.uac_declined = uac_declined_;
  inputs.brand = brand_;
  inputs.params = params_;
  if (params_) inputs.distrib_info_json_path = params_->json_path();
  inputs.make_default = make_default_;
  inputs.send_statistics = send_statistics_;
  inputs.pin = pin_;
  inputs.install_click_time = install_click_time_;
  inputs.proceed_time = proceed_time_;
  inputs.interface_availability = interface_availability_;
  inputs.installer_data_path = data_paths_.installer_data_path;
  inputs.clids_file_path = data_paths_.clids_file_path;
  inputs.website_icon_file_path = data_paths_.website_icon_file_path;
  inputs.abt_config_resource_path = data_paths_.abt_config_resource_path;
  inputs.elevation_mode = elevation_mode_;
  inputs.browser_present = stat_reporter_->GetParam(StatParam::kBrowserPresent);
  if (async_tasks_ && async_tasks_->active()) {
    inputs.async_tasks_active = true;
    inputs.variations_update_path = async_tasks_->variations_update_path();
    inputs.abt_update_path = async_tasks_->abt_update_path();
    inputs.webntp_path = async_tasks_->webntp_path();
    inputs.server_config_bundle_path = async_tasks_->server_config_bundle_path();
    inputs.preloaded_wallpaper_bundle_path = async_tasks_->preloaded_wallpaper_bundle_path();
  }
  inputs.launch_browser = launch_browser_;
  return ostrel::BuildSetupCommandLine(inputs);
}

StepResult Installer::RunModule(const std::wstring& module_path, const InstallerCommandLine& command_line) {
  return RunModuleAndWait(RenderRunModuleCommandLine(module_path, command_line), observer_, ::CreateProcessW,
                          &setup_started_);
}

bool Installer::WriteDelayedParamsForElevatedSetup() {
  DelayedParams delayed;
  delayed.browser_arc_path = module_path_;
  delayed.clids_file_path = data_paths_.clids_file_path;
  delayed.tarvik_website_icon_file_path = data_paths_.website_icon_file_path;
  delayed.installer_data_path = data_paths_.installer_data_path;
  if (brand_ && brand_->brand_package_present()) delayed.brand_package_path = brand_->brand_package_path();
  if (brand_ && brand_->partner_package_present()) delayed.partner_package_path = brand_->partner_package_path();
  delayed.histogram_download_time = std::to_wstring(download_duration_ / kMicrosPerSecond);
  delayed.histogram_full_time = std::to_wstring(proceed_time_);
  delayed.send_statistics = send_statistics_;
  delayed.make_default = make_default_ ? 1 : 0;
  delayed.install_qopin = pin_ ? 1 : 0;
  return WriteDelayedParams(delayed);
}

// Statistics. Events are queued and sent in the background; the final report
// is the one request the install thread makes itself.

void Installer::ReportInstallerStarted() {
  stat_reporter_->Send(InstallerStartedEventForScreen(scale_factor_ > 0 ? scale_factor_ : ScreenScaleFactor()));
}

void Installer::ReportDownloadStarted() { stat_reporter_->Send(DownloadStartedEvent()); }

void Installer::ReportDownloadError(const DownloadAttemptReport& report) {
  stat_reporter_->Send(DownloadErrorEvent(report));
}

void Installer::ReportDownloadAttempt(const DownloadAttemptReport& report) {
  stat_reporter_->Send(DownloadAttemptEvent(report));
}

void Installer::ReportDownloadFinished() {
  stat_reporter_->Send(DownloadFinishedEvent(static_cast<int64_t>(download_duration_)));
}

void Installer::ReportSetupArcLockError() { stat_reporter_->Send(ArchiveLockFailedEvent()); }

void Installer::ReportVerificationError() { stat_reporter_->Send(VerificationFailedEvent()); }

void Installer::ReportSetupLaunched() {
  stat_reporter_->Send(SetupLaunchedEvent(stat_reporter_->IsUpdate(),
                                          SetupUacValue(AreUACNotificationsEnabled(), elevated_process_ != nullptr)));
}

void Installer::ReportSetupExited(const StepResult& setup) {
  bool elevated = elevated_process_ != nullptr;
  bool setup_succeeded = setup.succeeded();
  SetupExitReport report;
  report.update = stat_reporter_->IsUpdate();
  report.setup_time_us = static_cast<int64_t>(setup_duration_);
  uint32_t installer_exit_code = setup.exit_code.value_or(installer_exit_code_.load());
  report.exit_code = installer_exit_code;
  // Run here, setup's exit code replaces 400 once it is read; a setup that
  // started and left no code is not one that never started.
  bool no_code = !elevated && !setup_succeeded && installer_exit_code == kInstallerExitCodeNotFinished;
  report.failed_to_start = no_code && !setup_started_;
  report.exit_code_unknown = no_code && setup_started_;
  report.success = setup_succeeded && IsSetupSuccess(elevated, installer_exit_code, installer_exit_code);
  stat_reporter_->Send(SetupExitedEvent(report));
}

void Installer::ReportInstallationFinished(bool success) {
  std::string url = BuildInstallationReportUrl(
      hosts::kStatisticsStorage, WideToUtf8(installation_id_), InstallationResultName(cancel_count_.load() > 0, success),
      static_cast<int64_t>(active_time_), static_cast<int64_t>(download_duration_),
      static_cast<int64_t>(setup_duration_));
  StringDownloadSink answer;
  std::string error_text;
  // A host that does not answer must not keep the installer from ending:
  // the report is given up at its deadline. It has a stop of its own, so a
  // cancelled installation still reports.
  ScopedKernelHandle report_stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  DownloadStopper report_stopper(report_stop.Get());
  HANDLE timer = nullptr;
  if (!report_stop.IsValid() || !::CreateTimerQueueTimer(&timer, nullptr, StopAtDeadline, &report_stopper,
                                                         timings_.final_report_deadline_ms, 0, WT_EXECUTEONLYONCE)) {
    PLOG(WARNING) << "No deadline for the installation report";
    timer = nullptr;
  }
  // Closing the request ends it at once on Windows; the time-outs bound it
  // where a stack lets a closed request run on.
  if (!Download(AsciiToWide(url), &answer, &error_text, nullptr, &report_stopper, timings_.final_report_deadline_ms))
    LOG(WARNING) << "Cannot report installation status: " << error_text;
  // Waits for a callback in progress.
  if (timer) ::DeleteTimerQueueTimer(nullptr, timer, INVALID_HANDLE_VALUE);
}

// The elevation prompt was refused or the elevated copy could not start.
void Installer::ReportUacDeclined() { stat_reporter_->SendDialogEvent(ButtonEvent(kButtonUacDeclined)); }

}  // namespace ostrel
