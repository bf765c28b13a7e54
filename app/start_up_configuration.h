// The distribution configuration one run of the normal mode works with: the
// distribution parameters and the brand information. This is the seam where
// the distribution-configuration code plugs in; until it does, a run carries
// no parameters and the built-in English defaults.
#ifndef APP_START_UP_CONFIGURATION_H_
#define APP_START_UP_CONFIGURATION_H_

#include <windows.h>

#include <map>
#include <string>

namespace ostrel {

struct StartUpConfiguration {
  // The distribution parameters, in key order.
  std::map<std::string, std::string> distribution_parameters;
  // From the brand information.
  std::string brand_id;
  std::string brand_name;
  std::string interface_language = "en";
  LANGID language_id = 1033;
};

// Loads the distribution parameters (from the switch or the installer tag),
// fills the brand information for `brand_name` with `temp_directory` as its
// work directory, lets a "lang" parameter replace the interface language and
// applies the brand defaults.
StartUpConfiguration LoadStartUpConfiguration(const std::wstring& temp_directory, const std::string& brand_name);

}  // namespace ostrel

#endif  // APP_START_UP_CONFIGURATION_H_
