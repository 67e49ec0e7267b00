// scene_save.cpp - writing scene files: every node and every stored parameter, friendly
// keys for the host's own parameters and description symbols for the plug-ins'.
#include <algorithm>
#include <cmath>
#include <map>

#include "core/file_write.h"
#include "core/ids.h"
#include "core/plugins.h"
#include "resources/description.h"
#include "resources/resources.h"
#include "scene/json_values.h"
#include "scene/scene_file.h"
#include "scene/scene_schema.h"

namespace host {

using nlohmann::json;
using namespace scenefile;

std::string NodeName(const Node* node) { return node ? node->Name() : std::string(); }

json NodeToJson(const Node* node) {
  const NameOfNode names = NodeName;
  json out = json::object();
  out["name"] = node->Name();
  json params = json::object();
  auto friendly = FriendlyParamsOf(node);
  auto desc = DescriptionOf(node);
  for (const auto& entry : node->Data().Entries()) {
    const int32_t id = entry.first;
    const Value& v = entry.second;
    // The host's own parameters under their friendly keys, when the stored type fits.
    auto f =
        std::find_if(friendly.begin(), friendly.end(), [&](const FriendlyParam* p) { return p->id == id; });
    if (f != friendly.end() && v.TypeId() == (*f)->type) {
      const FriendlyParam& p = **f;
      if (p.conv == Conv::Angle) {
        double deg;
        if (ExactDegrees(v.GetFloat(), &deg) && std::isfinite(deg)) {
          out[p.key] = deg;
          continue;
        }
      } else if (const auto* choicesOf = EnumOf(p.conv)) {
        auto e = std::find_if(choicesOf->begin(), choicesOf->end(),
                              [&](const auto& kv) { return kv.second == v.GetInt32(); });
        out[p.key] = e != choicesOf->end() ? json(e->first) : json(v.GetInt32());
        continue;
      } else {
        out[p.key] = ValueToJson(v, p.type, p.conv == Conv::Bool, names);
        continue;
      }
    }
    // A plug-in's parameters by description symbol, when the stored type fits.
    const DescriptionElement* element = desc ? desc->description.FindById(id) : nullptr;
    if (element && element->IsParameter() && element->ValueType() == v.TypeId() && !element->symbol.empty()) {
      // A value the description does not allow (a module or the API may store one) keeps
      // the explicit form, which loading takes as written: the file loads again.
      const bool allowed = element->Check(v).empty();
      params[element->symbol] = allowed ? ValueToJson(v, element->ValueType(), element->type == ElementType::Bool, names)
                                        : ExplicitValueJson(v, names);
      continue;
    }
    // Everything else by numeric ID, in a form that keeps its type.
    bool typeKnownElsewhere = element || f != friendly.end();
    params[std::to_string(id)] =
        typeKnownElsewhere ? ExplicitValueJson(v, names) : ValueToJson(v, 0, false, names);
  }
  if (!params.empty()) out["parameters"] = params;
  return out;
}

json SceneToJson(const Scene& scene) {
  json root = json::object();
  root["version"] = 1;
  root["render"] = json{{"background", {scene.background.x, scene.background.y, scene.background.z}},
                        {"samples", scene.samples}};
  json objects = json::array(), lights = json::array(), materials = json::array(), shaders = json::array();
  for (Node* node : scene.document->Nodes()) {
    json j = NodeToJson(node);
    if (node == scene.camera) {
      j["resolution"] = {scene.width, scene.height};
      root["camera"] = j;
    } else if (node->IsLight()) {
      lights.push_back(j);
    } else if (node->Kind() == NodeKind::Object) {
      const std::string type = ObjectTypeName(node->Type());
      j["type"] = type.empty() ? json(node->Type()) : json(type);
      objects.push_back(j);
    } else if (node->Kind() == NodeKind::Material) {
      materials.push_back(j);
    } else {
      const std::string plugin = BuiltinShaderName(node->Type());
      j["plugin"] = plugin.empty() ? json(node->Type()) : json(plugin);
      if (node->Plugin() && !node->Plugin()->name.empty()) j["plugin"] = node->Plugin()->name;
      // Always written, so that a free shader stays free when the file is loaded again.
      j["owner"] = node->Parent() ? json(node->Parent()->Name()) : json(nullptr);
      shaders.push_back(j);
    }
  }
  root["objects"] = objects;
  root["lights"] = lights;
  root["materials"] = materials;
  root["shaders"] = shaders;
  return root;
}

bool SaveSceneFile(const Scene& scene, const std::string& path, std::string* error) {
  // Written whole or not at all: saving over the scene that was loaded never loses it.
  return WriteFileAtomically(path, SceneToText(scene), "the scene file", error);
}

}  // namespace host
