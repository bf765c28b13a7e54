#include "ui/slide_source.h"

#include <process.h>
#include <shlwapi.h>

#include <algorithm>
#include <memory>
#include <utility>

#include "base/logging.h"
#include "base/os_facts.h"
#include "base/scoped_lock.h"
#include "net/internet_downloader.h"
#include "ui/image_header.h"

namespace ostrel {
namespace {

// Slides are always fetched in their double-resolution form.
constexpr char kDoubleResolutionFolder[] = "x2/";

// One request, shared by the slide thread and the thread that runs it: a
// request the slide thread gives up on keeps what it needs until it ends.
struct SlideRequest {
  std::string url;
  ScopedKernelHandle cancel_event{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  std::string data;
  bool ok = false;
};

unsigned __stdcall RunSlideRequest(void* argument) {
  std::unique_ptr<std::shared_ptr<SlideRequest>> holder(static_cast<std::shared_ptr<SlideRequest>*>(argument));
  SlideRequest& request = **holder;
  InternetDownloader downloader;
  request.ok = downloader.DownloadToString(request.url, request.cancel_event.Get(), &request.data);
  return 0;
}

bool DecodesPngWell() {
  WindowsVersionNumbers version = CurrentWindowsVersionNumbers();
  return version.major > 6 || (version.major == 6 && version.minor >= 2);
}

}  // namespace

std::string SlideFileName(size_t number, bool png) {
  std::string name = number < 10 ? "0" : "";
  name += std::to_string(number);
  name += png ? ".png" : ".jpg";
  return name;
}

SlideSource::SlideSource(std::vector<ScaledImage> initial_images, std::string base_url, bool png_allowed,
                         double scale_factor, SIZE slide_area)
    : images_(std::move(initial_images)),
      skip_first_(images_.size() > 1),
      uncounted_(images_.empty() ? 0 : images_.size() - 1),
      base_url_(std::move(base_url)),
      png_allowed_(png_allowed),
      factor_(scale_factor * 0.5),
      slide_area_(slide_area) {
  if (base_url_.empty()) return;
  stop_event_.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (stop_event_) thread_.Reset(reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, &ThreadMain, this, 0, nullptr)));
  if (!thread_) PLOG(ERROR) << "Failed to start the slide downloads";
}

SlideSource::~SlideSource() {
  running_ = false;
  if (stop_event_) ::SetEvent(stop_event_.Get());
  // The thread's handle, not a lock the thread takes: a thread that has not
  // been scheduled yet holds nothing that could be waited for.
  if (!thread_) return;
  ::WaitForSingleObject(thread_.Get(), INFINITE);
  LOG(INFO) << "Slide downloads stopped";
}

unsigned __stdcall SlideSource::ThreadMain(void* argument) {
  static_cast<SlideSource*>(argument)->DownloadSlides();
  return 0;
}

void SlideSource::DownloadSlides() {
  int failures = 0;
  while (running_) {
    if (ImageCount() >= kSlideCountLimit) {
      LOG(INFO) << "No more slides after " << kSlideCountLimit << " pictures";
      running_ = false;
      break;
    }
    failures = DownloadImage() ? 0 : failures + 1;
    if (failures >= kSlideFailureLimit) {
      LOG(INFO) << "No more slides after " << failures << " failed downloads";
      running_ = false;
    }
  }
}

bool SlideSource::DownloadImage() {
  size_t numbered = 0;
  {
    ScopedExclusiveLock lock(&list_lock_);
    numbered = images_.size() - uncounted_;
  }
  auto request = std::make_shared<SlideRequest>();
  request->url = base_url_ + kDoubleResolutionFolder + SlideFileName(numbered + 1, png_allowed_ && DecodesPngWell());
  if (!request->cancel_event) return false;

  auto* holder = new std::shared_ptr<SlideRequest>(request);
  ScopedKernelHandle worker(reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, &RunSlideRequest, holder, 0, nullptr)));
  if (!worker) {
    delete holder;
    PLOG(ERROR) << "Failed to start a slide request";
    return false;
  }
  // A host that never answers keeps the request in the network stack, out
  // of reach of its cancel event; the slide thread does not wait for it.
  HANDLE waits[] = {worker.Get(), stop_event_.Get()};
  if (::WaitForMultipleObjects(2, waits, FALSE, kSlideDownloadLimitMs) != WAIT_OBJECT_0) {
    ::SetEvent(request->cancel_event.Get());
    if (running_) LOG(WARNING) << "No slide within " << kSlideDownloadLimitMs << " ms: " << request->url;
    return false;
  }
  if (!request->ok) return false;

  uint32_t width = 0, height = 0;
  if (!ReadImageDimensions(request->data, &width, &height) ||
      width > static_cast<uint32_t>(kMaxSlideAreaMultiple * std::max<LONG>(slide_area_.cx, 1)) ||
      height > static_cast<uint32_t>(kMaxSlideAreaMultiple * std::max<LONG>(slide_area_.cy, 1))) {
    LOG(ERROR) << "Refused a slide of " << width << "x" << height << " pixels for an area of " << slide_area_.cx
               << "x" << slide_area_.cy << ": " << request->url;
    return false;
  }
  ScopedComPtr<IStream> stream(::SHCreateMemStream(reinterpret_cast<const BYTE*>(request->data.data()),
                                                   static_cast<UINT>(request->data.size())));
  ScaledImage image;
  bool loaded = stream && image.LoadFromStream(stream.Get(), factor_);
  if (!loaded) {
    PLOG(ERROR) << "Failed to load a background slide bitmap from data downloaded from " << request->url;
    return false;
  }
  ScopedExclusiveLock lock(&list_lock_);
  images_.push_back(std::move(image));
  return true;
}

ScaledImage SlideSource::GetSlide(size_t index) {
  ScopedExclusiveLock lock(&list_lock_);
  ScaledImage slide;
  size_t count = images_.size();
  if (count > 0) {
    size_t i = (index + offset_) % count;
    if (i == 0) {
      // Later passes start at the first slide, not at the first screen's
      // background. The numbering of downloads stays as it was.
      if (wrapped_ && skip_first_) {
        ++offset_;
        i = 1;
      } else {
        wrapped_ = true;
      }
    }
    slide = images_[i];
  }
  return slide;
}

size_t SlideSource::ImageCount() {
  ScopedExclusiveLock lock(&list_lock_);
  return images_.size();
}

bool SlideSource::WaitForDownloadsToEnd(DWORD timeout_ms) const {
  return !thread_ || ::WaitForSingleObject(thread_.Get(), timeout_ms) == WAIT_OBJECT_0;
}

}  // namespace ostrel
