#include "base/system_queries.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "base/scoped_handle.h"
#include "testing/fake_os_facts.h"
#include "testing/log_capture.h"
#include "testing/test_util.h"

namespace ostrel {
namespace {

// Each test works in its own key so tests may run in parallel in one prefix.
class RegistryHelpersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    key_ = L"Software\\TarvikTest\\" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
           std::to_wstring(::GetTickCount());
  }
  void TearDown() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, key_.c_str()); }

  bool KeyExists() {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, key_.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    ::RegCloseKey(key);
    return true;
  }

  std::string Path(const std::string& name) {
    std::string key(key_.begin(), key_.end());
    return "HKEY_CURRENT_USER\\" + key + "\\" + name;
  }

  std::wstring key_;
  testing::ScopedLogCapture log_;
};

TEST_F(RegistryHelpersTest, StoreReadRemoveLogTheirLines) {
  EXPECT_TRUE(StoreValueInRegistry(key_, L"brand", L"ua_uk"));
  std::wstring value;
  EXPECT_TRUE(ReadValueFromRegistry(key_, L"brand", &value));
  EXPECT_EQ(value, L"ua_uk");
  EXPECT_TRUE(RemoveValueFromRegistry(key_, L"brand"));
  EXPECT_FALSE(ReadValueFromRegistry(key_, L"brand", &value));
  EXPECT_EQ(value, L"");
  EXPECT_FALSE(RemoveValueFromRegistry(key_, L"brand"));

  std::vector<std::string> expected = {
      "Stored " + Path("brand") + " = ua_uk",
      "Read " + Path("brand") + " which is \"ua_uk\"",
      "Removed " + Path("brand"),
      "No value to read: " + Path("brand"),
      "No value to remove: " + Path("brand"),
  };
  EXPECT_EQ(log_.texts(), expected);
  for (const auto& record : log_.records()) EXPECT_EQ(record.level, LOG_INFO);
}

TEST_F(RegistryHelpersTest, RemovingFromAMissingKeyCreatesTheKey) {
  ASSERT_FALSE(KeyExists());
  EXPECT_FALSE(RemoveValueFromRegistry(key_, L"nothing"));
  EXPECT_TRUE(KeyExists());
  EXPECT_TRUE(log_.Contains("No value to remove: " + Path("nothing")));
}

TEST_F(RegistryHelpersTest, ReadingFromAMissingKeyIsNotAFailureLine) {
  std::wstring value = L"stale";
  EXPECT_FALSE(ReadValueFromRegistry(key_, L"x", &value));
  EXPECT_EQ(value, L"");
  EXPECT_FALSE(KeyExists());
  // RegOpenKeyEx on a missing key also answers "not found".
  EXPECT_EQ(log_.texts(), std::vector<std::string>{"No value to read: " + Path("x")});
}

