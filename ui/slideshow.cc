#include "ui/slideshow.h"

#include <algorithm>
#include <utility>

#include "ui/ui_scale.h"

namespace ostrel {

Slideshow::Slideshow(SIZE size, std::unique_ptr<SlideSource> source, HBRUSH brush, DWORD interval_ms,
                     size_t first_step, Clock clock)
    : size_(size),
      brush_(brush),
      source_(std::move(source)),
      first_step_(first_step),
      interval_ms_(interval_ms),
      clock_(clock ? std::move(clock) : Clock([] { return static_cast<uint64_t>(::GetTickCount64()); })) {
  ShowSlide(clock_());
}

// The source goes first: its thread must not outlive the images it appends to.
Slideshow::~Slideshow() { source_.reset(); }

void Slideshow::ShowSlide(uint64_t now) {
  image_ = source_ ? source_->GetSlide(index_) : ScaledImage();
  start_ = now;
  int width = std::min<int>(image_.Width(), size_.cx);
  destination_ = {0, size_.cy - image_.Height(), width, size_.cy};
  is_new_ = true;
}

bool Slideshow::AdvanceIfDue() {
  uint64_t now = clock_();
  if (now >= start_ + interval_ms_) {
    index_ = index_ == 0 ? first_step_ : index_ + 1;
    ShowSlide(now);
  }
  bool is_new = is_new_;
  is_new_ = false;
  return is_new;
}

void Slideshow::Paint(HDC dc, const RECT& rect) {
  if (brush_) ::FillRect(dc, &rect, brush_);
  if (image_.IsEmpty()) return;
  int width = destination_.right - destination_.left;
  int height = destination_.bottom - destination_.top;
  image_.Draw(dc, destination_.left, destination_.top, width, height, 0, 0, width, height);
}

std::unique_ptr<ProgressSlides> CreateSlideshow(const ProgressSlidesSettings& settings) {
  auto source = std::make_unique<SlideSource>(settings.initial_images, settings.base_url, /*png_allowed=*/true,
                                              ScaleFactor(), settings.size);
  return std::make_unique<Slideshow>(settings.size, std::move(source), settings.brush, settings.interval_ms);
}

}  // namespace ostrel
