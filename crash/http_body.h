// Request bodies produced piece by piece, so a large minidump is never held
// in memory whole. Platform-neutral.
#ifndef CRASH_HTTP_BODY_H_
#define CRASH_HTTP_BODY_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ostrel {

// Sequential reads from a file (or anything that behaves like one).
class FileReaderInterface {
 public:
  virtual ~FileReaderInterface() = default;
  // Up to `size` bytes: the count read, 0 at the end, -1 on error.
  virtual int64_t Read(void* data, size_t size) = 0;
};

class HttpBodyStream {
 public:
  virtual ~HttpBodyStream() = default;
  // Fills up to `max_length` bytes: the count, 0 once the body has ended,
  // -1 on error.
  virtual int64_t GetBytesBuffer(uint8_t* buffer, size_t max_length) = 0;
};

class StringHttpBodyStream final : public HttpBodyStream {
 public:
  explicit StringHttpBodyStream(std::string text);
  int64_t GetBytesBuffer(uint8_t* buffer, size_t max_length) override;

 private:
  std::string text_;
  size_t position_ = 0;
};

// Does not own the reader.
class FileReaderHttpBodyStream final : public HttpBodyStream {
 public:
  explicit FileReaderHttpBodyStream(FileReaderInterface* reader);
  int64_t GetBytesBuffer(uint8_t* buffer, size_t max_length) override;

 private:
  FileReaderInterface* reader_;
  bool at_end_ = false;
};

// The parts one after another; a read fills the buffer across part borders.
class CompositeHttpBodyStream final : public HttpBodyStream {
 public:
  explicit CompositeHttpBodyStream(std::vector<std::unique_ptr<HttpBodyStream>> parts);
  int64_t GetBytesBuffer(uint8_t* buffer, size_t max_length) override;

 private:
  std::vector<std::unique_ptr<HttpBodyStream>> parts_;
  size_t current_ = 0;
};

// A reader over bytes in memory.
class StringFileReader final : public FileReaderInterface {
 public:
  explicit StringFileReader(std::string bytes) : bytes_(std::move(bytes)) {}
  int64_t Read(void* data, size_t size) override;

 private:
  std::string bytes_;
  size_t position_ = 0;
};

// Reads a whole stream; false when it reports an error.
bool ReadWholeBodyStream(HttpBodyStream* stream, std::string* out);

}  // namespace ostrel

#endif  // CRASH_HTTP_BODY_H_
