#include "net/download_rules.h"

#include <limits>

namespace ostrel {
namespace {

wchar_t LowerAscii(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

uint64_t SaturatingAdd(uint64_t a, uint64_t b) {
  return b > std::numeric_limits<uint64_t>::max() - a ? std::numeric_limits<uint64_t>::max() : a + b;
}

}  // namespace

bool HasScheme(std::wstring_view url, std::wstring_view scheme) {
  if (url.size() < scheme.size()) return false;
  for (size_t i = 0; i < scheme.size(); ++i) {
    if (LowerAscii(url[i]) != scheme[i]) return false;
  }
  return true;
}

bool IsHttps(std::wstring_view url) { return HasScheme(url, L"https://"); }

RedirectVerdict JudgeRedirect(std::wstring_view from, std::wstring_view to, int redirect_number, int max_redirects) {
  if (redirect_number > max_redirects) return RedirectVerdict::kTooMany;
  if (IsHttps(from) && !IsHttps(to)) return RedirectVerdict::kLeavesHttps;
  return RedirectVerdict::kFollow;
}

uint64_t AnnouncedBodyEnd(bool range_answer, uint64_t resume_offset, uint64_t length) {
  return range_answer ? SaturatingAdd(resume_offset, length) : length;
}

uint64_t BodyEndAfter(uint64_t written, uint64_t count) { return SaturatingAdd(written, count); }

}  // namespace ostrel
