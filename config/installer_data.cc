#include "config/installer_data.h"

#include "base/file_util.h"
#include "base/installer_command_line.h"
#include "base/logging.h"
#include "base/resource_source.h"
#include "base/switches.h"
#include "base/system_queries.h"
#include "config/config_constants.h"
#include "resources/resource_ids.h"

namespace ostrel {
namespace {

// Writes the resource, even an empty one (which leaves an empty file); true
// when the resource had content.
bool WriteResource(const ResourceSource& resources, const std::wstring& name, const std::wstring& path) {
  std::string_view bytes = resources.Load(kBinaryResourceType, name);
  WriteBytesToFile(path, bytes);
  return !bytes.empty();
}

}  // namespace

InstallerDataPaths InstallerDataPathsFromCommandLine(const InstallerCommandLine& command_line) {
  InstallerDataPaths paths;
  paths.installer_data_path = command_line.SwitchValueNative(switches::kInstallerData);
  paths.clids_file_path = command_line.SwitchValueNative(switches::kClidsFile);
  paths.website_icon_file_path = command_line.SwitchValueNative(switches::kTarvikWebsiteIconFile);
  paths.abt_config_resource_path = command_line.SwitchValueNative(switches::kAbtConfigResourceFile);
  return paths;
}

void ExtractInstallerDataIfAbsent(const std::wstring& work_dir, InstallerDataPaths* paths) {
  ExtractInstallerDataIfAbsent(work_dir, paths, OwnModuleResources());
}

void ExtractInstallerDataIfAbsent(const std::wstring& work_dir, InstallerDataPaths* paths,
                                  const ResourceSource& resources) {
  const struct {
    std::wstring* path;
    unsigned resource_id;
    const wchar_t* file_name;
  } kNumbered[] = {
      {&paths->installer_data_path, IDR_INSTALLER_DATA, config::kInstallerDataFileName},
      {&paths->clids_file_path, IDR_CLIDS, config::kClidsFileName},
      {&paths->website_icon_file_path, IDR_WEBSITE_ICON, config::kWebsiteIconFileName},
  };
  for (const auto& file : kNumbered) {
    if (!file.path->empty()) continue;
    *file.path = work_dir + file.file_name;
    if (!WriteResource(resources, ResourceIdName(file.resource_id), *file.path))
      LOG(WARNING) << "Failed to extract resource " << file.resource_id;
  }
  if (paths->abt_config_resource_path.empty()) {
    paths->abt_config_resource_path = work_dir + config::kAbtConfigResourceFileName;
    if (!WriteResource(resources, config::kAbtConfigResourceName, paths->abt_config_resource_path)) {
      LOG(WARNING) << "Failed to extract resource " << config::kAbtConfigResourceFileName;
      // Setup must not be pointed at an empty configuration.
      paths->abt_config_resource_path.clear();
    }
  }
}

void SaveInstallerDataPathsToRegistry(const InstallerDataPaths& paths) {
  StoreProductValue(config::kRegistryInstallerData, paths.installer_data_path);
  StoreProductValue(config::kRegistryClidsFile, paths.clids_file_path);
  StoreProductValue(config::kRegistryWebsiteIconFile, paths.website_icon_file_path);
  StoreProductValue(config::kRegistryAbtConfigResourceFile, paths.abt_config_resource_path);
}

void RemoveInstallerDataFromRegistry() {
  RemoveProductValue(config::kRegistryInstallerData);
  RemoveProductValue(config::kRegistryClidsFile);
  RemoveProductValue(config::kRegistryWebsiteIconFile);
  RemoveProductValue(config::kRegistryDistribInfoParams);
}

}  // namespace ostrel
