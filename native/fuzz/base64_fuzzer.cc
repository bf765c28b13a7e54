// Decodes arbitrary text as Base64: whatever decodes must encode back to the
// same text (one accepted text per byte string), and encoding arbitrary bytes
// must decode back to them.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/base64.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::string decoded;
  if (ostrel::Base64Decode(input, &decoded) && ostrel::Base64Encode(decoded) != input) {
    std::fprintf(stderr, "base64_fuzzer: accepted a non-canonical text\n");
    std::abort();
  }
  std::string round_trip;
  if (!ostrel::Base64Decode(ostrel::Base64Encode(input), &round_trip) || round_trip != input) {
    std::fprintf(stderr, "base64_fuzzer: encoding does not decode back\n");
    std::abort();
  }
  return 0;
}
