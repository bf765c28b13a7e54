#include "crash/file_reader.h"

#include "crash/file_io_win.h"

namespace ostrel {

bool FileReader::Open(const std::wstring& path) {
  file_ = OpenFileForRead(path);
  return file_.IsValid();
}

int64_t FileReader::Read(void* data, size_t size) {
  if (!file_.IsValid()) return -1;
  return ReadFileSome(file_.Get(), data, size);
}

}  // namespace ostrel
