#include "install/protected_archive_copy.h"

#include <gtest/gtest.h>

#include <regex>

#include "base/file_util.h"
#include "base/utf_string_conversions.h"
#include "testing/log_capture.h"
#include "testing/test_util.h"

namespace ostrel {
namespace {

TEST(ProtectedArchiveCopyTest, EachCopyGetsAFreshUnguessableDirectoryAndAnUnknownParentNone) {
  testing::ScopedTempDir temp;
  std::wstring source = JoinPath(temp.path(), L"setup.arc");
  ASSERT_TRUE(WriteBytesToFile(source, "MZ archive bytes"));
  ProtectedArchiveCopy first;
  ProtectedArchiveCopy second;
  ASSERT_TRUE(first.Create(source, temp.path()));
  ASSERT_TRUE(second.Create(source, temp.path()));
  EXPECT_NE(DirName(first.path()), DirName(second.path()));
  // Random names from the system's generator: nobody can create them all first.
  for (const ProtectedArchiveCopy* copy : {&first, &second}) {
    EXPECT_TRUE(std::regex_match(WideToUtf8(BaseName(DirName(copy->path()))), std::regex("tbi[0-9a-f]{16}")))
        << copy->path();
    EXPECT_EQ("MZ archive bytes", testing::ReadFileOrEmpty(copy->path()));
  }

  testing::ScopedLogCapture log;
  ProtectedArchiveCopy nowhere;
  EXPECT_FALSE(nowhere.Create(source, L""));
  EXPECT_TRUE(log.Contains("No folder for the protected directory: the Windows folder is unknown"));
}

// Setup runs elevated and reads its data files: it gets copies in the
// protected directory, made through one handle each, and nothing of a file
// that cannot be copied.
TEST(ProtectedArchiveCopyTest, SetupGetsCopiesOfItsDataFilesThatGoWithTheArchive) {
  testing::ScopedTempDir temp;
  std::wstring archive = JoinPath(temp.path(), L"setup.arc");
  std::wstring preferences = JoinPath(temp.path(), L"master_preferences");
  std::wstring seed = JoinPath(temp.path(), L"seed.tmp");
  ASSERT_TRUE(WriteBytesToFile(archive, "MZ"));
  ASSERT_TRUE(WriteBytesToFile(preferences, "{\"distribution\": {}}"));
  ASSERT_TRUE(WriteBytesToFile(seed, std::string(200000, 's')));
  InstallerCommandLine setup = InstallerCommandLine::ParseString(
      L"fake_browser_arc --installerdata=" + testing::Quote(preferences) + L" --variations-update-path=" +
      testing::Quote(seed) + L" --clids-file=" + testing::Quote(JoinPath(temp.path(), L"missing.xml")) +
      L" --brand-name=partner");

  std::wstring copied_preferences;
  {
    ProtectedArchiveCopy copy;
    ASSERT_TRUE(copy.Create(archive, temp.path()));
    testing::ScopedLogCapture log;
    CopyDataFilesForSetup(&copy, &setup);
    copied_preferences = setup.SwitchValueNative("installerdata");
    std::wstring copied_seed = setup.SwitchValueNative("variations-update-path");
    for (const std::wstring& copied : {copied_preferences, copied_seed})
      EXPECT_EQ(DirName(copied), DirName(copy.path())) << copied;
    EXPECT_EQ("{\"distribution\": {}}", testing::ReadFileOrEmpty(copied_preferences));
    EXPECT_EQ(std::string(200000, 's'), testing::ReadFileOrEmpty(copied_seed));
    EXPECT_FALSE(setup.IsSwitchPresent("clids-file"));
    EXPECT_TRUE(log.ContainsPrefix("Dropped --clids-file "));
    EXPECT_EQ(L"partner", setup.SwitchValueNative("brand-name"));
  }
  EXPECT_FALSE(FileExists(copied_preferences)) << "the copies go with the archive";
}

}  // namespace
}  // namespace ostrel
