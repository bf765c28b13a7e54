#include "base/file_util.h"

#include <windows.h>
#include <winternl.h>

#include "base/os_facts.h"
#include "base/scoped_handle.h"

namespace ostrel {
namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

DWORD Attributes(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()); }

bool EqualIgnoringCase(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

// Attributes and link count from the information classes that need no
// volume query: GetFileInformationByHandle also reads the volume's serial
// number, which costs about a millisecond under Wine, and an elevated
// process's every log record asks twice.
bool QueryAttributesAndLinks(HANDLE handle, DWORD* attributes, DWORD* links) {
  FILE_BASIC_INFO basic = {};
  FILE_STANDARD_INFO standard = {};
  if (!::GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof(basic)) ||
      !::GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof(standard)))
    return false;
  *attributes = basic.FileAttributes;
  *links = standard.NumberOfLinks;
  return true;
}

// On a disk, neither a directory nor a reparse point, and no other name (a
// hard link shares its data with a name elsewhere).
bool IsPlainFile(HANDLE file) {
  DWORD attributes = 0;
  DWORD links = 0;
  return ::GetFileType(file) == FILE_TYPE_DISK && QueryAttributesAndLinks(file, &attributes, &links) &&
         !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) && links <= 1;
}

// In the folder whose final path is `folder_path`, as the file system itself
// resolved both.
bool IsInFolder(HANDLE file, std::wstring folder_path) {
  std::wstring file_path = FinalPathOf(file);
  // A volume's root ends with its separator.
  if (!folder_path.empty() && folder_path.back() == L'\\') folder_path.pop_back();
  return !file_path.empty() && !folder_path.empty() && EqualIgnoringCase(DirName(file_path), folder_path);
}

// Keeps `file` when it was found plain; a file this open created and then
// refused goes again, so that nothing is left where a link led.
NoFollowOpen KeepIfPlain(bool created, bool plain, ScopedFileHandle* file) {
  if (plain) return NoFollowOpen::kOpened;
  if (created) DeleteThroughHandle(file->Get());
  file->Reset();
  return NoFollowOpen::kNotPlain;
}

// A function of ntdll, which is in every process: looked up there instead of
// linked.
template <typename Function>
Function NtdllFunction(const char* name) {
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll ? reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(ntdll, name))) : nullptr;
}

bool WriteAll(HANDLE file, std::string_view bytes) {
  size_t total = 0;
  while (total < bytes.size()) {
    DWORD written = 0;
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - total, 1 << 20));
    if (!::WriteFile(file, bytes.data() + total, chunk, &written, nullptr) || written != chunk) return false;
    total += written;
  }
  return true;
}

}  // namespace

std::wstring FinalPathOf(HANDLE handle) {
  std::wstring path(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    DWORD length = ::GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()), VOLUME_NAME_NT);
    if (length == 0) return std::wstring();
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    // Too small: `length` counts the terminator too.
    path.resize(length);
  }
  return std::wstring();
}

std::wstring GetTempDirectory() {
  wchar_t buffer[MAX_PATH];
  DWORD length = ::GetTempPathW(MAX_PATH, buffer);
  if (length == 0 || length >= MAX_PATH) return std::wstring();
  return std::wstring(buffer, length);
}

std::wstring GetOwnExecutablePath() {
  wchar_t buffer[MAX_PATH];
  DWORD length = ::GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::wstring();
  return std::wstring(buffer, length);
}

std::wstring DirName(std::wstring_view path) {
  for (size_t i = path.size(); i > 0; --i) {
    if (IsSeparator(path[i - 1])) return std::wstring(path.substr(0, i - 1));
  }
  return std::wstring();
}

std::wstring BaseName(std::wstring_view path) {
  for (size_t i = path.size(); i > 0; --i) {
    if (IsSeparator(path[i - 1])) return std::wstring(path.substr(i));
  }
  return std::wstring(path);
}

std::wstring JoinPath(std::wstring_view directory, std::wstring_view name) {
  std::wstring result(directory);
  if (!result.empty() && !IsSeparator(result.back())) result.push_back(L'\\');
  result.append(name);
  return result;
}

bool IsAbsolutePath(std::wstring_view path) {
  if (path.size() >= 3 && ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')) &&
      path[1] == L':' && IsSeparator(path[2])) {
    return true;
  }
  return path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]);
}

