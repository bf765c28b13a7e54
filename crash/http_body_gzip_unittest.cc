#include "crash/http_body_gzip.h"

#include <gtest/gtest.h>

#include <random>

#include "testing/crash_test_util.h"

namespace ostrel {
namespace {

// A source that records the sizes it is asked for and can fail on request.
class ScriptedSource : public HttpBodyStream {
 public:
  explicit ScriptedSource(std::string data, int fail_on_call = -1)
      : data_(std::move(data)), fail_on_call_(fail_on_call) {}
  int64_t GetBytesBuffer(uint8_t* buffer, size_t max_length) override {
    requests_->push_back(max_length);
    if (static_cast<int>(requests_->size()) == fail_on_call_) return -1;
    size_t count = std::min(max_length, data_.size() - position_);
    std::memcpy(buffer, data_.data() + position_, count);
    position_ += count;
    return static_cast<int64_t>(count);
  }
  std::shared_ptr<std::vector<size_t>> requests_ = std::make_shared<std::vector<size_t>>();

 private:
  std::string data_;
  size_t position_ = 0;
  int fail_on_call_;
};

std::string RandomBytes(size_t size) {
  std::mt19937 generator(42);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(generator());
  return bytes;
}

// Reads the whole stream with reads of `read_size` bytes.
bool ReadAll(HttpBodyStream* stream, size_t read_size, std::string* out) {
  std::vector<uint8_t> buffer(read_size);
  for (;;) {
    int64_t count = stream->GetBytesBuffer(buffer.data(), buffer.size());
    if (count < 0) return false;
    if (count == 0) return true;
    out->append(reinterpret_cast<const char*>(buffer.data()), static_cast<size_t>(count));
  }
}

TEST(GzipHttpBodyStreamTest, RoundTripsWhateverTheReadSize) {
  std::string data = RandomBytes(50000) + std::string(50000, 'a');
  for (size_t read_size : {size_t{1}, size_t{7}, size_t{4096}, size_t{32768}, size_t{1} << 20}) {
    SCOPED_TRACE(read_size);
    auto source = std::make_unique<ScriptedSource>(data);
    auto requests = source->requests_;
    GzipHttpBodyStream stream(std::move(source));
    std::string compressed;
    ASSERT_TRUE(ReadAll(&stream, read_size, &compressed));
    ASSERT_GE(compressed.size(), 10u);
    EXPECT_EQ(compressed.substr(0, 3), "\x1f\x8b\x08");  // gzip, deflate
    EXPECT_EQ(testing::Gunzip(compressed), data);
    // Input is taken in pieces of at most 4096 bytes.
    for (size_t request : *requests) EXPECT_EQ(request, 4096u);
    EXPECT_EQ(stream.GetBytesBuffer(reinterpret_cast<uint8_t*>(compressed.data()), 1), 0);
  }
}

TEST(GzipHttpBodyStreamTest, EmptyInputIsAValidEmptyGzipMember) {
  GzipHttpBodyStream stream(std::make_unique<StringHttpBodyStream>(""));
  std::string compressed;
  ASSERT_TRUE(ReadAll(&stream, 100, &compressed));
  EXPECT_EQ(testing::Gunzip(compressed), "");
}

TEST(GzipHttpBodyStreamTest, SourceErrorEndsTheStreamWithAnError) {
  GzipHttpBodyStream stream(std::make_unique<ScriptedSource>(RandomBytes(20000), 3));
  std::string compressed;
  EXPECT_FALSE(ReadAll(&stream, 100000, &compressed));
  uint8_t byte;
  EXPECT_EQ(stream.GetBytesBuffer(&byte, 1), -1);
}

}  // namespace
}  // namespace ostrel
