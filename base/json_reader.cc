#include "base/json_reader.h"

#include <charconv>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <system_error>

#include "base/utf_string_conversions.h"

namespace ostrel {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Whether a number whose double conversion was out of range is too large
// (rather than too close to zero). `number` is well formed JSON.
bool IsOverflow(std::string_view number) {
  size_t i = number[0] == '-' ? 1 : 0;
  // Decimal exponent of the first non-zero digit, before the written exponent.
  bool found = false;
  long long order = 0;
  long long integer_digits_after_first = 0;
  for (; i < number.size() && IsDigit(number[i]); ++i) {
    if (found) {
      ++integer_digits_after_first;
    } else if (number[i] != '0') {
      found = true;
    }
  }
  if (found) order = integer_digits_after_first;
  if (i < number.size() && number[i] == '.') {
    ++i;
    for (long long position = 1; i < number.size() && IsDigit(number[i]); ++i, ++position) {
      if (!found && number[i] != '0') {
        found = true;
        order = -position;
      }
    }
  }
  if (!found) return false;
  long long exponent = 0;
  if (i < number.size() && (number[i] == 'e' || number[i] == 'E')) {
    ++i;
    bool negative = false;
    if (number[i] == '+' || number[i] == '-') negative = number[i++] == '-';
    for (; i < number.size(); ++i) {
      if (exponent < 1000000000) exponent = exponent * 10 + (number[i] - '0');
    }
    if (negative) exponent = -exponent;
  }
  return order + exponent > 0;
}

class JsonParser {
 public:
  JsonParser(std::string_view text, int options) : text_(text), options_(options) {}

  std::optional<Value> Parse() {
    if (text_.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
      first_line_start_ = pos_ = kByteOrderMark.size();
    }
    Value root;
    if (!ParseValue(0, &root)) return std::nullopt;
    switch (SkipWhitespace()) {
      case Skip::kOk:
        break;
      case Skip::kBadComment:
        return Fail(JSON_UNEXPECTED_DATA_AFTER_ROOT, pos_);
      case Skip::kFailed:
        return std::nullopt;
    }
    if (pos_ < text_.size()) return Fail(JSON_UNEXPECTED_DATA_AFTER_ROOT, pos_);
    return root;
  }

  int error_code() const { return error_code_; }

  // "Line: %i, column: %i, %s" for the recorded error.
  std::string ErrorMessage() const {
    long long line = 1;
    size_t line_start = first_line_start_;
    for (size_t i = first_line_start_; i < error_offset_ && i < text_.size(); ++i) {
      // A CR directly followed by LF ends its line at the LF.
      const bool cr_of_crlf = text_[i] == '\r' && i + 1 < text_.size() && text_[i + 1] == '\n';
      if ((text_[i] == '\n' || text_[i] == '\r') && !cr_of_crlf) {
        ++line;
        line_start = i + 1;
      }
    }
    const long long column = static_cast<long long>(error_offset_ - line_start) + 1;
    char buffer[160];
    std::snprintf(buffer, sizeof(buffer), "Line: %i, column: %i, %s", static_cast<int>(line < INT_MAX ? line : INT_MAX),
                  static_cast<int>(column < INT_MAX ? column : INT_MAX), JsonErrorCodeToString(error_code_));
    return buffer;
  }

 private:
  enum class Skip { kOk, kBadComment, kFailed };

  bool AtEnd() const { return pos_ >= text_.size(); }
  char Peek() const { return text_[pos_]; }

  // Records the first error only; returns false (and nullopt through
  // std::optional) so callers can `return Fail(...)`.
  std::nullopt_t Fail(int code, size_t offset) {
    if (error_code_ == JSON_NO_ERROR) {
      error_code_ = code;
      error_offset_ = offset;
    }
    return std::nullopt;
  }
  bool FailBool(int code, size_t offset) {
    Fail(code, offset);
    return false;
  }

