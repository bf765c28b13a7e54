#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "base/file_util.h"
#include "base/installer_command_line.h"
#include "base/os_facts.h"
#include "base/scoped_handle.h"
#include "base/structured_exception.h"
#include "base/system_queries.h"
#include "base/utf_string_conversions.h"
#include "config/brand_info.h"
#include "install/installer.h"
#include "install/installer_test_util.h"
#include "reporting/stat_reporter.h"
#include "testing/fake_os_facts.h"
#include "testing/log_capture.h"
#include "testing/registry_override.h"
#include "testing/test_util.h"

namespace ostrel {
namespace {

using testing::RecordingInstaller;
using testing::ScriptedAttempt;
using testing::FailsAfter;
using testing::ScriptedDownloads;
using testing::ThrowsOnOpen;

constexpr char kMainUrl[] = "https://a.example/main.arc";
constexpr char kX64Url[] = "https://a.example/x64.arc";
constexpr wchar_t kMainAttempt[] = L"https://a.example/main.arc?from_installer=true";
constexpr wchar_t kX64Attempt[] = L"https://a.example/x64.arc?from_installer=true";
constexpr uint32_t kBodySize = 1000000;

std::string Body() {
  std::string body(kBodySize, '\0');
  for (uint32_t i = 0; i < kBodySize; ++i) body[i] = static_cast<char>(i * 7 % 253);
  return body;
}

class InstallerDownloadTest : public ::testing::Test {
 protected:
  InstallerDownloadTest() : brand_(temp_.path() + L"\\") {
    brand_.ApplyBrandInfo(R"({"install": {"setup_url": "https://a.example/main.arc",
                                          "setup_url64": "https://a.example/x64.arc"}})");
  }

  std::unique_ptr<RecordingInstaller> MakeInstaller(ScriptedDownloads* script, DWORD retry_wait_ms = 0) {
    auto installer = std::make_unique<RecordingInstaller>(nullptr, &brand_, nullptr, false);
    installer->set_downloader_factory_for_testing(script->Factory());
    InstallerTimings timings;
    timings.retry_wait_ms = retry_wait_ms;
    installer->set_timings_for_testing(timings);
    return installer;
  }

  // DownloadModule into a fresh file of the test folder; the file's bytes after it.
  FailureKind RunDownloadModule(Installer* installer, std::string* bytes = nullptr,
                                const wchar_t* command_line = L"i.exe") {
    std::wstring path = temp_.Append(L"archive");
    ScopedFileHandle file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    StepResult result = installer->DownloadModule(file.Get(), InstallerCommandLine::ParseString(command_line));
    file.Close();
    if (bytes) ReadFileToBytes(path, bytes);
    return result.failure;
  }

  // An installer whose statistics requests land in `record`.
  std::unique_ptr<Installer> MakeReportingInstaller(ScriptedDownloads* script, testing::StatRecord* record) {
    auto installer = std::make_unique<Installer>(nullptr, &brand_, nullptr, false);
    installer->set_downloader_factory_for_testing(script->Factory());
    InstallerTimings timings;
    timings.retry_wait_ms = 0;
    installer->set_timings_for_testing(timings);
    installer->set_stat_reporter_for_testing(record->MakeReporter());
    return installer;
  }

  // What every request of these installers carries besides its event.
  StatEvent Standing() const {
    return StatEvent{{"brand_id", Utf8ToWide(brand_.brand_id())},
                     {"partner_id", Utf8ToWide(brand_.partner_id())},
                     {"testids", L""},
                     {"launched", L"false"},
                     {"ui", L"USER"},
                     {"old_ver", L""},
                     {"lite_ver", AsciiToWide(GetFileVersionString(GetOwnExecutablePath()))},
                     {"installer_type", L"lite"},
                     {"old_style", L"0"}};
  }
  StatEvent WithStanding(StatEvent event) const {
    for (const auto& [key, value] : Standing()) event.emplace(key, value);
    return event;
  }

  testing::ScopedFakeOsFacts facts_;  // Windows 10 on a 64-bit machine
  // The reporter reads and removes hand-over values.
  testing::ScopedHkcuOverride current_user_;
  testing::ScopedTempDir temp_;
  BrandInfo brand_;
  testing::ScopedLogCapture log_;
};

