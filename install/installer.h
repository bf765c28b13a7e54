// One installation of the browser: the data files and registry hand-over
// values setup needs, the setup archive download (started while the user
// still looks at the first screen), the go-ahead, the archive locked and
// verified, and setup run directly or through the elevated copy. Reports to
// an InstallerObserver (may be absent) and ends with the installer exit code
// that becomes the process exit code.
#ifndef INSTALL_INSTALLER_H_
#define INSTALL_INSTALLER_H_

#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/scoped_handle.h"
#include "config/installer_data.h"
#include "install/async_install_tasks.h"
#include "install/elevated_process.h"
#include "install/installer_observer.h"
#include "net/internet_downloader.h"
#include "install/setup_download_urls.h"
#include "install/step_result.h"
#include "reporting/stat_events.h"
#include "reporting/stat_reporter.h"

namespace ostrel {

class BrandInfo;
class DistribInfoParams;
class InstallerCommandLine;

// The running browser's message-only window; the install thread lives on
// while it exists and the installation window is open.
inline constexpr wchar_t kBrowserMessageWindowClass[] = L"TarvikBrowser_MessageWindow";
// Prefix of the archive's temporary file in the work directory.
inline constexpr wchar_t kModuleFilePrefix[] = L"qb";
// Distribution parameter: keep the archive locked from its creation to the
// end of setup.
inline constexpr char kSetupArcPermanentLockParam[] = "setup_arc_permanent_lock";
// Added to every remaining-time estimate the window shows: setup's share.
inline constexpr int32_t kSetupRemainingSeconds = 240;

// After setup ends, the background work has 5 s in all before the process
// may end with the code it has: the final report 2.5 s, the asynchronous
// tasks' stop 0.5 s (kAsyncTasksStopWaitMs), the statistics queue 2 s.
inline constexpr DWORD kFinalReportDeadlineMs = 2500;
inline constexpr DWORD kStatisticsDrainWaitMs = 2000;

// The waits of an installation (tests shorten them).
struct InstallerTimings {
  DWORD retry_wait_ms = 15000;            // between failed download attempts
  DWORD browser_window_poll_ms = 20000;   // looking for the browser's window
  DWORD thread_exit_wait_ms = 60000;      // for the install thread to end
  DWORD elevated_finish_wait_ms = kElevatedFinishWaitMs;  // for an elevated copy after the go-ahead
  DWORD final_report_deadline_ms = kFinalReportDeadlineMs;
};

// Forwards the download progress to the InstallerObserver; remaining times
// gain setup's share.
class InstallerDownloadObserver : public DownloadProgressObserver {
 public:
  explicit InstallerDownloadObserver(InstallerObserver* const* observer) : observer_(observer) {}
  void OnProgress(float fraction) override;
  void OnSlowDownload() override;
  void OnRemainingTime(int32_t seconds, int32_t state) override;

 private:
  InstallerObserver* const* observer_;
};

class Installer {
 public:
  using DownloaderFactory = std::function<std::unique_ptr<InternetDownloader>()>;
  using ShellExecuteFunction = std::function<BOOL(SHELLEXECUTEINFOW*)>;

  // `observer`, `brand` and `params` are not owned and may be null.
  Installer(InstallerObserver* observer, const BrandInfo* brand, const DistribInfoParams* params,
            bool start_async_tasks);
  Installer(const Installer&) = delete;
  Installer& operator=(const Installer&) = delete;
  // Stops the install thread and waits for it (then ends it by force).
  virtual ~Installer();

  // Starts the background downloads setup may use (seeds, bundles), once.
  // The window starts them behind its first paint.
  void StartAsyncTasks();
  // Starts the installation on its own thread; the download begins at once
  // and the thread waits for Proceed() after it. False when a thread exists
  // or cannot be started.
  bool StartInstallThread();
  // The user clicked Install.
  void RecordInstallClick();
  // The go-ahead after the download.
  void Proceed();
  // The whole installation on the calling thread, with the go-ahead given.
  void InstallSynchronously();
  // Stops the install thread and waits for it; false when it did not end in time.
  bool WaitForInstallAsync();

