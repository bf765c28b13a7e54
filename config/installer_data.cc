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

enum class Extracted { kWritten, kEmpty, kFailed };

// Writes the resource, even an empty one (which leaves an empty file).
Extracted WriteResource(const ResourceSource& resources, const std::wstring& name, const std::wstring& path) {
  std::string_view bytes = resources.Load(kBinaryResourceType, name);
  if (!WriteDataFile(path, bytes)) {
    PLOG(ERROR) << "Cannot write " << path;
    return Extracted::kFailed;
  }
  return bytes.empty() ? Extracted::kEmpty : Extracted::kWritten;
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

bool ExtractInstallerDataIfAbsent(const std::wstring& work_dir, InstallerDataPaths* paths) {
  return ExtractInstallerDataIfAbsent(work_dir, paths, OwnModuleResources());
}

bool ExtractInstallerDataIfAbsent(const std::wstring& work_dir, InstallerDataPaths* paths,
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
  bool all_written = true;
  for (const auto& file : kNumbered) {
    if (!file.path->empty()) continue;
    *file.path = work_dir + file.file_name;
    Extracted extracted = WriteResource(resources, ResourceIdName(file.resource_id), *file.path);
    if (extracted != Extracted::kWritten) LOG(WARNING) << "Failed to extract resource " << file.resource_id;
    all_written = all_written && extracted != Extracted::kFailed;
  }
  if (paths->abt_config_resource_path.empty()) {
    paths->abt_config_resource_path = work_dir + config::kAbtConfigResourceFileName;
    Extracted extracted = WriteResource(resources, config::kAbtConfigResourceName, paths->abt_config_resource_path);
    all_written = all_written && extracted != Extracted::kFailed;
    if (extracted != Extracted::kWritten) {
      LOG(WARNING) << "Failed to extract resource " << config::kAbtConfigResourceFileName;
      // Setup must not be pointed at an empty configuration; a partial
      // file of ours is gone already.
      paths->abt_config_resource_path.clear();
    }
  }
  return all_written;
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
