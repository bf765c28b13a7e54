#include "reporting/stat_events.h"

#include <gtest/gtest.h>

#include <limits>

namespace ostrel {
namespace {

TEST(StatEventsTest, StartEventRoundsTheScaleHalfAwayFromZero) {
  EXPECT_EQ(150, DpiPercent(1.5));
  EXPECT_EQ(100, DpiPercent(1.0));
  EXPECT_EQ(113, DpiPercent(1.125));
  EXPECT_EQ(125, DpiPercent(1.249));
  EXPECT_EQ((StatEvent{{"action", L"installer_started"}, {"dpi", L"150"}, {"resolution", L"2560x1440"}}),
            InstallerStartedEvent(150, 2560, 1440));
}

TEST(StatEventsTest, DownloadAttemptEvents) {
  DownloadAttemptReport failed;
  failed.attempt_number = 2;
  failed.error_text = "final_query_info-404-0";
  failed.downloaded_size = 10;
  failed.url = L"https://cdn/browser-setup.arc?from_installer=true";
  failed.redirect_host = L"mirror";
  EXPECT_EQ((StatEvent{{"action", L"download"},
                       {"stage", L"error"},
                       {"error", L"attempt-2-final_query_info-404-0"},
                       {"url", L"https://cdn/browser-setup.arc?from_installer=true"},
                       {"redirect", L"mirror"}}),
            DownloadErrorEvent(failed));
  EXPECT_EQ((StatEvent{{"action", L"download_attempt"},
                       {"status", L"failed"},
                       {"error", L"final_query_info-404-0"},
                       {"attempt_number", L"2"},
                       {"downloaded_size", L"10"},
                       {"total_size", L"0"},
                       {"url", L"https://cdn/browser-setup.arc?from_installer=true"},
                       {"redirect", L"mirror"}}),
            DownloadAttemptEvent(failed));

  DownloadAttemptReport success;
  success.attempt_number = 1;
  success.success = true;
  success.downloaded_size = success.total_size = 5000000000ull;  // beyond 32 bits
  success.x64 = true;
  EXPECT_EQ((StatEvent{{"action", L"download_attempt"},
                       {"status", L"success"},
                       {"attempt_number", L"1"},
                       {"downloaded_size", L"5000000000"},
                       {"total_size", L"5000000000"},
                       {"x64", L"1"}}),
            DownloadAttemptEvent(success));
  EXPECT_EQ((StatEvent{{"action", L"download"}, {"stage", L"started"}}), DownloadStartedEvent());
  EXPECT_EQ((StatEvent{{"action", L"download"}, {"stage", L"finished"}, {"download_time", L"12"}}),
            DownloadFinishedEvent(12999999));
}

TEST(StatEventsTest, WholeSecondsTruncateButKeepInfiniteDurations) {
  EXPECT_EQ(0, WholeSeconds(999999));
  EXPECT_EQ(-1, WholeSeconds(-1999999));
  EXPECT_EQ(std::numeric_limits<int64_t>::max(), WholeSeconds(std::numeric_limits<int64_t>::max()));
  EXPECT_EQ(std::numeric_limits<int64_t>::min(), WholeSeconds(std::numeric_limits<int64_t>::min()));
}

TEST(StatEventsTest, SetupEvents) {
  EXPECT_EQ(L"100", SetupUacValue(false, true));
  EXPECT_EQ(L"1", SetupUacValue(true, true));
  EXPECT_EQ(L"0", SetupUacValue(true, false));
  EXPECT_EQ((StatEvent{{"action", L"update"}, {"stage", L"setup_exe_launched"}, {"uac", L"0"}}),
            SetupLaunchedEvent(true, L"0"));

  for (uint32_t code : {0u, 1u, 3u, 5u}) EXPECT_TRUE(IsSetupSuccess(false, code, 401));
  for (uint32_t code : {2u, 7u, 8u, 0x74000000u}) EXPECT_FALSE(IsSetupSuccess(false, code, 400));
  EXPECT_TRUE(IsSetupSuccess(true, 0, 400));
  EXPECT_FALSE(IsSetupSuccess(true, 1, 7));

  SetupExitReport report;
  report.setup_time_us = 65000000;
  report.success = true;
  EXPECT_EQ((StatEvent{{"action", L"setup"}, {"stage", L"setup_exe_exited"}, {"setup_time", L"65"}}),
            SetupExitedEvent(report));
  report.success = false;
  report.exit_code = 0x80070005;
  EXPECT_EQ(L"2147942405", SetupExitedEvent(report)["error"]);
  report.failed_to_start = true;
  EXPECT_EQ(L"FailedToStart", SetupExitedEvent(report)["error"]);
  report.failed_to_start = false;
  report.exit_code_unknown = true;
  EXPECT_EQ(L"ExitCodeUnknown", SetupExitedEvent(report)["error"]);
}

TEST(StatEventsTest, WindowEvents) {
  EXPECT_EQ((StatEvent{{"action", L"install_browser_button_clicked"},
                       {"checkbox_default", L"1"},
                       {"checkbox_sendstat", L"0"}}),
            InstallButtonEvent(true, false));
  EXPECT_EQ((StatEvent{{"clicked_button", L"uac_declined"}, {"dialog_window", L"liteinstall"}}),
            ButtonEvent(kButtonUacDeclined));
  EXPECT_EQ((StatEvent{{"clicked_link", L"https://legal/browser_agreement/"}, {"dialog_window", L"liteinstall"}}),
            LinkEvent(L"https://legal/browser_agreement/"));
  EXPECT_EQ((StatEvent{{"chosen_checkbox", L"sendstat"}, {"dialog_window", L"liteinstall"}}),
            CheckBoxEvent(kCheckBoxSendStat));
  EXPECT_EQ((StatEvent{{"action", L"setup_arc_lock"}, {"stage", L"error"}}), ArchiveLockFailedEvent());
  EXPECT_EQ((StatEvent{{"action", L"verification"}, {"stage", L"error"}}), VerificationFailedEvent());
}

TEST(StatEventsTest, FinalReportLeavesOutTimesNotMeasured) {
  EXPECT_EQ("https://s/get/browser/install?ui=ABC-1&result=failed&time=0",
            BuildInstallationReportUrl("https://s", "ABC-1", InstallationResultName(false, false), 0, 0, 0));
  EXPECT_EQ("https://s/get/browser/install?ui=&result=cancelled&time=70&download_time=20&install_time=40",
            BuildInstallationReportUrl("https://s", "", InstallationResultName(true, true), 70500000, 20000000,
                                       40999999));
  EXPECT_EQ("success", InstallationResultName(false, true));
}

}  // namespace
}  // namespace ostrel
