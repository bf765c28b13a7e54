// The stand-in setup program and stand-in browser: what tests may set and
// what the programs leave behind. The setup program's side of the contract
// with the installer (registered messages, registry values, the browser's
// message window) is spelled here once for the stand-ins and their tests.
//
// Every setting comes from a setup switch ("--standin-exit-code=7"; the
// installer passes its own switches on to setup, so a test can put them on
// the installer's command line) or, when the switch is absent, from the
// environment variable named beside it (inherited by every process the test
// starts, elevated copies included).
#ifndef STANDINS_SETUP_STANDIN_CONTRACT_H_
#define STANDINS_SETUP_STANDIN_CONTRACT_H_

namespace ostrel::standin {

// Exit code of setup: decimal (also negative) or 0x hex. Default 0. Only 0
// installs; any other code is a failed run that installs nothing.
inline constexpr char kExitCodeSwitch[] = "standin-exit-code";
inline constexpr wchar_t kExitCodeEnv[] = L"TARVIK_STANDIN_EXIT_CODE";

// File that every run appends one JSON line to (UTF-8):
//   {"role":"setup","pid":N,"command_line":"<raw>","program":"<path>",
//    "switches":{"name":"value",...},"install_stat":"<text>","install_dir":"...",
//    "browser_started":true,"exit_code":N,"answer":N}
// "install_stat" is the installer's statistics hand-over value as setup found
// it when it started (left out when there was none).
// and the stand-in browser {"role":"browser","pid":N,"command_line":"<raw>"}.
// Default: %TEMP%\tarvik_standin_record.jsonl.
inline constexpr char kRecordSwitch[] = "standin-record";
inline constexpr wchar_t kRecordEnv[] = L"TARVIK_STANDIN_RECORD";
inline constexpr wchar_t kDefaultRecordName[] = L"tarvik_standin_record.jsonl";

// What setup does instead of a plain installation:
//   install                   (default)
//   higher-version            posts "tarvik.higher_version_exist", installs nothing
//   corp-higher-version       posts "tarvik.corp.user_higher_version_exist", installs nothing
//   corp-browser-exists       sends "tarvik.corp.user_browser_exists"; installs when answered 1
inline constexpr char kModeSwitch[] = "standin-mode";
inline constexpr wchar_t kModeEnv[] = L"TARVIK_STANDIN_MODE";

// Milliseconds setup sleeps before installing (to keep the archive in use).
inline constexpr char kDelaySwitch[] = "standin-delay-ms";
inline constexpr wchar_t kDelayEnv[] = L"TARVIK_STANDIN_DELAY_MS";
// Milliseconds between two progress messages. Default 20.
inline constexpr char kStepDelaySwitch[] = "standin-step-delay-ms";
inline constexpr wchar_t kStepDelayEnv[] = L"TARVIK_STANDIN_STEP_DELAY_MS";
// How long the started browser keeps its window, in milliseconds. Default 30000.
inline constexpr char kBrowserLifetimeSwitch[] = "standin-browser-lifetime-ms";
inline constexpr wchar_t kBrowserLifetimeEnv[] = L"TARVIK_STANDIN_BROWSER_LIFETIME_MS";
// Version written as "pv". Default kDefaultBrowserVersion, which is also the
// setup program's own file version.
inline constexpr char kBrowserVersionSwitch[] = "standin-browser-version";
inline constexpr wchar_t kBrowserVersionEnv[] = L"TARVIK_STANDIN_BROWSER_VERSION";
inline constexpr wchar_t kDefaultBrowserVersion[] = L"25.2.0.1234";
// Folder that replaces the local application data folder (per user) or
// Program Files (system level) as the root of the installation.
inline constexpr char kInstallRootSwitch[] = "standin-install-root";
inline constexpr wchar_t kInstallRootEnv[] = L"TARVIK_STANDIN_INSTALL_ROOT";

// With system-level: the machine's product key also gets "corporate" =
// "true", an administrator-managed installation.
inline constexpr char kCorporateSwitch[] = "standin-corporate";

// Switches of the installer's setup command line that setup acts on.
inline constexpr char kProgressWindowSwitch[] = "progress-window";
inline constexpr char kSystemLevelSwitch[] = "system-level";
inline constexpr char kDoNotLaunchBrowserSwitch[] = "do-not-launch-browser";

// Registered window messages posted (or sent) to the progress window.
inline constexpr wchar_t kSetInstallProgressMessage[] = L"tarvik.lite.set_install_progress";
inline constexpr wchar_t kSetImportProgressMessage[] = L"tarvik.lite.set_import_progress";
inline constexpr wchar_t kCloseWindowMessage[] = L"tarvik.lite.close_window";
inline constexpr wchar_t kHigherVersionExistMessage[] = L"tarvik.higher_version_exist";
inline constexpr wchar_t kCorpUserHigherVersionExistMessage[] = L"tarvik.corp.user_higher_version_exist";
inline constexpr wchar_t kCorpUserBrowserExistsMessage[] = L"tarvik.corp.user_browser_exists";
inline constexpr unsigned kInstallStageStarted = 5;
inline constexpr unsigned kInstallStageFilesInPlace = 7;

// The installation: <root>\Tarvik\TarvikBrowser\Application\browser.exe and
// <root>\Tarvik\TarvikBrowser\Application\<version>\Installer\setup.exe;
// under HKCU (HKLM with system-level), 32-bit view, the product key gets
// "pv" = version and "UninstallString" = the setup.exe path.
inline constexpr wchar_t kProductRelativePath[] = L"Tarvik\\TarvikBrowser";
inline constexpr wchar_t kProductRegistryKey[] = L"Software\\Tarvik\\TarvikBrowser";
inline constexpr wchar_t kVersionValue[] = L"pv";
inline constexpr wchar_t kUninstallStringValue[] = L"UninstallString";
inline constexpr wchar_t kCorporateMarkValue[] = L"corporate";
// Under the product key of HKCU: the statistics parameters the installer
// hands to setup.
inline constexpr wchar_t kInstallStatValue[] = L"install_stat";
inline constexpr wchar_t kBrowserExeName[] = L"browser.exe";

// The stand-in browser's message-only window.
inline constexpr wchar_t kBrowserWindowClass[] = L"TarvikBrowser_MessageWindow";
inline constexpr char kBrowserLifetimeArgument[] = "lifetime-ms";

}  // namespace ostrel::standin

#endif  // STANDINS_SETUP_STANDIN_CONTRACT_H_
