// Base64 with the standard alphabet (A-Z a-z 0-9 + /) and "=" padding.
#ifndef BASE_BASE64_H_
#define BASE_BASE64_H_

#include <string>
#include <string_view>

namespace ostrel {

std::string Base64Encode(std::string_view data);

// Strict: the text must be exactly what Base64Encode gives for some data
// (length a multiple of 4, padding present, no white space, unused bits of
// the last character zero), so each byte string has one accepted text.
// Leaves `out` unchanged on failure.
bool Base64Decode(std::string_view text, std::string* out);

}  // namespace ostrel

#endif  // BASE_BASE64_H_
