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

}  // namespace
}  // namespace ostrel