bool PathExists(const std::wstring& path) { return Attributes(path) != INVALID_FILE_ATTRIBUTES; }

bool FileExists(const std::wstring& path) {
  DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::wstring& path) {
  DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool CreateDirectoryRecursive(const std::wstring& path) {
  std::wstring trimmed = path;
  while (trimmed.size() > 3 && IsSeparator(trimmed.back())) trimmed.pop_back();
  if (trimmed.empty()) return false;
  if (DirectoryExists(trimmed)) return true;
  std::wstring parent = DirName(trimmed);
  if (!parent.empty() && parent != trimmed && !DirectoryExists(parent)) {
    if (!CreateDirectoryRecursive(parent)) return false;
  }
  if (::CreateDirectoryW(trimmed.c_str(), nullptr)) return true;
  return ::GetLastError() == ERROR_ALREADY_EXISTS && DirectoryExists(trimmed);
}

bool DeleteDirectoryRecursive(const std::wstring& path) {
  WIN32_FIND_DATAW data;
  ScopedFindHandle find(::FindFirstFileW(JoinPath(path, L"*").c_str(), &data));
  if (find.IsValid()) {
    do {
      std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring child = JoinPath(path, name);
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        DeleteDirectoryRecursive(child);
      } else {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
          ::SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(child.c_str());
      }
    } while (::FindNextFileW(find.Get(), &data));
  }
  find.Close();
  return ::RemoveDirectoryW(path.c_str()) != FALSE;
}

bool ReadFileToBytes(const std::wstring& path, std::string* bytes) {
  bytes->clear();
  ScopedFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsValid()) return false;
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(file.Get(), &size) || size.QuadPart > 0x7FFFFFFF) return false;
  bytes->resize(static_cast<size_t>(size.QuadPart));
  DWORD total = 0;
  while (total < bytes->size()) {
    DWORD read = 0;
    if (!::ReadFile(file.Get(), bytes->data() + total, static_cast<DWORD>(bytes->size() - total), &read,
                    nullptr) ||
        read == 0) {
      bytes->clear();
      return false;
    }
    total += read;
  }
  return true;
}

