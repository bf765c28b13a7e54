// The installer's command line: a program path plus switches (lower-case
// names without prefix, UTF-16 values). Plain arguments, the order and the
// prefixes of the switches are not kept; rendering lists switches by name.
#ifndef BASE_INSTALLER_COMMAND_LINE_H_
#define BASE_INSTALLER_COMMAND_LINE_H_

#include <map>
#include <string>
#include <string_view>
#include <vector>

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

  // Arguments of the parsed text that looked like switches but whose names
  // (after the low-byte step) hold anything other than ASCII letters, digits,
  // "-" and "_": they were dropped, since rendered into a child's command line
  // they would become other switches. As given, in UTF-8.
  const std::vector<std::string>& rejected_switches() const { return rejected_switches_; }

 private:
  static std::string NormalizeName(std::string_view name);
  void ExpandShorthands();

  std::wstring program_;
  SwitchMap switches_;
  std::vector<std::string> rejected_switches_;
};

// CreateProcessW takes at most 32,767 characters with the terminating zero;
// a longer command line is refused, or cut short on the way to the child.
inline constexpr size_t kMaxCommandLineLength = 32766;
// Longest switch value passed on unchanged to a child (setup, the elevated
// copy): room for the installer's own switches beside a few such values.
inline constexpr size_t kMaxPassThroughValueLength = 4096;

// Drops every switch whose value is longer than kMaxPassThroughValueLength,
// each with a WARNING line under `tag`.
void DropOversizedSwitchValues(InstallerCommandLine* command_line, const char* tag);

// Whether `name` (lower-cased, without prefix) may be a switch name.
bool IsAllowedSwitchName(std::string_view name);

// One WARNING line under `tag` for each of `command_line`'s rejected switches.
void LogRejectedSwitches(const InstallerCommandLine& command_line, const char* tag);

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
// The same for the program, the first argument, which CommandLineToArgvW
// splits by other rules. A path holding both a quotation mark and a space or
// tab cannot be written at all (no file name holds a quotation mark).
std::wstring QuoteProgramForCommandLine(std::wstring_view path);

}  // namespace ostrel

#endif  // BASE_INSTALLER_COMMAND_LINE_H_
