#include "crash/http_body_gzip.h"

#include <algorithm>
#include <climits>
#include <string>
#include <utility>

#include "base/logging.h"

namespace ostrel {
namespace {

constexpr int kGzipWindowBits = 31;  // 15 bits of window, gzip wrapper
constexpr int kMemoryLevel = 8;

void LogZlibError(const char* function, const z_stream& stream, int code) {
  std::string text = function;
  text += ": ";
  text += stream.msg ? stream.msg : zError(code);
  text += " (" + std::to_string(code) + ")";
  PlatformLogError(text);
}

}  // namespace

GzipHttpBodyStream::GzipHttpBodyStream(std::unique_ptr<HttpBodyStream> source) : source_(std::move(source)) {}

GzipHttpBodyStream::~GzipHttpBodyStream() {
  if (state_ == State::kOperating || state_ == State::kInputEnded) deflateEnd(&z_stream_);
}

int64_t GzipHttpBodyStream::Fail() {
  if (state_ == State::kOperating || state_ == State::kInputEnded) deflateEnd(&z_stream_);
  state_ = State::kError;
  return -1;
}

int64_t GzipHttpBodyStream::GetBytesBuffer(uint8_t* buffer, size_t max_length) {
  if (state_ == State::kFinished) return 0;
  if (state_ == State::kError) return -1;
  if (state_ == State::kUninitialized) {
    int result = deflateInit2(&z_stream_, Z_DEFAULT_COMPRESSION, Z_DEFLATED, kGzipWindowBits, kMemoryLevel,
                              Z_DEFAULT_STRATEGY);
    if (result != Z_OK) {
      LogZlibError("deflateInit2", z_stream_, result);
      state_ = State::kError;
      return -1;
    }
    state_ = State::kOperating;
  }

  size_t length = std::min<size_t>(max_length, UINT_MAX);
  z_stream_.next_out = buffer;
  z_stream_.avail_out = static_cast<uInt>(length);
  while (z_stream_.avail_out > 0) {
    if (state_ == State::kOperating && z_stream_.avail_in == 0) {
      int64_t count = source_->GetBytesBuffer(input_, kInputPieceSize);
      if (count < 0) return Fail();
      if (count == 0) state_ = State::kInputEnded;
      z_stream_.next_in = input_;
      z_stream_.avail_in = static_cast<uInt>(count);
    }
    int result = deflate(&z_stream_, state_ == State::kInputEnded ? Z_FINISH : Z_NO_FLUSH);
    if (state_ == State::kInputEnded && result == Z_STREAM_END) {
      result = deflateEnd(&z_stream_);
      if (result != Z_OK) {
        LogZlibError("deflateEnd", z_stream_, result);
        state_ = State::kError;
        return -1;
      }
      state_ = State::kFinished;
      break;
    }
    if (result != Z_OK) {
      LogZlibError("deflate", z_stream_, result);
      return Fail();
    }
  }
  return static_cast<int64_t>(length - z_stream_.avail_out);
}

}  // namespace ostrel
