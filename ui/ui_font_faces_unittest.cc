#include "ui/ui_font_faces.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>

#include "base/scoped_gdi.h"
#include "base/scoped_handle.h"
#include "resources/resource_ids.h"
#endif

namespace ostrel {
namespace {

TEST(UiFontFacesTest, OnlyChineseJapaneseAndKoreanLeaveTheProductFaces) {
  EXPECT_EQ(CjkFaceNameForLanguage(2052, VERSION_WIN10), L"Microsoft YaHei");     // zh-CN
  EXPECT_EQ(CjkFaceNameForLanguage(4100, VERSION_WIN10), L"Microsoft YaHei");     // zh-SG
  EXPECT_EQ(CjkFaceNameForLanguage(1028, VERSION_WIN10), L"Microsoft JhengHei");  // zh-TW
  EXPECT_EQ(CjkFaceNameForLanguage(3076, VERSION_WIN7), L"Microsoft JhengHei");   // zh-HK
  EXPECT_EQ(CjkFaceNameForLanguage(0x7C04, VERSION_WIN7), L"Microsoft JhengHei");  // zh-Hant
  // Yu Gothic UI only from Windows 8.1 on; Meiryo UI before.
  EXPECT_EQ(CjkFaceNameForLanguage(1041, VERSION_WIN8), L"Meiryo UI");
  EXPECT_EQ(CjkFaceNameForLanguage(1041, VERSION_WIN8_1), L"Yu Gothic UI");
  EXPECT_EQ(CjkFaceNameForLanguage(1042, VERSION_WIN11), L"Malgun Gothic");

  // The Latin and Cyrillic interface languages, English first.
  for (uint16_t language : {1033, 1029, 1031, 1036, 1040, 1046, 1049, 1055, 1058, 1087, 1091, 2070, 3082}) {
    EXPECT_EQ(UiFontFaceName(L"KX Text", language, VERSION_WIN10), L"KX Text") << language;
  }
  EXPECT_EQ(UiFontFaceName(L"KX Geo Medium", 2052, VERSION_WIN10), L"Microsoft YaHei");
}

#if defined(_WIN32)

// What the window draws in the product's faces besides the string tables'
// texts: the progress status's percentage and the statistics label's added
// full stop (tools/ui_fonts.py keeps exactly these and the tables' glyphs).
constexpr wchar_t kComposedText[] = L"0123456789 %.";

// "You can install Tarvik Browser now" in simplified and traditional
// Chinese, Japanese and Korean.
constexpr wchar_t kSimplifiedChineseSample[] = L"\u60A8\u73B0\u5728\u53EF\u4EE5\u5B89\u88C5 Tarvik \u6D4F\u89C8\u5668";
constexpr wchar_t kTraditionalChineseSample[] = L"\u60A8\u73FE\u5728\u53EF\u4EE5\u5B89\u88DD Tarvik \u700F\u89BD\u5668";
constexpr wchar_t kJapaneseSample[] =
    L"Tarvik \u30D6\u30E9\u30A6\u30B6\u30FC\u3092\u4ECA\u3059\u3050\u30A4\u30F3\u30B9\u30C8\u30FC\u30EB\u3067\u304D\u307E\u3059\u3002";
constexpr wchar_t kKoreanSample[] = L"\uC9C0\uAE08 Tarvik \uBE0C\uB77C\uC6B0\uC800\uB97C \uC124\uCE58\uD560 \uC218 \uC788\uC2B5\uB2C8\uB2E4";

struct ScopedMemoryFont {
  HANDLE handle = nullptr;
  ~ScopedMemoryFont() {
    if (handle) ::RemoveFontMemResourceEx(handle);
  }
};

struct SelectedFace {
  std::wstring face;
  LONG weight = 0;
  // Characters of the text the face has no glyph for.
  std::wstring missing;
};

SelectedFace SelectFace(const std::wstring& face, LONG weight, const std::wstring& text, int height = 13) {
  ScopedMemoryDC memory(::CreateCompatibleDC(nullptr));
  HDC dc = memory.Get();
  ScopedFont font(::CreateFontW(-height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, face.c_str()));
  ScopedSelectObject selected_font(dc, font.Get());
  SelectedFace selected;
  wchar_t name[LF_FACESIZE] = {};
  ::GetTextFaceW(dc, LF_FACESIZE, name);
  selected.face = name;
  TEXTMETRICW metrics = {};
  ::GetTextMetricsW(dc, &metrics);
  selected.weight = metrics.tmWeight;
  std::vector<WORD> glyphs(text.size());
  ::GetGlyphIndicesW(dc, text.c_str(), static_cast<int>(text.size()), glyphs.data(),
                     GGI_MARK_NONEXISTING_GLYPHS);
  for (size_t i = 0; i < text.size(); ++i) {
    if (glyphs[i] == 0xFFFF && text[i] != L'\n') selected.missing += text[i];
  }
  return selected;
}

std::wstring CodePoints(const std::wstring& text) {
  std::wstring out;
  for (wchar_t c : text) {
    wchar_t code[8];
    swprintf(code, 8, L"U+%04X ", static_cast<unsigned>(c));
    out += code;
  }
  return out;
}

// Every text of one language's string table (ids 400 to 510) in this
// executable's resources, joined; empty when the table is not carried.
std::wstring StringTableText(uint16_t language_id) {
  std::wstring all;
  for (int bundle = 400 / 16 + 1; bundle <= 510 / 16 + 1; ++bundle) {
    HRSRC resource = ::FindResourceExW(nullptr, RT_STRING, MAKEINTRESOURCEW(bundle), language_id);
    if (!resource) continue;
    HGLOBAL loaded = ::LoadResource(nullptr, resource);
    const WORD* entry = loaded ? static_cast<const WORD*>(::LockResource(loaded)) : nullptr;
    if (!entry) continue;
    for (int i = 0; i < 16; ++i) {
      all.append(reinterpret_cast<const wchar_t*>(entry + 1), *entry);
      entry += 1 + *entry;
    }
  }
  return all;
}

// The three fonts the window asks for by name come from the executable's
// resources: none is known before they are added, each then answers to its
// exact face name with its weight and has a glyph for every character of the
// Latin and Cyrillic string tables and of the texts the window composes.
TEST(UiFontFacesTest, ProductFontsResolveToTheirMemoryCopies) {
  struct ProductFont {
    int resource_id;
    const wchar_t* face;
    LONG weight;
  };
  const ProductFont fonts[] = {{IDR_FONT_GEO_REGULAR, L"KX Geo Regular", FW_NORMAL},
                               {IDR_FONT_GEO_MEDIUM, L"KX Geo Medium", FW_MEDIUM},
                               {IDR_FONT_TEXT, L"KX Text", FW_NORMAL}};
  std::wstring texts = kComposedText;
  for (uint16_t language : {1033, 1029, 1031, 1036, 1040, 1046, 1049, 1055, 1058, 1087, 1091, 2070, 3082}) {
    texts += StringTableText(language);
  }

  ScopedMemoryFont added[3];
  for (int i = 0; i < 3; ++i) {
    const ProductFont& font = fonts[i];
    // Another size than below: Wine keeps the face it chose for a font
    // description even after fonts are added, Windows does not.
    EXPECT_NE(SelectFace(font.face, font.weight, L"a", 9).face, font.face) << "known before it was added";
    HRSRC resource = ::FindResourceW(nullptr, MAKEINTRESOURCEW(font.resource_id), RT_FONT);
    ASSERT_NE(resource, nullptr) << font.resource_id;
    HGLOBAL loaded = ::LoadResource(nullptr, resource);
    ASSERT_NE(loaded, nullptr);
    DWORD count = 0;
    added[i].handle = ::AddFontMemResourceEx(::LockResource(loaded), ::SizeofResource(nullptr, resource),
                                             nullptr, &count);
    ASSERT_NE(added[i].handle, nullptr) << font.resource_id;
    EXPECT_EQ(count, 1u);
  }
  for (const ProductFont& font : fonts) {
    SelectedFace selected = SelectFace(font.face, font.weight, texts);
    EXPECT_EQ(selected.face, font.face);
    EXPECT_EQ(selected.weight, font.weight) << font.face;
    EXPECT_EQ(CodePoints(selected.missing), L"") << font.face;
  }
}

// The system faces chosen for Chinese, Japanese and Korean have their
// glyphs (under Wine the test set-up maps these names to a CJK font).
TEST(UiFontFacesTest, ChineseJapaneseAndKoreanTextsDrawWithoutBoxes) {
  struct Case {
    uint16_t language_id;
    WindowsVersion windows_version;
    std::wstring text;
  };
  const Case cases[] = {
      {2052, VERSION_WIN10, kSimplifiedChineseSample + StringTableText(2052)},
      {1028, VERSION_WIN10, kTraditionalChineseSample + StringTableText(1028)},
      {1041, VERSION_WIN10, kJapaneseSample + StringTableText(1041)},
      {1041, VERSION_WIN7, kJapaneseSample + StringTableText(1041)},
      {1042, VERSION_WIN10, kKoreanSample},
  };
  for (const Case& c : cases) {
    std::wstring face(CjkFaceNameForLanguage(c.language_id, c.windows_version));
    SelectedFace selected = SelectFace(face, FW_MEDIUM, c.text);
    EXPECT_EQ(selected.face, face);
    EXPECT_EQ(CodePoints(selected.missing), L"") << face;
  }
}

#endif  // defined(_WIN32)

}  // namespace
}  // namespace ostrel
