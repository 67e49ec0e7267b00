// scene_load.cpp - reading scene files: JSON text into a new document of the current host.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <new>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "core/file_read.h"
#include "core/host.h"
#include "core/ids.h"
#include "core/text.h"
#include "resources/description.h"
#include "resources/resources.h"
#include "scene/json_values.h"
#include "scene/scene_file.h"
#include "scene/scene_json.h"
#include "scene/scene_parameters.h"
#include "scene/scene_schema.h"
#include "scene/shader_tree.h"

namespace host {

using nlohmann::json;
using namespace scenefile;

namespace {

struct LoadFailure {
  std::string path, message;
  bool whileWorking = false;
};

class Loader {
 public:
  Loader(Document* d, Scene* s) : doc(d), scene(s) {}

  bool Load(const json& root);
  LoadFailure failure;

 private:
  bool Fail(std::string path, std::string message) {
    failure = {std::move(path), std::move(message)};
    return false;
  }
  Node* FailNode(std::string path, std::string message) {
    Fail(std::move(path), std::move(message));
    return nullptr;
  }
  bool CheckName(const json& entry, const std::string& path, std::string* name);
  bool CreateNodes(const json& root);
  // Makers of the nodes of each top-level array: null (after Fail) when the entry names
  // no creatable node.
  Node* MakeObject(const json& entry, const std::string& name, const std::string& path);
  Node* MakeLight(const json& entry, const std::string& name, const std::string& path);
  Node* MakeMaterial(const json& entry, const std::string& name, const std::string& path);
  Node* MakeShader(const json& entry, const std::string& name, const std::string& path);

  // One top-level array of nodes: its key, the keys of an entry that are not parameters,
  // and the maker of its nodes.
  struct Section {
    const char* key;
    std::set<std::string> reserved;
    Node* (Loader::*make)(const json& entry, const std::string& name, const std::string& path);
  };
  static const Section kSections[];
  bool ApplyEntry(Node* node, const json& entry, const std::string& path,
                  const std::set<std::string>& reserved);
  bool ApplyFriendly(Node* node, const FriendlyParam& p, const json& v, const std::string& path);
  bool ApplyParameters(Node* node, const json& params, const std::string& path);
  bool ApplyCamera(const json& cam);
  bool ApplyRender(const json& render);
  bool AttachShaders(const json& root);
  bool CheckCycles();

