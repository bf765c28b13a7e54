// Test support for the window toolkit: images made in memory (so tests do
// not depend on the art), a visible host window, and pixel reads.
#ifndef UI_UI_TEST_UTIL_H_
#define UI_UI_TEST_UTIL_H_

#include <windows.h>
#include <shlwapi.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "base/scoped_gdi.h"
#include "base/scoped_handle.h"
#include "ui/dialog_base.h"
#include "ui/scaled_image.h"

namespace ostrel::testing {

// A top-down 32-bit BMP of `width` × `height` whose headers are followed by
// `pixel_bytes` zero bytes (fewer than the pixels need makes a picture whose
// headers are sound and whose pixels are not all there).
inline std::vector<uint8_t> Bmp32(int width, int height, size_t pixel_bytes) {
  std::vector<uint8_t> bmp(14 + 40 + pixel_bytes);
  BITMAPFILEHEADER file = {};
  file.bfType = 0x4D42;
  file.bfSize = static_cast<DWORD>(14 + 40 + static_cast<size_t>(width) * height * 4);
  file.bfOffBits = 14 + 40;
  BITMAPINFOHEADER info = {};
  info.biSize = 40;
  info.biWidth = width;
  info.biHeight = -height;
  info.biPlanes = 1;
  info.biBitCount = 32;
  info.biCompression = BI_RGB;
  std::memcpy(bmp.data(), &file, 14);
  std::memcpy(bmp.data() + 14, &info, 40);
  return bmp;
}

// An opaque strip of equal frames, each filled with its colour, as a BMP
// decoded by GDI+ with `factor`.
inline ScaledImage SolidStripImage(const std::vector<COLORREF>& frame_colours, int frame_width, int height,
                                   double factor = 1.0) {
  int width = frame_width * static_cast<int>(frame_colours.size());
  std::vector<uint8_t> bmp = Bmp32(width, height, static_cast<size_t>(width) * height * 4);
  auto* pixels = reinterpret_cast<uint32_t*>(bmp.data() + 54);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      COLORREF colour = frame_colours[x / frame_width];
      pixels[y * width + x] = 0xFF000000u | (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
    }
  }
  ScaledImage image;
  IStream* stream = ::SHCreateMemStream(bmp.data(), static_cast<UINT>(bmp.size()));
  if (stream) {
    image.LoadFromStream(stream, factor);
    stream->Release();
  }
  return image;
}

// A visible pop-up dialog-like host for controls; bound so that it reflects
// custom-draw and owner-draw messages to them.
class HostWindow : public DialogBase {
 public:
  HostWindow(int width, int height) {
    HWND window = ::CreateWindowExW(0, L"#32770", L"ui test", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 40, 40, width,
                                    height, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    Bind(window);
  }
  ~HostWindow() override {
    HWND window = this->window();
    Unbind();
    if (window) ::DestroyWindow(window);
  }

  HWND AddControl(const wchar_t* class_name, const wchar_t* text, DWORD style, int id, const RECT& rect) {
    return ::CreateWindowExW(0, class_name, text, WS_CHILD | WS_VISIBLE | style, rect.left, rect.top,
                             rect.right - rect.left, rect.bottom - rect.top, window(),
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr), nullptr);
  }
};

// Lets pending messages run and windows paint.
inline void PumpMessages(int rounds = 5) {
  for (int round = 0; round < rounds; ++round) {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
    ::Sleep(10);
  }
}

// What `window` shows at client point (x, y), read from its device context.
inline COLORREF WindowPixel(HWND window, int x, int y) {
  ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  PumpMessages(2);
  ScopedWindowDC dc(window);
  return ::GetPixel(dc.Get(), x, y);
}

}  // namespace ostrel::testing

#endif  // UI_UI_TEST_UTIL_H_
