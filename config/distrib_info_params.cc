#include "config/distrib_info_params.h"

#include "base/file_util.h"
#include "base/installer_command_line.h"
#include "base/json_writer.h"
#include "base/logging.h"
#include "base/switches.h"
#include "base/system_queries.h"
#include "base/utf_string_conversions.h"
#include "base/values.h"
#include "config/config_constants.h"
#include "config/installer_tag_reader.h"

namespace ostrel {

DistribInfoParams::DistribInfoParams(std::wstring work_dir) : work_dir_(std::move(work_dir)) {}

DistribInfoParams::~DistribInfoParams() = default;

bool DistribInfoParams::Get(const std::string& key, std::string* value) const {
  auto found = params_.find(key);
  if (found == params_.end()) return false;
  *value = found->second;
  return true;
}

void DistribInfoParams::StoreInRegistry(const std::string& raw) const {
  StoreProductValue(config::kRegistryDistribInfoParams, AsciiToWide(raw));
}

std::wstring DistribInfoParams::ExecutablePath() const { return GetOwnExecutablePath(); }

bool DistribInfoParams::Load() { return Load(InstallerCommandLine::ProcessCommandLine()); }

bool DistribInfoParams::Load(const InstallerCommandLine& command_line) {
  params_.clear();
  json_path_.clear();
  json_written_ = true;
  std::string raw;
  if (command_line.IsSwitchPresent(switches::kDistrInfoParams))
    raw = WideToUtf8(command_line.SwitchValueNative(switches::kDistrInfoParams));
  if (raw.empty()) raw = ExtractTagFromFakeCertificate(ExecutablePath());
  if (raw.empty()) raw = ReadTrailerTag(ExecutablePath());
  if (!raw.empty()) {
    StoreInRegistry(raw);
    params_ = ParseDistribInfoParams(raw);
  }
  if (!params_.empty()) CreateJsonFromDistribParams();
  return !json_path_.empty();
}

void DistribInfoParams::CreateJsonFromDistribParams() {
  json_path_ = work_dir_ + config::kDistribInfoFileName;
  Value::Dict members;
  for (const auto& [key, value] : params_) members.emplace(key, Value(value));
  std::string text;
  if (!JsonWrite(Value(std::move(members)), /*pretty=*/false, &text)) {
    PLOG(ERROR) << "Can't create json dump";
    json_written_ = false;
    return;
  }
  if (!WriteDataFile(json_path_, text)) {
    PLOG(ERROR) << "Write json to file error";
    json_written_ = false;
  }
}

bool DistribInfoParams::GetFlag(const std::string& key, bool* flag) const {
  *flag = false;
  std::string value;
  if (!Get(key, &value) || value.size() != 1) return false;
  if (value == "1") {
    *flag = true;
    return true;
  }
  return value == "2";
}

}  // namespace ostrel