TEST_F(InstallerDownloadTest, AttemptsFollowTheListAndResumeOnlyWhatIsWorthIt) {
  ScriptedDownloads script(Body(), {
                                       FailsAfter(kBodySize / 20, "internet_read-12030"),    // 5%: started again
                                       FailsAfter(kBodySize / 2, "final_query_info-500-0"),  // 50%: resumed
                                       FailsAfter(0, "incomplete_download-0"),               // nothing more: kept
                                       FailsAfter(kBodySize / 4, "final_query_info-404-0"),  // next URL from zero
                                   });
  auto installer = MakeInstaller(&script);
  std::string bytes;
  EXPECT_EQ(RunDownloadModule(installer.get(), &bytes), kFailureNone);
  EXPECT_EQ(bytes, script.body());

  EXPECT_EQ(script.urls(), (std::vector<std::wstring>{kX64Attempt, kX64Attempt, kX64Attempt, kMainAttempt,
                                                       kMainAttempt}));
  EXPECT_EQ(script.resume_offsets(), (std::vector<uint32_t>{0, 0, kBodySize / 2, 0, kBodySize / 4}));

  EXPECT_EQ(installer->events(), (std::vector<std::string>{
                                     "download_started",
                                     "download_error attempt-1-internet_read-12030",
                                     "download_attempt failed",
                                     "download_error attempt-2-final_query_info-500-0",
                                     "download_attempt failed",
                                     "download_error attempt-3-incomplete_download-0",
                                     "download_attempt failed",
                                     "download_error attempt-1-final_query_info-404-0",
                                     "download_attempt failed",
                                     "download_attempt success",
                                 }));
  std::vector<DownloadAttemptReport> attempts = installer->attempts();
  ASSERT_EQ(attempts.size(), 5u);
  EXPECT_EQ(attempts[0].downloaded_size, 0u);  // discarded
  EXPECT_EQ(attempts[1].downloaded_size, kBodySize / 2);
  EXPECT_EQ(attempts[1].total_size, kBodySize);
  EXPECT_EQ(attempts[1].url, kX64Attempt);
  EXPECT_TRUE(attempts[1].x64);
  EXPECT_EQ(attempts[4].attempt_number, 2);
  EXPECT_EQ(attempts[4].downloaded_size, kBodySize);

  std::vector<std::string> texts = log_.texts();
  auto selected = std::find(texts.begin(), texts.end(), "Selected download urls:");
  ASSERT_GE(texts.end() - selected, 3);
  std::vector<std::string> list(selected, selected + 3);
  EXPECT_EQ(list, (std::vector<std::string>{"Selected download urls:", std::string(kX64Url) + "?from_installer=true",
                                            std::string(kMainUrl) + "?from_installer=true"}));
  EXPECT_TRUE(log_.Contains("Download attempt 1 of 3 failed: internet_read-12030"));
  EXPECT_TRUE(log_.Contains("Download attempt 1 of 3 failed: final_query_info-404-0"));
}

TEST_F(InstallerDownloadTest, AttemptStatisticsCarrySizesUrlsAndTheRedirectHost) {
  ASSERT_TRUE(current_user_.active());
  ScriptedAttempt redirected = FailsAfter(kBodySize / 2, "final_query_info-500-0");
  redirected.redirect_url = L"http://127.0.0.1:47440/x64.arc?from_installer=true";
  // Longer than the canonicalisation buffer: no host rather than a cut one.
  ScriptedAttempt unusable_redirect = FailsAfter(1000, "internet_read-12030");
  unusable_redirect.redirect_url = L"https://mirror.example/" + std::wstring(2100, L'a');
  ScriptedAttempt unknown_length;
  unknown_length.unknown_length = true;
  ScriptedDownloads script(Body(), {redirected, unusable_redirect, unknown_length});
  testing::StatRecord record;
  auto installer = MakeReportingInstaller(&script, &record);
  EXPECT_EQ(RunDownloadModule(installer.get()), kFailureNone);

  // Hyphens and equals signs are item syntax: they travel as underscores.
  const std::wstring url = L"https://a.example/x64.arc?from_installer_true";
  std::vector<StatEvent> expected = {
      {{"action", L"download"}, {"stage", L"started"}},
      {{"action", L"download"}, {"stage", L"error"}, {"error", L"attempt_1_final_query_info_500_0"},
       {"url", url}, {"redirect", L"127.0.0.1"}},
      {{"action", L"download_attempt"}, {"status", L"failed"}, {"error", L"final_query_info_500_0"},
       {"attempt_number", L"1"}, {"downloaded_size", L"500000"}, {"total_size", L"1000000"}, {"url", url},
       {"redirect", L"127.0.0.1"}, {"x64", L"1"}},
      {{"action", L"download"}, {"stage", L"error"}, {"error", L"attempt_2_internet_read_12030"}, {"url", url}},
      {{"action", L"download_attempt"}, {"status", L"failed"}, {"error", L"internet_read_12030"},
       {"attempt_number", L"2"}, {"downloaded_size", L"501000"}, {"total_size", L"1000000"}, {"url", url},
       {"x64", L"1"}},
      {{"action", L"download_attempt"}, {"status", L"success"}, {"attempt_number", L"3"},
       {"downloaded_size", L"1000000"}, {"total_size", L"0"}, {"url", url}, {"x64", L"1"}},
  };
  for (StatEvent& event : expected) event = WithStanding(std::move(event));
  EXPECT_EQ(record.events(), expected);
}

