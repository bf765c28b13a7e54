#include "base/json_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "base/base64.h"

namespace ostrel {
namespace {

std::optional<Value> Read(std::string_view text, int options = kInstallerJsonOptions) {
  int error_code = -1;
  std::string error_message = "stale";
  std::optional<Value> value = Deserialize(text, options, &error_code, &error_message);
  if (value) {
    EXPECT_EQ(error_code, JSON_NO_ERROR);
    EXPECT_EQ(error_message, "");
  } else {
    ADD_FAILURE() << "failed to read " << text << ": " << error_message;
  }
  return value;
}

std::string Nested(int levels, std::string_view inner = "") {
  std::string text;
  for (int i = 0; i < levels; ++i) text += i % 2 ? "{\"k\":" : "[";
  text += inner;
  for (int i = levels - 1; i >= 0; --i) text += i % 2 ? "}" : "]";
  return text;
}

struct ErrorCase {
  const char* name;
  std::string text;
  int options;
  int code;
  int line;
  int column;
};

TEST(JsonReaderTest, ErrorsCarryCodePositionAndMessage) {
  const int kStrict = 0;
  const int kInstaller = kInstallerJsonOptions;
  const ErrorCase cases[] = {
      {"bad literal", "{\"a\": tru}", kInstaller, 1, 1, 7},
      {"empty document", "", kInstaller, 1, 1, 1},
      {"only a comment", "// nothing", kInstaller, 1, 1, 11},
      {"truncated list", "[1,", kInstaller, 1, 1, 4},
      {"truncated dictionary", "{\"a\"", kInstaller, 1, 1, 5},
      {"unterminated string", "[\"abc", kInstaller, 1, 1, 2},
      {"unterminated block comment", "{} /* x", kInstaller, 1, 1, 4},
      {"leading zero", "[01]", kInstaller, 1, 1, 2},
      {"lone minus", "-", kInstaller, 1, 1, 1},
      {"no fraction digits", "1.", kInstaller, 1, 1, 1},
      {"no exponent digits", "1e+", kInstaller, 1, 1, 1},
      {"control character without option", "\"a\tb\"", kStrict, 1, 1, 3},
      {"unknown escape", "[\"ab\\q\"]", kInstaller, 2, 1, 5},
      {"short \\u escape", "\"\\u12\"", kInstaller, 2, 1, 2},
      {"short \\x escape", "\"\\x4\"", kInstaller, 2, 1, 2},
      {"\\v without option", "\"\\v\"", kStrict, 2, 1, 2},
      {"\\x without option", "\"\\x41\"", kStrict, 2, 1, 2},
      {"lone high surrogate", "\"\\uD83D\"", kInstaller, 2, 1, 2},
      {"high surrogate then other escape", "\"\\uD83D\\u0041\"", kInstaller, 2, 1, 2},
      {"lone low surrogate", "\"x\\uDE00\"", kInstaller, 2, 1, 3},
      {"missing comma", "[1 2]", kInstaller, 3, 1, 4},
      {"missing colon", "{\"a\" 1}", kInstaller, 3, 1, 6},
      {"number with plus", "+1", kInstaller, 3, 1, 1},
      {"number without integer part", ".5", kInstaller, 3, 1, 1},
      {"comment without option", "// c\n{}", kStrict, 3, 1, 1},
      {"slash that is no comment", "[/x]", kInstaller, 3, 1, 2},
      {"form feed between tokens", "[\f1]", kInstaller, 3, 1, 2},
      {"trailing comma in list", "[1,2,]", kInstaller, 4, 1, 6},
      {"trailing comma in dictionary", "{\"a\":1, }", kInstaller, 4, 1, 9},
      {"data after root", "{} x", kInstaller, 6, 1, 4},
      {"second root", "1 2", kInstaller, 6, 1, 3},
      {"comment after root without option", "{} // x", kStrict, 6, 1, 4},
      {"overlong encoding", "\"\xC0\x80\"", kInstaller, 7, 1, 2},
      {"encoded surrogate", "\"a\xED\xA0\x80\"", kInstaller, 7, 1, 3},
      {"above U+10FFFF", "\"\xF4\x90\x80\x80\"", kInstaller, 7, 1, 2},
      {"truncated sequence", "\"\xE2\x82", kInstaller, 7, 1, 2},
      {"Latin-1 byte", "{\"k\": \"caf\xE9\"}", kInstaller, 7, 1, 11},
      {"unquoted key", "{a: 1}", kInstaller, 8, 1, 2},
      {"number key", "{\"a\": 1, 2: 3}", kInstaller, 8, 1, 10},
      {"huge number", "1e400", kInstaller, 9, 1, 1},
      {"huge negative number", "[0, -1e400]", kInstaller, 9, 1, 5},
      {"huge integer digits", "[" + std::string(400, '9') + "]", kInstaller, 9, 1, 2},
      // Line counting: CR, LF and CR LF each end one line; a byte-order mark
      // takes no column; lines inside strings and comments count.
      {"CR LF lines", "{\r\n\"a\":\r\n 1,\r\n}", kInstaller, 4, 4, 1},
      {"mixed line ends", "\r\r\n\n[x]", kInstaller, 3, 4, 2},
      {"byte-order mark", "\xEF\xBB\xBF[x]", kInstaller, 3, 1, 2},
      {"line inside string", "[\"a\nb\", x]", kInstaller, 3, 2, 5},
      {"lines inside block comment", "/* a\r\n b\r */ [x]", kInstaller, 3, 3, 6},
  };
  for (const ErrorCase& test : cases) {
    SCOPED_TRACE(test.name);
    int error_code = 0;
    std::string error_message;
    EXPECT_FALSE(Deserialize(test.text, test.options, &error_code, &error_message).has_value());
    EXPECT_EQ(error_code, test.code);
    char expected[160];
    std::snprintf(expected, sizeof(expected), "Line: %d, column: %d, %s", test.line, test.column,
                  JsonErrorCodeToString(test.code));
    EXPECT_EQ(error_message, expected);
  }
}

TEST(JsonReaderTest, ErrorTextsMatchTheirCodes) {
  const char* const kTexts[] = {
      "",
      "Syntax error.",
      "Invalid escape sequence.",
      "Unexpected token.",
      "Trailing comma not allowed.",
      "Too much nesting.",
      "Unexpected data after root element.",
      "Unsupported encoding. JSON must be UTF-8.",
      "Dictionary keys must be quoted.",
      "Number cannot be represented.",
  };
  for (int code = 0; code <= 9; ++code) EXPECT_STREQ(JsonErrorCodeToString(code), kTexts[code]) << code;
  EXPECT_STREQ(JsonErrorCodeToString(10), "");
}

TEST(JsonReaderTest, NestingStopsAt200Levels) {
  EXPECT_TRUE(Read(Nested(199, "1")).has_value());
  EXPECT_TRUE(Read(std::string(199, '[') + std::string(199, ']')).has_value());

  for (const std::string& text : {Nested(200, "1"), std::string(100000, '[')}) {
    int error_code = 0;
    EXPECT_FALSE(Deserialize(text, kInstallerJsonOptions, &error_code));
    EXPECT_EQ(error_code, JSON_TOO_MUCH_NESTING);
  }
  // Reported at the opening bracket that is one too many.
  std::string error_message;
  EXPECT_FALSE(Deserialize(std::string(200, '['), 0, nullptr, &error_message));
  EXPECT_EQ(error_message, "Line: 1, column: 200, Too much nesting.");
}

TEST(JsonReaderTest, NumbersAreIntegersWhenWrittenAsFittingIntegers) {
  struct {
    const char* text;
    Value expected;
  } const cases[] = {
      {"0", Value(0)},
      {"-0", Value(0)},
      {"2147483647", Value(2147483647)},
      {"-2147483648", Value(-2147483647 - 1)},
      {"2147483648", Value(2147483648.0)},
      {"-2147483649", Value(-2147483649.0)},
      {"1.0", Value(1.0)},
      {"1e2", Value(100.0)},
      {"-1.5E-3", Value(-0.0015)},
      {"0.1", Value(0.1)},
      {"1.7976931348623157e308", Value(1.7976931348623157e308)},
      {"123456789012345678901234567890", Value(1.2345678901234568e29)},
      // Below the smallest double: zero, not an error.
      {"1e-400", Value(0.0)},
      {"-0.000000001e-400", Value(-0.0)},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.text);
    std::optional<Value> value = Read(test.text);
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(*value, test.expected);
  }
}

TEST(JsonReaderTest, StringEscapesAndUnicode) {
  struct {
    const char* text;
    const char* expected;
  } const cases[] = {
      {R"("\" \\ \/ \b \f \n \r \t")", "\" \\ / \b \f \n \r \t"},
      {R"("\v|\x41\x7e|\xE9")", "\v|A~|\xC3\xA9"},
      {R"("\u0041\u00e9\u20AC")", "A\xC3\xA9\xE2\x82\xAC"},
      {R"("\uD83D\uDE00")", "\xF0\x9F\x98\x80"},
      {"\"raw \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80\"", "raw \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
      {"\"tab\there\nnew line\"", "tab\there\nnew line"},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.text);
    std::optional<Value> value = Read(test.text);
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->GetString(), test.expected);
  }
  EXPECT_EQ(Read(R"("\x00end")")->GetString(), std::string("\0end", 4));
  EXPECT_EQ(Read(R"("\u0000")")->GetString(), std::string(1, '\0'));
}

