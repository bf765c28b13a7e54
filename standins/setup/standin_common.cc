#include "standins/setup/standin_common.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <vector>

#include "base/file_util.h"
#include "base/scoped_handle.h"
#include "base/utf_string_conversions.h"
#include "standins/setup/standin_contract.h"

namespace ostrel::standin {

std::wstring Setting(const InstallerCommandLine& command_line, const char* switch_name, const wchar_t* env_name,
                     std::wstring_view fallback) {
  if (command_line.IsSwitchPresent(switch_name)) return command_line.SwitchValueNative(switch_name);
  DWORD size = ::GetEnvironmentVariableW(env_name, nullptr, 0);
  if (size > 0) {
    std::vector<wchar_t> buffer(size);
    DWORD length = ::GetEnvironmentVariableW(env_name, buffer.data(), size);
    if (length > 0 && length < size) return std::wstring(buffer.data(), length);
  }
  return std::wstring(fallback);
}

uint32_t NumericSetting(const InstallerCommandLine& command_line, const char* switch_name, const wchar_t* env_name,
                        uint32_t fallback) {
  std::wstring text = Setting(command_line, switch_name, env_name);
  if (text.empty()) return fallback;
  wchar_t* end = nullptr;
  // Negative codes wrap, so -200 and 0xFFFFFF38 are the same exit code.
  bool negative = text[0] == L'-';
  unsigned long long value = std::wcstoull(text.c_str() + (negative ? 1 : 0), &end, 0);
  if (end == nullptr || *end != L'\0') return fallback;
  uint32_t result = static_cast<uint32_t>(value);
  return negative ? 0u - result : result;
}

std::string JsonQuote(std::string_view utf8) {
  std::string quoted = "\"";
  for (char c : utf8) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      quoted.push_back('\\');
      quoted.push_back(c);
    } else if (byte < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof(escape), "\\u%04x", byte);
      quoted += escape;
    } else {
      quoted.push_back(c);
    }
  }
  quoted.push_back('"');
  return quoted;
}

void RecordLine::AddName(std::string_view name) {
  if (!body_.empty()) body_ += ",";
  body_ += JsonQuote(name) + ":";
}

void RecordLine::Add(std::string_view name, std::wstring_view value) {
  AddName(name);
  body_ += JsonQuote(WideToUtf8(value));
}

void RecordLine::Add(std::string_view name, int64_t value) {
  AddName(name);
  body_ += std::to_string(value);
}

void RecordLine::AddBool(std::string_view name, bool value) {
  AddName(name);
  body_ += value ? "true" : "false";
}

void RecordLine::AddObject(std::string_view name, const InstallerCommandLine::SwitchMap& members) {
  AddName(name);
  std::string object;
  for (const auto& [key, value] : members) {
    if (!object.empty()) object += ",";
    object += JsonQuote(key) + ":" + JsonQuote(WideToUtf8(value));
  }
  body_ += "{" + object + "}";
}

bool RecordLine::Append(const std::wstring& path) const {
  // FILE_APPEND_DATA makes each write land at the end, so the setup program
  // and the browser may record at the same time.
  ScopedFileHandle file(::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsValid()) return false;
  std::string line = Text() + "\n";
  DWORD written = 0;
  return ::WriteFile(file.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
         written == line.size();
}

std::wstring RecordPath(const InstallerCommandLine& command_line) {
  std::wstring path = Setting(command_line, kRecordSwitch, kRecordEnv);
  if (!path.empty()) return path;
  return GetTempDirectory() + kDefaultRecordName;
}

}  // namespace ostrel::standin
