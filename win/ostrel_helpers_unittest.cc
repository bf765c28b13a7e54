#include "win/ostrel_helpers.h"

#include <gtest/gtest.h>

#include <map>
#include <utility>

#include "base/file_util.h"
#include "base/system_queries.h"
#include "testing/log_capture.h"
#include "testing/registry_override.h"
#include "testing/test_util.h"

namespace ostrel {
namespace {

// Both levels' product-key values, held in memory.
class FakeProductRegistry : public ProductRegistryReader {
 public:
  bool ReadString(bool system_level, const wchar_t* name, std::wstring* value) const override {
    auto found = values_.find({system_level, name});
    if (found == values_.end()) return false;
    *value = found->second;
    return true;
  }
  void Set(bool system_level, const std::wstring& name, const std::wstring& value) {
    values_[{system_level, name}] = value;
  }

 private:
  std::map<std::pair<bool, std::wstring>, std::wstring> values_;
};

class ExistingInstallationTest : public ::testing::Test {
 protected:
  // An installation tree Application\<version>\Installer\setup.exe under a
  // temporary folder; registers it at `system_level` and returns Application.
  std::wstring Install(bool system_level, const std::wstring& name) {
    std::wstring application = JoinPath(temp_.Append(name), L"Application");
    std::wstring installer = JoinPath(JoinPath(application, L"25.4.1.1"), L"Installer");
    EXPECT_TRUE(CreateDirectoryRecursive(installer));
    registry_.Set(system_level, L"pv", L"25.4.1.1");
    registry_.Set(system_level, L"UninstallString", JoinPath(installer, L"setup.exe"));
    return application;
  }

  testing::ScopedTempDir temp_;
  FakeProductRegistry registry_;
  ScopedProductRegistryReaderOverride override_{&registry_};
};

TEST_F(ExistingInstallationTest, FoundThroughEitherVersionValueWithAnAbsoluteUninstallString) {
  testing::ScopedLogCapture log;
  EXPECT_EQ(FindExistingInstallation(false), L"");
  std::wstring application = Install(false, L"user");
  registry_.Set(false, L"ypv", L"");
  EXPECT_EQ(FindExistingInstallation(false), application);
  registry_.Set(false, L"ypv", L"26.1.0.7");
  EXPECT_EQ(FindExistingInstallation(false), application);
  EXPECT_EQ(log.texts(), (std::vector<std::string>{"No existing Basalt user install found.",
                                                   "Existing Basalt user version found: 25.4.1.1",
                                                   "Existing Basalt user version found: 26.1.0.7"}));
}

TEST_F(ExistingInstallationTest, AVersionWithoutAUsableUninstallStringIsNoInstallation) {
  std::wstring application = Install(true, L"machine");
  std::wstring setup = JoinPath(JoinPath(JoinPath(application, L"25.4.1.1"), L"Installer"), L"setup.exe");
  for (const std::wstring& bad : {L"\"" + setup + L"\"", std::wstring(L"Application\\25\\Installer\\setup.exe"),
                                  JoinPath(application, L"..\\Application\\25.4.1.1\\Installer\\setup.exe"),
                                  std::wstring(L"C:\\Installer\\setup.exe"), std::wstring()}) {
    registry_.Set(true, L"UninstallString", bad);
    EXPECT_EQ(FindExistingInstallation(true), L"") << bad;
  }
  registry_.Set(true, L"UninstallString", setup);
  registry_.Set(true, L"pv", L"25..1");
  EXPECT_EQ(FindExistingInstallation(true), L"");
  registry_.Set(true, L"pv", L"25.4.1.1");
  EXPECT_EQ(FindExistingInstallation(true), application);
  ASSERT_TRUE(DeleteDirectoryRecursive(application));
  EXPECT_EQ(FindExistingInstallation(true), L"");
}

TEST_F(ExistingInstallationTest, CorporateMachineInstallationWinsOverAPerUserOne) {
  EXPECT_EQ(BrowserPresentValue(), L"none");
  EXPECT_FALSE(HasNonCorporateInstallation());
  Install(false, L"user");
  EXPECT_TRUE(HasNonCorporateInstallation());
  EXPECT_EQ(BrowserPresentValue(), L"user");

  // The machine's corporate mark applies to the per-user answer too.
  registry_.Set(true, L"corporate", L"true");
  EXPECT_FALSE(HasNonCorporateInstallation());
  EXPECT_FALSE(HasCorporateSystemInstallation());  // nothing machine-wide yet
  EXPECT_EQ(BrowserPresentValue(), L"none");
  Install(true, L"machine");
  EXPECT_TRUE(HasCorporateSystemInstallation());
  EXPECT_EQ(BrowserPresentValue(), L"corporate");

  for (const wchar_t* not_corporate : {L"True", L"true ", L"1", L""}) {
    registry_.Set(true, L"corporate", not_corporate);
    EXPECT_FALSE(IsCorporateInstallation()) << not_corporate;
    EXPECT_EQ(BrowserPresentValue(), L"user");
  }
}

TEST_F(ExistingInstallationTest, SystemDirectoryFallsBackToProgramFilesAndLaunchesBrowserFromIt) {
  std::wstring fallback = GetSystemInstallDirectory();
  EXPECT_TRUE(IsAbsolutePath(fallback));
  EXPECT_NE(fallback.find(L"\\Tarvik\\TarvikBrowser\\Application"), std::wstring::npos) << fallback;
  EXPECT_FALSE(LaunchInstalledBrowser());  // no browser.exe there

  std::wstring application = Install(true, L"machine");
  EXPECT_EQ(GetSystemInstallDirectory(), application);
  ASSERT_TRUE(::CopyFileW(testing::TestHelperPath().c_str(), JoinPath(application, L"browser.exe").c_str(), FALSE));
  EXPECT_TRUE(LaunchInstalledBrowser());
}

// The real reader: the per-user key in the 32-bit view, strings only.
TEST(ProductRegistryReaderTest, ReadsStringValuesOfThePerUserProductKey) {
  testing::ScopedHkcuOverride hkcu;
  ASSERT_TRUE(hkcu.active());
  ProductRegistryReader reader;
  std::wstring value;
  EXPECT_FALSE(reader.ReadString(false, L"pv", &value));
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, ProductKey(), 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_32KEY,
                              nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const wchar_t kVersion[] = L"25.4.1.1";
  ::RegSetValueExW(key, L"pv", 0, REG_SZ, reinterpret_cast<const BYTE*>(kVersion), sizeof(kVersion));
  DWORD number = 1;
  ::RegSetValueExW(key, L"ypv", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof(number));
  ::RegCloseKey(key);
  EXPECT_TRUE(reader.ReadString(false, L"pv", &value));
  EXPECT_EQ(value, kVersion);
  EXPECT_FALSE(reader.ReadString(false, L"ypv", &value));
}

}  // namespace
}  // namespace ostrel
