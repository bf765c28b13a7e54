// Captures the log records emitted while it lives (in this process).
#ifndef TESTING_LOG_CAPTURE_H_
#define TESTING_LOG_CAPTURE_H_

#include <mutex>
#include <string>
#include <vector>

#include "base/log_platform.h"
#include "base/logging.h"

namespace ostrel::testing {

struct CapturedRecord {
  int32_t level;
  std::string function;
  std::string text;
};

class ScopedLogCapture : public LogSink {
 public:
  enum Threads { kAllThreads, kThisThreadOnly };

  // kThisThreadOnly keeps out the records of workers an earlier test's
  // objects gave up on at their deadlines: they may still log for a while.
  explicit ScopedLogCapture(Threads threads = kAllThreads)
      : only_thread_(threads == kThisThreadOnly ? log_platform::CurrentThreadId() : 0), previous_(SwapLogSink(this)) {}
  ~ScopedLogCapture() override { SwapLogSink(previous_); }

  void Emit(const LogMessage& record) override {
    if (only_thread_ && record.thread_id() != only_thread_) return;
    std::lock_guard<std::mutex> lock(mutex_);
    records_.push_back({record.level(), record.function(), record.text()});
  }

  std::vector<CapturedRecord> records() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return records_;
  }
  // Texts only, in order.
  std::vector<std::string> texts() const {
    std::vector<std::string> result;
    for (const CapturedRecord& record : records()) result.push_back(record.text);
    return result;
  }
  bool Contains(const std::string& text) const {
    for (const CapturedRecord& record : records())
      if (record.text == text) return true;
    return false;
  }
  bool ContainsPrefix(const std::string& prefix) const {
    for (const CapturedRecord& record : records())
      if (record.text.rfind(prefix, 0) == 0) return true;
    return false;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    records_.clear();
  }

 private:
  uint32_t only_thread_;
  LogSink* previous_;
  mutable std::mutex mutex_;
  std::vector<CapturedRecord> records_;
};

}  // namespace ostrel::testing

#endif  // TESTING_LOG_CAPTURE_H_
