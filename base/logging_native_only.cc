// The log record for the native (Linux) sanitizer build of the platform-
// neutral units: the same records and sinks as base/logging.cc, with the
// process facts taken from the C++ library. Windows error texts are not
// available there, so FormatWindowsError gives only the number.
#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>
#include <utility>

#include <unistd.h>

#include "base/logging.h"
#include "base/utf_string_conversions.h"

namespace ostrel {
namespace {

LogSink*& SinkSlot() {
  static LogSink* sink = nullptr;
  return sink;
}

// 1601-01-01 to 1970-01-01 in microseconds.
constexpr int64_t kUnixEpochMicros = 11644473600LL * 1000000;

int64_t NowMicrosecondsSince1601() {
  auto since_1970 = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::system_clock::now().time_since_epoch());
  return since_1970.count() + kUnixEpochMicros;
}

}  // namespace

const char* LogLevelName(int32_t level) {
  switch (level) {
    case LOG_INFO:
      return "INFO";
    case LOG_ERROR:
      return "ERROR";
    case LOG_WARNING:
      return "WARNING";
  }
  return "";
}

LogStream& LogStream::operator<<(const char* text) {
  if (text) text_.append(text);
  return *this;
}

LogStream& LogStream::operator<<(std::string_view text) {
  text_.append(text.data(), text.size());
  return *this;
}

LogStream& LogStream::operator<<(const wchar_t* text) {
  if (text) text_.append(WideToUtf8(text));
  return *this;
}

LogStream& LogStream::operator<<(std::wstring_view text) {
  text_.append(WideToUtf8(text));
  return *this;
}

LogStream& LogStream::operator<<(char c) {
  text_.push_back(c);
  return *this;
}

LogStream& LogStream::operator<<(bool value) {
  text_.push_back(value ? '1' : '0');
  return *this;
}

LogStream& LogStream::operator<<(const void* pointer) {
  char buffer[32];
  std::snprintf(buffer, sizeof(buffer), "%p", pointer);
  text_.append(buffer);
  return *this;
}

LogStream& LogStream::AppendSigned(long long value) {
  text_.append(std::to_string(value));
  return *this;
}

LogStream& LogStream::AppendUnsigned(unsigned long long value) {
  text_.append(std::to_string(value));
  return *this;
}

LogMessage::LogMessage(int32_t level, const char* function, int32_t line)
    : level_(level),
      function_(function ? function : ""),
      line_(line),
      time_(NowMicrosecondsSince1601()),
      process_id_(static_cast<uint32_t>(::getpid())),
      thread_id_(static_cast<uint32_t>(std::hash<std::thread::id>()(std::this_thread::get_id()))) {}

LogMessage::LogMessage(int32_t level, const char* function, int32_t line, std::string error_text)
    : LogMessage(level, function, line) {
  has_error_text_ = true;
  error_text_ = std::move(error_text);
}

LogMessage::~LogMessage() {
  if (has_error_text_) {
    if (!stream_.str().empty()) stream_ << " - ";
    stream_ << std::string_view(error_text_);
  }
  if (LogSink* sink = GetLogSink()) sink->Emit(*this);
}

void SetLogSink(std::unique_ptr<LogSink> sink) {
  LogSink* previous = SinkSlot();
  SinkSlot() = sink.release();
  delete previous;
}

LogSink* GetLogSink() { return SinkSlot(); }

LogSink* SwapLogSink(LogSink* sink) { return std::exchange(SinkSlot(), sink); }

std::string FormatWindowsError(uint32_t code) { return std::to_string(code) + ", "; }

std::string FormatLastError() { return FormatWindowsError(0); }

namespace {

PlatformLogHandler& PlatformLogHandlerSlot() {
  static PlatformLogHandler handler = nullptr;
  return handler;
}

}  // namespace

PlatformLogHandler SetPlatformLogHandler(PlatformLogHandler handler) {
  return std::exchange(PlatformLogHandlerSlot(), handler);
}

void PlatformLogError(std::string_view text) {
  if (PlatformLogHandler handler = PlatformLogHandlerSlot()) {
    handler(text);
    return;
  }
  std::fprintf(stderr, "[tarvik] %.*s\n", static_cast<int>(text.size()), text.data());
}

}  // namespace ostrel
