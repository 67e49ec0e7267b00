// Tokenizer: token kinds, escapes, comments and the errors it reports.
#include "resources/tokenizer.h"

#include <gtest/gtest.h>

namespace host {
namespace {

std::vector<Token> Lex(std::string_view text) {
  std::vector<Token> tokens;
  ParseError error;
  EXPECT_TRUE(Tokenize(text, "t.res", &tokens, &error)) << error.ToString();
  return tokens;
}

std::string LexError(std::string_view text) {
  std::vector<Token> tokens;
  ParseError error;
  EXPECT_FALSE(Tokenize(text, "t.res", &tokens, &error));
  return error.ToString();
}

TEST(TokenizerTest, KindsValuesAndLines) {
  auto t =
      Lex("\xEF\xBB\xBF"
          "REAL X_1 { MIN -10.5; MAX 1e3; STEP 0x10; }\n= , -7 +.5");
  ASSERT_EQ(t.size(), 18u);
  EXPECT_TRUE(t[0].IsIdent("REAL"));
  EXPECT_TRUE(t[1].IsIdent("X_1"));
  EXPECT_TRUE(t[2].IsPunct('{'));
  EXPECT_EQ(t[4].kind, TokenKind::Real);
  EXPECT_DOUBLE_EQ(t[4].real, -10.5);
  EXPECT_DOUBLE_EQ(t[7].real, 1000.0);
  EXPECT_EQ(t[10].kind, TokenKind::Integer);
  EXPECT_EQ(t[10].integer, 16);
  EXPECT_TRUE(t[13].IsPunct('='));
  EXPECT_EQ(t[13].line, 2);
  EXPECT_EQ(t[15].integer, -7);
  EXPECT_DOUBLE_EQ(t[16].real, 0.5);
  EXPECT_EQ(t[17].kind, TokenKind::End);
}

TEST(TokenizerTest, StringsCommentsAndDirectives) {
  auto t = Lex(
      "// line comment\n/* block\n comment */ \"a\\\"b\\\\c\\n\\u00e4\" // tail\n  #ifndef GUARD // x\nX");
  ASSERT_EQ(t.size(), 4u);
  EXPECT_EQ(t[0].kind, TokenKind::String);
  EXPECT_EQ(t[0].text, "a\"b\\c\n\xC3\xA4");
  EXPECT_EQ(t[0].line, 3);
  EXPECT_EQ(t[1].kind, TokenKind::Directive);
  EXPECT_EQ(t[1].text, "ifndef GUARD");
  EXPECT_EQ(t[2].line, 5);
}

TEST(TokenizerTest, ErrorsNameFileAndLine) {
  EXPECT_EQ(LexError("A\n\"open"), "t.res:2: unterminated string");
  EXPECT_EQ(LexError("A\n\"split\nline\""), "t.res:2: unterminated string");
  EXPECT_EQ(LexError("/* never\nclosed"), "t.res:1: unterminated comment");
  EXPECT_EQ(LexError("\n\n\"bad \\q\""), "t.res:3: unknown escape '\\q' in string");
  EXPECT_EQ(LexError("\"\\u12\""), "t.res:1: expected four hex digits after \\u");
  EXPECT_EQ(LexError("A\nB @"), "t.res:2: unexpected character '@'");
  EXPECT_EQ(LexError("12abc"), "t.res:1: malformed number '12abc'");
  EXPECT_EQ(LexError("99999999999"), "t.res:1: number out of range '99999999999'");
  EXPECT_EQ(LexError("A # not at line start"), "t.res:1: unexpected character '#'");
}

}  // namespace
}  // namespace host