  // Skips white space and comments. kBadComment leaves pos_ at a "/" that
  // does not start a comment the options allow; kFailed has recorded an
  // unterminated block comment.
  Skip SkipWhitespace() {
    while (!AtEnd()) {
      const char c = Peek();
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
        ++pos_;
        continue;
      }
      if (c != '/') return Skip::kOk;
      if (!(options_ & JSON_ALLOW_COMMENTS) || pos_ + 1 >= text_.size()) return Skip::kBadComment;
      const char next = text_[pos_ + 1];
      if (next == '/') {
        const size_t end = text_.find_first_of("\r\n", pos_ + 2);
        pos_ = end == std::string_view::npos ? text_.size() : end;
      } else if (next == '*') {
        const size_t end = text_.find("*/", pos_ + 2);
        if (end == std::string_view::npos) {
          FailBool(JSON_SYNTAX_ERROR, pos_);
          return Skip::kFailed;
        }
        pos_ = end + 2;
      } else {
        return Skip::kBadComment;
      }
    }
    return Skip::kOk;
  }

  // Skips to the next token; false (error recorded) at a bad comment.
  bool NextToken() {
    switch (SkipWhitespace()) {
      case Skip::kOk:
        return true;
      case Skip::kBadComment:
        return FailBool(JSON_UNEXPECTED_TOKEN, pos_);
      case Skip::kFailed:
        break;
    }
    return false;
  }

  // `depth` is the number of lists and dictionaries around the value.
  bool ParseValue(int depth, Value* out) {
    if (!NextToken()) return false;
    if (AtEnd()) return FailBool(JSON_SYNTAX_ERROR, pos_);
    switch (Peek()) {
      case '{':
      case '[':
        if (depth + 1 >= kJsonMaxDepth) return FailBool(JSON_TOO_MUCH_NESTING, pos_);
        return Peek() == '{' ? ParseDict(depth + 1, out) : ParseList(depth + 1, out);
      case '"': {
        std::string text;
        if (!ParseString(&text)) return false;
        *out = Value(std::move(text));
        return true;
      }
      case 't':
        return ParseLiteral("true", Value(true), out);
      case 'f':
        return ParseLiteral("false", Value(false), out);
      case 'n':
        return ParseLiteral("null", Value(), out);
      default:
        if (Peek() == '-' || IsDigit(Peek())) return ParseNumber(out);
        return FailBool(JSON_UNEXPECTED_TOKEN, pos_);
    }
  }

  bool ParseLiteral(std::string_view literal, Value value, Value* out) {
    if (text_.substr(pos_, literal.size()) != literal) return FailBool(JSON_SYNTAX_ERROR, pos_);
    pos_ += literal.size();
    *out = std::move(value);
    return true;
  }

  // Called with pos_ on "[".
  bool ParseList(int depth, Value* out) {
    ++pos_;
    Value::List list;
    if (!NextToken()) return false;
    if (!AtEnd() && Peek() == ']') {
      ++pos_;
      *out = Value(std::move(list));
      return true;
    }
    for (;;) {
      Value element;
      if (!ParseValue(depth, &element)) return false;
      list.push_back(std::move(element));
      if (!NextToken()) return false;
      if (AtEnd()) return FailBool(JSON_SYNTAX_ERROR, pos_);
      if (Peek() == ']') break;
      if (Peek() != ',') return FailBool(JSON_UNEXPECTED_TOKEN, pos_);
      ++pos_;
      if (!NextToken()) return false;
      if (!AtEnd() && Peek() == ']') {
        if (!(options_ & JSON_ALLOW_TRAILING_COMMAS)) return FailBool(JSON_TRAILING_COMMA, pos_);
        break;
      }
    }
    ++pos_;
    *out = Value(std::move(list));
    return true;
  }

  // Called with pos_ on "{".
  bool ParseDict(int depth, Value* out) {
    ++pos_;
    Value::Dict dict;
    if (!NextToken()) return false;
    if (!AtEnd() && Peek() == '}') {
      ++pos_;
      *out = Value(std::move(dict));
      return true;
    }
    for (;;) {
      if (AtEnd()) return FailBool(JSON_SYNTAX_ERROR, pos_);
      if (Peek() != '"') return FailBool(JSON_UNQUOTED_DICTIONARY_KEY, pos_);
      std::string key;
      if (!ParseString(&key)) return false;
      if (!NextToken()) return false;
      if (AtEnd()) return FailBool(JSON_SYNTAX_ERROR, pos_);
      if (Peek() != ':') return FailBool(JSON_UNEXPECTED_TOKEN, pos_);
      ++pos_;
      Value value;
      if (!ParseValue(depth, &value)) return false;
      dict.insert_or_assign(std::move(key), std::move(value));
      if (!NextToken()) return false;
      if (AtEnd()) return FailBool(JSON_SYNTAX_ERROR, pos_);
      if (Peek() == '}') break;
      if (Peek() != ',') return FailBool(JSON_UNEXPECTED_TOKEN, pos_);
      ++pos_;
      if (!NextToken()) return false;
      if (!AtEnd() && Peek() == '}') {
        if (!(options_ & JSON_ALLOW_TRAILING_COMMAS)) return FailBool(JSON_TRAILING_COMMA, pos_);
        break;
      }
    }
    ++pos_;
    *out = Value(std::move(dict));
    return true;
  }

