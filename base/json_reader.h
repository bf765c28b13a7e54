// Reads the installer's JSON dialect: brand and partner configuration
// documents and the trusted-file list, all files an attacker may have
// changed. The reader never recurses deeper than the nesting limit and never
// reads outside the text it is given.
#ifndef BASE_JSON_READER_H_
#define BASE_JSON_READER_H_

#include <optional>
#include <string>
#include <string_view>

#include "base/values.h"

namespace ostrel {

enum JsonParserOptions {
  JSON_ALLOW_TRAILING_COMMAS = 1,
  // Invalid UTF-8 and unpaired surrogates in strings become U+FFFD.
  JSON_REPLACE_INVALID_CHARACTERS = 2,
  JSON_ALLOW_COMMENTS = 4,
  // Unescaped characters below U+0020 inside strings.
  JSON_ALLOW_CONTROL_CHARS = 8,
  JSON_ALLOW_VERT_TAB = 16,
  // "\xHH" stands for the character U+00HH.
  JSON_ALLOW_X_ESCAPE = 32,
};

// What every reader call in the installer passes.
inline constexpr int kInstallerJsonOptions =
    JSON_ALLOW_COMMENTS | JSON_ALLOW_CONTROL_CHARS | JSON_ALLOW_VERT_TAB | JSON_ALLOW_X_ESCAPE;
static_assert(kInstallerJsonOptions == 60);

enum JsonErrorCode {
  JSON_NO_ERROR = 0,
  JSON_SYNTAX_ERROR = 1,
  JSON_INVALID_ESCAPE = 2,
  JSON_UNEXPECTED_TOKEN = 3,
  JSON_TRAILING_COMMA = 4,
  JSON_TOO_MUCH_NESTING = 5,
  JSON_UNEXPECTED_DATA_AFTER_ROOT = 6,
  JSON_UNSUPPORTED_ENCODING = 7,
  JSON_UNQUOTED_DICTIONARY_KEY = 8,
  JSON_NUMBER_CANNOT_BE_REPRESENTED = 9,
};

// Lists and dictionaries nest at most kJsonMaxDepth - 1 levels deep.
inline constexpr int kJsonMaxDepth = 200;

// The fixed text of an error code, for example "Syntax error."; empty for
// JSON_NO_ERROR and unknown codes.
const char* JsonErrorCodeToString(int error_code);

// Parses `text` with the JsonParserOptions bits in `options`. On failure
// returns nothing and, when asked for, sets `error_code` and `error_message`
// ("Line: %i, column: %i, %s" with the text of the code); on success they are
// set to JSON_NO_ERROR and empty.
//
// Choices of this reader:
// - When a dictionary holds a key more than once, the last value wins.
// - A comment without JSON_ALLOW_COMMENTS is error 3, or error 6 after the
//   root value. An unterminated "/*" comment is error 1, reported where the
//   comment starts. Comments are skipped unread, so their bytes need not be
//   UTF-8.
// - Lines end at CR, LF or CR LF. Columns count bytes from 1 at the start of
//   the line; a leading byte-order mark takes no column. The position is that
//   of the byte where the fault lies: the first byte of an unexpected token,
//   of an unquoted key, of an unrepresentable number, of a bad escape
//   sequence or of an invalid UTF-8 sequence; the closing bracket after a
//   trailing comma; the bracket that opens one level too many.
// - A number written without fraction or exponent that fits a signed 32-bit
//   integer is an integer; every other number is a double ("1.0" too).
//   Numbers below the smallest double read as zero.
// - An unpaired surrogate in a "\u" escape is error 2, invalid UTF-8 is
//   error 7, an unescaped control character without its option is error 1.
std::optional<Value> Deserialize(std::string_view text, int options, int* error_code = nullptr,
                                 std::string* error_message = nullptr);

}  // namespace ostrel

#endif  // BASE_JSON_READER_H_
