#include "install/protected_directory.h"

#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include "base/file_util.h"
#include "base/scoped_handle.h"
#include "base/utf_string_conversions.h"
#include "testing/log_capture.h"
#include "testing/test_util.h"

namespace ostrel {
namespace {

// The directory's DACL in SDDL form, e.g. "D:P(A;OICI;FA;;;SY)...".
std::wstring DaclOf(const std::wstring& path) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                              nullptr, &descriptor) != ERROR_SUCCESS)
    return std::wstring();
  ScopedLocalMemory owner(descriptor);
  wchar_t* text = nullptr;
  if (!::ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                              &text, nullptr))
    return std::wstring();
  ScopedLocalMemory text_owner(text);
  return text;
}

TEST(ProtectedDirectoryTest, AdministratorsOnlyUntilRemovedWithEverythingInIt) {
  testing::ScopedTempDir temp;
  std::wstring path;
  {
    ProtectedDirectory directory;
    ASSERT_TRUE(directory.Create(temp.path()));
    path = directory.path();
    EXPECT_EQ(DirName(path), temp.path());
    // SYSTEM and Administrators only. Wine shows a DACL made from the Unix
    // mode, so only Windows can show the protection from the parent.
    std::wstring dacl = DaclOf(path);
    if (dacl.rfind(L"D:P", 0) == 0) {
      EXPECT_EQ(dacl, L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)");
    }
    ASSERT_TRUE(WriteBytesToFile(JoinPath(path, L"BrandFile"), "brand"));
    ASSERT_TRUE(WriteBytesToFile(JoinPath(path, L"qb1.tmp"), "MZ"));
    ASSERT_TRUE(::CreateDirectoryW(JoinPath(path, L"empty").c_str(), nullptr));
  }
  EXPECT_FALSE(PathExists(path));

  testing::ScopedLogCapture log;
  ProtectedDirectory nowhere;
  EXPECT_FALSE(nowhere.Create(JoinPath(temp.path(), L"missing")));
  EXPECT_TRUE(log.ContainsPrefix("Cannot create a protected directory in " + WideToUtf8(temp.path())));
  EXPECT_TRUE(nowhere.path().empty());
}

}  // namespace
}  // namespace ostrel