bool WriteBytesToFile(const std::wstring& path, std::string_view bytes) {
  ScopedFileHandle file(
      ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  return file.IsValid() && WriteAll(file.Get(), bytes);
}

bool WriteNewFile(const std::wstring& path, std::string_view bytes) {
  ScopedFileHandle file(
      ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsValid()) return false;
  if (WriteAll(file.Get(), bytes)) return true;
  DWORD error = ::GetLastError();
  file.Close();
  // Ours, and not whole: nobody may read it as if it were.
  ::DeleteFileW(path.c_str());
  ::SetLastError(error);
  return false;
}

bool WriteDataFile(const std::wstring& path, std::string_view bytes) {
  return GetOsFacts().IsProcessElevated() ? WriteNewFile(path, bytes) : WriteBytesToFile(path, bytes);
}

std::wstring CreateUniqueTempFile(const std::wstring& directory, const wchar_t* prefix) {
  if (directory.empty()) return std::wstring();
  wchar_t buffer[MAX_PATH];
  if (!::GetTempFileNameW(directory.c_str(), prefix, 0, buffer)) return std::wstring();
  return buffer;
}

std::wstring CreateUniqueTempDirectory(const std::wstring& parent, const wchar_t* prefix) {
  if (parent.empty()) return std::wstring();
  for (int attempt = 0; attempt < 50; ++attempt) {
    wchar_t name[64];
    swprintf(name, 64, L"%ls%lu_%lu_%d", prefix ? prefix : L"", ::GetCurrentProcessId(), ::GetTickCount(),
             attempt);
    std::wstring path = JoinPath(parent, name);
    if (::CreateDirectoryW(path.c_str(), nullptr)) return path;
    if (::GetLastError() != ERROR_ALREADY_EXISTS) return std::wstring();
  }
  return std::wstring();
}

NoFollowOpen OpenFolderNoFollow(const std::wstring& path, ScopedFileHandle* folder) {
  // "C:" alone names the drive's current folder, not its root.
  std::wstring name = path.size() == 2 && path[1] == L':' ? path + L'\\' : path;
  folder->Reset(::CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!folder->IsValid()) return NoFollowOpen::kFailed;
  DWORD attributes = 0;
  DWORD links = 0;
  if (!QueryAttributesAndLinks(folder->Get(), &attributes, &links)) {
    folder->Reset();
    return NoFollowOpen::kFailed;
  }
  if (::GetFileType(folder->Get()) != FILE_TYPE_DISK || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    folder->Reset();
    return NoFollowOpen::kNotPlain;
  }
  return NoFollowOpen::kOpened;
}

NoFollowOpen OpenPlainFileNoFollow(HANDLE folder, const std::wstring& path, DWORD access, DWORD share,
                                   DWORD disposition, ScopedFileHandle* file) {
  file->Reset(::CreateFileW(path.c_str(), access, share, nullptr, disposition,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file->IsValid()) return NoFollowOpen::kFailed;
  bool created =
      disposition != OPEN_EXISTING && disposition != TRUNCATE_EXISTING && ::GetLastError() != ERROR_ALREADY_EXISTS;
  return KeepIfPlain(created, IsPlainFile(file->Get()) && IsInFolder(file->Get(), FinalPathOf(folder)), file);
}

NoFollowOpen OpenPlainFileInFolder(HANDLE folder, std::wstring_view name, DWORD access, DWORD share,
                                   DWORD disposition, ScopedFileHandle* file) {
  file->Reset();
  ULONG nt_disposition = 0;
  switch (disposition) {
    case CREATE_NEW:
      nt_disposition = FILE_CREATE;
      break;
    case CREATE_ALWAYS:
      nt_disposition = FILE_OVERWRITE_IF;
      break;
    case OPEN_EXISTING:
      nt_disposition = FILE_OPEN;
      break;
    case OPEN_ALWAYS:
      nt_disposition = FILE_OPEN_IF;
      break;
    case TRUNCATE_EXISTING:
      nt_disposition = FILE_OVERWRITE;
      break;
    default:
      ::SetLastError(ERROR_INVALID_PARAMETER);
      return NoFollowOpen::kFailed;
  }
  // A bare name only: nothing that could climb out of the folder.
  if (name.empty() || name == L"." || name == L".." || name.find_first_of(L"\\/:") != std::wstring_view::npos ||
      name.size() > 32767) {
    ::SetLastError(ERROR_INVALID_NAME);
    return NoFollowOpen::kFailed;
  }
  // The native open: the one that starts from a folder handle.
  using OpenFunction = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, PLARGE_INTEGER,
                                        ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
  auto open = NtdllFunction<OpenFunction>("NtCreateFile");
  if (!open) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return NoFollowOpen::kFailed;
  }
  UNICODE_STRING nt_name;
  nt_name.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
  nt_name.MaximumLength = nt_name.Length;
  nt_name.Buffer = const_cast<PWSTR>(name.data());
  OBJECT_ATTRIBUTES attributes = {};
  attributes.Length = sizeof(attributes);
  attributes.RootDirectory = folder;
  attributes.ObjectName = &nt_name;
  attributes.Attributes = OBJ_CASE_INSENSITIVE;
  IO_STATUS_BLOCK io = {};
  HANDLE handle = nullptr;
  NTSTATUS status = open(&handle, access | SYNCHRONIZE | FILE_READ_ATTRIBUTES, &attributes, &io, nullptr,
                         FILE_ATTRIBUTE_NORMAL, share, nt_disposition,
                         FILE_NON_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT, nullptr, 0);
  if (status < 0) {
    using StatusToErrorFunction = ULONG(NTAPI*)(NTSTATUS);
    auto status_to_error = NtdllFunction<StatusToErrorFunction>("RtlNtStatusToDosError");
    ::SetLastError(status_to_error ? status_to_error(status) : ERROR_OPEN_FAILED);
    return NoFollowOpen::kFailed;
  }
  file->Reset(handle);
  return KeepIfPlain(io.Information == FILE_CREATED, IsPlainFile(handle), file);
}

bool DeleteThroughHandle(HANDLE file) {
  FILE_DISPOSITION_INFO disposition = {TRUE};
  if (::SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof(disposition))) return true;
  DWORD error = ::GetLastError();
  ScopedFileHandle deleter(::ReOpenFile(file, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0));
  if (deleter.IsValid() &&
      ::SetFileInformationByHandle(deleter.Get(), FileDispositionInfo, &disposition, sizeof(disposition))) {
    return true;
  }
  ::SetLastError(error);
  return false;
}

}  // namespace ostrel