  // Reads `count` hexadecimal digits at `at`; -1 when they are not there.
  long ReadHex(size_t at, size_t count) const {
    if (at > text_.size() || text_.size() - at < count) return -1;
    long value = 0;
    for (size_t i = 0; i < count; ++i) {
      const int digit = HexDigitValue(text_[at + i]);
      if (digit < 0) return -1;
      value = value * 16 + digit;
    }
    return value;
  }

  // Called with pos_ on the opening quotation mark.
  bool ParseString(std::string* out) {
    const size_t start = pos_++;
    for (;;) {
      if (AtEnd()) return FailBool(JSON_SYNTAX_ERROR, start);
      const char c = Peek();
      const uint8_t byte = static_cast<uint8_t>(c);
      if (c == '"') {
        ++pos_;
        return true;
      }
      if (c == '\\') {
        if (!ParseEscape(out)) return false;
      } else if (byte < 0x20) {
        if (!(options_ & JSON_ALLOW_CONTROL_CHARS)) return FailBool(JSON_SYNTAX_ERROR, pos_);
        out->push_back(c);
        ++pos_;
      } else if (byte < 0x80) {
        out->push_back(c);
        ++pos_;
      } else {
        size_t skip = 0;
        const size_t length = WellFormedUtf8Length(text_.substr(pos_), &skip);
        if (length) {
          out->append(text_.substr(pos_, length));
          pos_ += length;
        } else if (options_ & JSON_REPLACE_INVALID_CHARACTERS) {
          out->append(kReplacementCharacter);
          pos_ += skip;
        } else {
          return FailBool(JSON_UNSUPPORTED_ENCODING, pos_);
        }
      }
    }
  }

  // Called with pos_ on a backslash inside a string.
  bool ParseEscape(std::string* out) {
    const size_t start = pos_;
    if (pos_ + 1 >= text_.size()) return FailBool(JSON_INVALID_ESCAPE, start);
    const char kind = text_[pos_ + 1];
    pos_ += 2;
    switch (kind) {
      case '"':
      case '\\':
      case '/':
        out->push_back(kind);
        return true;
      case 'b':
        out->push_back('\b');
        return true;
      case 'f':
        out->push_back('\f');
        return true;
      case 'n':
        out->push_back('\n');
        return true;
      case 'r':
        out->push_back('\r');
        return true;
      case 't':
        out->push_back('\t');
        return true;
      case 'v':
        if (!(options_ & JSON_ALLOW_VERT_TAB)) break;
        out->push_back('\v');
        return true;
      case 'x': {
        if (!(options_ & JSON_ALLOW_X_ESCAPE)) break;
        const long value = ReadHex(pos_, 2);
        if (value < 0) break;
        pos_ += 2;
        AppendCodePointAsUtf8(static_cast<uint32_t>(value), out);
        return true;
      }
      case 'u':
        return ParseUnicodeEscape(start, out);
      default:
        break;
    }
    return FailBool(JSON_INVALID_ESCAPE, start);
  }

