// The pictures of the progress screen: the built-in ones, then slides fetched
// one after another from the slide server on a background thread until it
// stops answering. The window's thread takes them in display order.
#ifndef UI_SLIDE_SOURCE_H_
#define UI_SLIDE_SOURCE_H_

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

#include "base/scoped_handle.h"
#include "ui/scaled_image.h"

namespace ostrel {

// One request may take this long; it then counts as a failure.
inline constexpr DWORD kSlideDownloadLimitMs = 5000;
// Failures in a row that end the downloads for good.
inline constexpr int kSlideFailureLimit = 10;
// Pictures held at most, built-in ones included: each is held decoded (a
// double-resolution slide takes some 5.5 MB), so a slide server that never
// runs out cannot fill the 32-bit process's memory.
inline constexpr size_t kSlideCountLimit = 16;

// "02".."09", then "10", "11"...; PNG only where the system decodes it well.
std::string SlideFileName(size_t number, bool png);

// A slide is drawn at its area's size from a double-resolution picture;
// four times the area leaves room for that and refuses a picture whose
// decoding alone would take the 32-bit process's memory.
inline constexpr int kMaxSlideAreaMultiple = 4;
inline constexpr SIZE kDefaultSlideArea = {1024, 768};

class SlideSource {
 public:
  // More than one initial image means the first is the first screen's
  // background, shown on the first pass only. No thread runs without a
  // base URL.
  // `slide_area`: the slide's size in pixels; a downloaded picture larger
  // than kMaxSlideAreaMultiple times it either way is refused undecoded.
  SlideSource(std::vector<ScaledImage> initial_images, std::string base_url, bool png_allowed,
              double scale_factor, SIZE slide_area = kDefaultSlideArea);
  SlideSource(const SlideSource&) = delete;
  SlideSource& operator=(const SlideSource&) = delete;
  // Returns at once even while a request hangs: the request is left to end
  // on its own, holding nothing of the source.
  ~SlideSource();

  // Empty when there are no images.
  ScaledImage GetSlide(size_t index);

  size_t ImageCount();
  // True when the download thread has ended (or never ran) within the time.
  bool WaitForDownloadsToEnd(DWORD timeout_ms) const;

 private:
  static unsigned __stdcall ThreadMain(void* argument);
  void DownloadSlides();
  bool DownloadImage();

  SRWLOCK list_lock_ = SRWLOCK_INIT;
  std::vector<ScaledImage> images_;
  const bool skip_first_;
  const size_t uncounted_;
  size_t offset_ = 0;
  bool wrapped_ = false;

  const std::string base_url_;
  const bool png_allowed_;
  const double factor_;
  const SIZE slide_area_;
  std::atomic<bool> running_{true};
  // Wakes the thread from its wait on a request.
  ScopedKernelHandle stop_event_;
  ScopedKernelHandle thread_;
};

}  // namespace ostrel

#endif  // UI_SLIDE_SOURCE_H_
