// Reads arbitrary bytes as JSON. The first byte selects the reader options
// (its low six bits; "<" is 60, the installer's options), the rest is the
// document. Whatever reads must write and read back to an equal value, in
// both output forms, with no options at all.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "base/json_reader.h"
#include "base/json_writer.h"

namespace {

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "json_reader_fuzzer: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int options = data[0] & 63;
  // A copy of exactly the document's bytes, so reads past its end are caught.
  std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  int error_code = -1;
  std::string error_message;
  std::optional<ostrel::Value> value = ostrel::Deserialize(text, options, &error_code, &error_message);
  if (!value) {
    Check(error_code >= 1 && error_code <= 9, "error code out of range");
    Check(error_message.rfind("Line: ", 0) == 0, "error message format");
    const std::string_view tail = ostrel::JsonErrorCodeToString(error_code);
    Check(error_message.size() > tail.size() &&
              error_message.compare(error_message.size() - tail.size(), tail.size(), tail) == 0,
          "error message text");
    return 0;
  }
  Check(error_code == 0 && error_message.empty(), "success reports an error");
  for (bool pretty : {false, true}) {
    std::string written;
    Check(ostrel::JsonWrite(*value, pretty, &written), "write failed");
    int reread_error = 0;
    std::string reread_message;
    std::optional<ostrel::Value> reread = ostrel::Deserialize(written, 0, &reread_error, &reread_message);
    if (!reread) std::fprintf(stderr, "%s\n%s\n", written.c_str(), reread_message.c_str());
    Check(reread.has_value(), "written text does not read back");
    Check(*reread == *value, "round trip changed the value");
  }
  return 0;
}
