// test_helper commands for the distribution configuration, so host-side
// tests can check what the installer code reads from real files.
//   distrib-info <executable> <work dir>
//       Loads the distribution parameters from the tags of <executable> (no
//       switch) and prints "registry=", "json_path=" and "json=" lines.
//   brand-info <brand name> <installer executable> <work dir>
//       Runs the brand loading sequence over the resources of <installer
//       executable> with the real OS facts, applies the defaults and prints
//       "name=value" lines.
#include <windows.h>

#include <cstdio>
#include <string>

#include "base/file_util.h"
#include "base/installer_command_line.h"
#include "base/resource_source.h"
#include "base/scoped_handle.h"
#include "base/utf_string_conversions.h"
#include "config/brand_info.h"
#include "config/config_test_util.h"
#include "config/distrib_info_params.h"
#include "testing/helper_commands.h"

namespace ostrel::testing {
namespace {

void PrintLine(const std::string& name, const std::string& value) {
  std::string line = name + "=" + value + "\n";
  std::fwrite(line.data(), 1, line.size(), stdout);
}

class HelperParams : public DistribInfoParams {
 public:
  HelperParams(std::wstring work_dir, std::wstring executable)
      : DistribInfoParams(std::move(work_dir)), executable_(std::move(executable)) {}
  // The shared registry stays untouched; the caller sees what would be stored.
  void StoreInRegistry(const std::string& raw) const override { PrintLine("registry", raw); }
  std::wstring ExecutablePath() const override { return executable_; }

 private:
  std::wstring executable_;
};

int DistribInfo(const std::vector<std::wstring>& a) {
  if (a.size() < 2) return 2;
  HelperParams params(JoinPath(a[1], L""), a[0]);
  bool loaded = params.Load(InstallerCommandLine());
  PrintLine("json_path", WideToUtf8(params.json_path()));
  std::string json;
  if (loaded) ReadFileToBytes(params.json_path(), &json);
  PrintLine("json", json);
  std::fflush(stdout);
  return loaded ? 0 : 1;
}

int BrandInformation(const std::vector<std::wstring>& a) {
  if (a.size() < 3) return 2;
  ScopedLibrary installer(
      ::LoadLibraryExW(a[1].c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  if (!installer.IsValid()) return 3;
  ModuleResourceSource resources(installer.Get());
  // GetInfo removes the hand-over values, which unit tests running beside
  // this process may be checking.
  ScopedProductValues values{L"brand", L"BrandFile", L"PartnerFile", L"lang"};
  BrandInfo info(JoinPath(a[2], L""));
  info.GetInfo(WideToUtf8(a[0]), resources);
  info.ApplyDefaults();
  PrintLine("brand_id", info.brand_id());
  PrintLine("brand_name", info.brand_name());
  PrintLine("interface_language", info.interface_language());
  PrintLine("language_id", std::to_string(info.language_id()));
  PrintLine("setup_url", info.setup_url());
  PrintLine("brand_package_present", info.brand_package_present() ? "1" : "0");
  std::string package;
  ReadFileToBytes(info.brand_package_path(), &package);
  PrintLine("brand_package_size", std::to_string(package.size()));
  std::fflush(stdout);
  return 0;
}

HelperCommandRegistrar distrib_info_command(L"distrib-info", DistribInfo);
HelperCommandRegistrar brand_info_command(L"brand-info", BrandInformation);

}  // namespace
}  // namespace ostrel::testing
