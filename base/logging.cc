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

namespace {

// The length of the character at the start of `text` that EscapeLogText
// writes as "\uXXXX" (its code point in `code_point`), else 0.
size_t EscapedCharacterLength(std::string_view text, uint32_t* code_point) {
  auto byte = [&](size_t i) { return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u; };
  if (byte(0) == 0xC2 && byte(1) == 0x85) {
    *code_point = 0x85;  // next line
    return 2;
  }
  if (byte(0) == 0xD8 && byte(1) == 0x9C) {
    *code_point = 0x61C;  // Arabic letter mark
    return 2;
  }
  if (byte(0) != 0xE2 || (byte(1) != 0x80 && byte(1) != 0x81) || byte(2) < 0x80 || byte(2) > 0xBF) return 0;
  uint32_t value = 0x2000 | ((byte(1) & 0x3Fu) << 6) | (byte(2) & 0x3Fu);
  // Marks, separators, embeddings and overrides, isolates.
  bool escaped = value == 0x200E || value == 0x200F || (value >= 0x2028 && value <= 0x202E) ||
                 (value >= 0x2066 && value <= 0x2069);
  if (!escaped) return 0;
  *code_point = value;
  return 3;
}

}  // namespace

std::string EscapeLogText(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string escaped;
  escaped.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    auto byte = static_cast<unsigned char>(c);
    uint32_t code_point = 0;
    if (size_t length = EscapedCharacterLength(text.substr(i), &code_point)) {
      escaped += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4) escaped.push_back(kHex[(code_point >> shift) & 0xF]);
      i += length - 1;
    } else if (byte >= 0x20 && byte != 0x7F) {
      escaped.push_back(c);
    } else if (c == '\r') {
      escaped += "\\r";
    } else if (c == '\n') {
      escaped += "\\n";
    } else if (c == '\t') {
      escaped += "\\t";
    } else {
      escaped += "\\x";
      escaped.push_back(kHex[byte >> 4]);
      escaped.push_back(kHex[byte & 0xF]);
    }
  }
  return escaped;
}

void PlatformLogError(std::string_view text) {
  if (PlatformLogHandler handler = PlatformLogHandlerSlot()) {
    handler(text);
    return;
  }
  std::string line = "[tarvik] ";
  line += EscapeLogText(text);
  line.push_back('\n');
  log_platform::WriteDiagnostic(line);
}

}  // namespace ostrel
