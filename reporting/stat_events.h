// The installation events: one builder per event, so the controller and
// the window only say what happened. Platform-neutral.
#ifndef REPORTING_STAT_EVENTS_H_
#define REPORTING_STAT_EVENTS_H_

#include <cstdint>
#include <string>

#include "reporting/stat_params.h"

namespace ostrel {

// Microseconds to whole seconds, truncated; the infinite durations (the
// largest and smallest 64-bit values) pass through unchanged.
int64_t WholeSeconds(int64_t microseconds);

// Scale factor x 100, rounded half away from zero (1.5 -> 150).
int DpiPercent(double scale_factor);

StatEvent InstallerStartedEvent(int dpi_percent, int screen_width, int screen_height);

StatEvent DownloadStartedEvent();

// One attempt of the setup archive download.
struct DownloadAttemptReport {
  int attempt_number = 0;
  bool success = false;
  std::string error_text;      // the downloader's, for a failed attempt
  uint64_t downloaded_size = 0;
  uint64_t total_size = 0;     // announced length, 0 when unknown
  std::wstring url;            // left out when empty
  std::wstring redirect_host;  // left out when empty
  bool x64 = false;            // the 64-bit archive was chosen
};
// After a failed attempt, before its download_attempt event.
StatEvent DownloadErrorEvent(const DownloadAttemptReport& report);
StatEvent DownloadAttemptEvent(const DownloadAttemptReport& report);
StatEvent DownloadFinishedEvent(int64_t download_time_us);

StatEvent ArchiveLockFailedEvent();
StatEvent VerificationFailedEvent();

StatEvent InstallButtonEvent(bool checkbox_default, bool checkbox_sendstat);

// uac: "100" when UAC prompts are switched off, else "1" through the
// elevated copy, else "0".
std::wstring SetupUacValue(bool uac_prompts_enabled, bool through_elevated_copy);
// `update`: an earlier browser version is known (old_ver not empty).
StatEvent SetupLaunchedEvent(bool update, const std::wstring& uac);

// Run directly, exit code 0 and the codes 1, 3 and 5 count as success;
// through the elevated copy, an installer exit code still at 400 does.
bool IsSetupSuccess(bool through_elevated_copy, uint32_t setup_exit_code, uint32_t installer_exit_code);
struct SetupExitReport {
  bool update = false;
  bool failed_to_start = false;
  // Setup started, but its end or its exit code could not be read.
  bool exit_code_unknown = false;
  bool success = false;
  uint32_t exit_code = 0;
  int64_t setup_time_us = 0;
};
StatEvent SetupExitedEvent(const SetupExitReport& report);

// The window's controls, sent with SendDialogEvent.
inline constexpr char kButtonInstall[] = "install";
inline constexpr char kButtonCancel[] = "cancel";
inline constexpr char kButtonClose[] = "close";
inline constexpr char kButtonMinimize[] = "minimize";
inline constexpr char kButtonRestore[] = "restore";
inline constexpr char kButtonUacDeclined[] = "uac_declined";
inline constexpr char kCheckBoxDefault[] = "default";
inline constexpr char kCheckBoxSendStat[] = "sendstat";
inline constexpr char kCheckBoxQopinTrial[] = "qopin_trial";
StatEvent ButtonEvent(const char* button);
StatEvent LinkEvent(const std::wstring& url);
// The same whatever the new state of the box.
StatEvent CheckBoxEvent(const char* check_box);

// The final installation report (fetched, not queued):
// origin + "/get/browser/install?ui=..&result=..&time=..[&download_time=..][&install_time=..]".
std::string InstallationResultName(bool cancelled, bool success);
std::string BuildInstallationReportUrl(const std::string& origin, const std::string& installation_id,
                                       const std::string& result, int64_t total_time_us, int64_t download_time_us,
                                       int64_t setup_time_us);

}  // namespace ostrel

#endif  // REPORTING_STAT_EVENTS_H_
