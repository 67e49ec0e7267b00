// tokenizer.cpp - the shared resource tokenizer.
#include "resources/tokenizer.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "core/file_read.h"

namespace host {

std::string ParseError::ToString() const {
  if (line > 0) return file + ":" + std::to_string(line) + ": " + message;
  return file + ": " + message;
}

std::string Token::Describe() const {
  switch (kind) {
    case TokenKind::End:
      return "end of file";
    case TokenKind::String:
      return "\"" + text + "\"";
    case TokenKind::Directive:
      return "'#" + text + "'";
    default:
      return "'" + text + "'";
  }
}

namespace {

bool IsIdentStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsIdentChar(char c) { return IsIdentStart(c) || IsDigit(c); }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void AppendUtf8(uint32_t cp, std::string* out) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

}  // namespace

namespace {

// The state of one pass over a text: where it is, on which line, and whether only
// whitespace came before on this line (a '#' there starts a preprocessor line).
class Lexer {
 public:
  Lexer(std::string_view text, const std::string& file, ParseError* error)
      : text_(text), file_(file), error_(error) {
    if (text_.substr(0, 3) == "\xEF\xBB\xBF") i_ = 3;
  }

  bool Run(std::vector<Token>* tokens) {
    for (;;) {
      bool more = false;
      if (!SkipSpaceAndComments(&more)) return false;
      if (!more) break;
      Token tok;
      tok.line = line_;
      if (!Next(&tok)) return false;
      tokens->push_back(std::move(tok));
    }
    Token end;
    end.kind = TokenKind::End;
    end.line = line_;
    tokens->push_back(end);
    return true;
  }

 private:
  bool Fail(int at, const std::string& message) {
    *error_ = ParseError{file_, at, message};
    return false;
  }

  // Skips whitespace and comments; *more tells whether a token follows.
  bool SkipSpaceAndComments(bool* more) {
    while (i_ < text_.size()) {
      const char c = text_[i_];
      if (c == '\n') {
        ++line_;
        ++i_;
        lineStart_ = true;
      } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
        ++i_;
      } else if (c == '/' && i_ + 1 < text_.size() && text_[i_ + 1] == '/') {
        while (i_ < text_.size() && text_[i_] != '\n') ++i_;
      } else if (c == '/' && i_ + 1 < text_.size() && text_[i_ + 1] == '*') {
        const int startLine = line_;
        i_ += 2;
        while (i_ + 1 < text_.size() && !(text_[i_] == '*' && text_[i_ + 1] == '/')) {
          if (text_[i_] == '\n') ++line_;
          ++i_;
        }
        if (i_ + 1 >= text_.size()) return Fail(startLine, "unterminated comment");
        i_ += 2;
      } else {
        *more = true;
        return true;
      }
    }
    *more = false;
    return true;
  }

  bool Next(Token* tok) {
    const char c = text_[i_];
    if (c == '#' && lineStart_) {
      ReadDirective(tok);
      return true;
    }
    lineStart_ = false;
    if (IsIdentStart(c)) {
      size_t end = i_;
      while (end < text_.size() && IsIdentChar(text_[end])) ++end;
      tok->kind = TokenKind::Identifier;
      tok->text = std::string(text_.substr(i_, end - i_));
      i_ = end;
      return true;
    }
    if (IsDigit(c) || ((c == '-' || c == '+' || c == '.') && i_ + 1 < text_.size() &&
                       (IsDigit(text_[i_ + 1]) || (text_[i_ + 1] == '.' && c != '.'))))
      return ReadNumber(tok);
    if (c == '"') return ReadString(tok);
    if (c == '{' || c == '}' || c == ';' || c == ',' || c == '=') {
      tok->kind = TokenKind::Punct;
      tok->text = std::string(1, c);
      ++i_;
      return true;
    }
    const std::string shown = (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F)
                                  ? "byte " + std::to_string(static_cast<unsigned char>(c))
                                  : "'" + std::string(1, c) + "'";
    return Fail(line_, "unexpected character " + shown);
  }

  // A preprocessor line, kept whole: the parsers decide what they tolerate.
  void ReadDirective(Token* tok) {
    size_t end = i_ + 1;
    while (end < text_.size() && text_[end] != '\n') ++end;
    std::string body(text_.substr(i_ + 1, end - i_ - 1));
    const size_t cut = body.find("//");
    if (cut != std::string::npos) body.erase(cut);
    while (!body.empty() && (body.back() == ' ' || body.back() == '\t' || body.back() == '\r'))
      body.pop_back();
    const size_t lead = body.find_first_not_of(" \t");
    tok->kind = TokenKind::Directive;
    tok->text = lead == std::string::npos ? "" : body.substr(lead);
    i_ = end;
  }

