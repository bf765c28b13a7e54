#include "ui/image_check_box.h"

#include <commctrl.h>
#include <uxtheme.h>

#include <algorithm>

#include "base/scoped_gdi.h"
#include "ui/text_fit.h"
#include "ui/ui_drawing.h"

namespace ostrel {

ImageCheckBox::ImageCheckBox(HWND check_box, const ScaledImage& strip, const ScaledImage& parent_background,
                             const CheckBoxStyle& style, bool checked)
    : strip_(strip), background_(parent_background), style_(style), own_state_(!::IsAppThemed()) {
  if (own_state_) {
    LONG button_style = ::GetWindowLongW(check_box, GWL_STYLE);
    ::SetWindowLongW(check_box, GWL_STYLE, (button_style & ~BS_TYPEMASK) | BS_OWNERDRAW);
    checked_ = checked;
  }
  if (checked) ::SendMessageW(check_box, BM_SETCHECK, BST_CHECKED, 0);
  Bind(check_box);
}

ImageCheckBox::~ImageCheckBox() = default;

int ImageCheckBox::BoxFrame(bool pressed, bool hot, bool checked) {
  return (pressed ? 2 : hot ? 1 : 0) + (checked ? 3 : 0);
}

bool ImageCheckBox::IsChecked() const {
  if (own_state_) return checked_;
  return ::SendMessageW(window(), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void ImageCheckBox::Toggle() {
  if (!own_state_) return;
  checked_ = !checked_;
  ::InvalidateRect(window(), nullptr, FALSE);
}

std::wstring ImageCheckBox::Text() const { return WindowText(window()); }

int ImageCheckBox::MeasureHeight(int width) {
  ScopedWindowDC dc(window());
  if (!dc.Get()) return kBoxInset + box_height();
  ScopedSelectObject selected_font(dc.Get(), style_.label.font);
  std::wstring text = Text();
  RECT rect = {0, 0, std::max(0, width - label_left()), 0};
  ::DrawTextW(dc.Get(), text.c_str(), static_cast<int>(text.size()), &rect, DT_CALCRECT | DT_WORDBREAK);
  return kBoxInset + std::max<int>(box_height(), rect.bottom - rect.top);
}

bool ImageCheckBox::GetTextLayout(TextLayout* layout) const {
  layout->text = Text();
  RECT client = {};
  ::GetClientRect(window(), &client);
  layout->area = {label_left(), kBoxInset, client.right, client.bottom};
  layout->font = style_.label.font;
  layout->format = DT_WORDBREAK;
  return true;
}

bool ImageCheckBox::HandleMessage(HWND, UINT message, WPARAM, LPARAM lparam, LRESULT& result) {
  if (message == WM_DRAWITEM && own_state_) {
    const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
    bool hot = (item.itemState & ODS_HOTLIGHT) != 0 || ::GetCapture() == window();
    Paint(item.hDC, (item.itemState & ODS_SELECTED) != 0, hot, !(item.itemState & ODS_NOACCEL),
          (item.itemState & ODS_FOCUS) && !(item.itemState & ODS_NOFOCUSRECT));
    result = TRUE;
    return true;
  }
  if (message == WM_NOTIFY && !own_state_) {
    auto* draw = reinterpret_cast<NMCUSTOMDRAW*>(lparam);
    if (draw->dwDrawStage != CDDS_PREERASE) {
      result = CDRF_DODEFAULT;
      return draw->dwDrawStage == CDDS_PREPAINT;
    }
    bool cues = (draw->uItemState & CDIS_SHOWKEYBOARDCUES) != 0;
    Paint(draw->hdc, (draw->uItemState & CDIS_SELECTED) != 0, (draw->uItemState & CDIS_HOT) != 0, cues,
          cues && (draw->uItemState & CDIS_FOCUS));
    result = CDRF_SKIPDEFAULT;
    return true;
  }
  return false;
}

void ImageCheckBox::Paint(HDC dc, bool pressed, bool hot, bool show_prefix, bool focused) {
  RECT client = {};
  ::GetClientRect(window(), &client);
  PaintDoubleBuffered(dc, client, [&](HDC canvas, const RECT& rect) {
    DrawParentBackground(canvas, window(), background_, style_.background_offset);
    int frame = BoxFrame(pressed, hot, IsChecked());
    strip_.Draw(canvas, kBoxInset, kBoxInset, box_width(), box_height(), box_width() * frame, 0, box_width(),
                box_height());
    DrawLabel(canvas, rect, show_prefix);
    if (focused) {
      TextLayout layout;
      GetTextLayout(&layout);
      SIZE text = layout.measured.cx >= 0 ? layout.measured
                                          : MeasureTextIn(window(), layout.font, layout.format, layout.text,
                                                          layout.area.right - layout.area.left);
      RECT focus = {layout.area.left - 2, layout.area.top - 1, layout.area.left + text.cx + 2,
                    layout.area.top + text.cy + 1};
      ::DrawFocusRect(canvas, &focus);
    }
  });
}

void ImageCheckBox::DrawLabel(HDC dc, const RECT& client, bool show_prefix) {
  std::wstring text = Text();
  RECT measured = {0, 0, client.right - label_left(), 0};
  {
    ScopedSelectObject selected_font(dc, style_.label.font);
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &measured, DT_CALCRECT | DT_SINGLELINE);
  }
  int text_height = measured.bottom - measured.top;
  RECT label = {label_left(), kBoxInset, client.right, client.bottom};
  if (box_height() > text_height) label.top += (box_height() - text_height) / 2;
  DrawAlphaText(dc, label, text, style_.label.font, style_.label.colour, style_.label.alpha,
                show_prefix ? 0 : DT_HIDEPREFIX);
}

LinkCheckBox::LinkCheckBox(HWND check_box, const ScaledImage& strip, const ScaledImage& parent_background,
                           const CheckBoxStyle& style, bool checked, std::vector<int> link_ids, int line_spacing,
                           int label_top_inset, int label_bottom_inset)
    : ImageCheckBox(check_box, strip, parent_background, style, checked),
      link_ids_(std::move(link_ids)),
      line_spacing_(line_spacing),
      label_top_inset_(label_top_inset),
      label_bottom_inset_(label_bottom_inset) {
  // The link windows lie over the label: the box must not paint over them.
  ::SetWindowLongW(check_box, GWL_STYLE, ::GetWindowLongW(check_box, GWL_STYLE) | WS_CLIPSIBLINGS);
}

int LinkCheckBox::MeasureHeight(int width) {
  plain_pieces_.clear();
  links_.clear();
  ScopedWindowDC dc(window());
  if (!dc.Get()) return kBoxInset + box_height();
  int left = label_left();
  std::vector<TextPiece> pieces =
      LayoutTextPieces(TokenizeLinkMarkup(Text()), std::max(0, width - left),
                       [&](std::wstring_view text) { return TextWidth(dc.Get(), style().label.font, text); });
  int line_height = LineHeight(dc.Get(), style().label.font);
  size_t next_link = 0;
  for (const TextPiece& piece : pieces) {
    int x = left + piece.offset;
    int y = label_top_inset_ + piece.line * (line_height + line_spacing_);
    RECT rect = {x, y, x + piece.width, y + line_height};
    if (piece.is_link && next_link < link_ids_.size()) {
      links_.push_back({link_ids_[next_link++], rect});
    } else {
      // A link without a window of its own still shows its words.
      plain_pieces_.push_back({rect, piece.text});
    }
  }
  int lines = LineCount(pieces);
  if (lines == 0) return kBoxInset + box_height();
  return lines * line_height + (lines - 1) * line_spacing_ + label_top_inset_ + label_bottom_inset_;
}

void LinkCheckBox::PlaceLinks() {
  HWND parent = ::GetParent(window());
  RECT box = ChildRectInParent(window());
  for (const LinkPlacement& link : links_) {
    HWND link_window = ::GetDlgItem(parent, link.id);
    if (!link_window) continue;
    // Link windows start hidden: one shows once it has its place in the label.
    ::SetWindowPos(link_window, HWND_TOP, box.left + link.rect.left, box.top + link.rect.top,
                   link.rect.right - link.rect.left, link.rect.bottom - link.rect.top,
                   SWP_NOACTIVATE | SWP_SHOWWINDOW);
  }
}

bool LinkCheckBox::GetTextLayout(TextLayout* layout) const {
  layout->text = StripLinkMarkup(Text());
  RECT client = {};
  ::GetClientRect(window(), &client);
  layout->area = {label_left(), label_top_inset_, client.right, client.bottom};
  layout->font = style().label.font;
  layout->format = DT_NOPREFIX;
  RECT extent = {layout->area.left, layout->area.top, layout->area.left, layout->area.top};
  for (const PlainPiece& piece : plain_pieces_) ::UnionRect(&extent, &extent, &piece.rect);
  HWND parent = ::GetParent(window());
  for (const LinkPlacement& link : links_) {
    ::UnionRect(&extent, &extent, &link.rect);
    if (HWND link_window = ::GetDlgItem(parent, link.id)) layout->overlays.push_back(link_window);
  }
  layout->measured = {extent.right - layout->area.left, extent.bottom - layout->area.top};
  return true;
}

void LinkCheckBox::DrawLabel(HDC dc, const RECT&, bool) {
  for (const PlainPiece& piece : plain_pieces_) {
    DrawAlphaText(dc, piece.rect, piece.text, style().label.font, style().label.colour, style().label.alpha,
                  DT_SINGLELINE | DT_NOPREFIX);
  }
}

}  // namespace ostrel