  Document* doc;
  Scene* scene;
  // Every name in the file and its node (null until the node is made): links resolve
  // here, not by searching the document, so that a scene of many links loads in linear time.
  std::unordered_map<std::string, Node*> names;
  // Node made for each entry, in file order, with its JSON and path.
  struct Made {
    Node* node;
    const json* entry;
    std::string path;
    std::set<std::string> reserved;
  };
  std::vector<Made> made;
  Node* Named(const std::string& name) const {
    auto it = names.find(name);
    return it != names.end() ? it->second : nullptr;
  }
  NodeByName byName = [this](const std::string& n) -> const Node* { return Named(n); };
};

bool Loader::CheckName(const json& entry, const std::string& path, std::string* name) {
  if (!entry.is_object()) return Fail(path, "expected an object");
  if (!entry.contains("name") || !entry["name"].is_string() || entry["name"].get<std::string>().empty())
    return Fail(path, "every entry needs a \"name\" (a non-empty text)");
  *name = entry["name"].get<std::string>();
  if (!names.emplace(*name, nullptr).second) return Fail(path, "the name \"" + *name + "\" is used twice");
  return true;
}

// Nodes are made in this order: the camera, then each array in file order.
const Loader::Section Loader::kSections[] = {
    {"objects", {"name", "type"}, &Loader::MakeObject},
    {"lights", {"name"}, &Loader::MakeLight},
    {"materials", {"name"}, &Loader::MakeMaterial},
    {"shaders", {"name", "plugin", "owner"}, &Loader::MakeShader},
};

bool Loader::CreateNodes(const json& root) {
  // The camera.
  std::string name = "Camera";
  if (root.contains("camera")) {
    if (!root["camera"].is_object()) return Fail("camera", "expected an object");
    if (root["camera"].contains("name")) {
      if (!CheckName(root["camera"], "camera", &name)) return false;
    } else {
      names.emplace(name, nullptr);
    }
  } else {
    names.emplace(name, nullptr);
  }
  scene->camera = doc->CreateObject(kTypeCamera, name);
  if (!scene->camera) return Fail("camera", "the host could not create the camera");
  names[name] = scene->camera;

  for (const Section& section : kSections) {
    if (!root.contains(section.key)) continue;
    const json& list = root[section.key];
    if (!list.is_array()) return Fail(section.key, "expected an array");
    for (size_t i = 0; i < list.size(); ++i) {
      const json& e = list[i];
      std::string path = std::string(section.key) + "[" + std::to_string(i) + "]";
      if (!CheckName(e, path, &name)) return false;
      path += " \"" + name + "\"";
      Node* node = (this->*section.make)(e, name, path);
      if (!node) return false;
      names[name] = node;
      made.push_back({node, &e, path, section.reserved});
    }
  }
  return true;
}

Node* Loader::MakeObject(const json& e, const std::string& name, const std::string& path) {
  int32_t type = 0;
  if (!e.contains("type"))
    return FailNode(path, "missing \"type\" (plane, sphere, box, null, camera or a type ID)");
  const json& t = e["type"];
  if (t.is_string() && kObjectTypes.count(Lower(t.get<std::string>()))) {
    type = kObjectTypes.at(Lower(t.get<std::string>()));
  } else if (t.is_number_integer()) {
    if (!ReadInt32(t, &type)) return FailNode(path + " / type", "the type ID " + Int32Problem(t));
  } else {
    return FailNode(path + " / type",
                    "unknown object type " + t.dump() + " (plane, sphere, box, null, camera or a type ID)");
  }
  if (type == kTypeLight) return FailNode(path + " / type", "lights belong in \"lights\"");
  Node* node = doc->CreateObject(type, name);
  if (!node) return FailNode(path, "the host could not create an object of type " + std::to_string(type));
  return node;
}

Node* Loader::MakeLight(const json&, const std::string& name, const std::string& path) {
  Node* node = doc->CreateObject(kTypeLight, name);
  if (!node) return FailNode(path, "the host could not create the light");
  return node;
}

Node* Loader::MakeMaterial(const json&, const std::string& name, const std::string& path) {
  Node* node = doc->CreateMaterial(name);
  if (!node) return FailNode(path, "the host could not create the material");
  return node;
}

// Shaders: built-in by name, plug-ins by ID, registered name or description name.
Node* Loader::MakeShader(const json& e, const std::string& name, const std::string& path) {
  if (!e.contains("plugin"))
    return FailNode(path, "missing \"plugin\" (a plug-in ID or name, or color, checkerboard, noise)");
  const json& p = e["plugin"];
  int32_t type = 0;
  if (p.is_number_integer()) {
    if (!ReadInt32(p, &type)) return FailNode(path + " / plugin", "the plug-in ID " + Int32Problem(p));
  } else if (p.is_string()) {
    std::string want = Lower(p.get<std::string>());
    if (kBuiltinShaders.count(want)) type = kBuiltinShaders.at(want);
    int32_t numeric;
    if (!type && ParseInt32Key(want, &numeric)) type = numeric;
    for (const PluginInfo* info : doc->GetHost()->Plugins().List()) {
      if (type) break;
      auto desc = Descriptions().Find(info->id);
      if (Lower(info->name) == want || (desc && Lower(desc->description.name) == want)) type = info->id;
    }
  } else {
    return FailNode(path + " / plugin", "expected a plug-in ID or name, not " + std::string(p.type_name()));
  }
  // An ID two modules claimed (or a name a refused module asked for) is not taken to mean
  // either of them: the plug-ins folder has to be put right.
  const PluginRegistry& registry = doc->GetHost()->Plugins();
  const ContestedId* contest =
      type ? registry.FindContest(type)
           : (p.is_string() ? registry.FindContestByName(p.get<std::string>()) : nullptr);
  if (contest) {
    FailNode(path + " / plugin", contest->ToString() + "; the scene cannot tell which one it means");
    failure.whileWorking = true;  // the file is not to blame
    return nullptr;
  }
  bool exists = type == kShaderColor || type == kShaderCheckerboard || type == kShaderNoise ||
                (type && doc->GetHost()->Plugins().Find(type));
  if (!exists) {
    std::string known;
    for (const PluginInfo* info : doc->GetHost()->Plugins().List())
      known += ", " + info->name + " (" + std::to_string(info->id) + ")";
    // A module refused over a contested ID may be the one the scene means: say so, and
    // blame the plug-ins folder rather than the file.
    std::string contested;
    for (const ContestedId* c : registry.Contests())
      contested += "; " + c->ToString() + ", and the refused module's plug-ins are not registered";
    FailNode(path + " / plugin",
             "unknown plug-in " + p.dump() + " (known: color, checkerboard, noise" + known + ")" + contested);
    if (!contested.empty()) failure.whileWorking = true;
    return nullptr;
  }
  Node* node = doc->CreateShader(type, name);
  if (!node) {
    FailNode(path, "the plug-in " + p.dump() + " could not create a shader (allocation or Init failed)");
    failure.whileWorking = true;  // the file is not to blame
  }
  return node;
}

bool Loader::ApplyFriendly(Node* node, const FriendlyParam& p, const json& v, const std::string& path) {
  Value value;
  std::string error;
  if (!FriendlyValue(p, v, byName, &value, &error)) return Fail(path, error);
  node->Data().Set(p.id, std::move(value));
  return true;
}

bool Loader::ApplyParameters(Node* node, const json& params, const std::string& path) {
  if (!params.is_object()) return Fail(path, "expected an object of parameters");
  for (auto it = params.begin(); it != params.end(); ++it) {
    std::string error;
    if (!ApplyParameter(node, it.key(), it.value(), byName, &error))
      return Fail(path + " / " + it.key(), error);
  }
  return true;
}

bool Loader::ApplyEntry(Node* node, const json& entry, const std::string& path,
                        const std::set<std::string>& reserved) {
  auto friendly = FriendlyParamsOf(node);
  for (auto it = entry.begin(); it != entry.end(); ++it) {
    const std::string& key = it.key();
    if (reserved.count(key) || key == "parameters") continue;
    auto f =
        std::find_if(friendly.begin(), friendly.end(), [&](const FriendlyParam* p) { return key == p->key; });
    if (f == friendly.end()) {
      std::string keys;
      for (const FriendlyParam* p : friendly) keys += std::string(", ") + p->key;
      return Fail(path + " / " + key, "unknown key (expected name" + keys + " or parameters)");
    }
    if (!ApplyFriendly(node, **f, it.value(), path + " / " + key)) return false;
  }
  if (entry.contains("parameters") && !ApplyParameters(node, entry["parameters"], path + " / parameters"))
    return false;
  return true;
}

bool Loader::ApplyCamera(const json& cam) {
  std::set<std::string> reserved = {"name", "resolution", "target"};
  if (!ApplyEntry(scene->camera, cam, "camera", reserved)) return false;
  if (cam.contains("resolution")) {
    const json& r = cam["resolution"];
    int32_t width = 0, height = 0;
    if (!r.is_array() || r.size() != 2 || !ReadInt32(r[0], &width) || !ReadInt32(r[1], &height) ||
        width < 1 || height < 1 || width > 65536 || height > 65536)
      return Fail("camera / resolution", "expected [width, height], integers from 1 to 65536");
    scene->width = width;
    scene->height = height;
  }
  if (cam.contains("target")) {
    if (cam.contains("direction"))
      return Fail("camera / target", "give either \"target\" or \"direction\", not both");
    Value v;
    std::string error;
    if (!JsonToValue(cam["target"], C4D_DTYPE_VECTOR, nullptr, &v, &error))
      return Fail("camera / target", error);
    Vec3 dir = v.GetVector() - scene->camera->Data().GetVector(OBJECT_POSITION);
    if (Length(dir) == 0) return Fail("camera / target", "the target is the camera's own position");
    scene->camera->Data().SetVector(OBJECT_DIRECTION, dir);
  }
  return true;
}

bool Loader::ApplyRender(const json& render) {
  if (!render.is_object()) return Fail("render", "expected an object");
  for (auto it = render.begin(); it != render.end(); ++it) {
    if (it.key() == "background") {
      Value v;
      std::string error;
      if (!JsonToValue(it.value(), C4D_DTYPE_VECTOR, nullptr, &v, &error))
        return Fail("render / background", error);
      scene->background = v.GetVector();
    } else if (it.key() == "samples") {
      int32_t samples = 0;
      if (!ReadInt32(it.value(), &samples) || samples < 1 || samples > 4096)
        return Fail("render / samples", "expected an integer from 1 to 4096");
      scene->samples = samples;
    } else {
      return Fail("render / " + it.key(), "unknown key (expected background or samples)");
    }
  }
  return true;
}

bool Loader::AttachShaders(const json& root) {
  (void)root;
  AttachmentPlan plan(doc->Nodes());
  // Explicit owners first.
  std::unordered_set<const Node*> owned;
  for (const Made& m : made) {
    if (!m.node->IsShader() || !m.entry->contains("owner")) continue;
    owned.insert(m.node);
    const json& o = (*m.entry)["owner"];
    if (o.is_null()) continue;
    if (!o.is_string()) return Fail(m.path + " / owner", "expected a node name or null");
    Node* owner = Named(o.get<std::string>());
    if (!owner) return Fail(m.path + " / owner", "unknown node \"" + o.get<std::string>() + "\"");
    if (!plan.Attach(owner, m.node))
      return Fail(m.path + " / owner", "cannot attach the shader below \"" + o.get<std::string>() +
                                           "\" (it would become its own ancestor)");
  }
  // Shaders without an owner entry go below the first material or shader that links them,
  // as shaders a user drops into a channel do.
  for (Node* holder : doc->Nodes()) {
    if (holder->Kind() == NodeKind::Object) continue;
    for (const auto& [id, v] : holder->Data().Entries()) {
      Node* target = v.GetLink();
      if (!target || !target->IsShader() || plan.HasParent(target) || target == holder || owned.count(target))
        continue;
      plan.Attach(holder, target);  // refused for ancestors: the shader then stays free
    }
  }
  if (!plan.Apply()) return Fail("", "the host refused to attach a shader");
  return true;
}

bool Loader::CheckCycles() {
  const Node* at = nullptr;
  std::string cycle = FindShaderCycle(*doc, &at);
  if (cycle.empty()) return true;
  auto m = std::find_if(made.begin(), made.end(), [&](const Made& x) { return x.node == at; });
  return Fail(m != made.end() ? m->path : at->Name(),
              "sub-shader links form a cycle: " + cycle + " (a shader cannot sample itself)");
}

bool Loader::Load(const json& root) {
  if (!root.is_object()) return Fail("", "the scene must be a JSON object");
  static const std::set<std::string> kTopKeys = {"version", "render",    "camera", "objects",
                                                 "lights",  "materials", "shaders"};
  for (auto it = root.begin(); it != root.end(); ++it)
    if (!kTopKeys.count(it.key()))
      return Fail(it.key(),
                  "unknown key (expected version, render, camera, objects, lights, materials, shaders)");
  if (root.contains("version") && root["version"] != 1) return Fail("version", "only version 1 is known");
  if (!CreateNodes(root)) return false;
  if (root.contains("camera") && !ApplyCamera(root["camera"])) return false;
  if (root.contains("render") && !ApplyRender(root["render"])) return false;
  for (const Made& m : made)
    if (!ApplyEntry(m.node, *m.entry, m.path, m.reserved)) return false;
  if (!AttachShaders(root)) return false;
  return CheckCycles();
}

}  // namespace

bool LoadSceneText(Host& host, const std::string& text, const std::string& file, Scene* out, SceneError* error) {
  *error = SceneError{file, 0, 0, {}, {}};
  json root;
  if (!ParseSceneJson(text, &root, error)) return false;
  Scene scene;
  scene.document = host.NewDocument(file);
  Loader loader(scene.document, &scene);
  bool ok = false;
  try {
    ok = loader.Load(root);
  } catch (const std::bad_alloc&) {
    loader.failure.message = "out of memory";
    loader.failure.whileWorking = true;
  } catch (const std::exception& e) {  // a JSON value read as the wrong type
    loader.failure.message = e.what();
  }
  if (!ok) {
    error->path = loader.failure.path;
    error->message = loader.failure.message;
    error->whileWorking = loader.failure.whileWorking;
    host.DeleteDocument(scene.document);
    return false;
  }
  *out = scene;
  return true;
}

bool LoadSceneFile(Host& host, const std::string& path, Scene* out, SceneError* error) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    *error = SceneError{path, 0, 0, {}, "is a folder, not a scene file"};
    return false;
  }
  std::string text;
  switch (ReadWholeFile(path, &text)) {
    case FileRead::Ok:
      return LoadSceneText(host, text, path, out, error);
    case FileRead::CannotOpen:
      *error = SceneError{path, 0, 0, {}, "cannot open the scene file: " + std::string(std::strerror(errno))};
      return false;
    default:
      *error = SceneError{path, 0, 0, {}, "cannot read the scene file"};
      return false;
  }
}

}  // namespace host
