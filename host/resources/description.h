// description.h - the description model: what a plug-in declares about its parameters,
// parsed once into typed specs, and the one check of a stored value against them.
//
// The parser (resources/resource_files.h) fills these from a description resource; scene
// loading, the look-development page and the validator read them and call
// DescriptionElement::Check, so a value is judged by one rule wherever it comes from.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace host {

class Value;

/// The element types a description resource may declare. Their keywords are spelled once,
/// in description.cpp (ElementTypeName / ElementTypeFromName).
enum class ElementType {
  Real,
  Long,
  Bool,
  Vector,
  Color,
  String,
  Filename,
  Link,
  ShaderLink,
  Texture,
  InExclude,
  Gradient,
  Button,
  StaticText,
  Spline,
  Separator,
  Group,
};

/// The resource keyword of t: "REAL", "IN_EXCLUDE", ...
std::string_view ElementTypeName(ElementType t);
/// The type that keyword names; nullopt for a word that names no element type.
std::optional<ElementType> ElementTypeFromName(std::string_view keyword);

/// The short name of a stored value type (C4D_DTYPE_* or custom data ID): the keyword of
/// the first element type that stores it ("LONG", "REAL", "VECTOR", "STRING", "LINK",
/// "IN_EXCLUDE", "GRADIENT"); "-" for any other.
const char* ValueTypeName(int32_t valueType);

/// The unit a REAL is shown in (its UNIT flag).
enum class Unit { None, Percent, Degree };

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
  ElementType type = ElementType::Group;
  std::string symbol;  // empty for an anonymous group or separator
  int32_t id = -1;     // -1 without a symbol
  std::string label;   // from the description's string table; may be empty
  std::string group;   // symbol of the enclosing group; empty at the container's top level
  int32_t groupId = -1;
  std::vector<CycleEntry> cycle;
  std::vector<DescriptionFlag> flags;  // every flag as written, typed ones included
  int line = 0;

  // Typed from the flags once, when the element is complete (TypeFlags). A flag that is
  // absent, or holds no number, leaves its field empty.
  std::optional<double> min, max, step;  // as written, in the unit shown
  Unit unit = Unit::None;
  std::optional<int32_t> numFlags;   // IN_EXCLUDE: how many flag bits an entry has
  std::optional<int32_t> initState;  // IN_EXCLUDE: the flags of a newly added entry
  std::vector<int32_t> icons;        // icon IDs named by IMAGE_* and ICON flags, in order

  bool IsParameter() const { return type != ElementType::Group && type != ElementType::Separator; }
  std::string_view TypeName() const { return ElementTypeName(type); }
  /// The value type stored for the parameter (C4D_DTYPE_* or a custom data type ID); 0 for
  /// groups, separators and types without stored value.
  int32_t ValueType() const;
  /// The flag called name, or null; for flags the model does not type (ACCEPT, ...).
  const DescriptionFlag* Flag(const std::string& name) const;
  /// Stored value per shown value: 0.01 for PERCENT (a MIN or MAX of 100 is a stored 1),
  /// pi/180 for DEGREE (shown degrees, stored radians), else 1.
  double UnitScale() const;
  /// Fills the typed fields from flags; the parser calls it once per element.
  void TypeFlags();

  /// Why v is not a value this element describes; empty when it is. Checked: the stored
  /// type; a REAL finite and inside MIN/MAX (in the unit shown, with the stored value
  /// beside it); a LONG one of its choices and inside MIN/MAX; a BOOL 0 or 1; a VECTOR
  /// finite; the flags of each in/exclude entry inside the NUM_FLAGS declared. The text
  /// names the value and what is allowed: "the value 5 is not one of the choices 0
  /// (Multiply), 1 (Add), 2 (Subtract)".
  std::string Check(const Value& v) const;
  /// Check, told as a panel shows the value: a REAL in its unit only ("250 % is outside
  /// 0 % to 100 %"), the stored number left out.
  std::string CheckShown(const Value& v) const;
  /// "Mode" (XSAMPLE_MODE): the label (when there is one) and the symbol.
  std::string Name() const;
};

/// A parsed description resource with its symbols and labels resolved.
struct Description {
  std::string name;         // the CONTAINER name, e.g. Xsample
  std::string displayName;  // the string table's text for the container name
  std::vector<std::string> includes;
  std::vector<DescriptionElement> elements;  // in file order, groups before their contents

  /// Parameter (or group) by ID or symbol; null when absent.
  const DescriptionElement* FindById(int32_t id) const;
  const DescriptionElement* FindBySymbol(const std::string& symbol) const;
};

}  // namespace host