TEST_F(InstallerDownloadTest, DownloadedArchiveBecomesStatisticsParameters) {
  ASSERT_TRUE(current_user_.active());
  ScriptedDownloads script(Body());
  testing::StatRecord record;
  auto installer = MakeReportingInstaller(&script, &record);
  ASSERT_TRUE(installer->GetModule(temp_.Append(L"qb5.tmp"), nullptr).succeeded());
  std::vector<StatEvent> events = record.events();
  ASSERT_EQ(events.size(), 3u);  // started, attempt, finished
  EXPECT_EQ(events[1].count("new_ver"), 0u);
  StatEvent finished = WithStanding({{"action", L"download"}, {"stage", L"finished"},
                                     {"download_time", std::to_wstring(installer->download_duration() / 1000000)},
                                     {"new_ver", L"0.0.0.0"}, {"install_type", L"normal"}});
  EXPECT_EQ(events[2], finished);
  EXPECT_EQ(installer->stat_reporter().GetParam(StatParam::kNewVersion), L"0.0.0.0");
}

TEST_F(InstallerDownloadTest, ThirtyTwoBitArchiveAndSwitches) {
  ScriptedDownloads script(Body());
  auto installer = MakeInstaller(&script);
  EXPECT_EQ(RunDownloadModule(installer.get(), nullptr, L"i.exe --download-x32"), kFailureNone);
  EXPECT_EQ(script.urls(), std::vector<std::wstring>{kMainAttempt});
  EXPECT_FALSE(installer->attempts()[0].x64);

  InstallerCommandLine plain = InstallerCommandLine::ParseString(L"i.exe");
  EXPECT_TRUE(ShouldDownloadX64(plain));
  EXPECT_TRUE(ShouldDownloadX64(InstallerCommandLine::ParseString(L"i.exe --download-x64 --download-x32")));
  EXPECT_FALSE(ShouldDownloadX64(InstallerCommandLine::ParseString(L"i.exe --download-x32")));
  for (uint16_t architecture : {0 /* x86 */, 6 /* IA64 */, 12 /* ARM64 */}) {
    facts_.native_architecture = architecture;
    EXPECT_FALSE(ShouldDownloadX64(plain)) << architecture;
    EXPECT_TRUE(ShouldDownloadX64(InstallerCommandLine::ParseString(L"i.exe --download-x64")));
  }
}

TEST_F(InstallerDownloadTest, EveryAttemptFailingGivesUpAnd401) {
  std::vector<ScriptedAttempt> failures(6, FailsAfter(10, "final_query_info-404-0"));
  ScriptedDownloads script(Body(), failures);
  auto installer = MakeInstaller(&script);
  std::wstring path = temp_.Append(L"qb1.tmp");
  StepResult result = installer->GetModule(path, nullptr);
  EXPECT_EQ(result.failure, kFailureDownload);
  EXPECT_EQ(script.attempts_made(), 6u);
  EXPECT_EQ(result.exit_code, kInstallerExitCodeDownloadFailed);
  EXPECT_TRUE(log_.Contains("Max download attempts failed"));
  EXPECT_TRUE(log_.ContainsPrefix("Module was not downloaded: " + WideToUtf8(path) + " - "));
  EXPECT_FALSE(log_.ContainsPrefix("Module downloaded"));
  std::vector<std::string> events = installer->events();
  EXPECT_EQ(std::count(events.begin(), events.end(), "download_attempt failed"), 6);
  EXPECT_EQ(std::count(events.begin(), events.end(), "download_finished"), 0);
}

TEST_F(InstallerDownloadTest, SuccessfulGetModuleMeasuresAndReports) {
  ScriptedDownloads script(Body());
  auto installer = MakeInstaller(&script);
  std::wstring path = temp_.Append(L"qb2.tmp");
  StepResult result = installer->GetModule(path, nullptr);
  EXPECT_TRUE(result.succeeded());
  EXPECT_FALSE(result.exit_code);
  EXPECT_TRUE(log_.Contains("Try to download module:" + WideToUtf8(path)));
  EXPECT_TRUE(log_.Contains("Module downloaded: " + WideToUtf8(path)));
  EXPECT_EQ(installer->new_version(), "0.0.0.0");  // the scripted body has no version resource
  EXPECT_EQ(installer->events().back(), "download_finished");
}

