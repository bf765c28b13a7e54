#include "install/protected_archive_copy.h"

#include <vector>

#include "base/file_util.h"
#include "base/logging.h"
#include "base/switches.h"

namespace ostrel {
namespace {

constexpr DWORD kCopyChunkBytes = 64 * 1024;

bool HasDotDotComponent(const std::wstring& path) {
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find_first_of(L"\\/", start);
    if (end == std::wstring::npos) end = path.size();
    if (path.compare(start, end - start, L"..") == 0) return true;
    start = end + 1;
  }
  return false;
}

bool CopyThroughHandles(HANDLE from, HANDLE to, uint64_t expected_size) {
  std::vector<char> buffer(kCopyChunkBytes);
  uint64_t copied = 0;
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(from, buffer.data(), kCopyChunkBytes, &read, nullptr)) return false;
    if (read == 0) break;
    DWORD written = 0;
    if (!::WriteFile(to, buffer.data(), read, &written, nullptr) || written != read) return false;
    copied += read;
  }
  return copied == expected_size;
}

// `source` opened without following a reparse point at its name, with no
// write or delete sharing so it cannot change while it is copied; invalid
// (logged) unless it is a plain file on disk.
ScopedFileHandle OpenPlainFileToCopy(const std::wstring& source, uint64_t* size) {
  ScopedFileHandle from(::CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!from.IsValid()) {
    PLOG(ERROR) << "Cannot open " << source;
    return ScopedFileHandle();
  }
  BY_HANDLE_FILE_INFORMATION info = {};
  if (!::GetFileInformationByHandle(from.Get(), &info) || ::GetFileType(from.Get()) != FILE_TYPE_DISK ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
    LOG(ERROR) << "Not a plain file: " << source;
    return ScopedFileHandle();
  }
  *size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  return from;
}

// The switches of setup's command line that name files setup reads: the
// handed-over data files and those the first copy downloaded or wrote.
constexpr const char* kDataFileSwitches[] = {
    switches::kInstallerData,         switches::kClidsFile,          switches::kTarvikWebsiteIconFile,
    switches::kBrandPackage,          switches::kPartnerPackage,     switches::kDistrInfoFile,
    switches::kAbtConfigResourceFile, switches::kVariationsUpdatePath, switches::kAbtUpdatePath,
    switches::kWebntpPath,            switches::kServerConfigBundlePath, switches::kPreloadedWallpaperBundlePath,
};

}  // namespace

std::string HandedOverPathProblem(const std::wstring& path) {
  if (!IsAbsolutePath(path)) return "not an absolute path";
  // "\\?\" and "\\.\" reach devices and skip the path rules.
  if (path.rfind(L"\\\\?\\", 0) == 0 || path.rfind(L"\\\\.\\", 0) == 0) return "a device path";
  if (HasDotDotComponent(path)) return "a \"..\" component";
  DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return "no such file";
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return "a reparse point";
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return "a directory";
  return std::string();
}

void DropUnsafeHandedOverPaths(DelayedParams* params) {
  struct Field {
    const char* name;
    std::wstring* path;
  };
  const Field fields[] = {
      {"installer_data_path", &params->installer_data_path},
      {"clids_file_path", &params->clids_file_path},
      {"tarvik_website_icon_file_path", &params->tarvik_website_icon_file_path},
      {"brand_package_path", &params->brand_package_path},
      {"partner_package_path", &params->partner_package_path},
      {"partner_package_override_path", &params->partner_package_override_path},
  };
  for (const Field& field : fields) {
    if (field.path->empty()) continue;
    std::string problem = HandedOverPathProblem(*field.path);
    if (problem.empty()) continue;
    LOG(WARNING) << "Dropped " << field.name << " " << *field.path << ": " << problem;
    field.path->clear();
  }
}

ProtectedArchiveCopy::~ProtectedArchiveCopy() { Remove(); }

bool ProtectedArchiveCopy::Create(const std::wstring& source, const std::wstring& parent_directory) {
  Remove();
  uint64_t size = 0;
  ScopedFileHandle from = OpenPlainFileToCopy(source, &size);
  if (!from.IsValid()) return false;

  if (!directory_.Create(parent_directory)) return false;
  path_ = JoinPath(directory_.path(), BaseName(source));
  ScopedFileHandle to(::CreateFileW(path_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!to.IsValid() || !CopyThroughHandles(from.Get(), to.Get(), size)) {
    PLOG(ERROR) << "Cannot copy " << source << " to " << path_;
    to.Close();
    Remove();
    return false;
  }
  // From the write handle to one that reads and executes and lets nobody
  // write, without a moment in which the file is open to writers.
  file_.Reset(::ReOpenFile(to.Get(), GENERIC_READ | GENERIC_EXECUTE, FILE_SHARE_READ | FILE_SHARE_WRITE, 0));
  to.Close();
  if (file_.IsValid()) file_.Reset(::ReOpenFile(file_.Get(), GENERIC_READ | GENERIC_EXECUTE, FILE_SHARE_READ, 0));
  if (!file_.IsValid()) {
    PLOG(ERROR) << "Cannot lock file: " << path_;
    Remove();
    return false;
  }
  return true;
}

std::wstring ProtectedArchiveCopy::AddDataFile(const std::wstring& source) {
  if (directory_.path().empty()) return std::wstring();
  uint64_t size = 0;
  ScopedFileHandle from = OpenPlainFileToCopy(source, &size);
  if (!from.IsValid()) return std::wstring();
  // Numbered: two sources may share a name.
  std::wstring path =
      JoinPath(directory_.path(), L"d" + std::to_wstring(++data_files_) + L"-" + BaseName(source));
  ScopedFileHandle to(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                    nullptr));
  if (!to.IsValid()) {
    PLOG(ERROR) << "Cannot create " << path;
    return std::wstring();
  }
  if (!CopyThroughHandles(from.Get(), to.Get(), size)) {
    PLOG(ERROR) << "Cannot copy " << source << " to " << path;
    return std::wstring();
  }
  return path;
}

void CopyDataFilesForSetup(ProtectedArchiveCopy* copy, InstallerCommandLine* setup) {
  for (const char* name : kDataFileSwitches) {
    if (!setup->IsSwitchPresent(name)) continue;
    std::wstring source = setup->SwitchValueNative(name);
    std::wstring copied = source.empty() ? std::wstring() : copy->AddDataFile(source);
    if (copied.empty()) {
      LOG(WARNING) << "Dropped --" << name << " " << source << ": it could not be copied";
      setup->DropSwitch(name);
    } else {
      setup->PutSwitch(name, std::wstring_view(copied));
    }
  }
}

void ProtectedArchiveCopy::Remove() {
  file_.Close();
  directory_.Remove();
  path_.clear();
  data_files_ = 0;
}

}  // namespace ostrel
