#include "crash/crash_upload_url.h"

#include <cstdio>

namespace ostrel {
namespace {

bool IsUnreserved(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
         c == '.' || c == '~';
}

// Cuts to `limit` characters without leaving half of a "%XX" escape behind,
// which would make the whole URL malformed.
void CutItem(std::string* item, size_t limit) {
  if (item->size() <= limit) return;
  item->resize(limit);
  size_t percent = item->rfind('%');
  if (percent != std::string::npos && percent + 3 > item->size()) item->resize(percent);
}

}  // namespace

std::string PercentEncode(std::string_view text) {
  std::string encoded;
  for (char c : text) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (IsUnreserved(byte)) {
      encoded.push_back(c);
    } else {
      char escape[4];
      std::snprintf(escape, sizeof(escape), "%%%02X", byte);
      encoded += escape;
    }
  }
  return encoded;
}

std::string AppendCrashQueryItems(std::string url, const std::map<std::string, std::string>& annotations) {
  static constexpr struct {
    const char* annotation;
    const char* query_name;
  } kItems[] = {{"prod", "product"}, {"ver", "version"}, {"guid", "guid"}};
  for (const auto& item : kItems) {
    auto found = annotations.find(item.annotation);
    if (found == annotations.end()) continue;
    std::string text = url.find('?') == std::string::npos ? "?" : "&";
    text += item.query_name;
    text += "=";
    text += PercentEncode(found->second);
    CutItem(&text, kMaxQueryItemLength);
    url += text;
  }
  return url;
}

}  // namespace ostrel
