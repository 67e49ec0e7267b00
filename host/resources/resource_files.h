// resource_files.h - parsers for the host's resource text formats.
//
//   symbol headers   c4d_symbols.h, description/<name>.h:  enum { A = 20000, B, _DUMMY_ELEMENT_ };
//   string tables    STRINGTABLE [Name] { SYMBOL "text"; SYMBOL { CHILD "text"; } ... }
//   descriptions     CONTAINER Name { NAME Name; INCLUDE Xbase; GROUP ID { REAL X { MIN 0.0; } } }
//
// Every parser returns false and fills a ParseError (file, line, what was expected) on
// the first problem; nothing is thrown.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "resources/description.h"
#include "resources/tokenizer.h"

namespace host {

/// Symbol name -> numeric ID, in file order as well as by name.
struct SymbolTable {
  std::vector<std::pair<std::string, int32_t>> ordered;
  std::map<std::string, int32_t> byName;

  /// The ID of name, or false when it is not declared.
  bool Find(const std::string& name, int32_t* id) const;
};

/// Symbol name -> text. Nested blocks (a parameter's cycle labels) are flattened in.
struct StringTable {
  std::string name;  // the name after STRINGTABLE; empty for a module's own table
  std::map<std::string, std::string> texts;
};

/// Whether symbol is one the host defines (ID_SHADERPROPERTIES, ...): the host labels it.
bool IsHostSymbol(const std::string& symbol);

/// Descriptions that the host itself provides and that INCLUDE may name.
bool IsHostDescription(const std::string& name);

/// Parses an enum header (c4d_symbols.h or description/<name>.h). #ifndef/#define/#endif
/// guards and #pragma once are tolerated; a name without "= n" takes the previous value
/// plus one (0 for the first).
bool ParseSymbols(std::string_view text, const std::string& file, SymbolTable* out, ParseError* error);

/// Parses a string table. expectedName, when not empty, must follow STRINGTABLE.
bool ParseStringTable(std::string_view text, const std::string& file, const std::string& expectedName,
                      StringTable* out, ParseError* error);

/// Parses a description resource and resolves it against its symbols and labels.
/// expectedName, when not empty, must be the CONTAINER name.
bool ParseDescription(std::string_view text, const std::string& file, const std::string& expectedName,
                      const SymbolTable& symbols, const StringTable& strings, Description* out,
                      ParseError* error);

/// File-reading variants of the above.
bool LoadSymbolsFile(const std::string& path, SymbolTable* out, ParseError* error);
bool LoadStringTableFile(const std::string& path, const std::string& expectedName, StringTable* out,
                         ParseError* error);

}  // namespace host
