#include "base/file_logger.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "base/file_util.h"
#include "base/hash.h"
#include "base/log_platform.h"
#include "base/logging.h"
#include "base/os_facts.h"
#include "base/scoped_handle.h"
#include "base/utf_string_conversions.h"

namespace ostrel {
namespace {

constexpr DWORD kLockTimeoutMs = 1000;
constexpr size_t kFormatBufferSize = 200;

enum class LockOutcome { kAcquired, kAbandoned, kFailed };

constexpr DWORD kAppendAccess = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
// An elevated writer also shares delete, so that its own handle can take
// DELETE later (ReOpenFile) to rotate the file or remove one made through a
// link; the handle, not the name, is what it writes through.
constexpr DWORD kElevatedShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

enum class Rotation { kRotated, kFailed, kRefused };

ScopedFileHandle OpenForAppend(const std::wstring& path) {
  return ScopedFileHandle(::CreateFileW(path.c_str(), kAppendAccess, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Replaces `rotated` with the log by name and opens a new log at `path`.
// False with the error when the log could not be moved; `file` is then the
// log again (invalid when even that failed).
bool RotateByName(const std::wstring& path, const std::wstring& rotated, ScopedFileHandle* file, DWORD* error) {
  file->Close();
  bool moved = ::ReplaceFileW(rotated.c_str(), path.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                              nullptr) != FALSE;
  if (!moved) {
    *error = ::GetLastError();
    moved = ::MoveFileW(path.c_str(), rotated.c_str()) != FALSE;
    if (!moved && (*error == ERROR_FILE_NOT_FOUND || *error == ERROR_PATH_NOT_FOUND)) *error = ::GetLastError();
  }
  *file = OpenForAppend(path);
  return moved;
}

// Renames `file` onto `target` in place of nothing: an existing name fails.
bool RenameNoReplace(HANDLE file, const std::wstring& target) {
  size_t name_bytes = target.size() * sizeof(wchar_t);
  std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + name_bytes);
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  rename->ReplaceIfExists = FALSE;
  rename->RootDirectory = nullptr;
  rename->FileNameLength = static_cast<DWORD>(name_bytes);
  std::memcpy(rename->FileName, target.data(), name_bytes);
  return ::SetFileInformationByHandle(file, FileRenameInfo, rename, static_cast<DWORD>(buffer.size())) != FALSE;
}

// The elevated rotation: the log open as `file` in the folder held as
// `folder` is renamed through its own handle onto `rotated`, and a new log is
// created at `path`. An old copy is removed through a handle of its own, and
// only a plain one; the rename never replaces a name, so a link that appears
// there in between fails it instead of being written through or replaced.
// kFailed (with the error) leaves `file` the log, still open; kRefused means
// a name was not a plain file.
Rotation RotateByHandle(HANDLE folder, const std::wstring& path, const std::wstring& rotated, ScopedFileHandle* file,
                        DWORD* error) {
  ScopedFileHandle old_copy;
  switch (OpenPlainFileNoFollow(folder, rotated, DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE, kElevatedShare,
                                OPEN_EXISTING, &old_copy)) {
    case NoFollowOpen::kNotPlain:
      return Rotation::kRefused;
    case NoFollowOpen::kFailed:
      if (::GetLastError() != ERROR_FILE_NOT_FOUND) {
        *error = ::GetLastError();
        return Rotation::kFailed;
      }
      break;
    case NoFollowOpen::kOpened:
      if (!DeleteThroughHandle(old_copy.Get())) {
        *error = ::GetLastError();
        return Rotation::kFailed;
      }
      old_copy.Close();
      break;
  }
  ScopedFileHandle renamer(::ReOpenFile(file->Get(), DELETE | SYNCHRONIZE, kElevatedShare, 0));
  if (!renamer.IsValid() || !RenameNoReplace(renamer.Get(), rotated)) {
    *error = ::GetLastError();
    return Rotation::kFailed;
  }
  renamer.Close();
  file->Close();
  // A new name of its own: whatever took the name meanwhile is not opened.
  if (OpenPlainFileNoFollow(folder, path, kAppendAccess, kElevatedShare, CREATE_NEW, file) == NoFollowOpen::kNotPlain)
    return Rotation::kRefused;
  return Rotation::kRotated;
}

}  // namespace

int FileErrorFromWindowsError(uint32_t error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return -4;
    case ERROR_ACCESS_DENIED:
    case ERROR_LOCK_VIOLATION:
      return -5;
    case ERROR_SHARING_VIOLATION:
    case ERROR_UNABLE_TO_REMOVE_REPLACED:
    case ERROR_UNABLE_TO_MOVE_REPLACEMENT:
    case ERROR_UNABLE_TO_MOVE_REPLACEMENT_2:
      return -2;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return -3;
    case ERROR_TOO_MANY_OPEN_FILES:
      return -6;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return -7;
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_DISK_FULL:
    case 314:  // ERROR_DISK_RESOURCES_EXHAUSTED
      return -8;
    case ERROR_USER_MAPPED_FILE:
      return -10;
    case ERROR_NOT_READY:
    case ERROR_SECTOR_NOT_FOUND:
    case ERROR_GEN_FAILURE:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_IO_DEVICE:
    case ERROR_DISK_OPERATION_FAILED:
    case ERROR_FILE_CORRUPT:
    case ERROR_DISK_CORRUPT:
      return -16;
  }
  return -1;
}

std::wstring GetLogFilePath() {
  static constexpr wchar_t kInternalName[] = L"ostrel";
  static constexpr wchar_t kInstallSuffix[] = L"";
  return GetTempDirectory() + kInternalName + kInstallSuffix + L".log";
}

std::wstring RotatedLogPath(const std::wstring& path) {
  size_t name_start = path.find_last_of(L"\\/");
  name_start = name_start == std::wstring::npos ? 0 : name_start + 1;
  size_t dot = path.rfind(L'.');
  if (dot == std::wstring::npos || dot < name_start) return path + L"_old";
  return path.substr(0, dot) + L"_old" + path.substr(dot);
}

std::string FormatLogHeader(int64_t time, uint32_t process_id, uint32_t thread_id) {
  ULARGE_INTEGER ticks;
  ticks.QuadPart = static_cast<ULONGLONG>(time) * 10;
  FILETIME ft;
  ft.dwLowDateTime = ticks.LowPart;
  ft.dwHighDateTime = ticks.HighPart;
  SYSTEMTIME st = {};
  ::FileTimeToSystemTime(&ft, &st);
  char buffer[kFormatBufferSize];
  int length = std::snprintf(buffer, sizeof(buffer), "%04d-%02d-%02d %02d:%02d:%02d.%03d %02d:%02d ", st.wYear,
                             st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds,
                             static_cast<int>(process_id), static_cast<int>(thread_id));
  if (length < 0 || static_cast<size_t>(length) >= sizeof(buffer)) return std::string();
  return std::string(buffer, static_cast<size_t>(length));
}

std::string FormatLogLine(const LogMessage& record, std::string* header_out) {
  std::string header = FormatLogHeader(record.time(), record.process_id(), record.thread_id());
  if (header.empty()) return std::string();
  char suffix[kFormatBufferSize];
  int length = std::snprintf(suffix, sizeof(suffix), " (%s:%d)", record.function(), record.line());
  if (length < 0 || static_cast<size_t>(length) >= sizeof(suffix)) return std::string();
  std::string line = header;
  line += LogLevelName(record.level());
  line += ": ";
  // Text from the command line, the tag or the network must not start a
  // record of its own.
  line += EscapeLogText(record.text());
  line.append(suffix, static_cast<size_t>(length));
  line.push_back('\n');
  if (header_out) *header_out = std::move(header);
  return line;
}

FileLogger::FileLogger(std::wstring path, int32_t max_size)
    : path_(std::move(path)),
      // The "LOGGING:" lines name it: escaped as record texts are.
      path_utf8_(EscapeLogText(WideToUtf8(path_))),
      mutex_name_(MutexNameForPath(path_)),
      max_size_(max_size),
      elevated_(GetOsFacts().IsProcessElevated()) {
  if (!elevated_) return;
  if (OpenFolderNoFollow(DirName(path_), &folder_) == NoFollowOpen::kNotPlain) RefuseLinks();
}

// A record the disk refused in part is taken back, so the next one starts a
// line of its own; what was lost is said once a write goes through again, or
// at the end.
FileLogger::~FileLogger() {
  if (links_refused_ || lost_records_ == 0) return;
  std::string header =
      FormatLogHeader(log_platform::NowMicrosecondsSince1601(), ::GetCurrentProcessId(), ::GetCurrentThreadId());
  ScopedFileHandle record_folder;
  HANDLE folder = nullptr;
  ScopedFileHandle file = OpenLog(&record_folder, &folder);
  if (file.IsValid() && !header.empty()) WriteWhole(file.Get(), LostRecordsNote(header), nullptr);
}

std::wstring FileLogger::MutexNameForPath(const std::wstring& path) {
  return L"kelupdater log " + AsciiToWide(Md5HexDigest(WideToUtf8(path)));
}

void FileLogger::Emit(const LogMessage& record) {
  if (links_refused_) return;
  std::string header;
  std::string line = FormatLogLine(record, &header);
  if (line.empty()) return;

  ScopedKernelHandle mutex(::CreateMutexW(nullptr, FALSE, mutex_name_.c_str()));
  LockOutcome lock = LockOutcome::kFailed;
  if (mutex.IsValid()) {
    switch (::WaitForSingleObject(mutex.Get(), lock_stuck_.load() ? 0 : kLockTimeoutMs)) {
      case WAIT_OBJECT_0:
        lock = LockOutcome::kAcquired;
        break;
      case WAIT_ABANDONED:
        lock = LockOutcome::kAbandoned;
        break;
      default:
        break;
    }
    lock_stuck_.store(lock == LockOutcome::kFailed);
  }
  ScopedMutexRelease release(lock == LockOutcome::kFailed ? nullptr : mutex.Get());

  // Held while the log is opened and rotated (elevated only).
  ScopedFileHandle record_folder;
  HANDLE folder = nullptr;
  ScopedFileHandle file = OpenLog(&record_folder, &folder);
  if (!file.IsValid()) return;

  std::string output;
  // One length query serves the rotation rule and taking a refused part back.
  LARGE_INTEGER length;
  bool length_known = ::GetFileSizeEx(file.Get(), &length) != FALSE;
  if (!rotation_disabled_ && length_known &&
      length.QuadPart + static_cast<LONGLONG>(header.size() + record.text().size()) >= max_size_) {
    std::wstring rotated = RotatedLogPath(path_);
    DWORD error = 0;
    Rotation rotation = Rotation::kRotated;
    if (elevated_) {
      rotation = RotateByHandle(folder, path_, rotated, &file, &error);
    } else if (!RotateByName(path_, rotated, &file, &error)) {
      rotation = Rotation::kFailed;
    }
    if (rotation == Rotation::kRefused) {
      RefuseLinks();
      return;
    }
    if (!file.IsValid()) return;
    if (rotation == Rotation::kFailed) {
      rotation_disabled_ = true;
      char number[16];
      std::snprintf(number, sizeof(number), "%d", FileErrorFromWindowsError(error));
      output += header + "LOGGING: Failed to rotate log file " + path_utf8_ + ": " + number + "\n";
    }
    length_known = ::GetFileSizeEx(file.Get(), &length) != FALSE;
  }

  if (lock == LockOutcome::kFailed && !lock_failure_reported_.exchange(true)) {
    output += header + "LOGGING: Failed to lock log file " + path_utf8_ + "\n";
  }
  if (lock == LockOutcome::kAbandoned) {
    output += header + "LOGGING: Abandoned log mutex recovered for file " + path_utf8_ + "\n";
  }
  output = LostRecordsNote(header) + output + line;
  WriteWhole(file.Get(), output, lock != LockOutcome::kFailed && length_known ? &length : nullptr);
}

ScopedFileHandle FileLogger::OpenLog(ScopedFileHandle* record_folder, HANDLE* folder) {
  ScopedFileHandle file;
  if (elevated_) {
    // The folder is the user's: it must exist already and be a real one, and
    // the log in it a plain file.
    NoFollowOpen opened = NoFollowOpen::kOpened;
    if (folder_.IsValid()) {
      *folder = folder_.Get();
      opened = OpenPlainFileInFolder(folder_.Get(), BaseName(path_), kAppendAccess, kElevatedShare, OPEN_ALWAYS, &file);
    } else {
      opened = OpenFolderNoFollow(DirName(path_), record_folder);
      *folder = record_folder->Get();
      if (opened == NoFollowOpen::kOpened)
        opened = OpenPlainFileNoFollow(*folder, path_, kAppendAccess, kElevatedShare, OPEN_ALWAYS, &file);
    }
    if (opened == NoFollowOpen::kNotPlain) RefuseLinks();
    return file;
  }
  // The folder is made only when the open says it is missing: one open per
  // record otherwise.
  file = OpenForAppend(path_);
  if (file.IsValid() || ::GetLastError() != ERROR_PATH_NOT_FOUND) return file;
  std::wstring directory = DirName(path_);
  if (directory.empty() || !CreateDirectoryRecursive(directory)) return file;
  return OpenForAppend(path_);
}

bool FileLogger::WriteWhole(HANDLE file, const std::string& record_lines, const LARGE_INTEGER* locked_start) {
  // A part that could not be taken back ends with its own line break.
  const std::string output = line_left_open_ ? "\n" + record_lines : record_lines;
  DWORD size = static_cast<DWORD>(output.size());
  DWORD written = 0;
  if (write_(file, output.data(), size, &written, nullptr) && written == size) {
    lost_records_ = 0;
    line_left_open_ = false;
    return true;
  }
  DWORD error = ::GetLastError();
  lost_error_ = error != ERROR_SUCCESS ? error : ERROR_DISK_FULL;
  ++lost_records_;
  // Only with the lock: without it another process may have written after
  // this part, and its record would go too.
  bool taken_back = written == 0;
  if (written > 0 && locked_start) {
    ScopedFileHandle truncator(::ReOpenFile(file, GENERIC_WRITE | SYNCHRONIZE,
                                            elevated_ ? kElevatedShare : FILE_SHARE_READ | FILE_SHARE_WRITE, 0));
    taken_back = truncator.IsValid() && ::SetFilePointerEx(truncator.Get(), *locked_start, nullptr, FILE_BEGIN) &&
                 ::SetEndOfFile(truncator.Get());
  }
  if (!taken_back) line_left_open_ = true;
  return false;
}

std::string FileLogger::LostRecordsNote(const std::string& header) const {
  int lost = lost_records_;
  if (lost == 0) return std::string();
  return header + "LOGGING: Failed to write " + std::to_string(lost) + (lost == 1 ? " record" : " records") +
         " to log file " + path_utf8_ + ": " + std::to_string(FileErrorFromWindowsError(lost_error_)) + "\n";
}

void FileLogger::RefuseLinks() {
  if (!links_refused_.exchange(true)) PlatformLogError("Not a plain file, logging stopped: " + path_utf8_);
}

void SetFileLogger(std::unique_ptr<FileLogger> logger) { SetLogSink(std::move(logger)); }

}  // namespace ostrel
