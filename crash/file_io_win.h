// The few file operations the crash client needs, on raw handles, so they
// work in an exception filter with nothing else of the installer running.
#ifndef CRASH_FILE_IO_WIN_H_
#define CRASH_FILE_IO_WIN_H_

#include <windows.h>

#include <cstdint>
#include <string>

#include "base/scoped_handle.h"
#include "crash/crash_info_stream.h"

namespace ostrel {

// Read, write and delete access, no sharing; fails when the file exists.
ScopedFileHandle CreateNewFileForReadWrite(const std::wstring& path);

// Up to `size` bytes from the current position: the count, 0 at the end,
// -1 on error.
int64_t ReadFileSome(HANDLE file, void* data, size_t size);

// Exactly `size` bytes at `offset`.
bool ReadFileAt(HANDLE file, uint64_t offset, void* data, size_t size);
bool WriteFileAt(HANDLE file, uint64_t offset, const void* data, size_t size);

// Positioned access to an open file (not owned).
class WinPositionedFile final : public PositionedFile {
 public:
  explicit WinPositionedFile(HANDLE file) : file_(file) {}
  bool ReadAt(uint64_t offset, void* data, size_t size) override { return ReadFileAt(file_, offset, data, size); }
  bool WriteAt(uint64_t offset, const void* data, size_t size) override {
    return WriteFileAt(file_, offset, data, size);
  }

 private:
  HANDLE file_;
};

}  // namespace ostrel

#endif  // CRASH_FILE_IO_WIN_H_
