// Parses arbitrary text as distribution parameters: keys never hold "=" or
// "&", values never hold "&", and there are no more pairs than the text has.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "config/distrib_info_syntax.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  ostrel::DistribParamMap params = ostrel::ParseDistribInfoParams(text);
  size_t pairs = text.empty() ? 0 : static_cast<size_t>(std::count(text.begin(), text.end(), '&')) + 1;
  bool ok = params.size() <= pairs;
  for (const auto& [key, value] : params) {
    ok = ok && key.find_first_of("=&") == std::string::npos && value.find('&') == std::string::npos &&
         text.find(key) != std::string_view::npos && text.find(value) != std::string_view::npos;
  }
  if (!ok) {
    std::fprintf(stderr, "distrib_info_syntax_fuzzer: pair does not come from the text\n");
    std::abort();
  }
  return 0;
}
