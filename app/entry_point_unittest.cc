#include "app/entry_point.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "app/process_hardening.h"
#include "app/start_up_configuration.h"
#include "base/file_util.h"
#include "base/system_queries.h"
#include "base/utf_string_conversions.h"
#include "config/config_test_util.h"
#include "install/delayed_params.h"
#include "install/elevated_process.h"
#include "install/installer.h"
#include "install/protected_archive_copy.h"
#include "testing/fake_os_facts.h"
#include "testing/log_capture.h"
#include "testing/registry_override.h"
#include "testing/shared_section_test_lock.h"
#include "testing/test_util.h"

namespace ostrel {
namespace {

struct MessageBoxCall {
  std::wstring caption;
  std::wstring text;
};
std::vector<MessageBoxCall>* g_boxes = nullptr;
int g_disk_space_notices = 0;

void RecordMessageBox(const std::wstring& caption, const std::wstring& text) {
  g_boxes->push_back({caption, text});
}

// What the silent mode handed to its Installer instead of installing.
struct SilentInstallation {
  int runs = 0;
  bool make_default = false;
  uint8_t send_statistics = 0;
  bool pin = false;
};
SilentInstallation* g_silent = nullptr;

void RecordSilentInstallation(Installer* installer) {
  ++g_silent->runs;
  g_silent->make_default = installer->make_default();
  g_silent->send_statistics = installer->send_statistics();
  g_silent->pin = installer->pin();
}

class RunModesTest : public ::testing::Test {
 protected:
  RunModesTest() {
    EXPECT_TRUE(hkcu_.active());
    g_boxes = &boxes_;
    g_silent = &silent_;
    environment_.single_instance_mutex_name = mutex_name_.c_str();
    environment_.show_message_box = RecordMessageBox;
    environment_.show_disk_space_notice = [](LANGID) { ++g_disk_space_notices; };
    environment_.install_synchronously = RecordSilentInstallation;
  }
  ~RunModesTest() override {
    g_boxes = nullptr;
    g_silent = nullptr;
  }

  int Run(const wchar_t* command_line, int hardening_result = kHardeningSecure, int hardening_exit_code = 0) {
    log_.Clear();
    return RunStartedProcess(InstallerCommandLine::ParseString(command_line), hardening_result, hardening_exit_code,
                             environment_);
  }

  bool Logged(const std::string& prefix) { return log_.ContainsPrefix(prefix); }

  // The lines of the entry point itself, without those of the configuration.
  std::vector<std::string> MainTexts() {
    std::vector<std::string> texts;
    for (const auto& record : log_.records())
      if (record.function == "wWinMain") texts.push_back(record.text);
    return texts;
  }

