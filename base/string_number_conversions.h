#ifndef BASE_STRING_NUMBER_CONVERSIONS_H_
#define BASE_STRING_NUMBER_CONVERSIONS_H_

#include <cstdint>
#include <string_view>

namespace ostrel {

// Decimal digits only: no sign, no blanks, not empty, at most UINT32_MAX.
// `value` is left alone on failure.
bool StringToUint32(std::string_view text, uint32_t* value);

}  // namespace ostrel

#endif  // BASE_STRING_NUMBER_CONVERSIONS_H_
