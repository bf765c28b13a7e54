// The rules on what a server sends: a redirect is followed only within the
// count and never from https to anything else, whatever the case of the
// schemes; a body's end never wraps below what was written or announced.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/utf_string_conversions.h"
#include "net/download_rules.h"

namespace {

void Fail(const char* message) {
  std::fprintf(stderr, "download_rules_fuzzer: %s\n", message);
  std::abort();
}

// The scheme test written another way: lower-case the ASCII prefix, compare.
bool StartsWithHttps(const std::wstring& url) {
  std::wstring prefix = url.substr(0, 8);
  for (wchar_t& c : prefix)
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + (L'a' - L'A'));
  return prefix == L"https://";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const int number = input.ConsumeIntegralInRange<int>(0, 40);
  const int max = input.ConsumeIntegralInRange<int>(0, 30);
  const uint64_t offset = input.ConsumeIntegral<uint64_t>();
  const uint64_t length = input.ConsumeIntegral<uint64_t>();
  const bool range = input.ConsumeBool();
  const std::wstring from = ostrel::Utf8ToWide(input.ConsumeRandomLengthString(200));
  const std::wstring to = ostrel::Utf8ToWide(input.ConsumeRemainingBytesAsString());

  if (ostrel::IsHttps(from) != StartsWithHttps(from) || ostrel::IsHttps(to) != StartsWithHttps(to))
    Fail("the scheme test disagrees with a plain prefix comparison");
  ostrel::RedirectVerdict verdict = ostrel::JudgeRedirect(from, to, number, max);
  if (verdict == ostrel::RedirectVerdict::kFollow) {
    if (number > max) Fail("followed past the redirect limit");
    if (StartsWithHttps(from) && !StartsWithHttps(to)) Fail("followed a redirect that leaves https");
  } else if (verdict == ostrel::RedirectVerdict::kLeavesHttps && number > max) {
    Fail("the count is checked first");
  }

  const uint64_t announced = ostrel::AnnouncedBodyEnd(range, offset, length);
  if (announced < length || (range && announced < offset)) Fail("the announced end wrapped");
  if (!range && announced != length) Fail("a whole answer's end is its length");
  const uint32_t count = static_cast<uint32_t>(length);
  if (ostrel::BodyEndAfter(offset, count) < offset) Fail("the body's end wrapped");
  return 0;
}
