#include "ui/progress_slides.h"

namespace ostrel {

StillSlides::StillSlides(const ProgressSlidesSettings& settings) : brush_(settings.brush) {
  if (!settings.initial_images.empty()) image_ = settings.initial_images.front();
}

bool StillSlides::AdvanceIfDue() {
  bool is_new = is_new_;
  is_new_ = false;
  return is_new;
}

void StillSlides::Paint(HDC dc, const RECT& rect) {
  if (brush_) ::FillRect(dc, &rect, brush_);
  if (!image_.IsEmpty()) image_.Draw(dc, 0, 0);
}

std::unique_ptr<ProgressSlides> CreateStillSlides(const ProgressSlidesSettings& settings) {
  return std::make_unique<StillSlides>(settings);
}

}  // namespace ostrel