  // A number: the longest run of number characters, then checked as a whole.
  bool ReadNumber(Token* tok) {
    size_t end = i_ + 1;
    while (end < text_.size()) {
      const char d = text_[end];
      const bool exponentSign = (d == '-' || d == '+') && (text_[end - 1] == 'e' || text_[end - 1] == 'E') &&
                                !(text_.substr(i_, 2) == "0x" || text_.substr(i_, 2) == "0X");
      if (!(IsIdentChar(d) || d == '.' || exponentSign)) break;
      ++end;
    }
    const std::string spelling(text_.substr(i_, end - i_));
    tok->text = spelling;
    const bool isReal =
        spelling.find_first_of(".") != std::string::npos ||
        (spelling.find_first_of("eE") != std::string::npos && spelling.find("0x") == std::string::npos &&
         spelling.find("0X") == std::string::npos);
    errno = 0;
    char* stop = nullptr;
    if (isReal) {
      tok->kind = TokenKind::Real;
      tok->real = std::strtod(spelling.c_str(), &stop);
    } else {
      tok->kind = TokenKind::Integer;
      tok->integer = std::strtoll(spelling.c_str(), &stop, 0);
      tok->real = static_cast<double>(tok->integer);
      if (errno == 0 && (tok->integer < INT32_MIN || tok->integer > INT32_MAX)) errno = ERANGE;
    }
    if (stop != spelling.c_str() + spelling.size()) return Fail(line_, "malformed number '" + spelling + "'");
    if (errno == ERANGE) return Fail(line_, "number out of range '" + spelling + "'");
    i_ = end;
    return true;
  }

  bool ReadString(Token* tok) {
    tok->kind = TokenKind::String;
    ++i_;
    for (;;) {
      if (i_ >= text_.size() || text_[i_] == '\n') return Fail(tok->line, "unterminated string");
      const char s = text_[i_];
      if (s == '"') {
        ++i_;
        return true;
      }
      if (s != '\\') {
        tok->text.push_back(s);
        ++i_;
        continue;
      }
      if (i_ + 1 >= text_.size()) return Fail(line_, "unterminated string");
      const char e = text_[i_ + 1];
      i_ += 2;
      if (!ReadEscape(e, &tok->text)) return false;
    }
  }

  // The character after a backslash (already passed) and what follows it for \u.
  bool ReadEscape(char e, std::string* out) {
    switch (e) {
      case '"':
      case '\\':
      case '\'':
        out->push_back(e);
        return true;
      case 'n':
        out->push_back('\n');
        return true;
      case 't':
        out->push_back('\t');
        return true;
      case 'r':
        out->push_back('\r');
        return true;
      case 'u': {
        uint32_t cp = 0;
        for (int k = 0; k < 4; ++k) {
          const int h = i_ + k < text_.size() ? HexValue(text_[i_ + k]) : -1;
          if (h < 0) return Fail(line_, "expected four hex digits after \\u");
          cp = cp * 16 + static_cast<uint32_t>(h);
        }
        i_ += 4;
        AppendUtf8(cp, out);
        return true;
      }
      default:
        return Fail(line_, std::string("unknown escape '\\") + e + "' in string");
    }
  }

  std::string_view text_;
  const std::string& file_;
  ParseError* error_;
  size_t i_ = 0;
  int line_ = 1;
  bool lineStart_ = true;
};

}  // namespace

bool Tokenize(std::string_view text, const std::string& file, std::vector<Token>* tokens, ParseError* error) {
  tokens->clear();
  return Lexer(text, file, error).Run(tokens);
}

bool ReadTextFile(const std::string& path, std::string* text, ParseError* error) {
  switch (ReadWholeFile(path, text)) {
    case FileRead::Ok:
      return true;
    case FileRead::CannotOpen:
      *error = ParseError{path, 0, "cannot open file"};
      return false;
    default:
      *error = ParseError{path, 0, "cannot read file"};
      return false;
  }
}

const Token& TokenCursor::Peek(size_t ahead) const {
  size_t at = pos + ahead;
  return at < tokens.size() ? tokens[at] : tokens.back();
}

const Token& TokenCursor::Next() {
  const Token& t = Peek();
  if (pos + 1 < tokens.size()) ++pos;
  return t;
}

bool TokenCursor::Accept(char c) {
  if (!Peek().IsPunct(c)) return false;
  Next();
  return true;
}

bool TokenCursor::Expected(const std::string& what, ParseError* error) const {
  *error = ParseError{file, Peek().line, "expected " + what + ", found " + Peek().Describe()};
  return false;
}

bool TokenCursor::Fail(int line, const std::string& message, ParseError* error) const {
  *error = ParseError{file, line, message};
  return false;
}

}  // namespace host
