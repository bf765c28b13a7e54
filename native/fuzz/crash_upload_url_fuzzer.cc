// Appends outside annotation values to the crash upload URL: what is added
// is only "?"/"&" items of unreserved characters and whole "%XX" escapes,
// each item within its length limit and decoding to a prefix of its value
// (all of it unless the item was cut).
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "crash/crash_upload_url.h"

namespace {

void Fail(const char* message) {
  std::fprintf(stderr, "crash_upload_url_fuzzer: %s\n", message);
  std::abort();
}

bool IsUnreserved(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
         c == '.' || c == '~';
}

int Hex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;  // the encoder writes upper case only
}

std::string Decode(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (IsUnreserved(text[i])) {
      out.push_back(text[i]);
    } else if (text[i] == '%' && i + 2 < text.size() && Hex(text[i + 1]) >= 0 &&
               Hex(text[i + 2]) >= 0) {
      out.push_back(static_cast<char>(Hex(text[i + 1]) * 16 + Hex(text[i + 2])));
      i += 2;
    } else {
      Fail("a raw reserved byte or a cut escape in an item");
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string url = input.ConsumeBool() ? "https://crash.example/submit" : "https://crash.example/submit?x=1";
  std::map<std::string, std::string> annotations;
  for (const char* key : {"prod", "ver", "guid", "plat"}) {
    if (input.ConsumeBool()) annotations[key] = input.ConsumeRandomLengthString(300);
  }
  const std::string result = ostrel::AppendCrashQueryItems(url, annotations);
  if (result.compare(0, url.size(), url) != 0) Fail("the URL itself changed");
  std::string rest = result.substr(url.size());
  char separator = url.find('?') == std::string::npos ? '?' : '&';
  static constexpr const char* kItems[][2] = {{"prod", "product"}, {"ver", "version"}, {"guid", "guid"}};
  for (const auto& item : kItems) {
    auto found = annotations.find(item[0]);
    if (found == annotations.end()) continue;
    const std::string head = std::string(1, separator) + item[1] + "=";
    if (rest.compare(0, head.size(), head) != 0) Fail("an item is missing or out of order");
    size_t end = rest.find_first_of("?&", 1);
    std::string item_text = rest.substr(0, end);
    if (item_text.size() > ostrel::kMaxQueryItemLength) Fail("an item is longer than the limit");
    const std::string decoded = Decode(item_text.substr(head.size()));
    if (found->second.compare(0, decoded.size(), decoded) != 0) Fail("an item does not decode to its value");
    if (decoded.size() < found->second.size() && item_text.size() + 3 <= ostrel::kMaxQueryItemLength)
      Fail("an item was cut though it fitted");
    rest = end == std::string::npos ? std::string() : rest.substr(end);
    separator = '&';
  }
  if (!rest.empty()) Fail("something else was appended");
  return 0;
}
