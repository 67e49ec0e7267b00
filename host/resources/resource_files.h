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

/// One statement inside an element's or group's braces that the host keeps as written:
/// the leading identifier and the tokens after it (a nested block keeps its braces).
struct DescriptionFlag {
  std::string name;
  std::vector<std::string> args;
  int line = 0;
};

/// One entry of a CYCLE block.
struct CycleEntry {
  std::string symbol;
  int32_t id = 0;
  std::string label;
};

/// One element of a description: a parameter, a group or a separator.
struct DescriptionElement {
  std::string type;    // REAL, LONG, ..., GROUP, SEPARATOR
  std::string symbol;  // empty for an anonymous group or separator
  int32_t id = -1;     // -1 without a symbol
  std::string label;   // from the description's string table; may be empty
  std::string group;   // symbol of the enclosing group; empty at the container's top level
  int32_t groupId = -1;
  std::vector<CycleEntry> cycle;
  std::vector<DescriptionFlag> flags;
  int line = 0;

  bool IsParameter() const { return type != "GROUP" && type != "SEPARATOR"; }
  /// The value type stored for the parameter (C4D_DTYPE_* or a custom data type ID); 0 for
  /// groups, separators and types without stored value.
  int32_t ValueType() const;
  /// The flag called name, or null.
  const DescriptionFlag* Flag(const std::string& name) const;
  /// The number the flag called name holds (MIN 0.0; MAX -5;), read the same in every
  /// locale; false when the flag is absent or holds no number.
  bool Number(const std::string& name, double* out) const;
  /// Stored value per shown value, from the element's UNIT: 0.01 for PERCENT (a MIN or MAX
  /// of 100 is a stored 1), pi/180 for DEGREE (shown degrees, stored radians), else 1.
  double UnitScale() const;
};

/// A parsed description resource with its symbols and labels resolved.
struct Description {
  std::string name;         // the CONTAINER name, e.g. XCorvane
  std::string displayName;  // the string table's text for the container name
  std::vector<std::string> includes;
  std::vector<DescriptionElement> elements;  // in file order, groups before their contents

  /// Parameter (or group) by ID or symbol; null when absent.
  const DescriptionElement* FindById(int32_t id) const;
  const DescriptionElement* FindBySymbol(const std::string& symbol) const;
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
