#include "net/download_sink.h"

namespace ostrel {

bool FileDownloadSink::Write(const void* bytes, uint32_t count) {
  DWORD written = 0;
  bool ok = ::WriteFile(file_, bytes, count, &written, nullptr) && written == count;
  if (ok) bytes_written_ += count;
  return ok;
}

void FileDownloadSink::Reset() {
  ::SetFilePointer(file_, 0, nullptr, FILE_BEGIN);
  ::SetEndOfFile(file_);
  bytes_written_ = 0;
}

bool StringDownloadSink::Write(const void* bytes, uint32_t count) {
  data_.append(static_cast<const char*>(bytes), count);
  bytes_written_ += count;
  return true;
}

void StringDownloadSink::Reset() {
  data_.clear();
  bytes_written_ = 0;
}

std::string StringDownloadSink::TakeData() {
  std::string data;
  data.swap(data_);
  bytes_written_ = 0;
  return data;
}

}  // namespace ostrel
