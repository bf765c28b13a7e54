// Writes values as JSON: the compact form for the distribution-parameter dump,
// the pretty form for the variations files.
#ifndef BASE_JSON_WRITER_H_
#define BASE_JSON_WRITER_H_

#include <string>

#include "base/values.h"

namespace ostrel {

// Writes `value` to `out` (replacing its contents). Returns false, with `out`
// empty, when the value holds an infinite or not-a-number double.
//
// Output form:
// - Dictionary keys in ascending byte order; strings escaped as " \ and
//   \b \f \n \r \t in short form, other characters below U+0020 as \u00XX,
//   "<" as \u003C, U+2028 and U+2029 as \u2028 and \u2029; everything else
//   as UTF-8, with invalid UTF-8 replaced by U+FFFD so the output always
//   reads back.
// - Doubles in the shortest form that reads back to the same value; an
//   integral double keeps ".0" ("3.0", "-0.0") so it reads back as a double.
// - Compact: no white space. Pretty: CR LF after "{" or "[" and after each
//   ",", members indented by three spaces per level, ": " between key and
//   value, the closing bracket on its own line at the level of its opening
//   line, and a final CR LF. Empty containers are "{}" and "[]" in both forms.
bool JsonWrite(const Value& value, bool pretty, std::string* out);

// JsonWrite's text; empty for a value it cannot write.
std::string WriteJson(const Value& value, bool pretty);

}  // namespace ostrel

#endif  // BASE_JSON_WRITER_H_
