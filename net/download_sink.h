// Where downloaded bytes go: a file or memory. A sink counts what it
// accepted, so a resumed request continues where the last one stopped.
#ifndef NET_DOWNLOAD_SINK_H_
#define NET_DOWNLOAD_SINK_H_

#include <windows.h>

#include <cstdint>
#include <string>

namespace ostrel {

class DownloadSink {
 public:
  virtual ~DownloadSink() = default;
  virtual bool Write(const void* bytes, uint32_t count) = 0;
  virtual void Reset() = 0;

  // Bytes accepted since the last reset.
  uint32_t bytes_written() const { return bytes_written_; }

 protected:
  uint32_t bytes_written_ = 0;
};

// Writes to an open, writable file (not owned).
class FileDownloadSink : public DownloadSink {
 public:
  explicit FileDownloadSink(HANDLE file) : file_(file) {}
  bool Write(const void* bytes, uint32_t count) override;
  // Back to the start, truncated.
  void Reset() override;

 private:
  HANDLE file_;
};

class StringDownloadSink : public DownloadSink {
 public:
  bool Write(const void* bytes, uint32_t count) override;
  void Reset() override;

  const std::string& data() const { return data_; }
  std::string TakeData();

 private:
  std::string data_;
};

}  // namespace ostrel

#endif  // NET_DOWNLOAD_SINK_H_
