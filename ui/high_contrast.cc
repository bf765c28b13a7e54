#include "ui/high_contrast.h"

#include <shlwapi.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "base/os_facts.h"
#include "base/scoped_gdi.h"
#include "base/scoped_handle.h"
#include "ui/ui_drawing.h"

namespace ostrel {
namespace {

COLORREF System(int index) { return ::GetSysColor(index); }

// `draw` paints into a `width`×`height` bitmap with GDI; the picture is that
// bitmap, opaque, at device size.
ScaledImage DrawnPicture(int width, int height, const std::function<void(HDC, const RECT&)>& draw) {
  if (width <= 0 || height <= 0) return ScaledImage();
  BITMAPINFO info = TopDownBitmapInfo(width, height);
  void* bits = nullptr;
  ScopedMemoryDC dc(::CreateCompatibleDC(nullptr));
  ScopedBitmap bitmap(::CreateDIBSection(dc.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!dc || !bitmap || !bits) return ScaledImage();
  {
    ScopedSelectObject selected(dc.Get(), bitmap.Get());
    RECT area = {0, 0, width, height};
    draw(dc.Get(), area);
    ::GdiFlush();
  }
  // A BMP file in memory: GDI leaves the alpha bytes at zero, so they are set.
  size_t pixels = static_cast<size_t>(width) * height;
  std::vector<uint8_t> file(sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER) + pixels * 4);
  BITMAPFILEHEADER header = {};
  header.bfType = 0x4D42;
  header.bfSize = static_cast<DWORD>(file.size());
  header.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  std::memcpy(file.data(), &header, sizeof(header));
  std::memcpy(file.data() + sizeof(header), &info.bmiHeader, sizeof(info.bmiHeader));
  auto* out = reinterpret_cast<uint32_t*>(file.data() + header.bfOffBits);
  const auto* in = static_cast<const uint32_t*>(bits);
  for (size_t i = 0; i < pixels; ++i) out[i] = in[i] | 0xFF000000u;
  ScopedComPtr<IStream> stream(::SHCreateMemStream(file.data(), static_cast<UINT>(file.size())));
  ScaledImage picture;
  if (stream) picture.LoadFromStream(stream.Get(), 1.0);
  return picture;
}

void Fill(HDC dc, const RECT& rect, COLORREF colour) {
  ScopedBrush brush(::CreateSolidBrush(colour));
  ::FillRect(dc, &rect, brush.Get());
}

void Frame(HDC dc, RECT rect, COLORREF colour, int thickness) {
  ScopedBrush brush(::CreateSolidBrush(colour));
  for (int i = 0; i < thickness; ++i) {
    ::FrameRect(dc, &rect, brush.Get());
    ::InflateRect(&rect, -1, -1);
  }
}

RECT FrameAt(int index, SIZE frame) {
  return {index * frame.cx, 0, (index + 1) * frame.cx, frame.cy};
}

}  // namespace

bool HighContrastOn() { return GetOsFacts().IsHighContrastOn(); }

ScaledImage PlainPicture(SIZE size) {
  return DrawnPicture(size.cx, size.cy, [](HDC dc, const RECT& area) { Fill(dc, area, System(COLOR_WINDOW)); });
}

ScaledImage ButtonStripPicture(SIZE frame) {
  return DrawnPicture(frame.cx * 3, frame.cy, [frame](HDC dc, const RECT& area) {
    Fill(dc, area, System(COLOR_WINDOW));
    for (int index = 0; index < 3; ++index) {
      RECT rect = FrameAt(index, frame);
      Fill(dc, rect, System(COLOR_BTNFACE));
      Frame(dc, rect, System(COLOR_WINDOWTEXT), index == 0 ? 1 : 3);
    }
  });
}

ScaledImage CheckBoxStripPicture(SIZE box) {
  return DrawnPicture(box.cx * 6, box.cy, [box](HDC dc, const RECT& area) {
    Fill(dc, area, System(COLOR_WINDOW));
    for (int index = 0; index < 6; ++index) {
      RECT rect = FrameAt(index, box);
      UINT state = DFCS_BUTTONCHECK | (index >= 3 ? DFCS_CHECKED : 0) | (index % 3 == 2 ? DFCS_PUSHED : 0) |
                   (index % 3 == 1 ? DFCS_HOT : 0);
      ::DrawFrameControl(dc, &rect, DFC_BUTTON, state);
    }
  });
}

ScaledImage CaptionStripPicture(SIZE frame, CaptionGlyph glyph, int frames) {
  return DrawnPicture(frame.cx * frames, frame.cy, [=](HDC dc, const RECT& area) {
    Fill(dc, area, System(COLOR_WINDOW));
    int thickness = std::max<int>(1, frame.cy / 10);
    ScopedGdiObject<HPEN> pen(::CreatePen(PS_SOLID, thickness, System(COLOR_WINDOWTEXT)));
    ScopedSelectObject selected(dc, pen.Get());
    for (int index = 0; index < frames; ++index) {
      RECT rect = FrameAt(index, frame);
      if (index > 0) Frame(dc, rect, System(COLOR_WINDOWTEXT), 1);
      int inset = frame.cx / 4;
      int left = rect.left + inset, right = rect.right - inset;
      int top = rect.top + frame.cy / 4, bottom = rect.bottom - frame.cy / 4;
      if (glyph == CaptionGlyph::kClose) {
        ::MoveToEx(dc, left, top, nullptr);
        ::LineTo(dc, right, bottom);
        ::MoveToEx(dc, right - 1, top, nullptr);
        ::LineTo(dc, left - 1, bottom);
      } else {
        int middle = (rect.top + rect.bottom) / 2;
        ::MoveToEx(dc, left, middle, nullptr);
        ::LineTo(dc, right, middle);
      }
    }
  });
}

ScaledImage BarPicture(SIZE size, int colour_index) {
  return DrawnPicture(size.cx, size.cy,
                      [colour_index](HDC dc, const RECT& area) { Fill(dc, area, System(colour_index)); });
}

ThemeColors HighContrastColors() {
  COLORREF text = System(COLOR_WINDOWTEXT);
  COLORREF link = System(COLOR_HOTLIGHT);
  return {text, 255, text, 255, text, 255, link, 255, text, 255, link, 255, System(COLOR_BTNTEXT)};
}

}  // namespace ostrel
