#include "ui/ui_drawing.h"

#include "base/scoped_gdi.h"
#include "ui/scaled_image.h"

namespace ostrel {
namespace {

// A memory context with a selected 32-bit bitmap, restored and freed on
// scope exit (members go in reverse: the selection, the bitmap, the context).
// A section of our own, not a bitmap compatible with the screen: making and
// selecting that one asks the display driver each time, which cost more than
// the small paints it serves.
class MemoryCanvas {
 public:
  MemoryCanvas(HDC reference, int width, int height)
      : dc_(::CreateCompatibleDC(reference)),
        bitmap_(CreateCanvasBitmap(dc_.Get(), width, height)),
        selection_(dc_.Get(), bitmap_.Get()) {}
  bool IsValid() const { return dc_ && bitmap_ && selection_.selected(); }
  HDC dc() const { return dc_.Get(); }

 private:
  static HBITMAP CreateCanvasBitmap(HDC dc, int width, int height) {
    if (!dc) return nullptr;
    BITMAPINFO info = TopDownBitmapInfo(width, height);
    void* bits = nullptr;
    return ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  }

  ScopedMemoryDC dc_;
  ScopedBitmap bitmap_;
  ScopedSelectObject selection_;
};

}  // namespace

BITMAPINFO TopDownBitmapInfo(int width, int height) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

std::wstring WindowText(HWND window) {
  int length = ::GetWindowTextLengthW(window);
  std::wstring text(length + 1, L'\0');
  text.resize(::GetWindowTextW(window, text.data(), length + 1));
  return text;
}

ScopedFont CreateUiFont(const wchar_t* face, int height, int weight, bool underline) {
  return ScopedFont(::CreateFontW(-height, 0, 0, 0, weight, FALSE, underline ? TRUE : FALSE, FALSE, DEFAULT_CHARSET,
                                  OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, face));
}

void DrawAlphaText(HDC dc, const RECT& rect, std::wstring_view text, HFONT font, COLORREF colour, BYTE alpha,
                   UINT format) {
  int width = rect.right - rect.left;
  int height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0 || text.empty()) return;
  MemoryCanvas canvas(dc, width, height);
  if (!canvas.IsValid()) return;
  ::BitBlt(canvas.dc(), 0, 0, width, height, dc, rect.left, rect.top, SRCCOPY);
  {
    ScopedSelectObject selected_font(canvas.dc(), font);
    ::SetBkMode(canvas.dc(), TRANSPARENT);
    ::SetTextColor(canvas.dc(), colour);
    RECT local = {0, 0, width, height};
    ::DrawTextW(canvas.dc(), text.data(), static_cast<int>(text.size()), &local, format | DT_WORDBREAK);
  }
  BLENDFUNCTION blend = {AC_SRC_OVER, 0, alpha, 0};
  ::AlphaBlend(dc, rect.left, rect.top, width, height, canvas.dc(), 0, 0, width, height, blend);
}

int LineHeight(HDC dc, HFONT font) {
  ScopedSelectObject selected_font(dc, font);
  RECT rect = {0, 0, 0, 0};
  ::DrawTextW(dc, L"anything", -1, &rect, DT_CALCRECT);
  return rect.bottom - rect.top;
}

int LineHeight(HFONT font) {
  ScopedWindowDC screen(nullptr);
  return screen.Get() ? LineHeight(screen.Get(), font) : 0;
}

int TextWidth(HDC dc, HFONT font, std::wstring_view text) {
  ScopedSelectObject selected_font(dc, font);
  SIZE size = {0, 0};
  ::GetTextExtentPoint32W(dc, text.data(), static_cast<int>(text.size()), &size);
  return size.cx;
}

void PaintDoubleBuffered(HDC dc, const RECT& rect, const PaintFunction& paint) {
  int width = rect.right - rect.left;
  int height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return;
  MemoryCanvas canvas(dc, width, height);
  if (!canvas.IsValid()) {
    paint(dc, rect);
    return;
  }
  ::SetViewportOrgEx(canvas.dc(), -rect.left, -rect.top, nullptr);
  paint(canvas.dc(), rect);
  ::SetViewportOrgEx(canvas.dc(), 0, 0, nullptr);
  ::BitBlt(dc, rect.left, rect.top, width, height, canvas.dc(), 0, 0, SRCCOPY);
}

RECT ChildRectInParent(HWND child) {
  RECT rect = {};
  ::GetWindowRect(child, &rect);
  ::MapWindowPoints(HWND_DESKTOP, ::GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

void DrawParentBackground(HDC dc, HWND child, const ScaledImage& background, POINT offset) {
  if (background.IsEmpty()) return;
  RECT rect = ChildRectInParent(child);
  int width = rect.right - rect.left;
  int height = rect.bottom - rect.top;
  background.Draw(dc, 0, 0, width, height, rect.left + offset.x, rect.top + offset.y, width, height);
}

}  // namespace ostrel
