#include "reporting/user_id.h"

#include <windows.h>
#include <lmcons.h>
#include <objbase.h>
#include <shlobj.h>

#include "base/file_util.h"
#include "base/logging.h"
#include "base/os_facts.h"
#include "base/scoped_handle.h"
#include "base/utf_string_conversions.h"

namespace ostrel {
namespace {

class RealUserIdEnvironment final : public UserIdEnvironment {
 public:
  bool GetAppDataFolder(bool create, std::wstring* folder) override {
    wchar_t buffer[MAX_PATH] = {};
    if (!::SHGetSpecialFolderPathW(nullptr, buffer, CSIDL_APPDATA, create ? TRUE : FALSE)) return false;
    folder->assign(buffer);
    return true;
  }
  bool QueryUserName(std::wstring* name) override {
    wchar_t buffer[UNLEN + 1] = {};
    DWORD size = UNLEN + 1;
    if (!::GetUserNameW(buffer, &size)) return false;
    name->assign(buffer);
    return true;
  }
};

UserIdEnvironment*& EnvironmentSlot() {
  static UserIdEnvironment* environment = nullptr;
  return environment;
}

bool MarkerValueName(std::wstring* name) {
  std::wstring user;
  if (!GetUserIdEnvironment().QueryUserName(&user)) return false;
  *name = kUserIdMarkerPrefix + user;
  return true;
}

bool IsVistaOrLater() { return CurrentWindowsVersion() >= VERSION_VISTA; }

// Reads at most one byte more than an identifier may have, so an oversized
// file shows as content that is too long.
bool ReadUserIdFromFile(const std::wstring& path, std::string* content) {
  ScopedFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  char buffer[kMaxUserIdLength + 1];
  DWORD total = 0;
  bool ok = file.IsValid();
  while (ok && total < sizeof(buffer)) {
    DWORD read = 0;
    ok = ::ReadFile(file.Get(), buffer + total, static_cast<DWORD>(sizeof(buffer) - total), &read, nullptr) != FALSE;
    if (read == 0) break;
    total += read;
  }
  if (!ok) {
    LOG(WARNING) << "Failed to read file " << path;
    return false;
  }
  content->assign(buffer, total);
  return true;
}

}  // namespace

std::string UserIdWithoutBraces(const std::string& user_id) {
  if (user_id.size() >= 2 && user_id.front() == '{' && user_id.back() == '}')
    return user_id.substr(1, user_id.size() - 2);
  return user_id;
}

UserIdEnvironment& GetUserIdEnvironment() {
  if (UserIdEnvironment* environment = EnvironmentSlot()) return *environment;
  static RealUserIdEnvironment* real = new RealUserIdEnvironment();
  return *real;
}

ScopedUserIdEnvironmentOverride::ScopedUserIdEnvironmentOverride(UserIdEnvironment* environment)
    : previous_(EnvironmentSlot()) {
  EnvironmentSlot() = environment;
}

ScopedUserIdEnvironmentOverride::~ScopedUserIdEnvironmentOverride() { EnvironmentSlot() = previous_; }

std::string GetUserIdInternal() {
  std::wstring path = GetUserIdFilePath(false);
  if (!path.empty() && FileExists(path)) {
    std::string content;
    if (ReadUserIdFromFile(path, &content)) {
      if (!content.empty() && content.size() <= kMaxUserIdLength) return content;
      LOG(WARNING) << "Incorrect User ID file content";
    }
  }
  if (IsUidCreated()) {
    // A user who once had an identifier keeps counting as that user.
    LOG(INFO) << "Registry entry already exists, skip User ID file generation";
    return std::string();
  }
  std::string user_id;
  if (!GenerateAndStoreUserId(&user_id)) return std::string();
  return user_id;
}

std::wstring GetUserIdFilePath(bool create) {
  std::wstring folder;
  if (!GetUserIdEnvironment().GetAppDataFolder(create, &folder)) {
    LOG(WARNING) << "Can't get path to AppData folder";
    return std::wstring();
  }
  std::wstring directory = JoinPath(folder, kUserIdDirectoryName);
  if (create && !CreateDirectoryRecursive(directory)) {
    LOG(WARNING) << "Can't create directory: " << directory;
    return std::wstring();
  }
  return JoinPath(directory, kUserIdFileName);
}

bool GenerateAndStoreUserId(std::string* user_id) {
  GUID guid;
  if (FAILED(::CoCreateGuid(&guid))) return false;
  wchar_t text[40] = {};
  if (::StringFromGUID2(guid, text, static_cast<int>(std::size(text))) == 0) return false;
  std::string id = WideToUtf8(text);

  std::wstring path = GetUserIdFilePath(true);
  if (path.empty()) return false;
  if (!WriteBytesToFile(path, id)) {
    LOG(WARNING) << "Can't write file " << path;
    return false;
  }
  if (!RememberUidIsCreated()) {
    LOG(WARNING) << "Can't create 'UI created' entry";
    return false;
  }
  *user_id = std::move(id);
  return true;
}

bool RememberUidIsCreated() {
  std::wstring name;
  if (!MarkerValueName(&name)) return false;
  const wchar_t* key = IsVistaOrLater() ? kUserIdMarkerKey : kUserIdLegacyMarkerKey;
  HKEY raw = nullptr;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &raw,
                        nullptr) != ERROR_SUCCESS) {
    LOG(WARNING) << "Can't open registry key: " << key;
    return false;
  }
  ScopedRegKey handle(raw);
  DWORD data = 1;
  if (::RegSetValueExW(handle.Get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                       sizeof(data)) != ERROR_SUCCESS) {
    LOG(WARNING) << "Can't create registry value '" << name << "' at '" << key;
    return false;
  }
  return true;
}

bool IsUidCreated() {
  std::wstring name;
  if (!MarkerValueName(&name)) return false;
  if (RegistryValueExist(HKEY_CURRENT_USER, kUserIdLegacyMarkerKey, name)) return true;
  return IsVistaOrLater() && RegistryValueExist(HKEY_CURRENT_USER, kUserIdMarkerKey, name);
}

bool RegistryValueExist(HKEY root, const std::wstring& key, const std::wstring& name) {
  HKEY raw = nullptr;
  LONG status = ::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &raw);
  if (status != ERROR_SUCCESS) {
    if (status != ERROR_FILE_NOT_FOUND) LOG(WARNING) << "Can't open registry key: " << key;
    return false;
  }
  ScopedRegKey handle(raw);
  return ::RegQueryValueExW(handle.Get(), name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

}  // namespace ostrel
