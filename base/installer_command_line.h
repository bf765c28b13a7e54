// The installer's command line: a program path plus switches (lower-case
// names without prefix, UTF-16 values). Plain arguments, the order and the
// prefixes of the switches are not kept; rendering lists switches by name.
#ifndef BASE_INSTALLER_COMMAND_LINE_H_
#define BASE_INSTALLER_COMMAND_LINE_H_

#include <map>
#include <string>
#include <string_view>

namespace ostrel {

class InstallerCommandLine {
 public:
  using SwitchMap = std::map<std::string, std::wstring>;

  InstallerCommandLine() = default;
  InstallerCommandLine(const InstallerCommandLine&) = default;
  InstallerCommandLine& operator=(const InstallerCommandLine&) = default;

  // The process-wide command line, parsed from GetCommandLineW() on first use.
  static const InstallerCommandLine& ProcessCommandLine();

  static InstallerCommandLine ParseString(std::wstring_view text);

  bool IsSwitchPresent(std::string_view name) const;
  std::wstring SwitchValueNative(std::string_view name) const;
  // Each UTF-16 unit reduced to its low byte.
  std::string SwitchValueAscii(std::string_view name) const;

  void PutSwitch(std::string_view name);
  void PutSwitch(std::string_view name, std::wstring_view value);
  // Each byte widened to one UTF-16 unit.
  void PutSwitch(std::string_view name, std::string_view value);
  void PutSwitch(std::string_view name, const char* value) { PutSwitch(name, std::string_view(value)); }
  void PutSwitch(std::string_view name, const wchar_t* value) { PutSwitch(name, std::wstring_view(value)); }
  void PutSwitchIf(bool flag, std::string_view name);
  void DropSwitch(std::string_view name);

  const std::wstring& ProgramPath() const { return program_; }
  void SetProgramPath(std::wstring_view path);

  std::wstring Render() const;

  const SwitchMap& switches() const { return switches_; }

 private:
  static std::string NormalizeName(std::string_view name);
  void ExpandShorthands();

  std::wstring program_;
  SwitchMap switches_;
};

// Replaces the process-wide command line while it lives (tests only).
class ScopedProcessCommandLineOverride {
 public:
  explicit ScopedProcessCommandLineOverride(const InstallerCommandLine& command_line);
  ScopedProcessCommandLineOverride(const ScopedProcessCommandLineOverride&) = delete;
  ScopedProcessCommandLineOverride& operator=(const ScopedProcessCommandLineOverride&) = delete;
  ~ScopedProcessCommandLineOverride();

 private:
  const InstallerCommandLine* previous_;
  InstallerCommandLine command_line_;
};

// White space as the command line trims it (Unicode white space).
bool IsCommandLineWhitespace(wchar_t c);
std::wstring TrimCommandLineWhitespace(std::wstring_view text);

// Quotes `text` so that CommandLineToArgvW gives it back unchanged.
std::wstring QuoteForCommandLine(std::wstring_view text);

}  // namespace ostrel

#endif  // BASE_INSTALLER_COMMAND_LINE_H_
