#include "crash/file_reader.h"

#include "crash/file_io_win.h"

namespace ostrel {

FileReader::FileReader(HANDLE file) : file_(file) {
  LARGE_INTEGER start = {};
  ready_ = file_ && file_ != INVALID_HANDLE_VALUE && ::SetFilePointerEx(file_, start, nullptr, FILE_BEGIN);
}

int64_t FileReader::Read(void* data, size_t size) {
  if (!ready_) return -1;
  return ReadFileSome(file_, data, size);
}

}  // namespace ostrel
