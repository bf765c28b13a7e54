#include "install/setup_command_line.h"

#include <string>
#include <vector>

#include "base/switches.h"
#include "base/utf_string_conversions.h"
#include "config/brand_info.h"
#include "config/distrib_info_params.h"

namespace ostrel {
namespace {

void PutIfNotEmpty(InstallerCommandLine* command_line, const char* name, const std::wstring& value) {
  if (!value.empty()) command_line->PutSwitch(name, std::wstring_view(value));
}

void PutIfNotZero(InstallerCommandLine* command_line, const char* name, uint64_t value) {
  if (value != 0) command_line->PutSwitch(name, std::to_string(value));
}

std::wstring JoinTestIds(const std::vector<std::string>& ids) {
  std::string joined;
  for (const std::string& id : ids) {
    if (!joined.empty()) joined += ';';
    joined += id;
  }
  return Utf8ToWide(joined);
}

}  // namespace

InstallerCommandLine BuildSetupCommandLine(const SetupCommandLineInputs& inputs) {
  namespace s = switches;
  InstallerCommandLine command_line(inputs.process_command_line);
  // Before the installer's own switches: only what it was given may go.
  DropOversizedSwitchValues(&command_line, "BuildSetupCommandLine");
  command_line.SetProgramPath(inputs.module_path);
  const BrandInfo* brand = inputs.brand;

  if (inputs.uac_declined) command_line.PutSwitch(s::kDisableUac);
  command_line.PutSwitch(s::kProgressWindow, std::to_string(inputs.progress_window));
  command_line.PutSwitch(s::kVerboseLogging);
  if (brand) command_line.PutSwitch(s::kBrandName, std::wstring_view(Utf8ToWide(brand->brand_name())));
  PutIfNotEmpty(&command_line, s::kDistrInfoFile, inputs.distrib_info_json_path);

  // Present exactly when wished: a switch the installer was given but the
  // user turned off must not reach setup.
  command_line.PutSwitchIf(inputs.make_default, s::kMakeBrowserDefaultAfterImport);
  command_line.PutSwitchIf(inputs.send_statistics != 0, s::kSendStatistics);
  command_line.PutSwitchIf(!inputs.pin, s::kDisableQopin);

  PutIfNotZero(&command_line, s::kOkButtonPressedTime, inputs.install_click_time);
  PutIfNotZero(&command_line, s::kInstallStartTimeNoUac, inputs.proceed_time);
  PutIfNotZero(&command_line, s::kTheInterfaceAvailability, inputs.interface_availability);
  PutIfNotEmpty(&command_line, s::kAbtConfigResourceFile, inputs.abt_config_resource_path);

  if (inputs.with_file_paths) {
    command_line.PutSwitch(s::kInstallerData, std::wstring_view(inputs.installer_data_path));
    command_line.PutSwitch(s::kClidsFile, std::wstring_view(inputs.clids_file_path));
    PutIfNotEmpty(&command_line, s::kTarvikWebsiteIconFile, inputs.website_icon_file_path);
    if (brand && brand->brand_package_present())
      command_line.PutSwitch(s::kBrandPackage, std::wstring_view(brand->brand_package_path()));
    if (brand && brand->partner_package_present())
      command_line.PutSwitch(s::kPartnerPackage, std::wstring_view(brand->partner_package_path()));
  }

  if (inputs.elevation_mode == 2) command_line.PutSwitch(s::kShowUacAtBrowserStart);
  std::string uts2;
  if (inputs.params && inputs.params->Get("uts2", &uts2) && uts2 == "1") command_line.PutSwitch(s::kUseTaskScheduler2);
  PutIfNotEmpty(&command_line, s::kBrowserPresent, inputs.browser_present);

  if (brand) {
    PutIfNotEmpty(&command_line, s::kInstallerBrandId, Utf8ToWide(brand->brand_id()));
    PutIfNotEmpty(&command_line, s::kInstallerPartnerId, Utf8ToWide(brand->partner_id()));
    if (!brand->forced_test_ids().empty())
      command_line.PutSwitch(s::kTestIds, std::wstring_view(JoinTestIds(brand->forced_test_ids())));
  }

  if (inputs.async_tasks_active) {
    PutIfNotEmpty(&command_line, s::kVariationsUpdatePath, inputs.variations_update_path);
    PutIfNotEmpty(&command_line, s::kAbtUpdatePath, inputs.abt_update_path);
    PutIfNotEmpty(&command_line, s::kWebntpPath, inputs.webntp_path);
    PutIfNotEmpty(&command_line, s::kServerConfigBundlePath, inputs.server_config_bundle_path);
    PutIfNotEmpty(&command_line, s::kPreloadedWallpaperBundlePath, inputs.preloaded_wallpaper_bundle_path);
    if (!inputs.launch_browser && !command_line.IsSwitchPresent(s::kDoNotLaunchBrowser))
      command_line.PutSwitch(s::kDoNotLaunchBrowser);
  }
  return command_line;
}

std::wstring RenderRunModuleCommandLine(const std::wstring& module_path, const InstallerCommandLine& command_line) {
  InstallerCommandLine run(command_line);
  run.SetProgramPath(module_path);
  run.PutSwitch(switches::kSource, kSetupSourceLite);
  return run.Render();
}

}  // namespace ostrel
