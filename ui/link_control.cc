#include "ui/link_control.h"

#include <string>

#include "base/scoped_gdi.h"
#include "ui/ui_drawing.h"

namespace ostrel {
namespace {

void DrawTextOverBackground(const DRAWITEMSTRUCT& item, const ScaledImage& background, const TextLook& look,
                            UINT format) {
  RECT rect = item.rcItem;
  PaintDoubleBuffered(item.hDC, rect, [&](HDC canvas, const RECT& area) {
    DrawParentBackground(canvas, item.hwndItem, background);
    DrawAlphaText(canvas, area, WindowText(item.hwndItem), look.font, look.colour, look.alpha, format | DT_NOPREFIX);
    if ((item.itemState & ODS_FOCUS) && !(item.itemState & ODS_NOFOCUSRECT)) ::DrawFocusRect(canvas, &area);
  });
}

}  // namespace

OwnerDrawnStatic::OwnerDrawnStatic(HWND window, const ScaledImage& parent_background, const TextLook& look,
                                   UINT format)
    : background_(parent_background), look_(look), format_(format) {
  Bind(window);
}

bool OwnerDrawnStatic::HandleMessage(HWND, UINT message, WPARAM, LPARAM lparam, LRESULT& result) {
  if (message != WM_DRAWITEM) return false;
  const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
  DRAWITEMSTRUCT without_focus = item;
  without_focus.itemState &= ~ODS_FOCUS;
  DrawTextOverBackground(without_focus, background_, look_, format_);
  result = TRUE;
  return true;
}

void OwnerDrawnStatic::SetBackground(const ScaledImage& background) {
  background_ = background;
  ::InvalidateRect(window(), nullptr, FALSE);
}

// DrawTextOverBackground adds DT_NOPREFIX, DrawAlphaText DT_WORDBREAK.
bool OwnerDrawnStatic::GetTextLayout(TextLayout* layout) const {
  layout->text = WindowText(window());
  ::GetClientRect(window(), &layout->area);
  layout->font = look_.font;
  layout->format = format_ | DT_NOPREFIX | DT_WORDBREAK;
  layout->text_only = true;
  return true;
}

void OwnerDrawnStatic::SetLook(const TextLook& look) {
  look_ = look;
  ::InvalidateRect(window(), nullptr, FALSE);
}

LinkControl::LinkControl(HWND window, const ScaledImage& parent_background, const TextLook& look)
    : background_(parent_background), look_(look), hand_cursor_(::LoadCursorW(nullptr, IDC_HAND)) {
  Bind(window);
}

bool LinkControl::HandleMessage(HWND, UINT message, WPARAM, LPARAM lparam, LRESULT& result) {
  switch (message) {
    case WM_SETCURSOR:
      ::SetCursor(hand_cursor_);
      result = TRUE;
      return true;
    case WM_DRAWITEM:
      DrawTextOverBackground(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam), background_, look_, DT_SINGLELINE);
      result = TRUE;
      return true;
    default:
      return false;
  }
}

bool LinkControl::GetTextLayout(TextLayout* layout) const {
  layout->text = WindowText(window());
  ::GetClientRect(window(), &layout->area);
  layout->font = look_.font;
  layout->format = DT_SINGLELINE | DT_NOPREFIX;
  layout->text_only = true;
  return true;
}

SentenceWindows BuildSentenceWindows(HWND parent, const RECT& rect, std::wstring_view markup,
                                     const ScaledImage& parent_background, const SentenceStyle& style) {
  SentenceWindows windows;
  int available = rect.right - rect.left;
  std::vector<TextPiece> pieces;
  int line_height = 0;
  {
    ScopedWindowDC dc(parent);
    if (!dc.Get()) return windows;
    pieces = LayoutTextPieces(TokenizeLinkMarkup(markup), available,
                              [&](std::wstring_view text) { return TextWidth(dc.Get(), style.text.font, text); });
    line_height = LineHeight(dc.Get(), style.text.font);
  }
  std::vector<int> line_offsets =
      style.center_lines ? CenterLineOffsets(pieces, available) : std::vector<int>(LineCount(pieces), 0);
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  for (const TextPiece& piece : pieces) {
    int x = rect.left + line_offsets[piece.line] + piece.offset;
    int y = rect.top + piece.line * (line_height + style.line_spacing);
    if (piece.is_link) {
      HWND link = ::CreateWindowExW(0, L"Button", piece.text.c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW,
                                    x, y, piece.width, line_height, parent,
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(style.link_id)), instance, nullptr);
      if (link) windows.links.push_back(std::make_unique<LinkControl>(link, parent_background, style.link));
    } else {
      HWND text = ::CreateWindowExW(0, L"Static", piece.text.c_str(), WS_CHILD | WS_VISIBLE | SS_OWNERDRAW, x, y,
                                    piece.width, line_height, parent,
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(style.text_id)), instance, nullptr);
      if (text) windows.statics.push_back(std::make_unique<OwnerDrawnStatic>(text, parent_background, style.text, DT_SINGLELINE));
    }
  }
  return windows;
}

}  // namespace ostrel
