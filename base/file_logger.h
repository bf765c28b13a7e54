// The installer log: one text file shared by every installer process of the
// user, each record written whole under a cross-process mutex and the file
// rotated to <name>_old<ext> when it reaches its size limit. A process that
// runs elevated (or as SYSTEM) writes in the user's folder too, but never
// through a link: it opens the log and its folder without following reparse
// points, writes only to a plain file with one name, rotates by handle, and
// from the first name it finds otherwise logs nowhere.
#ifndef BASE_FILE_LOGGER_H_
#define BASE_FILE_LOGGER_H_

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/logging.h"
#include "base/scoped_handle.h"

namespace ostrel {

inline constexpr int32_t kLogFileMaxSize = 1048576;

class FileLogger : public LogSink {
 public:
  // Whether the process runs elevated is taken here, for every record.
  FileLogger(std::wstring path, int32_t max_size);
  FileLogger(const FileLogger&) = delete;
  FileLogger& operator=(const FileLogger&) = delete;
  ~FileLogger() override;

  void Emit(const LogMessage& record) override;

  const std::wstring& path() const { return path_; }
  // Name of the named mutex that serialises writers of `path`.
  static std::wstring MutexNameForPath(const std::wstring& path);

  // WriteFile's signature; tests play a full disk with it.
  using WriteFunction = BOOL(WINAPI*)(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED);
  void set_write_for_testing(WriteFunction write) { write_ = write; }

 private:
  // Stops all logging of this logger, once a name was not a plain file.
  void RefuseLinks();
  // The log, open for appending (elevated: only as a plain file in a real
  // folder, `folder` then the folder's handle, held by `record_folder` when
  // it was opened for this record); invalid when it cannot be.
  ScopedFileHandle OpenLog(ScopedFileHandle* record_folder, HANDLE* folder);
  // Writes `output` whole or, when the disk refuses part of it, counts the
  // record as lost and takes the part back to `locked_start`, the file's
  // length before the write; null when the lock is not held (another
  // process may have written after the part) or the length is unknown.
  bool WriteWhole(HANDLE file, const std::string& record_lines, const LARGE_INTEGER* locked_start);
  // "LOGGING: Failed to write <n> record(s) ..." for records lost so far,
  // or empty.
  std::string LostRecordsNote(const std::string& header) const;

  std::wstring path_;
  std::string path_utf8_;
  std::wstring mutex_name_;
  int32_t max_size_;
  bool elevated_;
  // Elevated: the log's folder, opened once by the constructor. Held, it can
  // be neither renamed nor replaced, and a record opens the file relative to
  // it. Invalid when the folder did not exist then: each record opens it
  // instead.
  ScopedFileHandle folder_;
  std::atomic<bool> rotation_disabled_{false};
  std::atomic<bool> links_refused_{false};
  std::atomic<bool> lock_failure_reported_{false};
  // Set by a wait that timed out, cleared by the next lock taken: a holder
  // that never lets go costs this process one wait, not one per record.
  std::atomic<bool> lock_stuck_{false};
  // Records a failed write lost since the last whole one, and its error.
  std::atomic<int> lost_records_{0};
  std::atomic<uint32_t> lost_error_{0};
  // A refused write left part of a line in the file.
  std::atomic<bool> line_left_open_{false};
  WriteFunction write_ = ::WriteFile;
};

// Installs `logger` as the process-wide sink, destroying the previous one.
void SetFileLogger(std::unique_ptr<FileLogger> logger);

// %TEMP%\ostrel.log (empty directory part when the temporary path is unusable).
std::wstring GetLogFilePath();
// "<dir>\name_old.ext" for "<dir>\name.ext".
std::wstring RotatedLogPath(const std::wstring& path);

// The platform file-error code of a Windows error (-1 when unmapped).
int FileErrorFromWindowsError(uint32_t error);

// "%04d-%02d-%02d %02d:%02d:%02d.%03d %02d:%02d " of `time` (microseconds
// since 1601, UTC), process and thread id; empty when it would need 200 bytes
// or more.
std::string FormatLogHeader(int64_t time, uint32_t process_id, uint32_t thread_id);
// One whole line of `record` (its text escaped), or empty when the record
// must be dropped.
std::string FormatLogLine(const LogMessage& record, std::string* header_out);

}  // namespace ostrel

#endif  // BASE_FILE_LOGGER_H_
