// Which face draws the window's texts in a given language. The product's own
// fonts ("KX Geo Regular", "KX Geo Medium", "KX Text") carry Latin and
// Cyrillic only; Chinese, Japanese and Korean texts take a face that every
// Windows installation of the supported versions has, so they never show
// boxes. Pure: no <windows.h>.
#ifndef UI_UI_FONT_FACES_H_
#define UI_UI_FONT_FACES_H_

#include <cstdint>
#include <string_view>

#include "base/windows_version.h"

namespace ostrel {

// The system face for a Windows language identifier whose script the
// product's fonts lack; empty when they cover it.
std::wstring_view CjkFaceNameForLanguage(uint16_t language_id, WindowsVersion windows_version);

// `product_face`, or the system face that replaces it for `language_id`.
std::wstring_view UiFontFaceName(std::wstring_view product_face, uint16_t language_id,
                                 WindowsVersion windows_version);

}  // namespace ostrel

#endif  // UI_UI_FONT_FACES_H_
