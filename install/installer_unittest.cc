#include "install/installer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "base/file_util.h"
#include "base/installer_command_line.h"
#include "base/scoped_gdi.h"
#include "base/scoped_handle.h"
#include "base/system_queries.h"
#include "base/utf_string_conversions.h"
#include "config/brand_info.h"
#include "config/distrib_info_params.h"
#include "config/maker_hosts.h"
#include "install/delayed_params.h"
#include "install/installer_test_util.h"
#include "reporting/stat_params.h"
#include "testing/fake_os_facts.h"
#include "testing/log_capture.h"
#include "testing/registry_override.h"
#include "testing/shared_section_test_lock.h"
#include "testing/test_util.h"

namespace ostrel {
namespace {

using testing::BlocksUntil;
using testing::FailsAfter;
using testing::RecordingInstaller;
using testing::RecordingObserver;
using testing::ScriptedAttempt;
using testing::ScriptedDownloads;

constexpr DWORD kTestWaitMs = 60000;

// The signed stand-in setup archive the build packs beside the test programs.
std::string ReadArchive(const wchar_t* name) {
  std::string bytes;
  ReadFileToBytes(testing::TestBinaryDirectory() + L"\\..\\standins\\" + name, &bytes);
  return bytes;
}

// A path as the setup record (JSON) writes it.
std::string InRecord(const std::wstring& path) {
  std::string escaped;
  for (char c : WideToUtf8(path)) {
    if (c == '\\') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

bool HasProductValue(const wchar_t* name) {
  std::wstring value;
  return ReadValueFromRegistry(ProductKey(), name, &value);
}

// The outcome of trying to change the archive from outside the installer.
struct ReplaceAttempt {
  bool opened_for_writing = true;
  bool replaced = true;
  bool deleted = true;
};

ReplaceAttempt TryToReplace(const std::wstring& path, const std::wstring& replacement) {
  ReplaceAttempt attempt;
  ScopedFileHandle writer(::CreateFileW(path.c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
  attempt.opened_for_writing = writer.IsValid();
  writer.Close();
  WriteBytesToFile(replacement, "not setup");
  attempt.replaced = ::MoveFileExW(replacement.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
  attempt.deleted = ::DeleteFileW(path.c_str()) != FALSE;
  return attempt;
}

class FakeElevatedProcess : public ElevatedProcess {
 public:
  struct Record {
    int runs = 0;
    bool destroyed = false;
    DelayedParams seen;
  };
  FakeElevatedProcess(bool succeeds, int32_t failure_kind, Record* record)
      : succeeds_(succeeds), failure_kind_(failure_kind), record_(record) {}
  ~FakeElevatedProcess() override { record_->destroyed = true; }
  bool RunModule(HANDLE) override {
    ++record_->runs;
    record_->seen = ReadDelayedParams();
    if (failure_kind_ != 0) SetSharedFailureKind(failure_kind_);
    return succeeds_;
  }

 private:
  bool succeeds_;
  int32_t failure_kind_;
  Record* record_;
};

class InstallerTest : public ::testing::Test {
 protected:
  InstallerTest() : work_dir_(temp_.path() + L"\\"), brand_(work_dir_) {
    brand_.ApplyBrandInfo(R"({"install": {"setup_url": "https://a.example/main.arc"}})");
    brand_.ApplyDefaults();
    SetProcessSwitches(L"");
    log_.Clear();
  }

  void SetUp() override {
    ASSERT_TRUE(current_user_.active());
    ASSERT_TRUE(shared_section_.owned());
    ASSERT_FALSE(archive_.empty()) << "browser-setup.arc is missing from the build";
  }

  // The process command line; the installer hands it on to the stand-in
  // setup, which installs into the test folder and records its run there.
  void SetProcessSwitches(const std::wstring& switches) {
    command_line_.reset();
    command_line_ = std::make_unique<ScopedProcessCommandLineOverride>(InstallerCommandLine::ParseString(
        L"i.exe --standin-install-root=" + testing::Quote(temp_.Append(L"root")) + L" --standin-record=" +
        testing::Quote(record_path()) + L" " + switches));
  }

  std::unique_ptr<RecordingInstaller> MakeInstaller(InstallerObserver* observer, ScriptedDownloads* script,
                                                    const BrandInfo* brand, const DistribInfoParams* params = nullptr,
                                                    InstallerTimings timings = FastTimings()) {
    auto installer = std::make_unique<RecordingInstaller>(observer, brand, params, false);
    installer->set_downloader_factory_for_testing(script->Factory());
    installer->set_timings_for_testing(timings);
    return installer;
  }

  // An installer whose statistics requests land in `record`.
  std::unique_ptr<Installer> MakeReportingInstaller(ScriptedDownloads* script, const BrandInfo* brand,
                                                    testing::StatRecord* record,
                                                    const DistribInfoParams* params = nullptr) {
    auto installer = std::make_unique<Installer>(nullptr, brand, params, false);
    installer->set_downloader_factory_for_testing(script->Factory());
    installer->set_timings_for_testing(FastTimings());
    installer->set_stat_reporter_for_testing(record->MakeReporter());
    return installer;
  }

  static InstallerTimings FastTimings() {
    InstallerTimings timings;
    timings.retry_wait_ms = 0;
    timings.browser_window_poll_ms = 10;
    timings.thread_exit_wait_ms = kTestWaitMs;
    return timings;
  }

  // Archive files ("qb*.tmp") left in the work directory.
  std::vector<std::wstring> ModuleFiles() const {
    std::vector<std::wstring> files;
    WIN32_FIND_DATAW data = {};
    ScopedFindHandle find(::FindFirstFileW((work_dir_ + L"qb*.tmp").c_str(), &data));
    if (!find.IsValid()) return files;
    do files.push_back(data.cFileName);
    while (::FindNextFileW(find.Get(), &data));
    return files;
  }

  std::wstring record_path() const { return temp_.Append(L"setup-record.jsonl"); }
  std::string SetupRecord() const { return testing::ReadFileOrEmpty(record_path()); }

  bool WaitFor(HANDLE event) { return ::WaitForSingleObject(event, kTestWaitMs) == WAIT_OBJECT_0; }

  testing::ScopedFakeOsFacts facts_;  // Windows 10 on a 64-bit machine
  testing::ScopedHkcuOverride current_user_;
  testing::ScopedSharedSectionTestLock shared_section_;
  testing::ScopedTempDir temp_;
  std::wstring work_dir_;
  BrandInfo brand_;
  std::string archive_ = ReadArchive(L"browser-setup.arc");
  std::unique_ptr<ScopedProcessCommandLineOverride> command_line_;
  testing::ScopedLogCapture log_;
};

TEST_F(InstallerTest, SilentInstallationRunsSetupAndHandsTheRegistryBack) {
  SetProcessSwitches(L"--do-not-launch-browser");
  ScriptedDownloads script(archive_);
  auto installer = MakeInstaller(nullptr, &script, &brand_);
  installer->InstallSynchronously();

  EXPECT_EQ(installer->installer_exit_code(), 0u);
  EXPECT_EQ(installer->events(), (std::vector<std::string>{
                                     "installer_started",
                                     "download_started",
                                     "download_attempt success",
                                     "download_finished",
                                     "setup_launched",
                                     "setup_exited 1",
                                     "installation_finished 1",
                                 }));
  EXPECT_TRUE(ModuleFiles().empty());
  EXPECT_EQ(installer->installation_id().size(), 36u);
  EXPECT_EQ(installer->installation_id().find_first_of(L"{}"), std::wstring::npos);

  // Setup got the data files; afterwards their hand-over values are gone.
  EXPECT_EQ(installer->data_paths().installer_data_path, work_dir_ + L"master_preferences");
  EXPECT_TRUE(FileExists(work_dir_ + L"clids.xml"));
  for (const wchar_t* name : {L"InstallerData", L"ClidsFile", L"TarvikWebsiteIconFile", L"DistribInfoParams",
                              L"brand", L"BrandFile"}) {
    EXPECT_FALSE(HasProductValue(name)) << name;
  }
  EXPECT_TRUE(HasProductValue(L"lang"));
  EXPECT_TRUE(HasProductValue(L"AbtConfigResourceFile"));

  std::string record = SetupRecord();
  EXPECT_NE(record.find("\"source\":\"lite\""), std::string::npos) << record;
  EXPECT_NE(record.find("\"progress-window\":\"0\""), std::string::npos);
  EXPECT_NE(record.find("\"installerdata\":\"" + InRecord(work_dir_)), std::string::npos);
  EXPECT_NE(record.find("\"exit_code\":0"), std::string::npos);

  std::string path = WideToUtf8(installer->module_path());
  for (const std::string& line : std::vector<std::string>{
           "Install Browser.", "Executable path: " + path, "Verifying " + path, "Verification succeeded: " + path,
           "Setup process exit with code: SUCCESS_EXIT_CODE(0); error: 0"}) {
    EXPECT_TRUE(log_.Contains(line)) << line;
  }
}

// The start event's dpi: the screen's pixels per inch against 96, as a
// percentage rounded half up.
std::wstring ScreenDpiPercent() {
  ScopedWindowDC screen(nullptr);
  int dpi = ::GetDeviceCaps(screen.Get(), LOGPIXELSX);
  return std::to_wstring((dpi * 200 + 96) / 192);
}

std::wstring ScreenResolution() {
  return std::to_wstring(::GetSystemMetrics(SM_CXSCREEN)) + L"x" + std::to_wstring(::GetSystemMetrics(SM_CYSCREEN));
}

std::wstring Seconds(uint64_t micros) { return std::to_wstring(micros / 1000000); }

TEST_F(InstallerTest, SilentInstallationReportsEveryStepAndItsResult) {
  SetProcessSwitches(L"--do-not-launch-browser");
  BrandInfo brand(work_dir_);
  brand.ApplyBrandInfo(R"({"install": {"setup_url": "https://a.example/main.arc"}, "forced_testids": ["101", "202"]})");
  brand.ApplyDefaults();
  DistribInfoParams params(work_dir_);
  params.Load(InstallerCommandLine::ParseString(L"i.exe --distr-info-params=banerid=5&tarvikuid=7&distr_tarvikuid=9"));
  ScriptedDownloads script(archive_);
  testing::StatRecord record;
  auto installer = MakeReportingInstaller(&script, &brand, &record, &params);
  installer->InstallSynchronously();
  ASSERT_EQ(installer->installer_exit_code(), 0u);

  StatEvent standing = {{"brand_id", L"tarvik"},
                        {"partner_id", Utf8ToWide(brand.partner_id())},
                        {"testids", L"101;202"},  // joined with an escaped semicolon
                        {"banner_id", L"5"},
                        {"tarvik_uid", L"7"},
                        {"distr_tarvik_uid", L"9"},
                        {"launched", L"false"},
                        {"ui", L"USER"},
                        {"old_ver", L""},
                        {"lite_ver", AsciiToWide(GetFileVersionString(GetOwnExecutablePath()))},
                        {"installer_type", L"lite"},
                        {"old_style", L"0"}};
  const std::wstring size = std::to_wstring(archive_.size());
  std::vector<StatEvent> expected = {
      {{"action", L"installer_started"}, {"dpi", ScreenDpiPercent()}, {"resolution", ScreenResolution()}},
      {{"action", L"download"}, {"stage", L"started"}},
      {{"action", L"download_attempt"}, {"status", L"success"}, {"attempt_number", L"1"}, {"downloaded_size", size},
       {"total_size", size}, {"url", L"https://a.example/main.arc?from_installer_true"}, {"x64", L"1"}},
      {{"action", L"download"}, {"stage", L"finished"}, {"download_time", Seconds(installer->download_duration())}},
      {{"action", L"setup"}, {"stage", L"setup_exe_launched"}},
      {{"action", L"setup"}, {"stage", L"setup_exe_exited"}, {"setup_time", Seconds(installer->setup_duration())}},
  };
  std::vector<StatEvent> sent = record.events();
  ASSERT_EQ(sent.size(), expected.size());
  // UAC prompts are a machine setting: off, or on without an elevated copy.
  const std::wstring uac = sent[4]["uac"];
  EXPECT_TRUE(uac == L"100" || uac == L"0") << uac;
  expected[4]["uac"] = uac;
  for (size_t i = 0; i < expected.size(); ++i) {
    for (const auto& [key, value] : standing) expected[i].emplace(key, value);
    // The archive's version and the install type stand from the download's end on.
    if (i >= 3) {
      expected[i]["new_ver"] = AsciiToWide(installer->new_version());
      expected[i]["install_type"] = L"normal";
    }
    EXPECT_EQ(sent[i], expected[i]) << i;
  }

  // Setup was handed the parameters; they leave with the installer.
  StatParams handed_over;
  ParseStatParams(ReadProductValue(L"install_stat"), &handed_over);
  StatParams expected_hand_over = expected[5];
  for (const char* key : {"action", "stage", "setup_time", "old_style"}) expected_hand_over.erase(key);
  expected_hand_over["testids"] = L"101%3B202";  // as stored, before the URL escaping
  EXPECT_EQ(handed_over, expected_hand_over);

  // The final report is the last request, made by the install thread itself.
  std::vector<std::wstring> requests = script.urls();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1], AsciiToWide(hosts::kStatisticsStorage) + L"/get/browser/install?ui=" +
                             installer->installation_id() + L"&result=success&time=" +
                             Seconds(installer->active_time()) + L"&download_time=" +
                             Seconds(installer->download_duration()) + L"&install_time=" +
                             Seconds(installer->setup_duration()));
  installer.reset();
  EXPECT_FALSE(HasProductValue(L"install_stat"));
}

TEST_F(InstallerTest, InstallationThatNeverDownloadedReportsNoTimes) {
  // Without brand information there is no work directory for the archive.
  ScriptedDownloads script(archive_);
  testing::StatRecord record;
  auto installer = MakeReportingInstaller(&script, nullptr, &record);
  installer->set_scale_factor(1.5);  // the window's, not the screen's
  installer->InstallSynchronously();
  EXPECT_EQ(script.urls(), std::vector<std::wstring>{AsciiToWide(hosts::kStatisticsStorage) +
                                                     L"/get/browser/install?ui=" + installer->installation_id() +
                                                     L"&result=failed&time=0"});
  std::vector<StatEvent> sent = record.events();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0]["action"], L"installer_started");
  EXPECT_EQ(sent[0]["dpi"], L"150");
  EXPECT_EQ(sent[0]["brand_id"], L"unknown");
  EXPECT_EQ(sent[0]["partner_id"], L"unknown");
  EXPECT_EQ(sent[0]["testids"], L"");
}

TEST_F(InstallerTest, CancelledInstallationSendsNoAttemptsAndReportsCancelled) {
  ScriptedDownloads script("not an archive", {FailsAfter(3, "internet_read-12030")});
  testing::StatRecord record;
  auto installer = MakeReportingInstaller(&script, &brand_, &record);
  installer->IncrementCancelCount();
  installer->InstallSynchronously();
  EXPECT_EQ(installer->installer_exit_code(), kInstallerExitCodeVerificationFailed);

  std::vector<std::wstring> actions;
  for (StatEvent& event : record.events()) actions.push_back(event["action"] + L"/" + event["stage"]);
  EXPECT_EQ(actions, (std::vector<std::wstring>{L"installer_started/", L"download/started", L"download/finished",
                                                L"verification/error"}));
  std::vector<std::wstring> requests = script.urls();
  ASSERT_EQ(requests.size(), 3u);  // two attempts and the final report
  EXPECT_EQ(requests[2], AsciiToWide(hosts::kStatisticsStorage) + L"/get/browser/install?ui=" +
                             installer->installation_id() + L"&result=cancelled&time=0&download_time=" +
                             Seconds(installer->download_duration()));
}

// The setup events of one installation: "<action>/<stage> uac=.. error=..".
std::vector<std::wstring> SetupEvents(const testing::StatRecord& record) {
  std::vector<std::wstring> events;
  for (StatEvent& event : record.events()) {
    if (event["stage"].rfind(L"setup_exe_", 0) != 0) continue;
    std::wstring text = event["action"] + L"/" + event["stage"];
    for (const char* key : {"uac", "error"}) {
      if (event.count(key)) text += L" " + AsciiToWide(key) + L"=" + event[key];
    }
    events.push_back(text);
  }
  return events;
}

TEST_F(InstallerTest, SetupEventsTellHowSetupEnded) {
  {
    SCOPED_TRACE("setup's exit code 7");
    SetProcessSwitches(L"--do-not-launch-browser --standin-exit-code=7");
    ScriptedDownloads script(archive_);
    testing::StatRecord record;
    auto installer = MakeReportingInstaller(&script, &brand_, &record);
    installer->InstallSynchronously();
    std::vector<std::wstring> events = SetupEvents(record);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1], L"setup/setup_exe_exited error=7");
  }
  {
    SCOPED_TRACE("a code that is no success although setup ran to its end");
    SetProcessSwitches(L"--do-not-launch-browser --standin-exit-code=0x74000005");
    ScriptedDownloads script(archive_);
    testing::StatRecord record;
    auto installer = MakeReportingInstaller(&script, &brand_, &record);
    installer->InstallSynchronously();
    EXPECT_EQ(installer->installer_exit_code(), 0x74000005u);
    std::vector<std::wstring> events = SetupEvents(record);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1], L"setup/setup_exe_exited error=1946157061");
  }
  for (bool succeeds : {true, false}) {
    SCOPED_TRACE(succeeds ? "elevated copy succeeded" : "elevated copy failed");
    ScriptedDownloads script(archive_);
    testing::StatRecord record;
    FakeElevatedProcess::Record elevated;
    auto installer = MakeReportingInstaller(&script, &brand_, &record);
    installer->set_elevated_process(std::make_unique<FakeElevatedProcess>(succeeds, 0, &elevated));
    installer->InstallSynchronously();
    std::vector<std::wstring> events = SetupEvents(record);
    ASSERT_EQ(events.size(), 2u);
    // Through the elevated copy: "1", unless UAC prompts are off on this machine.
    EXPECT_TRUE(events[0] == L"setup/setup_exe_launched uac=1" || events[0] == L"setup/setup_exe_launched uac=100")
        << WideToUtf8(events[0]);
    EXPECT_EQ(events[1], succeeds ? L"setup/setup_exe_exited" : L"setup/setup_exe_exited error=400");
  }
}

TEST_F(InstallerTest, FinalReportThatFailsOnlyLogsAWarning) {
  ScriptedDownloads script(archive_, {FailsAfter(0, "final_query_info-503-0")});
  testing::StatRecord record;
  auto installer = MakeReportingInstaller(&script, nullptr, &record);
  installer->InstallSynchronously();
  EXPECT_TRUE(log_.Contains("Cannot report installation status: final_query_info-503-0"));
  EXPECT_EQ(script.attempts_made(), 1u);
}

// Sends each queued URL slowly, as a loaded machine does.
class SlowUrlSender : public AsyncUrlSender {
 public:
  SlowUrlSender(std::mutex* mutex, std::vector<std::wstring>* queued, std::vector<std::wstring>* sent)
      : mutex_(mutex), queued_(queued), sent_(sent) {}
  ~SlowUrlSender() override { Shutdown(); }