  // Called with pos_ after "\u"; `start` is the backslash.
  bool ParseUnicodeEscape(size_t start, std::string* out) {
    const long unit = ReadHex(pos_, 4);
    if (unit < 0) return FailBool(JSON_INVALID_ESCAPE, start);
    pos_ += 4;
    uint32_t code_point = static_cast<uint32_t>(unit);
    bool paired = true;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      // Only "\u" and a low surrogate complete it; anything else is left for
      // the string to read next.
      long low = -1;
      if (text_.substr(pos_, 2) == "\\u") low = ReadHex(pos_ + 2, 4);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        pos_ += 6;
        code_point = 0x10000 + ((code_point - 0xD800) << 10) + static_cast<uint32_t>(low - 0xDC00);
      } else {
        paired = false;
      }
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      paired = false;
    }
    if (!paired) {
      if (!(options_ & JSON_REPLACE_INVALID_CHARACTERS)) return FailBool(JSON_INVALID_ESCAPE, start);
      out->append(kReplacementCharacter);
      return true;
    }
    AppendCodePointAsUtf8(code_point, out);
    return true;
  }

  // Called with pos_ on "-" or a digit.
  bool ParseNumber(Value* out) {
    const size_t start = pos_;
    if (Peek() == '-') ++pos_;
    if (AtEnd() || !IsDigit(Peek())) return FailBool(JSON_SYNTAX_ERROR, start);
    if (Peek() == '0') {
      ++pos_;
      if (!AtEnd() && IsDigit(Peek())) return FailBool(JSON_SYNTAX_ERROR, start);
    } else {
      while (!AtEnd() && IsDigit(Peek())) ++pos_;
    }
    bool integral = true;
    if (!AtEnd() && Peek() == '.') {
      integral = false;
      ++pos_;
      if (AtEnd() || !IsDigit(Peek())) return FailBool(JSON_SYNTAX_ERROR, start);
      while (!AtEnd() && IsDigit(Peek())) ++pos_;
    }
    if (!AtEnd() && (Peek() == 'e' || Peek() == 'E')) {
      integral = false;
      ++pos_;
      if (!AtEnd() && (Peek() == '+' || Peek() == '-')) ++pos_;
      if (AtEnd() || !IsDigit(Peek())) return FailBool(JSON_SYNTAX_ERROR, start);
      while (!AtEnd() && IsDigit(Peek())) ++pos_;
    }
    const std::string_view number = text_.substr(start, pos_ - start);
    const char* first = number.data();
    const char* last = number.data() + number.size();
    if (integral) {
      int value = 0;
      const std::from_chars_result result = std::from_chars(first, last, value);
      if (result.ec == std::errc() && result.ptr == last) {
        *out = Value(value);
        return true;
      }
    }
    double value = 0;
    const std::from_chars_result result = std::from_chars(first, last, value);
    if (result.ec == std::errc::result_out_of_range) {
      if (IsOverflow(number)) return FailBool(JSON_NUMBER_CANNOT_BE_REPRESENTED, start);
      value = number[0] == '-' ? -0.0 : 0.0;
    } else if (result.ec != std::errc() || result.ptr != last || !(value - value == 0)) {
      // Not expected for a well-formed number; the last test catches
      // infinity and not-a-number.
      return FailBool(JSON_NUMBER_CANNOT_BE_REPRESENTED, start);
    }
    *out = Value(value);
    return true;
  }

  const std::string_view text_;
  const int options_;
  size_t pos_ = 0;
  size_t first_line_start_ = 0;
  int error_code_ = JSON_NO_ERROR;
  size_t error_offset_ = 0;
};

}  // namespace

const char* JsonErrorCodeToString(int error_code) {
  switch (error_code) {
    case JSON_SYNTAX_ERROR:
      return "Syntax error.";
    case JSON_INVALID_ESCAPE:
      return "Invalid escape sequence.";
    case JSON_UNEXPECTED_TOKEN:
      return "Unexpected token.";
    case JSON_TRAILING_COMMA:
      return "Trailing comma not allowed.";
    case JSON_TOO_MUCH_NESTING:
      return "Too much nesting.";
    case JSON_UNEXPECTED_DATA_AFTER_ROOT:
      return "Unexpected data after root element.";
    case JSON_UNSUPPORTED_ENCODING:
      return "Unsupported encoding. JSON must be UTF-8.";
    case JSON_UNQUOTED_DICTIONARY_KEY:
      return "Dictionary keys must be quoted.";
    case JSON_NUMBER_CANNOT_BE_REPRESENTED:
      return "Number cannot be represented.";
    default:
      return "";
  }
}

std::optional<Value> Deserialize(std::string_view text, int options, int* error_code, std::string* error_message) {
  JsonParser parser(text, options);
  std::optional<Value> result = parser.Parse();
  if (error_code) *error_code = result ? JSON_NO_ERROR : parser.error_code();
  if (error_message) {
    if (result) {
      error_message->clear();
    } else {
      *error_message = parser.ErrorMessage();
    }
  }
  return result;
}

}  // namespace ostrel
