#include "base/logging.h"

#include <cstdio>
#include <utility>

#include "base/log_platform.h"
#include "base/utf_string_conversions.h"

namespace ostrel {
namespace {

// Never destroyed at exit: threads may still log while the process ends.
LogSink*& SinkSlot() {
  static LogSink* sink = nullptr;
  return sink;
}

PlatformLogHandler& PlatformLogHandlerSlot() {
  static PlatformLogHandler handler = nullptr;
  return handler;
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
  char buffer[32];
  std::snprintf(buffer, sizeof(buffer), "%lld", value);
  text_.append(buffer);
  return *this;
}

LogStream& LogStream::AppendUnsigned(unsigned long long value) {
  char buffer[32];
  std::snprintf(buffer, sizeof(buffer), "%llu", value);
  text_.append(buffer);
  return *this;
}

LogMessage::LogMessage(int32_t level, const char* function, int32_t line)
    : level_(level),
      function_(function ? function : ""),
      line_(line),
      time_(log_platform::NowMicrosecondsSince1601()),
      process_id_(log_platform::CurrentProcessId()),
      thread_id_(log_platform::CurrentThreadId()) {}

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
  if (LogSink* sink = GetLogSink()) {
    // Logging must not disturb the error a caller is about to report.
    uint32_t saved_error = log_platform::LastErrorCode();
    sink->Emit(*this);
    log_platform::SetLastErrorCode(saved_error);
  }
}

void SetLogSink(std::unique_ptr<LogSink> sink) {
  LogSink* previous = SinkSlot();
  SinkSlot() = sink.release();
  delete previous;
}

LogSink* GetLogSink() { return SinkSlot(); }

LogSink* SwapLogSink(LogSink* sink) { return std::exchange(SinkSlot(), sink); }

std::string FormatLastError() {
  uint32_t code = log_platform::LastErrorCode();
  std::string text = FormatWindowsError(code);
  log_platform::SetLastErrorCode(code);
  return text;
}

PlatformLogHandler SetPlatformLogHandler(PlatformLogHandler handler) {
  return std::exchange(PlatformLogHandlerSlot(), handler);
}

void PlatformLogError(std::string_view text) {
  if (PlatformLogHandler handler = PlatformLogHandlerSlot()) {
    handler(text);
    return;
  }
  std::string line = "[tarvik] ";
  line.append(text.data(), text.size());
  line.push_back('\n');
  log_platform::WriteDiagnostic(line);
}

}  // namespace ostrel
