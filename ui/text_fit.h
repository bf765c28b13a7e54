// Whether a text fits the room its control gives it, measured as it is
// painted: the control's font and DrawText flags at the control's width.
// The layout shrinks a text that would not fit; the tests check every text
// of every screen and dialog with it, in every language.
#ifndef UI_TEXT_FIT_H_
#define UI_TEXT_FIT_H_

#include <windows.h>

#include <string>
#include <vector>

#include "base/scoped_handle.h"
#include "ui/dialog_base.h"

namespace ostrel {

// The size `text` takes in `font` with `format` when it may be `width` wide
// (DT_CALCRECT; single-line texts keep their own width).
SIZE MeasureTextIn(HWND window, HFONT font, UINT format, const std::wstring& text, int width);

// How a visible control with text paints it: its object's layout, else the
// font the control was given and the flags its class paints with. False for
// a hidden control or one without text.
bool GetControlTextLayout(HWND control, TextLayout* layout);

// Controls are named by id: a report outlives the window it describes.
struct TextFitProblem {
  int control_id = 0;
  std::wstring text;
  SIZE needed = {0, 0};
  SIZE available = {0, 0};
  // Set when the text reaches into a sibling rather than out of its area.
  bool overlaps = false;
  int overlapped_id = 0;
};

// The texts among `parent`'s visible children that need more room than
// their area gives, or whose painted extent reaches into a visible sibling.
std::vector<TextFitProblem> FindTextFitProblems(HWND parent);

// The largest character height of `face` and `weight`, from `height` down to
// `min_height`, in which `text` painted with `format` fits `size`; at the
// floor the text may still not fit.
int FittingHeight(HWND window, const wchar_t* face, int weight, int height, int min_height, UINT format,
                  const std::wstring& text, SIZE size);
// A font of FittingHeight.
ScopedFont FittingFont(HWND window, const wchar_t* face, int weight, int height, int min_height, UINT format,
                       const std::wstring& text, SIZE size);

}  // namespace ostrel

#endif  // UI_TEXT_FIT_H_
