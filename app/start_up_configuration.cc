#include "app/start_up_configuration.h"

#include "base/installer_command_line.h"

namespace ostrel {
namespace {

constexpr char kLanguageParam[] = "lang";

}  // namespace

StartUpConfiguration LoadStartUpConfiguration(const InstallerCommandLine& command_line,
                                              const std::wstring& temp_directory, const std::string& brand_name) {
  StartUpConfiguration configuration;
  configuration.distribution_parameters = std::make_unique<DistribInfoParams>(temp_directory);
  configuration.distribution_parameters->Load(command_line);
  configuration.brand = std::make_unique<BrandInfo>(temp_directory);
  configuration.brand->GetInfo(brand_name);
  std::string language;
  if (configuration.distribution_parameters->Get(kLanguageParam, &language))
    configuration.brand->set_interface_language(language);
  configuration.brand->ApplyDefaults();
  return configuration;
}

}  // namespace ostrel
