#include "install/run_setup.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "base/file_util.h"
#include "base/installer_command_line.h"
#include "base/json_reader.h"
#include "base/utf_string_conversions.h"
#include "base/values.h"
#include "install/setup_command_line.h"
#include "testing/log_capture.h"
#include "testing/shared_section_test_lock.h"
#include "testing/test_util.h"

namespace ostrel {
namespace {

using testing::Quote;
using testing::ScopedLogCapture;
using testing::ScopedSharedSectionTestLock;
using testing::ScopedTempDir;

class RecordingObserver : public InstallerObserver {
 public:
  void OnDownloadProgress(float) override { calls.push_back("OnDownloadProgress"); }
  void OnSlowDownload() override { calls.push_back("OnSlowDownload"); }
  void OnRemainingTime(int32_t, int32_t) override { calls.push_back("OnRemainingTime"); }
  void OnInstallFinished(int) override { calls.push_back("OnInstallFinished"); }
  void OnInstallError(int32_t) override { calls.push_back("OnInstallError"); }
  HWND GetWindow() override { return nullptr; }
  void SetProgress(int percentage) override { calls.push_back("SetProgress " + std::to_string(percentage)); }
  void RemoveStopButton() override { calls.push_back("RemoveStopButton"); }

  std::vector<std::string> calls;
};

std::wstring HelperExitingWith(const std::wstring& code) {
  return Quote(testing::TestHelperPath()) + L" exit-code " + code;
}

class RunModuleAndWaitTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(lock_.owned()); }

  ScopedSharedSectionTestLock lock_;
  RecordingObserver observer_;
  ScopedLogCapture log_;
};

TEST_F(RunModuleAndWaitTest, SuccessLogsEveryStepAndTellsTheObserver) {
  std::wstring command = HelperExitingWith(L"0");
  StepResult result = RunModuleAndWait(command, &observer_);
  EXPECT_TRUE(result.succeeded());
  EXPECT_EQ(result.exit_code, 0u);
  EXPECT_EQ(observer_.calls, (std::vector<std::string>{"SetProgress 40", "RemoveStopButton"}));

  std::vector<testing::CapturedRecord> records = log_.records();
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[0].text, "Run: " + WideToUtf8(command));
  EXPECT_EQ(records[1].text.rfind("Process created: ", 0), 0u);
  EXPECT_GT(std::stoul(records[1].text.substr(17)), 0u);
  EXPECT_EQ(records[2].text, "Wait for process finish.");
  EXPECT_EQ(records[3].text, "Setup process exit with code: SUCCESS_EXIT_CODE(0); error: 0");
  for (const auto& record : records) {
    EXPECT_EQ(record.function, "RunModuleAndWait");
    EXPECT_EQ(record.level, LOG_INFO);
  }
}

TEST_F(RunModuleAndWaitTest, ExitCodesSevenAndEightAreFailuresWithTheirKinds) {
  struct Case {
    const wchar_t* code;
    uint32_t exit_code;
    bool result;
    int32_t kind;
    const char* logged;
  };
  const Case kCases[] = {
      {L"7", 7, false, 5, "SUCCESS_EXIT_CODE(0); error: 7"},
      {L"8", 8, false, 6, "SUCCESS_EXIT_CODE(0); error: 8"},
      // Every other code is a finished run, failing or not.
      {L"0x74000000", 0x74000000, true, 0, "UNABLE_TO_EXTRACT_SETUP(116); error: 0"},
      {L"0x6E000005", 0x6E000005, true, 0, "UNABLE_TO_FIND_REGISTRY_KEY(110); error: 5"},
      {L"-1", 0xFFFFFFFF, true, 0, "Exit code: 255; error: 16777215"},
      {L"1", 1, true, 0, "SUCCESS_EXIT_CODE(0); error: 1"},
  };
  for (const Case& c : kCases) {
    log_.Clear();
    // Without an observer: the elevated copy's setup run has none of its own.
    StepResult result = RunModuleAndWait(HelperExitingWith(c.code), nullptr);
    EXPECT_EQ(result.succeeded(), c.result) << WideToUtf8(c.code) << ::testing::PrintToString(log_.texts());
    EXPECT_EQ(result.exit_code, c.exit_code);
    EXPECT_EQ(result.failure, c.result ? kFailureNone : static_cast<FailureKind>(c.kind));
    EXPECT_TRUE(log_.Contains(std::string("Setup process exit with code: ") + c.logged)) << c.logged;
  }
}

TEST_F(RunModuleAndWaitTest, ProgramThatCannotStart) {
  ScopedTempDir dir;
  std::wstring command = Quote(dir.Append(L"missing-setup.exe")) + L" --verbose-logging";
  StepResult result = RunModuleAndWait(command, &observer_);
  EXPECT_EQ(result.failure, kFailureGeneric);
  EXPECT_EQ(result.exit_code, 400u);
  EXPECT_EQ(result.windows_error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(observer_.calls.empty());
  std::vector<testing::CapturedRecord> records = log_.records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].text, "Run: " + WideToUtf8(command));
  EXPECT_EQ(records[1].level, LOG_ERROR);
  EXPECT_EQ(records[1].text.rfind("Create process failed. - 2, ", 0), 0u) << records[1].text;
}

// Setup built for another processor architecture cannot be produced under
// Wine with a real file; the creation function reports it instead.
BOOL WINAPI CreateProcessWrongMachine(LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD,
                                      LPVOID, LPCWSTR, LPSTARTUPINFOW, LPPROCESS_INFORMATION) {
  ::SetLastError(ERROR_EXE_MACHINE_TYPE_MISMATCH);
  return FALSE;
}

