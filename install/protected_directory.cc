#include "install/protected_directory.h"

#include <sddl.h>

#include "base/file_util.h"
#include "base/hash.h"
#include "base/logging.h"

namespace ostrel {
namespace {

// Full control for SYSTEM and the Administrators group only, inherited by
// what is created inside; the parent's entries are not inherited.
constexpr wchar_t kAdministratorsOnlyDacl[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
constexpr int kDirectoryNameAttempts = 8;
constexpr size_t kDirectoryNameRandomBytes = 8;

// A name nobody can guess ahead: with predictable names, any user could
// create them all first and make every installation fail. Empty when the
// system's generator fails.
std::wstring RandomDirectoryName() {
  uint8_t bytes[kDirectoryNameRandomBytes];
  if (!FillRandomBytes(bytes, sizeof(bytes))) return std::wstring();
  std::string hex = HexEncodeLower(bytes, sizeof(bytes));
  return L"tbi" + std::wstring(hex.begin(), hex.end());
}

}  // namespace

std::wstring WindowsTempDirectory() {
  wchar_t windows[MAX_PATH] = {};
  UINT length = ::GetSystemWindowsDirectoryW(windows, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::wstring();
  return JoinPath(windows, L"Temp");
}

ProtectedDirectory::~ProtectedDirectory() { Remove(); }

bool ProtectedDirectory::Create(const std::wstring& parent) {
  Remove();
  // An empty parent would make the directory relative to the current one.
  if (!IsAbsolutePath(parent)) {
    LOG(ERROR) << "No folder for the protected directory: the Windows folder is unknown";
    return false;
  }
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kAdministratorsOnlyDacl, SDDL_REVISION_1, &descriptor,
                                                               nullptr)) {
    PLOG(ERROR) << "Cannot build the protected directory's security descriptor";
    return false;
  }
  ScopedLocalMemory descriptor_owner(descriptor);
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
  for (int attempt = 0; attempt < kDirectoryNameAttempts; ++attempt) {
    std::wstring name = RandomDirectoryName();
    if (name.empty()) {
      PLOG(ERROR) << "Cannot draw a random name for the protected directory";
      return false;
    }
    std::wstring directory = JoinPath(parent, name);
    if (::CreateDirectoryW(directory.c_str(), &attributes)) {
      path_ = directory;
      handle_.Reset(::CreateFileW(path_.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
      if (handle_.IsValid()) return true;
      PLOG(ERROR) << "Cannot hold the protected directory " << path_;
      Remove();
      return false;
    }
    if (::GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  // Missing or not writable: the error says which.
  PLOG(ERROR) << "Cannot create a protected directory in " << parent;
  return false;
}

void ProtectedDirectory::Remove() {
  if (path_.empty()) return;
  // Only what this process and setup put here: plain files. Nothing below
  // is followed, so a link (which only an administrator could make here)
  // loses itself, never its target.
  WIN32_FIND_DATAW data;
  ScopedFindHandle find(::FindFirstFileW(JoinPath(path_, L"*").c_str(), &data));
  if (find.IsValid()) {
    do {
      std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring child = JoinPath(path_, name);
      bool removed = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? ::RemoveDirectoryW(child.c_str())
                                                                         : ::DeleteFileW(child.c_str());
      if (!removed) PLOG(WARNING) << "Cannot delete " << child;
    } while (::FindNextFileW(find.Get(), &data));
  }
  find.Close();
  handle_.Close();
  if (!::RemoveDirectoryW(path_.c_str()) && ::GetLastError() != ERROR_FILE_NOT_FOUND)
    PLOG(WARNING) << "Cannot delete " << path_;
  path_.clear();
}

}  // namespace ostrel
