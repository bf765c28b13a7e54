#include "reporting/user_id.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "base/file_util.h"
#include "base/utf_string_conversions.h"
#include "testing/fake_os_facts.h"
#include "testing/log_capture.h"
#include "testing/test_util.h"

namespace ostrel {
namespace {

// A private application-data folder and a user name no other test uses, so
// markers of parallel tests never meet.
class FakeUserIdEnvironment : public UserIdEnvironment {
 public:
  std::wstring folder;
  std::wstring user;
  bool folder_ok = true;
  bool user_ok = true;

  bool GetAppDataFolder(bool, std::wstring* out) override {
    if (!folder_ok) return false;
    *out = folder;
    return true;
  }
  bool QueryUserName(std::wstring* out) override {
    if (!user_ok) return false;
    *out = user;
    return true;
  }
};

class UserIdTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static int counter = 0;
    environment_.folder = temp_.path();
    environment_.user = L"ostrel-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                        std::to_wstring(::GetTickCount()) + L"-" + std::to_wstring(++counter);
  }
  void TearDown() override {
    for (const wchar_t* key : {kUserIdMarkerKey, kUserIdLegacyMarkerKey})
      ::RegDeleteKeyValueW(HKEY_CURRENT_USER, key, MarkerName().c_str());
  }

  std::wstring MarkerName() const { return kUserIdMarkerPrefix + environment_.user; }
  std::wstring FilePath() const { return temp_.Append(L"Tarvik\\ui"); }
  bool MarkerIn(const wchar_t* key) { return RegistryValueExist(HKEY_CURRENT_USER, key, MarkerName()); }
  void SetMarker(const wchar_t* key) {
    DWORD one = 1;
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, key, MarkerName().c_str(), REG_DWORD, &one, sizeof(one)),
              ERROR_SUCCESS);
  }
  void WriteIdFile(const std::string& content) {
    ASSERT_TRUE(CreateDirectoryRecursive(temp_.Append(L"Tarvik")));
    ASSERT_TRUE(WriteBytesToFile(FilePath(), content));
  }

  testing::ScopedTempDir temp_;
  FakeUserIdEnvironment environment_;
  ScopedUserIdEnvironmentOverride environment_override_{&environment_};
  testing::ScopedFakeOsFacts os_facts_;
  testing::ScopedLogCapture log_;
};

bool LooksLikeBracedGuid(const std::string& text) {
  if (text.size() != 38 || text.front() != '{' || text.back() != '}') return false;
  for (size_t i = 1; i < 37; ++i) {
    char c = text[i];
    bool dash = i == 9 || i == 14 || i == 19 || i == 24;
    if (dash ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
  }
  return true;
}

TEST_F(UserIdTest, FirstRunCreatesTheFileAndTheMarkerThenReadsTheFile) {
  std::string id = GetUserIdInternal();
  EXPECT_TRUE(LooksLikeBracedGuid(id)) << id;
  EXPECT_EQ(testing::ReadFileOrEmpty(FilePath()), id);  // no line end, no byte-order mark
  EXPECT_TRUE(MarkerIn(kUserIdMarkerKey));
  EXPECT_FALSE(MarkerIn(kUserIdLegacyMarkerKey));
  EXPECT_TRUE(log_.records().empty());

  EXPECT_EQ(GetUserIdInternal(), id);
}

TEST_F(UserIdTest, DeletedFileWithMarkerGivesNoIdentifierAndNoNewFile) {
  SetMarker(kUserIdMarkerKey);
  EXPECT_EQ(GetUserIdInternal(), "");
  EXPECT_FALSE(PathExists(FilePath()));
  ASSERT_EQ(log_.records().size(), 1u);
  EXPECT_EQ(log_.records()[0].level, LOG_INFO);
  EXPECT_EQ(log_.records()[0].function, "GetUserIdInternal");
  EXPECT_EQ(log_.records()[0].text, "Registry entry already exists, skip User ID file generation");
}

TEST_F(UserIdTest, AnyContentOfOneTo64BytesIsTheIdentifier) {
  for (const std::string& content : {std::string("abc"), std::string(64, 'x'), std::string("{a b}\r\n")}) {
    WriteIdFile(content);
    EXPECT_EQ(GetUserIdInternal(), content);
  }
  EXPECT_FALSE(MarkerIn(kUserIdMarkerKey));
  EXPECT_TRUE(log_.records().empty());
}

TEST_F(UserIdTest, EmptyOrOversizedFileIsRejectedAndTheMarkerDecides) {
  for (const std::string& content : {std::string(), std::string(65, 'x'), std::string(4096, 'y')}) {
    SCOPED_TRACE(content.size());
    WriteIdFile(content);
    SetMarker(kUserIdMarkerKey);
    log_.Clear();
    EXPECT_EQ(GetUserIdInternal(), "");
    EXPECT_EQ(log_.texts(), (std::vector<std::string>{"Incorrect User ID file content",
                                                      "Registry entry already exists, skip User ID file generation"}));
    EXPECT_EQ(log_.records()[0].level, LOG_WARNING);

    // Without a marker a new identifier replaces the bad file.
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kUserIdMarkerKey, MarkerName().c_str());
    std::string id = GetUserIdInternal();
    EXPECT_TRUE(LooksLikeBracedGuid(id)) << id;
    EXPECT_EQ(testing::ReadFileOrEmpty(FilePath()), id);
  }
}

