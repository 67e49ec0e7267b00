// tokenizer.h - the C-like token stream shared by every resource file format.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace host {

/// A problem found in a resource file: which file, which line (1-based; 0 when the file
/// could not be read at all) and what was expected.
struct ParseError {
  std::string file;
  int line = 0;
  std::string message;

  /// "file:line: message", or "file: message" without a line.
  std::string ToString() const;
};

enum class TokenKind {
  Identifier,
  Integer,
  Real,
  String,     // text is the decoded value (escapes resolved)
  Punct,      // one of { } ; , =
  Directive,  // a whole preprocessor line starting with '#', text without the '#'
  End,
};

struct Token {
  TokenKind kind = TokenKind::End;
  std::string text;     // spelling (decoded value for strings)
  int64_t integer = 0;  // Integer tokens
  double real = 0.0;    // Integer and Real tokens
  int line = 0;

  bool Is(TokenKind k) const { return kind == k; }
  bool IsPunct(char c) const { return kind == TokenKind::Punct && text.size() == 1 && text[0] == c; }
  bool IsIdent(std::string_view name) const { return kind == TokenKind::Identifier && text == name; }
  /// How the token reads in a message: 'x', "text", or end of file.
  std::string Describe() const;
};

/// Splits text into tokens: identifiers, integers (decimal or 0x hex, optional sign),
/// reals, double-quoted strings with escapes (\" \\ \n \t \r \uXXXX), the punctuation
/// { } ; , = and preprocessor lines. // and /* */ comments and a UTF-8 byte-order mark
/// are skipped. Returns false and fills *error on the first malformed token.
bool Tokenize(std::string_view text, const std::string& file, std::vector<Token>* tokens, ParseError* error);

/// Reads a whole file; false with a line-0 error when it cannot be read.
bool ReadTextFile(const std::string& path, std::string* text, ParseError* error);

/// A cursor over a token vector (always ends with an End token) with error helpers.
class TokenCursor {
 public:
  TokenCursor(const std::vector<Token>& tokenList, std::string fileName)
      : tokens(tokenList), file(std::move(fileName)) {}

  const Token& Peek(size_t ahead = 0) const;
  const Token& Next();
  bool AtEnd() const { return Peek().Is(TokenKind::End); }
  /// Consumes the punctuation c if it is next.
  bool Accept(char c);

  /// Fills *error with "expected <what>" at the current token's line; always false.
  bool Expected(const std::string& what, ParseError* error) const;
  /// Fills *error with message at line; always false.
  bool Fail(int line, const std::string& message, ParseError* error) const;

  const std::string& File() const { return file; }

 private:
  const std::vector<Token>& tokens;
  std::string file;
  size_t pos = 0;
};

}  // namespace host
