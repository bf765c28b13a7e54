// Reads outside text as the statistics hand-over (standing parameters, then
// after the first U+0000 an event's lines), merges and builds the request
// URL. The hand-over must survive serialising, the merge must keep standing
// values, and every item of the URL must decode back to its key and value.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/utf_string_conversions.h"
#include "reporting/stat_params.h"

namespace {

void Fail(const char* message) {
  std::fprintf(stderr, "stat_params_fuzzer: %s\n", message);
  std::abort();
}

bool IsUnreserved(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
         c == '.' || c == '~';
}

// Stands in for the segment escaping of the Windows build: UTF-8, every
// reserved byte as %XX, empty past the same 2083-character buffer.
constexpr size_t kEscapeLimit = 2083;
std::wstring Escape(const std::wstring& text) {
  std::wstring out;
  for (char c : ostrel::WideToUtf8(text)) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (IsUnreserved(byte)) {
      out.push_back(byte);
    } else {
      static constexpr char kHex[] = "0123456789ABCDEF";
      out += L'%';
      out += static_cast<wchar_t>(kHex[byte >> 4]);
      out += static_cast<wchar_t>(kHex[byte & 15]);
    }
  }
  return out.size() > kEscapeLimit ? std::wstring() : out;
}

int HexValue(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  return -1;
}

std::string Unescape(std::wstring_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != L'%') {
      out.push_back(static_cast<char>(text[i]));
      continue;
    }
    if (i + 2 >= text.size()) Fail("escape cut short");
    int high = HexValue(text[i + 1]);
    int low = HexValue(text[i + 2]);
    if (high < 0 || low < 0) Fail("'%' not followed by two hexadecimal digits");
    out.push_back(static_cast<char>(high * 16 + low));
    i += 2;
  }
  return out;
}

// What the URL must carry for one key or value.
std::string Expected(const std::wstring& text) {
  std::wstring replaced = ostrel::ReplaceStatSeparators(text);
  return Escape(replaced).empty() && !replaced.empty() ? std::string() : ostrel::WideToUtf8(replaced);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const int32_t target = static_cast<int8_t>(data[0]) % 8;
  const int32_t installer_type = static_cast<int8_t>(data[1]) % 7;
  const int32_t path_kind = data[2] % 5;
  std::wstring text;
  for (size_t i = 3; i + 1 < size; i += 2) text.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
  size_t split = text.find(L'\0');
  std::wstring_view standing_text = std::wstring_view(text).substr(0, split);
  std::wstring_view event_text = split == std::wstring::npos ? std::wstring_view() : std::wstring_view(text).substr(split + 1);

  ostrel::StatParams standing;
  ostrel::ParseStatParams(standing_text, &standing);
  ostrel::StatParams again;
  ostrel::ParseStatParams(ostrel::SerializeStatParams(standing), &again);
  if (again != standing) Fail("the hand-over text does not parse back to the same parameters");
  ostrel::StatEvent event;
  ostrel::ParseStatParams(event_text, &event);

  ostrel::StatParams merged = ostrel::MergeStatParams(standing, event, target, installer_type);
  for (const auto& [key, value] : standing) {
    if (key == ostrel::kStatKeyOldStyle || key == ostrel::kStatKeyTarget || key == ostrel::kStatKeyInstallerType)
      continue;
    if (merged[key] != value) Fail("a standing value was lost in the merge");
  }
  for (const auto& [key, value] : event) {
    if (!standing.count(key) && key != ostrel::kStatKeyOldStyle && key != ostrel::kStatKeyTarget &&
        key != ostrel::kStatKeyInstallerType && merged[key] != value)
      Fail("an event value was lost in the merge");
  }
  if (!merged.count(ostrel::kStatKeyOldStyle) || !merged.count(ostrel::kStatKeyBrandId)) Fail("format keys missing");

  const std::wstring url = ostrel::BuildStatQueryUrl("https://api.example", merged, path_kind, Escape);
  const ostrel::StatPathKind* kind = ostrel::FindStatPathKind(path_kind);
  if (!kind) {
    if (!url.empty()) Fail("a URL for an unknown path kind");
    return 0;
  }
  for (wchar_t c : url) {
    if (c <= 0x20 || c >= 0x7F) Fail("a raw control, space or non-ASCII character in the URL");
  }
  const std::wstring prefix = L"https://api.example" + ostrel::AsciiToWide(ostrel::kStatSendPath) + L"/cid=" +
                              std::to_wstring(kind->cid) + L"/path=" + ostrel::AsciiToWide(kind->path);
  if (url.compare(0, prefix.size(), prefix) != 0 || url.size() < prefix.size() + 2 ||
      url.compare(url.size() - 2, 2, L"/*") != 0)
    Fail("the URL's frame is wrong");
  std::wstring_view rest = std::wstring_view(url).substr(prefix.size(), url.size() - prefix.size() - 2);
  if (rest.empty()) {
    if (!merged.empty()) Fail("items missing");
    return 0;
  }
  if (rest.substr(0, 6) != L"/vars=") Fail("no vars segment");
  rest.remove_prefix(6);
  auto entry = merged.begin();
  while (true) {
    size_t comma = rest.find(L',');
    std::wstring_view item = rest.substr(0, comma);
    size_t equals = item.find(L'=');
    if (entry == merged.end() || item.empty() || item[0] != L'-' || equals == std::wstring_view::npos)
      Fail("an item is not -key=value");
    if (Unescape(item.substr(1, equals - 1)) != Expected(ostrel::Utf8ToWide(entry->first)))
      Fail("a key does not decode back");
    if (Unescape(item.substr(equals + 1)) != Expected(entry->second)) Fail("a value does not decode back");
    ++entry;
    if (comma == std::wstring_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  if (entry != merged.end()) Fail("items missing");
  return 0;
}