TEST_F(UserIdTest, MarkerKeyFollowsTheWindowsVersion) {
  os_facts_.SetWindows(5, 1, 2600);  // XP
  EXPECT_TRUE(RememberUidIsCreated());
  EXPECT_TRUE(MarkerIn(kUserIdLegacyMarkerKey));
  EXPECT_FALSE(MarkerIn(kUserIdMarkerKey));
  EXPECT_TRUE(IsUidCreated());
  ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kUserIdLegacyMarkerKey, MarkerName().c_str());

  // Earlier Windows never looks under AppDataLow.
  SetMarker(kUserIdMarkerKey);
  EXPECT_FALSE(IsUidCreated());
  os_facts_.SetWindows(6, 0, 6002);  // Vista
  EXPECT_TRUE(IsUidCreated());
  ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kUserIdMarkerKey, MarkerName().c_str());

  // A marker written by an earlier Windows still counts after an upgrade.
  SetMarker(kUserIdLegacyMarkerKey);
  EXPECT_TRUE(IsUidCreated());
}

TEST_F(UserIdTest, WithoutTheUserNameNoMarkerIsWrittenOrFound) {
  environment_.user_ok = false;
  EXPECT_FALSE(RememberUidIsCreated());
  EXPECT_FALSE(IsUidCreated());
  EXPECT_TRUE(log_.records().empty());

  std::string id;
  EXPECT_FALSE(GenerateAndStoreUserId(&id));
  EXPECT_EQ(id, "");
  EXPECT_EQ(log_.texts(), std::vector<std::string>{"Can't create 'UI created' entry"});
  // The file was written before the marker failed; the next run reads it.
  environment_.user_ok = true;
  EXPECT_TRUE(LooksLikeBracedGuid(GetUserIdInternal()));
}

TEST_F(UserIdTest, FolderFailuresGiveAnEmptyIdentifierWithTheirLines) {
  environment_.folder_ok = false;
  EXPECT_EQ(GetUserIdInternal(), "");
  EXPECT_EQ(log_.texts(), (std::vector<std::string>{"Can't get path to AppData folder",
                                                    "Can't get path to AppData folder"}));
  EXPECT_FALSE(IsUidCreated());

  // The application-data folder is a file: the directory cannot be made.
  environment_.folder_ok = true;
  environment_.folder = temp_.Append(L"plain-file");
  ASSERT_TRUE(WriteBytesToFile(environment_.folder, "x"));
  log_.Clear();
  EXPECT_EQ(GetUserIdFilePath(false), environment_.folder + L"\\Tarvik\\ui");
  EXPECT_EQ(GetUserIdFilePath(true), L"");
  EXPECT_EQ(log_.texts(),
            std::vector<std::string>{"Can't create directory: " + WideToUtf8(environment_.folder) + "\\Tarvik"});
}

TEST_F(UserIdTest, UnwritableFileFailsWithoutAMarker) {
  ASSERT_TRUE(CreateDirectoryRecursive(FilePath()));  // "ui" is a directory
  EXPECT_EQ(GetUserIdInternal(), "");
  EXPECT_EQ(log_.texts(), std::vector<std::string>{"Can't write file " + WideToUtf8(FilePath())});
  EXPECT_FALSE(IsUidCreated());
}

TEST_F(UserIdTest, RegistryValueExistIsQuietForMissingKeysAndValues) {
  EXPECT_FALSE(RegistryValueExist(HKEY_CURRENT_USER, L"Software\\OstrelNoSuchKey\\Deeper", L"x"));
  SetMarker(kUserIdMarkerKey);
  EXPECT_TRUE(RegistryValueExist(HKEY_CURRENT_USER, kUserIdMarkerKey, MarkerName()));
  EXPECT_FALSE(RegistryValueExist(HKEY_CURRENT_USER, kUserIdMarkerKey, MarkerName() + L"-other"));
  EXPECT_TRUE(log_.records().empty());
}

// The real environment is only read here: tests never write the prefix
// user's identifier or marker.
TEST(UserIdEnvironmentTest, RealEnvironmentAnswersFolderAndUserName) {
  std::wstring folder;
  std::wstring user;
  ASSERT_TRUE(GetUserIdEnvironment().GetAppDataFolder(false, &folder));
  EXPECT_TRUE(DirectoryExists(folder)) << WideToUtf8(folder);
  ASSERT_TRUE(GetUserIdEnvironment().QueryUserName(&user));
  EXPECT_FALSE(user.empty());
}

}  // namespace
}  // namespace ostrel
