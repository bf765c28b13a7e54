#include "config/distrib_info_syntax.h"

namespace ostrel {

DistribParamMap ParseDistribInfoParams(std::string_view text) {
  DistribParamMap params;
  if (text.empty()) return params;
  size_t start = 0;
  while (true) {
    size_t pair_end = text.find('&', start);
    std::string_view pair = text.substr(start, pair_end == std::string_view::npos ? std::string_view::npos
                                                                                 : pair_end - start);
    size_t equals = pair.find('=');
    std::string_view key = pair.substr(0, equals);
    std::string_view value = equals == std::string_view::npos ? std::string_view() : pair.substr(equals + 1);
    params[std::string(key)] = std::string(value);
    if (pair_end == std::string_view::npos) break;
    start = pair_end + 1;
  }
  return params;
}

}  // namespace ostrel
