#include "base/string_number_conversions.h"

namespace ostrel {

bool StringToUint32(std::string_view text, uint32_t* value) {
  if (text.empty()) return false;
  uint64_t result = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    result = result * 10 + static_cast<uint64_t>(c - '0');
    // Checked every digit, so a long run of digits cannot wrap.
    if (result > UINT32_MAX) return false;
  }
  *value = static_cast<uint32_t>(result);
  return true;
}

}  // namespace ostrel
