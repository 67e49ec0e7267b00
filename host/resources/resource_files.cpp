// resource_files.cpp - symbol headers, string tables and description resources.
#include "resources/resource_files.h"

#include <set>

#include "c4d_host_abi.h"

namespace host {

// Symbol tables and descriptions

bool SymbolTable::Find(const std::string& name, int32_t* id) const {
  auto it = byName.find(name);
  if (it == byName.end()) return false;
  *id = it->second;
  return true;
}

bool IsHostDescription(const std::string& name) { return name == "Xbase" || name == "Mpreview"; }

namespace {

// Symbols the host itself defines and that descriptions may use as group IDs.
const std::map<std::string, int32_t>& HostSymbols() {
  static const std::map<std::string, int32_t> symbols = {
      {"ID_SHADERPROPERTIES", 1000},
      {"ID_BASELIST_NAME", 900},
      {"ID_BASELIST_ICON_FILE", 5000},
  };
  return symbols;
}

bool ParseEnum(TokenCursor& cur, SymbolTable* out, std::map<std::string, int>& firstLine, ParseError* error) {
  cur.Next();  // enum
  if (cur.Peek().Is(TokenKind::Identifier)) cur.Next();
  if (!cur.Accept('{')) return cur.Expected("'{' after enum", error);
  int64_t next = 0;
  while (!cur.Accept('}')) {
    const Token& name = cur.Peek();
    if (!name.Is(TokenKind::Identifier)) return cur.Expected("a symbol name or '}'", error);
    cur.Next();
    int64_t value = next;
    if (cur.Accept('=')) {
      const Token& v = cur.Peek();
      if (v.Is(TokenKind::Integer)) {
        value = v.integer;
      } else if (v.Is(TokenKind::Identifier) && out->byName.count(v.text)) {
        value = out->byName[v.text];
      } else {
        return cur.Expected("an integer after '=' for " + name.text, error);
      }
      cur.Next();
    }
    if (value < INT32_MIN || value > INT32_MAX)
      return cur.Fail(name.line, "value of " + name.text + " out of range", error);
    auto seen = firstLine.find(name.text);
    if (seen != firstLine.end()) {
      return cur.Fail(
          name.line,
          "symbol '" + name.text + "' declared twice (first at line " + std::to_string(seen->second) + ")",
          error);
    }
    firstLine[name.text] = name.line;
    out->ordered.emplace_back(name.text, static_cast<int32_t>(value));
    out->byName[name.text] = static_cast<int32_t>(value);
    next = value + 1;
    if (cur.Accept(',')) continue;
    if (!cur.Peek().IsPunct('}')) return cur.Expected("',' or '}' after " + name.text, error);
  }
  if (!cur.Accept(';')) return cur.Expected("';' after the enum's '}'", error);
  return true;
}

// The entries of a string table's block and of the blocks nested in it (a parameter's
// cycle labels). The open blocks are kept on an explicit stack (the line of each '{'), so
// nesting costs no native stack however deep the file goes.
bool ParseStringEntries(TokenCursor& cur, StringTable* out, std::map<std::string, int>& firstLine,
                        int openLine, ParseError* error) {
  std::vector<int> open{openLine};
  while (!open.empty()) {
    const Token& t = cur.Peek();
    if (t.IsPunct('}')) {
      cur.Next();
      open.pop_back();
      if (!open.empty()) cur.Accept(';');  // after a nested block; the caller handles the outermost
      continue;
    }
    if (t.Is(TokenKind::End)) {
      return cur.Fail(t.line, "expected '}' to close the block opened at line " + std::to_string(open.back()),
                      error);
    }
    if (!t.Is(TokenKind::Identifier)) return cur.Expected("a symbol name or '}'", error);
    std::string symbol = t.text;
    int line = t.line;
    cur.Next();
    bool hasText = false;
    std::string text;
    while (cur.Peek().Is(TokenKind::String)) {  // adjacent literals are joined
      text += cur.Next().text;
      hasText = true;
    }
    if (hasText) {
      auto seen = firstLine.find(symbol);
      if (seen != firstLine.end()) {
        return cur.Fail(
            line,
            "text for '" + symbol + "' given twice (first at line " + std::to_string(seen->second) + ")",
            error);
      }
      firstLine[symbol] = line;
      out->texts[symbol] = text;
    }
    if (cur.Peek().IsPunct('{')) {
      open.push_back(cur.Next().line);
      continue;
    }
    if (!hasText) return cur.Expected("a string after " + symbol, error);
    if (!cur.Accept(';')) return cur.Expected("';' after the text of " + symbol, error);
  }
  return true;
}

// Description parsing state
struct DescParser {
  TokenCursor& cur;
  const SymbolTable& symbols;
  std::vector<DescriptionElement>* elements;
  std::map<int32_t, std::pair<std::string, int>> usedIds;  // id -> symbol, line
  ParseError* error;

