// Buttons drawn from a three-frame image strip (normal, hot, pressed) over
// the part of the parent's background that lies under them.
#ifndef UI_IMAGE_BUTTON_H_
#define UI_IMAGE_BUTTON_H_

#include <windows.h>

#include <array>

#include "ui/dialog_base.h"
#include "ui/scaled_image.h"

namespace ostrel {

struct ImageButtonStyle {
  HFONT font = nullptr;
  COLORREF text_colour = RGB(0, 0, 0);
  RECT text_insets = {0, 0, 0, 0};
  POINT pressed_text_offset = {0, 0};
  // Where the parent's client area starts in its background image.
  POINT background_offset = {0, 0};
  int focus_rect_inset = 0;
};

class ImageButton : public DialogBase {
 public:
  enum Frame { kNormal = 0, kHot = 1, kPressed = 2 };

  ImageButton(HWND button, const ScaledImage& strip, const ScaledImage& parent_background,
              const ImageButtonStyle& style);
  ~ImageButton() override;

  bool HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override;
  bool GetTextLayout(TextLayout* layout) const override;

  // One frame: a third of the strip's width, its height.
  SIZE ImageSize() const;
  // Moves the button to `origin` with the size of one frame.
  void PlaceAt(POINT origin);
  void SetBackground(const ScaledImage& background);
  // The main window clears the cue when it is activated again.
  void ClearFocusCue() { focus_cue_ = false; }

 protected:
  virtual void DrawBackground(HDC dc, const RECT& client);
  virtual void DrawFrame(HDC dc, const RECT& client, int frame);
  void Paint(HDC dc, UINT item_state);

  const ScaledImage& strip() const { return strip_; }
  const ScaledImage& background() const { return background_; }

 private:
  ScaledImage strip_;
  ScaledImage background_;
  ImageButtonStyle style_;
  bool focus_cue_ = false;
};

struct SliceRect {
  int x, y, width, height;
  bool operator==(const SliceRect&) const = default;
};

// Source and destination of one slice, device pixels.
struct Slice {
  SliceRect source;
  SliceRect target;
};

// The left cap, right cap and middle of `frame` of a strip whose frames are
// `frame_width` wide, for a button of `width` × `height`; `cap` is the cap
// width in device pixels of the scaled strip.
std::array<Slice, 3> StretchButtonSlices(int frame_width, int strip_height, int cap, int frame, int width,
                                         int height);

// An image button of any width: the frame is drawn as two caps and a
// stretched middle, and the parent's background is taken as stretched over
// the parent's whole window.
class StretchButton : public ImageButton {
 public:
  StretchButton(HWND button, const ScaledImage& strip, const ScaledImage& parent_background,
                const ImageButtonStyle& style, int cap_width, RECT background_margins = {0, 0, 0, 0});

 protected:
  void DrawBackground(HDC dc, const RECT& client) override;
  void DrawFrame(HDC dc, const RECT& client, int frame) override;

 private:
  int cap_width_;
  RECT background_margins_;
};

}  // namespace ostrel

#endif  // UI_IMAGE_BUTTON_H_
