// The log record's operating-system services on Windows, and the system text
// of Windows error codes.
#include <windows.h>

#include <cstdio>
#include <iterator>
#include <string>

#include "base/log_platform.h"
#include "base/logging.h"
#include "base/utf_string_conversions.h"

namespace ostrel {
namespace log_platform {

int64_t NowMicrosecondsSince1601() {
  FILETIME ft;
  ::GetSystemTimeAsFileTime(&ft);
  ULARGE_INTEGER value;
  value.LowPart = ft.dwLowDateTime;
  value.HighPart = ft.dwHighDateTime;
  return static_cast<int64_t>(value.QuadPart / 10);
}

uint32_t CurrentProcessId() { return ::GetCurrentProcessId(); }
uint32_t CurrentThreadId() { return ::GetCurrentThreadId(); }
uint32_t LastErrorCode() { return ::GetLastError(); }
void SetLastErrorCode(uint32_t code) { ::SetLastError(code); }

void WriteDiagnostic(std::string_view line) {
  std::string text(line);
  ::OutputDebugStringA(text.c_str());
}

}  // namespace log_platform

namespace {

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

}  // namespace ostrel
