// Parses outside text as a dotted version: it is valid exactly when it is
// dot-separated decimal components below 2^32, prints back to the same
// numbers, and compares consistently with another parsed version.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/version.h"

namespace {

void Fail(const char* message) {
  std::fprintf(stderr, "version_fuzzer: %s\n", message);
  std::abort();
}

bool LooksValid(std::string_view text) {
  if (text.empty()) return false;
  size_t start = 0;
  while (true) {
    size_t end = text.find('.', start);
    std::string_view part = text.substr(start, end == std::string_view::npos ? text.npos : end - start);
    if (part.empty()) return false;
    uint64_t value = 0;
    for (char c : part) {
      if (c < '0' || c > '9') return false;
      value = value * 10 + static_cast<uint64_t>(c - '0');
      if (value > UINT32_MAX) return false;
    }
    if (end == std::string_view::npos) return true;
    start = end + 1;
  }
}

void Check(std::string_view text) {
  ostrel::Version version(text);
  if (version.IsValid() != LooksValid(text)) Fail("validity disagrees with the grammar");
  if (!version.IsValid()) {
    if (!version.ToString().empty()) Fail("an invalid version prints");
    return;
  }
  ostrel::Version again(version.ToString());
  if (again.components() != version.components()) Fail("printing does not parse back");
  if (version.ToString().size() > text.size()) Fail("printing grew the text");
  ostrel::Version padded(version.ToString() + ".0.0");
  if (!(padded == version)) Fail("trailing zero components changed the order");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t split = input.find(' ');
  std::string_view first = input.substr(0, split);
  std::string_view second = split == std::string_view::npos ? std::string_view() : input.substr(split + 1);
  Check(first);
  Check(second);
  ostrel::Version a(first), b(second);
  if (a.IsValid() && b.IsValid()) {
    int forward = a.CompareTo(b);
    if (forward != -b.CompareTo(a)) Fail("comparison is not antisymmetric");
    if ((forward == 0) != (ostrel::Version(a.ToString() + ".0") == b)) Fail("a trailing zero changed equality");
  }
  return 0;
}
