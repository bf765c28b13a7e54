#include "base/system_queries.h"

#include <windows.h>
#include <shlobj.h>

#include <vector>

#include "base/logging.h"
#include "base/module_version.h"
#include "base/os_facts.h"
#include "base/scoped_handle.h"

namespace ostrel {
namespace {

constexpr wchar_t kHkcuPrefix[] = L" HKEY_CURRENT_USER\\";
constexpr DWORD kReadBufferBytes = 2048;
constexpr DWORD kExpandBufferChars = 1024;

std::wstring ValuePath(const std::wstring& key, const std::wstring& name) { return key + L"\\" + name; }

ScopedRegKey OpenOrCreateForWrite(const std::wstring& key) {
  HKEY handle = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_WRITE, &handle) == ERROR_SUCCESS)
    return ScopedRegKey(handle);
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                        &handle, nullptr) == ERROR_SUCCESS) {
    return ScopedRegKey(handle);
  }
  return ScopedRegKey();
}

}  // namespace

const wchar_t* ProductKey() {
  static const std::wstring* key = [] {
    static constexpr wchar_t kInstallSuffix[] = L"";
    wchar_t buffer[MAX_PATH] = {};
    std::wstring full = std::wstring(L"Software\\Tarvik\\TarvikBrowser") + kInstallSuffix;
    wcsncpy(buffer, full.c_str(), MAX_PATH - 1);
    return new std::wstring(buffer);
  }();
  return key->c_str();
}

bool StoreValueInRegistry(const std::wstring& key, const std::wstring& name, const std::wstring& value) {
  ScopedRegKey handle = OpenOrCreateForWrite(key);
  bool ok = handle.IsValid() &&
            ::RegSetValueExW(handle.Get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
  LOG(INFO) << (ok ? "Stored" : "Failed to store") << kHkcuPrefix << ValuePath(key, name) << " = " << value;
  return ok;
}

bool ReadValueFromRegistry(const std::wstring& key, const std::wstring& name, std::wstring* value) {
  value->clear();
  HKEY raw = nullptr;
  LONG status = ::RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &raw);
  ScopedRegKey handle(status == ERROR_SUCCESS ? raw : nullptr);
  DWORD type = 0;
  std::vector<BYTE> buffer(kReadBufferBytes + sizeof(wchar_t), 0);
  DWORD size = kReadBufferBytes;
  if (status == ERROR_SUCCESS)
    status = ::RegQueryValueExW(handle.Get(), name.c_str(), nullptr, &type, buffer.data(), &size);
  if (status == ERROR_FILE_NOT_FOUND) {
    LOG(INFO) << "No value to read:" << kHkcuPrefix << ValuePath(key, name);
    return false;
  }
  bool ok = status == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ);
  std::wstring text;
  if (ok) {
    text.assign(reinterpret_cast<const wchar_t*>(buffer.data()), size / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    if (type == REG_EXPAND_SZ) {
      wchar_t expanded[kExpandBufferChars];
      DWORD length = ::ExpandEnvironmentStringsW(text.c_str(), expanded, kExpandBufferChars);
      ok = length != 0 && length <= kExpandBufferChars;
      if (ok) text.assign(expanded, length - 1);
    }
  }
  if (!ok) {
    LOG(INFO) << "Failed to read" << kHkcuPrefix << ValuePath(key, name);
    return false;
  }
  LOG(INFO) << "Read" << kHkcuPrefix << ValuePath(key, name) << " which is \"" << text << "\"";
  *value = std::move(text);
  return true;
}

bool RemoveValueFromRegistry(const std::wstring& key, const std::wstring& name) {
  ScopedRegKey handle = OpenOrCreateForWrite(key);
  LONG status = handle.IsValid() ? ::RegDeleteValueW(handle.Get(), name.c_str()) : ERROR_ACCESS_DENIED;
  if (status == ERROR_SUCCESS) {
    LOG(INFO) << "Removed" << kHkcuPrefix << ValuePath(key, name);
    return true;
  }
  if (status == ERROR_FILE_NOT_FOUND) {
    LOG(INFO) << "No value to remove:" << kHkcuPrefix << ValuePath(key, name);
  } else {
    LOG(INFO) << "Failed to remove" << kHkcuPrefix << ValuePath(key, name);
  }
  return false;
}

bool StoreProductValue(const std::wstring& name, const std::wstring& value) {
  return StoreValueInRegistry(ProductKey(), name, value);
}

std::wstring ReadProductValue(const std::wstring& name) {
  std::wstring value;
  ReadValueFromRegistry(ProductKey(), name, &value);
  return value;
}

bool RemoveProductValue(const std::wstring& name) { return RemoveValueFromRegistry(ProductKey(), name); }

bool GetFileVersion(const std::wstring& path, uint64_t* version) {
  VS_FIXEDFILEINFO info;
  if (!GetModuleVersionAndType(path, &info)) return false;
  LOG(INFO) << "File: " << path << " Version: " << static_cast<unsigned long>(info.dwFileVersionMS) << "."
            << static_cast<unsigned long>(info.dwFileVersionLS);
  *version = (static_cast<uint64_t>(info.dwFileVersionMS) << 32) | info.dwFileVersionLS;
  return true;
}

std::string GetFileVersionString(const std::wstring& path) {
  uint64_t version = 0;
  if (!GetFileVersion(path, &version)) return "0.0.0.0";
  return std::to_string((version >> 48) & 0xFFFF) + "." + std::to_string((version >> 32) & 0xFFFF) + "." +
         std::to_string((version >> 16) & 0xFFFF) + "." + std::to_string(version & 0xFFFF);
}

bool HasEnoughDiskSpace(bool system_level, uint64_t required_bytes) {
  wchar_t folder[MAX_PATH] = {};
  if (FAILED(::SHGetFolderPathW(nullptr, system_level ? CSIDL_PROGRAM_FILES : CSIDL_LOCAL_APPDATA, nullptr,
                                SHGFP_TYPE_CURRENT, folder))) {
    LOG(INFO) << "SHGetFolderPath failed";
    return true;
  }
  uint64_t available = 0;
  if (!GetOsFacts().GetFreeDiskSpace(folder, &available)) {
    LOG(INFO) << "GetDiskFreeSpaceEx failed";
    return true;
  }
  if (available >= required_bytes) return true;
  LOG(INFO) << "There is not enough disk space to install browser";
  return false;
}

bool CheckProcessorFeatures(MissingProcessorFeature* missing) {
  OsFacts& facts = GetOsFacts();
  bool sse2 = facts.IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE);
  bool sse3 = facts.IsProcessorFeaturePresent(PF_SSE3_INSTRUCTIONS_AVAILABLE);
  if (sse2 && sse3) return true;
  *missing = sse3 ? MissingProcessorFeature::kSse2 : MissingProcessorFeature::kSse3;
  return false;
}

}  // namespace ostrel