// The archive's name is its own reserved file: a hard link planted there is
// not written through, and nothing is downloaded into it.
TEST_F(InstallerDownloadTest, AHardLinkAtTheArchivesNameIsNotWrittenThrough) {
  ScriptedDownloads script(Body());
  auto installer = MakeInstaller(&script);
  std::wstring target = temp_.Append(L"someone-elses.txt");
  ASSERT_TRUE(WriteBytesToFile(target, "keep me"));
  std::wstring path = temp_.Append(L"qb3.tmp");
  ASSERT_TRUE(::CreateHardLinkW(path.c_str(), target.c_str(), nullptr));
  StepResult result = installer->GetModule(path, nullptr);
  EXPECT_FALSE(result.succeeded());
  EXPECT_TRUE(log_.Contains("Not a plain file of its own: " + WideToUtf8(path)));
  EXPECT_EQ("keep me", testing::ReadFileOrEmpty(target));
}

TEST_F(InstallerDownloadTest, ExceptionWhileOpeningEndsTheDownload) {
  struct Case {
    ScriptedAttempt attempt;
    FailureKind result;
    std::string warning;
  } cases[] = {
      {ThrowsOnOpen(kDelayLoadModuleNotFound, "cplib.dll", "CPCryptoProInit"), kFailureDownloadCryptoProvider,
       "Exception with code=" + std::to_string(kDelayLoadModuleNotFound) + "dll_name=cplib.dllproc_name=CPCryptoProInit"},
      {ThrowsOnOpen(kDelayLoadModuleNotFound, "CPLIB.DLL", "cryptoproHelper"), kFailureDownloadCryptoProvider, ""},
      {ThrowsOnOpen(kDelayLoadModuleNotFound, "other.dll", "CryptoPro"), kFailureDownload, ""},
      {ThrowsOnOpen(0xC0000005), kFailureDownload, "Exception with code=3221225477"},
  };
  for (const Case& c : cases) {
    ScriptedDownloads script(Body(), {c.attempt});
    auto installer = MakeInstaller(&script);
    log_.Clear();
    EXPECT_EQ(RunDownloadModule(installer.get()), c.result);
    EXPECT_EQ(script.attempts_made(), 1u);  // no further attempts or URLs
    if (!c.warning.empty()) {
      EXPECT_TRUE(log_.Contains(c.warning));
    }
    EXPECT_EQ(installer->events(), std::vector<std::string>{"download_started"});
  }
}

TEST_F(InstallerDownloadTest, StopBeforeAnAttemptAndDuringTheWait) {
  {
    ScriptedDownloads script(Body());
    auto installer = MakeInstaller(&script);
    ::SetEvent(installer->stop_event());
    EXPECT_EQ(RunDownloadModule(installer.get()), kFailureDownload);
    EXPECT_EQ(script.attempts_made(), 0u);
    EXPECT_TRUE(log_.Contains("Installation stopped"));
  }
  // The wait after a failed attempt is long; a stop ends it and no further
  // request is made.
  ScriptedDownloads script(Body(), {FailsAfter(100, "internet_read-12002")});
  auto installer = MakeInstaller(&script, 10 * 60 * 1000);
  std::thread stopper([&] {
    ::WaitForSingleObject(script.attempt_finished(), INFINITE);
    ::SetEvent(installer->stop_event());
  });
  log_.Clear();
  EXPECT_EQ(RunDownloadModule(installer.get()), kFailureDownload);
  stopper.join();
  EXPECT_EQ(script.attempts_made(), 1u);
  EXPECT_TRUE(log_.Contains("Installation stopped"));
  EXPECT_FALSE(log_.Contains("Max download attempts failed"));
}

TEST_F(InstallerDownloadTest, CancelledInstallationSendsNoAttemptEvents) {
  ScriptedDownloads script(Body(), {FailsAfter(100, "internet_read-12002")});
  auto installer = MakeInstaller(&script);
  installer->IncrementCancelCount();
  EXPECT_EQ(RunDownloadModule(installer.get()), kFailureNone);
  EXPECT_EQ(script.attempts_made(), 2u);
  EXPECT_EQ(installer->events(), std::vector<std::string>{"download_started"});
}