TEST_F(RunModuleAndWaitTest, WrongArchitectureIsFailureKindFour) {
  StepResult result = RunModuleAndWait(L"setup.arc", &observer_, CreateProcessWrongMachine);
  EXPECT_EQ(result.exit_code, 400u);
  EXPECT_EQ(result.failure, kFailureSetupWrongArchitecture);
  EXPECT_TRUE(observer_.calls.empty());
  EXPECT_TRUE(log_.ContainsPrefix("Create process failed. - 216, ")) << log_.texts().back();
}

// The real stand-in of setup, run with the command line the installer builds
// for it: everything given to the installer arrives, plus the installer's own
// switches, and nothing else.
TEST_F(RunModuleAndWaitTest, StandinSetupReceivesExactlyTheBuiltCommandLine) {
  ScopedTempDir dir;
  std::wstring archive = dir.Append(L"qb 1.tmp");
  std::wstring standin = JoinPath(JoinPath(DirName(testing::TestBinaryDirectory()), L"standins"), L"browser-setup.arc");
  ASSERT_TRUE(::CopyFileW(standin.c_str(), archive.c_str(), FALSE)) << WideToUtf8(standin);
  std::wstring record = dir.Append(L"record.jsonl");

  // Given to the installer but never to reach setup as switches: names that
  // would split into two switches or swallow the next ones in setup's command
  // line, and a value too long to pass on.
  SetupCommandLineInputs inputs;
  inputs.process_command_line = InstallerCommandLine::ParseString(
      L"C:\\dl\\TarvikBrowserInstaller.exe --silent \"--foo --run-as-admin=1\" --a\\\"b=1 --\u0120x=1 "
      L"--send-statistics --standin-exit-code=0x74000000 --distr-info-params=" + std::wstring(100000, L'p') +
      L" --standin-record=" + Quote(record));
  EXPECT_EQ(inputs.process_command_line.rejected_switches().size(), 3u);
  inputs.module_path = archive;
  inputs.send_statistics = 0;
  inputs.pin = false;
  inputs.proceed_time = 98765;
  inputs.installer_data_path = dir.Append(L"installer data");
  inputs.clids_file_path = dir.Append(L"clids.xml");
  inputs.browser_present = L"none";
  std::wstring command = RenderRunModuleCommandLine(archive, BuildSetupCommandLine(inputs));

  StepResult result = RunModuleAndWait(command, &observer_);
  EXPECT_TRUE(result.succeeded());
  EXPECT_EQ(result.exit_code, 0x74000000u);
  EXPECT_TRUE(log_.Contains("Setup process exit with code: UNABLE_TO_EXTRACT_SETUP(116); error: 0"));

  std::vector<std::string> lines = testing::SplitLines(testing::ReadFileOrEmpty(record));
  ASSERT_EQ(lines.size(), 1u);
  std::optional<Value> run = Deserialize(lines[0], 0);
  ASSERT_TRUE(run && run->is_dict()) << lines[0];
  EXPECT_EQ(*run->FindStringKey("program"), WideToUtf8(archive));
  const Value* switches = run->FindKey("switches");
  ASSERT_TRUE(switches && switches->is_dict());
  Value::Dict expected = {
      {"silent", Value("")},
      {"standin-exit-code", Value("0x74000000")},
      {"standin-record", Value(WideToUtf8(record))},
      {"progress-window", Value("0")},
      {"verbose-logging", Value("")},
      {"disableqopin", Value("")},
      {"install-start-time-no-uac", Value("98765")},
      {"installerdata", Value(WideToUtf8(inputs.installer_data_path))},
      {"clids-file", Value(WideToUtf8(inputs.clids_file_path))},
      {"browser-present", Value("none")},
      {"source", Value("lite")},
  };
  EXPECT_EQ(switches->GetDict(), expected) << lines[0];
  EXPECT_TRUE(log_.ContainsPrefix("Dropped switch distr-info-params: its value has 100000 characters"));
}

int g_process_starts = 0;
BOOL WINAPI CountProcessStart(LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID,
                              LPCWSTR, LPSTARTUPINFOW, LPPROCESS_INFORMATION) {
  ++g_process_starts;
  return FALSE;
}

// Values each short enough to pass on, together too long for one command
// line: the system would cut it, so setup is not started at all.
TEST_F(RunModuleAndWaitTest, ACommandLineOverTheSystemLimitNeverStartsSetup) {
  SetupCommandLineInputs inputs;
  for (char name = 'a'; name < 'i'; ++name)
    inputs.process_command_line.PutSwitch(std::string(1, name), std::wstring(kMaxPassThroughValueLength, L'x'));
  inputs.module_path = L"C:\\tmp\\qb1.tmp";
  std::wstring command = RenderRunModuleCommandLine(inputs.module_path, BuildSetupCommandLine(inputs));
  ASSERT_GT(command.size(), kMaxCommandLineLength);

  g_process_starts = 0;
  StepResult result = RunModuleAndWait(command, &observer_, CountProcessStart);
  EXPECT_FALSE(result.succeeded());
  EXPECT_EQ(g_process_starts, 0);
  EXPECT_EQ(result.exit_code, 400u);
  ASSERT_EQ(log_.records().size(), 1u);
  EXPECT_EQ(log_.records()[0].level, LOG_ERROR);
  EXPECT_EQ(log_.records()[0].text, "Setup is not run: its command line has " + std::to_string(command.size()) +
                                        " characters, more than 32766");

  inputs.process_command_line.DropSwitch("a");
  command = RenderRunModuleCommandLine(inputs.module_path, BuildSetupCommandLine(inputs));
  EXPECT_LE(command.size(), kMaxCommandLineLength);
  EXPECT_FALSE(RunModuleAndWait(command, &observer_, CountProcessStart).succeeded());
  EXPECT_EQ(g_process_starts, 1);
}

}  // namespace
}  // namespace ostrel
