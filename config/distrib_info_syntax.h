// The text form of distribution parameters: key=value pairs joined by "&".
// Pure, so it builds natively for fuzzing.
#ifndef CONFIG_DISTRIB_INFO_SYNTAX_H_
#define CONFIG_DISTRIB_INFO_SYNTAX_H_

#include <map>
#include <string>
#include <string_view>

namespace ostrel {

// Ordered by byte-wise key comparison. Keys and values are the raw bytes of
// the text, never percent-decoded.
using DistribParamMap = std::map<std::string, std::string>;

// A key runs to the first "=" or "&", its value from after the "=" to the
// next "&" (so a value may hold "="). A pair without "=" has an empty value;
// an empty key is allowed; a later pair replaces an earlier one.
DistribParamMap ParseDistribInfoParams(std::string_view text);

}  // namespace ostrel

#endif  // CONFIG_DISTRIB_INFO_SYNTAX_H_