  std::wstring mutex_name_ = L"Local\\TarvikFrameTestInstance-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                             std::to_wstring(::GetTickCount());
  // The runs build real Installers, whose reporters write and remove
  // per-user hand-over values: keep them away from other tests' values.
  testing::ScopedHkcuOverride hkcu_;
  RunModeEnvironment environment_;
  std::vector<MessageBoxCall> boxes_;
  SilentInstallation silent_;
  testing::ScopedFakeOsFacts facts_;
  testing::ScopedLogCapture log_{testing::ScopedLogCapture::kThisThreadOnly};
  // Loading the brand removes these hand-over values; they are put back.
  testing::ScopedProductValues values_{L"brand", L"BrandFile", L"PartnerFile", L"DistribInfoParams"};
};

TEST_F(RunModesTest, HardeningResultsDecideWhetherTheProcessGoesOn) {
  EXPECT_EQ(Run(L"i.exe --silent", kHardeningCopyRefused, kInsecureEnvironmentExitCode), -200);
  EXPECT_EQ(log_.texts(), std::vector<std::string>{"Exiting, because of insecure environment."});
  // Waiting for the copy failed: its outcome is unknown, never a success.
  EXPECT_EQ(Run(L"i.exe --silent", kHardeningCopyLost, ERROR_ACCESS_DENIED), 400);
  ASSERT_EQ(log_.records().size(), 1u);
  EXPECT_EQ(log_.records()[0].level, LOG_ERROR);
  EXPECT_EQ(log_.records()[0].text.rfind("Lost the installer copy in the protected directory - 5,", 0), 0u)
      << log_.records()[0].text;

  EXPECT_EQ(Run(L"i.exe --silent", kHardeningDllsBesideCopy), -200);
  EXPECT_EQ(log_.texts(), std::vector<std::string>{"Exiting, DLL files found in working directory"});

  EXPECT_EQ(Run(L"i.exe --silent", kHardeningCopyFinished, 1603), 1603);
  EXPECT_TRUE(log_.texts().empty());

  // 1 and 2 go on; the elevated child mode is the shortest way on.
  EXPECT_EQ(Run(L"i.exe --run-as-admin", kHardeningUnavailable), kElevatedChildFailedExitCode);
  EXPECT_TRUE(Logged("Can't find secure environment."));
  EXPECT_EQ(Run(L"i.exe --run-as-admin", kHardeningSecure), kElevatedChildFailedExitCode);
  EXPECT_EQ(log_.texts().front(), "Runned in secure environment.");
  EXPECT_EQ(MainTexts(), std::vector<std::string>{"Runned in secure environment."});
}

TEST_F(RunModesTest, ProbeModeComesBeforeTheHardeningResultAndEndsTheRun) {
  // The shell's internal interfaces do not exist here.
  EXPECT_EQ(Run(L"i.exe --check-the-interface --silent", kHardeningDllsBesideCopy), 701);
  std::vector<std::string> texts = log_.texts();
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts.back(), "Handled non install cmd line option by win10 default browser helper, ret code: 701");
  EXPECT_FALSE(Logged("Exiting"));
  EXPECT_FALSE(Logged("Lite installer mode."));
}

TEST_F(RunModesTest, SilentRunLogsItsStepsInOrder) {
  EXPECT_EQ(Run(L"i.exe --silent --brand-name=partner"), kInstallerExitCodeNotFinished);
  std::vector<std::string> expected = {
      "Runned in secure environment.",
      "Lite installer mode.",
      "Installer process id: " + std::to_string(::GetCurrentProcessId()),
      "Temporary path is: " + WideToUtf8(GetTempDirectory()),
      "Installing in silent mode.",
      "Installer exit with code: 400",
  };
  EXPECT_EQ(MainTexts(), expected);
  EXPECT_TRUE(boxes_.empty());
  EXPECT_EQ(silent_.runs, 1);
}

TEST_F(RunModesTest, SilentModeHandsTheSwitchesWishesToTheInstaller) {
  EXPECT_EQ(Run(L"i.exe --silent"), kInstallerExitCodeNotFinished);
  EXPECT_FALSE(silent_.make_default);
  EXPECT_EQ(silent_.send_statistics, 1);  // the brand does not refuse statistics
  EXPECT_TRUE(silent_.pin);

  EXPECT_EQ(Run(L"i.exe --silent --make-browser-default-after-import --send-statistics --disableqopin"),
            kInstallerExitCodeNotFinished);
  EXPECT_TRUE(silent_.make_default);
  EXPECT_EQ(silent_.send_statistics, 1);
  EXPECT_FALSE(silent_.pin);

  // Windows 8.1 keeps the browser from being made the default.
  facts_.SetWindows(6, 3, 9600);
  EXPECT_EQ(Run(L"i.exe --silent --make-browser-default-after-import"), kInstallerExitCodeNotFinished);
  EXPECT_FALSE(silent_.make_default);
  EXPECT_EQ(silent_.runs, 3);
}

TEST(StartUpConfigurationTest, LanguageParameterReplacesTheBrandsLanguage) {
  testing::ScopedProductValues values{L"brand", L"BrandFile", L"PartnerFile", L"DistribInfoParams"};
  testing::ScopedFakeOsFacts facts;
  testing::ScopedTempDir temp;
  std::wstring work_dir = temp.path() + L"\\";
  StartUpConfiguration configuration = LoadStartUpConfiguration(
      InstallerCommandLine::ParseString(L"i.exe --distr-info-params=lang=tr&banerid=7"), work_dir, "");
  ASSERT_TRUE(configuration.distribution_parameters && configuration.brand);
  EXPECT_EQ(configuration.distribution_parameters->json_path(), work_dir + L"distrib_info");
  EXPECT_EQ(configuration.brand->interface_language(), "tr");
  EXPECT_EQ(configuration.brand->brand_id(), "tarvik");  // defaults applied
  EXPECT_EQ(configuration.brand->work_dir(), work_dir);

  StartUpConfiguration plain = LoadStartUpConfiguration(InstallerCommandLine::ParseString(L"i.exe"), work_dir, "");
  EXPECT_EQ(plain.brand->interface_language(), "en");
  EXPECT_TRUE(plain.distribution_parameters->json_path().empty());
}

TEST_F(RunModesTest, SecondInstanceExitsWith600) {
  HANDLE held = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE release = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread holder([&] {
    SingleInstanceLock lock(mutex_name_.c_str());
    ::SetEvent(held);
    ::WaitForSingleObject(release, INFINITE);
  });
  ::WaitForSingleObject(held, INFINITE);
  // SHARED is common to every process of this test executable: set it here
  // rather than depend on what another test process left there.
  WriteMasterProcessId(::GetCurrentProcessId());
  EXPECT_EQ(Run(L"i.exe --silent"), kAnotherInstanceExitCode);
  ::SetEvent(release);
  holder.join();
  ::CloseHandle(held);
  ::CloseHandle(release);

  std::vector<std::string> texts = log_.texts();
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[1], "Lite installer mode.");
  EXPECT_EQ(texts[2], "Another installer instance is already running.");
  EXPECT_EQ(texts[3], "Master installer process id: " + std::to_string(::GetCurrentProcessId()));
}

