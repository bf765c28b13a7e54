#include "reporting/stat_events.h"

#include <cmath>
#include <limits>

#include "base/utf_string_conversions.h"

namespace ostrel {
namespace {

constexpr char kAction[] = "action";
constexpr char kStage[] = "stage";
constexpr char kDialogWindow[] = "dialog_window";
constexpr wchar_t kDialogWindowName[] = L"liteinstall";

std::wstring Decimal(int64_t value) { return std::to_wstring(value); }

std::wstring Flag(bool value) { return value ? L"1" : L"0"; }

StatEvent ActionStage(const wchar_t* action, const wchar_t* stage) {
  return StatEvent{{kAction, action}, {kStage, stage}};
}

void AddUrls(const DownloadAttemptReport& report, StatEvent* event) {
  if (!report.url.empty()) (*event)["url"] = report.url;
  if (!report.redirect_host.empty()) (*event)["redirect"] = report.redirect_host;
}

const wchar_t* SetupAction(bool update) { return update ? L"update" : L"setup"; }

StatEvent DialogEvent(const char* key, std::wstring value) {
  return StatEvent{{key, std::move(value)}, {kDialogWindow, kDialogWindowName}};
}

}  // namespace

int64_t WholeSeconds(int64_t microseconds) {
  if (microseconds == std::numeric_limits<int64_t>::max() || microseconds == std::numeric_limits<int64_t>::min())
    return microseconds;
  return microseconds / 1000000;
}

int DpiPercent(double scale_factor) { return static_cast<int>(std::lround(scale_factor * 100.0)); }

StatEvent InstallerStartedEvent(int dpi_percent, int screen_width, int screen_height) {
  return StatEvent{{kAction, L"installer_started"},
                   {"dpi", Decimal(dpi_percent)},
                   {"resolution", Decimal(screen_width) + L"x" + Decimal(screen_height)}};
}

StatEvent DownloadStartedEvent() { return ActionStage(L"download", L"started"); }

StatEvent DownloadErrorEvent(const DownloadAttemptReport& report) {
  StatEvent event = ActionStage(L"download", L"error");
  event["error"] = L"attempt-" + Decimal(report.attempt_number) + L"-" + AsciiToWide(report.error_text);
  AddUrls(report, &event);
  return event;
}

StatEvent DownloadAttemptEvent(const DownloadAttemptReport& report) {
  StatEvent event{{kAction, L"download_attempt"},
                  {"status", report.success ? L"success" : L"failed"},
                  {"attempt_number", Decimal(report.attempt_number)},
                  {"downloaded_size", std::to_wstring(report.downloaded_size)},
                  {"total_size", std::to_wstring(report.total_size)}};
  if (!report.success) event["error"] = AsciiToWide(report.error_text);
  AddUrls(report, &event);
  if (report.x64) event["x64"] = L"1";
  return event;
}

StatEvent DownloadFinishedEvent(int64_t download_time_us) {
  StatEvent event = ActionStage(L"download", L"finished");
  event["download_time"] = Decimal(WholeSeconds(download_time_us));
  return event;
}

StatEvent ArchiveLockFailedEvent() { return ActionStage(L"setup_arc_lock", L"error"); }

StatEvent VerificationFailedEvent() { return ActionStage(L"verification", L"error"); }

StatEvent InstallButtonEvent(bool checkbox_default, bool checkbox_sendstat) {
  return StatEvent{{kAction, L"install_browser_button_clicked"},
                   {"checkbox_default", Flag(checkbox_default)},
                   {"checkbox_sendstat", Flag(checkbox_sendstat)}};
}

std::wstring SetupUacValue(bool uac_prompts_enabled, bool through_elevated_copy) {
  if (!uac_prompts_enabled) return L"100";
  return Flag(through_elevated_copy);
}

StatEvent SetupLaunchedEvent(bool update, const std::wstring& uac) {
  StatEvent event = ActionStage(SetupAction(update), L"setup_exe_launched");
  event["uac"] = uac;
  return event;
}

bool IsSetupSuccess(bool through_elevated_copy, uint32_t setup_exit_code, uint32_t installer_exit_code) {
  if (through_elevated_copy) return installer_exit_code == 400;
  return setup_exit_code == 0 || setup_exit_code == 1 || setup_exit_code == 3 || setup_exit_code == 5;
}

StatEvent SetupExitedEvent(const SetupExitReport& report) {
  StatEvent event = ActionStage(SetupAction(report.update), L"setup_exe_exited");
  if (report.failed_to_start) {
    event["error"] = L"FailedToStart";
  } else if (report.exit_code_unknown) {
    event["error"] = L"ExitCodeUnknown";
  } else if (!report.success) {
    event["error"] = std::to_wstring(report.exit_code);
  }
  event["setup_time"] = Decimal(WholeSeconds(report.setup_time_us));
  return event;
}

StatEvent ButtonEvent(const char* button) { return DialogEvent("clicked_button", AsciiToWide(button)); }

StatEvent LinkEvent(const std::wstring& url) { return DialogEvent("clicked_link", url); }

StatEvent CheckBoxEvent(const char* check_box) { return DialogEvent("chosen_checkbox", AsciiToWide(check_box)); }

std::string InstallationResultName(bool cancelled, bool success) {
  if (cancelled) return "cancelled";
  return success ? "success" : "failed";
}

std::string BuildInstallationReportUrl(const std::string& origin, const std::string& installation_id,
                                       const std::string& result, int64_t total_time_us, int64_t download_time_us,
                                       int64_t setup_time_us) {
  std::string url = origin + "/get/browser/install?ui=" + installation_id + "&result=" + result +
                    "&time=" + std::to_string(WholeSeconds(total_time_us));
  if (download_time_us != 0) url += "&download_time=" + std::to_string(WholeSeconds(download_time_us));
  if (setup_time_us != 0) url += "&install_time=" + std::to_string(WholeSeconds(setup_time_us));
  return url;
}

}  // namespace ostrel