TEST_F(InstallerDownloadTest, TargetThatCannotBeCreated) {
  ScriptedDownloads script(Body());
  auto installer = MakeInstaller(&script);
  std::wstring path = temp_.Append(L"missing\\qb3.tmp");
  bool downloaded = true;
  EXPECT_EQ(installer->DownloadOrExtractModule(path, nullptr, &downloaded).failure, kFailureGeneric);
  EXPECT_FALSE(downloaded);
  EXPECT_TRUE(log_.ContainsPrefix("Cannot create file:" + WideToUtf8(path)));
  EXPECT_EQ(script.attempts_made(), 0u);
  // Nothing was downloaded, so no download time is reported.
  StepResult result = installer->GetModule(path, nullptr);
  EXPECT_EQ(result.failure, kFailureGeneric);
  EXPECT_EQ(installer->download_duration(), 0u);
  EXPECT_EQ(result.exit_code, kInstallerExitCodeDownloadFailed);
}

TEST_F(InstallerDownloadTest, LockHolderKeepsTheArchiveReadableOnly) {
  ScriptedDownloads script(Body());
  auto installer = MakeInstaller(&script);
  std::wstring path = temp_.Append(L"qb4.tmp");
  ScopedFileHandle holder;
  bool downloaded = false;
  EXPECT_TRUE(installer->DownloadOrExtractModule(path, &holder, &downloaded).succeeded());
  EXPECT_TRUE(downloaded);
  ASSERT_TRUE(holder.IsValid());
  ScopedFileHandle writer(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
  EXPECT_FALSE(writer.IsValid());
  std::string bytes;
  EXPECT_TRUE(ReadFileToBytes(path, &bytes));
  EXPECT_EQ(bytes, script.body());
}

TEST_F(InstallerDownloadTest, SingleRequestForTheFinalReport) {
  ScriptedDownloads script("answer", {FailsAfter(2, "final_query_info-503-0")});
  auto installer = MakeInstaller(&script);
  StringDownloadSink sink;
  sink.Write("old", 3);
  std::string error;
  std::wstring redirect;
  EXPECT_FALSE(installer->Download(L"https://s.example/get/browser/install?ui=x", &sink, &error, &redirect));
  EXPECT_EQ(error, "final_query_info-503-0");
  EXPECT_EQ(script.resume_offsets(), std::vector<uint32_t>{0});  // the sink was emptied first
  EXPECT_TRUE(log_.Contains("Attempt to download module: https://s.example/get/browser/install?ui=x"));
  EXPECT_TRUE(installer->Download(L"https://s.example/", &sink, &error, &redirect));
  EXPECT_EQ(sink.data(), "answer");
}

TEST(InstallerDownloadObserverTest, ForwardsWithSetupsShareOfTheRemainingTime) {
  testing::RecordingObserver observer;
  InstallerObserver* pointer = nullptr;
  InstallerDownloadObserver adapter(&pointer);
  adapter.OnRemainingTime(10, DownloadProgressObserver::kRemainingEstimated);  // nobody listens
  pointer = &observer;
  adapter.OnProgress(0.5f);
  adapter.OnSlowDownload();
  adapter.OnRemainingTime(60, DownloadProgressObserver::kRemainingEstimated);
  adapter.OnRemainingTime(0, DownloadProgressObserver::kRemainingFinished);
  EXPECT_TRUE(observer.downloaded_progress());
  EXPECT_EQ(observer.download_calls(), (std::vector<std::string>{"slow", "remaining 300 1", "remaining 240 2"}));
}

TEST(ModuleCreationTimeTest, VersionResourceDateElseLastWriteTime) {
  testing::ScopedLogCapture log;
  int64_t micros = 0;
  // The build writes its commit's date into the installer's version resource.
  ASSERT_TRUE(GetModuleCreationTime(testing::InstallerExecutablePath(), &micros));
  EXPECT_EQ(log.texts(), std::vector<std::string>{});
  constexpr int64_t kMicrosFrom1601To2024 = 13348540800LL * 1000000;
  EXPECT_GT(micros, kMicrosFrom1601To2024);
  EXPECT_LE(micros, GetOsFacts().GetCurrentTimeMicros());

  testing::ScopedTempDir temp;
  std::wstring plain = temp.Append(L"plain.bin");
  ASSERT_TRUE(WriteBytesToFile(plain, "no resources"));
  log.Clear();
  EXPECT_TRUE(GetModuleCreationTime(plain, &micros));
  EXPECT_EQ(log.texts(), (std::vector<std::string>{"File version resource is absent in " + WideToUtf8(plain),
                                                   "Used the last write file time"}));
  EXPECT_FALSE(GetModuleCreationTime(temp.Append(L"absent.exe"), &micros));
}

}  // namespace
}  // namespace ostrel
