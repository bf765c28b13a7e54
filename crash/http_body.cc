#include "crash/http_body.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace ostrel {

StringHttpBodyStream::StringHttpBodyStream(std::string text) : text_(std::move(text)) {}

int64_t StringHttpBodyStream::GetBytesBuffer(uint8_t* buffer, size_t max_length) {
  size_t count = std::min(max_length, text_.size() - position_);
  if (count) std::memcpy(buffer, text_.data() + position_, count);
  position_ += count;
  return static_cast<int64_t>(count);
}

FileReaderHttpBodyStream::FileReaderHttpBodyStream(FileReaderInterface* reader) : reader_(reader) {}

int64_t FileReaderHttpBodyStream::GetBytesBuffer(uint8_t* buffer, size_t max_length) {
  if (at_end_ || max_length == 0) return 0;
  int64_t count = reader_->Read(buffer, max_length);
  if (count == 0) at_end_ = true;
  return count;
}

CompositeHttpBodyStream::CompositeHttpBodyStream(std::vector<std::unique_ptr<HttpBodyStream>> parts)
    : parts_(std::move(parts)) {}

int64_t CompositeHttpBodyStream::GetBytesBuffer(uint8_t* buffer, size_t max_length) {
  size_t filled = 0;
  while (filled < max_length && current_ < parts_.size()) {
    int64_t count = parts_[current_]->GetBytesBuffer(buffer + filled, max_length - filled);
    if (count < 0) return -1;
    if (count == 0) {
      ++current_;
      continue;
    }
    filled += static_cast<size_t>(count);
  }
  return static_cast<int64_t>(filled);
}

int64_t StringFileReader::Read(void* data, size_t size) {
  size_t count = std::min(size, bytes_.size() - position_);
  if (count) std::memcpy(data, bytes_.data() + position_, count);
  position_ += count;
  return static_cast<int64_t>(count);
}

bool ReadWholeBodyStream(HttpBodyStream* stream, std::string* out) {
  out->clear();
  uint8_t buffer[4096];
  for (;;) {
    int64_t count = stream->GetBytesBuffer(buffer, sizeof(buffer));
    if (count < 0) return false;
    if (count == 0) return true;
    out->append(reinterpret_cast<const char*>(buffer), static_cast<size_t>(count));
  }
}

}  // namespace ostrel
