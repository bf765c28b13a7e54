// Where downloaded bytes go: a file or memory. A sink counts what it
// accepted, so a resumed request continues where the last one stopped.
#ifndef NET_DOWNLOAD_SINK_H_
#define NET_DOWNLOAD_SINK_H_

#include <windows.h>

#include <cstdint>
#include <string>

#include "net/request_options.h"

namespace ostrel {

class DownloadSink {
 public:
  explicit DownloadSink(uint64_t max_bytes) : max_bytes_(max_bytes) {}
  virtual ~DownloadSink() = default;
  virtual bool Write(const void* bytes, uint32_t count) = 0;
  virtual void Reset() = 0;

  // Bytes accepted since the last reset.
  uint64_t bytes_written() const { return bytes_written_; }
  // The most the sink may hold; the downloader fails a body that would pass it.
  uint64_t max_bytes() const { return max_bytes_; }

 protected:
  uint64_t bytes_written_ = 0;

 private:
  uint64_t max_bytes_;
};

// Writes to an open, writable file (not owned).
class FileDownloadSink : public DownloadSink {
 public:
  explicit FileDownloadSink(HANDLE file, uint64_t max_bytes = kMaxFileBodyBytes)
      : DownloadSink(max_bytes), file_(file) {}
  bool Write(const void* bytes, uint32_t count) override;
  // Back to the start, truncated.
  void Reset() override;

 private:
  HANDLE file_;
};

class StringDownloadSink : public DownloadSink {
 public:
  explicit StringDownloadSink(uint64_t max_bytes = kMaxMemoryBodyBytes) : DownloadSink(max_bytes) {}
  bool Write(const void* bytes, uint32_t count) override;
  void Reset() override;

  const std::string& data() const { return data_; }
  std::string TakeData();

 private:
  std::string data_;
};

}  // namespace ostrel

#endif  // NET_DOWNLOAD_SINK_H_
