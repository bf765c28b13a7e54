#include "install/setup_command_line.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "base/resource_source.h"
#include "config/brand_info.h"
#include "config/cabinet_test_util.h"
#include "config/config_constants.h"
#include "config/config_test_util.h"
#include "config/distrib_info_params.h"
#include "testing/test_util.h"

namespace ostrel {
namespace {

using SwitchMap = InstallerCommandLine::SwitchMap;
using testing::ScopedProductValues;
using testing::ScopedTempDir;

class FakeParams : public DistribInfoParams {
 public:
  FakeParams() : DistribInfoParams(L"") {}
  bool Get(const std::string& key, std::string* value) const override {
    auto found = values.find(key);
    if (found == values.end()) return false;
    *value = found->second;
    return true;
  }
  std::map<std::string, std::string> values;
};

std::string Package(const std::string& name, const std::string& json) {
  return testing::MakeCabinet({{name, "//signature\r\n" + json}});
}

class SetupCommandLineTest : public ::testing::Test {
 protected:
  // A brand loaded the way the entry point loads it, with both packages
  // present unless told otherwise.
  void LoadBrand(bool brand_package, bool partner_package) {
    InMemoryResourceSource resources;
    if (partner_package) resources.Set(L"BIN", L"#320", Package("partner_config", R"({"partner_id": "p42"})"));
    if (brand_package) {
      resources.Set(L"BIN", L"#319", Package("brand_config", R"({"brand_id": "tarvik", "brand_name": "tarvikb",
          "forced_testids": ["101", "202"]})"));
    }
    brand_.GetInfo("", resources);
  }

  SetupCommandLineInputs FullInputs() {
    SetupCommandLineInputs inputs;
    inputs.process_command_line = InstallerCommandLine::ParseString(L"C:\\dl\\installer.exe --silent --Foo=bar");
    inputs.module_path = L"C:\\tmp\\qb1.tmp";
    inputs.progress_window = 0x10012;
    inputs.uac_declined = true;
    inputs.brand = &brand_;
    inputs.params = &params_;
    inputs.distrib_info_json_path = L"C:\\tmp\\distrib_info";
    inputs.make_default = true;
    inputs.send_statistics = 255;
    inputs.pin = false;
    inputs.install_click_time = 12345678901;
    inputs.proceed_time = 12345679999;
    inputs.interface_availability = 2171340300;
    inputs.installer_data_path = L"C:\\tmp\\installer_data";
    inputs.clids_file_path = L"C:\\tmp\\clids.xml";
    inputs.website_icon_file_path = L"C:\\tmp\\icon.ico";
    inputs.abt_config_resource_path = L"C:\\tmp\\abt.json";
    inputs.elevation_mode = 2;
    inputs.browser_present = L"user";
    inputs.async_tasks_active = true;
    inputs.variations_update_path = L"C:\\tmp\\v1.tmp";
    inputs.abt_update_path = L"C:\\tmp\\v2.tmp";
    inputs.webntp_path = L"C:\\tmp\\v3.tmp";
    inputs.server_config_bundle_path = L"C:\\tmp\\v4.tmp";
    inputs.preloaded_wallpaper_bundle_path = L"C:\\tmp\\v5.tmp";
    inputs.launch_browser = false;
    params_.values["uts2"] = "1";
    return inputs;
  }

  std::wstring work_dir() const { return dir_.path() + L"\\"; }

