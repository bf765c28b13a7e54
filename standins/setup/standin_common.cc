#include "standins/setup/standin_common.h"

#include <windows.h>

#include <cwchar>
#include <vector>

#include "base/file_util.h"
#include "base/json_writer.h"
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

void RecordLine::Add(std::string_view name, std::wstring_view value) {
  members_[std::string(name)] = Value(WideToUtf8(value));
}

void RecordLine::Add(std::string_view name, int value) { members_[std::string(name)] = Value(value); }

void RecordLine::AddBool(std::string_view name, bool value) { members_[std::string(name)] = Value(value); }

void RecordLine::AddObject(std::string_view name, const InstallerCommandLine::SwitchMap& members) {
  Value::Dict object;
  for (const auto& [key, value] : members) object[key] = Value(WideToUtf8(value));
  members_[std::string(name)] = Value(std::move(object));
}

bool RecordLine::Append(const std::wstring& path) const {
  // FILE_APPEND_DATA makes each write land at the end, so the setup program
  // and the browser may record at the same time.
  ScopedFileHandle file(::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsValid()) return false;
  std::string line = WriteJson(Value(members_), false) + "\n";
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
