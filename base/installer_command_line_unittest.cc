#include "base/installer_command_line.h"

#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <vector>

#include "base/switches.h"

namespace ostrel {
namespace {

std::vector<std::wstring> SplitWithSystem(const std::wstring& text) {
  int count = 0;
  LPWSTR* arguments = ::CommandLineToArgvW(text.c_str(), &count);
  std::vector<std::wstring> result;
  for (int i = 0; i < count; ++i) result.push_back(arguments[i]);
  ::LocalFree(arguments);
  return result;
}

std::string ValueName(size_t index) {
  std::string name = std::to_string(index);
  name.insert(name.begin(), 'v');
  return name;
}

TEST(InstallerCommandLineTest, PrefixesAndCaseGiveOneLowerCaseName) {
  for (const wchar_t* text : {L"setup.exe /SILENT", L"setup.exe -silent", L"setup.exe --Silent"}) {
    InstallerCommandLine command_line = InstallerCommandLine::ParseString(text);
    EXPECT_TRUE(command_line.IsSwitchPresent("silent")) << text;
    EXPECT_TRUE(command_line.IsSwitchPresent("SILENT")) << text;
    ASSERT_EQ(command_line.switches().size(), 1u) << text;
    EXPECT_EQ(command_line.switches().begin()->first, "silent");
  }
}

TEST(InstallerCommandLineTest, ValueRunsFromTheFirstEqualsSign) {
  InstallerCommandLine command_line = InstallerCommandLine::ParseString(L"x.exe --brand-name=a=b --empty= --bare");
  EXPECT_EQ(command_line.SwitchValueNative("brand-name"), L"a=b");
  EXPECT_TRUE(command_line.IsSwitchPresent("empty"));
  EXPECT_EQ(command_line.SwitchValueNative("empty"), L"");
  EXPECT_TRUE(command_line.IsSwitchPresent("bare"));
  EXPECT_EQ(command_line.SwitchValueNative("absent"), L"");
}

TEST(InstallerCommandLineTest, PlainArgumentsAreDroppedAndLastDuplicateWins) {
  InstallerCommandLine command_line =
      InstallerCommandLine::ParseString(L"  \"C:\\Program Files\\x.exe\"  plain --a=1 other --A=2 ");
  EXPECT_EQ(command_line.ProgramPath(), L"C:\\Program Files\\x.exe");
  ASSERT_EQ(command_line.switches().size(), 1u);
  EXPECT_EQ(command_line.SwitchValueNative("a"), L"2");
  EXPECT_EQ(command_line.Render(), L"\"C:\\Program Files\\x.exe\" --a=2");
}

TEST(InstallerCommandLineTest, EmptyTextGivesEmptyObject) {
  for (const wchar_t* text : {L"", L" \t\u3000\u00a0 "}) {
    InstallerCommandLine command_line = InstallerCommandLine::ParseString(text);
    EXPECT_EQ(command_line.ProgramPath(), L"");
    EXPECT_TRUE(command_line.switches().empty());
  }
}

TEST(InstallerCommandLineTest, SemiSilentExpandsToSilentAndUacEnabled) {
  InstallerCommandLine command_line = InstallerCommandLine::ParseString(L"x.exe --semi-silent");
  EXPECT_TRUE(command_line.IsSwitchPresent(switches::kSilent));
  EXPECT_TRUE(command_line.IsSwitchPresent(switches::kUacEnabled));
  EXPECT_TRUE(command_line.IsSwitchPresent(switches::kSemiSilent));
}

TEST(InstallerCommandLineTest, PutSwitchNormalisesNamesAndWidensBytes) {
  InstallerCommandLine command_line;
  command_line.PutSwitch("--Zeta", "v\xe9");
  command_line.PutSwitch("/alpha");
  command_line.PutSwitch("-mid", std::wstring_view(L"\u0416"));
  EXPECT_EQ(command_line.SwitchValueNative("zeta"), std::wstring(L"v\u00e9"));
  // The low byte of U+0416 is 0x16.
  EXPECT_EQ(command_line.SwitchValueAscii("mid"), std::string("\x16"));
  EXPECT_EQ(command_line.Render(), L" --alpha --mid=\u0416 --zeta=v\u00e9");

  command_line.PutSwitchIf(false, "alpha");
  command_line.PutSwitchIf(true, "beta");
  command_line.DropSwitch("ZETA");
  EXPECT_EQ(command_line.Render(), L" --beta --mid=\u0416");
}

// A name with a space would render as two switches, a quotation mark would
// join the following ones into its value; the low-byte step makes U+0120 and
// U+0122 into those characters. Such switches are dropped and named.
TEST(InstallerCommandLineTest, OnlyPlainAsciiNamesAreKept) {
  InstallerCommandLine command_line = InstallerCommandLine::ParseString(
      L"x.exe \"--foo --run-as-admin=1\" --a\\\"b=2 --\u0120c --d\u0122=3 -- --=v --\u00e9 /Ok_Name-2=v --silent");
  EXPECT_EQ(command_line.Render(), L"x.exe --ok_name-2=v --silent");
  EXPECT_EQ(command_line.rejected_switches(),
            (std::vector<std::string>{"--foo --run-as-admin", "--a\"b", "--\xc4\xa0" "c", "--d\xc4\xa2", "--", "--",
                                      "--\xc3\xa9"}));
}

TEST(InstallerCommandLineTest, ProgramPathIsTrimmed) {
  InstallerCommandLine command_line;
  command_line.SetProgramPath(L" \tC:\\a b\\setup.exe\u2028 ");
  EXPECT_EQ(command_line.ProgramPath(), L"C:\\a b\\setup.exe");
}

TEST(QuoteForCommandLineTest, QuotesOnlyWhenNeeded) {
  EXPECT_EQ(QuoteForCommandLine(L""), L"");
  EXPECT_EQ(QuoteForCommandLine(L"plain"), L"plain");
  EXPECT_EQ(QuoteForCommandLine(L"a b"), L"\"a b\"");
  EXPECT_EQ(QuoteForCommandLine(L"C:\\dir"), L"\"C:\\dir\"");
  EXPECT_EQ(QuoteForCommandLine(L"say \"hi\""), L"\"say \\\"hi\\\"\"");
  EXPECT_EQ(QuoteForCommandLine(L"end\\"), L"\"end\\\\\"");
  EXPECT_EQ(QuoteForCommandLine(L"a\\\\\"b"), L"\"a\\\\\\\\\\\"b\"");
  EXPECT_EQ(QuoteForCommandLine(L"in\\\\side"), L"\"in\\\\side\"");
}

// Every rendered value must come back unchanged through the system's own
// splitter, and through our parser.
TEST(InstallerCommandLineTest, RenderedValuesSurviveCommandLineToArgvW) {
  const std::vector<std::wstring> values = {
      L"a b",
      L"quote\"inside",
      L"\"",
      L"trailing\\",
      L"trailing two\\\\",
      L"inner\\\\run\\\"quote",
      L"C:\\Users\\Name With Space\\AppData\\Local\\Temp\\",
      L"\u041f\u0440\u0438\u0432\u0435\u0442 \u00e9\u00e8",
      L"tab\tinside",
      L"=leading equals",
      L"\\\\server\\share\\x.exe",
  };
  InstallerCommandLine command_line;
  command_line.SetProgramPath(L"C:\\Program Files\\Tarvik\\setup.exe");
  for (size_t i = 0; i < values.size(); ++i) command_line.PutSwitch(ValueName(i), values[i]);

  std::wstring rendered = command_line.Render();
  std::vector<std::wstring> arguments = SplitWithSystem(rendered);
  ASSERT_EQ(arguments.size(), values.size() + 1);
  EXPECT_EQ(arguments[0], L"C:\\Program Files\\Tarvik\\setup.exe");

  InstallerCommandLine parsed = InstallerCommandLine::ParseString(rendered);
  EXPECT_EQ(parsed.ProgramPath(), command_line.ProgramPath());
  for (size_t i = 0; i < values.size(); ++i) {
    std::string name = ValueName(i);
    EXPECT_EQ(parsed.SwitchValueNative(name), values[i]) << name;
  }
  EXPECT_EQ(parsed.Render(), rendered);
}

// The program is split by the first argument's own rules: no backslash
// escapes there, and a bare one keeps its quotation marks (both found by
// fuzz_replay; testing/fuzz_corpus/installer_command_line).
TEST(InstallerCommandLineTest, ProgramSurvivesRenderAndParse) {
  for (const wchar_t* text : {L"\"C:\\Downloads\\Tarvik Setup\\\" --silent", L"setuh=\"C:\\dir with space --x=1",
                              L"C:\\plain\\setup.exe --x=\"a b\""}) {
    InstallerCommandLine parsed = InstallerCommandLine::ParseString(text);
    std::wstring rendered = parsed.Render();
    EXPECT_EQ(SplitWithSystem(rendered)[0], parsed.ProgramPath()) << rendered;
    InstallerCommandLine again = InstallerCommandLine::ParseString(rendered);
    EXPECT_EQ(again.ProgramPath(), parsed.ProgramPath()) << rendered;
    EXPECT_EQ(again.switches(), parsed.switches()) << rendered;
  }
  EXPECT_EQ(QuoteProgramForCommandLine(L"C:\\a b\\"), L"\"C:\\a b\\\"");
  EXPECT_EQ(QuoteProgramForCommandLine(L"C:\\x.exe"), L"\"C:\\x.exe\"");
  EXPECT_EQ(QuoteProgramForCommandLine(L"a\"b"), L"a\"b");
}

TEST(InstallerCommandLineTest, TrailingWhiteSpaceOfAValueIsLostOnParsing) {
  InstallerCommandLine command_line;
  command_line.SetProgramPath(L"x.exe");
  command_line.PutSwitch("v", std::wstring_view(L"value  "));
  InstallerCommandLine parsed = InstallerCommandLine::ParseString(command_line.Render());
  EXPECT_EQ(parsed.SwitchValueNative("v"), L"value");
}

TEST(InstallerCommandLineTest, ProcessOverrideReplacesTheProcessObject) {
  InstallerCommandLine replacement = InstallerCommandLine::ParseString(L"x.exe --silent");
  {
    ScopedProcessCommandLineOverride scoped(replacement);
    EXPECT_TRUE(InstallerCommandLine::ProcessCommandLine().IsSwitchPresent("silent"));
  }
  EXPECT_FALSE(InstallerCommandLine::ProcessCommandLine().IsSwitchPresent("silent"));
}

}  // namespace
}  // namespace ostrel
