// Scoped owners for the paired GDI calls that are not handles: a device
// context borrowed from a window, one lent for painting, and an object
// selected into a context. Each undoes its call on destruction, in reverse
// order of construction when nested.
#ifndef BASE_SCOPED_GDI_H_
#define BASE_SCOPED_GDI_H_

#include <windows.h>

#include "base/scoped_handle.h"

namespace ostrel {

// GetDC/ReleaseDC: a window's client-area context, or the screen's for a
// null window. Get() is null when none was given.
class ScopedWindowDC {
 public:
  explicit ScopedWindowDC(HWND window) : window_(window), dc_(::GetDC(window)) {}
  ScopedWindowDC(const ScopedWindowDC&) = delete;
  ScopedWindowDC& operator=(const ScopedWindowDC&) = delete;
  ~ScopedWindowDC() {
    if (dc_) ::ReleaseDC(window_, dc_);
  }

  HDC Get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// BeginPaint/EndPaint for WM_PAINT. EndPaint is owed even when BeginPaint
// gave no context: it validates the update region either way.
class ScopedPaintDC {
 public:
  explicit ScopedPaintDC(HWND window) : window_(window), dc_(::BeginPaint(window, &paint_)) {}
  ScopedPaintDC(const ScopedPaintDC&) = delete;
  ScopedPaintDC& operator=(const ScopedPaintDC&) = delete;
  ~ScopedPaintDC() { ::EndPaint(window_, &paint_); }

  HDC Get() const { return dc_; }
  const RECT& update_rect() const { return paint_.rcPaint; }

 private:
  HWND window_;
  PAINTSTRUCT paint_ = {};
  HDC dc_;
};

// SelectObject, then the previous object back. A null object (a control
// without its own font, say) selects nothing and restores nothing.
class ScopedSelectObject {
 public:
  ScopedSelectObject(HDC dc, HGDIOBJ object)
      : dc_(dc), previous_(dc && object ? ::SelectObject(dc, object) : nullptr) {}
  ScopedSelectObject(const ScopedSelectObject&) = delete;
  ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;
  ~ScopedSelectObject() {
    if (selected()) ::SelectObject(dc_, previous_);
  }

  bool selected() const { return previous_ && previous_ != HGDI_ERROR; }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// Memory device contexts from CreateCompatibleDC.
struct MemoryDCTraits {
  using Handle = HDC;
  static Handle InvalidValue() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static bool Close(Handle h) { return ::DeleteDC(h) != FALSE; }
};
using ScopedMemoryDC = ScopedGeneric<MemoryDCTraits>;

}  // namespace ostrel

#endif  // BASE_SCOPED_GDI_H_
