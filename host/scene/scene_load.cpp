// scene_load.cpp - reading scene files: JSON text into a new document of the current host.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <set>
#include <sstream>
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
#include "scene/scene_schema.h"

namespace host {

using nlohmann::json;
using namespace scenefile;

namespace {

// ApplyParameterJson with the lookup that resolves the names of links.
bool ApplyParameter(Node* node, const std::string& key, const json& v, const NodeByName& byName,
                    std::string* error);

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

// Shader attachment planned on a model of the node tree, then done deepest child first:
// Node::InsertShader walks the new parent's ancestors to refuse cycles, so attaching the
// shaders of a long chain from the top down would take time quadratic in its length. The
// model answers "would this make a cycle" from the root of each tree (union-find), and the
// document sees the same attachments, in an order where each walk is one step.
class AttachmentPlan {
 public:
  explicit AttachmentPlan(const std::vector<Node*>& nodes) : nodes_(nodes) {
    const size_t n = nodes_.size();
    parent_.assign(n, kNone);
    set_.resize(n);
    top_.resize(n);
    for (size_t i = 0; i < n; ++i) {
      index_[nodes_[i]] = i;
      set_[i] = top_[i] = i;
    }
    for (size_t i = 0; i < n; ++i)
      if (Node* p = nodes_[i]->Parent()) Join(Index(p), i);
  }

  bool HasParent(const Node* n) const { return parent_[Index(n)] != kNone; }

  /// Plans shader below parent, as parent->InsertShader(shader) would do it now: false if
  /// shader already has a parent, is parent or is one of its ancestors.
  bool Attach(Node* parent, Node* shader) {
    const size_t p = Index(parent), c = Index(shader);
    if (p == c || parent_[c] != kNone) return false;
    if (top_[Find(p)] == c) return false;  // c is the root of parent's tree: its ancestor
    Join(p, c);
    planned_.emplace_back(p, c);
    return true;
  }

  /// Attaches the planned shaders in the document, deepest first (siblings keep their
  /// order); false if the document refused one.
  bool Apply() {
    std::vector<size_t> depth(nodes_.size(), kNone);
    std::vector<size_t> path;  // nodes whose depth follows from the first known one above
    for (size_t i = 0; i < nodes_.size(); ++i) {
      path.clear();
      size_t at = i;
      while (depth[at] == kNone && parent_[at] != kNone) {
        path.push_back(at);
        at = parent_[at];
      }
      if (depth[at] == kNone) depth[at] = 0;
      for (auto it = path.rbegin(); it != path.rend(); ++it) depth[*it] = depth[parent_[*it]] + 1;
    }
    std::stable_sort(planned_.begin(), planned_.end(),
                     [&](const auto& a, const auto& b) { return depth[a.second] > depth[b.second]; });
    for (const auto& [p, c] : planned_)
      if (!nodes_[p]->InsertShader(nodes_[c])) return false;
    return true;
  }

 private:
  static constexpr size_t kNone = static_cast<size_t>(-1);
  size_t Index(const Node* n) const { return index_.at(n); }
  size_t Find(size_t i) {
    while (set_[i] != i) i = set_[i] = set_[set_[i]];
    return i;
  }
  // Records c (the root of its tree) below p: c's tree joins p's, whose root stays on top.
  void Join(size_t p, size_t c) {
    parent_[c] = p;
    const size_t into = Find(p);
    set_[Find(c)] = into;
  }

  std::vector<Node*> nodes_;
  std::unordered_map<const Node*, size_t> index_;
  std::vector<size_t> parent_;  // the modelled tree
  std::vector<size_t> set_;     // union-find over trees
  std::vector<size_t> top_;     // root of the tree of each set representative
  std::vector<std::pair<size_t, size_t>> planned_;
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
  if (const auto* choices = EnumOf(p.conv)) {
    int32_t choice = 0;
    if (!ReadChoice(*choices, v, &choice, &error)) return Fail(path, error);
    value = Value::Int32(choice);
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

}  // namespace

bool ApplyParameterJson(Node* node, const std::string& key, const json& v, std::string* error) {
  Document* doc = node->GetDocument();
  NodeByName byName = [doc](const std::string& n) -> const Node* { return doc ? doc->FindNode(n) : nullptr; };
  return ApplyParameter(node, key, v, byName, error);
}

std::string FindShaderCycle(const Document& doc, const Node** at) {
  // Depth-first search over shader -> linked shader edges, on an explicit stack: a chain of
  // links can be as long as the document.
  enum class Mark : uint8_t { New, OnStack, Done };
  std::unordered_map<const Node*, Mark> marks;
  struct Visit {
    const Node* node;
    std::vector<const Node*> targets;  // the shaders it links, in parameter order
    size_t next = 0;
  };
  std::vector<Visit> stack;
  auto enter = [&](const Node* n) {
    marks[n] = Mark::OnStack;
    Visit visit{n, {}};
    for (const auto& [id, v] : n->Data().Entries())
      if (const Node* t = v.GetLink(); t && t->IsShader()) visit.targets.push_back(t);
    stack.push_back(std::move(visit));
  };
  for (const Node* start : doc.Shaders()) {
    if (marks[start] != Mark::New) continue;
    enter(start);
    while (!stack.empty()) {
      Visit& top = stack.back();
      if (top.next == top.targets.size()) {
        marks[top.node] = Mark::Done;
        stack.pop_back();
        continue;
      }
      const Node* t = top.targets[top.next++];
      const Mark mark = marks[t];
      if (mark == Mark::OnStack) {
        std::string cycle;
        auto from = std::find_if(stack.begin(), stack.end(), [&](const Visit& x) { return x.node == t; });
        for (auto s = from; s != stack.end(); ++s) cycle += "\"" + s->node->Name() + "\" -> ";
        if (at) *at = top.node;
        return cycle + "\"" + t->Name() + "\"";
      }
      if (mark == Mark::New) enter(t);  // `top` is not used after this
    }
  }
  return {};
}

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

bool LoadSceneText(const std::string& text, const std::string& file, Scene* out, SceneError* error) {
  *error = SceneError{file, 0, 0, {}, {}};
  Host* host = Host::Current();
  if (!host) {
    error->message = "no host is running";
    return false;
  }
  // Nesting is checked before parsing: printing and comparing JSON values recurse per level.
  if (size_t at = FindJsonNestingBeyond(text, kMaxJsonNesting); at != std::string_view::npos) {
    LineColumn(text, at, &error->line, &error->column);
    error->message = "arrays and objects nest deeper than " + std::to_string(kMaxJsonNesting) + " levels";
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
    host->DeleteDocument(scene.document);
    return false;
  }
  *out = scene;
  return true;
}

bool LoadSceneFile(const std::string& path, Scene* out, SceneError* error) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    *error = SceneError{path, 0, 0, {}, "is a folder, not a scene file"};
    return false;
  }
  std::string text;
  switch (ReadWholeFile(path, &text)) {
    case FileRead::Ok:
      return LoadSceneText(text, path, out, error);
    case FileRead::CannotOpen:
      *error = SceneError{path, 0, 0, {}, "cannot open the scene file: " + std::string(std::strerror(errno))};
      return false;
    default:
      *error = SceneError{path, 0, 0, {}, "cannot read the scene file"};
      return false;
  }
}

}  // namespace host
