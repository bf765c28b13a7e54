#include "ui/localized_strings.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/scoped_handle.h"
#include "base/utf_string_conversions.h"
#include "config/languages.h"
#include "testing/test_util.h"

namespace ostrel {
namespace {

constexpr LANGID kEnglish = 1033;
constexpr LANGID kRussian = 1049;
constexpr int kFirstBundle = 400 / 16 + 1;
constexpr int kLastBundle = 510 / 16 + 1;

// Every table holds these ids; 476 and 478 are empty everywhere.
std::set<int> ExpectedIds() {
  std::set<int> ids;
  for (int id = 400; id <= 510; ++id) {
    if (id != 476 && id != 478) ids.insert(id);
  }
  return ids;
}

std::set<LANGID> ExpectedLanguages() {
  std::set<LANGID> languages = {kEnglish};
  for (const char* code : {"ru", "uk", "kk", "uz", "tr", "de", "fr", "cs", "it", "es", "pt-BR", "pt-PT", "ja",
                           "zh-CN", "zh-TW"}) {
    languages.insert(static_cast<LANGID>(LanguageIdFromCode(code)));
  }
  return languages;
}

// Non-empty texts of every language a module's string tables hold.
using StringTables = std::map<LANGID, std::map<int, std::wstring>>;

struct ModuleTables {
  StringTables tables;
  std::set<int> bundles;
};

BOOL CALLBACK AddBundle(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR found) {
  if (IS_INTRESOURCE(name)) reinterpret_cast<ModuleTables*>(found)->bundles.insert(LOWORD(name));
  return TRUE;
}

BOOL CALLBACK AddLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR found) {
  reinterpret_cast<ModuleTables*>(found)->tables[language];
  return TRUE;
}

ModuleTables ReadStringTables(HMODULE module) {
  ModuleTables found;
  ::EnumResourceNamesW(module, RT_STRING, AddBundle, reinterpret_cast<LONG_PTR>(&found));
  for (int bundle : found.bundles) {
    ::EnumResourceLanguagesW(module, RT_STRING, MAKEINTRESOURCEW(bundle), AddLanguage,
                             reinterpret_cast<LONG_PTR>(&found));
  }
  for (auto& [language, texts] : found.tables) {
    for (int bundle : found.bundles) {
      for (int id = (bundle - 1) * 16; id < bundle * 16; ++id) {
        std::wstring text = LoadUiString(module, id, language);
        if (!text.empty()) texts[id] = text;
      }
    }
  }
  return found;
}

// What a translation must keep of the English text.
struct TextShape {
  std::vector<std::wstring> markup;        // "((" and "))" in order
  std::vector<std::wstring> placeholders;  // "%i" and any other %-sequence
  int line_feeds = 0;
  bool operator==(const TextShape&) const = default;
};

TextShape ShapeOf(const std::wstring& text) {
  TextShape shape;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, 2, L"((") == 0 || text.compare(i, 2, L"))") == 0) {
      shape.markup.push_back(text.substr(i, 2));
      ++i;
    } else if (text[i] == L'%') {
      size_t end = i + 1;
      while (end < text.size() && wcschr(L"-+ #0123456789.", text[end])) ++end;
      shape.placeholders.push_back(text.substr(i, end + 1 - i));
      i = end;
    } else if (text[i] == L'\n') {
      ++shape.line_feeds;
    }
  }
  return shape;
}

// Everything that makes the tables unfit to ship, one line each.
std::vector<std::string> StringTableProblems(const ModuleTables& found) {
  std::vector<std::string> problems;
  for (int bundle : found.bundles) {
    if (bundle < kFirstBundle || bundle > kLastBundle) problems.push_back("stray bundle " + std::to_string(bundle));
  }
  std::set<LANGID> languages;
  for (const auto& entry : found.tables) languages.insert(entry.first);
  if (languages != ExpectedLanguages()) problems.push_back("languages differ from the sixteen interface languages");
  auto english = found.tables.find(kEnglish);
  if (english == found.tables.end()) {
    problems.push_back("no English table");
    return problems;
  }
  const std::set<int> expected_ids = ExpectedIds();
  for (const auto& [language, texts] : found.tables) {
    const std::string name = std::to_string(language);
    for (int id : expected_ids) {
      if (!texts.count(id)) problems.push_back(name + " id " + std::to_string(id) + ": missing");
    }
    for (const auto& [id, text] : texts) {
      if (!expected_ids.count(id)) {
        problems.push_back(name + " id " + std::to_string(id) + ": not an installer text");
        continue;
      }
      auto reference = english->second.find(id);
      if (reference == english->second.end()) continue;
      TextShape expected = ShapeOf(reference->second);
      TextShape actual = ShapeOf(text);
      std::string where = name + " id " + std::to_string(id) + ": ";
      if (actual.markup != expected.markup) problems.push_back(where + "link markup differs from English");
      if (actual.placeholders != expected.placeholders) problems.push_back(where + "placeholders differ from English");
      if (actual.line_feeds != expected.line_feeds) problems.push_back(where + "line feeds differ from English");
    }
  }
  return problems;
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string joined;
  for (const std::string& line : lines) joined += line + "\n";
  return joined;
}

