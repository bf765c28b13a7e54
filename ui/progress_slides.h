// The pictures behind the progress screen: the window asks them to move on
// every timer tick, paints the current one, and borrows it as the background
// of the controls drawn over it.
#ifndef UI_PROGRESS_SLIDES_H_
#define UI_PROGRESS_SLIDES_H_

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/scaled_image.h"

namespace ostrel {

struct ProgressSlidesSettings {
  SIZE size = {0, 0};  // device pixels: the scaled window
  HBRUSH brush = nullptr;  // behind a slide smaller than the window
  std::vector<ScaledImage> initial_images;  // built into the executable, shown first
  std::string base_url;  // where further slides are fetched from
  DWORD interval_ms = 10000;
};

class ProgressSlides {
 public:
  virtual ~ProgressSlides() = default;
  // Moves to the next slide when the current one's time is over; true once
  // for every new slide.
  virtual bool AdvanceIfDue() = 0;
  virtual void Paint(HDC dc, const RECT& rect) = 0;
  // A slide after the first is shown.
  virtual bool HasAdvanced() const = 0;
  // Empty when there is no slide.
  virtual const ScaledImage& CurrentImage() const = 0;
};

using ProgressSlidesFactory = std::function<std::unique_ptr<ProgressSlides>(const ProgressSlidesSettings&)>;

}  // namespace ostrel

#endif  // UI_PROGRESS_SLIDES_H_
