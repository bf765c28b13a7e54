#include "app/start_up_configuration.h"

namespace ostrel {

StartUpConfiguration LoadStartUpConfiguration(const std::wstring& temp_directory, const std::string& brand_name) {
  StartUpConfiguration configuration;
  // TODO(config): replace with the distribution-configuration code:
  //   DistribInfoParams: create and load;
  //   BrandInfo(temp_directory).GetInfo(brand_name);
  //   a "lang" parameter replaces interface_language;
  //   ApplyDefaults().
  // The entry point keeps owning both objects for the whole run.
  (void)temp_directory;
  (void)brand_name;
  return configuration;
}

}  // namespace ostrel
