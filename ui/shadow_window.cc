#include "ui/shadow_window.h"

#include <cstring>
#include <functional>

#include "base/os_facts.h"
#include "base/scoped_gdi.h"
#include "ui/ui_drawing.h"
#include "ui/ui_scale.h"

namespace ostrel {
namespace {

constexpr int kMainShadowMargin = 8;

// A top-down 32-bit premultiplied DIB in a memory context.
class LayeredCanvas {
 public:
  LayeredCanvas(int width, int height)
      : width_(width),
        height_(height),
        dc_(CreateScreenCompatibleDC()),
        bitmap_(CreateTopDownDib(dc_.Get(), width, height, &bits_)),
        selection_(dc_.Get(), bitmap_.Get()) {
    if (selection_.selected()) std::memset(bits_, 0, static_cast<size_t>(width) * height * 4);
  }
  LayeredCanvas(const LayeredCanvas&) = delete;
  LayeredCanvas& operator=(const LayeredCanvas&) = delete;

  bool IsValid() const { return selection_.selected(); }
  HDC dc() const { return dc_.Get(); }
  PixelCanvas pixels() const { return {bits_, width_, height_}; }
  void Clear(const RECT& rect) {
    auto* pixels = static_cast<uint32_t*>(bits_);
    for (int y = std::max<int>(rect.top, 0); y < std::min<int>(rect.bottom, height_); ++y) {
      for (int x = std::max<int>(rect.left, 0); x < std::min<int>(rect.right, width_); ++x)
        pixels[y * width_ + x] = 0;
    }
  }
  void UpdateLayered(HWND window) {
    SIZE size = {width_, height_};
    POINT source = {0, 0};
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    ::UpdateLayeredWindow(window, nullptr, nullptr, &size, dc_.Get(), &source, 0, &blend, ULW_ALPHA);
  }

 private:
  static HDC CreateScreenCompatibleDC() {
    ScopedWindowDC screen(nullptr);
    return ::CreateCompatibleDC(screen.Get());
  }
  static HBITMAP CreateTopDownDib(HDC dc, int width, int height, void** bits) {
    BITMAPINFO info = TopDownBitmapInfo(width, height);
    return ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, bits, nullptr, 0);
  }

  int width_;
  int height_;
  void* bits_ = nullptr;
  // Released in reverse: the selection, the bitmap, the context.
  ScopedMemoryDC dc_;
  ScopedBitmap bitmap_;
  ScopedSelectObject selection_;
};

void DrawStretched(const PixelCanvas& canvas, const ScaledImage& image, const RECT& rect) {
  image.Draw(canvas, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, 0, 0, image.Width(),
             image.Height());
}

}  // namespace

std::array<RECT, 8> MainShadowRects(int w, int h, int m, int i) {
  int shadow_width = w + 2 * m;
  int shadow_height = h + 2 * m;
  int c = 2 * m + i;
  return {{
      {0, 0, c, c},
      {w - i, 0, shadow_width, c},
      {w - i, h - i, shadow_width, shadow_height},
      {0, h - i, c, shadow_height},
      {c, 0, w - i, m + i},
      {m + w - i, c, shadow_width, h - i},
      {c, m + h - i, w - i, shadow_height},
      {0, c, m + i, h - i},
  }};
}

MainWindowShadow::MainWindowShadow(const std::array<ImagePair, 8>& images, int inset)
    : image_pairs_(images), inset_(inset) {}

MainWindowShadow::~MainWindowShadow() = default;

bool MainWindowShadow::Create(HWND owner) {
  owner_ = owner;
  if (CurrentWindowsVersion() < VERSION_WIN8) return false;
  shadow_.Reset(::CreateWindowExW(WS_EX_LAYERED, L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, owner, nullptr,
                                  ::GetModuleHandleW(nullptr), nullptr));
  if (!shadow_) return false;
  for (size_t index = 0; index < images_.size(); ++index) images_[index].Load(image_pairs_[index]);
  return true;
}

void MainWindowShadow::Update(const ScaledImage& window_image) {
  if (!shadow_ || !owner_) return;
  RECT owner_rect = {};
  ::GetWindowRect(owner_, &owner_rect);
  int w = owner_rect.right - owner_rect.left;
  int h = owner_rect.bottom - owner_rect.top;
  int m = Scale(kMainShadowMargin);
  int i = Scale(inset_);
  LayeredCanvas canvas(w + 2 * m, h + 2 * m);
  if (!canvas.IsValid()) return;
  std::array<RECT, 8> rects = MainShadowRects(w, h, m, i);
  for (size_t index = 0; index < rects.size(); ++index) DrawStretched(canvas.pixels(), images_[index], rects[index]);
  // The window's own picture along its edges, where rounded corners leave
  // the shadow visible.
  int t = m - m / 2;
  auto band = [&](int x, int y, int band_width, int band_height) {
    if (band_width <= 0 || band_height <= 0) return;
    canvas.Clear({m + x, m + y, m + x + band_width, m + y + band_height});
    window_image.Draw(canvas.pixels(), m + x, m + y, band_width, band_height, x, y, band_width, band_height);
  };
  band(0, 0, w, t);
  band(0, h - t, w, t);
  band(0, t, t, h - 2 * t);
  band(w - t, t, t, h - 2 * t);
  canvas.UpdateLayered(shadow_.Get());
  Move();
}