  bool Send(const std::wstring& url) override {
    {
      std::lock_guard<std::mutex> lock(*mutex_);
      queued_->push_back(url);
    }
    return AsyncUrlSender::Send(url);
  }

 protected:
  void SendUrl(const std::wstring& url) override {
    ::Sleep(100);
    std::lock_guard<std::mutex> lock(*mutex_);
    sent_->push_back(url);
  }

 private:
  std::mutex* mutex_;
  std::vector<std::wstring>* queued_;
  std::vector<std::wstring>* sent_;
};

TEST_F(InstallerTest, QueuedStatisticsAreSentBeforeTheEnd) {
  SetProcessSwitches(L"--do-not-launch-browser");
  ScriptedDownloads script(archive_);
  testing::StatRecord unused;
  auto installer = MakeReportingInstaller(&script, &brand_, &unused);
  std::mutex mutex;
  std::vector<std::wstring> queued;
  std::vector<std::wstring> sent;
  installer->set_stat_reporter_for_testing(
      std::make_unique<StatReporter>("{USER}", std::make_unique<SlowUrlSender>(&mutex, &queued, &sent)));
  installer->InstallSynchronously();
  installer.reset();
  std::lock_guard<std::mutex> lock(mutex);
  EXPECT_GE(queued.size(), 6u);  // from the start to setup's end
  EXPECT_EQ(sent, queued);
}

TEST_F(InstallerTest, SetupExitCodesSevenAndEightHaveFailureKindsOfTheirOwn) {
  for (auto [exit_code, kind] : {std::pair{7, kFailureSetupExitCode7}, std::pair{8, kFailureSetupExitCode8}}) {
    SetProcessSwitches(L"--do-not-launch-browser --standin-exit-code=" + std::to_wstring(exit_code));
    ScriptedDownloads script(archive_);
    RecordingObserver observer;
    auto installer = MakeInstaller(&observer, &script, &brand_);
    installer->InstallSynchronously();

    EXPECT_EQ(installer->installer_exit_code(), static_cast<uint32_t>(exit_code));
    // The browser never started, so the wait for its window ends at once.
    EXPECT_EQ(observer.calls(), (std::vector<std::string>{"progress 40", "remove_stop_button",
                                                          "error " + std::to_string(kind), "finished 1"}));
    EXPECT_EQ(installer->events().back(), "installation_finished 0");
    EXPECT_TRUE(ModuleFiles().empty());
    // A failed installation leaves the hand-over values for the next attempt.
    EXPECT_TRUE(HasProductValue(L"InstallerData"));
    EXPECT_TRUE(HasProductValue(L"brand"));
  }
}

TEST_F(InstallerTest, ArchiveThatFailsVerificationIsNeverRun) {
  struct Case {
    const wchar_t* archive;
    std::vector<std::string> lines;  // in this order
  } cases[] = {
      {L"browser-setup-tampered.arc", {"Failed to verify signature, error: ", "Verify error"}},
      {L"browser-setup-unlisted.arc", {"Can not find any trusted certificates. "}},
      {L"browser-setup-unsigned.arc", {"Can not find any trusted certificates. "}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.archive));
    log_.Clear();
    ScriptedDownloads script(ReadArchive(c.archive));
    ASSERT_FALSE(script.body().empty());
    RecordingObserver observer;
    auto installer = MakeInstaller(&observer, &script, &brand_);
    installer->InstallSynchronously();

    EXPECT_EQ(installer->installer_exit_code(), kInstallerExitCodeVerificationFailed);
    EXPECT_EQ(observer.calls(), (std::vector<std::string>{"error 1", "finished 1"}));
    std::vector<std::string> events = installer->events();
    EXPECT_NE(std::find(events.begin(), events.end(), "verification_error"), events.end());
    EXPECT_EQ(std::find(events.begin(), events.end(), "setup_launched"), events.end());
    EXPECT_TRUE(ModuleFiles().empty());

    std::vector<std::string> texts = log_.texts();
    auto at = texts.begin();
    for (const std::string& line : c.lines) {
      at = std::find_if(at, texts.end(), [&](const std::string& text) { return text.rfind(line, 0) == 0; });
      EXPECT_NE(at, texts.end()) << line;
    }
    EXPECT_TRUE(log_.Contains("Module verification failed: " + WideToUtf8(installer->module_path())));
  }
  EXPECT_TRUE(SetupRecord().empty());
}

