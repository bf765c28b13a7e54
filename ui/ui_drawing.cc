#include "ui/ui_drawing.h"

#include "ui/scaled_image.h"

namespace ostrel {
namespace {

// A memory context with a selected bitmap, restored and freed on scope exit.
class MemoryCanvas {
 public:
  MemoryCanvas(HDC reference, int width, int height)
      : dc_(::CreateCompatibleDC(reference)), bitmap_(::CreateCompatibleBitmap(reference, width, height)) {
    if (dc_ && bitmap_) previous_ = ::SelectObject(dc_, bitmap_.Get());
  }
  MemoryCanvas(const MemoryCanvas&) = delete;
  MemoryCanvas& operator=(const MemoryCanvas&) = delete;
  ~MemoryCanvas() {
    if (previous_) ::SelectObject(dc_, previous_);
    if (dc_) ::DeleteDC(dc_);
  }
  bool IsValid() const { return dc_ && bitmap_ && previous_; }
  HDC dc() const { return dc_; }

 private:
  HDC dc_;
  ScopedBitmap bitmap_;
  HGDIOBJ previous_ = nullptr;
};

}  // namespace

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
  HGDIOBJ old_font = font ? ::SelectObject(canvas.dc(), font) : nullptr;
  ::SetBkMode(canvas.dc(), TRANSPARENT);
  ::SetTextColor(canvas.dc(), colour);
  RECT local = {0, 0, width, height};
  ::DrawTextW(canvas.dc(), text.data(), static_cast<int>(text.size()), &local, format | DT_WORDBREAK);
  if (old_font) ::SelectObject(canvas.dc(), old_font);
  BLENDFUNCTION blend = {AC_SRC_OVER, 0, alpha, 0};
  ::AlphaBlend(dc, rect.left, rect.top, width, height, canvas.dc(), 0, 0, width, height, blend);
}

int LineHeight(HDC dc, HFONT font) {
  HGDIOBJ old_font = font ? ::SelectObject(dc, font) : nullptr;
  RECT rect = {0, 0, 0, 0};
  ::DrawTextW(dc, L"anything", -1, &rect, DT_CALCRECT);
  if (old_font) ::SelectObject(dc, old_font);
  return rect.bottom - rect.top;
}

int LineHeight(HFONT font) {
  HDC screen = ::GetDC(nullptr);
  if (!screen) return 0;
  int height = LineHeight(screen, font);
  ::ReleaseDC(nullptr, screen);
  return height;
}

int TextWidth(HDC dc, HFONT font, std::wstring_view text) {
  HGDIOBJ old_font = font ? ::SelectObject(dc, font) : nullptr;
  SIZE size = {0, 0};
  ::GetTextExtentPoint32W(dc, text.data(), static_cast<int>(text.size()), &size);
  if (old_font) ::SelectObject(dc, old_font);
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
