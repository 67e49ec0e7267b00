#include "scene/json_values.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <system_error>

#include "resources/description.h"

namespace host {

using nlohmann::json;

std::string TypeName(int32_t type) {
  // How each type is written in a scene file, after its name.
  const char* form = type == C4D_DTYPE_LONG             ? "integer or boolean"
                     : type == C4D_DTYPE_REAL           ? "number"
                     : type == C4D_DTYPE_VECTOR         ? "[x, y, z]"
                     : type == C4D_DTYPE_STRING         ? "text"
                     : type == C4D_DTYPE_LINK           ? "node name or null"
                     : type == C4D_CUSTOMDATA_GRADIENT  ? "{\"knots\": [...]}"
                     : type == C4D_CUSTOMDATA_INEXCLUDE ? "[{\"object\": name, \"flags\": n}, ...]"
                                                        : nullptr;
  if (!form) return "type " + std::to_string(type);
  return std::string(ValueTypeName(type)) + " (" + form + ")";
}

static const char* JsonKind(const json& j) { return j.type_name(); }

// A value as a message shows it: its JSON text, or its kind when the text is long.
static std::string Shown(const json& j) {
  std::string text = j.dump();
  return text.size() <= 64 ? text : std::string("a ") + JsonKind(j);
}

bool ReadInt32(const json& j, int32_t* out) {
  if (j.is_number_unsigned()) {
    uint64_t u = j.get<uint64_t>();
    if (u > uint64_t(std::numeric_limits<int32_t>::max())) return false;
    *out = int32_t(u);
    return true;
  }
  if (j.is_number_integer()) {
    int64_t v = j.get<int64_t>();
    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max()) return false;
    *out = int32_t(v);
    return true;
  }
  return false;
}

bool ReadInt32Text(std::string_view text, int32_t* out) {
  // from_chars takes an optional '-' and decimal digits only, and reports overflow.
  int32_t v = 0;
  const char* end = text.data() + text.size();
  auto [stop, ec] = std::from_chars(text.data(), end, v, 10);
  if (ec != std::errc() || stop != end) return false;
  *out = v;
  return true;
}

std::string Int32Problem(const json& j) {
  if (j.is_number_integer()) return j.dump() + " is out of range (expected " + kInt32Range + ")";
  return std::string("expected ") + kInt32Range + ", found " + Shown(j);
}

size_t FindJsonNestingBeyond(std::string_view text, int maxDepth) {
  int depth = 0;
  bool inString = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\')
        ++i;  // the escaped character cannot end the string
      else if (c == '"')
        inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > maxDepth) return i;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return std::string_view::npos;
}

// Exactly `count` numbers separated by spaces and nothing else: the text of an explicit
// REAL or VECTOR. Also nan, inf and -inf; not an empty text, a missing number or a number
// beyond the double range.
static bool ReadNumbersText(std::string_view text, int count, double* out) {
  const char* at = text.data();
  const char* end = at + text.size();
  for (int k = 0; k < count; ++k) {
    if (k > 0) {
      if (at == end || *at != ' ') return false;
      while (at != end && *at == ' ') ++at;
    }
    auto [stop, ec] = std::from_chars(at, end, out[k]);
    if (ec != std::errc()) return false;
    at = stop;
  }
  return at == end;
}

bool ReadVector(const json& j, Vec3* out) {
  if (!j.is_array() || j.size() != 3) return false;
  for (const json& c : j)
    if (!c.is_number()) return false;
  *out = Vec3(j[0].get<double>(), j[1].get<double>(), j[2].get<double>());
  return true;
}

static bool ReadLinkTarget(const json& j, const NodeByName& nodes, Value* out, std::string* error) {
  if (j.is_null()) {
    *out = Value::Link(nullptr);
    return true;
  }
  if (!j.is_string()) {
    *error = std::string("expected a node name or null for a link, not ") + JsonKind(j);
    return false;
  }
  const Node* node = nodes ? nodes(j.get<std::string>()) : nullptr;
  if (!node) {
    *error = "link to unknown node \"" + j.get<std::string>() + "\"";
    return false;
  }
  *out = Value::Link(node);
  return true;
}

static bool ReadInExclude(const json& j, const NodeByName& nodes, Value* out, std::string* error) {
  InExclude list;
  int index = 0;
  for (const json& e : j) {
    std::string where = "list entry " + std::to_string(index++) + ": ";
    if (!e.is_object() || !e.contains("object")) {
      *error = where + "expected {\"object\": name, \"flags\": n}";
      return false;
    }
    int32_t flags = 0;
    for (auto it = e.begin(); it != e.end(); ++it) {
      if (it.key() == "flags") {
        if (!ReadInt32(it.value(), &flags)) {
          *error = where + "\"flags\": " + Int32Problem(it.value());
          return false;
        }
      } else if (it.key() != "object") {
        *error = where + "unknown key \"" + it.key() + "\" (expected \"object\" and \"flags\")";
        return false;
      }
    }
    const json& o = e["object"];
    const Node* node = nullptr;
    if (!o.is_null()) {
      if (!o.is_string()) {
        *error = where + "\"object\" must be a node name or null";
        return false;
      }
      node = nodes ? nodes(o.get<std::string>()) : nullptr;
      if (!node) {
        *error = where + "unknown node \"" + o.get<std::string>() + "\"";
        return false;
      }
    }
    list.Append(node, flags);
  }
  *out = Value::FromInExclude(list);
  return true;
}

