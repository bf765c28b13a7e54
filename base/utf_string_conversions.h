// UTF-8 / UTF-16 conversion without the OS, so pure code can use it natively.
#ifndef BASE_UTF_STRING_CONVERSIONS_H_
#define BASE_UTF_STRING_CONVERSIONS_H_

#include <cstddef>
#include <cstdint>
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

// Appends a code point (at most U+10FFFF, not a surrogate) as UTF-8.
void AppendCodePointAsUtf8(uint32_t code_point, std::string* out);

// Length of the well-formed UTF-8 sequence at the start of `text`, or 0 when
// there is none; then `*invalid_length` (if given) is the length of the
// maximal ill-formed prefix, at least 1 byte, which one U+FFFD replaces.
// Overlong forms, surrogates and values above U+10FFFF are ill-formed.
size_t WellFormedUtf8Length(std::string_view text, size_t* invalid_length);

}  // namespace ostrel

#endif  // BASE_UTF_STRING_CONVERSIONS_H_
