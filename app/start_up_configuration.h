// The distribution configuration one run of the normal mode works with: the
// distribution parameters and the brand information. The entry point owns
// both for the whole run and lends them to the installation.
#ifndef APP_START_UP_CONFIGURATION_H_
#define APP_START_UP_CONFIGURATION_H_

#include <memory>
#include <string>

#include "config/brand_info.h"
#include "config/distrib_info_params.h"

namespace ostrel {

class InstallerCommandLine;

struct StartUpConfiguration {
  std::unique_ptr<DistribInfoParams> distribution_parameters;
  std::unique_ptr<BrandInfo> brand;
};

// Loads the distribution parameters (from the switch or the installer tag),
// fills the brand information for `brand_name` with `temp_directory` as its
// work directory, lets a "lang" parameter replace the interface language and
// applies the brand defaults.
StartUpConfiguration LoadStartUpConfiguration(const InstallerCommandLine& command_line,
                                              const std::wstring& temp_directory, const std::string& brand_name);

}  // namespace ostrel

#endif  // APP_START_UP_CONFIGURATION_H_