TEST(JsonReaderTest, ReplacementOptionTurnsInvalidCharactersIntoUFFFD) {
  const int options = kInstallerJsonOptions | JSON_REPLACE_INVALID_CHARACTERS;
  const std::string kFFFD = "\xEF\xBF\xBD";
  EXPECT_EQ(Read("\"a\xFF" "b\"", options)->GetString(), "a" + kFFFD + "b");
  // One replacement per maximal ill-formed prefix.
  EXPECT_EQ(Read("\"\xE2\x82" "A\"", options)->GetString(), kFFFD + "A");
  EXPECT_EQ(Read("\"\xED\xA0\x80\"", options)->GetString(), kFFFD + kFFFD + kFFFD);
  EXPECT_EQ(Read(R"("\uD83Dx\uDE00")", options)->GetString(), kFFFD + "x" + kFFFD);
  EXPECT_EQ(Read(R"("\uD83D\u0041")", options)->GetString(), kFFFD + "A");
}

TEST(JsonReaderTest, SignedDocumentWithSignatureCommentLine) {
  // Every byte value, so the signature line holds "+" and "/" too.
  std::string signature_bytes;
  for (int byte = 0; byte < 256; ++byte) signature_bytes.push_back(static_cast<char>(byte));
  const std::string signature = Base64Encode(signature_bytes);
  for (const char* line_end : {"\n", "\r\n", "\r"}) {
    const std::string text = "//" + signature + line_end +
                             "{\"certificates\": {\"abc\": \"0011\"}}" + line_end;
    std::optional<Value> value = Read(text);
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(*value->FindStringPath("certificates.abc"), "0011");
  }
}