  bool Resolve(const Token& t, std::string* symbol, int32_t* id) {
    if (t.Is(TokenKind::Integer)) {
      *symbol = t.text;
      *id = static_cast<int32_t>(t.integer);
      return true;
    }
    *symbol = t.text;
    if (symbols.Find(t.text, id)) return true;
    auto host = HostSymbols().find(t.text);
    if (host != HostSymbols().end()) {
      *id = host->second;
      return true;
    }
    return cur.Fail(t.line, "unknown symbol '" + t.text + "' (not declared in the description's header)",
                    error);
  }

  bool ClaimId(int32_t id, const std::string& symbol, int line) {
    auto it = usedIds.find(id);
    if (it != usedIds.end()) {
      return cur.Fail(line,
                      "duplicate parameter ID " + std::to_string(id) + " (" + symbol + "), first used by " +
                          it->second.first + " at line " + std::to_string(it->second.second),
                      error);
    }
    usedIds[id] = {symbol, line};
    return true;
  }

  // One statement inside braces kept as tokens: NAME args... ; or NAME args... { ... }
  bool ParseFlag(DescriptionFlag* flag) {
    const Token& name = cur.Next();
    flag->name = name.text;
    flag->line = name.line;
    int depth = 0;
    for (;;) {
      const Token& t = cur.Peek();
      if (t.Is(TokenKind::End)) {
        return cur.Fail(t.line,
                        "expected ';' to end " + flag->name + " (line " + std::to_string(flag->line) + ")",
                        error);
      }
      if (t.Is(TokenKind::Directive)) return cur.Fail(t.line, "unexpected preprocessor line", error);
      if (depth == 0 && t.IsPunct(';')) {
        cur.Next();
        return true;
      }
      if (t.IsPunct('}') && depth == 0) return cur.Expected("';' to end " + flag->name, error);
      cur.Next();
      flag->args.push_back(t.text);
      if (t.IsPunct('{')) ++depth;
      if (t.IsPunct('}')) {
        if (--depth == 0) {
          cur.Accept(';');
          return true;
        }
      }
    }
  }

  bool ParseCycle(DescriptionElement* e) {
    cur.Next();  // CYCLE
    if (!cur.Accept('{')) return cur.Expected("'{' after CYCLE", error);
    while (!cur.Accept('}')) {
      const Token& t = cur.Peek();
      if (!t.Is(TokenKind::Identifier) && !t.Is(TokenKind::Integer))
        return cur.Expected("a cycle entry or '}'", error);
      cur.Next();
      CycleEntry entry;
      if (!Resolve(t, &entry.symbol, &entry.id)) return false;
      e->cycle.push_back(entry);
      if (!cur.Accept(';')) return cur.Expected("';' after cycle entry " + t.text, error);
    }
    cur.Accept(';');
    return true;
  }

  // Reads "TYPE [SYMBOL] {" and appends the element with the enclosing group's symbol and ID.
  bool OpenElement(std::string group, int32_t groupId) {
    const Token& typeTok = cur.Next();
    DescriptionElement e;
    e.type = *ElementTypeFromName(typeTok.text);  // the caller saw a type keyword
    const std::string typeName(e.TypeName());
    e.line = typeTok.line;
    e.group = std::move(group);
    e.groupId = groupId;
    const Token& idTok = cur.Peek();
    bool keyword = idTok.Is(TokenKind::Identifier) && ElementTypeFromName(idTok.text).has_value();
    if ((idTok.Is(TokenKind::Identifier) && !keyword) || idTok.Is(TokenKind::Integer)) {
      cur.Next();
      if (!Resolve(idTok, &e.symbol, &e.id)) return false;
      if (!ClaimId(e.id, e.symbol, idTok.line)) return false;
    } else if (e.IsParameter()) {
      return cur.Expected("a parameter symbol after " + typeName, error);
    }
    if (!cur.Accept('{'))
      return cur.Expected("'{' after " + typeName + (e.symbol.empty() ? "" : " " + e.symbol), error);
    elements->push_back(std::move(e));
    return true;
  }