  // The wish is ignored on Windows 8 and 8.1.
  void SetMakeDefault(bool make_default);
  void set_send_statistics(uint8_t send_statistics) { send_statistics_ = send_statistics; }
  void set_pin(bool pin) { pin_ = pin; }
  void set_interface_availability(uint64_t value) { interface_availability_ = value; }
  uint64_t interface_availability() const { return interface_availability_; }
  void set_uac_declined(bool declined) { uac_declined_ = declined; }
  // The window's elevation mode (2: setup asks at the browser's first start).
  void set_elevation_mode(int mode) { elevation_mode_ = mode; }
  // The user interface's scale factor, reported as dpi by the start event;
  // without a window, the screen's.
  void set_scale_factor(double factor) { scale_factor_ = factor; }
  // The window started the elevated copy; setup runs there.
  void set_elevated_process(std::unique_ptr<ElevatedProcess> process) { elevated_process_ = std::move(process); }

  // Whether this process should relaunch itself with administrator rights
  // (logs the rule that says no).
  bool NeedStartThisProcessAsAdmin() const;
  // Starts the elevated copy of this executable (the elevation prompt is
  // shown now, owned by an invisible topmost window) and keeps it as the
  // elevated process. False when it was declined or could not be started;
  // the installation then runs setup here, with disable-uac when the user
  // declined.
  bool StartElevatedCopy();
  // The user confirmed cancelling.
  void IncrementCancelCount() { cancel_count_.fetch_add(1); }
  // Sets the stop event and closes the requests of the download in
  // progress, so the install thread ends promptly; from any thread.
  void Stop();

  // The process command line lacks do-not-launch-browser and setup, run here,
  // succeeded (or has not run).
  bool ShouldLaunchBrowser() const;

  bool make_default() const { return make_default_; }
  uint8_t send_statistics() const { return send_statistics_; }
  bool pin() const { return pin_; }
  bool async_tasks_active() const { return async_tasks_ != nullptr; }
  bool install_thread_started() const { return install_thread_.IsValid(); }
  bool uac_declined() const { return uac_declined_; }
  int elevation_mode() const { return elevation_mode_; }
  ElevatedProcess* elevated_process() const { return elevated_process_.get(); }
  // 400 until setup reports; 401 download failed; 402 verification failed.
  // The window's thread reads it while the install thread may still set it.
  uint32_t installer_exit_code() const { return installer_exit_code_.load(); }
  int32_t cancel_count() const { return cancel_count_.load(); }
  const std::wstring& module_path() const { return module_path_; }
  const std::wstring& installation_id() const { return installation_id_; }
  // This Windows user's identifier, without braces.
  const std::string& user_id() const { return user_id_; }
  const InstallerDataPaths& data_paths() const { return data_paths_; }
  HANDLE stop_event() const { return stop_event_.Get(); }
  // Microseconds.
  uint64_t download_duration() const { return download_duration_; }
  uint64_t setup_duration() const { return setup_duration_; }
  uint64_t active_time() const { return active_time_; }
  uint64_t install_click_time() const { return install_click_time_; }
  uint64_t proceed_time() const { return proceed_time_; }
  // The archive's file version after a download ("0.0.0.0" without one).
  const std::string& new_version() const { return new_version_; }
  // Statistics of this installation; the window sends its events here.
  StatReporter& stat_reporter() { return *stat_reporter_; }

  // The body of the install thread.
  void Install();
  // Whether setup may be pointed at its data files: false (logged) in an
  // elevated process when one could not be written.
  bool SetupFilesWritten(bool installer_data_written) const;
  // One installation attempt.
  StepResult InstallBrowser();
  // The one place a step's outcome is kept: the installer exit code it
  // decided and, for setup's failures with dialogs of their own, the shared
  // section's slot, from which the first copy learns the elevated copy's.
  void Record(const StepResult& result);

  // The setup archive download: the exit code 401 on failure, of kind
  // download (or crypto provider); generic when the file for it could not
  // be created.
  StepResult GetModule(const std::wstring& path, ScopedFileHandle* lock_holder);
  StepResult DownloadOrExtractModule(const std::wstring& path, ScopedFileHandle* lock_holder, bool* downloaded);
  StepResult DownloadModule(HANDLE file, const InstallerCommandLine& command_line);
  // One request without retries (the final report), stopped by `stopper`
  // (null: the installer's own stop); `timeout_ms` (0: the usual) bounds
  // each network wait.
  bool Download(const std::wstring& url, DownloadSink* sink, std::string* error_text, std::wstring* redirect_url,
                DownloadStopper* stopper = nullptr, DWORD timeout_ms = 0);
  // The candidate URLs for this machine and brand.
  DownloadUrlList GetDownloadUrls(bool x64) const;

