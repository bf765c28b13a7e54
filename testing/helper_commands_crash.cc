// test_helper commands for the crash client. The installer itself has no way
// to crash on purpose; this command installs the crash client exactly as the
// installer's start-up does and then crashes.
//   crash <null|raise|exit> [--appdata=<dir>] [--user=<name>] [--temp=<dir>] [--upload-url=<url>]
//         [key=value ...]
// --temp is where the dump goes (Wine sets %TEMP% from the prefix, so a test
// on the host cannot choose it through the environment); --appdata and
// --user replace the user's application-data folder and name for the user
// identifier; --upload-url sends the report elsewhere than the crash
// collector. Each key=value becomes an annotation after "ptype".
#include <windows.h>

#include <string>

#include "base/utf_string_conversions.h"
#include "crash/crash_client.h"
#include "crash/crash_reporting.h"
#include "reporting/user_id.h"
#include "testing/helper_commands.h"

namespace ostrel::testing {
namespace {

constexpr DWORD kRaisedExceptionCode = 0xE0000042;

class FixedUserIdEnvironment : public UserIdEnvironment {
 public:
  std::wstring folder;
  std::wstring user;
  UserIdEnvironment* real = nullptr;

  bool GetAppDataFolder(bool create, std::wstring* out) override {
    if (folder.empty()) return real->GetAppDataFolder(create, out);
    *out = folder;
    return true;
  }
  bool QueryUserName(std::wstring* out) override {
    if (user.empty()) return real->QueryUserName(out);
    *out = user;
    return true;
  }
};

bool TakeOption(const std::wstring& argument, const wchar_t* name, std::wstring* value) {
  std::wstring prefix = std::wstring(L"--") + name + L"=";
  if (argument.rfind(prefix, 0) != 0) return false;
  *value = argument.substr(prefix.size());
  return true;
}

int Crash(const std::vector<std::wstring>& a) {
  if (a.empty()) return 2;
  FixedUserIdEnvironment environment;
  environment.real = &GetUserIdEnvironment();
  std::wstring upload_url;
  std::wstring temp;
  std::vector<std::pair<std::string, std::string>> annotations;
  for (size_t i = 1; i < a.size(); ++i) {
    if (TakeOption(a[i], L"appdata", &environment.folder) || TakeOption(a[i], L"user", &environment.user) ||
        TakeOption(a[i], L"upload-url", &upload_url) || TakeOption(a[i], L"temp", &temp)) {
      continue;
    }
    size_t equals = a[i].find(L'=');
    if (equals == std::wstring::npos) return 2;
    annotations.emplace_back(WideToUtf8(a[i].substr(0, equals)), WideToUtf8(a[i].substr(equals + 1)));
  }
  ScopedUserIdEnvironmentOverride environment_override(&environment);
  if (!temp.empty()) {
    ::SetEnvironmentVariableW(L"TMP", temp.c_str());
    ::SetEnvironmentVariableW(L"TEMP", temp.c_str());
  }

  StartCrashReporting();
  if (!upload_url.empty()) CrashClient::Get()->set_upload_url(WideToUtf8(upload_url));
  SetCrashAnnotation("ptype", "installer");
  for (const auto& [key, value] : annotations) SetCrashAnnotation(key, value);

  if (a[0] == L"null") {
    volatile int* nowhere = nullptr;
    *nowhere = 1;
  } else if (a[0] == L"raise") {
    ::RaiseException(kRaisedExceptionCode, EXCEPTION_NONCONTINUABLE, 0, nullptr);
  } else if (a[0] != L"exit") {
    return 2;
  }
  StopCrashReporting();
  return 0;
}

HelperCommandRegistrar crash_command(L"crash", Crash);

}  // namespace
}  // namespace ostrel::testing
