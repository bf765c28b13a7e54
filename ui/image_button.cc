#include "ui/image_button.h"

#include <commctrl.h>

#include <string>

#include "base/scoped_gdi.h"
#include "ui/ui_drawing.h"

namespace ostrel {
ImageButton::ImageButton(HWND button, const ScaledImage& strip, const ScaledImage& parent_background,
                         const ImageButtonStyle& style)
    : strip_(strip), background_(parent_background), style_(style) {
  Bind(button);
}

ImageButton::~ImageButton() = default;

SIZE ImageButton::ImageSize() const { return {strip_.Width() / 3, strip_.Height()}; }

void ImageButton::PlaceAt(POINT origin) {
  SIZE size = ImageSize();
  ::SetWindowPos(window(), nullptr, origin.x, origin.y, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
}

void ImageButton::SetBackground(const ScaledImage& background) {
  background_ = background;
  ::InvalidateRect(window(), nullptr, FALSE);
}

bool ImageButton::HandleMessage(HWND, UINT message, WPARAM, LPARAM lparam, LRESULT& result) {
  if (message != WM_NOTIFY) return false;
  auto* draw = reinterpret_cast<NMCUSTOMDRAW*>(lparam);
  if (draw->dwDrawStage != CDDS_PREERASE) {
    result = CDRF_DODEFAULT;
    return draw->dwDrawStage == CDDS_PREPAINT;
  }
  if ((draw->uItemState & CDIS_SHOWKEYBOARDCUES) && !(draw->uItemState & CDIS_FOCUS)) focus_cue_ = true;
  Paint(draw->hdc, draw->uItemState);
  result = CDRF_SKIPDEFAULT;
  return true;
}

bool ImageButton::GetTextLayout(TextLayout* layout) const {
  layout->text = WindowText(window());
  RECT client = {};
  ::GetClientRect(window(), &client);
  layout->area = {client.left + style_.text_insets.left, client.top + style_.text_insets.top,
                  client.right - style_.text_insets.right, client.bottom - style_.text_insets.bottom};
  layout->font = style_.font;
  layout->format = DT_SINGLELINE | DT_VCENTER | DT_CENTER;
  return true;
}

void ImageButton::Paint(HDC dc, UINT item_state) {
  RECT client = {};
  ::GetClientRect(window(), &client);
  int frame = (item_state & CDIS_SELECTED) ? kPressed : (item_state & CDIS_HOT) ? kHot : kNormal;
  bool pressed = frame == kPressed;
  bool focused = (item_state & CDIS_FOCUS) != 0;
  PaintDoubleBuffered(dc, client, [&](HDC canvas, const RECT& rect) {
    DrawBackground(canvas, rect);
    DrawFrame(canvas, rect, frame);
    std::wstring text = WindowText(window());
    if (!text.empty()) {
      RECT text_rect = {rect.left + style_.text_insets.left, rect.top + style_.text_insets.top,
                        rect.right - style_.text_insets.right, rect.bottom - style_.text_insets.bottom};
      if (pressed) ::OffsetRect(&text_rect, style_.pressed_text_offset.x, style_.pressed_text_offset.y);
      ScopedSelectObject selected_font(canvas, style_.font);
      ::SetBkMode(canvas, TRANSPARENT);
      ::SetTextColor(canvas, style_.text_colour);
      ::DrawTextW(canvas, text.c_str(), static_cast<int>(text.size()), &text_rect,
                  DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    }
    if (focused && focus_cue_) {
      RECT focus = rect;
      ::InflateRect(&focus, -style_.focus_rect_inset, -style_.focus_rect_inset);
      ::DrawFocusRect(canvas, &focus);
    }
  });
}

void ImageButton::DrawBackground(HDC dc, const RECT&) {
  DrawParentBackground(dc, window(), background_, style_.background_offset);
}

void ImageButton::DrawFrame(HDC dc, const RECT& client, int frame) {
  int frame_width = strip_.Width() / 3;
  strip_.Draw(dc, 0, 0, client.right, client.bottom, frame_width * frame, 0, frame_width, strip_.Height());
}

std::array<Slice, 3> StretchButtonSlices(int frame_width, int strip_height, int cap, int frame, int width,
                                         int height) {
  int x0 = frame_width * frame;
  double ratio = strip_height > 0 ? static_cast<double>(height) / strip_height : 0.0;
  int scaled_cap = static_cast<int>(cap * ratio);
  return {{
      {{x0, 0, cap, strip_height}, {0, 0, scaled_cap, height}},
      {{x0 + frame_width - cap, 0, cap, strip_height},
       {static_cast<int>(width - cap * ratio - 1), 0, static_cast<int>(cap * ratio + 2), height}},
      {{x0 + cap, 0, frame_width - 2 * cap, strip_height},
       {scaled_cap - 1, 0, static_cast<int>(width - 2 * cap * ratio) + 2, height}},
  }};
}

StretchButton::StretchButton(HWND button, const ScaledImage& strip, const ScaledImage& parent_background,
                             const ImageButtonStyle& style, int cap_width, RECT background_margins)
    : ImageButton(button, strip, parent_background, style),
      cap_width_(cap_width),
      background_margins_(background_margins) {}

void StretchButton::DrawBackground(HDC dc, const RECT& client) {
  const ScaledImage& image = background();
  if (image.IsEmpty()) return;
  HWND parent = ::GetParent(window());
  RECT parent_rect = {};
  ::GetClientRect(parent, &parent_rect);
  int parent_width = parent_rect.right - background_margins_.left - background_margins_.right;
  int parent_height = parent_rect.bottom - background_margins_.top - background_margins_.bottom;
  if (parent_width <= 0 || parent_height <= 0) return;
  RECT rect = ChildRectInParent(window());
  double x_ratio = static_cast<double>(image.Width()) / parent_width;
  double y_ratio = static_cast<double>(image.Height()) / parent_height;
  image.Draw(dc, 0, 0, client.right, client.bottom, static_cast<int>((rect.left - background_margins_.left) * x_ratio),
             static_cast<int>((rect.top - background_margins_.top) * y_ratio),
             static_cast<int>(client.right * x_ratio), static_cast<int>(client.bottom * y_ratio));
}

void StretchButton::DrawFrame(HDC dc, const RECT& client, int frame) {
  // The middle goes first, a pixel wider on each side: the stretched edge
  // columns blend with what is below them, and the caps drawn over them hide
  // the seam that would show there.
  std::array<Slice, 3> slices =
      StretchButtonSlices(strip().Width() / 3, strip().Height(), cap_width_, frame, client.right, client.bottom);
  for (const Slice* slice : {&slices[2], &slices[0], &slices[1]}) {
    strip().Draw(dc, slice->target.x, slice->target.y, slice->target.width, slice->target.height, slice->source.x,
                 slice->source.y, slice->source.width, slice->source.height);
  }
}

}  // namespace ostrel
