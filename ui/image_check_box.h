// Check boxes drawn from a six-frame strip (normal, hot, pressed; then the
// same checked) with their label over the parent's background. Without
// visual styles the control is owner-drawn and keeps its own state.
#ifndef UI_IMAGE_CHECK_BOX_H_
#define UI_IMAGE_CHECK_BOX_H_

#include <windows.h>

#include <string>
#include <vector>

#include "ui/dialog_base.h"
#include "ui/link_control.h"
#include "ui/scaled_image.h"

namespace ostrel {

struct CheckBoxStyle {
  TextLook label;
  int gap = 0;  // between box and label, device pixels
  POINT background_offset = {0, 0};
};

class ImageCheckBox : public DialogBase {
 public:
  // Where the box is drawn from the control's top-left corner (not scaled).
  static constexpr int kBoxInset = 4;

  ImageCheckBox(HWND check_box, const ScaledImage& strip, const ScaledImage& parent_background,
                const CheckBoxStyle& style, bool checked);
  ~ImageCheckBox() override;

  bool HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override;

  bool IsChecked() const;
  // The owner calls this on every click; it flips the state the control
  // keeps itself when visual styles are off.
  void Toggle();
  // Height for `width`: inset + the taller of the box and the wrapped label.
  virtual int MeasureHeight(int width);
  bool GetTextLayout(TextLayout* layout) const override;

  bool own_state() const { return own_state_; }
  int box_width() const { return strip_.Width() / 6; }
  int box_height() const { return strip_.Height(); }
  int label_left() const { return kBoxInset + box_width() + style_.gap; }
  // The box frame for a state: (pressed ? 2 : hot ? 1 : 0) + (checked ? 3 : 0).
  static int BoxFrame(bool pressed, bool hot, bool checked);

 protected:
  virtual void DrawLabel(HDC dc, const RECT& client, bool show_prefix);
  const CheckBoxStyle& style() const { return style_; }
  std::wstring Text() const;

 private:
  // `focused`: the box has the focus and keyboard cues are on, so a focus
  // rectangle marks the label.
  void Paint(HDC dc, bool pressed, bool hot, bool show_prefix, bool focused);

  ScaledImage strip_;
  ScaledImage background_;
  CheckBoxStyle style_;
  bool own_state_;
  bool checked_ = false;
};

// A check box whose label may hold links ("((" … "))"): plain pieces are
// drawn by the box, each link is a separate window (ids from the caller,
// in order) placed over the label.
class LinkCheckBox : public ImageCheckBox {
 public:
  LinkCheckBox(HWND check_box, const ScaledImage& strip, const ScaledImage& parent_background,
               const CheckBoxStyle& style, bool checked, std::vector<int> link_ids, int line_spacing,
               int label_top_inset, int label_bottom_inset);

  // Lays the label out for `width` and returns the box's height.
  int MeasureHeight(int width) override;
  // Moves the link windows to their places in the label (after the box moved)
  // and shows them.
  void PlaceLinks();
  // The label as laid out, its links over it.
  bool GetTextLayout(TextLayout* layout) const override;

 protected:
  void DrawLabel(HDC dc, const RECT& client, bool show_prefix) override;

 private:
  struct PlainPiece {
    RECT rect;
    std::wstring text;
  };
  struct LinkPlacement {
    int id;
    RECT rect;
  };

  std::vector<int> link_ids_;
  int line_spacing_;
  int label_top_inset_;
  int label_bottom_inset_;
  std::vector<PlainPiece> plain_pieces_;
  std::vector<LinkPlacement> links_;
};

}  // namespace ostrel

#endif  // UI_IMAGE_CHECK_BOX_H_
