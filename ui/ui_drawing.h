// Drawing helpers shared by the windows and controls: fonts, text blended
// over what is already drawn, double-buffered painting, and the part of a
// parent's background that lies under a child.
#ifndef UI_UI_DRAWING_H_
#define UI_UI_DRAWING_H_

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

#include "base/scoped_handle.h"

namespace ostrel {

class ScaledImage;

// A top-down 32-bit bitmap's header (a layered window's or a drawn
// picture's pixels).
BITMAPINFO TopDownBitmapInfo(int width, int height);

// A window's text (a control's label).
std::wstring WindowText(HWND window);

// `height` is the character height in device pixels (callers pass Scale(size)).
ScopedFont CreateUiFont(const wchar_t* face, int height, int weight, bool underline = false);

// The text drawn transparently over the rectangle's current content, then
// blended back with constant `alpha` (255: plain text). DT_WORDBREAK is added.
void DrawAlphaText(HDC dc, const RECT& rect, std::wstring_view text, HFONT font, COLORREF colour, BYTE alpha,
                   UINT format);

// Height of one line of `font` (DrawTextW DT_CALCRECT of a word).
int LineHeight(HDC dc, HFONT font);
int LineHeight(HFONT font);

// Width of `text` in `font` (GetTextExtentPoint32W).
int TextWidth(HDC dc, HFONT font, std::wstring_view text);

using PaintFunction = std::function<void(HDC dc, const RECT& rect)>;
// Paints into a compatible bitmap of `rect`, then one BitBlt to `dc`. Paints
// directly when no memory context can be made.
void PaintDoubleBuffered(HDC dc, const RECT& rect, const PaintFunction& paint);

// `child`'s window rectangle in its parent's client coordinates.
RECT ChildRectInParent(HWND child);

// Draws the part of `background` under `child` at (0, 0) of `dc`; `offset`
// is where the parent's client area starts in the image (device pixels).
void DrawParentBackground(HDC dc, HWND child, const ScaledImage& background, POINT offset = {0, 0});

}  // namespace ostrel

#endif  // UI_UI_DRAWING_H_
