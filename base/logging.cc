#include "base/logging.h"

#include <windows.h>

#include <cstdio>
#include <utility>

#include "base/utf_string_conversions.h"

namespace ostrel {
namespace {

// Never destroyed at exit: threads may still log while the process ends.
LogSink*& SinkSlot() {
  static LogSink* sink = nullptr;
  return sink;
}

int64_t NowMicrosecondsSince1601() {
  FILETIME ft;
  ::GetSystemTimeAsFileTime(&ft);
  ULARGE_INTEGER value;
  value.LowPart = ft.dwLowDateTime;
  value.HighPart = ft.dwHighDateTime;
  return static_cast<int64_t>(value.QuadPart / 10);
}

bool MessageFromModule(DWORD flags, HMODULE module, uint32_t code, std::wstring* message) {
  wchar_t buffer[1024];
  DWORD length = ::FormatMessageW(flags | FORMAT_MESSAGE_IGNORE_INSERTS, module, code,
                                  MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), buffer,
                                  static_cast<DWORD>(std::size(buffer)), nullptr);
  if (length == 0) return false;
  message->assign(buffer, length);
  return true;
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
      time_(NowMicrosecondsSince1601()),
      process_id_(::GetCurrentProcessId()),
      thread_id_(::GetCurrentThreadId()) {}

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
    DWORD saved_error = ::GetLastError();
    sink->Emit(*this);
    ::SetLastError(saved_error);
  }
}

void SetLogSink(std::unique_ptr<LogSink> sink) {
  LogSink* previous = SinkSlot();
  SinkSlot() = sink.release();
  delete previous;
}

LogSink* GetLogSink() { return SinkSlot(); }

LogSink* SwapLogSink(LogSink* sink) { return std::exchange(SinkSlot(), sink); }

std::string FormatWindowsError(uint32_t code) {
  std::wstring message;
  bool found = MessageFromModule(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, &message);
  for (const wchar_t* module_name : {L"wininet.dll", L"urlmon.dll"}) {
    if (found) break;
    if (HMODULE module = ::GetModuleHandleW(module_name))
      found = MessageFromModule(FORMAT_MESSAGE_FROM_HMODULE, module, code, &message);
  }
  char number[48];
  std::snprintf(number, sizeof(number), "%lu, ", static_cast<unsigned long>(code));
  std::string result = number;
  if (found) {
    result += WideToUtf8(message);
  } else {
    std::snprintf(number, sizeof(number), "unknown error 0x%lx\n", static_cast<unsigned long>(code));
    result += number;
  }
  return result;
}

std::string FormatLastError() {
  DWORD code = ::GetLastError();
  std::string text = FormatWindowsError(code);
  ::SetLastError(code);
  return text;
}

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
  std::string line = "[tarvik] ";
  line.append(text.data(), text.size());
  line.push_back('\n');
  ::OutputDebugStringA(line.c_str());
}

}  // namespace ostrel
