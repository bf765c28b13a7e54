// The command line of the browser's setup program, built from everything the
// installer knows when setup is about to run. The Installer gathers the
// inputs; the builder itself reads nothing else, so each switch can be
// checked from its inputs alone.
#ifndef INSTALL_SETUP_COMMAND_LINE_H_
#define INSTALL_SETUP_COMMAND_LINE_H_

#include <cstdint>
#include <string>

#include "base/installer_command_line.h"

namespace ostrel {

class BrandInfo;
class DistribInfoParams;

// The archive name that the elevated copy's setup command line carries
// until the delayed parameters name the real archive.
inline constexpr wchar_t kFakeBrowserArcPath[] = L"fake_browser_arc";

// Value of the `source` switch of every setup run.
inline constexpr char kSetupSourceLite[] = "lite";

struct SetupCommandLineInputs {
  // The installer's own command line: every switch given to the installer
  // reaches setup unless replaced or removed below.
  InstallerCommandLine process_command_line;
  // The archive, or kFakeBrowserArcPath for the elevated copy.
  std::wstring module_path;
  // False for the elevated copy, which gets the data-file paths through the
  // delayed parameters instead.
  bool with_file_paths = true;

  // The observer's window (0 without observer).
  uintptr_t progress_window = 0;
  bool uac_declined = false;

  // Not owned; may be null.
  const BrandInfo* brand = nullptr;
  const DistribInfoParams* params = nullptr;
  // The distribution-parameter JSON dump; empty when there is none.
  std::wstring distrib_info_json_path;

  // The user's wishes.
  bool make_default = false;
  uint8_t send_statistics = 0;  // 0 = no; any other value = yes
  bool pin = true;

  // Monotonic microseconds; 0 = not measured.
  uint64_t install_click_time = 0;
  uint64_t proceed_time = 0;
  // The default-browser interface diagnostic; 0 = not measured.
  uint64_t interface_availability = 0;

  // The data files prepared for setup.
  std::wstring installer_data_path;
  std::wstring clids_file_path;
  std::wstring website_icon_file_path;
  std::wstring abt_config_resource_path;

  // The window's elevation mode (0, 1 or 2).
  int elevation_mode = 0;
  // Statistics parameter browser_present ("corporate", "user", "none").
  std::wstring browser_present;

  // The asynchronous install tasks: their files, when they are active.
  bool async_tasks_active = false;
  std::wstring variations_update_path;
  std::wstring abt_update_path;
  std::wstring webntp_path;
  std::wstring server_config_bundle_path;
  std::wstring preloaded_wallpaper_bundle_path;

  bool launch_browser = true;
};

InstallerCommandLine BuildSetupCommandLine(const SetupCommandLineInputs& inputs);

// The command line of one setup run: `command_line` with the archive as its
// program and `source` = "lite", rendered.
std::wstring RenderRunModuleCommandLine(const std::wstring& module_path, const InstallerCommandLine& command_line);

}  // namespace ostrel

#endif  // INSTALL_SETUP_COMMAND_LINE_H_