TEST_F(InstallerTest, FailedDownloadEndsWith401AndTheDownloadKind) {
  ScriptedDownloads script(archive_, std::vector<ScriptedAttempt>(6, FailsAfter(0, "internet_open_url-12029")));
  RecordingObserver observer;
  auto installer = MakeInstaller(&observer, &script, &brand_);
  installer->InstallSynchronously();
  EXPECT_EQ(installer->installer_exit_code(), kInstallerExitCodeDownloadFailed);
  EXPECT_EQ(observer.calls(), (std::vector<std::string>{"error 2", "finished 1"}));
  EXPECT_TRUE(ModuleFiles().empty());
}

TEST_F(InstallerTest, NoWorkDirectoryMeansNoArchiveFile) {
  ScriptedDownloads script(archive_);
  RecordingObserver observer;
  auto installer = MakeInstaller(&observer, &script, nullptr);
  // A kind an earlier attempt left in the Shared section is not this attempt's.
  SetSharedFailureKind(kFailureSetupExitCode7);
  installer->InstallSynchronously();
  EXPECT_TRUE(log_.ContainsPrefix("Cannot obtain temp file."));
  EXPECT_EQ(observer.calls(), (std::vector<std::string>{"error 1", "finished 1"}));
  EXPECT_EQ(installer->installer_exit_code(), kInstallerExitCodeNotFinished);
  EXPECT_EQ(script.attempts_made(), 0u);
}

