// UTF-8 / UTF-16 conversion without the OS, so pure code can use it natively.
#ifndef BASE_UTF_STRING_CONVERSIONS_H_
#define BASE_UTF_STRING_CONVERSIONS_H_

#include <string>
#include <string_view>

namespace ostrel {

// Invalid sequences become U+FFFD.
std::string WideToUtf8(std::wstring_view text);
std::wstring Utf8ToWide(std::string_view text);

// Each byte widened to one UTF-16 unit (Latin-1 reading).
std::wstring AsciiToWide(std::string_view text);
// Each UTF-16 unit reduced to its low byte, without validation.
std::string WideToLowBytes(std::wstring_view text);

}  // namespace ostrel

#endif  // BASE_UTF_STRING_CONVERSIONS_H_
