// The user identifier: a GUID per Windows user, kept in %APPDATA%\Tarvik\ui
// and sent with statistics, crash reports and the brand query. A registry
// marker remembers that one was created, so a deleted file is not replaced by
// a new identifier (the user would otherwise count as a new user).
#ifndef REPORTING_USER_ID_H_
#define REPORTING_USER_ID_H_

#include <windows.h>

#include <string>

namespace ostrel {

inline constexpr wchar_t kUserIdDirectoryName[] = L"Tarvik";
inline constexpr wchar_t kUserIdFileName[] = L"ui";
// The marker key on Windows Vista and later, and on earlier Windows.
inline constexpr wchar_t kUserIdMarkerKey[] = L"Software\\AppDataLow\\Tarvik";
inline constexpr wchar_t kUserIdLegacyMarkerKey[] = L"Software\\Tarvik";
inline constexpr wchar_t kUserIdMarkerPrefix[] = L"UICreated_";
// Files of 1 to this many bytes hold an identifier; one more byte is read to
// tell an oversized file.
inline constexpr size_t kMaxUserIdLength = 64;

// The identifier as stored (braces included); empty when none could be read
// or made. Creates one on first use.
std::string GetUserIdInternal();

// The identifier as statistics and the controller carry it: one pair of
// surrounding braces removed.
std::string UserIdWithoutBraces(const std::string& user_id);

// %APPDATA%\Tarvik\ui; with `create` the folders are created. Empty on failure.
std::wstring GetUserIdFilePath(bool create);

// Makes a new identifier, writes the file and sets the marker.
bool GenerateAndStoreUserId(std::string* user_id);

// Sets the marker value under the key for the running Windows version.
bool RememberUidIsCreated();

// Whether the marker exists under either key.
bool IsUidCreated();

// Whether `name` exists under `root`\`key`.
bool RegistryValueExist(HKEY root, const std::wstring& key, const std::wstring& name);

// What the identifier code asks of the user's environment. Tests substitute
// their own folder and user name, so they neither touch the prefix user's
// identifier nor collide with each other's markers.
class UserIdEnvironment {
 public:
  virtual ~UserIdEnvironment() = default;
  // The roaming application-data folder (created when `create` is set).
  virtual bool GetAppDataFolder(bool create, std::wstring* folder) = 0;
  // The Windows user name.
  virtual bool QueryUserName(std::wstring* name) = 0;
};

UserIdEnvironment& GetUserIdEnvironment();

class ScopedUserIdEnvironmentOverride {
 public:
  explicit ScopedUserIdEnvironmentOverride(UserIdEnvironment* environment);
  ScopedUserIdEnvironmentOverride(const ScopedUserIdEnvironmentOverride&) = delete;
  ScopedUserIdEnvironmentOverride& operator=(const ScopedUserIdEnvironmentOverride&) = delete;
  ~ScopedUserIdEnvironmentOverride();

 private:
  UserIdEnvironment* previous_;
};

}  // namespace ostrel

#endif  // REPORTING_USER_ID_H_