TEST_F(RegistryHelpersTest, ExpandableStringsAreExpanded) {
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  ScopedRegKey owner(key);
  const wchar_t kText[] = L"%TEMP%\\sub";
  ASSERT_EQ(::RegSetValueExW(key, L"path", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(kText), sizeof(kText)),
            ERROR_SUCCESS);
  DWORD number = 7;
  ASSERT_EQ(::RegSetValueExW(key, L"number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof(number)),
            ERROR_SUCCESS);

  wchar_t temp[MAX_PATH];
  DWORD length = ::GetEnvironmentVariableW(L"TEMP", temp, MAX_PATH);
  ASSERT_GT(length, 0u);
  std::wstring value;
  EXPECT_TRUE(ReadValueFromRegistry(key_, L"path", &value));
  EXPECT_EQ(value, std::wstring(temp, length) + L"\\sub");

  EXPECT_FALSE(ReadValueFromRegistry(key_, L"number", &value));
  EXPECT_TRUE(log_.Contains("Failed to read " + Path("number")));
}

TEST_F(RegistryHelpersTest, ExpansionsLongerThanTheExpandBufferFail) {
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  ScopedRegKey owner(key);
  // 1200 bytes stored, but well over 1024 characters once expanded.
  std::wstring text;
  for (int i = 0; i < 100; ++i) text += L"%TEMP%";
  ASSERT_EQ(::RegSetValueExW(key, L"long", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
  std::wstring value = L"stale";
  EXPECT_FALSE(ReadValueFromRegistry(key_, L"long", &value));
  EXPECT_EQ(value, L"");
  EXPECT_EQ(log_.texts(), std::vector<std::string>{"Failed to read " + Path("long")});
}

TEST_F(RegistryHelpersTest, ValuesLargerThanTheReadBufferFail) {
  std::wstring big(1100, L'x');  // 2202 bytes with the terminator
  ASSERT_TRUE(StoreValueInRegistry(key_, L"big", big));
  std::wstring value;
  EXPECT_FALSE(ReadValueFromRegistry(key_, L"big", &value));
  EXPECT_TRUE(log_.Contains("Failed to read " + Path("big")));
}

TEST(ProductKeyTest, IsTheBrowsersKey) { EXPECT_STREQ(ProductKey(), L"Software\\Tarvik\\TarvikBrowser"); }

TEST(FileVersionTest, ReadsTheVersionResource) {
  testing::ScopedLogCapture log;
  uint64_t version = 0;
  std::wstring installer = testing::InstallerExecutablePath();
  ASSERT_TRUE(GetFileVersion(installer, &version));
  EXPECT_NE(version, 0u);
  std::string text = GetFileVersionString(installer);
  EXPECT_EQ(std::count(text.begin(), text.end(), '.'), 3);
  EXPECT_TRUE(log.ContainsPrefix("File: "));
  EXPECT_EQ(GetFileVersionString(testing::TestBinaryDirectory() + L"\\missing.exe"), "0.0.0.0");
}

TEST(DiskSpaceTest, ComparesWithTheRequirementAndToleratesFailures) {
  testing::ScopedFakeOsFacts facts;
  testing::ScopedLogCapture log;
  facts.free_disk_bytes = kRequiredDiskSpace;
  EXPECT_TRUE(HasEnoughDiskSpace(false, kRequiredDiskSpace));
  facts.free_disk_bytes = kRequiredDiskSpace - 1;
  EXPECT_FALSE(HasEnoughDiskSpace(false, kRequiredDiskSpace));
  EXPECT_TRUE(log.Contains("There is not enough disk space to install browser"));
  facts.disk_query_ok = false;
  EXPECT_TRUE(HasEnoughDiskSpace(false, kRequiredDiskSpace));
  EXPECT_TRUE(log.Contains("GetDiskFreeSpaceEx failed"));
}

TEST(DiskSpaceTest, SystemLevelLooksAtProgramFiles) {
  testing::ScopedFakeOsFacts facts;
  HasEnoughDiskSpace(true, 1);
  std::wstring system_folder = facts.last_disk_folder;
  HasEnoughDiskSpace(false, 1);
  std::wstring user_folder = facts.last_disk_folder;
  EXPECT_NE(system_folder.find(L"Program Files"), std::wstring::npos) << system_folder.c_str();
  EXPECT_EQ(user_folder.find(L"Program Files"), std::wstring::npos);
}

TEST(ProcessorFeaturesTest, ReasonFollowsTheMissingFeature) {
  testing::ScopedFakeOsFacts facts;
  MissingProcessorFeature reason = MissingProcessorFeature::kNone;
  EXPECT_TRUE(CheckProcessorFeatures(&reason));
  EXPECT_EQ(reason, MissingProcessorFeature::kNone);

  facts.missing_processor_features = {PF_SSE3_INSTRUCTIONS_AVAILABLE};
  EXPECT_FALSE(CheckProcessorFeatures(&reason));
  EXPECT_EQ(reason, MissingProcessorFeature::kSse3);

  facts.missing_processor_features = {PF_XMMI64_INSTRUCTIONS_AVAILABLE};
  EXPECT_FALSE(CheckProcessorFeatures(&reason));
  EXPECT_EQ(reason, MissingProcessorFeature::kSse2);

  facts.missing_processor_features = {PF_XMMI64_INSTRUCTIONS_AVAILABLE, PF_SSE3_INSTRUCTIONS_AVAILABLE};
  EXPECT_FALSE(CheckProcessorFeatures(&reason));
  EXPECT_EQ(reason, MissingProcessorFeature::kSse3);
}

}  // namespace
}  // namespace ostrel
