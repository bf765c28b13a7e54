// A body stream that gzip-compresses another one on the fly.
#ifndef CRASH_HTTP_BODY_GZIP_H_
#define CRASH_HTTP_BODY_GZIP_H_

#include <zlib.h>

#include <memory>

#include "crash/http_body.h"

namespace ostrel {

class GzipHttpBodyStream final : public HttpBodyStream {
 public:
  // Size of the pieces read from the source.
  static constexpr size_t kInputPieceSize = 4096;

  explicit GzipHttpBodyStream(std::unique_ptr<HttpBodyStream> source);
  GzipHttpBodyStream(const GzipHttpBodyStream&) = delete;
  GzipHttpBodyStream& operator=(const GzipHttpBodyStream&) = delete;
  ~GzipHttpBodyStream() override;

  int64_t GetBytesBuffer(uint8_t* buffer, size_t max_length) override;

 private:
  enum class State { kUninitialized, kOperating, kInputEnded, kFinished, kError };

  int64_t Fail();

  uint8_t input_[kInputPieceSize];
  std::unique_ptr<HttpBodyStream> source_;
  z_stream z_stream_ = {};
  State state_ = State::kUninitialized;
};

}  // namespace ostrel

#endif  // CRASH_HTTP_BODY_GZIP_H_