bool IsExplicitValue(const json& j) {
  return j.is_object() && j.size() == 2 && j.contains("type") && j.contains("data");
}

// The explicit form {"type": id, "data": text}: taken as written, whatever the parameter's
// known type, so that any stored value can be written back exactly.
static bool ReadExplicitValue(const json& j, Value* out, std::string* error) {
  int32_t type = 0;
  if (!j["data"].is_string()) {
    *error = "expected {\"type\": integer, \"data\": text}";
    return false;
  }
  if (!ReadInt32(j["type"], &type)) {
    *error = "\"type\": " + Int32Problem(j["type"]);
    return false;
  }
  const std::string& data = j["data"].get_ref<const std::string&>();
  auto invalid = [&](const char* typeName, const char* expected) {
    *error = "\"" + data + "\" is not a valid " + typeName + ": expected " + expected;
    return false;
  };
  switch (type) {
    case C4D_DTYPE_REAL: {  // also NaN and infinities, which JSON numbers cannot hold
      double x;
      if (!ReadNumbersText(data, 1, &x)) return invalid("REAL", "one number (or nan, inf, -inf)");
      *out = Value::Float(x);
      return true;
    }
    case C4D_DTYPE_LONG: {
      int32_t v;
      if (!ReadInt32Text(data, &v)) return invalid("LONG", kInt32Range);
      *out = Value::Int32(v);
      return true;
    }
    case C4D_DTYPE_STRING:
      *out = Value::String(data);
      return true;
    case C4D_DTYPE_VECTOR: {
      double x[3];
      if (!ReadNumbersText(data, 3, x))
        return invalid("VECTOR", "three numbers separated by spaces (\"x y z\")");
      *out = Value::Vector(Vec3(x[0], x[1], x[2]));
      return true;
    }
    case C4D_DTYPE_LINK:
    case C4D_CUSTOMDATA_GRADIENT:
    case C4D_CUSTOMDATA_INEXCLUDE:
      *error = "values of " + TypeName(type) + " are written in their own form, not as text";
      return false;
    default:
      *out = Value::Opaque(type, data);
      return true;
  }
}

// A value of a known type (not 0) in its plain form.
static bool ReadTypedValue(const json& j, int32_t expectedType, const NodeByName& nodes, Value* out,
                           std::string* error) {
  auto wrong = [&](int32_t type) {
    *error = "expected " + TypeName(type) + ", found " + Shown(j);
    return false;
  };

  switch (expectedType) {
    case C4D_DTYPE_LONG: {
      int32_t v = 0;
      if (j.is_boolean()) {
        v = j.get<bool>() ? 1 : 0;
      } else if (!ReadInt32(j, &v)) {
        if (!j.is_number_integer()) return wrong(expectedType);
        *error = Int32Problem(j);
        return false;
      }
      *out = Value::Int32(v);
      return true;
    }
    case C4D_DTYPE_REAL:
      if (!j.is_number()) return wrong(expectedType);
      *out = Value::Float(j.get<double>());
      return true;
    case C4D_DTYPE_VECTOR: {
      Vec3 v;
      if (!ReadVector(j, &v)) return wrong(expectedType);
      *out = Value::Vector(v);
      return true;
    }
    case C4D_DTYPE_STRING:
      if (!j.is_string()) return wrong(expectedType);
      *out = Value::String(j.get<std::string>());
      return true;
    case C4D_DTYPE_LINK:
      if (!j.is_null() && !j.is_string()) return wrong(expectedType);
      return ReadLinkTarget(j, nodes, out, error);
    case C4D_CUSTOMDATA_GRADIENT: {
      if (!j.is_object()) return wrong(expectedType);
      Gradient g;
      if (!JsonToGradient(j, &g, error)) return false;
      *out = Value::FromGradient(g);
      return true;
    }
    case C4D_CUSTOMDATA_INEXCLUDE:
      if (!j.is_array()) return wrong(expectedType);
      return ReadInExclude(j, nodes, out, error);
    default:
      *error = "parameters of " + TypeName(expectedType) +
               " can only be written as {\"type\": " + std::to_string(expectedType) + ", \"data\": text}";
      return false;
  }
}

