// The progress screen's slideshow: the current slide sits in the bottom-left
// corner of the window over the slide brush and gives way to the next one
// when its time is over.
#ifndef UI_SLIDESHOW_H_
#define UI_SLIDESHOW_H_

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "ui/progress_slides.h"
#include "ui/scaled_image.h"
#include "ui/slide_source.h"

namespace ostrel {

inline constexpr DWORD kSlideIntervalMs = 10000;

class Slideshow : public ProgressSlides {
 public:
  // Milliseconds of a monotonic clock.
  using Clock = std::function<uint64_t()>;

  // Shows the first slide at once. `size` is in device pixels.
  Slideshow(SIZE size, std::unique_ptr<SlideSource> source, HBRUSH brush, DWORD interval_ms = kSlideIntervalMs,
            size_t first_step = 1, Clock clock = nullptr);
  ~Slideshow() override;

  bool AdvanceIfDue() override;
  void Paint(HDC dc, const RECT& rect) override;
  bool HasAdvanced() const override { return index_ != 0; }
  const ScaledImage& CurrentImage() const override { return image_; }

  const RECT& destination() const { return destination_; }
  SlideSource* source() const { return source_.get(); }

 private:
  void ShowSlide(uint64_t now);

  SIZE size_;
  HBRUSH brush_;
  std::unique_ptr<SlideSource> source_;
  size_t index_ = 0;
  size_t first_step_;
  DWORD interval_ms_;
  Clock clock_;

  ScaledImage image_;
  RECT destination_ = {0, 0, 0, 0};
  uint64_t start_ = 0;
  bool is_new_ = false;
};

// The window's factory: downloads over the settings' base URL, PNG where
// the system allows, at the process's scale factor.
std::unique_ptr<ProgressSlides> CreateSlideshow(const ProgressSlidesSettings& settings);

}  // namespace ostrel

#endif  // UI_SLIDESHOW_H_
