// lookdev_edits.cpp - the page's edits: a parameter's value and the entries of a light list.
#include "serve/lookdev.h"

#include <algorithm>

#include "scene/json_values.h"
#include "scene/scene_schema.h"
#include "serve/lookdev_requests.h"

namespace host {

using nlohmann::json;

namespace {

/// What the panel calls a parameter: its label, else its symbol.
std::string PanelName(const DescriptionElement& e) {
  return !e.label.empty() ? e.label : !e.symbol.empty() ? e.symbol : std::to_string(e.id);
}

/// Checks a value the page sends for what only the page is refused (the explicit form, which
/// a scene file may use to keep any value) and what only the document can tell: the kind of
/// nodes a link or list may name. Applying the value then checks it against its description
/// (type, range, choices, flags) as scene files are.
bool CheckDescribedValue(const DescriptionElement& e, const json& v, const Node* self, Reply* refusal) {
  auto fail = [&](const std::string& message) {
    *refusal = Refuse(400, PanelName(e) + ": " + message);
    return false;
  };
  const Document* doc = self->GetDocument();
  if (IsExplicitValue(v)) return fail("expected a plain value, found the stored form " + v.dump());
  if (e.type == ElementType::Real) {
    if (!v.is_number()) return fail("expected a number, found " + v.dump());
    // Told in the unit the panel shows: "250 % is outside 0 % to 100 %".
    if (std::string problem = e.CheckShown(Value::Float(v.get<double>())); !problem.empty()) return fail(problem);
  } else if (e.type == ElementType::Long) {
    int32_t x32 = 0;
    if (!ReadInt32(v, &x32)) return fail("expected an integer, found " + v.dump() + " (" + Int32Problem(v) + ")");
  } else if (e.type == ElementType::ShaderLink || e.type == ElementType::Link) {
    if (v.is_null()) return true;
    if (!v.is_string()) return fail("expected a node name or null, found " + v.dump());
    const Node* target = doc->FindNode(v.get<std::string>());
    if (!target) return fail("there is no node \"" + v.get<std::string>() + "\"");
    if (e.type == ElementType::ShaderLink && !target->IsShader())
      return fail("\"" + target->Name() + "\" is not a shader");
    if (target == self) return fail("a shader cannot link itself");
  } else if (e.type == ElementType::InExclude) {
    if (!v.is_array()) return fail("expected a list of {\"object\": name, \"flags\": n}");
    bool lightsOnly = AcceptsLightsOnly(e);
    for (const json& entry : v) {
      if (!entry.is_object() || !entry.contains("object") || !entry["object"].is_string()) continue;
      std::string name = entry["object"].get<std::string>();
      const Node* n = doc->FindNode(name);
      if (!n)
        return fail("there is no " + std::string(lightsOnly ? "light" : "object") + " \"" + name + "\"");
      if (lightsOnly && !n->IsLight()) return fail("\"" + name + "\" is not a light");
    }
  }
  return true;
}

}  // namespace

Reply Lookdev::SetParamLocked(const std::string& shaderName, const std::string& key, const json& value,
                              const std::string& label) {
  if (!scene_.document) return Refuse(409, "no scene is loaded");
  Node* shader = scene_.document->FindNode(shaderName, NodeKind::Shader);
  if (!shader) return Refuse(400, "there is no shader \"" + shaderName + "\"");
  auto desc = DescriptionOfShader(shader);
  if (!desc) return Refuse(400, "\"" + shaderName + "\" has no description to edit");
  const DescriptionElement* element = desc->description.FindBySymbol(key);
  int32_t id = 0;
  if (!element && scenefile::ParseInt32Key(key, &id)) element = desc->description.FindById(id);
  if (!element || !element->IsParameter() || element->ValueType() == 0)
    return Refuse(400, "the description " + desc->description.name + " has no parameter " + key);
  Reply refusal;
  if (!CheckDescribedValue(*element, value, shader, &refusal)) return refusal;

  const Value* current = shader->Data().Find(element->id);
  const Value old = current ? *current : Value();
  std::string error;
  if (!ApplyParameterJson(shader, element->symbol.empty() ? std::to_string(element->id) : element->symbol,
                          value, &error)) {
    // The cause without the element's own name in front: the page names it by its label.
    const std::string named = element->Name() + ": ";
    if (error.rfind(named, 0) == 0) error.erase(0, named.size());
    return Refuse(400, PanelName(*element) + ": " + error);
  }
  std::string cycle = FindShaderCycle(*scene_.document);
  if (!cycle.empty()) {
    shader->Data().Set(element->id, old);  // a None value removes the entry again
    return Refuse(400, PanelName(*element) + ": sub-shader links would form a cycle: " + cycle);
  }
  // Serialised once per edit: the worker's snapshot takes this text, and every edit tells
  // whether it differs from the saved one, so the page needs no second request.
  std::string before = std::move(sceneText_);
  sceneText_ = SceneToText(scene_);
  Recorded(std::move(before), label.empty() ? PanelName(*element) + " of " + shaderName : label);
  json state = ShaderState(shader);
  state["sceneChanged"] = sceneText_ != savedText_;
  state["history"] = History();
  return JsonReply(state);
}

Reply Lookdev::SetParam(const std::string& body) {
  std::lock_guard<std::mutex> lock(mutex_);
  json request;
  Reply refusal;
  std::string shader, param;
  if (!ParseBody(body, &request, &refusal) || !TextField(request, "shader", &shader, &refusal))
    return refusal;
  int32_t numericParam = 0;
  if (request.contains("param") && request["param"].is_number_integer()) {
    if (!ReadInt32(request["param"], &numericParam))
      return Refuse(400, "the parameter ID " + Int32Problem(request["param"]));
    param = std::to_string(numericParam);
  }
  else if (!TextField(request, "param", &param, &refusal))
    return refusal;
  if (!request.contains("value")) return Refuse(400, "the request needs \"value\"");
  return SetParamLocked(shader, param, request["value"]);
}

Reply Lookdev::EditLights(const std::string& body) {
  std::lock_guard<std::mutex> lock(mutex_);
  json request;
  Reply refusal;
  std::string shaderName, action, light;
  if (!ParseBody(body, &request, &refusal) || !TextField(request, "shader", &shaderName, &refusal) ||
      !TextField(request, "action", &action, &refusal) || !TextField(request, "light", &light, &refusal))
    return refusal;
  if (!scene_.document) return Refuse(409, "no scene is loaded");
  Node* shader = scene_.document->FindNode(shaderName, NodeKind::Shader);
  auto desc = DescriptionOfShader(shader);
  if (!desc) return Refuse(400, "there is no shader \"" + shaderName + "\" with a description");
  // The list: the one named, else the description's first in/exclude list.
  const DescriptionElement* list = nullptr;
  if (request.contains("param")) {
    std::string key;
    if (!TextField(request, "param", &key, &refusal)) return refusal;
    list = desc->description.FindBySymbol(key);
  } else {
    for (const DescriptionElement& e : desc->description.elements)
      if (e.type == ElementType::InExclude && !list) list = &e;
  }
  if (!list || list->type != ElementType::InExclude) return Refuse(400, "the shader has no such light list");

  Node* target = scene_.document->FindNode(light);
  if (!target || (AcceptsLightsOnly(*list) && !target->IsLight()))
    return Refuse(400, "there is no light \"" + light + "\"");
  json entries = NodeToJson(shader).value("parameters", json::object()).value(list->symbol, json::array());
  if (!entries.is_array()) entries = json::array();
  auto entry = std::find_if(entries.begin(), entries.end(), [&](const json& e) {
    return e.is_object() && e.value("object", json()) == light;
  });
  auto flagsField = [&](int32_t* flags) {
    auto it = request.find("flags");
    if (it == request.end() || !ReadInt32(*it, flags) || *flags < 0) {
      refusal = Refuse(400, "the request needs \"flags\" (an integer from 0 to 2147483647)");
      return false;
    }
    return true;
  };
  if (action == "add") {
    if (entry != entries.end()) return Refuse(400, "\"" + light + "\" is already in the list");
    int32_t flags = list->initState.value_or(0);
    if (request.contains("flags") && !flagsField(&flags)) return refusal;
    entries.push_back({{"object", light}, {"flags", flags}});
  } else if (action == "remove" || action == "flags") {
    if (entry == entries.end()) return Refuse(400, "\"" + light + "\" is not in the list");
    if (action == "remove") {
      entries.erase(entry);
    } else {
      int32_t flags = 0;
      if (!flagsField(&flags)) return refusal;
      (*entry)["flags"] = flags;
    }
  } else {
    return Refuse(400, "unknown action \"" + action + "\" (expected add, remove or flags)");
  }
  // The history's word for the edit: "Add Key to Lights", "Remove Key from Lights", "Switch Key in Lights".
  const std::string edit = action == "add" ? "Add " + light + " to "
                           : action == "remove" ? "Remove " + light + " from "
                                                : "Switch " + light + " in ";
  return SetParamLocked(shaderName, list->symbol, entries, edit + PanelName(*list));
}

}  // namespace host
