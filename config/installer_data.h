// The installer data files handed to setup: initial browser preferences, the
// partner client-id list, the site icon and the A/B-test configuration. The
// installer only copies them from its resources to the working directory.
#ifndef CONFIG_INSTALLER_DATA_H_
#define CONFIG_INSTALLER_DATA_H_

#include <string>

namespace ostrel {

class InstallerCommandLine;
class ResourceSource;

// Paths of the four files; an empty path means "not prepared".
struct InstallerDataPaths {
  std::wstring installer_data_path;       // "installerdata", resource 305, "master_preferences"
  std::wstring clids_file_path;           // "clids-file", resource 306, "clids.xml"
  std::wstring website_icon_file_path;    // "tarvik-website-icon-file", resource 323, "website.ico"
  std::wstring abt_config_resource_path;  // "abt-config-resource-file", "ABT_CONFIG", "abt_config_resource"
};

// The paths given on the command line (the elevated copy receives the first
// copy's paths this way).
InstallerDataPaths InstallerDataPathsFromCommandLine(const InstallerCommandLine& command_line);

// Writes each file whose path is empty to `work_dir` (with trailing
// backslash) and sets its path; a path already given is used unchanged.
// False when a file could not be written (logged).
bool ExtractInstallerDataIfAbsent(const std::wstring& work_dir, InstallerDataPaths* paths);
bool ExtractInstallerDataIfAbsent(const std::wstring& work_dir, InstallerDataPaths* paths,
                                  const ResourceSource& resources);

// The registry hand-over values of the four paths ("InstallerData",
// "ClidsFile", "TarvikWebsiteIconFile", "AbtConfigResourceFile").
void SaveInstallerDataPathsToRegistry(const InstallerDataPaths& paths);
// Removes "InstallerData", "ClidsFile", "TarvikWebsiteIconFile" and
// "DistribInfoParams" after a successful installation; the A/B-test
// configuration value stays.
void RemoveInstallerDataFromRegistry();

}  // namespace ostrel

#endif  // CONFIG_INSTALLER_DATA_H_
