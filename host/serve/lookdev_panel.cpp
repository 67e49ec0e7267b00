// lookdev_panel.cpp - what the page's panel shows: the plug-ins' descriptions and notes, and
// the scene's shaders with their values and enabling.
#include "serve/lookdev.h"

#include <filesystem>

#include "scene/json_values.h"
#include "scene/scene_schema.h"
#include "serve/host_params.h"
#include "serve/lookdev_requests.h"
#include "serve/plugin_notes.h"
#include "session/session_info.h"

namespace host {

using nlohmann::json;
namespace fs = std::filesystem;

namespace {

/// {"help": text, "lists": {symbol: [{"on", "off", "onHint", "offHint"} per bit]},
///  "params": {symbol: {"hint", "disabledHint"}}}.
json NotesJson(const PluginNotes& notes) {
  json lists = json::object();
  for (const ListNote& list : notes.lists) {
    json bits = json::array();
    for (const FlagNote& f : list.flags)
      bits.push_back({{"on", f.on}, {"off", f.off}, {"onHint", f.onHint}, {"offHint", f.offHint}});
    lists[list.symbol] = std::move(bits);
  }
  json params = json::object();
  for (const ParamNote& p : notes.params) params[p.symbol] = {{"hint", p.hint}, {"disabledHint", p.disabledHint}};
  return {{"help", notes.help}, {"lists", std::move(lists)}, {"params", std::move(params)}};
}

json ElementJson(const DescriptionElement& e) {
  json flags = json::array();
  for (const DescriptionFlag& f : e.flags) flags.push_back({{"name", f.name}, {"args", f.args}});
  json cycle = json::array();
  for (const CycleEntry& c : e.cycle)
    cycle.push_back({{"id", c.id}, {"symbol", c.symbol}, {"label", c.label}});
  return {{"type", e.TypeName()},   {"symbol", e.symbol},   {"id", e.id},
          {"label", e.label}, {"groupId", e.groupId}, {"valueType", ValueTypeName(e.ValueType())},
          {"cycle", cycle},   {"flags", flags}};
}

}  // namespace

Reply Lookdev::Describe() {
  std::lock_guard<std::mutex> lock(mutex_);
  SessionReport report = DescribeSession(session_);
  json plugins = json::array();
  for (const PluginReport& p : report.plugins) {
    json entry = {{"id", p.id}, {"name", p.name}, {"module", p.module}, {"type", p.type}};
    if (p.description) {
      const Description& d = p.description->description;
      json elements = json::array();
      for (const DescriptionElement& e : d.elements) elements.push_back(ElementJson(e));
      entry["description"] = {{"name", d.name}, {"displayName", d.displayName}, {"elements", elements}};
      entry["notes"] = NotesJson(NotesForDescription(*p.description));
    }
    plugins.push_back(entry);
  }
  json icons = json::array();
  for (const IconInfo& icon : report.icons)
    icons.push_back({{"id", icon.id},
                     {"width", icon.w},
                     {"height", icon.h},
                     {"file", fs::path(icon.file).filename().string()}});
  return JsonReply({{"plugins", plugins}, {"icons", icons}, {"hostParams", HostParamsJson()}});
}

json Lookdev::ShaderState(Node* shader) {
  json state = {{"name", shader->Name()}, {"pluginId", shader->Plugin() ? shader->Plugin()->id : 0}};
  json saved = NodeToJson(shader);
  auto parameters = saved.find("parameters");
  state["parameters"] = parameters != saved.end() ? std::move(*parameters) : json::object();
  json enabled = json::object();
  if (auto desc = DescriptionOfShader(shader))
    for (const DescriptionElement& e : desc->description.elements)
      if (e.IsParameter()) enabled[std::to_string(e.id)] = shader->GetDEnabling(e.id);
  state["enabled"] = std::move(enabled);
  return state;
}

json Lookdev::SceneJson() {
  json lights = json::array(), lightsOff = json::object(), shaders = json::array(), editable = json::array();
  json lightNodes = json::array(), objects = json::array(), subShaders = json::array();
  if (scene_.document) {
    for (Node* n : scene_.document->Objects()) {
      if (!n->IsLight()) {
        // Geometry as the scene file has it, with its type, for the page's top view.
        if (n == scene_.camera) continue;
        json object = NodeToJson(n);
        if (std::string type = scenefile::ObjectTypeName(n->Type()); !type.empty()) object["type"] = type;
        objects.push_back(std::move(object));
        continue;
      }
      lights.push_back(n->Name());
      json light = HostParamValues(n);
      light["name"] = n->Name();
      lightNodes.push_back(std::move(light));
      if (!n->IsEnabled()) lightsOff[n->Name()] = "switched off in the scene: it lights nothing, so the shader adds nothing for it";
    }
    for (Node* n : scene_.document->Shaders()) {
      shaders.push_back(n->Name());
      if (DescriptionOfShader(n)) editable.push_back(ShaderState(n));
      if (const std::string kind = HostParamKind(n); !kind.empty())
        subShaders.push_back({{"name", n->Name()}, {"plugin", kind}, {"values", HostParamValues(n)}});
    }
  }
  // Moved in, not listed in an initialiser: that would copy every shader's state.
  json scene = {{"file", sceneFile_}, {"width", scene_.width}, {"height", scene_.height}, {"samples", scene_.samples}};
  scene["lights"] = std::move(lights);
  scene["lightsOff"] = std::move(lightsOff);
  scene["lightNodes"] = std::move(lightNodes);
  scene["objects"] = std::move(objects);
  scene["camera"] = scene_.camera ? HostParamValues(scene_.camera) : json::object();
  scene["changed"] = sceneText_ != savedText_;
  scene["shaders"] = std::move(shaders);
  scene["editable"] = std::move(editable);
  scene["subShaders"] = std::move(subShaders);
  scene["history"] = History();
  return scene;
}

Reply Lookdev::SceneState() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!scene_.document) return Refuse(409, "no scene is loaded");
  return JsonReply(SceneJson());
}

}  // namespace host
