#include "crash/crash_reporting.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "base/build_version.h"
#include "base/file_util.h"
#include "base/utf_string_conversions.h"
#include "testing/crash_test_util.h"
#include "testing/test_util.h"

namespace ostrel {
namespace {

using testing::ScopedEnvironmentVariable;

constexpr char kUserId[] = "{6F9619FF-8B86-D011-B42D-00C04FC964FF}";


std::vector<std::wstring> DumpsIn(const std::wstring& directory) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW data;
  ScopedFindHandle find(::FindFirstFileW(JoinPath(directory, L"*.dmp").c_str(), &data));
  if (find.IsValid()) {
    do names.push_back(data.cFileName);
    while (::FindNextFileW(find.Get(), &data));
  }
  return names;
}

// The installer's start-up sequence in a real process that then crashes:
// the filter writes the dump into %TEMP%, the upload finds no collector
// listening, and the dump stays for the test to read.
class CrashingProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(CreateDirectoryRecursive(appdata_.Append(L"Tarvik")));
    ASSERT_TRUE(WriteBytesToFile(appdata_.Append(L"Tarvik\\ui"), kUserId));
  }

  DWORD RunHelper(const std::wstring& how) {
    std::wstring command = testing::Quote(testing::TestHelperPath()) + L" crash " + how +
                           L" --appdata=" + testing::Quote(appdata_.path()) +
                           L" --user=ostrel-crash-test --upload-url=https://localhost:1/submit";
    for (const auto& [key, value] : annotations_)
      command += L" " + testing::Quote(Utf8ToWide(key + "=" + value));
    DWORD exit_code = 0;
    EXPECT_TRUE(testing::RunProcessAndWait(command, 120000, &exit_code));
    return exit_code;
  }

  testing::ScopedTempDir temp_;
  testing::ScopedTempDir appdata_;
  ScopedEnvironmentVariable tmp_{L"TMP", temp_.path()};
  ScopedEnvironmentVariable temp_variable_{L"TEMP", temp_.path()};
  // What the entry point adds: distribution parameters, then the brand.
  std::map<std::string, std::string> annotations_ = {{"brand", "ua_uk"},
                                                     {"partner", "tarvik-test"},
                                                     {"clid", "1234567"},
                                                     {"make_default", "2"},
                                                     {"brand_id", "tarvik"},
                                                     {"brand_name", "Tarvik \xC3\x89tude Browser"},
                                                     {"default_language", "ru"}};
};

TEST_F(CrashingProcessTest, CrashLeavesADumpWithEveryAnnotationWhenUploadFails) {
  for (const auto& [how, expected_exit_code] :
       {std::pair<std::wstring, DWORD>{L"null", 0xC0000005}, {L"raise", 0xE0000042}}) {
    SCOPED_TRACE(WideToUtf8(how));
    EXPECT_EQ(RunHelper(how), expected_exit_code);

    std::vector<std::wstring> dumps = DumpsIn(temp_.path());
    ASSERT_EQ(dumps.size(), 1u);
    std::string report_id = WideToUtf8(dumps[0].substr(0, dumps[0].size() - 4));
    std::optional<testing::CrashInfo> info = testing::ReadCrashInfo(testing::ReadFileOrEmpty(temp_.Append(dumps[0])));
    ASSERT_TRUE(info);

    std::map<std::string, std::string> expected = annotations_;
    expected["ptype"] = "installer";
    expected["uid"] = "6F9619FF-8B86-D011-B42D-00C04FC964FF";
    expected["report_id"] = report_id;
    expected["ver"] = TARVIK_INSTALLER_VERSION_STRING;
    expected["plat"] = "Win32";
    expected["prod"] = "Tarvik";
    expected["gzip_enabled"] = "true";
    EXPECT_EQ(info->annotations, expected);
    EXPECT_EQ(FormatGuid(info->report_id), report_id);
    EXPECT_EQ(FormatGuid(info->client_id), "6F9619FF-8B86-D011-B42D-00C04FC964FF");
    ASSERT_TRUE(::DeleteFileW(temp_.Append(dumps[0]).c_str()));
  }
}

TEST_F(CrashingProcessTest, NoCrashNoDump) {
  EXPECT_EQ(RunHelper(L"exit"), 0u);
  EXPECT_TRUE(DumpsIn(temp_.path()).empty());
}

}  // namespace
}  // namespace ostrel
