#include "base/values.h"

#include <gtest/gtest.h>

#include <string>

namespace ostrel {
namespace {

TEST(ValueTest, ConstructorsPickTheIntendedType) {
  std::string text = "text";
  EXPECT_EQ(Value().type(), Value::Type::kNull);
  EXPECT_EQ(Value(true).type(), Value::Type::kBoolean);
  EXPECT_EQ(Value(7).type(), Value::Type::kInteger);
  EXPECT_EQ(Value(7.0).type(), Value::Type::kDouble);
  EXPECT_EQ(Value("literal").type(), Value::Type::kString);
  EXPECT_EQ(Value(text).type(), Value::Type::kString);
  EXPECT_EQ(Value(std::string_view(text)).type(), Value::Type::kString);
  EXPECT_EQ(Value(Value::List{}).type(), Value::Type::kList);
  EXPECT_EQ(Value(Value::Dict{}).type(), Value::Type::kDictionary);

  // Implicit conversions, as in SetKey calls, keep booleans boolean.
  Value dict(Value::Dict{});
  dict.SetKey("flag", true);
  dict.SetKey("name", "x");
  EXPECT_EQ(dict.FindKey("flag")->type(), Value::Type::kBoolean);
  EXPECT_EQ(dict.FindKey("name")->type(), Value::Type::kString);
}

TEST(ValueTest, GettersAndIntegerWidening) {
  EXPECT_TRUE(Value(true).GetBool());
  EXPECT_EQ(Value(-5).GetInt(), -5);
  EXPECT_DOUBLE_EQ(Value(-5).GetDouble(), -5.0);
  EXPECT_DOUBLE_EQ(Value(2.5).GetDouble(), 2.5);
  EXPECT_EQ(Value("abc").GetString(), "abc");

  Value list(Value::List{Value(1), Value("two")});
  list.GetList().push_back(Value(3.0));
  ASSERT_EQ(list.GetList().size(), 3u);
  EXPECT_EQ(list.GetList()[1], Value("two"));
}

TEST(ValueTest, EqualityIsDeepAndTypeStrict) {
  EXPECT_NE(Value(1), Value(1.0));
  EXPECT_NE(Value(1), Value(true));
  EXPECT_NE(Value(), Value(0));
  Value::Dict inner{{"k", Value(Value::List{Value(1), Value()})}};
  EXPECT_EQ(Value(inner), Value(inner));
  Value::Dict other = inner;
  other["k"].GetList()[1] = Value(false);
  EXPECT_NE(Value(inner), Value(other));
}

TEST(ValueTest, PathLookupWalksNestedDictionaries) {
  Value root(Value::Dict{});
  Value* install = root.SetKey("install", Value(Value::Dict{}));
  install->SetKey("setup_url", "https://example.test/setup");
  install->SetKey("attempts", 3);
  install->SetKey("silent", false);
  install->SetKey("ratio", 0.5);
  install->SetKey("urls", Value(Value::List{Value("a")}));
  root.SetKey("plain", 1);

  ASSERT_NE(root.FindStringPath("install.setup_url"), nullptr);
  EXPECT_EQ(*root.FindStringPath("install.setup_url"), "https://example.test/setup");
  EXPECT_EQ(root.FindIntPath("install.attempts"), 3);
  EXPECT_EQ(root.FindBoolPath("install.silent"), false);
  EXPECT_EQ(root.FindDoublePath("install.ratio"), 0.5);
  EXPECT_EQ(root.FindDoublePath("install.attempts"), 3.0);
  EXPECT_EQ(root.FindListPath("install.urls")->size(), 1u);
  EXPECT_EQ(root.FindDictPath("install")->size(), 5u);
  EXPECT_EQ(root.FindIntPath("plain"), 1);

  // Missing keys, wrong types and paths through non-dictionaries find nothing.
  EXPECT_EQ(root.FindPath("install.missing"), nullptr);
  EXPECT_EQ(root.FindPath("plain.below"), nullptr);
  EXPECT_EQ(root.FindPath("install.urls.0"), nullptr);
  EXPECT_EQ(root.FindPath(""), nullptr);
  EXPECT_EQ(root.FindPath("install."), nullptr);
  EXPECT_EQ(root.FindStringPath("install.attempts"), nullptr);
  EXPECT_EQ(root.FindIntPath("install.ratio"), std::nullopt);
  EXPECT_EQ(root.FindBoolPath("install.attempts"), std::nullopt);
  EXPECT_EQ(root.FindDictPath("plain"), nullptr);
  EXPECT_EQ(Value(5).FindKey("x"), nullptr);
  EXPECT_EQ(Value(Value::List{}).FindPath("x"), nullptr);
}

TEST(ValueTest, SetKeyReplacesAndRemoveKeyReports) {
  Value dict(Value::Dict{});
  Value* first = dict.SetKey("k", 1);
  EXPECT_EQ(*first, Value(1));
  Value* second = dict.SetKey("k", "two");
  EXPECT_EQ(first, second);
  EXPECT_EQ(*dict.FindStringKey("k"), "two");
  EXPECT_EQ(dict.GetDict().size(), 1u);

  EXPECT_TRUE(dict.RemoveKey("k"));
  EXPECT_FALSE(dict.RemoveKey("k"));
  EXPECT_FALSE(Value(1).RemoveKey("k"));
  EXPECT_TRUE(dict.GetDict().empty());
}

}  // namespace
}  // namespace ostrel