TEST_F(RunModesTest, ProcessorWithoutSse3Exits404WithABoxOnlyWhenWindowed) {
  facts_.missing_processor_features = {PF_SSE3_INSTRUCTIONS_AVAILABLE};
  EXPECT_EQ(Run(L"i.exe --semi-silent"), kCpuNotSupportedExitCode);
  EXPECT_TRUE(boxes_.empty());
  ASSERT_FALSE(log_.records().empty());
  EXPECT_EQ(log_.records().back().level, LOG_ERROR);
  EXPECT_EQ(log_.texts().back().rfind("CPU is not supported - ", 0), 0u) << log_.texts().back();
  EXPECT_FALSE(Logged("Installer exit with code"));

  facts_.missing_processor_features = {PF_XMMI64_INSTRUCTIONS_AVAILABLE};
  EXPECT_EQ(Run(L"i.exe"), kCpuNotSupportedExitCode);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].caption, L"Tarvik\u00a0Browser Installation");
  EXPECT_EQ(boxes_[0].text, L"Couldn't install Tarvik\u00a0Browser on this computer.\nYour processor does not support SSE2.");

  // The brand's language, not the system's.
  EXPECT_EQ(Run(L"i.exe --brand-name=ua_uk"), kCpuNotSupportedExitCode);
  ASSERT_EQ(boxes_.size(), 2u);
  EXPECT_EQ(boxes_[1].caption, L"Встановлення Tarvik\u00a0Браузера");
  EXPECT_EQ(boxes_[1].text, L"Не вдалося встановити Tarvik\u00a0Браузер на цей комп’ютер.\nВаш процесор не підтримує SSE2.");
}

TEST_F(RunModesTest, TooLittleDiskSpaceStopsOnlyTheWindowedMode) {
  facts_.free_disk_bytes = kRequiredDiskSpace - 1;
  g_disk_space_notices = 0;
  EXPECT_EQ(Run(L"i.exe"), kNotEnoughDiskSpaceExitCode);
  EXPECT_EQ(g_disk_space_notices, 1);
  EXPECT_TRUE(Logged("There is not enough disk space to install browser"));
  EXPECT_EQ(log_.texts().back(), "Installer exit with code: 403");

  EXPECT_EQ(Run(L"i.exe --silent --system-level"), kInstallerExitCodeNotFinished);
  EXPECT_TRUE(Logged("Installing in silent mode."));
  EXPECT_NE(facts_.last_disk_folder.find(L"Program Files"), std::wstring::npos);
}

TEST(RunModeMessagesTest, CpuMessageNamesTheMissingFeature) {
  CpuMessage sse3 = CpuNotSupportedMessage(MissingProcessorFeature::kSse3, 1033);
  EXPECT_EQ(sse3.caption, L"Tarvik\u00a0Browser Installation");
  EXPECT_EQ(sse3.text, L"Couldn't install Tarvik\u00a0Browser on this computer.\nThe processor doesn't support SSE3.");
}

