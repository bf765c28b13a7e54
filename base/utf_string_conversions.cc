#include "base/utf_string_conversions.h"

#include <cstdint>

namespace ostrel {
namespace {

constexpr uint32_t kReplacement = 0xFFFD;

void AppendUtf8(uint32_t cp, std::string* out) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

void AppendWide(uint32_t cp, std::wstring* out) {
  if (sizeof(wchar_t) == 2 && cp >= 0x10000) {
    cp -= 0x10000;
    out->push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
    out->push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
  } else {
    out->push_back(static_cast<wchar_t>(cp));
  }
}

}  // namespace

std::string WideToUtf8(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t unit = static_cast<uint32_t>(text[i]);
    if (sizeof(wchar_t) == 2) unit &= 0xFFFF;
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size()) {
      uint32_t low = static_cast<uint32_t>(text[i + 1]) & 0xFFFF;
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), &out);
        ++i;
        continue;
      }
    }
    if ((unit >= 0xD800 && unit <= 0xDFFF) || unit > 0x10FFFF) unit = kReplacement;
    AppendUtf8(unit, &out);
  }
  return out;
}

std::wstring Utf8ToWide(std::string_view text) {
  std::wstring out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    uint8_t lead = static_cast<uint8_t>(text[i]);
    if (lead < 0x80) {
      out.push_back(static_cast<wchar_t>(lead));
      ++i;
      continue;
    }
    int extra = 0;
    uint32_t cp = 0;
    uint32_t min = 0;
    if ((lead & 0xE0) == 0xC0) {
      extra = 1, cp = lead & 0x1F, min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2, cp = lead & 0x0F, min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      extra = 3, cp = lead & 0x07, min = 0x10000;
    } else {
      AppendWide(kReplacement, &out);
      ++i;
      continue;
    }
    size_t j = i + 1;
    bool ok = true;
    for (int k = 0; k < extra; ++k, ++j) {
      if (j >= text.size() || (static_cast<uint8_t>(text[j]) & 0xC0) != 0x80) {
        ok = false;
        break;
      }
      cp = (cp << 6) | (static_cast<uint8_t>(text[j]) & 0x3F);
    }
    if (!ok || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      AppendWide(kReplacement, &out);
      i = j;  // j > i: the lead and any continuation bytes examined
      continue;
    }
    AppendWide(cp, &out);
    i = j;
  }
  return out;
}

std::wstring AsciiToWide(std::string_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (char c : text) out.push_back(static_cast<wchar_t>(static_cast<uint8_t>(c)));
  return out;
}

std::string WideToLowBytes(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (wchar_t c : text) out.push_back(static_cast<char>(static_cast<uint32_t>(c) & 0xFF));
  return out;
}

void AppendCodePointAsUtf8(uint32_t code_point, std::string* out) { AppendUtf8(code_point, out); }

size_t WellFormedUtf8Length(std::string_view text, size_t* invalid_length) {
  size_t ignored = 0;
  if (!invalid_length) invalid_length = &ignored;
  if (text.empty()) {
    *invalid_length = 0;
    return 0;
  }
  const uint8_t lead = static_cast<uint8_t>(text[0]);
  if (lead < 0x80) return 1;
  size_t length = 0;
  // The second byte's range excludes overlong forms, surrogates and values
  // above U+10FFFF.
  uint8_t second_min = 0x80;
  uint8_t second_max = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) second_min = 0xA0;
    if (lead == 0xED) second_max = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) second_min = 0x90;
    if (lead == 0xF4) second_max = 0x8F;
  } else {
    *invalid_length = 1;
    return 0;
  }
  for (size_t i = 1; i < length; ++i) {
    const uint8_t min = i == 1 ? second_min : 0x80;
    const uint8_t max = i == 1 ? second_max : 0xBF;
    if (i >= text.size() || static_cast<uint8_t>(text[i]) < min || static_cast<uint8_t>(text[i]) > max) {
      *invalid_length = i;
      return 0;
    }
  }
  return length;
}

}  // namespace ostrel