ScopedLibrary LoadAsData(const std::wstring& path) {
  return ScopedLibrary(
      ::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
}

// A bundle as RT_STRING stores it: 16 entries of length and units.
std::vector<wchar_t> EncodeBundle(const std::map<int, std::wstring>& texts, int bundle) {
  std::vector<wchar_t> units;
  for (int id = (bundle - 1) * 16; id < bundle * 16; ++id) {
    auto text = texts.find(id);
    std::wstring value = text == texts.end() ? std::wstring() : text->second;
    units.push_back(static_cast<wchar_t>(value.size()));
    units.insert(units.end(), value.begin(), value.end());
  }
  return units;
}

bool ReplaceBundle(HANDLE update, const std::map<int, std::wstring>& texts, int id, LANGID language) {
  std::vector<wchar_t> units = EncodeBundle(texts, id / 16 + 1);
  return ::UpdateResourceW(update, RT_STRING, MAKEINTRESOURCEW(id / 16 + 1), language, units.data(),
                           static_cast<DWORD>(units.size() * sizeof(wchar_t)));
}

TEST(LocalizedStringsTest, TextsAreFoundByBundleAndPositionInTheRequestedLanguageOnly) {
  // Bundle 26 starts with 400 and 510 is the fifteenth entry of bundle 32;
  // the system's own reader (the thread's language is English) agrees on
  // every id.
  EXPECT_EQ(LoadUiString(400, kEnglish), L"Tarvik");
  EXPECT_EQ(LoadUiString(510, kEnglish), L"Cancel");
  HMODULE self = ::GetModuleHandleW(nullptr);
  for (int id = 384; id < 528; ++id) {
    const wchar_t* system_text = nullptr;
    int length = ::LoadStringW(self, id, reinterpret_cast<LPWSTR>(&system_text), 0);
    EXPECT_EQ(LoadUiString(id, kEnglish), std::wstring(system_text ? system_text : L"", length)) << id;
  }
  EXPECT_EQ(LoadUiString(482, kRussian), L"Не удалось установить Tarvik\u00a0Браузер на этот компьютер.");
  EXPECT_EQ(LoadUiString(410, kEnglish), L"You can install\nTarvik\u00a0Browser now");

  // No fallback: a language without tables, an id without text.
  EXPECT_EQ(LoadUiString(400, 0x0809), L"");
  EXPECT_EQ(LoadUiString(478, kRussian), L"");
  EXPECT_EQ(LoadUiString(-1, kEnglish), L"");
  EXPECT_EQ(LoadUiString(0x10000 + 400, kEnglish), L"");
}

TEST(StringTablesTest, BuiltInstallerCarriesSixteenTablesOfTheSameShape) {
  ScopedLibrary installer = LoadAsData(testing::InstallerExecutablePath());
  ASSERT_TRUE(installer.IsValid());
  ModuleTables found = ReadStringTables(installer.Get());
  EXPECT_EQ(found.tables.size(), 16u);
  EXPECT_EQ(found.bundles, (std::set<int>{26, 27, 28, 29, 30, 31, 32}));
  EXPECT_EQ(JoinLines(StringTableProblems(found)), "");
}

TEST(StringTablesTest, BrokenTranslationsInAnExecutableFailTheCheck) {
  testing::ScopedTempDir temp;
  const std::wstring copy = temp.Append(L"installer.exe");
  ASSERT_TRUE(::CopyFileW(testing::InstallerExecutablePath().c_str(), copy.c_str(), FALSE));
  StringTables original;
  std::set<std::string> problems_before;
  {
    ScopedLibrary installer = LoadAsData(copy);
    ASSERT_TRUE(installer.IsValid());
    ModuleTables found = ReadStringTables(installer.Get());
    original = found.tables;
    for (const std::string& problem : StringTableProblems(found)) problems_before.insert(problem);
  }
  ASSERT_TRUE(original.count(kRussian) && original.count(1058));

  std::map<int, std::wstring> russian = original[kRussian];
  russian[463].erase(russian[463].rfind(L"))"), 2);
  russian[465] = L"Осталось несколько минут";
  std::map<int, std::wstring> ukrainian = original[1058];
  ukrainian.erase(500);
  ukrainian[501] = L"Зрозуміло\n";

  // A French bundle cut short: its first entry, then a length past its end.
  const wchar_t truncated[] = {1, L'X', 0x7FFF, L'Y'};

  HANDLE update = ::BeginUpdateResourceW(copy.c_str(), FALSE);
  ASSERT_NE(update, nullptr);
  bool replaced = ReplaceBundle(update, russian, 463, kRussian) && ReplaceBundle(update, russian, 465, kRussian) &&
                  ReplaceBundle(update, ukrainian, 500, 1058) &&
                  ::UpdateResourceW(update, RT_STRING, MAKEINTRESOURCEW(32), 1036, const_cast<wchar_t*>(truncated),
                                    sizeof(truncated));
  ASSERT_TRUE(::EndUpdateResourceW(update, !replaced));
  ASSERT_TRUE(replaced);

  ScopedLibrary broken = LoadAsData(copy);
  ASSERT_TRUE(broken.IsValid());
  std::vector<std::string> planted;
  for (const std::string& problem : StringTableProblems(ReadStringTables(broken.Get()))) {
    if (!problems_before.count(problem)) planted.push_back(problem);
  }
  std::string expected;
  for (int id = 497; id <= 510; ++id) expected += "1036 id " + std::to_string(id) + ": missing\n";
  expected +=
      "1049 id 463: link markup differs from English\n"
      "1049 id 465: placeholders differ from English\n"
      "1058 id 500: missing\n"
      "1058 id 501: line feeds differ from English\n";
  EXPECT_EQ(JoinLines(planted), expected);
  EXPECT_EQ(LoadUiString(broken.Get(), 496, 1036), L"X");
}

}  // namespace
}  // namespace ostrel