  // Setup's command line for the archive at `module_path`; without file
  // paths for the elevated copy.
  InstallerCommandLine BuildSetupCommandLine(const std::wstring& module_path, bool with_file_paths) const;
  // Runs setup and waits; the result carries setup's exit code.
  StepResult RunModule(const std::wstring& module_path, const InstallerCommandLine& command_line);
  // VerifyModule against the trusted list the archive carries; the signatures
  // are read through `file` when given.
  bool VerifyArchive(const std::wstring& path, HANDLE file = nullptr);

  void set_downloader_factory_for_testing(DownloaderFactory factory) { downloader_factory_ = std::move(factory); }
  void set_timings_for_testing(const InstallerTimings& timings) { timings_ = timings; }
  // Replaces the reporter (and its sender) and gives it this installer's
  // standing parameters.
  void set_stat_reporter_for_testing(std::unique_ptr<StatReporter> reporter);
  // Replaces ShellExecuteExW when the elevated copy is started.
  void set_shell_execute_for_testing(ShellExecuteFunction shell_execute) { shell_execute_ = std::move(shell_execute); }

 private:
  // Statistics events, one per event at its place in the pipeline; virtual
  // so tests can see them.
  virtual void ReportInstallerStarted();
  virtual void ReportDownloadStarted();
  virtual void ReportDownloadError(const DownloadAttemptReport& report);
  virtual void ReportDownloadAttempt(const DownloadAttemptReport& report);
  virtual void ReportDownloadFinished();
  virtual void ReportSetupArcLockError();
  virtual void ReportVerificationError();
  virtual void ReportSetupLaunched();
  virtual void ReportSetupExited(const StepResult& setup);
  virtual void ReportInstallationFinished(bool success);
  // The user refused the elevation prompt (or it could not be shown).
  virtual void ReportUacDeclined();

  static unsigned __stdcall InstallThreadMain(void* installer);

  void Init();
  // Brand, partner, test ids and the distribution parameters' ids.
  void SetStatParams();
  std::wstring GetModulePath();
  StepResult RunModuleInElevatedProcess();
  // Setup succeeded and no browser will start to end the window: it ends now.
  void EndWindowWithoutBrowser();
  bool WriteDelayedParamsForElevatedSetup();
  // Waits while the browser's window exists and nothing stops the thread.
  void WaitForBrowserWindow();
  bool IsStopped() const;

  InstallerObserver* observer_;
  const BrandInfo* brand_;
  const DistribInfoParams* params_;
  // Started by the constructor when asked to; stopped by the destructor.
  std::unique_ptr<AsyncInstallTasks> async_tasks_;
  // Destroyed by the destructor after a bounded drain of its queue; the
  // parameters handed to setup leave the registry.
  std::unique_ptr<StatReporter> stat_reporter_;
  bool make_default_ = false;
  uint8_t send_statistics_ = 0;
  bool pin_ = true;
  std::wstring work_dir_;
  InstallerDataPaths data_paths_;
  std::wstring installation_id_;
  std::atomic<uint32_t> installer_exit_code_{kInstallerExitCodeNotFinished};
  ScopedKernelHandle install_thread_;
  ScopedKernelHandle stop_event_;
  // Stops through stop_event_; every download of the install thread joins it.
  std::unique_ptr<DownloadStopper> download_stopper_;
  ScopedKernelHandle proceed_event_;
  std::atomic<int32_t> cancel_count_{0};
  uint64_t active_time_ = 0;
  uint64_t download_duration_ = 0;
  uint64_t setup_duration_ = 0;
  uint64_t install_click_time_ = 0;
  uint64_t proceed_time_ = 0;
  uint64_t interface_availability_ = 0;
  std::string user_id_;
  bool launch_browser_ = true;
  std::unique_ptr<ElevatedProcess> elevated_process_;
  bool uac_declined_ = false;
  int elevation_mode_ = 0;
  double scale_factor_ = 0;  // 0: the screen's
  std::wstring module_path_;
  // RunModule created setup's process.
  bool setup_started_ = false;

  bool x64_download_ = false;
  std::string new_version_;
  InstallerDownloadObserver download_observer_;
  DownloaderFactory downloader_factory_;
  InstallerTimings timings_;
  ShellExecuteFunction shell_execute_;
};

// The 64-bit archive: asked for by switch, else on a 64-bit (AMD64) machine.
bool ShouldDownloadX64(const InstallerCommandLine& command_line);

// The creation time the versioned-URL rule uses: the date in the file's
// version resource, else its last-write time (both logged when missing).
bool GetModuleCreationTime(const std::wstring& path, int64_t* micros);

// QueryUnbiasedInterruptTime in microseconds.
uint64_t MonotonicMicros();

}  // namespace ostrel

#endif  // INSTALL_INSTALLER_H_