  // An element and everything inside its braces. Groups nested in it are kept on an
  // explicit stack of open elements, so nesting costs no native stack however deep.
  bool ParseElement(const std::string& group, int32_t groupId) {
    if (!OpenElement(group, groupId)) return false;
    std::vector<size_t> open{elements->size() - 1};
    while (!open.empty()) {
      const size_t index = open.back();
      const DescriptionElement& e = (*elements)[index];  // not used once an element is added
      const bool isGroup = e.type == ElementType::Group;
      const Token& t = cur.Peek();
      if (t.IsPunct('}')) {
        cur.Next();
        cur.Accept(';');
        (*elements)[index].TypeFlags();
        open.pop_back();
        continue;
      }
      if (t.Is(TokenKind::End)) {
        return cur.Fail(t.line,
                        "expected '}' to close " + std::string(e.TypeName()) +
                            (e.symbol.empty() ? "" : " " + e.symbol) + " opened at line " +
                            std::to_string(e.line),
                        error);
      }
      if (!t.Is(TokenKind::Identifier))
        return cur.Expected("a flag name or '}' in " + std::string(e.TypeName()), error);
      const Token& after = cur.Peek(1);
      if (isGroup && ElementTypeFromName(t.text)) {
        if (!OpenElement(e.symbol, e.id)) return false;
        open.push_back(elements->size() - 1);
        continue;
      }
      if (isGroup && ((after.Is(TokenKind::Identifier) && cur.Peek(2).IsPunct('{')) || after.IsPunct('{'))) {
        return cur.Fail(t.line, "unknown element type '" + t.text + "'", error);
      }
      if (!isGroup && t.text == "CYCLE") {
        if (!ParseCycle(&(*elements)[index])) return false;
        continue;
      }
      DescriptionFlag flag;
      if (!ParseFlag(&flag)) return false;
      (*elements)[index].flags.push_back(std::move(flag));
    }
    return true;
  }
};

}  // namespace

bool IsHostSymbol(const std::string& symbol) { return HostSymbols().count(symbol) > 0; }

bool ParseSymbols(std::string_view text, const std::string& file, SymbolTable* out, ParseError* error) {
  std::vector<Token> tokens;
  if (!Tokenize(text, file, &tokens, error)) return false;
  TokenCursor cur(tokens, file);
  *out = SymbolTable{};
  std::map<std::string, int> firstLine;
  while (!cur.AtEnd()) {
    const Token& t = cur.Peek();
    if (t.Is(TokenKind::Directive)) {
      // Include guards only: #ifndef X, #define X, #endif, #pragma once
      std::string d = t.text;
      bool guard = d == "endif" || d == "pragma once" ||
                   ((d.rfind("ifndef ", 0) == 0 || d.rfind("define ", 0) == 0) &&
                    d.find(' ', d.find(' ') + 1) == std::string::npos);
      if (!guard) return cur.Fail(t.line, "unsupported preprocessor line '#" + d + "'", error);
      cur.Next();
      continue;
    }
    if (t.IsIdent("enum")) {
      if (!ParseEnum(cur, out, firstLine, error)) return false;
      continue;
    }
    return cur.Expected("'enum'", error);
  }
  return true;
}

bool ParseStringTable(std::string_view text, const std::string& file, const std::string& expectedName,
                      StringTable* out, ParseError* error) {
  std::vector<Token> tokens;
  if (!Tokenize(text, file, &tokens, error)) return false;
  TokenCursor cur(tokens, file);
  *out = StringTable{};
  if (!cur.Peek().IsIdent("STRINGTABLE")) return cur.Expected("STRINGTABLE", error);
  cur.Next();
  if (cur.Peek().Is(TokenKind::Identifier)) out->name = cur.Next().text;
  if (!expectedName.empty() && out->name != expectedName) {
    return cur.Fail(cur.Peek().line,
                    "expected STRINGTABLE " + expectedName + ", found " +
                        (out->name.empty() ? "no name" : "'" + out->name + "'"),
                    error);
  }
  int openLine = cur.Peek().line;
  if (!cur.Accept('{')) return cur.Expected("'{' after STRINGTABLE", error);
  std::map<std::string, int> firstLine;
  if (!ParseStringEntries(cur, out, firstLine, openLine, error)) return false;
  cur.Accept(';');
  if (!cur.AtEnd()) return cur.Expected("end of file after the string table", error);
  return true;
}

bool ParseDescription(std::string_view text, const std::string& file, const std::string& expectedName,
                      const SymbolTable& symbols, const StringTable& strings, Description* out,
                      ParseError* error) {
  std::vector<Token> tokens;
  if (!Tokenize(text, file, &tokens, error)) return false;
  TokenCursor cur(tokens, file);
  *out = Description{};
  if (!cur.Peek().IsIdent("CONTAINER")) return cur.Expected("CONTAINER", error);
  cur.Next();
  if (!cur.Peek().Is(TokenKind::Identifier)) return cur.Expected("a description name after CONTAINER", error);
  const Token& nameTok = cur.Next();
  out->name = nameTok.text;
  if (!expectedName.empty() && out->name != expectedName) {
    return cur.Fail(nameTok.line, "expected CONTAINER " + expectedName + ", found '" + out->name + "'",
                    error);
  }
  int openLine = cur.Peek().line;
  if (!cur.Accept('{')) return cur.Expected("'{' after CONTAINER " + out->name, error);

  DescParser p{cur, symbols, &out->elements, {}, error};
  for (;;) {
    const Token& t = cur.Peek();
    if (t.IsPunct('}')) {
      cur.Next();
      break;
    }
    if (t.Is(TokenKind::End)) {
      return cur.Fail(
          t.line,
          "expected '}' to close CONTAINER " + out->name + " opened at line " + std::to_string(openLine),
          error);
    }
    if (!t.Is(TokenKind::Identifier)) return cur.Expected("NAME, INCLUDE, an element or '}'", error);
    if (t.text == "NAME" || t.text == "INCLUDE") {
      std::string keyword = t.text;
      cur.Next();
      const Token& arg = cur.Peek();
      if (!arg.Is(TokenKind::Identifier)) return cur.Expected("a name after " + keyword, error);
      cur.Next();
      if (keyword == "INCLUDE") {
        if (!IsHostDescription(arg.text)) {
          return cur.Fail(
              arg.line,
              "unknown description '" + arg.text + "' in INCLUDE (the host provides Xbase and Mpreview)",
              error);
        }
        out->includes.push_back(arg.text);
      }
      if (!cur.Accept(';')) return cur.Expected("';' after " + keyword + " " + arg.text, error);
      continue;
    }
    if (ElementTypeFromName(t.text)) {
      if (!p.ParseElement("", -1)) return false;
      continue;
    }
    if (cur.Peek(1).IsPunct('{') || (cur.Peek(1).Is(TokenKind::Identifier) && cur.Peek(2).IsPunct('{'))) {
      return cur.Fail(t.line, "unknown element type '" + t.text + "'", error);
    }
    return cur.Expected("NAME, INCLUDE, an element or '}'", error);
  }
  cur.Accept(';');
  if (!cur.AtEnd()) return cur.Expected("end of file after the container", error);

  // Labels from the string table
  auto label = [&](const std::string& symbol) {
    auto it = strings.texts.find(symbol);
    return it == strings.texts.end() ? std::string() : it->second;
  };
  out->displayName = label(out->name);
  for (DescriptionElement& e : out->elements) {
    e.label = label(e.symbol);
    for (CycleEntry& c : e.cycle) c.label = label(c.symbol);
  }
  return true;
}

bool LoadSymbolsFile(const std::string& path, SymbolTable* out, ParseError* error) {
  std::string text;
  return ReadTextFile(path, &text, error) && ParseSymbols(text, path, out, error);
}

bool LoadStringTableFile(const std::string& path, const std::string& expectedName, StringTable* out,
                         ParseError* error) {
  std::string text;
  return ReadTextFile(path, &text, error) && ParseStringTable(text, path, expectedName, out, error);
}

}  // namespace host
