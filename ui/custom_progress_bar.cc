#include "ui/custom_progress_bar.h"

#include <commctrl.h>

#include <algorithm>
#include <string>

#include "base/scoped_gdi.h"
#include "ui/ui_drawing.h"

namespace ostrel {

int FilledWidth(int client_width, int low, int high, int position) {
  if (high <= low || client_width <= 0) return 0;
  long long filled = static_cast<long long>(client_width) * (position - low) / (high - low);
  return static_cast<int>(std::clamp<long long>(filled, 0, client_width));
}

CustomProgressBar::CustomProgressBar(HWND progress_bar, const ScaledImage& fill, const ScaledImage& track,
                                     const ScaledImage* background)
    : fill_(fill), track_(track) {
  if (background) {
    has_background_ = true;
    background_ = *background;
  }
  Bind(progress_bar);
  // The wrapper sits on top of the sub-class and passes everything else on.
  accessible_.Reset(progress_bar, ROLE_SYSTEM_PROGRESSBAR, std::wstring());
}

CustomProgressBar::~CustomProgressBar() = default;

void CustomProgressBar::SetBackground(const ScaledImage& background) {
  has_background_ = true;
  background_ = background;
  ::InvalidateRect(window(), nullptr, FALSE);
}

bool CustomProgressBar::HandleMessage(HWND window, UINT message, WPARAM, LPARAM, LRESULT& result) {
  switch (message) {
    case WM_PAINT: {
      ScopedPaintDC paint(window);
      if (HDC dc = paint.Get()) {
        RECT client = {};
        ::GetClientRect(window, &client);
        if (has_background_) {
          PaintDoubleBuffered(dc, client, [this](HDC canvas, const RECT& rect) { Paint(canvas, rect); });
        } else {
          Paint(dc, client);
        }
      }
      result = 0;
      return true;
    }
    case WM_ERASEBKGND:
      result = 1;
      return true;
    case PBM_SETBARCOLOR:
    case CCM_SETBKCOLOR:
      result = 0;
      return true;
    default:
      return false;
  }
}

void CustomProgressBar::Paint(HDC dc, const RECT& client) {
  if (has_background_) DrawParentBackground(dc, window(), background_);
  PBRANGE range = {};
  ::SendMessageW(window(), PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
  int position = GetPos();
  int width = client.right - client.left;
  int height = client.bottom - client.top;
  int filled = FilledWidth(width, range.iLow, range.iHigh, position);
  if (filled > 0) fill_.Draw(dc, 0, 0, filled, height, 0, 0, filled, height);
  if (filled < width) track_.Draw(dc, filled, 0, width - filled, height, filled, 0, width - filled, height);
}

void CustomProgressBar::SetRange(int low, int high) {
  ::SendMessageW(window(), PBM_SETRANGE, 0, MAKELPARAM(low, high));
}

void CustomProgressBar::SetPos(int position) {
  ::SendMessageW(window(), PBM_SETPOS, position, 0);
  if (accessible_) accessible_->set_value(std::to_wstring(position) + L"%");
  ::NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, window(), OBJID_CLIENT, CHILDID_SELF);
}

int CustomProgressBar::GetPos() const { return static_cast<int>(::SendMessageW(window(), PBM_GETPOS, 0, 0)); }

}  // namespace ostrel
