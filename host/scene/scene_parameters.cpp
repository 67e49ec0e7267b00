// scene_parameters.cpp - a parameter of a scene file set on a node: by ID or by the
// symbol of its description, checked against that description.
#include "scene/scene_parameters.h"

#include "core/text.h"
#include "resources/description.h"
#include "resources/resources.h"
#include "scene/scene_file.h"
#include "scene/scene_schema.h"

namespace host {

using nlohmann::json;
using namespace scenefile;

bool ApplyParameter(Node* node, const std::string& key, const json& v, const NodeByName& byName,
                    std::string* error) {
  auto desc = DescriptionOf(node);
  int32_t id = 0;
  const DescriptionElement* element = nullptr;
  if (ParseInt32Key(key, &id)) {
    if (desc) element = desc->description.FindById(id);
  } else if (desc && (element = desc->description.FindBySymbol(key)) != nullptr) {
    id = element->id;
  } else {
    *error = desc ? "the description " + desc->description.name + " has no parameter " + key
                  : "unknown parameter " + key + " (use a numeric ID)";
    return false;
  }
  int32_t type = 0;
  if (element) {
    if (!element->IsParameter() || element->ValueType() == 0) {
      *error = key + " is a " + std::string(element->TypeName()) + ", not a parameter that stores a value";
      return false;
    }
    type = element->ValueType();
  }
  if (element && element->type == ElementType::Bool && !v.is_object() && !v.is_boolean() &&
      !(v.is_number_integer() && (v == 0 || v == 1))) {
    *error = "expected true or false, found " + v.dump();
    return false;
  }
  Value value;
  if (!JsonToValue(v, type, byName, &value, error)) return false;
  // A value the description does not allow is refused, unless it comes in the explicit form
  // {"type": id, "data": text}, which is taken as written (saving writes such values so).
  if (element && !IsExplicitValue(v)) {
    const std::string problem = element->Check(value);
    if (!problem.empty()) {
      *error = element->Name() + ": " + problem;
      return false;
    }
  }
  node->Data().Set(id, std::move(value));
  return true;
}

namespace {
/// Links name nodes of node's own document.
NodeByName DocumentNames(const Node* node) {
  const Document* doc = node->GetDocument();
  return [doc](const std::string& n) -> const Node* { return doc ? doc->FindNode(n) : nullptr; };
}
}  // namespace

bool FriendlyValue(const FriendlyParam& p, const json& v, const NodeByName& byName, Value* out, std::string* error) {
  if (const auto* choices = EnumOf(p.conv)) {
    int32_t choice = 0;
    if (!ReadChoice(*choices, v, &choice, error)) return false;
    *out = Value::Int32(choice);
    return true;
  }
  if (p.conv == Conv::Angle) {
    if (!v.is_number()) {
      *error = "expected an angle in degrees (a number), found " + v.dump();
      return false;
    }
    *out = Value::Float(v.get<double>() * kDegToRad);
    return true;
  }
  return JsonToValue(v, p.type, byName, out, error);
}

bool ApplyFriendlyJson(Node* node, const std::string& key, const json& v, std::string* error) {
  for (const FriendlyParam* p : FriendlyParamsOf(node)) {
    if (key != p->key) continue;
    Value value;
    if (!FriendlyValue(*p, v, DocumentNames(node), &value, error)) return false;
    node->Data().Set(p->id, std::move(value));
    return true;
  }
  *error = "\"" + node->Name() + "\" has no setting " + key;
  return false;
}

bool ApplyParameterJson(Node* node, const std::string& key, const json& v, std::string* error) {
  return ApplyParameter(node, key, v, DocumentNames(node), error);
}

}  // namespace host
