#include "ui/ui_font_faces.h"

namespace ostrel {
namespace {

// Primary languages and Chinese sub-languages of a language identifier
// (low 10 bits: primary language; high 6 bits: sub-language).
constexpr uint16_t kLangChinese = 0x04;
constexpr uint16_t kLangJapanese = 0x11;
constexpr uint16_t kLangKorean = 0x12;
constexpr uint16_t kSublangTaiwan = 0x01;
constexpr uint16_t kSublangHongKong = 0x03;
constexpr uint16_t kSublangMacau = 0x05;
constexpr uint16_t kSublangTraditionalNeutral = 0x1F;  // 0x7C04, "zh-Hant"

bool IsTraditionalChinese(uint16_t sub_language) {
  return sub_language == kSublangTaiwan || sub_language == kSublangHongKong ||
         sub_language == kSublangMacau || sub_language == kSublangTraditionalNeutral;
}

}  // namespace

// Every face below is part of the base installation from Windows 7 on, also
// on systems whose own language is another one. Japanese is the exception:
// from Windows 10 on Meiryo is an optional feature that only Japanese
// systems have, while Yu Gothic UI (Windows 8.1 and later) is always there;
// Windows 7 and 8 have Meiryo UI but no Yu Gothic.
std::wstring_view CjkFaceNameForLanguage(uint16_t language_id, WindowsVersion windows_version) {
  const uint16_t primary_language = language_id & 0x3FF;
  const uint16_t sub_language = language_id >> 10;
  switch (primary_language) {
    case kLangChinese:
      return IsTraditionalChinese(sub_language) ? L"Microsoft JhengHei" : L"Microsoft YaHei";
    case kLangJapanese:
      return windows_version >= VERSION_WIN8_1 ? L"Yu Gothic UI" : L"Meiryo UI";
    case kLangKorean:
      return L"Malgun Gothic";
    default:
      return {};
  }
}

std::wstring_view UiFontFaceName(std::wstring_view product_face, uint16_t language_id,
                                 WindowsVersion windows_version) {
  std::wstring_view system_face = CjkFaceNameForLanguage(language_id, windows_version);
  return system_face.empty() ? product_face : system_face;
}

}  // namespace ostrel
