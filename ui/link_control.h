// Text controls drawn over the parent's background: owner-drawn statics
// (title, status text, plain pieces of a sentence) and links, and the
// sentence builder that turns link markup into those windows.
#ifndef UI_LINK_CONTROL_H_
#define UI_LINK_CONTROL_H_

#include <windows.h>

#include <memory>
#include <string_view>
#include <vector>

#include "ui/dialog_base.h"
#include "ui/link_markup.h"
#include "ui/scaled_image.h"

namespace ostrel {

struct TextLook {
  HFONT font = nullptr;
  COLORREF colour = RGB(0, 0, 0);
  BYTE alpha = 255;
};

// Its window text as alpha text over the parent's background.
class OwnerDrawnStatic : public DialogBase {
 public:
  OwnerDrawnStatic(HWND window, const ScaledImage& parent_background, const TextLook& look, UINT format = 0);
  bool HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override;
  bool GetTextLayout(TextLayout* layout) const override;
  void SetBackground(const ScaledImage& background);
  void SetLook(const TextLook& look);

 private:
  ScaledImage background_;
  TextLook look_;
  UINT format_;
};

// An owner-drawn button that looks like a link and shows the hand cursor.
class LinkControl : public DialogBase {
 public:
  LinkControl(HWND window, const ScaledImage& parent_background, const TextLook& look);
  bool HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override;
  bool GetTextLayout(TextLayout* layout) const override;

 private:
  ScaledImage background_;
  TextLook look_;
  HCURSOR hand_cursor_;
};

// The windows of one sentence: a static per plain piece and a link per
// linked piece, each with its control object.
struct SentenceWindows {
  std::vector<std::unique_ptr<OwnerDrawnStatic>> statics;
  std::vector<std::unique_ptr<LinkControl>> links;
};

struct SentenceStyle {
  TextLook text;
  TextLook link;
  int text_id = 0;
  int link_id = 0;
  int line_spacing = 1;
  bool center_lines = true;
};

// Lays `markup` out in `rect` of `parent` (widths in the text font) and
// creates the windows, plain pieces as "Static" and links as "Button".
SentenceWindows BuildSentenceWindows(HWND parent, const RECT& rect, std::wstring_view markup,
                                     const ScaledImage& parent_background, const SentenceStyle& style);

}  // namespace ostrel

#endif  // UI_LINK_CONTROL_H_