TEST(RunModeMessagesTest, WindowResultOtherThanOneIsACancellation) {
  testing::ScopedLogCapture log;
  EXPECT_EQ(WindowedExitCode(1, 7), 7);
  EXPECT_TRUE(log.texts().empty());
  EXPECT_EQ(WindowedExitCode(2, 0), kUserCancelledExitCode);
  EXPECT_EQ(log.texts(), std::vector<std::string>{"User cancelled installation."});
}

// The elevated copy's side, in this process: the test makes the hand-over
// events and writes the delayed parameters as the first copy would.
class ElevatedChildModeTest : public ::testing::Test {
 protected:
  ElevatedChildModeTest()
      : go_ahead_(::CreateEventA(nullptr, FALSE, FALSE, kElevatedGoAheadEventName)),
        cancel_(::CreateEventA(nullptr, FALSE, FALSE, kElevatedCancelEventName)) {}

  void SetUp() override {
    ASSERT_TRUE(lock_.owned());
    ASSERT_TRUE(go_ahead_.IsValid());
    ASSERT_TRUE(cancel_.IsValid());
  }

  int Run(const std::wstring& parent_id, const RunModeEnvironment& environment = RunModeEnvironment()) {
    std::wstring setup = L"fake_browser_arc --progress-window=0 --do-not-launch-browser --standin-install-root=" +
                         testing::Quote(temp_.Append(L"root")) + L" --standin-record=" +
                         testing::Quote(record_path());
    InstallerCommandLine command_line = InstallerCommandLine::ParseString(
        L"i.exe --run-as-admin --parent-installer-process-id=" + parent_id + L" --setup-cmd-line=" +
        testing::Quote(setup));
    log_.Clear();
    return RunStartedProcess(command_line, kHardeningSecure, 0, environment);
  }
  int Run() { return Run(std::to_wstring(::GetCurrentProcessId())); }

  // Setup's command line as the "Run: " line gives it.
  InstallerCommandLine SetupRun() {
    for (const auto& record : log_.records())
      if (record.text.rfind("Run: ", 0) == 0) return InstallerCommandLine::ParseString(Utf8ToWide(record.text.substr(5)));
    return InstallerCommandLine();
  }

  // A copy of a stand-in archive of the build at `path`.
  static bool CopyStandinArchive(const wchar_t* name, const std::wstring& path) {
    return CreateDirectoryRecursive(DirName(path)) &&
           ::CopyFileW((testing::TestBinaryDirectory() + L"\\..\\standins\\" + name).c_str(), path.c_str(), FALSE);
  }

  // The mode's own lines as "LEVEL text".
  std::vector<std::string> ChildLines() {
    std::vector<std::string> lines;
    for (const auto& record : log_.records())
      if (record.function == "ExecuteAsAdmin") lines.push_back((record.level == LOG_ERROR ? "ERROR " : "INFO ") + record.text);
    return lines;
  }

  // Gives the go-ahead with `archive` named.
  void GoAheadWith(const std::wstring& archive) {
    DelayedParams params;
    params.browser_arc_path = archive;
    GoAheadWith(params);
  }
  void GoAheadWith(const DelayedParams& params) {
    ASSERT_TRUE(WriteDelayedParams(params));
    ::SetEvent(go_ahead_.Get());
  }

  std::wstring record_path() const { return temp_.Append(L"setup-record.jsonl"); }

  testing::ScopedSharedSectionTestLock lock_;
  ScopedKernelHandle go_ahead_;
  ScopedKernelHandle cancel_;
  testing::ScopedTempDir temp_;
  testing::ScopedLogCapture log_;
};

