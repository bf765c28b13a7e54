#include "base/installer_command_line.h"

#include <windows.h>
#include <shellapi.h>

#include "base/switches.h"
#include "base/utf_string_conversions.h"

namespace ostrel {
namespace {

const InstallerCommandLine*& ProcessCommandLineOverride() {
  static const InstallerCommandLine* override_command_line = nullptr;
  return override_command_line;
}

}  // namespace

bool IsCommandLineWhitespace(wchar_t c) {
  return (c >= 0x0009 && c <= 0x000D) || c == 0x0020 || c == 0x0085 || c == 0x00A0 || c == 0x1680 ||
         c == 0x180E || (c >= 0x2000 && c <= 0x200A) || c == 0x200C || c == 0x2028 || c == 0x2029 ||
         c == 0x202F || c == 0x205F || c == 0x3000;
}

std::wstring TrimCommandLineWhitespace(std::wstring_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsCommandLineWhitespace(text[begin])) ++begin;
  while (end > begin && IsCommandLineWhitespace(text[end - 1])) --end;
  return std::wstring(text.substr(begin, end - begin));
}

std::wstring QuoteForCommandLine(std::wstring_view text) {
  // Tabs separate arguments just like spaces, so they force quoting too.
  if (text.find_first_of(L" \t\"\\") == std::wstring_view::npos) return std::wstring(text);
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : text) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') {
      quoted.append(backslashes * 2 + 1, L'\\');
    } else {
      quoted.append(backslashes, L'\\');
    }
    backslashes = 0;
    quoted.push_back(c);
  }
  quoted.append(backslashes * 2, L'\\');
  quoted.push_back(L'"');
  return quoted;
}

const InstallerCommandLine& InstallerCommandLine::ProcessCommandLine() {
  if (const InstallerCommandLine* override_command_line = ProcessCommandLineOverride())
    return *override_command_line;
  // Lives until the process ends; built once, thread-safely.
  static const InstallerCommandLine* process_command_line =
      new InstallerCommandLine(ParseString(::GetCommandLineW()));
  return *process_command_line;
}

InstallerCommandLine InstallerCommandLine::ParseString(std::wstring_view text) {
  InstallerCommandLine result;
  std::wstring trimmed = TrimCommandLineWhitespace(text);
  if (trimmed.empty()) return result;
  int count = 0;
  LPWSTR* arguments = ::CommandLineToArgvW(trimmed.c_str(), &count);
  if (!arguments) return result;
  for (int i = 0; i < count; ++i) {
    std::wstring argument = TrimCommandLineWhitespace(arguments[i]);
    if (i == 0) {
      result.program_ = argument;
      continue;
    }
    bool is_switch = argument.rfind(L"--", 0) == 0 || argument.rfind(L"-", 0) == 0 || argument.rfind(L"/", 0) == 0;
    if (!is_switch) continue;
    size_t equals = argument.find(L'=');
    std::wstring name = argument.substr(0, equals);
    std::wstring value = equals == std::wstring::npos ? std::wstring() : argument.substr(equals + 1);
    result.PutSwitch(WideToLowBytes(name), std::wstring_view(value));
  }
  ::LocalFree(arguments);
  result.ExpandShorthands();
  return result;
}

void InstallerCommandLine::ExpandShorthands() {
  if (IsSwitchPresent(switches::kSemiSilent)) {
    PutSwitch(switches::kSilent);
    PutSwitch(switches::kUacEnabled);
  }
}

std::string InstallerCommandLine::NormalizeName(std::string_view name) {
  std::string lower(name);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  for (std::string_view prefix : {"--", "-", "/"}) {
    if (lower.rfind(prefix, 0) == 0) {
      lower.erase(0, prefix.size());
      break;
    }
  }
  return lower;
}

bool InstallerCommandLine::IsSwitchPresent(std::string_view name) const {
  return switches_.count(NormalizeName(name)) != 0;
}

std::wstring InstallerCommandLine::SwitchValueNative(std::string_view name) const {
  auto it = switches_.find(NormalizeName(name));
  return it == switches_.end() ? std::wstring() : it->second;
}

std::string InstallerCommandLine::SwitchValueAscii(std::string_view name) const {
  return WideToLowBytes(SwitchValueNative(name));
}

void InstallerCommandLine::PutSwitch(std::string_view name) { PutSwitch(name, std::wstring_view()); }

void InstallerCommandLine::PutSwitch(std::string_view name, std::wstring_view value) {
  switches_[NormalizeName(name)] = std::wstring(value);
}

void InstallerCommandLine::PutSwitch(std::string_view name, std::string_view value) {
  PutSwitch(name, std::wstring_view(AsciiToWide(value)));
}

void InstallerCommandLine::PutSwitchIf(bool flag, std::string_view name) {
  if (flag) {
    PutSwitch(name);
  } else {
    DropSwitch(name);
  }
}

void InstallerCommandLine::DropSwitch(std::string_view name) { switches_.erase(NormalizeName(name)); }

void InstallerCommandLine::SetProgramPath(std::wstring_view path) { program_ = TrimCommandLineWhitespace(path); }

std::wstring InstallerCommandLine::Render() const {
  std::wstring text = program_.empty() ? std::wstring() : QuoteForCommandLine(program_);
  for (const auto& [name, value] : switches_) {
    text += L" --";
    text += AsciiToWide(name);
    if (!value.empty()) {
      text += L'=';
      text += QuoteForCommandLine(value);
    }
  }
  return text;
}

ScopedProcessCommandLineOverride::ScopedProcessCommandLineOverride(const InstallerCommandLine& command_line)
    : previous_(ProcessCommandLineOverride()), command_line_(command_line) {
  ProcessCommandLineOverride() = &command_line_;
}

ScopedProcessCommandLineOverride::~ScopedProcessCommandLineOverride() { ProcessCommandLineOverride() = previous_; }

}  // namespace ostrel
