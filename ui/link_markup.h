// The link markup of the installer's sentences: words between "((" and "))"
// are a link. Tokenising and line layout are platform-neutral: the caller
// measures text (GetTextExtentPoint32W in the window's font), so the rules
// build natively for the sanitizers and the fuzzer.
#ifndef UI_LINK_MARKUP_H_
#define UI_LINK_MARKUP_H_

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel {

struct MarkupToken {
  std::wstring text;
  bool is_link = false;
};

// One laid-out run of text: a link or plain text on one line.
struct TextPiece {
  std::wstring text;  // without line feeds
  bool is_link = false;
  int line = 0;
  int offset = 0;  // from the line's start
  int width = 0;
};

using TextWidthFunction = std::function<int(std::wstring_view text)>;

// Each plain token is one word with its trailing spaces (or ends at a line
// feed, which it keeps); a link is one token.
std::vector<MarkupToken> TokenizeLinkMarkup(std::wstring_view text);

// Lays the tokens out into lines no wider than `available_width` where
// possible; a run of spaces and punctuation never starts a line.
std::vector<TextPiece> LayoutTextPieces(const std::vector<MarkupToken>& tokens, int available_width,
                                        const TextWidthFunction& text_width);

// Per line, the offset that centres it: (available − width of its pieces) ÷ 2.
std::vector<int> CenterLineOffsets(const std::vector<TextPiece>& pieces, int available_width);

int LineCount(const std::vector<TextPiece>& pieces);

// The text with every "(" and ")" removed (the accessible name of a link sentence).
std::wstring StripLinkMarkup(std::wstring_view text);

}  // namespace ostrel

#endif  // UI_LINK_MARKUP_H_
