// Captures the log records emitted while it lives (in this process).
#ifndef TESTING_LOG_CAPTURE_H_
#define TESTING_LOG_CAPTURE_H_

#include <mutex>
#include <string>
#include <vector>

#include "base/logging.h"

namespace ostrel::testing {

struct CapturedRecord {
  int32_t level;
  std::string function;
  std::string text;
};

class ScopedLogCapture : public LogSink {
 public:
  ScopedLogCapture() : previous_(SwapLogSink(this)) {}
  ~ScopedLogCapture() override { SwapLogSink(previous_); }

  void Emit(const LogMessage& record) override {
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
  LogSink* previous_;
  mutable std::mutex mutex_;
  std::vector<CapturedRecord> records_;
};

}  // namespace ostrel::testing

#endif  // TESTING_LOG_CAPTURE_H_