void MainWindowShadow::Move() {
  if (!shadow_ || !owner_) return;
  RECT rect = {};
  ::GetWindowRect(owner_, &rect);
  int m = Scale(kMainShadowMargin);
  ::SetWindowPos(shadow_.Get(), owner_, rect.left - m, rect.top - m, 0, 0,
                 SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
}

void MainWindowShadow::Show() {
  if (shadow_ && ::IsWindowVisible(owner_) && !::IsIconic(owner_)) ::ShowWindow(shadow_.Get(), SW_SHOWNOACTIVATE);
}

void MainWindowShadow::Hide() {
  if (shadow_) ::ShowWindow(shadow_.Get(), SW_HIDE);
}

bool DialogShadow::Create(HWND dialog, const ScaledImage& shadow_image, const RECT& margins) {
  dialog_ = dialog;
  margins_ = margins;
  int bits = 0;
  {
    ScopedWindowDC screen(nullptr);
    if (screen.Get()) bits = ::GetDeviceCaps(screen.Get(), BITSPIXEL) * ::GetDeviceCaps(screen.Get(), PLANES);
  }
  if (bits < 32 || shadow_image.IsEmpty()) return false;
  RECT rect = {};
  ::GetWindowRect(dialog, &rect);
  int width = rect.right - rect.left + margins.left + margins.right;
  int height = rect.bottom - rect.top + margins.top + margins.bottom;
  shadow_.Reset(::CreateWindowExW(WS_EX_NOACTIVATE | WS_EX_LAYERED | WS_EX_TRANSPARENT, L"STATIC", L"", WS_POPUP,
                                  rect.left - margins.left, rect.top - margins.top, width, height, dialog, nullptr,
                                  ::GetModuleHandleW(nullptr), nullptr));
  if (!shadow_) return false;
  LayeredCanvas canvas(width, height);
  if (!canvas.IsValid()) return false;
  int half_width = shadow_image.Width() / 2;
  int half_height = shadow_image.Height() / 2;
  int right_width = shadow_image.Width() - half_width;
  int bottom_height = shadow_image.Height() - half_height;
  HDC dc = canvas.dc();
  PixelCanvas pixels = canvas.pixels();
  shadow_image.Draw(pixels, 0, 0, half_width, half_height, 0, 0, half_width, half_height);
  shadow_image.Draw(pixels, width - right_width, 0, right_width, half_height, half_width, 0, right_width, half_height);
  shadow_image.Draw(pixels, 0, height - bottom_height, half_width, bottom_height, 0, half_height, half_width,
                    bottom_height);
  shadow_image.Draw(pixels, width - right_width, height - bottom_height, right_width, bottom_height, half_width,
                    half_height, right_width, bottom_height);
  canvas.Clear({margins.left, margins.top, width - margins.right, height - margins.bottom});
  ::SetLayout(dc, LAYOUT_RTL);
  canvas.UpdateLayered(shadow_.Get());
  ::SetWindowPos(shadow_.Get(), dialog, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  ::ShowWindow(shadow_.Get(), SW_SHOWNOACTIVATE);
  return true;
}

void DialogShadow::Move() {
  if (!shadow_) return;
  RECT rect = {};
  ::GetWindowRect(dialog_, &rect);
  ::SetWindowPos(shadow_.Get(), nullptr, rect.left - margins_.left, rect.top - margins_.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::array<RECT, 8> FramedShadowRects(int w, int h, int m, int c) {
  int sw = w + 2 * m;
  int sh = h + 2 * m;
  return {{
      {0, 0, c, c},
      {sw - c, 0, sw, c},
      {sw - c, sh - c, sw, sh},
      {0, sh - c, c, sh},
      {c, 0, sw - c, m},
      {sw - m, c, sw, sh - c},
      {c, sh - m, sw - c, sh},
      {0, c, m, sh - c},
  }};
}

bool FramedShadow::Create(HWND window, const Images& images, int margin, int corner) {
  owner_window_ = window;
  margin_ = margin;
  RECT rect = {};
  ::GetWindowRect(window, &rect);
  int w = rect.right - rect.left;
  int h = rect.bottom - rect.top;
  // Owned by the window's owner, not the window, so it may stay below it.
  shadow_.Reset(::CreateWindowExW(WS_EX_NOACTIVATE | WS_EX_LAYERED | WS_EX_TRANSPARENT, L"STATIC", L"", WS_POPUP,
                                  rect.left - margin, rect.top - margin, w + 2 * margin, h + 2 * margin,
                                  ::GetWindow(window, GW_OWNER), nullptr, ::GetModuleHandleW(nullptr), nullptr));
  if (!shadow_) return false;
  LayeredCanvas canvas(w + 2 * margin, h + 2 * margin);
  if (!canvas.IsValid()) return false;
  std::array<RECT, 8> rects = FramedShadowRects(w, h, margin, corner);
  for (size_t index = 0; index < rects.size(); ++index) DrawStretched(canvas.pixels(), images[index], rects[index]);
  canvas.UpdateLayered(shadow_.Get());
  ::SetWindowPos(shadow_.Get(), window, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  ::ShowWindow(shadow_.Get(), SW_SHOWNOACTIVATE);
  return true;
}

void FramedShadow::Move() {
  if (!shadow_) return;
  RECT rect = {};
  ::GetWindowRect(owner_window_, &rect);
  ::SetWindowPos(shadow_.Get(), owner_window_, rect.left - margin_, rect.top - margin_, 0, 0,
                 SWP_NOSIZE | SWP_NOACTIVATE);
}

}  // namespace ostrel
