#include "base/base64.h"

#include <cstdint>
#include <utility>

namespace ostrel {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// 0..63, or -1 for a character outside the alphabet ("=" included).
int DecodeCharacter(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::string Base64Encode(std::string_view data) {
  std::string out;
  out.reserve((data.size() + 2) / 3 * 4);
  for (size_t i = 0; i < data.size(); i += 3) {
    const size_t count = data.size() - i < 3 ? data.size() - i : 3;
    uint32_t group = static_cast<uint32_t>(static_cast<uint8_t>(data[i])) << 16;
    if (count > 1) group |= static_cast<uint32_t>(static_cast<uint8_t>(data[i + 1])) << 8;
    if (count > 2) group |= static_cast<uint8_t>(data[i + 2]);
    out.push_back(kAlphabet[(group >> 18) & 0x3F]);
    out.push_back(kAlphabet[(group >> 12) & 0x3F]);
    out.push_back(count > 1 ? kAlphabet[(group >> 6) & 0x3F] : '=');
    out.push_back(count > 2 ? kAlphabet[group & 0x3F] : '=');
  }
  return out;
}

bool Base64Decode(std::string_view text, std::string* out) {
  if (text.size() % 4 != 0) return false;
  std::string decoded;
  decoded.reserve(text.size() / 4 * 3);
  for (size_t i = 0; i < text.size(); i += 4) {
    const bool last_group = i + 4 == text.size();
    // Padding only at the end of the last group: "xx==" or "xxx=".
    size_t padding = 0;
    if (last_group && text[i + 3] == '=') padding = text[i + 2] == '=' ? 2 : 1;
    uint32_t group = 0;
    for (size_t j = 0; j < 4 - padding; ++j) {
      const int value = DecodeCharacter(text[i + j]);
      if (value < 0) return false;
      group = (group << 6) | static_cast<uint32_t>(value);
    }
    group <<= 6 * padding;
    // The bits below the last whole byte must be zero.
    if (padding == 2 && (group & 0xFFFF) != 0) return false;
    if (padding == 1 && (group & 0xFF) != 0) return false;
    decoded.push_back(static_cast<char>(group >> 16));
    if (padding < 2) decoded.push_back(static_cast<char>((group >> 8) & 0xFF));
    if (padding < 1) decoded.push_back(static_cast<char>(group & 0xFF));
  }
  *out = std::move(decoded);
  return true;
}

}  // namespace ostrel