// An elevated run's work directory is its own: a data file's name already
// taken there is somebody else's file, never handed to setup, and the
// installation stops before anything is downloaded. A normal user's run
// replaces what an earlier run left, as before.
TEST_F(InstallerTest, ElevatedRunStopsWhenADataFileCannotBeMadeNew) {
  // No stand-in browser outlives the test (other tests look for its window).
  SetProcessSwitches(L"--do-not-launch-browser");
  std::wstring planted = work_dir_ + L"clids.xml";
  for (bool elevated : {true, false}) {
    SCOPED_TRACE(elevated ? "elevated" : "not elevated");
    ASSERT_TRUE(WriteBytesToFile(planted, "planted"));
    facts_.process_elevated = elevated;
    log_.Clear();
    ScriptedDownloads script(archive_);
    RecordingObserver observer;
    auto installer = MakeInstaller(elevated ? &observer : nullptr, &script, &brand_);
    installer->InstallSynchronously();
    if (elevated) {
      EXPECT_TRUE(log_.ContainsPrefix("Cannot write " + WideToUtf8(planted)));
      EXPECT_TRUE(log_.ContainsPrefix("Not every file setup reads could be written to "));
      EXPECT_EQ(installer->installer_exit_code(), kInstallerExitCodeNotFinished);
      EXPECT_EQ(observer.calls(), (std::vector<std::string>{"error 1", "finished 1"}));
      EXPECT_EQ(script.attempts_made(), 0u);
      EXPECT_EQ(testing::ReadFileOrEmpty(planted), "planted");
      EXPECT_TRUE(SetupRecord().empty());
    } else {
      EXPECT_EQ(installer->installer_exit_code(), 0u);
      EXPECT_NE(testing::ReadFileOrEmpty(planted), "planted");
    }
  }
}

