// Tokenises and lays out arbitrary text: the first byte picks the available
// width, the rest is UTF-16 text measured at a width per character.
#include <cstddef>
#include <cstdint>
#include <string>

#include "ui/link_markup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  int width = data[0] * 4;
  std::wstring text;
  for (size_t i = 1; i + 1 < size; i += 2) text.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
  std::vector<ostrel::TextPiece> pieces = ostrel::LayoutTextPieces(
      ostrel::TokenizeLinkMarkup(text), width, [](std::wstring_view piece) { return static_cast<int>(piece.size()) * 7; });
  std::vector<int> offsets = ostrel::CenterLineOffsets(pieces, width);
  for (const ostrel::TextPiece& piece : pieces) {
    if (piece.line < 0 || static_cast<size_t>(piece.line) >= offsets.size()) __builtin_trap();
  }
  return 0;
}