TEST_F(ElevatedChildModeTest, CancelOrTheParentsEndBeforeTheGoAheadExitMinusOne) {
  ::SetEvent(cancel_.Get());
  EXPECT_EQ(Run(), kElevatedChildFailedExitCode);
  EXPECT_EQ(ChildLines(), (std::vector<std::string>{
                              "INFO Start installer as admin",
                              "ERROR Installer started as admin has been unexpectedly synced, wr=1"}));

  // A parent that has ended (its handle keeps the id from being reused).
  ScopedKernelHandle parent = testing::StartProcess(testing::Quote(testing::TestHelperPath()) + L" exit-code 0");
  ASSERT_EQ(::WaitForSingleObject(parent.Get(), 60000), WAIT_OBJECT_0);
  EXPECT_EQ(Run(std::to_wstring(::GetProcessId(parent.Get()))), kElevatedChildFailedExitCode);
  EXPECT_EQ(ChildLines().back(), "ERROR Installer started as admin has been unexpectedly synced, wr=2");

  // The go-ahead wins over both when they come together.
  ::SetEvent(cancel_.Get());
  GoAheadWith(L"");
  EXPECT_EQ(Run(std::to_wstring(::GetProcessId(parent.Get()))), kElevatedChildFailedExitCode);
  EXPECT_EQ(ChildLines().back(), "ERROR No browser archive was handed over");
}

TEST_F(ElevatedChildModeTest, ASuspiciousParentIdOpensNoProcessAndEndsTheWait) {
  ::SetEvent(go_ahead_.Get());
  for (const wchar_t* id : {L"12x", L"", L"-4", L"99999999999"}) {
    EXPECT_EQ(Run(id), kElevatedChildFailedExitCode);
    std::vector<std::string> lines = ChildLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].rfind("ERROR Suspicious process id=" + WideToUtf8(id) + " - ", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1], "INFO Start installer as admin");
    EXPECT_EQ(lines[2], "ERROR Installer started as admin has been unexpectedly synced, wr=4294967295");
  }
  EXPECT_EQ(::WaitForSingleObject(go_ahead_.Get(), 0), WAIT_OBJECT_0) << "the failed waits took nothing";
}

