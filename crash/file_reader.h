// A file read from start to end, as the content of an upload attachment.
#ifndef CRASH_FILE_READER_H_
#define CRASH_FILE_READER_H_

#include <string>

#include "base/scoped_handle.h"
#include "crash/http_body.h"

namespace ostrel {

class FileReader final : public FileReaderInterface {
 public:
  FileReader() = default;
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;

  // Opens `path` for reading (others may read too).
  bool Open(const std::wstring& path);
  void Close() { file_.Close(); }
  bool is_open() const { return file_.IsValid(); }

  int64_t Read(void* data, size_t size) override;

 private:
  ScopedFileHandle file_;
};

}  // namespace ostrel

#endif  // CRASH_FILE_READER_H_
