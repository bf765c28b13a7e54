#include "config/installer_data.h"

#include <gtest/gtest.h>

#include <optional>

#include "base/file_util.h"
#include "base/installer_command_line.h"
#include "base/json_reader.h"
#include "base/resource_source.h"
#include "base/utf_string_conversions.h"
#include "base/values.h"
#include "config/config_constants.h"
#include "config/config_test_util.h"
#include "testing/log_capture.h"
#include "testing/test_util.h"

namespace ostrel {
namespace {

using testing::ReadFileOrEmpty;
using testing::ScopedLogCapture;
using testing::ScopedTempDir;

class InstallerDataTest : public ::testing::Test {
 protected:
  std::wstring work_dir() const { return dir_.path() + L"\\"; }
  ScopedTempDir dir_;
};

TEST_F(InstallerDataTest, ShippedDataFiles) {
  ScopedLogCapture log;
  InstallerDataPaths paths;
  ExtractInstallerDataIfAbsent(work_dir(), &paths);
  EXPECT_EQ(paths.installer_data_path, work_dir() + L"master_preferences");
  EXPECT_EQ(paths.clids_file_path, work_dir() + L"clids.xml");
  EXPECT_EQ(paths.website_icon_file_path, work_dir() + L"website.ico");
  EXPECT_EQ(paths.abt_config_resource_path, work_dir() + L"abt_config_resource");

  std::optional<Value> preferences =
      Deserialize(ReadFileOrEmpty(paths.installer_data_path), kInstallerJsonOptions);
  ASSERT_TRUE(preferences && preferences->is_dict());
  EXPECT_TRUE(preferences->FindStringKey("variations_compressed_seed"));
  EXPECT_TRUE(preferences->FindStringKey("variations_seed_signature"));
  const Value* migrator = preferences->FindKey("qo.master_preferences_migrator");
  ASSERT_TRUE(migrator && migrator->is_dict());
  EXPECT_TRUE(migrator->FindListKey("local_state"));
  EXPECT_TRUE(migrator->FindListKey("user_prefs"));
  const Value* welcome = preferences->FindKey("qo.welcome_page");
  ASSERT_TRUE(welcome && welcome->is_string());
  EXPECT_EQ(welcome->GetString(), "basalt://welcome-page");

  // windows-1251: Cyrillic letters are single bytes.
  std::string clids = ReadFileOrEmpty(paths.clids_file_path);
  EXPECT_NE(clids.find("encoding=\"windows-1251\""), std::string::npos);
  EXPECT_NE(clids.find("\xc8\xe4\xe5\xed\xf2\xe8\xf4\xe8\xea\xe0\xf2\xee\xf0\xfb"), std::string::npos);
  EXPECT_NE(clids.find("setup=\"bar-only\""), std::string::npos);
  size_t last = 0;
  for (int number : {1, 4, 5, 6, 7, 10, 15, 21, 25, 28, 29, 30, 31, 32, 1010, 100004}) {
    size_t at = clids.find("<clid" + std::to_string(number) + ">");
    ASSERT_NE(at, std::string::npos) << number;
    EXPECT_GT(at, last);
    last = at;
  }

  std::optional<Value> abt = Deserialize(ReadFileOrEmpty(paths.abt_config_resource_path), kInstallerJsonOptions);
  ASSERT_TRUE(abt && abt->is_dict());
  for (const char* key : {"variations_seed_base64", "variations_seed_signature", "variations_last_modified_time",
                          "variations_country"}) {
    EXPECT_TRUE(abt->FindStringKey(key)) << key;
  }

  // The executable carries no icon: an empty file, whose path stays set.
  EXPECT_TRUE(FileExists(paths.website_icon_file_path));
  EXPECT_EQ(ReadFileOrEmpty(paths.website_icon_file_path), "");
  EXPECT_EQ(log.texts(), (std::vector<std::string>{"Failed to extract resource 323"}));
  EXPECT_EQ(log.records()[0].level, LOG_WARNING);
  EXPECT_EQ(log.records()[0].function, "ExtractInstallerDataIfAbsent");
}

TEST_F(InstallerDataTest, GivenPathsAreKeptAndNotWritten) {
  InstallerCommandLine command_line;
  command_line.PutSwitch("installerdata", L"C:\\given\\prefs");
  command_line.PutSwitch("abt-config-resource-file", L"C:\\given\\abt");
  InstallerDataPaths paths = InstallerDataPathsFromCommandLine(command_line);
  ExtractInstallerDataIfAbsent(work_dir(), &paths);
  EXPECT_EQ(paths.installer_data_path, L"C:\\given\\prefs");
  EXPECT_EQ(paths.abt_config_resource_path, L"C:\\given\\abt");
  EXPECT_EQ(paths.clids_file_path, work_dir() + L"clids.xml");
  EXPECT_FALSE(FileExists(work_dir() + L"master_preferences"));
  EXPECT_FALSE(FileExists(work_dir() + L"abt_config_resource"));
}

TEST_F(InstallerDataTest, EmptyResources) {
  ScopedLogCapture log;
  InMemoryResourceSource nothing;
  InstallerDataPaths paths;
  ExtractInstallerDataIfAbsent(work_dir(), &paths, nothing);
  EXPECT_EQ(paths.installer_data_path, work_dir() + L"master_preferences");
  EXPECT_TRUE(FileExists(paths.installer_data_path));
  // Setup is not pointed at an empty A/B-test configuration.
  EXPECT_EQ(paths.abt_config_resource_path, L"");
  EXPECT_EQ(log.texts(), (std::vector<std::string>{
                             "Failed to extract resource 305", "Failed to extract resource 306",
                             "Failed to extract resource 323", "Failed to extract resource abt_config_resource"}));
}

// A directory in the file's place: the write fails, the caller hears of it
// and setup is not pointed at the A/B configuration.
TEST_F(InstallerDataTest, AFileThatCannotBeWrittenIsReported) {
  ASSERT_TRUE(::CreateDirectoryW((work_dir() + L"abt_config_resource").c_str(), nullptr));
  ScopedLogCapture log;
  InstallerDataPaths paths;
  EXPECT_FALSE(ExtractInstallerDataIfAbsent(work_dir(), &paths));
  EXPECT_EQ(paths.abt_config_resource_path, L"");
  EXPECT_TRUE(log.ContainsPrefix("Cannot write " + WideToUtf8(work_dir()) + "abt_config_resource"));
  EXPECT_TRUE(FileExists(paths.installer_data_path));
}

TEST_F(InstallerDataTest, RegistryValues) {
  testing::ScopedProductValues values{config::kRegistryInstallerData, config::kRegistryClidsFile,
                                      config::kRegistryWebsiteIconFile, config::kRegistryAbtConfigResourceFile,
                                      config::kRegistryDistribInfoParams};
  StoreProductValue(config::kRegistryDistribInfoParams, L"a=1");
  InstallerDataPaths paths = {L"p1", L"p2", L"p3", L"p4"};
  SaveInstallerDataPathsToRegistry(paths);
  using testing::ScopedProductValues;
  EXPECT_EQ(ScopedProductValues::Read(config::kRegistryInstallerData), L"p1");
  EXPECT_EQ(ScopedProductValues::Read(config::kRegistryClidsFile), L"p2");
  EXPECT_EQ(ScopedProductValues::Read(config::kRegistryWebsiteIconFile), L"p3");
  EXPECT_EQ(ScopedProductValues::Read(config::kRegistryAbtConfigResourceFile), L"p4");
  RemoveInstallerDataFromRegistry();
  EXPECT_FALSE(ScopedProductValues::Read(config::kRegistryInstallerData));
  EXPECT_FALSE(ScopedProductValues::Read(config::kRegistryClidsFile));
  EXPECT_FALSE(ScopedProductValues::Read(config::kRegistryWebsiteIconFile));
  EXPECT_FALSE(ScopedProductValues::Read(config::kRegistryDistribInfoParams));
  EXPECT_EQ(ScopedProductValues::Read(config::kRegistryAbtConfigResourceFile), L"p4");
}

}  // namespace
}  // namespace ostrel
