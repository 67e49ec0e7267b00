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

bool Tokenize(std::string_view text, const std::string& file, std::vector<Token>* tokens, ParseError* error) {
  tokens->clear();
  size_t i = 0;
  int line = 1;
  bool lineStart = true;  // only whitespace so far on this line
  auto fail = [&](int at, const std::string& message) {
    *error = ParseError{file, at, message};
    return false;
  };
  if (text.substr(0, 3) == "\xEF\xBB\xBF") i = 3;

  while (i < text.size()) {
    char c = text[i];
    // Whitespace and comments
    if (c == '\n') {
      ++line;
      ++i;
      lineStart = true;
      continue;
    }
    if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
      ++i;
      continue;
    }
    if (c == '/' && i + 1 < text.size() && text[i + 1] == '/') {
      while (i < text.size() && text[i] != '\n') ++i;
      continue;
    }
    if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
      int startLine = line;
      i += 2;
      while (i + 1 < text.size() && !(text[i] == '*' && text[i + 1] == '/')) {
        if (text[i] == '\n') ++line;
        ++i;
      }
      if (i + 1 >= text.size()) return fail(startLine, "unterminated comment");
      i += 2;
      continue;
    }

    Token tok;
    tok.line = line;
    if (c == '#' && lineStart) {
      // Preprocessor line: kept whole, the parsers decide what they tolerate
      size_t end = i + 1;
      while (end < text.size() && text[end] != '\n') ++end;
      std::string body(text.substr(i + 1, end - i - 1));
      size_t cut = body.find("//");
      if (cut != std::string::npos) body.erase(cut);
      while (!body.empty() && (body.back() == ' ' || body.back() == '\t' || body.back() == '\r'))
        body.pop_back();
      size_t lead = body.find_first_not_of(" \t");
      tok.kind = TokenKind::Directive;
      tok.text = lead == std::string::npos ? "" : body.substr(lead);
      tokens->push_back(std::move(tok));
      i = end;
      continue;
    }
    lineStart = false;

    if (IsIdentStart(c)) {
      size_t end = i;
      while (end < text.size() && IsIdentChar(text[end])) ++end;
      tok.kind = TokenKind::Identifier;
      tok.text = std::string(text.substr(i, end - i));
      i = end;
    } else if (IsDigit(c) || ((c == '-' || c == '+' || c == '.') && i + 1 < text.size() &&
                              (IsDigit(text[i + 1]) || (text[i + 1] == '.' && c != '.')))) {
      // Number: the longest run of number characters, then checked as a whole
      size_t end = i + 1;
      while (end < text.size()) {
        char d = text[end];
        bool exponentSign = (d == '-' || d == '+') && (text[end - 1] == 'e' || text[end - 1] == 'E') &&
                            !(text.substr(i, 2) == "0x" || text.substr(i, 2) == "0X");
        if (IsIdentChar(d) || d == '.' || exponentSign) {
          ++end;
        } else {
          break;
        }
      }
      std::string spelling(text.substr(i, end - i));
      tok.text = spelling;
      bool isReal = spelling.find_first_of(".") != std::string::npos ||
                    (spelling.find_first_of("eE") != std::string::npos &&
                     spelling.find("0x") == std::string::npos && spelling.find("0X") == std::string::npos);
      errno = 0;
      char* stop = nullptr;
      if (isReal) {
        tok.kind = TokenKind::Real;
        tok.real = std::strtod(spelling.c_str(), &stop);
      } else {
        tok.kind = TokenKind::Integer;
        tok.integer = std::strtoll(spelling.c_str(), &stop, 0);
        tok.real = static_cast<double>(tok.integer);
        if (errno == 0 && (tok.integer < INT32_MIN || tok.integer > INT32_MAX)) errno = ERANGE;
      }
      if (stop != spelling.c_str() + spelling.size())
        return fail(line, "malformed number '" + spelling + "'");
      if (errno == ERANGE) return fail(line, "number out of range '" + spelling + "'");
      i = end;
    } else if (c == '"') {
      tok.kind = TokenKind::String;
      ++i;
      for (;;) {
        if (i >= text.size() || text[i] == '\n') return fail(tok.line, "unterminated string");
        char s = text[i];
        if (s == '"') {
          ++i;
          break;
        }
        if (s != '\\') {
          tok.text.push_back(s);
          ++i;
          continue;
        }
        if (i + 1 >= text.size()) return fail(line, "unterminated string");
        char e = text[i + 1];
        i += 2;
        switch (e) {
          case '"':
            tok.text.push_back('"');
            break;
          case '\\':
            tok.text.push_back('\\');
            break;
          case '\'':
            tok.text.push_back('\'');
            break;
          case 'n':
            tok.text.push_back('\n');
            break;
          case 't':
            tok.text.push_back('\t');
            break;
          case 'r':
            tok.text.push_back('\r');
            break;
          case 'u': {
            uint32_t cp = 0;
            for (int k = 0; k < 4; ++k) {
              int h = i + k < text.size() ? HexValue(text[i + k]) : -1;
              if (h < 0) return fail(line, "expected four hex digits after \\u");
              cp = cp * 16 + static_cast<uint32_t>(h);
            }
            i += 4;
            AppendUtf8(cp, &tok.text);
            break;
          }
          default:
            return fail(line, std::string("unknown escape '\\") + e + "' in string");
        }
      }
    } else if (c == '{' || c == '}' || c == ';' || c == ',' || c == '=') {
      tok.kind = TokenKind::Punct;
      tok.text = std::string(1, c);
      ++i;
    } else {
      std::string shown = (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F)
                              ? "byte " + std::to_string(static_cast<unsigned char>(c))
                              : "'" + std::string(1, c) + "'";
      return fail(line, "unexpected character " + shown);
    }
    tokens->push_back(std::move(tok));
  }
  Token end;
  end.kind = TokenKind::End;
  end.line = line;
  tokens->push_back(end);
  return true;
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
