// json_values.h - parameter values in scene files: JSON <-> host::Value.
//
// A value's JSON form depends on the type the parameter is known to have (from a plug-in's
// description or the host's own parameter tables). Without a known type the form alone
// decides:
//   true / false            Int32 0/1 (booleans are stored as LONG)
//   integer                 Int32
//   real (1.0, 2e-3)        Float
//   [x, y, z]               Vector
//   "text"                  String
//   [{"object": n, ...}]    in/exclude list (also [] )
//   {"knots": [...]}        gradient
//   {"link": "Name"|null}   link to the node called Name (null: empty link)
//   {"type": id, "data": s} a value of a type the host does not model, kept as it was
// With a known type, links may be written as a bare node name (or null).
#pragma once

#include <cstddef>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "core/container.h"
#include "core/customdata.h"

namespace host {

/// Reads a 32-bit integer (an ID, a type, an enumerated value): a JSON integer from
/// INT32_MIN to INT32_MAX. Booleans, reals (also 2.0 and 1e3), text and integers beyond 32
/// bits are refused: false, *out unchanged.
bool ReadInt32(const nlohmann::json& j, int32_t* out);
/// [x, y, z] of three numbers into *out; false (with *out unchanged) for anything else.
bool ReadVector(const nlohmann::json& j, Vec3* out);
/// The same rule for text: an optional '-' and decimal digits, nothing else (no '+', no
/// spaces, no fraction), in range. "10008" and "-3" are read; "", "+1", " 1", "1.0" not.
bool ReadInt32Text(std::string_view text, int32_t* out);
/// What ReadInt32 accepts, for messages.
inline constexpr const char* kInt32Range = "an integer from -2147483648 to 2147483647";
/// Why ReadInt32 refused j, for a message after the key: "4294972396 is out of range
/// (expected an integer from ...)" for integers beyond 32 bits, else "expected an integer
/// from ..., found <j>".
std::string Int32Problem(const nlohmann::json& j);

/// Deepest nesting of arrays and objects a scene file may have (a scene needs about ten
/// levels). Deeper text is refused before it is parsed: the JSON library's printing,
/// copying and comparing recurse once per level.
inline constexpr int kMaxJsonNesting = 256;
/// Byte offset of the first '[' or '{' in text that opens level maxDepth + 1 (brackets
/// inside strings are not counted); std::string_view::npos when the text nests no deeper.
size_t FindJsonNestingBeyond(std::string_view text, int maxDepth);

/// Looks up a node by name for links; null when there is no such node.
using NodeByName = std::function<const Node*(const std::string&)>;
/// The name under which a node is written; empty when the node has no usable name.
using NameOfNode = std::function<std::string(const Node*)>;

/// Whether j is the explicit form {"type": id, "data": text}, which is read as written.
bool IsExplicitValue(const nlohmann::json& j);

/// Reads a value. expectedType is C4D_DTYPE_* or a custom data type ID, 0 for "infer from
/// the form". Booleans of a known LONG parameter accept true/false and integers; REAL
/// accepts any number. On failure *error says what was expected (without the key).
bool JsonToValue(const nlohmann::json& j, int32_t expectedType, const NodeByName& nodes, Value* out,
                 std::string* error);

/// Writes a value. knownType as for JSonToValue (0: none); isBool writes a LONG as
/// true/false. Links are written bare when knownType is C4D_DTYPE_LINK, else as {"link": }.
nlohmann::json ValueToJson(const Value& v, int32_t knownType, bool isBool, const NameOfNode& names);

/// Gradient knots and settings.
bool JsonToGradient(const nlohmann::json& j, Gradient* out, std::string* error);
nlohmann::json GradientToJson(const Gradient& g);

/// A readable name for a value type ("REAL", "gradient", ...).
std::string TypeName(int32_t type);

/// True when a and b hold the same type and contents; links (also those inside in/exclude
/// lists) compare by the names `names` gives their nodes, so containers of two documents
/// loaded from the same file compare equal.
bool SameValue(const Value& a, const Value& b, const NameOfNode& names);
bool SameContainer(const Container& a, const Container& b, const NameOfNode& names, std::string* difference);

}  // namespace host

namespace host {

/// The explicit {"type": id, "data": text} form of an Int32, Float, Vector or String value
/// (exact: reals with 17 significant digits); ValueToJson's form for other kinds.
nlohmann::json ExplicitValueJson(const Value& v, const NameOfNode& names);

}  // namespace host