bool JsonToValue(const json& j, int32_t expectedType, const NodeByName& nodes, Value* out,
                 std::string* error) {
  if (IsExplicitValue(j)) return ReadExplicitValue(j, out, error);
  if (j.is_object() && j.size() == 1 && j.contains("link")) {
    if (expectedType != 0 && expectedType != C4D_DTYPE_LINK) {
      *error = "expected " + TypeName(expectedType) + ", found a link";
      return false;
    }
    return ReadLinkTarget(j["link"], nodes, out, error);
  }

  if (expectedType != 0) return ReadTypedValue(j, expectedType, nodes, out, error);

  // No known type: the form decides.
  if (j.is_boolean() || j.is_number_integer()) return JsonToValue(j, C4D_DTYPE_LONG, nodes, out, error);
  if (j.is_number_float()) return JsonToValue(j, C4D_DTYPE_REAL, nodes, out, error);
  if (j.is_string()) return JsonToValue(j, C4D_DTYPE_STRING, nodes, out, error);
  if (j.is_array()) {
    if (j.size() == 3 && j[0].is_number()) return JsonToValue(j, C4D_DTYPE_VECTOR, nodes, out, error);
    return JsonToValue(j, C4D_CUSTOMDATA_INEXCLUDE, nodes, out, error);
  }
  if (j.is_object() && j.contains("knots")) return JsonToValue(j, C4D_CUSTOMDATA_GRADIENT, nodes, out, error);
  *error = std::string("cannot tell the type of this ") + JsonKind(j) + " value";
  return false;
}

json ValueToJson(const Value& v, int32_t knownType, bool isBool, const NameOfNode& names) {
  auto nameOrNull = [&](const Node* n) -> json {
    if (!n) return nullptr;
    std::string s = names ? names(n) : std::string();
    return s.empty() ? json(nullptr) : json(s);
  };
  switch (v.GetKind()) {
    case Value::Kind::None:
      return nullptr;
    case Value::Kind::Int32:
      if (isBool && (v.GetInt32() == 0 || v.GetInt32() == 1)) return v.GetInt32() != 0;
      return v.GetInt32();
    case Value::Kind::Float: {
      double d = v.GetFloat();
      // JSON has no NaN or infinity: such values keep their exact text as an opaque form.
      if (!std::isfinite(d))
        return json{{"type", C4D_DTYPE_REAL}, {"data", std::isnan(d) ? "nan" : d > 0 ? "inf" : "-inf"}};
      return d;
    }
    case Value::Kind::Vector: {
      Vec3 x = v.GetVector();
      return json::array({x.x, x.y, x.z});
    }
    case Value::Kind::String:
      return v.GetString();
    case Value::Kind::Link:
      if (knownType == C4D_DTYPE_LINK) return nameOrNull(v.GetLink());
      return json{{"link", nameOrNull(v.GetLink())}};
    case Value::Kind::Gradient:
      return GradientToJson(*v.GetGradient());
    case Value::Kind::InExclude: {
      json list = json::array();
      const InExclude* l = v.GetInExclude();
      for (const InExclude::Entry& e : l->Entries()) {
        auto node = e.node.lock();
        list.push_back(json{{"object", nameOrNull(node.get())}, {"flags", e.flags}});
      }
      return list;
    }
    case Value::Kind::Opaque: {
      const Value::OpaqueData* o = v.GetOpaque();
      return json{{"type", o->type}, {"data", o->data}};
    }
  }
  return nullptr;
}

bool SameValue(const Value& a, const Value& b, const NameOfNode& names) {
  // The written forms hold every detail of a value, with links by name.
  return ValueToJson(a, 0, false, names) == ValueToJson(b, 0, false, names) && a.TypeId() == b.TypeId();
}

bool SameContainer(const Container& a, const Container& b, const NameOfNode& names, std::string* difference) {
  for (const auto& [id, va] : a.Entries()) {
    const Value* vb = b.Find(id);
    if (!vb) {
      if (difference) *difference = "ID " + std::to_string(id) + " missing on the right";
      return false;
    }
    if (!SameValue(va, *vb, names)) {
      if (difference)
        *difference = "ID " + std::to_string(id) + ": " + ValueToJson(va, 0, false, names).dump() + " vs " +
                      ValueToJson(*vb, 0, false, names).dump();
      return false;
    }
  }
  for (const auto& [id, vb] : b.Entries()) {
    if (!a.Find(id)) {
      if (difference) *difference = "ID " + std::to_string(id) + " missing on the left";
      return false;
    }
  }
  return true;
}

}  // namespace host

namespace host {

nlohmann::json ExplicitValueJson(const Value& v, const NameOfNode& names) {
  char buf[128];
  switch (v.GetKind()) {
    case Value::Kind::Int32:
      return json{{"type", C4D_DTYPE_LONG}, {"data", std::to_string(v.GetInt32())}};
    case Value::Kind::Float:
      std::snprintf(buf, sizeof(buf), "%.17g", v.GetFloat());
      return json{{"type", C4D_DTYPE_REAL}, {"data", buf}};
    case Value::Kind::Vector: {
      Vec3 x = v.GetVector();
      std::snprintf(buf, sizeof(buf), "%.17g %.17g %.17g", x.x, x.y, x.z);
      return json{{"type", C4D_DTYPE_VECTOR}, {"data", buf}};
    }
    case Value::Kind::String:
      return json{{"type", C4D_DTYPE_STRING}, {"data", v.GetString()}};
    default:
      return ValueToJson(v, 0, false, names);
  }
}

}  // namespace host
