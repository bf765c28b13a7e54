#include "ui/link_markup.h"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

// Ten pixels a character keeps the expected offsets readable.
int TenPerCharacter(std::wstring_view text) { return static_cast<int>(text.size()) * 10; }

std::vector<TextPiece> Layout(std::wstring_view text, int width) {
  return LayoutTextPieces(TokenizeLinkMarkup(text), width, TenPerCharacter);
}

void ExpectPiece(const TextPiece& piece, const wchar_t* text, bool is_link, int line, int offset) {
  EXPECT_EQ(piece.text, text);
  EXPECT_EQ(piece.is_link, is_link) << piece.text;
  EXPECT_EQ(piece.line, line) << piece.text;
  EXPECT_EQ(piece.offset, offset) << piece.text;
  EXPECT_EQ(piece.width, TenPerCharacter(piece.text));
}

TEST(LinkMarkupTest, TokensAreWordsWithTheirSpacesAndWholeLinks) {
  std::vector<MarkupToken> tokens = TokenizeLinkMarkup(L"By using  it,\nyou ((License agreement)).");
  std::vector<std::pair<std::wstring, bool>> got;
  for (const MarkupToken& token : tokens) got.emplace_back(token.text, token.is_link);
  std::vector<std::pair<std::wstring, bool>> expected = {
      {L"By ", false}, {L"using  ", false}, {L"it,\n", false}, {L"you ", false},
      {L"License agreement", true}, {L".", false}};
  EXPECT_EQ(got, expected);

  tokens = TokenizeLinkMarkup(L"open ((link");
  ASSERT_EQ(tokens.size(), 2u);
  EXPECT_TRUE(tokens[1].is_link);
  EXPECT_EQ(tokens[1].text, L"link");
}

TEST(LinkMarkupTest, WordLinkAndFinalWordMakeThreePiecesOnOneLine) {
  std::vector<TextPiece> pieces = Layout(L"Read ((the terms)) now.", 1000);
  ASSERT_EQ(pieces.size(), 3u);
  ExpectPiece(pieces[0], L"Read ", false, 0, 0);
  ExpectPiece(pieces[1], L"the terms", true, 0, 50);
  ExpectPiece(pieces[2], L" now.", false, 0, 140);
  EXPECT_EQ(CenterLineOffsets(pieces, 1000), std::vector<int>{(1000 - 190) / 2});
}

TEST(LinkMarkupTest, PlainTextWrapsIntoOnePiecePerLine) {
  std::vector<TextPiece> pieces = Layout(L"aaa bbb ccc ddd", 80);
  ASSERT_EQ(pieces.size(), 2u);
  ExpectPiece(pieces[0], L"aaa bbb ", false, 0, 0);
  ExpectPiece(pieces[1], L"ccc ddd", false, 1, 0);
  EXPECT_EQ(LineCount(pieces), 2);
  EXPECT_EQ(CenterLineOffsets(pieces, 80), (std::vector<int>{0, 5}));
}

TEST(LinkMarkupTest, LineFeedBreaksEvenWhenTheRestFits) {
  std::vector<TextPiece> pieces = Layout(L"By using it,\nyou accept the\n((License agreement))", 1000);
  ASSERT_EQ(pieces.size(), 3u);
  ExpectPiece(pieces[0], L"By using it,", false, 0, 0);
  ExpectPiece(pieces[1], L"you accept the", false, 1, 0);
  ExpectPiece(pieces[2], L"License agreement", true, 2, 0);
}

TEST(LinkMarkupTest, FinalFullStopStaysOnItsLineWhenItDoesNotFit) {
  std::vector<TextPiece> pieces = Layout(L"aa ((bbbb)).", 70);
  ASSERT_EQ(pieces.size(), 3u);
  EXPECT_EQ(LineCount(pieces), 1);
  ExpectPiece(pieces[2], L".", false, 0, 70);

  // A word that does not fit moves on, though.
  pieces = Layout(L"aa ((bbbb)) c", 70);
  EXPECT_EQ(pieces.back().line, 1);
}

TEST(LinkMarkupTest, WordWiderThanTheLineStaysAloneWithoutEmptyLines) {
  std::vector<TextPiece> pieces = Layout(L"abcdefghij k", 50);
  ASSERT_EQ(pieces.size(), 2u);
  ExpectPiece(pieces[0], L"abcdefghij ", false, 0, 0);
  ExpectPiece(pieces[1], L"k", false, 1, 0);
  EXPECT_TRUE(Layout(L"", 50).empty());
  EXPECT_EQ(StripLinkMarkup(L"the ((License Agreement))."), L"the License Agreement.");
}

}  // namespace
}  // namespace ostrel
