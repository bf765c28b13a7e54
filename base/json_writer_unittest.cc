#include "base/json_writer.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "base/json_reader.h"

namespace ostrel {
namespace {

Value Sample() {
  Value root(Value::Dict{});
  root.SetKey("b", Value(Value::List{Value(1), Value(true), Value(), Value(Value::List{}), Value(Value::Dict{})}));
  root.SetKey("a", "x");
  Value* nested = root.SetKey("c", Value(Value::Dict{}));
  nested->SetKey("d", 2.5);
  return root;
}

TEST(JsonWriterTest, CompactFormHasNoWhiteSpaceAndSortedKeys) {
  EXPECT_EQ(WriteJson(Sample(), false), R"({"a":"x","b":[1,true,null,[],{}],"c":{"d":2.5}})");
  EXPECT_EQ(WriteJson(Value(), false), "null");
  EXPECT_EQ(WriteJson(Value(Value::List{}), false), "[]");
}

TEST(JsonWriterTest, PrettyFormUsesCrLfAndThreeSpaceIndent) {
  EXPECT_EQ(WriteJson(Sample(), true),
            "{\r\n"
            "   \"a\": \"x\",\r\n"
            "   \"b\": [\r\n"
            "      1,\r\n"
            "      true,\r\n"
            "      null,\r\n"
            "      [],\r\n"
            "      {}\r\n"
            "   ],\r\n"
            "   \"c\": {\r\n"
            "      \"d\": 2.5\r\n"
            "   }\r\n"
            "}\r\n");
  EXPECT_EQ(WriteJson(Value(7), true), "7\r\n");
  EXPECT_EQ(WriteJson(Value(Value::Dict{}), true), "{}\r\n");
}

TEST(JsonWriterTest, StringEscaping) {
  struct {
    std::string text;
    const char* expected;
  } const cases[] = {
      {"plain", R"("plain")"},
      {"\" \\ / \b \f \n \r \t", R"("\" \\ / \b \f \n \r \t")"},
      {std::string("\x01\x1F\v", 3) + std::string(1, '\0'), R"("\u0001\u001F\u000B\u0000")"},
      {"</script>", R"("\u003C/script>")"},
      {"a\xE2\x80\xA8" "b\xE2\x80\xA9" "c", R"("a\u2028b\u2029c")"},
      {"\x7F \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "\"\x7F \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80\""},
      // Invalid UTF-8 is not passed on.
      {"a\xFF" "b\xE2\x82", "\"a\xEF\xBF\xBD" "b\xEF\xBF\xBD\""},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.expected);
    EXPECT_EQ(WriteJson(Value(test.text), false), test.expected);
    // Keys are escaped the same way.
    EXPECT_EQ(WriteJson(Value(Value::Dict{{test.text, Value(0)}}), false), std::string("{") + test.expected + ":0}");
  }
}

TEST(JsonWriterTest, NumbersReadBackWithTheirType) {
  struct {
    Value value;
    const char* expected;
  } const cases[] = {
      {Value(0), "0"},
      {Value(-2147483647 - 1), "-2147483648"},
      {Value(3.0), "3.0"},
      {Value(-0.0), "-0.0"},
      {Value(0.1), "0.1"},
      {Value(2147483648.0), "2147483648.0"},
      {Value(1e21), "1e+21"},
      {Value(1.7976931348623157e308), "1.7976931348623157e+308"},
      {Value(5e-324), "5e-324"},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.expected);
    EXPECT_EQ(WriteJson(test.value, false), test.expected);
    std::optional<Value> read = Deserialize(test.expected, 0);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(*read, test.value);
  }
}

TEST(JsonWriterTest, NonFiniteDoublesAreNotWritten) {
  for (double bad : {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                     std::numeric_limits<double>::quiet_NaN()}) {
    std::string out = "previous";
    EXPECT_FALSE(JsonWrite(Value(Value::List{Value(1), Value(bad)}), true, &out));
    EXPECT_EQ(out, "");
  }
}

TEST(JsonWriterTest, WrittenDocumentsReadBackEqual) {
  const char* const documents[] = {
      R"({"url": "https://example.test/a?b=1&c=<2>", "list": [1, -2.25, "\u2028", {"": null}], "x": "\x01"})",
      "[[[[[]]]], {\"k\": {\"k\": {\"k\": [\"\\uD83D\\uDE00\"]}}}]",
      "\"\\v\\x7F\\xFF\"",
  };
  for (const char* document : documents) {
    SCOPED_TRACE(document);
    std::optional<Value> value = Deserialize(document, kInstallerJsonOptions);
    ASSERT_TRUE(value.has_value());
    for (bool pretty : {false, true}) {
      std::optional<Value> again = Deserialize(WriteJson(*value, pretty), 0);
      ASSERT_TRUE(again.has_value());
      EXPECT_EQ(*again, *value);
    }
  }
}

}  // namespace
}  // namespace ostrel
