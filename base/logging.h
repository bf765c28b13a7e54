// Log records of the installer log: one record per line, written by the
// process-wide sink (the file logger) when the record goes out of scope.
#ifndef BASE_LOGGING_H_
#define BASE_LOGGING_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace ostrel {

enum LogLevel : int32_t {
  LOG_INFO = 0,
  LOG_ERROR = 1,
  LOG_WARNING = 2,
};

// Name of a level ("INFO", "ERROR", "WARNING"); empty for anything else.
const char* LogLevelName(int32_t level);

// Appends text pieces to a record: narrow text as it is, wide text as UTF-8,
// integers in decimal, booleans as 1 or 0.
class LogStream {
 public:
  LogStream& operator<<(const char* text);
  LogStream& operator<<(std::string_view text);
  LogStream& operator<<(const std::string& text) { return *this << std::string_view(text); }
  LogStream& operator<<(const wchar_t* text);
  LogStream& operator<<(std::wstring_view text);
  LogStream& operator<<(const std::wstring& text) { return *this << std::wstring_view(text); }
  LogStream& operator<<(char c);
  LogStream& operator<<(bool value);
  LogStream& operator<<(int value) { return AppendSigned(value); }
  LogStream& operator<<(long value) { return AppendSigned(value); }
  LogStream& operator<<(long long value) { return AppendSigned(value); }
  LogStream& operator<<(unsigned value) { return AppendUnsigned(value); }
  LogStream& operator<<(unsigned long value) { return AppendUnsigned(value); }
  LogStream& operator<<(unsigned long long value) { return AppendUnsigned(value); }
  LogStream& operator<<(const void* pointer);

  const std::string& str() const { return text_; }

 private:
  LogStream& AppendSigned(long long value);
  LogStream& AppendUnsigned(unsigned long long value);

  std::string text_;
};

class LogMessage {
 public:
  LogMessage(int32_t level, const char* function, int32_t line);
  // Error variant: " - " and `error_text` are appended when the record ends.
  LogMessage(int32_t level, const char* function, int32_t line, std::string error_text);
  LogMessage(const LogMessage&) = delete;
  LogMessage& operator=(const LogMessage&) = delete;
  ~LogMessage();

  LogStream& stream() { return stream_; }

  int32_t level() const { return level_; }
  const char* function() const { return function_; }
  int32_t line() const { return line_; }
  // Microseconds since 1601-01-01 UTC.
  int64_t time() const { return time_; }
  uint32_t process_id() const { return process_id_; }
  uint32_t thread_id() const { return thread_id_; }
  // The finished text, error suffix included.
  const std::string& text() const { return stream_.str(); }

 private:
  int32_t level_;
  const char* function_;
  int32_t line_;
  int64_t time_;
  uint32_t process_id_;
  uint32_t thread_id_;
  LogStream stream_;
  bool has_error_text_ = false;
  std::string error_text_;
};

// Where finished records go. The installer installs its file logger here.
class LogSink {
 public:
  virtual ~LogSink() = default;
  virtual void Emit(const LogMessage& record) = 0;
};

// Replaces (and destroys) the process-wide sink. Records emitted without a
// sink are discarded. Set once at start-up before other threads exist.
void SetLogSink(std::unique_ptr<LogSink> sink);
LogSink* GetLogSink();
// Puts `sink` in place without destroying the previous one, which is
// returned (tests capture records this way and put the old sink back).
LogSink* SwapLogSink(LogSink* sink);

// "<code>, <system text>" with the system's, then wininet.dll's, then
// urlmon.dll's message for `code`; "unknown error 0x<hex>\n" failing all.
std::string FormatWindowsError(uint32_t code);

// Captures GetLastError() before anything else in the statement runs.
std::string FormatLastError();

// `text` (UTF-8) with every control character written as an escape ("\r",
// "\n", "\t", "\x1b") and the characters that end a line or reorder a
// line's display in some viewers (U+0085, U+2028, U+2029, the
// bidirectional controls) as "\u2028" and the like: a record's text can
// never end its line or dress up as another.
std::string EscapeLogText(std::string_view text);

// The platform library's own diagnostics (not the installer log): used by
// code that must work when everything else is broken, such as the crash
// upload. Written to the debugger output.
void PlatformLogError(std::string_view text);
// Replaces where PlatformLogError writes (null: the debugger output again);
// returns the previous handler. Tests capture the diagnostics this way.
using PlatformLogHandler = void (*)(std::string_view text);
PlatformLogHandler SetPlatformLogHandler(PlatformLogHandler handler);

}  // namespace ostrel

// One short line per call site. LOG(INFO) << "text";  PLOG(ERROR) << "text";
// PLOG appends the last Windows error, taken before the text is built.
#define LOG(level) ::ostrel::LogMessage(::ostrel::LOG_##level, __func__, __LINE__).stream()
#define PLOG(level) \
  ::ostrel::LogMessage(::ostrel::LOG_##level, __func__, __LINE__, ::ostrel::FormatLastError()).stream()
// For lines whose operation name differs from the enclosing C++ function.
#define LOG_TAG(level, tag) ::ostrel::LogMessage(::ostrel::LOG_##level, tag, __LINE__).stream()
#define PLOG_TAG(level, tag) \
  ::ostrel::LogMessage(::ostrel::LOG_##level, tag, __LINE__, ::ostrel::FormatLastError()).stream()

#endif  // BASE_LOGGING_H_
