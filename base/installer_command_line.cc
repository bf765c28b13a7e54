#include "base/installer_command_line.h"

#include <windows.h>
#include <shellapi.h>

#include "base/logging.h"
#include "base/switches.h"
#include "base/utf_string_conversions.h"

namespace ostrel {
namespace {

constexpr size_t kRejectedNameLogLength = 200;

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

std::wstring QuoteProgramForCommandLine(std::wstring_view path) {
  // The first argument has its own splitting rule: quoted, it ends at the
  // next quotation mark and a backslash escapes nothing; bare, it ends at
  // the first space or tab and keeps any quotation mark. So a quote can only
  // be written bare, and a quoted path's trailing backslashes stay single.
  if (path.find(L'"') != std::wstring_view::npos || path.find_first_of(L" \t\\") == std::wstring_view::npos)
    return std::wstring(path);
  return L"\"" + std::wstring(path) + L"\"";
}

bool IsAllowedSwitchName(std::string_view name) {
  if (name.empty()) return false;
  for (char c : name) {
    bool allowed = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
    if (!allowed) return false;
  }
  return true;
}

void DropOversizedSwitchValues(InstallerCommandLine* command_line, const char* tag) {
  std::vector<std::string> oversized;
  for (const auto& [name, value] : command_line->switches())
    if (value.size() > kMaxPassThroughValueLength) oversized.push_back(name);
  for (const std::string& name : oversized) {
    LOG_TAG(WARNING, tag) << "Dropped switch " << name << ": its value has "
                          << static_cast<unsigned long long>(command_line->SwitchValueNative(name).size())
                          << " characters, more than " << static_cast<unsigned long long>(kMaxPassThroughValueLength);
    command_line->DropSwitch(name);
  }
}

void LogRejectedSwitches(const InstallerCommandLine& command_line, const char* tag) {
  for (const std::string& argument : command_line.rejected_switches())
    LOG_TAG(WARNING, tag) << "Dropped a switch with a name that is not plain ASCII letters, digits, - and _: "
                          << argument;
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
    std::string low_bytes = WideToLowBytes(name);
    if (!IsAllowedSwitchName(NormalizeName(low_bytes))) {
      // Enough of the name to find it; the value stays out of the log.
      result.rejected_switches_.push_back(WideToUtf8(std::wstring_view(name).substr(0, kRejectedNameLogLength)));
      continue;
    }
    result.PutSwitch(low_bytes, std::wstring_view(value));
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
  std::wstring text = QuoteProgramForCommandLine(program_);
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
