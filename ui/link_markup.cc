#include "ui/link_markup.h"

#include <algorithm>

namespace ostrel {
namespace {

bool IsBreakNeutral(const std::wstring& text) {
  return std::all_of(text.begin(), text.end(), [](wchar_t c) {
    return c == L' ' || c == L'\n' || c == L'?' || c == L'!' || c == L':' || c == L';' || c == L',' ||
           c == L'.';
  });
}

std::wstring WithoutLineFeeds(const std::wstring& text) {
  std::wstring result;
  result.reserve(text.size());
  for (wchar_t c : text) {
    if (c != L'\n') result.push_back(c);
  }
  return result;
}

}  // namespace

std::vector<MarkupToken> TokenizeLinkMarkup(std::wstring_view text) {
  std::vector<MarkupToken> tokens;
  std::wstring current;
  bool in_link = false;
  wchar_t previous = 0;
  auto flush = [&](bool is_link) {
    if (!current.empty()) tokens.push_back({std::move(current), is_link});
    current.clear();
  };
  for (size_t i = 0; i < text.size(); ++i) {
    wchar_t c = text[i];
    if (in_link) {
      if (c == L')' && i + 1 < text.size() && text[i + 1] == L')') {
        flush(true);
        in_link = false;
        previous = 0;
        ++i;
        continue;
      }
      current.push_back(c);
      continue;
    }
    if (c == L'(' && i + 1 < text.size() && text[i + 1] == L'(') {
      flush(false);
      in_link = true;
      ++i;
      continue;
    }
    if (c == L'\n') {
      current.push_back(c);
      flush(false);
      previous = c;
      continue;
    }
    if (c != L' ' && (previous == L' ' || previous == 0)) flush(false);
    current.push_back(c);
    previous = c;
  }
  flush(in_link);
  return tokens;
}

std::vector<TextPiece> LayoutTextPieces(const std::vector<MarkupToken>& tokens, int available_width,
                                        const TextWidthFunction& text_width) {
  std::vector<TextPiece> pieces;
  std::wstring run;  // with line feeds, which decide breaks
  bool run_is_link = false;
  bool run_open = false;
  int run_offset = 0;
  int line = 0;
  bool line_has_pieces = false;

  auto close_run = [&]() -> int {
    if (!run_open) return run_offset;
    std::wstring text = WithoutLineFeeds(run);
    run.clear();
    run_open = false;
    if (text.empty()) return run_offset;
    int width = text_width(text);
    pieces.push_back({std::move(text), run_is_link, line, run_offset, width});
    line_has_pieces = true;
    return run_offset + width;
  };
  auto start_run = [&](const MarkupToken& token, int offset) {
    run = token.text;
    run_is_link = token.is_link;
    run_offset = offset;
    run_open = true;
  };

  for (const MarkupToken& token : tokens) {
    if (!token.is_link && IsBreakNeutral(token.text)) {
      start_run(token, close_run());
      continue;
    }
    bool line_empty = !line_has_pieces && (!run_open || run.empty());
    bool breaks = false;
    if (!line_empty && run_open) {
      breaks = run.find(L'\n') != std::wstring::npos ||
               run_offset + text_width(WithoutLineFeeds(run)) + text_width(WithoutLineFeeds(token.text)) >
                   available_width;
    } else if (!line_empty) {
      breaks = run_offset + text_width(WithoutLineFeeds(token.text)) > available_width;
    }
    if (breaks) {
      close_run();
      ++line;
      line_has_pieces = false;
      start_run(token, 0);
      continue;
    }
    if (run_open && run_is_link == token.is_link) {
      run += token.text;
      continue;
    }
    start_run(token, close_run());
  }
  close_run();
  return pieces;
}

std::vector<int> CenterLineOffsets(const std::vector<TextPiece>& pieces, int available_width) {
  std::vector<int> widths(LineCount(pieces), 0);
  for (const TextPiece& piece : pieces) widths[piece.line] += piece.width;
  std::vector<int> offsets;
  offsets.reserve(widths.size());
  for (int width : widths) offsets.push_back((available_width - width) / 2);
  return offsets;
}

int LineCount(const std::vector<TextPiece>& pieces) { return pieces.empty() ? 0 : pieces.back().line + 1; }

std::wstring StripLinkMarkup(std::wstring_view text) {
  std::wstring result;
  for (wchar_t c : text) {
    if (c != L'(' && c != L')') result.push_back(c);
  }
  return result;
}

}  // namespace ostrel
