#include "scene/scene_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <numbers>
#include <set>
#include <sstream>

#include "core/host.h"
#include "core/ids.h"
#include "resources/resources.h"
#include "scene/json_values.h"

namespace host {

using nlohmann::json;

namespace {

// ---- Friendly keys of the host's own nodes ------------------------------------------

// How a friendly key's JSON maps onto the stored value.
enum class Conv { None, Bool, Angle, LightType, Falloff, NoiseSpace };

struct FriendlyParam {
  const char* key;
  int32_t id;
  int32_t type;
  Conv conv = Conv::None;
};

const std::vector<FriendlyParam> kObjectParams = {
    {"enabled", OBJECT_ENABLED, C4D_DTYPE_LONG, Conv::Bool}, {"position", OBJECT_POSITION, C4D_DTYPE_VECTOR},
    {"direction", OBJECT_DIRECTION, C4D_DTYPE_VECTOR},       {"up", OBJECT_UP, C4D_DTYPE_VECTOR},
    {"material", OBJECT_MATERIAL, C4D_DTYPE_LINK},
};
const std::vector<FriendlyParam> kCameraParams = {{"fov", CAMERA_FOV, C4D_DTYPE_REAL, Conv::Angle}};
const std::vector<FriendlyParam> kSphereParams = {{"radius", SPHERE_RADIUS, C4D_DTYPE_REAL}};
const std::vector<FriendlyParam> kBoxParams = {{"size", CUBE_SIZE, C4D_DTYPE_VECTOR}};
const std::vector<FriendlyParam> kPlaneParams = {{"width", PLANE_WIDTH, C4D_DTYPE_REAL},
                                                 {"depth", PLANE_DEPTH, C4D_DTYPE_REAL}};
const std::vector<FriendlyParam> kLightParams = {
    {"type", LIGHT_TYPE, C4D_DTYPE_LONG, Conv::LightType},
    {"color", LIGHT_COLOR, C4D_DTYPE_VECTOR},
    {"brightness", LIGHT_BRIGHTNESS, C4D_DTYPE_REAL},
    {"falloff", LIGHT_FALLOFF, C4D_DTYPE_LONG, Conv::Falloff},
    {"radius", LIGHT_FALLOFF_RADIUS, C4D_DTYPE_REAL},
    {"angle", LIGHT_SPOT_ANGLE, C4D_DTYPE_REAL, Conv::Angle},
    {"innerAngle", LIGHT_SPOT_INNER_ANGLE, C4D_DTYPE_REAL, Conv::Angle},
};
const std::vector<FriendlyParam> kMaterialParams = {{"color", MATERIAL_COLOR, C4D_DTYPE_VECTOR},
                                                    {"shader", MATERIAL_COLOR_SHADER, C4D_DTYPE_LINK}};
const std::vector<FriendlyParam> kColorShaderParams = {
    {"color", COLORSHADER_COLOR, C4D_DTYPE_VECTOR}, {"brightness", COLORSHADER_BRIGHTNESS, C4D_DTYPE_REAL}};
const std::vector<FriendlyParam> kCheckerParams = {{"color1", CHECKER_COLOR1, C4D_DTYPE_VECTOR},
                                                   {"color2", CHECKER_COLOR2, C4D_DTYPE_VECTOR},
                                                   {"uScale", CHECKER_USCALE, C4D_DTYPE_REAL},
                                                   {"vScale", CHECKER_VSCALE, C4D_DTYPE_REAL}};
const std::vector<FriendlyParam> kNoiseParams = {{"color1", NOISE_COLOR1, C4D_DTYPE_VECTOR},
                                                 {"color2", NOISE_COLOR2, C4D_DTYPE_VECTOR},
                                                 {"scale", NOISE_SCALE, C4D_DTYPE_REAL},
                                                 {"space", NOISE_SPACE, C4D_DTYPE_LONG, Conv::NoiseSpace},
                                                 {"seed", NOISE_SEED, C4D_DTYPE_LONG}};

const std::map<std::string, int32_t> kLightTypes = {
    {"omni", LIGHT_TYPE_OMNI}, {"spot", LIGHT_TYPE_SPOT}, {"distant", LIGHT_TYPE_DISTANT}};
const std::map<std::string, int32_t> kFalloffs = {{"none", LIGHT_FALLOFF_NONE},
                                                  {"inverse-square", LIGHT_FALLOFF_INVERSESQUARE},
                                                  {"linear", LIGHT_FALLOFF_LINEAR}};
const std::map<std::string, int32_t> kNoiseSpaces = {{"uvw", NOISE_SPACE_UVW}, {"world", NOISE_SPACE_WORLD}};

const std::map<std::string, int32_t> kObjectTypes = {{"plane", kTypePlane},
                                                     {"sphere", kTypeSphere},
                                                     {"box", kTypeCube},
                                                     {"null", kTypeNull},
                                                     {"camera", kTypeCamera}};
const std::map<std::string, int32_t> kBuiltinShaders = {
    {"color", kShaderColor}, {"checkerboard", kShaderCheckerboard}, {"noise", kShaderNoise}};

const std::map<std::string, int32_t>* EnumOf(Conv c) {
  switch (c) {
    case Conv::LightType:
      return &kLightTypes;
    case Conv::Falloff:
      return &kFalloffs;
    case Conv::NoiseSpace:
      return &kNoiseSpaces;
    default:
      return nullptr;
  }
}

// The friendly keys of the parameters a node of this kind and type has, in writing order.
std::vector<const FriendlyParam*> FriendlyParamsOf(const Node* node) {
  std::vector<const FriendlyParam*> out;
  auto add = [&](const std::vector<FriendlyParam>& t) {
    for (const FriendlyParam& p : t) out.push_back(&p);
  };
  switch (node->Kind()) {
    case NodeKind::Object:
      if (node->Type() == kTypeLight) add(kLightParams);
      add(kObjectParams);
      if (node->Type() == kTypeCamera) add(kCameraParams);
      if (node->Type() == kTypeSphere) add(kSphereParams);
      if (node->Type() == kTypeCube) add(kBoxParams);
      if (node->Type() == kTypePlane) add(kPlaneParams);
      break;
    case NodeKind::Material:
      add(kMaterialParams);
      break;
    case NodeKind::Shader:
      if (node->Type() == kShaderColor) add(kColorShaderParams);
      if (node->Type() == kShaderCheckerboard) add(kCheckerParams);
      if (node->Type() == kShaderNoise) add(kNoiseParams);
      break;
  }
  return out;
}

const double kDegToRad = std::numbers::pi / 180.0;
const double kRadToDeg = 180.0 / std::numbers::pi;

// Degrees whose conversion back gives exactly `radians`; false if none is found nearby.
bool ExactDegrees(double radians, double* degrees) {
  // Prefer the short decimal a user would have written (30, not 29.999999999999996).
  char buf[64];
  std::snprintf(buf, sizeof(buf), "%.12g", radians * kRadToDeg);
  double shortest = std::strtod(buf, nullptr);
  if (shortest * kDegToRad == radians) {
    *degrees = shortest;
    return true;
  }
  double d = radians * kRadToDeg;
  for (int step = 0; step < 8; ++step) {
    if (d * kDegToRad == radians) {
      *degrees = d;
      return true;
    }
    d = std::nextafter(d, d * kDegToRad < radians ? INFINITY : -INFINITY);
  }
  return false;
}

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool ParseInt32Key(const std::string& key, int32_t* id) {
  if (key.empty() || key.size() > 11) return false;
  size_t i = key[0] == '-' ? 1 : 0;
  if (i == key.size()) return false;
  for (size_t k = i; k < key.size(); ++k)
    if (!std::isdigit(static_cast<unsigned char>(key[k]))) return false;
  long long v = std::stoll(key);
  if (v < INT32_MIN || v > INT32_MAX) return false;
  *id = int32_t(v);
  return true;
}

std::shared_ptr<const RegisteredDescription> DescriptionOf(const Node* node) {
  if (!node->Plugin()) return nullptr;
  return Descriptions().Find(node->Plugin()->id);
}

// ---- Loading ------------------------------------------------------------------------

struct LoadFailure {
  std::string path, message;
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
  bool CheckName(const json& entry, const std::string& path, std::string* name);
  bool CreateNodes(const json& root);
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
  std::set<std::string> names;
  // Node made for each entry, in file order, with its JSON and path.
  struct Made {
    Node* node;
    const json* entry;
    std::string path;
    std::set<std::string> reserved;
  };
  std::vector<Made> made;
  NodeByName byName = [this](const std::string& n) -> const Node* { return doc->FindNode(n); };
};

bool Loader::CheckName(const json& entry, const std::string& path, std::string* name) {
  if (!entry.is_object()) return Fail(path, "expected an object");
  if (!entry.contains("name") || !entry["name"].is_string() || entry["name"].get<std::string>().empty())
    return Fail(path, "every entry needs a \"name\" (a non-empty text)");
  *name = entry["name"].get<std::string>();
  if (!names.insert(*name).second) return Fail(path, "the name \"" + *name + "\" is used twice");
  return true;
}

bool Loader::CreateNodes(const json& root) {
  auto arrayOf = [&](const char* key, const json** out) {
    *out = nullptr;
    if (!root.contains(key)) return true;
    if (!root[key].is_array()) return Fail(key, "expected an array");
    *out = &root[key];
    return true;
  };

  // The camera.
  std::string name = "Camera";
  if (root.contains("camera")) {
    if (!root["camera"].is_object()) return Fail("camera", "expected an object");
    if (root["camera"].contains("name")) {
      if (!CheckName(root["camera"], "camera", &name)) return false;
    } else {
      names.insert(name);
    }
  } else {
    names.insert(name);
  }
  scene->camera = doc->CreateObject(kTypeCamera, name);
  if (!scene->camera) return Fail("camera", "the host could not create the camera");

  const json* list;
  // Geometry objects.
  if (!arrayOf("objects", &list)) return false;
  for (size_t i = 0; list && i < list->size(); ++i) {
    const json& e = (*list)[i];
    std::string path = "objects[" + std::to_string(i) + "]";
    if (!CheckName(e, path, &name)) return false;
    path += " \"" + name + "\"";
    int32_t type = 0;
    if (!e.contains("type"))
      return Fail(path, "missing \"type\" (plane, sphere, box, null, camera or a type ID)");
    const json& t = e["type"];
    if (t.is_string() && kObjectTypes.count(Lower(t.get<std::string>()))) {
      type = kObjectTypes.at(Lower(t.get<std::string>()));
    } else if (t.is_number_integer()) {
      type = t.get<int32_t>();
    } else {
      return Fail(path + " / type",
                  "unknown object type " + t.dump() + " (plane, sphere, box, null, camera or a type ID)");
    }
    if (type == kTypeLight) return Fail(path + " / type", "lights belong in \"lights\"");
    Node* node = doc->CreateObject(type, name);
    if (!node) return Fail(path, "the host could not create an object of type " + std::to_string(type));
    made.push_back({node, &e, path, {"name", "type"}});
  }

  // Lights.
  if (!arrayOf("lights", &list)) return false;
  for (size_t i = 0; list && i < list->size(); ++i) {
    const json& e = (*list)[i];
    std::string path = "lights[" + std::to_string(i) + "]";
    if (!CheckName(e, path, &name)) return false;
    path += " \"" + name + "\"";
    Node* node = doc->CreateObject(kTypeLight, name);
    if (!node) return Fail(path, "the host could not create the light");
    made.push_back({node, &e, path, {"name"}});
  }

  // Materials.
  if (!arrayOf("materials", &list)) return false;
  for (size_t i = 0; list && i < list->size(); ++i) {
    const json& e = (*list)[i];
    std::string path = "materials[" + std::to_string(i) + "]";
    if (!CheckName(e, path, &name)) return false;
    path += " \"" + name + "\"";
    Node* node = doc->CreateMaterial(name);
    if (!node) return Fail(path, "the host could not create the material");
    made.push_back({node, &e, path, {"name"}});
  }

  // Shaders: built-in by name, plug-ins by ID, registered name or description name.
  if (!arrayOf("shaders", &list)) return false;
  for (size_t i = 0; list && i < list->size(); ++i) {
    const json& e = (*list)[i];
    std::string path = "shaders[" + std::to_string(i) + "]";
    if (!CheckName(e, path, &name)) return false;
    path += " \"" + name + "\"";
    if (!e.contains("plugin"))
      return Fail(path, "missing \"plugin\" (a plug-in ID or name, or color, checkerboard, noise)");
    const json& p = e["plugin"];
    int32_t type = 0;
    if (p.is_number_integer()) {
      type = p.get<int32_t>();
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
      return Fail(path + " / plugin", "expected a plug-in ID or name, not " + std::string(p.type_name()));
    }
    bool exists = type == kShaderColor || type == kShaderCheckerboard || type == kShaderNoise ||
                  (type && doc->GetHost()->Plugins().Find(type));
    if (!exists) {
      std::string known;
      for (const PluginInfo* info : doc->GetHost()->Plugins().List())
        known += ", " + info->name + " (" + std::to_string(info->id) + ")";
      return Fail(path + " / plugin",
                  "unknown plug-in " + p.dump() + " (known: color, checkerboard, noise" + known + ")");
    }
    Node* node = doc->CreateShader(type, name);
    if (!node)
      return Fail(path, "the plug-in " + p.dump() + " could not create a shader (allocation or Init failed)");
    made.push_back({node, &e, path, {"name", "plugin", "owner"}});
  }
  return true;
}

bool Loader::ApplyFriendly(Node* node, const FriendlyParam& p, const json& v, const std::string& path) {
  Value value;
  std::string error;
  if (const auto* choicesOf = EnumOf(p.conv); choicesOf && v.is_string()) {
    auto it = choicesOf->find(Lower(v.get<std::string>()));
    if (it == choicesOf->end()) {
      std::string choices;
      for (const auto& [n, id] : *choicesOf) choices += (choices.empty() ? "" : ", ") + n;
      return Fail(path, "unknown value " + v.dump() + " (expected " + choices + " or an integer)");
    }
    value = Value::Int32(it->second);
  } else if (p.conv == Conv::Angle) {
    if (!v.is_number()) return Fail(path, "expected an angle in degrees (a number), found " + v.dump());
    value = Value::Float(v.get<double>() * kDegToRad);
  } else if (!JsonToValue(v, p.type, byName, &value, &error)) {
    return Fail(path, error);
  }
  node->Data().Set(p.id, std::move(value));
  return true;
}

bool Loader::ApplyParameters(Node* node, const json& params, const std::string& path) {
  if (!params.is_object()) return Fail(path, "expected an object of parameters");
  auto desc = DescriptionOf(node);
  for (auto it = params.begin(); it != params.end(); ++it) {
    const std::string& key = it.key();
    std::string where = path + " / " + key;
    int32_t id = 0;
    const DescriptionElement* element = nullptr;
    if (ParseInt32Key(key, &id)) {
      if (desc) element = desc->description.FindById(id);
    } else if (desc && (element = desc->description.FindBySymbol(key)) != nullptr) {
      id = element->id;
    } else {
      return Fail(where, desc ? "the description " + desc->description.name + " has no parameter " + key
                              : "unknown parameter " + key + " (use a numeric ID)");
    }
    int32_t type = 0;
    if (element) {
      if (!element->IsParameter() || element->ValueType() == 0)
        return Fail(where, key + " is a " + element->type + ", not a parameter that stores a value");
      type = element->ValueType();
    }
    const json& v = it.value();
    if (element && element->type == "BOOL" && !v.is_object() && !v.is_boolean() &&
        !(v.is_number_integer() && (v == 0 || v == 1)))
      return Fail(where, "expected true or false, found " + v.dump());
    Value value;
    std::string error;
    if (!JsonToValue(v, type, byName, &value, &error)) return Fail(where, error);
    node->Data().Set(id, std::move(value));
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
    if (!r.is_array() || r.size() != 2 || !r[0].is_number_integer() || !r[1].is_number_integer() ||
        r[0].get<int64_t>() < 1 || r[1].get<int64_t>() < 1 || r[0].get<int64_t>() > 65536 ||
        r[1].get<int64_t>() > 65536)
      return Fail("camera / resolution", "expected [width, height], integers from 1 to 65536");
    scene->width = r[0].get<int>();
    scene->height = r[1].get<int>();
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
      if (!it.value().is_number_integer() || it.value().get<int64_t>() < 1 ||
          it.value().get<int64_t>() > 4096)
        return Fail("render / samples", "expected an integer from 1 to 4096");
      scene->samples = it.value().get<int>();
    } else {
      return Fail("render / " + it.key(), "unknown key (expected background or samples)");
    }
  }
  return true;
}

bool Loader::AttachShaders(const json& root) {
  (void)root;
  // Explicit owners first.
  for (const Made& m : made) {
    if (!m.node->IsShader() || !m.entry->contains("owner")) continue;
    const json& o = (*m.entry)["owner"];
    if (o.is_null()) continue;
    if (!o.is_string()) return Fail(m.path + " / owner", "expected a node name or null");
    Node* owner = doc->FindNode(o.get<std::string>());
    if (!owner) return Fail(m.path + " / owner", "unknown node \"" + o.get<std::string>() + "\"");
    if (!owner->InsertShader(m.node))
      return Fail(m.path + " / owner", "cannot attach the shader below \"" + o.get<std::string>() +
                                           "\" (it would become its own ancestor)");
  }
  // Shaders without an owner entry go below the first material or shader that links them,
  // as shaders a user drops into a channel do.
  for (Node* holder : doc->Nodes()) {
    if (holder->Kind() == NodeKind::Object) continue;
    for (const auto& [id, v] : holder->Data().Entries()) {
      Node* target = v.GetLink();
      if (!target || !target->IsShader() || target->Parent() || target == holder) continue;
      auto it = std::find_if(made.begin(), made.end(), [&](const Made& m) { return m.node == target; });
      if (it != made.end() && it->entry->contains("owner")) continue;
      holder->InsertShader(target);  // refused for ancestors: the shader then stays free
    }
  }
  return true;
}

bool Loader::CheckCycles() {
  // Depth-first search over shader -> linked shader edges.
  std::map<const Node*, int> state;  // 0 new, 1 on the stack, 2 done
  std::vector<const Node*> stack;
  std::function<bool(const Node*)> visit = [&](const Node* n) -> bool {
    state[n] = 1;
    stack.push_back(n);
    for (const auto& [id, v] : n->Data().Entries()) {
      const Node* t = v.GetLink();
      if (!t || !t->IsShader()) continue;
      if (state[t] == 1) {
        std::string cycle;
        auto from = std::find(stack.begin(), stack.end(), t);
        for (auto s = from; s != stack.end(); ++s) cycle += "\"" + (*s)->Name() + "\" -> ";
        cycle += "\"" + t->Name() + "\"";
        auto m = std::find_if(made.begin(), made.end(), [&](const Made& x) { return x.node == n; });
        return Fail(m != made.end() ? m->path : n->Name(),
                    "sub-shader links form a cycle: " + cycle + " (a shader cannot sample itself)");
      }
      if (state[t] == 0 && !visit(t)) return false;
    }
    stack.pop_back();
    state[n] = 2;
    return true;
  };
  for (Node* n : doc->Shaders())
    if (state[n] == 0 && !visit(n)) return false;
  return true;
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

std::string SceneError::ToString() const {
  std::string s = file;
  if (line > 0) s += ":" + std::to_string(line) + ":" + std::to_string(column);
  s += ": ";
  if (!path.empty()) s += path + ": ";
  return s + message;
}

void LineColumn(const std::string& text, size_t offset, int* line, int* column) {
  *line = 1;
  *column = 1;
  for (size_t i = 0; i < offset && i < text.size(); ++i) {
    if (text[i] == '\n') {
      ++*line;
      *column = 1;
    } else {
      ++*column;
    }
  }
}

std::string NodeName(const Node* node) { return node ? node->Name() : std::string(); }

bool LoadSceneText(const std::string& text, const std::string& file, Scene* out, SceneError* error) {
  *error = SceneError{file, 0, 0, {}, {}};
  Host* host = Host::Current();
  if (!host) {
    error->message = "no host is running";
    return false;
  }
  json root;
  try {
    root = json::parse(text);
  } catch (const json::parse_error& e) {
    // nlohmann reports the byte just past the problem; point at the last byte read.
    LineColumn(text, e.byte > 0 ? e.byte - 1 : 0, &error->line, &error->column);
    std::string what = e.what();
    auto pos = what.find("parse error");
    auto colon = what.find(": ", pos == std::string::npos ? 0 : pos);
    error->message = "invalid JSON: " + (colon != std::string::npos ? what.substr(colon + 2) : what);
    return false;
  } catch (const json::exception& e) {
    // Well-formed text the reader still refuses, such as a number beyond the double range.
    std::string what = e.what();
    auto bracket = what.find("] ");
    error->message = "invalid JSON: " + (bracket != std::string::npos ? what.substr(bracket + 2) : what);
    return false;
  }
  Scene scene;
  scene.document = host->NewDocument(file);
  Loader loader(scene.document, &scene);
  bool ok = false;
  try {
    ok = loader.Load(root);
  } catch (const std::exception& e) {  // a JSON value read as the wrong type
    loader.failure.message = e.what();
  }
  if (!ok) {
    error->path = loader.failure.path;
    error->message = loader.failure.message;
    host->DeleteDocument(scene.document);
    return false;
  }
  *out = scene;
  return true;
}

bool LoadSceneFile(const std::string& path, Scene* out, SceneError* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = SceneError{path, 0, 0, {}, "cannot open the scene file: " + std::string(std::strerror(errno))};
    return false;
  }
  std::stringstream buf;
  buf << in.rdbuf();
  if (in.bad()) {
    *error = SceneError{path, 0, 0, {}, "cannot read the scene file"};
    return false;
  }
  return LoadSceneText(buf.str(), path, out, error);
}

// ---- Saving ---------------------------------------------------------------------------

namespace {

json NodeToJson(const Node* node, const NameOfNode& names) {
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
      params[element->symbol] = ValueToJson(v, element->ValueType(), element->type == "BOOL", names);
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

}  // namespace

json SceneToJson(const Scene& scene) {
  NameOfNode names = [](const Node* n) { return NodeName(n); };
  json root = json::object();
  root["version"] = 1;
  root["render"] = json{{"background", {scene.background.x, scene.background.y, scene.background.z}},
                        {"samples", scene.samples}};
  json objects = json::array(), lights = json::array(), materials = json::array(), shaders = json::array();
  std::map<int32_t, std::string> typeNames;
  for (const auto& [n, t] : kObjectTypes) typeNames[t] = n;
  for (Node* node : scene.document->Nodes()) {
    json j = NodeToJson(node, names);
    if (node == scene.camera) {
      j["resolution"] = {scene.width, scene.height};
      root["camera"] = j;
    } else if (node->IsLight()) {
      lights.push_back(j);
    } else if (node->Kind() == NodeKind::Object) {
      j["type"] = typeNames.count(node->Type()) ? json(typeNames[node->Type()]) : json(node->Type());
      objects.push_back(j);
    } else if (node->Kind() == NodeKind::Material) {
      materials.push_back(j);
    } else {
      std::string plugin;
      for (const auto& [n, t] : kBuiltinShaders)
        if (t == node->Type()) plugin = n;
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

namespace {

// Indented JSON with short arrays of numbers ([x, y, z]) kept on one line.
void Dump(const json& j, int indent, std::string* out) {
  std::string pad(size_t(indent) + 2, ' ');
  if (j.is_array()) {
    bool flat =
        j.size() <= 4 && std::all_of(j.begin(), j.end(), [](const json& e) { return e.is_primitive(); });
    if (j.empty() || flat) {
      *out += "[";
      for (size_t i = 0; i < j.size(); ++i) *out += (i ? ", " : "") + j[i].dump();
      *out += "]";
      return;
    }
    *out += "[\n";
    for (size_t i = 0; i < j.size(); ++i) {
      *out += pad;
      Dump(j[i], indent + 2, out);
      *out += i + 1 < j.size() ? ",\n" : "\n";
    }
    *out += std::string(size_t(indent), ' ') + "]";
  } else if (j.is_object() && !j.empty()) {
    // A small object of plain values (a gradient knot, a list entry) stays on one line.
    bool flat = std::all_of(j.begin(), j.end(), [](const json& e) {
      return e.is_primitive() ||
             (e.is_array() && e.size() <= 4 &&
              std::all_of(e.begin(), e.end(), [](const json& x) { return x.is_primitive(); }));
    });
    if (flat && j.dump().size() <= 120) {
      *out += "{";
      size_t i = 0;
      for (auto it = j.begin(); it != j.end(); ++it, ++i) {
        *out += (i ? ", " : "") + json(it.key()).dump() + ": ";
        Dump(it.value(), indent + 2, out);
      }
      *out += "}";
      return;
    }
    *out += "{\n";
    size_t i = 0;
    for (auto it = j.begin(); it != j.end(); ++it, ++i) {
      *out += pad + json(it.key()).dump() + ": ";
      Dump(it.value(), indent + 2, out);
      *out += i + 1 < j.size() ? ",\n" : "\n";
    }
    *out += std::string(size_t(indent), ' ') + "}";
  } else {
    *out += j.dump();
  }
}

}  // namespace

std::string SceneToText(const Scene& scene) {
  std::string text;
  Dump(SceneToJson(scene), 0, &text);
  return text + "\n";
}

bool SaveSceneFile(const Scene& scene, const std::string& path, std::string* error) {
  std::string text = SceneToText(scene);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) {
    *error = path + ": cannot write the scene file: " + std::strerror(errno);
    return false;
  }
  out << text;
  out.close();
  if (!out) {
    *error = path + ": writing the scene file failed";
    return false;
  }
  return true;
}

}  // namespace host
