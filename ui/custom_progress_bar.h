// The progress bar drawn from two images: the fill up to the position, the
// track after it. Its value is announced to accessibility as "N%".
#ifndef UI_CUSTOM_PROGRESS_BAR_H_
#define UI_CUSTOM_PROGRESS_BAR_H_

#include <windows.h>

#include "ui/accessible_wrapper.h"
#include "ui/dialog_base.h"
#include "ui/scaled_image.h"

namespace ostrel {

// client_width × (position − low) ÷ (high − low), within 0..client_width;
// 0 for an empty range.
int FilledWidth(int client_width, int low, int high, int position);

class CustomProgressBar : public DialogBase {
 public:
  // `background`: drawn under the bar first (double-buffered) when given.
  CustomProgressBar(HWND progress_bar, const ScaledImage& fill, const ScaledImage& track,
                    const ScaledImage* background = nullptr);
  ~CustomProgressBar() override;

  bool HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override;

  // Draws `background` under the bar from now on.
  void SetBackground(const ScaledImage& background);
  void SetRange(int low, int high);
  void SetPos(int position);
  int GetPos() const;

 private:
  void Paint(HDC dc, const RECT& client);

  ScaledImage fill_;
  ScaledImage track_;
  bool has_background_ = false;
  ScaledImage background_;
  ScopedAccessibleWrapper accessible_;
};

}  // namespace ostrel

#endif  // UI_CUSTOM_PROGRESS_BAR_H_
