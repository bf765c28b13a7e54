// Builds a crash upload's form from outside names, values and file bytes,
// sends it through the request logic over a recording channel and takes the
// recorded bytes apart the way the collector does: the chunks must give
// back the body, and the body must parse back into the same parts, in name
// order, with every name and file name decoding back to itself.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <memory>
#include <string>
#include <vector>

#include "crash/http_transport.h"
#include "crash/multipart_form.h"
#include "testing/crash_test_util.h"

namespace {

void Fail(const char* message) {
  std::fprintf(stderr, "multipart_form_fuzzer: %s\n", message);
  std::abort();
}

// Gives at most `step` bytes per read, like a file read in small pieces.
class TrickleReader : public ostrel::FileReaderInterface {
 public:
  TrickleReader(std::string bytes, size_t step) : bytes_(std::move(bytes)), step_(step) {}
  int64_t Read(void* data, size_t size) override {
    size_t count = std::min({size, step_, bytes_.size() - position_});
    std::memcpy(data, bytes_.data() + position_, count);
    position_ += count;
    return static_cast<int64_t>(count);
  }

 private:
  std::string bytes_;
  size_t step_;
  size_t position_ = 0;
};

std::string DecodeMimeField(const std::string& encoded) {
  std::string out;
  for (size_t i = 0; i < encoded.size(); ++i) {
    if (encoded[i] == '\r' || encoded[i] == '\n' || encoded[i] == '"') Fail("a raw CR, LF or quote in a field");
    if (encoded[i] != '%') {
      out.push_back(encoded[i]);
      continue;
    }
    if (i + 2 >= encoded.size()) Fail("a field escape cut short");
    out.push_back(static_cast<char>(std::stoi(encoded.substr(i + 1, 2), nullptr, 16)));
    i += 2;
  }
  return out;
}

struct Expected {
  std::string value;  // form value or file content
  bool is_file = false;
  std::string file_name;
  std::string content_type;
};

constexpr const char* kContentTypes[] = {"", "application/octet-stream", "text/plain", "application/x-dmp+gz"};
constexpr char kBoundary[] = "---MultipartBoundary-0123456789abcdefghijklmnopqrstuv---";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const bool gzip = input.ConsumeBool();
  const size_t step = input.ConsumeIntegralInRange<size_t>(1, 70000);
  ostrel::MultipartForm form;
  form.SetGzipEnabled(gzip);
  form.set_boundary_for_testing(kBoundary);
  std::map<std::string, Expected> fields;
  std::map<std::string, Expected> files;
  std::vector<std::unique_ptr<TrickleReader>> readers;
  const std::string delimiter = std::string("--") + kBoundary;
  while (input.remaining_bytes() > 0 && readers.size() < 16) {
    const bool is_file = input.ConsumeBool();
    std::string name = input.ConsumeRandomLengthString(64);
    std::string value = input.ConsumeRandomLengthString(4096);
    // Only a 32-character random boundary could meet this; the test's fixed
    // one is kept out of the data instead.
    if (name.find(delimiter) != std::string::npos || value.find(delimiter) != std::string::npos) return 0;
    if (is_file) {
      // Repeated, so bodies cross the 32 KiB chunk size.
      const size_t times = input.ConsumeIntegralInRange<size_t>(1, 24);
      std::string repeated;
      for (size_t i = 0; i < times; ++i) repeated += value;
      value = std::move(repeated);
      if (value.find(delimiter) != std::string::npos) return 0;
      std::string file_name = input.ConsumeRandomLengthString(64);
      std::string type = kContentTypes[input.ConsumeIntegralInRange<size_t>(0, 3)];
      readers.push_back(std::make_unique<TrickleReader>(value, step));
      form.SetFileAttachment(name, file_name, readers.back().get(), type);
      fields.erase(name);
      files[name] = {value, true, file_name, type.empty() ? "application/octet-stream" : type};
    } else {
      form.SetFormData(name, value);
      files.erase(name);
      fields[name] = {value, false, "", ""};
    }
  }

  ostrel::testing::RecordingChannel channel;
  ostrel::HttpHeaders headers = form.GetContentHeaders();
  std::unique_ptr<ostrel::HttpBodyStream> body = form.GetBodyStream();
  if (!ostrel::ExecuteRequestOverChannel(&channel, headers, body.get(), nullptr)) Fail("the request failed");
  if (headers[ostrel::kContentTypeHeader] != std::string("multipart/form-data; boundary=") + kBoundary)
    Fail("the content type does not carry the boundary");
  if ((headers.count(ostrel::kContentEncodingHeader) != 0) != gzip) Fail("the encoding header is wrong");
  std::optional<ostrel::testing::Chunks> chunks = ostrel::testing::Dechunk(channel.written());
  if (!chunks) Fail("the chunk framing does not parse");
  std::string bytes = chunks->payload;
  if (gzip) {
    std::optional<std::string> inflated = ostrel::testing::Gunzip(bytes);
    if (!inflated) Fail("the gzip body does not inflate");
    bytes = *inflated;
  }
  std::optional<std::vector<ostrel::testing::FormPart>> parts = ostrel::testing::ParseMultipart(bytes, kBoundary);
  if (!parts) Fail("the body does not parse as multipart");
  if (parts->size() != fields.size() + files.size()) Fail("a part was lost or split");

  size_t index = 0;
  for (const auto* group : {&fields, &files}) {
    for (const auto& [name, expected] : *group) {
      const ostrel::testing::FormPart& part = (*parts)[index++];
      const std::string prefix = "form-data; name=\"";
      const std::string& disposition = part.disposition;
      if (disposition.compare(0, prefix.size(), prefix) != 0) Fail("the disposition does not start with the name");
      size_t name_end = disposition.find('"', prefix.size());
      if (name_end == std::string::npos) Fail("the name's quote is not closed");
      if (DecodeMimeField(disposition.substr(prefix.size(), name_end - prefix.size())) != name)
        Fail("a name does not decode back");
      std::string rest = disposition.substr(name_end + 1);
      if (expected.is_file) {
        const std::string file_prefix = "; filename=\"";
        if (rest.compare(0, file_prefix.size(), file_prefix) != 0 || rest.back() != '"')
          Fail("a file part has no file name");
        if (DecodeMimeField(rest.substr(file_prefix.size(), rest.size() - file_prefix.size() - 1)) != expected.file_name)
          Fail("a file name does not decode back");
        if (part.content_type != expected.content_type) Fail("a file part's type is wrong");
      } else if (!rest.empty() || !part.content_type.empty()) {
        Fail("a form field carries file headers");
      }
      if (part.content != expected.value) Fail("a part's content changed");
    }
  }
  return 0;
}