TEST(JsonReaderTest, DocumentsWithCommentsAndWhitespace) {
  std::optional<Value> value = Read(
      "\xEF\xBB\xBF/* brand */ {\r\n"
      "  \"name\" : \"x\", // trailing note\n"
      "  \"flags\": [true, false, null], /* inline */ \"n\": -12,\t\"d\": {}\r"
      "}  // end");
  ASSERT_TRUE(value.has_value());
  EXPECT_EQ(*value->FindStringKey("name"), "x");
  EXPECT_EQ(*value->FindListKey("flags"), (Value::List{Value(true), Value(false), Value()}));
  EXPECT_EQ(value->FindIntKey("n"), -12);
  EXPECT_TRUE(value->FindDictKey("d")->empty());
}

TEST(JsonReaderTest, LastOfDuplicateKeysWins) {
  std::optional<Value> value = Read(R"({"a": 1, "b": 2, "a": [3]})");
  ASSERT_TRUE(value.has_value());
  EXPECT_EQ(value->GetDict().size(), 2u);
  EXPECT_EQ(*value->FindKey("a"), Value(Value::List{Value(3)}));
}

TEST(JsonReaderTest, TrailingCommasOnlyWithTheirOption) {
  std::optional<Value> value = Read(R"({"a": [1, 2,], })", JSON_ALLOW_TRAILING_COMMAS);
  ASSERT_TRUE(value.has_value());
  EXPECT_EQ(value->FindListKey("a")->size(), 2u);
  // Only one comma, and only after a member.
  EXPECT_FALSE(Deserialize("[1,,]", JSON_ALLOW_TRAILING_COMMAS));
  EXPECT_FALSE(Deserialize("[,]", JSON_ALLOW_TRAILING_COMMAS));
}

TEST(JsonReaderTest, ScalarRootsAndNullOutputs) {
  EXPECT_EQ(*Read("  null "), Value());
  EXPECT_EQ(*Read("true"), Value(true));
  EXPECT_EQ(*Read("\"s\""), Value("s"));
  EXPECT_TRUE(Deserialize("[1]", 0).has_value());
  EXPECT_FALSE(Deserialize("truex", 0).has_value());
}

}  // namespace
}  // namespace ostrel