TEST_F(ElevatedChildModeTest, OnlyAnExistingSignedArchiveNamedByTheFirstCopyRuns) {
  GoAheadWith(L"");
  EXPECT_EQ(Run(), kElevatedChildFailedExitCode);
  EXPECT_EQ(ChildLines().back(), "ERROR No browser archive was handed over");

  std::wstring missing = temp_.Append(L"qb1.tmp");
  GoAheadWith(missing);
  EXPECT_EQ(Run(), kElevatedChildFailedExitCode);
  EXPECT_EQ(ChildLines().back(), "ERROR Browser archive " + WideToUtf8(missing) + " does not exist");

  // A relative name would be looked for along the search path.
  GoAheadWith(L"browser-setup.arc");
  EXPECT_EQ(Run(), kElevatedChildFailedExitCode);
  EXPECT_EQ(ChildLines().back(), "ERROR Browser archive browser-setup.arc does not exist");

  // A name with ".." could lead anywhere from where it seems to point.
  std::wstring dotted = temp_.Append(L"sub\\..\\qb2.tmp");
  std::wstring unsigned_archive = temp_.Append(L"qb2.tmp");
  ASSERT_TRUE(CopyStandinArchive(L"browser-setup-unsigned.arc", unsigned_archive));
  CreateDirectoryRecursive(temp_.Append(L"sub"));
  GoAheadWith(dotted);
  EXPECT_EQ(Run(), kElevatedChildFailedExitCode);
  EXPECT_EQ(ChildLines().back(), "ERROR Browser archive " + WideToUtf8(dotted) + " is refused: a \"..\" component");

  {
    // Someone who could still change it after the check.
    ScopedFileHandle writer(::CreateFileW(unsigned_archive.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(writer.IsValid());
    GoAheadWith(unsigned_archive);
    EXPECT_EQ(Run(), kElevatedChildFailedExitCode);
    EXPECT_EQ(ChildLines().back().rfind("ERROR Cannot lock file: " + WideToUtf8(unsigned_archive), 0), 0u);
  }
  GoAheadWith(unsigned_archive);
  EXPECT_EQ(Run(), kElevatedChildFailedExitCode);
  EXPECT_EQ(ChildLines().back(), "ERROR Module verification failed: " + WideToUtf8(unsigned_archive));
  EXPECT_FALSE(log_.ContainsPrefix("Run: "));
  EXPECT_TRUE(testing::ReadFileOrEmpty(record_path()).empty()) << "setup never ran";
}

// Moves the directory of the handed-over archive away and puts the directory
// "other" beside it in its place: the name now leads to another file, as
// after retargeting a junction in the path (Wine 8 makes no junctions).
void RetargetHandedOverName(const std::wstring& archive) {
  std::wstring directory = DirName(archive);
  ASSERT_TRUE(::MoveFileW(directory.c_str(), (directory + L"-verified").c_str()));
  ASSERT_TRUE(::MoveFileW(JoinPath(DirName(directory), L"other").c_str(), directory.c_str()));
}

TEST_F(ElevatedChildModeTest, ANameRetargetedAfterTheCheckNeverGetsItsNewTargetRun) {
  std::wstring named = temp_.Append(L"handed\\qb3.tmp");
  ASSERT_TRUE(CopyStandinArchive(L"browser-setup.arc", named));
  ASSERT_TRUE(CopyStandinArchive(L"browser-setup-unsigned.arc", temp_.Append(L"other\\qb3.tmp")));
  GoAheadWith(named);
  RunModeEnvironment environment;
  environment.after_archive_verified = RetargetHandedOverName;
  EXPECT_EQ(Run(std::to_wstring(::GetCurrentProcessId()), environment), 0);

  // What ran is the verified copy in an administrators-only directory of the
  // Windows temporary folder, removed afterwards; the name now leads to the
  // unsigned archive, which never ran.
  std::wstring program = SetupRun().ProgramPath();
  EXPECT_EQ(DirName(DirName(program)), WindowsTempDirectory()) << WideToUtf8(program);
  EXPECT_EQ(BaseName(program), L"qb3.tmp");
  EXPECT_FALSE(PathExists(DirName(program)));
  EXPECT_TRUE(FileExists(temp_.Append(L"handed-verified\\qb3.tmp")));
  std::string record = testing::ReadFileOrEmpty(record_path());
  EXPECT_NE(record.find(WideToUtf8(BaseName(DirName(program)))), std::string::npos) << record;
  EXPECT_EQ(record.find("handed\\\\qb3.tmp"), std::string::npos) << record;
}

TEST_F(ElevatedChildModeTest, DataFilePathsThatAreNotPlainFilesAreDroppedAndSetupStillInstalls) {
  DelayedParams params;
  params.browser_arc_path = temp_.Append(L"qb4.tmp");
  ASSERT_TRUE(CopyStandinArchive(L"browser-setup.arc", params.browser_arc_path));
  params.clids_file_path = temp_.Append(L"clids.xml");
  ASSERT_TRUE(WriteBytesToFile(params.clids_file_path, "<clids/>"));
  params.installer_data_path = L"installer_data";                         // relative
  params.brand_package_path = temp_.Append(L"x\\..\\clids.xml");         // ".."
  params.partner_package_path = temp_.path();                             // a directory
  params.tarvik_website_icon_file_path = temp_.Append(L"missing.ico");    // no such file
  GoAheadWith(params);
  EXPECT_EQ(Run(), 0);

  std::vector<std::string> warnings;
  for (const auto& record : log_.records())
    if (record.level == LOG_WARNING && record.function == "DropUnsafeHandedOverPaths") warnings.push_back(record.text);
  EXPECT_EQ(warnings, (std::vector<std::string>{
                          "Dropped installer_data_path installer_data: not an absolute path",
                          "Dropped tarvik_website_icon_file_path " + WideToUtf8(params.tarvik_website_icon_file_path) +
                              ": no such file",
                          "Dropped brand_package_path " + WideToUtf8(params.brand_package_path) +
                              ": a \"..\" component",
                          "Dropped partner_package_path " + WideToUtf8(temp_.path()) + ": a directory"}));
  InstallerCommandLine setup = SetupRun();
  // The plain file reaches setup as its copy beside the archive.
  std::wstring clids = setup.SwitchValueNative("clids-file");
  EXPECT_EQ(DirName(clids), DirName(setup.ProgramPath()));
  EXPECT_EQ(BaseName(clids), L"d1-clids.xml");
  for (const char* dropped : {"installerdata", "brand-package", "partner-package", "tarvik-website-icon-file"})
    EXPECT_FALSE(setup.IsSwitchPresent(dropped)) << dropped;
}

}  // namespace
}  // namespace ostrel