TEST_F(InstallerTest, StopWhileWaitingForTheGoAheadEndsQuietly) {
  ScriptedDownloads script(archive_);
  RecordingObserver observer;
  auto installer = MakeInstaller(&observer, &script, &brand_);
  ASSERT_TRUE(installer->StartInstallThread());
  ASSERT_TRUE(WaitFor(script.attempt_finished()));
  EXPECT_TRUE(installer->WaitForInstallAsync());

  EXPECT_TRUE(log_.Contains(
      "Installation after download event isn't in signal state or installation was stopped early."));
  EXPECT_TRUE(observer.calls().empty());  // the user stopped it: no error
  EXPECT_EQ(installer->events().back(), "installation_finished 0");
  EXPECT_TRUE(ModuleFiles().empty());
  EXPECT_EQ(installer->installer_exit_code(), kInstallerExitCodeNotFinished);
}

TEST_F(InstallerTest, GoAheadBeforeTheDownloadEndsAndNoBrowserToWaitFor) {
  SetProcessSwitches(L"--do-not-launch-browser");
  ScopedKernelHandle release(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ScriptedDownloads script(archive_, {BlocksUntil(release.Get())});
  RecordingObserver observer;
  auto installer = MakeInstaller(&observer, &script, &brand_);
  ASSERT_TRUE(installer->StartInstallThread());
  installer->RecordInstallClick();
  installer->Proceed();
  ::SetEvent(release.Get());
  ASSERT_TRUE(WaitFor(observer.done()));
  EXPECT_TRUE(installer->WaitForInstallAsync());

  EXPECT_EQ(installer->installer_exit_code(), 0u);
  EXPECT_EQ(observer.calls(),
            (std::vector<std::string>{"progress 40", "remove_stop_button", "progress 100", "finished 1"}));
  EXPECT_GT(installer->active_time(), 0u);
  EXPECT_NE(SetupRecord().find("\"ok-button-pressed-time\":\"" + std::to_string(installer->install_click_time())),
            std::string::npos);
}

TEST_F(InstallerTest, ArchiveCannotBeReplacedFromVerificationToTheEndOfSetup) {
  SetProcessSwitches(L"--do-not-launch-browser --standin-delay-ms=300");
  std::wstring replacement = temp_.Append(L"replacement.arc");
  for (bool permanent : {false, true}) {
    SCOPED_TRACE(permanent ? "permanent lock" : "lock after the download");
    DistribInfoParams params(work_dir_);
    params.Load(InstallerCommandLine::ParseString(permanent ? L"i.exe --distr-info-params=setup_arc_permanent_lock=1"
                                                            : L"i.exe --distr-info-params=x=1"));
    ScriptedDownloads script(archive_);
    RecordingObserver observer;
    auto installer = MakeInstaller(&observer, &script, &brand_, &params);
    ReplaceAttempt during_setup;
    observer.on_progress = [&](int percentage) {
      if (percentage == 40) during_setup = TryToReplace(installer->module_path(), replacement);
    };
    ASSERT_TRUE(installer->StartInstallThread());
    ASSERT_TRUE(WaitFor(script.attempt_finished()));
    if (permanent) {
      // Locked from the download on: the write handle lets others read only.
      ScopedFileHandle writer(::CreateFileW(installer->module_path().c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
      EXPECT_FALSE(writer.IsValid());
    }
    installer->Proceed();
    ASSERT_TRUE(WaitFor(observer.done()));
    EXPECT_TRUE(installer->WaitForInstallAsync());

    EXPECT_EQ(installer->installer_exit_code(), 0u);
    EXPECT_FALSE(during_setup.opened_for_writing);
    EXPECT_FALSE(during_setup.replaced);
    EXPECT_FALSE(during_setup.deleted);
    EXPECT_TRUE(ModuleFiles().empty());
    ::DeleteFileW(replacement.c_str());
  }
}

TEST_F(InstallerTest, ThreadWaitsForTheBrowsersWindowToClose) {
  SetProcessSwitches(L"--standin-browser-lifetime-ms=1500");
  ScriptedDownloads script(archive_);
  RecordingObserver observer;
  bool window_gone_when_finished = false;
  observer.on_finished = [&] {
    window_gone_when_finished = !::FindWindowExW(HWND_MESSAGE, nullptr, kBrowserMessageWindowClass, nullptr);
  };
  InstallerTimings timings = FastTimings();
  timings.browser_window_poll_ms = 100;
  auto installer = MakeInstaller(&observer, &script, &brand_, nullptr, timings);
  ASSERT_TRUE(installer->StartInstallThread());
  installer->Proceed();
  ASSERT_TRUE(WaitFor(observer.done()));
  EXPECT_TRUE(installer->WaitForInstallAsync());

  EXPECT_EQ(observer.calls(), (std::vector<std::string>{"progress 40", "remove_stop_button", "finished 1"}));
  EXPECT_TRUE(window_gone_when_finished);
  EXPECT_NE(SetupRecord().find("\"browser_started\":true"), std::string::npos);
}

TEST_F(InstallerTest, StopEndsTheWaitForTheBrowser) {
  SetProcessSwitches(L"--standin-browser-lifetime-ms=20000");
  ScriptedDownloads script(archive_);
  RecordingObserver observer;
  InstallerTimings timings = FastTimings();
  timings.browser_window_poll_ms = 50;
  auto installer = MakeInstaller(&observer, &script, &brand_, nullptr, timings);
  ASSERT_TRUE(installer->StartInstallThread());
  installer->Proceed();
  HWND browser = nullptr;
  for (int i = 0; i < 600 && !browser; ++i) {
    ::Sleep(50);
    std::vector<std::string> events = installer->events();
    if (!events.empty() && events.back() == "setup_exited 1")
      browser = ::FindWindowExW(HWND_MESSAGE, nullptr, kBrowserMessageWindowClass, nullptr);
  }
  ASSERT_TRUE(browser);
  EXPECT_TRUE(installer->WaitForInstallAsync());
  EXPECT_EQ(observer.calls(), (std::vector<std::string>{"progress 40", "remove_stop_button"}));
  EXPECT_EQ(installer->events().back(), "installation_finished 1");

  DWORD browser_process_id = 0;
  ::GetWindowThreadProcessId(browser, &browser_process_id);
  ScopedKernelHandle process(::OpenProcess(PROCESS_TERMINATE, FALSE, browser_process_id));
  if (process.IsValid()) ::TerminateProcess(process.Get(), 0);
}

TEST_F(InstallerTest, DestructionEndsAThreadThatDoesNotStop) {
  ScopedKernelHandle never(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ScriptedDownloads script(archive_, {BlocksUntil(never.Get())});
  InstallerTimings timings = FastTimings();
  timings.thread_exit_wait_ms = 200;
  auto installer = MakeInstaller(nullptr, &script, &brand_, nullptr, timings);
  ASSERT_TRUE(installer->StartInstallThread());
  for (int i = 0; i < 600 && script.attempts_made() == 0; ++i) ::Sleep(10);
  ASSERT_EQ(script.attempts_made(), 1u);
  EXPECT_FALSE(installer->WaitForInstallAsync());
  installer.reset();
  std::vector<testing::CapturedRecord> records = log_.records();
  auto terminated = std::find_if(records.begin(), records.end(),
                                 [](const auto& record) { return record.function == "~Installer"; });
  ASSERT_NE(terminated, records.end());
  EXPECT_EQ(terminated->level, LOG_ERROR);
  EXPECT_EQ(terminated->text.rfind("Failed to wait for install async exit. Terminate install_thread_", 0), 0u);
}

TEST_F(InstallerTest, ElevatedCopyRunsSetupWithTheDelayedParameters) {
  ScriptedDownloads script(archive_);
  RecordingObserver observer;
  FakeElevatedProcess::Record record;
  auto installer = MakeInstaller(&observer, &script, &brand_);
  installer->set_send_statistics(1);
  installer->set_pin(false);
  installer->set_elevated_process(std::make_unique<FakeElevatedProcess>(false, kFailureSetupExitCode8, &record));
  installer->InstallSynchronously();

  EXPECT_EQ(record.runs, 1);
  EXPECT_TRUE(record.destroyed);
  EXPECT_EQ(record.seen.browser_arc_path, installer->module_path());
  EXPECT_EQ(record.seen.installer_data_path, work_dir_ + L"master_preferences");
  EXPECT_EQ(record.seen.clids_file_path, work_dir_ + L"clids.xml");
  EXPECT_EQ(record.seen.histogram_full_time, std::to_wstring(installer->proceed_time()));
  EXPECT_EQ(record.seen.histogram_download_time, L"0");
  EXPECT_EQ(record.seen.send_statistics, 1);
  EXPECT_EQ(record.seen.install_qopin, 0);
  // The kind the copy left, and no exit code of setup's in this process.
  EXPECT_EQ(observer.calls(), (std::vector<std::string>{"error 6", "finished 1"}));
  EXPECT_EQ(installer->installer_exit_code(), kInstallerExitCodeNotFinished);

  // Success there leaves 400 here and hands the registry back.
  SetSharedFailureKind(0);
  FakeElevatedProcess::Record success;
  ScriptedDownloads again(archive_);
  auto second = MakeInstaller(nullptr, &again, &brand_);
  second->set_elevated_process(std::make_unique<FakeElevatedProcess>(true, 0, &success));
  ::SetEvent(second->stop_event());  // a synchronous run starts afresh
  second->InstallSynchronously();
  EXPECT_EQ(success.runs, 1);
  EXPECT_EQ(second->installer_exit_code(), kInstallerExitCodeNotFinished);
  EXPECT_EQ(second->events().back(), "installation_finished 1");
  EXPECT_FALSE(HasProductValue(L"InstallerData"));
}

TEST_F(InstallerTest, DelayedParametersThatDoNotFitStopTheElevatedRun) {
  SetProcessSwitches(L"--clids-file=" + std::wstring(300, L'c'));
  ScriptedDownloads script(archive_);
  RecordingObserver observer;
  FakeElevatedProcess::Record record;
  auto installer = MakeInstaller(&observer, &script, &brand_);
  installer->set_elevated_process(std::make_unique<FakeElevatedProcess>(true, 0, &record));
  installer->InstallSynchronously();
  EXPECT_EQ(record.runs, 0);
  EXPECT_TRUE(log_.Contains("Unexpected error in CreateDelayedParamsMapping()"));
  EXPECT_EQ(observer.calls(), (std::vector<std::string>{"error 1", "finished 1"}));
  EXPECT_TRUE(ModuleFiles().empty());
}

TEST(InstallerWishesTest, MakeDefaultIsIgnoredOnWindows8AndLaunchFollowsTheSwitch) {
  testing::ScopedFakeOsFacts facts;
  Installer installer(nullptr, nullptr, nullptr, false);
  for (auto [major, minor, build, honoured] :
       {std::tuple{6u, 2u, 9200u, false}, std::tuple{6u, 3u, 9600u, false}, std::tuple{6u, 1u, 7601u, true},
        std::tuple{10u, 0u, 19045u, true}}) {
    facts.SetWindows(major, minor, build);
    installer.SetMakeDefault(false);
    installer.SetMakeDefault(true);
    EXPECT_EQ(installer.make_default(), honoured) << major << "." << minor;
  }
  EXPECT_EQ(installer.installer_exit_code(), kInstallerExitCodeNotFinished);
  EXPECT_TRUE(installer.pin());
  EXPECT_EQ(installer.send_statistics(), 0);

  {
    ScopedProcessCommandLineOverride command_line(InstallerCommandLine::ParseString(L"i.exe"));
    EXPECT_TRUE(installer.ShouldLaunchBrowser());
  }
  ScopedProcessCommandLineOverride command_line(InstallerCommandLine::ParseString(L"i.exe --do-not-launch-browser"));
  EXPECT_FALSE(installer.ShouldLaunchBrowser());
}

TEST(InstallerWishesTest, WindowsElevationModeAndBrowserPresenceReachSetup) {
  ScopedProcessCommandLineOverride command_line(InstallerCommandLine::ParseString(L"i.exe"));
  Installer installer(nullptr, nullptr, nullptr, false);
  InstallerCommandLine plain = installer.BuildSetupCommandLine(L"a.arc", true);
  EXPECT_FALSE(plain.IsSwitchPresent("show-uac-at-browser-start"));
  EXPECT_FALSE(plain.IsSwitchPresent("browser-present"));

  installer.set_elevation_mode(2);
  installer.stat_reporter().SetParam(StatParam::kBrowserPresent, L"corporate");
  InstallerCommandLine chosen = installer.BuildSetupCommandLine(L"a.arc", false);
  EXPECT_TRUE(chosen.IsSwitchPresent("show-uac-at-browser-start"));
  EXPECT_EQ(chosen.SwitchValueNative("browser-present"), L"corporate");
}

}  // namespace
}  // namespace ostrel
