// Tokenises and lays out arbitrary text: the first byte picks the available
// width, the rest is UTF-16 text measured at a width per character. Layout
// must keep every character of the tokens but the line feeds, in order, with
// links kept apart, and place each line's pieces side by side from its start.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ui/link_markup.h"

namespace {

void Fail(const char* message) {
  std::fprintf(stderr, "link_markup_fuzzer: %s\n", message);
  std::abort();
}

std::wstring WithoutLineFeeds(const std::wstring& text) {
  std::wstring out;
  for (wchar_t c : text)
    if (c != L'\n') out.push_back(c);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  int width = data[0] * 4;
  std::wstring text;
  for (size_t i = 1; i + 1 < size; i += 2) text.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
  const std::vector<ostrel::MarkupToken> tokens = ostrel::TokenizeLinkMarkup(text);
  std::vector<ostrel::TextPiece> pieces = ostrel::LayoutTextPieces(
      tokens, width, [](std::wstring_view piece) { return static_cast<int>(piece.size()) * 7; });
  std::vector<int> offsets = ostrel::CenterLineOffsets(pieces, width);

  std::wstring token_text, token_links, piece_text, piece_links;
  for (const ostrel::MarkupToken& token : tokens) {
    if (token.text.empty()) Fail("an empty token");
    token_text += WithoutLineFeeds(token.text);
    if (token.is_link) token_links += WithoutLineFeeds(token.text);
  }
  int line = 0;
  int next_offset = 0;
  for (const ostrel::TextPiece& piece : pieces) {
    if (piece.line < 0 || static_cast<size_t>(piece.line) >= offsets.size()) __builtin_trap();
    if (piece.text.empty() || piece.text.find(L'\n') != std::wstring::npos) Fail("an empty piece or a line feed in one");
    if (piece.width != static_cast<int>(piece.text.size()) * 7) Fail("a piece's width is not its measure");
    if (piece.line != line) {
      if (piece.line < line) Fail("lines go backwards");
      line = piece.line;
      next_offset = 0;
    }
    if (piece.offset != next_offset) Fail("pieces of a line are not side by side from its start");
    next_offset += piece.width;
    piece_text += piece.text;
    if (piece.is_link) piece_links += piece.text;
  }
  if (piece_text != token_text) Fail("layout lost, added or reordered text");
  if (piece_links != token_links) Fail("layout changed what is a link");
  return 0;
}
