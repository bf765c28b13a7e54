// A file read from start to end, as the content of an upload attachment.
#ifndef CRASH_FILE_READER_H_
#define CRASH_FILE_READER_H_

#include <windows.h>

#include "crash/http_body.h"

namespace ostrel {

// Reads through a handle the caller keeps open (not owned), from its start:
// what is read is what was written through that handle, whatever the name
// has come to point at since.
class FileReader final : public FileReaderInterface {
 public:
  explicit FileReader(HANDLE file);
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;

  // False when the handle is invalid or cannot be rewound.
  bool is_ready() const { return ready_; }

  int64_t Read(void* data, size_t size) override;

 private:
  HANDLE file_;
  bool ready_ = false;
};

}  // namespace ostrel

#endif  // CRASH_FILE_READER_H_
