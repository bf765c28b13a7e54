#include "config/languages.h"

#include <gtest/gtest.h>

#include "testing/fake_os_facts.h"

namespace ostrel {
namespace {

TEST(LanguagesTest, CodesAndIdentifiersMapBothWays) {
  const std::pair<const char*, uint32_t> kTable[] = {
      {"ru", 1049}, {"uk", 1058}, {"tr", 1055}, {"de", 1031}, {"es", 3082}, {"fr", 1036},
      {"it", 1040}, {"ja", 1041}, {"kk", 1087}, {"uz", 1091}, {"cs", 1029}, {"pt-PT", 2070},
      {"pt-BR", 1046}, {"zh-CN", 2052}, {"zh-TW", 1028},
  };
  for (const auto& [code, id] : kTable) {
    EXPECT_EQ(LanguageIdFromCode(code), id) << code;
    EXPECT_EQ(LanguageCodeFromId(id), code) << id;
  }
  EXPECT_EQ(LanguageIdFromCode("en"), 1033u);
  EXPECT_EQ(LanguageCodeFromId(1033), "en");
}

TEST(LanguagesTest, AnythingElseFallsBackToEnglish) {
  // Comparison is exact: case and region matter.
  EXPECT_EQ(LanguageIdFromCode("pt-br"), 1033u);
  EXPECT_EQ(LanguageIdFromCode("RU"), 1033u);
  EXPECT_EQ(LanguageIdFromCode(""), 1033u);
  EXPECT_EQ(LanguageIdFromCode("pt"), 1033u);
  // The whole identifier counts: Russian as used in Moldova is not "ru".
  EXPECT_EQ(LanguageCodeFromId(0x0819), "en");
  EXPECT_EQ(LanguageCodeFromId(0x0816), "pt-PT");
  EXPECT_EQ(LanguageCodeFromId(0), "en");
}

TEST(LanguagesTest, UserUiLanguageComesFromTheOsFacts) {
  testing::ScopedFakeOsFacts facts;
  facts.ui_language = 0x0422;
  EXPECT_EQ(UserUiLanguageCode(), "uk");
  facts.ui_language = 0x0819;
  EXPECT_EQ(UserUiLanguageCode(), "en");
}

}  // namespace
}  // namespace ostrel
