// Helpers shared by the stand-in setup program and the stand-in browser.
#ifndef STANDINS_SETUP_STANDIN_COMMON_H_
#define STANDINS_SETUP_STANDIN_COMMON_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "base/installer_command_line.h"
#include "base/values.h"

namespace ostrel::standin {

// The switch's value when the switch is present, else the environment
// variable's value, else `fallback`.
std::wstring Setting(const InstallerCommandLine& command_line, const char* switch_name, const wchar_t* env_name,
                     std::wstring_view fallback = {});
// The same read as a decimal or 0x hexadecimal 32-bit number.
uint32_t NumericSetting(const InstallerCommandLine& command_line, const char* switch_name,
                        const wchar_t* env_name, uint32_t fallback);

// One JSON record line: add members, then Append it to the record file.
class RecordLine {
 public:
  void Add(std::string_view name, std::wstring_view value);
  void Add(std::string_view name, int value);
  void AddBool(std::string_view name, bool value);
  // A nested object of string members.
  void AddObject(std::string_view name, const InstallerCommandLine::SwitchMap& members);
  // Appends the line to `path` (shared with other writers by an append-only open).
  bool Append(const std::wstring& path) const;

 private:
  Value::Dict members_;
};

// The record file: the setting, or %TEMP%\tarvik_standin_record.jsonl.
std::wstring RecordPath(const InstallerCommandLine& command_line);

}  // namespace ostrel::standin

#endif  // STANDINS_SETUP_STANDIN_COMMON_H_
