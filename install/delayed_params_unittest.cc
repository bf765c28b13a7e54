#include "install/delayed_params.h"

#include <gtest/gtest.h>

#include <string>

#include "base/file_util.h"
#include "base/scoped_handle.h"
#include "base/utf_string_conversions.h"
#include "testing/log_capture.h"
#include "testing/shared_section_test_lock.h"
#include "testing/test_util.h"

namespace ostrel {
namespace {

using SwitchMap = InstallerCommandLine::SwitchMap;
using testing::Quote;
using testing::ScopedLogCapture;
using testing::ScopedSharedSectionTestLock;
using testing::ScopedTempDir;

// Quotes one argument; an empty one stays an argument.
std::wstring Argument(const std::wstring& text) { return text.empty() ? L"\"\"" : Quote(text); }

DelayedParams ParamsIn(const ScopedTempDir& dir) {
  DelayedParams params;
  params.browser_arc_path = dir.Append(L"qb1.tmp");
  params.clids_file_path = dir.Append(L"clids.xml");
  params.tarvik_website_icon_file_path = dir.Append(L"icon.ico");
  params.installer_data_path = dir.Append(L"installer_data");
  params.brand_package_path = dir.Append(L"BrandFile");
  params.partner_package_path = dir.Append(L"PartnerFile");
  params.histogram_download_time = L"17";
  params.histogram_full_time = L"123456789012";
  params.send_statistics = 255;
  params.make_default = 1;
  params.install_qopin = 0;
  return params;
}

class DelayedParamsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(lock_.owned()); }

  ScopedSharedSectionTestLock lock_;
  ScopedTempDir dir_;
};

TEST_F(DelayedParamsTest, TooLongTextWritesNothingAndNamesEveryValue) {
  DelayedParams first = ParamsIn(dir_);
  ASSERT_TRUE(WriteDelayedParams(first));
  SetSharedFailureKind(5);

  DelayedParams too_long;
  too_long.browser_arc_path = L"C:\\a.arc";
  too_long.tarvik_website_icon_file_path = L"C:\\i.ico";
  too_long.histogram_download_time = std::wstring(33, L'7');
  too_long.histogram_full_time = L"42";
  too_long.send_statistics = 255;
  too_long.install_qopin = 1;
  ScopedLogCapture log;
  EXPECT_FALSE(WriteDelayedParams(too_long));

  std::vector<testing::CapturedRecord> records = log.records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].level, LOG_ERROR);
  EXPECT_EQ(records[0].function, "WriteDelayedParams");
  const std::string expected =
      "Too large string length, browser_arc_path=C:\\a.arc clids_file_path= "
      "tarvik_website_icon_file_path=C:\\i.ico installer_data_path= brand_package_path= partner_package_path= "
      "partner_package_override_path= histogram_download_time=" +
      std::string(33, '7') + " histogram_full_time=42 send_statistics=1 make_default=0 install_qopin=1 - ";
  EXPECT_EQ(records[0].text.substr(0, expected.size()), expected);

  // The earlier values and the failure kind are untouched.
  EXPECT_EQ(ReadDelayedParams().browser_arc_path, first.browser_arc_path);
  EXPECT_EQ(ReadDelayedParams().histogram_download_time, L"17");
  EXPECT_EQ(GetSharedFailureKind(), 5);

  DelayedParams longest = first;
  longest.partner_package_override_path = L"C:\\" + std::wstring(257, L'p');
  EXPECT_TRUE(WriteDelayedParams(longest));
  EXPECT_EQ(ReadDelayedParams().partner_package_override_path, longest.partner_package_override_path);
}

TEST_F(DelayedParamsTest, ApplyCompletesTheElevatedCommandLine) {
  DelayedParams params = ParamsIn(dir_);
  ASSERT_TRUE(WriteBytesToFile(params.tarvik_website_icon_file_path, "ico"));
  ASSERT_TRUE(WriteDelayedParams(params));
  InstallerCommandLine command_line =
      InstallerCommandLine::ParseString(L"fake_browser_arc --progress-window=5 --brand-name=tarvik --verbose-logging");
  EXPECT_TRUE(ApplyDelayedParams(&command_line));

  EXPECT_EQ(command_line.ProgramPath(), params.browser_arc_path);
  SwitchMap expected = {
      {"progress-window", L"5"},
      {"brand-name", L"tarvik"},
      {"verbose-logging", L""},
      {"installerdata", params.installer_data_path},
      {"clids-file", params.clids_file_path},
      {"tarvik-website-icon-file", params.tarvik_website_icon_file_path},
      {"brand-package", params.brand_package_path},
      {"partner-package", params.partner_package_path},
      {"install-start-time-no-uac", L"123456789012"},
      {"send-statistics", L""},
      {"make-browser-default-after-import", L""},
      {"disableqopin", L""},
      {"histogram-download-time", L"17"},
  };
  EXPECT_EQ(command_line.switches(), expected);
}

TEST_F(DelayedParamsTest, ApplyRulesForEmptyValuesWishesAndTheIcon) {
  // Empty icon file, wishes off, pin on, no times: the wishes given on the
  // command line are taken back, and the download time is set empty.
  DelayedParams params;
  params.tarvik_website_icon_file_path = dir_.Append(L"empty.ico");
  params.install_qopin = 1;
  ASSERT_TRUE(WriteBytesToFile(params.tarvik_website_icon_file_path, ""));
  InstallerCommandLine command_line = InstallerCommandLine::ParseString(
      L"fake_browser_arc --send-statistics --make-browser-default-after-import --disableqopin");
  EXPECT_FALSE(ApplyDelayedParams(params, &command_line)) << "no archive named";
  EXPECT_EQ(command_line.ProgramPath(), L"fake_browser_arc");
  EXPECT_EQ(command_line.switches(), (SwitchMap{{"histogram-download-time", L""}}));

  // Neither a missing file nor a directory is handed on as the icon.
  for (const std::wstring& icon : {dir_.Append(L"missing.ico"), dir_.path()}) {
    params.tarvik_website_icon_file_path = icon;
    InstallerCommandLine other = InstallerCommandLine::ParseString(L"fake_browser_arc");
    ApplyDelayedParams(params, &other);
    EXPECT_FALSE(other.IsSwitchPresent("tarvik-website-icon-file")) << WideToUtf8(icon);
  }
}

