// Captures the platform library's own diagnostics (PlatformLogError) while
// it lives; one capture at a time.
#ifndef TESTING_PLATFORM_LOG_CAPTURE_H_
#define TESTING_PLATFORM_LOG_CAPTURE_H_

#include <mutex>
#include <string>
#include <vector>

#include "base/logging.h"

namespace ostrel::testing {

class ScopedPlatformLogCapture {
 public:
  ScopedPlatformLogCapture() : previous_(SetPlatformLogHandler(&Record)) {
    std::lock_guard<std::mutex> lock(Mutex());
    Lines().clear();
  }
  ScopedPlatformLogCapture(const ScopedPlatformLogCapture&) = delete;
  ScopedPlatformLogCapture& operator=(const ScopedPlatformLogCapture&) = delete;
  ~ScopedPlatformLogCapture() { SetPlatformLogHandler(previous_); }

  std::vector<std::string> lines() const {
    std::lock_guard<std::mutex> lock(Mutex());
    return Lines();
  }

 private:
  static std::mutex& Mutex() {
    static std::mutex mutex;
    return mutex;
  }
  static std::vector<std::string>& Lines() {
    static std::vector<std::string> lines;
    return lines;
  }
  static void Record(std::string_view text) {
    std::lock_guard<std::mutex> lock(Mutex());
    Lines().emplace_back(text);
  }

  PlatformLogHandler previous_;
};

}  // namespace ostrel::testing

#endif  // TESTING_PLATFORM_LOG_CAPTURE_H_