  ScopedTempDir dir_;
  // Loading a brand removes its hand-over values.
  ScopedProductValues values_{config::kRegistryBrand, config::kRegistryBrandFile, config::kRegistryPartnerFile};
  BrandInfo brand_{work_dir()};
  FakeParams params_;
};

TEST_F(SetupCommandLineTest, EveryStepWithFilePaths) {
  LoadBrand(true, true);
  InstallerCommandLine command_line = BuildSetupCommandLine(FullInputs());
  EXPECT_EQ(command_line.ProgramPath(), L"C:\\tmp\\qb1.tmp");
  SwitchMap expected = {
      {"silent", L""},  // given to the installer: passed on
      {"foo", L"bar"},
      {"disable-uac", L""},
      {"progress-window", L"65554"},
      {"verbose-logging", L""},
      {"brand-name", L"tarvikb"},
      {"distr-info-file", L"C:\\tmp\\distrib_info"},
      {"make-browser-default-after-import", L""},
      {"send-statistics", L""},
      {"disableqopin", L""},
      {"ok-button-pressed-time", L"12345678901"},
      {"install-start-time-no-uac", L"12345679999"},
      {"the-interface-availability", L"2171340300"},
      {"abt-config-resource-file", L"C:\\tmp\\abt.json"},
      {"installerdata", L"C:\\tmp\\installer_data"},
      {"clids-file", L"C:\\tmp\\clids.xml"},
      {"tarvik-website-icon-file", L"C:\\tmp\\icon.ico"},
      {"brand-package", work_dir() + L"BrandFile"},
      {"partner-package", work_dir() + L"PartnerFile"},
      {"show-uac-at-browser-start", L""},
      {"use-task-scheduler2", L""},
      {"browser-present", L"user"},
      {"installer-brand-id", L"tarvik"},
      {"installer-partner-id", L"p42"},
      {"testids", L"101;202"},
      {"variations-update-path", L"C:\\tmp\\v1.tmp"},
      {"abt-update-path", L"C:\\tmp\\v2.tmp"},
      {"webntp-path", L"C:\\tmp\\v3.tmp"},
      {"server-config-bundle-path", L"C:\\tmp\\v4.tmp"},
      {"preloaded-wallpaper-bundle-path", L"C:\\tmp\\v5.tmp"},
      {"do-not-launch-browser", L""},
  };
  EXPECT_EQ(command_line.switches(), expected);
}

TEST_F(SetupCommandLineTest, ElevatedCopyGetsNoFilePaths) {
  LoadBrand(true, true);
  SetupCommandLineInputs inputs = FullInputs();
  inputs.module_path = kFakeBrowserArcPath;
  inputs.with_file_paths = false;
  InstallerCommandLine command_line = BuildSetupCommandLine(inputs);
  EXPECT_EQ(command_line.ProgramPath(), L"fake_browser_arc");
  for (const char* name :
       {"installerdata", "clids-file", "tarvik-website-icon-file", "brand-package", "partner-package"}) {
    EXPECT_FALSE(command_line.IsSwitchPresent(name)) << name;
  }
  // Everything else is as for a direct run.
  EXPECT_EQ(command_line.SwitchValueNative("abt-config-resource-file"), L"C:\\tmp\\abt.json");
  EXPECT_EQ(command_line.SwitchValueNative("installer-brand-id"), L"tarvik");
  EXPECT_EQ(command_line.Render().rfind(L"fake_browser_arc --abt-config-resource-file=", 0), 0u);
}

TEST_F(SetupCommandLineTest, NothingOptionalWithoutBrandParamsOrValues) {
  SetupCommandLineInputs inputs;
  inputs.process_command_line = InstallerCommandLine::ParseString(L"installer.exe plain-argument");
  inputs.module_path = L"setup.arc";
  InstallerCommandLine command_line = BuildSetupCommandLine(inputs);
  SwitchMap expected = {
      {"progress-window", L"0"},
      {"verbose-logging", L""},
      {"installerdata", L""},  // always with file paths, even when empty
      {"clids-file", L""},
  };
  EXPECT_EQ(command_line.switches(), expected);
  EXPECT_EQ(command_line.Render(), L"setup.arc --clids-file --installerdata --progress-window=0 --verbose-logging");
}

TEST_F(SetupCommandLineTest, PackagesOnlyWhenPresent) {
  LoadBrand(true, false);
  SetupCommandLineInputs inputs = FullInputs();
  InstallerCommandLine command_line = BuildSetupCommandLine(inputs);
  EXPECT_EQ(command_line.SwitchValueNative("brand-package"), work_dir() + L"BrandFile");
  EXPECT_FALSE(command_line.IsSwitchPresent("partner-package"));
  EXPECT_FALSE(command_line.IsSwitchPresent("installer-partner-id"));
}

TEST_F(SetupCommandLineTest, SwitchesGivenToTheInstallerAreReplacedOrRemovedByTheChoices) {
  LoadBrand(true, true);
  SetupCommandLineInputs inputs;
  inputs.process_command_line = InstallerCommandLine::ParseString(
      L"installer.exe --brand-name=given --make-browser-default-after-import --send-statistics --disableqopin "
      L"--progress-window=77 --system-level --do-not-launch-browser=kept --abt-config-resource-file=given");
  inputs.module_path = L"setup.arc";
  inputs.brand = &brand_;
  inputs.make_default = false;
  inputs.send_statistics = 0;
  inputs.pin = true;
  inputs.async_tasks_active = true;
  inputs.launch_browser = false;
  InstallerCommandLine command_line = BuildSetupCommandLine(inputs);
  EXPECT_EQ(command_line.SwitchValueNative("brand-name"), L"tarvikb");
  EXPECT_EQ(command_line.SwitchValueNative("progress-window"), L"0");
  EXPECT_FALSE(command_line.IsSwitchPresent("make-browser-default-after-import"));
  EXPECT_FALSE(command_line.IsSwitchPresent("send-statistics"));
  EXPECT_FALSE(command_line.IsSwitchPresent("disableqopin"));
  // Not replaced: passed on as given.
  EXPECT_TRUE(command_line.IsSwitchPresent("system-level"));
  EXPECT_EQ(command_line.SwitchValueNative("do-not-launch-browser"), L"kept");
  EXPECT_EQ(command_line.SwitchValueNative("abt-config-resource-file"), L"given");
}

TEST_F(SetupCommandLineTest, DistributionAndWindowConditions) {
  struct Case {
    const char* uts2;  // null: absent
    int elevation_mode;
    bool use_task_scheduler2;
    bool show_uac;
  };
  for (const Case& c : {Case{"1", 2, true, true}, Case{"2", 1, false, false}, Case{"01", 0, false, false},
                        Case{"", 3, false, false}, Case{nullptr, 2, false, true}}) {
    params_.values.clear();
    if (c.uts2) params_.values["uts2"] = c.uts2;
    SetupCommandLineInputs inputs;
    inputs.params = &params_;
    inputs.elevation_mode = c.elevation_mode;
    InstallerCommandLine command_line = BuildSetupCommandLine(inputs);
    EXPECT_EQ(command_line.IsSwitchPresent("use-task-scheduler2"), c.use_task_scheduler2) << c.uts2;
    EXPECT_EQ(command_line.IsSwitchPresent("show-uac-at-browser-start"), c.show_uac) << c.elevation_mode;
  }
}

TEST_F(SetupCommandLineTest, AsyncTaskSwitchesOnlyWhileTheTasksAreActive) {
  SetupCommandLineInputs inputs = FullInputs();
  inputs.brand = nullptr;
  inputs.async_tasks_active = false;
  InstallerCommandLine inactive = BuildSetupCommandLine(inputs);
  for (const char* name : {"variations-update-path", "abt-update-path", "webntp-path", "server-config-bundle-path",
                           "preloaded-wallpaper-bundle-path", "do-not-launch-browser"}) {
    EXPECT_FALSE(inactive.IsSwitchPresent(name)) << name;
  }

  inputs.async_tasks_active = true;
  inputs.webntp_path.clear();
  inputs.preloaded_wallpaper_bundle_path.clear();
  inputs.launch_browser = true;
  InstallerCommandLine active = BuildSetupCommandLine(inputs);
  EXPECT_EQ(active.SwitchValueNative("variations-update-path"), L"C:\\tmp\\v1.tmp");
  EXPECT_EQ(active.SwitchValueNative("server-config-bundle-path"), L"C:\\tmp\\v4.tmp");
  EXPECT_FALSE(active.IsSwitchPresent("webntp-path"));
  EXPECT_FALSE(active.IsSwitchPresent("preloaded-wallpaper-bundle-path"));
  EXPECT_FALSE(active.IsSwitchPresent("do-not-launch-browser"));
}

TEST(RunModuleCommandLineTest, ArchiveBecomesTheProgramAndSourceIsLite) {
  InstallerCommandLine command_line =
      InstallerCommandLine::ParseString(L"fake_browser_arc --source=web --progress-window=12");
  EXPECT_EQ(RenderRunModuleCommandLine(L"C:\\Users\\me\\Temp Dir\\qb2.tmp", command_line),
            L"\"C:\\Users\\me\\Temp Dir\\qb2.tmp\" --progress-window=12 --source=lite");
  // The command line handed in is not changed.
  EXPECT_EQ(command_line.ProgramPath(), L"fake_browser_arc");
  EXPECT_EQ(command_line.SwitchValueNative("source"), L"web");
}

}  // namespace
}  // namespace ostrel