// The section is what the two copies of the installer share: one test_helper
// process writes, a second one (started while the first still maps the
// executable) applies what it finds.
// Checked before the elevation prompt: a setup line that fits by itself can
// pass the limit once the copy adds the handed-over paths.
TEST(LongestCommandLineAfterHandOverTest, EveryHandedOverPathCountsAtItsLargest) {
  InstallerCommandLine setup = InstallerCommandLine::ParseString(L"fake_browser_arc --brand-name=partner");
  size_t base = setup.Render().size();
  size_t longest = LongestCommandLineAfterHandOver(setup);
  // Five data-file paths and the archive in the protected folder.
  EXPECT_GT(longest, base + 6 * kDelayedPathMaxLength + MAX_PATH);
  EXPECT_LT(longest, base + 6 * kDelayedPathMaxLength + MAX_PATH + 600);

  InstallerCommandLine near_limit = setup;
  near_limit.PutSwitch("distrib-info", std::wstring(kMaxCommandLineLength - 1000, L'v'));
  EXPECT_LE(near_limit.Render().size(), kMaxCommandLineLength);
  EXPECT_GT(LongestCommandLineAfterHandOver(near_limit), kMaxCommandLineLength);
}

TEST_F(DelayedParamsTest, SharedBetweenTwoProcessesOfTheSameExecutable) {
  std::wstring suffix = std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(::GetTickCount());
  std::wstring ready_name = L"Local\\TarvikDelayedParamsReady-" + suffix;
  std::wstring release_name = L"Local\\TarvikDelayedParamsRelease-" + suffix;
  ScopedKernelHandle ready(::CreateEventW(nullptr, TRUE, FALSE, ready_name.c_str()));
  ScopedKernelHandle release(::CreateEventW(nullptr, TRUE, FALSE, release_name.c_str()));
  ASSERT_TRUE(ready.IsValid() && release.IsValid());

  DelayedParams params = ParamsIn(dir_);
  params.tarvik_website_icon_file_path.clear();
  params.browser_arc_path = dir_.Append(L"archive with space.arc");
  std::wstring writer_command =
      Quote(testing::TestHelperPath()) + L" write-delayed-params " + Quote(ready_name) + L" " + Quote(release_name);
  for (const std::wstring* text :
       {&params.browser_arc_path, &params.clids_file_path, &params.tarvik_website_icon_file_path,
        &params.installer_data_path, &params.brand_package_path, &params.partner_package_path,
        &params.partner_package_override_path, &params.histogram_download_time, &params.histogram_full_time}) {
    writer_command += L" " + Argument(*text);
  }
  params.make_default = 0;
  params.install_qopin = 1;
  for (uint8_t byte : {params.send_statistics, params.make_default, params.install_qopin})
    writer_command += L" " + std::to_wstring(byte);
  ScopedKernelHandle writer = testing::StartProcess(writer_command);
  ASSERT_TRUE(writer.IsValid());
  HANDLE waits[] = {ready.Get(), writer.Get()};
  ASSERT_EQ(::WaitForMultipleObjects(2, waits, FALSE, 60000), WAIT_OBJECT_0) << "the writer ended early";

  std::wstring output = dir_.Append(L"applied.txt");
  DWORD exit_code = 1;
  ASSERT_TRUE(testing::RunProcessAndWait(Quote(testing::TestHelperPath()) + L" apply-delayed-params " + Quote(output) +
                                             L" \"fake_browser_arc --progress-window=9\"",
                                         60000, &exit_code));
  EXPECT_EQ(exit_code, 0u);
  ::SetEvent(release.Get());
  EXPECT_EQ(::WaitForSingleObject(writer.Get(), 60000), WAIT_OBJECT_0);

  InstallerCommandLine expected = InstallerCommandLine::ParseString(L"fake_browser_arc --progress-window=9");
  ApplyDelayedParams(params, &expected);
  EXPECT_EQ(Utf8ToWide(testing::ReadFileOrEmpty(output)), expected.Render());
  EXPECT_EQ(expected.ProgramPath(), params.browser_arc_path);
  // This process is another executable: its own section is untouched.
  EXPECT_EQ(ReadDelayedParams().browser_arc_path, L"");
}

// What a setup run in the elevated copy leaves in the section is what the
// first copy reads once the elevated copy has ended.
TEST_F(DelayedParamsTest, FailureKindReachesTheFirstCopy) {
  struct Case {
    const wchar_t* setup_exit_code;
    DWORD kind;
  };
  for (const Case& c : {Case{L"8", 6}, Case{L"7", 5}, Case{L"0", 0}, Case{L"0x74000000", 0}}) {
    std::wstring setup = Quote(testing::TestHelperPath()) + L" exit-code " + c.setup_exit_code;
    DWORD kind = 99;
    ASSERT_TRUE(testing::RunProcessAndWait(
        Quote(testing::TestHelperPath()) + L" failure-kind-after-child " + Quote(setup), 60000, &kind));
    EXPECT_EQ(kind, c.kind) << WideToUtf8(c.setup_exit_code);
  }
}

}  // namespace
}  // namespace ostrel
