#include "serve/lookdev.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <numbers>

#include "bitmap/bitmap.h"
#include "core/customdata.h"
#include "render/image.h"
#include "render/renderer.h"
#include "resources/resources.h"
#include "scene/json_values.h"
#include "scene/scene_render.h"
#include "scene/scene_schema.h"
#include "serve/plugin_notes.h"
#include "session/session_info.h"

namespace host {

using nlohmann::json;
namespace fs = std::filesystem;

namespace {

Reply JsonReply(const json& j, int status = 200) {
  Reply r;
  r.status = status;
  r.body = j.dump();
  return r;
}

Reply Refuse(int status, const std::string& message) { return JsonReply(json{{"error", message}}, status); }

Reply PngReply(std::string png) {
  if (png.empty()) return Refuse(500, "the image could not be encoded as PNG");
  Reply r;
  r.contentType = "image/png";
  r.body = std::move(png);
  return r;
}

/// Parses a request body that must be a JSON object.
bool ParseBody(const std::string& body, json* out, Reply* refusal) {
  if (body.size() > kMaxRequestBytes) {
    *refusal =
        Refuse(413, "the request is too large (at most " + std::to_string(kMaxRequestBytes) + " bytes)");
    return false;
  }
  // Deeply nested input is refused before parsing: printing or copying it recurses once per level.
  if (FindJsonNestingBeyond(body, kMaxRequestNesting) != std::string_view::npos) {
    *refusal = Refuse(
        400, "the request nests arrays and objects more than " + std::to_string(kMaxRequestNesting) + " deep");
    return false;
  }
  try {
    *out = json::parse(body);
  } catch (const json::exception& e) {
    std::string what = e.what();
    auto bracket = what.find("] ");
    *refusal = Refuse(400, "the request is not valid JSON: " +
                               (bracket != std::string::npos ? what.substr(bracket + 2) : what));
    return false;
  }
  if (!out->is_object()) {
    *refusal = Refuse(400, "the request must be a JSON object");
    return false;
  }
  return true;
}

/// body[key] as a non-empty string.
bool TextField(const json& body, const char* key, std::string* out, Reply* refusal) {
  auto it = body.find(key);
  if (it == body.end() || !it->is_string() || it->get<std::string>().empty()) {
    *refusal = Refuse(400, std::string("the request needs \"") + key + "\" (a non-empty text)");
    return false;
  }
  *out = it->get<std::string>();
  return true;
}

/// An integer query parameter in [lo, hi]; def when absent (a def outside the range is
/// refused as well: the scene's own settings are no way around the limits).
bool QueryInt(const Query& query, const char* name, int lo, int hi, int def, int* out, Reply* refusal) {
  auto it = query.find(name);
  const std::string s = it != query.end() ? it->second : std::to_string(def);
  int32_t v = 0;
  if (!ReadInt32Text(s, &v) || v < lo || v > hi) {
    *refusal = Refuse(400, std::string(name) + " must be an integer from " + std::to_string(lo) + " to " +
                               std::to_string(hi) + ", not \"" + s + "\"" +
                               (it == query.end() ? " (the scene's own setting)" : ""));
    return false;
  }
  *out = int(v);
  return true;
}

/// Refuses an image of more than kMaxPreviewSamples camera samples.
bool WithinPreviewLimits(int w, int h, int spp, Reply* refusal) {
  if (int64_t(w) * h * spp <= kMaxPreviewSamples) return true;
  *refusal = Refuse(400, std::to_string(w) + " x " + std::to_string(h) + " pixels at " + std::to_string(spp) +
                             " samples would take " + std::to_string(int64_t(w) * h * spp) +
                             " camera samples; a preview takes at most " + std::to_string(kMaxPreviewSamples) +
                             " (and at most " + std::to_string(kMaxPreviewSide) +
                             " pixels a side): ask for fewer pixels or samples");
  return false;
}

/// Whether the element's ACCEPT block names light objects only.
bool AcceptsLightsOnly(const DescriptionElement& e) {
  const DescriptionFlag* accept = e.Flag("ACCEPT");
  if (!accept) return false;
  return std::find(accept->args.begin(), accept->args.end(), "Olight") != accept->args.end();
}

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

/// Whether path (absolute, resolved) is folder or lies below it.
bool Inside(const fs::path& path, const fs::path& folder) {
  if (path.empty()) return false;
  const fs::path rel = path.lexically_relative(folder);
  return !rel.empty() && *rel.begin() != ".." && !rel.is_absolute();
}

std::shared_ptr<const RegisteredDescription> DescriptionOfShader(const Node* node) {
  return node && node->IsShader() ? scenefile::DescriptionOf(node) : nullptr;
}

/// Checks a value the page sends for what only the page is refused (the explicit form, which
/// a scene file may use to keep any value) and what only the document can tell: the kind of
/// nodes a link or list may name. Applying the value then checks it against its description
/// (type, range, choices, flags) as scene files are.
bool CheckDescribedValue(const DescriptionElement& e, const json& v, const Node* self, Reply* refusal) {
  const std::string& key = e.symbol;
  auto fail = [&](const std::string& message) {
    *refusal = Refuse(400, key + ": " + message);
    return false;
  };
  const Document* doc = self->GetDocument();
  if (IsExplicitValue(v)) return fail("expected a plain value, found the stored form " + v.dump());
  if (e.type == ElementType::Real) {
    if (!v.is_number()) return fail("expected a number, found " + v.dump());
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

Lookdev::Lookdev(Session& session, std::string folder, LookdevOptions options)
    : session_(session), folder_(std::move(folder)), options_(options) {
  std::error_code ec;
  fs::path canonical = fs::weakly_canonical(folder_, ec);
  if (!ec) folder_ = canonical.string();
}

Lookdev::~Lookdev() { DropScene(); }

void Lookdev::MarkSaved() {
  sceneText_ = SceneToText(scene_);
  savedText_ = sceneText_;
}

void Lookdev::DropScene() {
  if (scene_.document) session_.DeleteDocument(scene_.document);
  scene_ = Scene{};
}

bool Lookdev::Open(const std::string& path, std::string* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  fs::path p(path);
  if (p.is_relative()) p = fs::path(folder_) / p;
  Scene loaded;
  SceneError sceneError;
  if (!LoadSceneFile(p.string(), &loaded, &sceneError)) {
    *error = sceneError.ToString();
    return false;
  }
  DropScene();
  scene_ = loaded;
  std::error_code ec;
  const fs::path resolved = fs::weakly_canonical(p, ec);
  sceneFile_ = Relative(ec ? p.string() : resolved.string());
  MarkSaved();
  return true;
}

LookdevSnapshot Lookdev::Snapshot() {
  std::lock_guard<std::mutex> lock(mutex_);
  return {sceneText_, sceneFile_, savedText_};
}

bool Lookdev::Restore(const LookdevSnapshot& snapshot, std::string* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::string& file = snapshot.file;
  const fs::path p = fs::path(file).is_relative() ? fs::path(folder_) / file : fs::path(file);
  Scene loaded;
  SceneError sceneError;
  if (!LoadSceneText(snapshot.text, p.string(), &loaded, &sceneError)) {
    *error = sceneError.ToString();
    return false;
  }
  DropScene();
  scene_ = loaded;
  sceneFile_ = file;
  sceneText_ = snapshot.text;
  savedText_ = snapshot.savedText.empty() ? snapshot.text : snapshot.savedText;
  return true;
}

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
      if (const PluginNotes* notes = NotesForPlugin(p.id)) entry["notes"] = NotesJson(*notes);
    }
    plugins.push_back(entry);
  }
  json icons = json::array();
  for (const IconInfo& icon : report.icons)
    icons.push_back({{"id", icon.id},
                     {"width", icon.w},
                     {"height", icon.h},
                     {"file", fs::path(icon.file).filename().string()}});
  return JsonReply({{"plugins", plugins}, {"icons", icons}});
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
  if (scene_.document) {
    for (Node* n : scene_.document->Objects()) {
      if (!n->IsLight()) continue;
      lights.push_back(n->Name());
      if (!n->IsEnabled()) lightsOff[n->Name()] = "switched off in the scene: it lights nothing, so the shader adds nothing for it";
    }
    for (Node* n : scene_.document->Shaders()) {
      shaders.push_back(n->Name());
      if (DescriptionOfShader(n)) editable.push_back(ShaderState(n));
    }
  }
  // Moved in, not listed in an initialiser: that would copy every shader's state.
  json scene = {{"file", sceneFile_}, {"width", scene_.width}, {"height", scene_.height}, {"samples", scene_.samples}};
  scene["lights"] = std::move(lights);
  scene["lightsOff"] = std::move(lightsOff);
  scene["changed"] = sceneText_ != savedText_;
  scene["shaders"] = std::move(shaders);
  scene["editable"] = std::move(editable);
  return scene;
}

Reply Lookdev::SceneState() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!scene_.document) return Refuse(409, "no scene is loaded");
  return JsonReply(SceneJson());
}

Reply Lookdev::SetParamLocked(const std::string& shaderName, const std::string& key, const json& value) {
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
                          value, &error))
    return Refuse(400, key + ": " + error);
  std::string cycle = FindShaderCycle(*scene_.document);
  if (!cycle.empty()) {
    shader->Data().Set(element->id, old);  // a None value removes the entry again
    return Refuse(400, key + ": sub-shader links would form a cycle: " + cycle);
  }
  // Serialised once per edit: the worker's snapshot takes this text, and every edit tells
  // whether it differs from the saved one, so the page needs no second request.
  sceneText_ = SceneToText(scene_);
  json state = ShaderState(shader);
  state["sceneChanged"] = sceneText_ != savedText_;
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
  return SetParamLocked(shaderName, list->symbol, entries);
}

Reply Lookdev::Preview(const Query& query) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!scene_.document) return Refuse(409, "no scene is loaded");
  int w = 0, h = 0, spp = 0;
  Reply refusal;
  if (!QueryInt(query, "w", 1, kMaxPreviewSide, scene_.width, &w, &refusal) ||
      !QueryInt(query, "h", 1, kMaxPreviewSide, scene_.height, &h, &refusal) ||
      !QueryInt(query, "spp", 1, 256, scene_.samples, &spp, &refusal))
    return refusal;
  if (!WithinPreviewLimits(w, h, spp, &refusal)) return refusal;
  auto which = query.find("scene");
  if (which == query.end() || which->second == "current") return RenderPng(scene_, w, h, spp);
  if (which->second != "saved")
    return Refuse(400, "scene must be \"current\" or \"saved\", not \"" + which->second.substr(0, 40) + "\"");
  // The scene as last loaded or saved, read again from its saved form: what a render of
  // that file gives.
  Scene saved;
  SceneError error;
  if (!LoadSceneText(savedText_, sceneFile_, &saved, &error))
    return Refuse(500, "the saved scene could not be read again: " + error.ToString());
  Reply reply = RenderPng(saved, w, h, spp);
  session_.DeleteDocument(saved.document);
  return reply;
}

Reply Lookdev::Swatch(const Query& query) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!scene_.document) return Refuse(409, "no scene is loaded");
  int size = 0, spp = 0;
  Reply refusal;
  if (!QueryInt(query, "size", 16, 512, 160, &size, &refusal) ||
      !QueryInt(query, "spp", 1, 16, 4, &spp, &refusal) || !WithinPreviewLimits(size, size, spp, &refusal))
    return refusal;
  Node* shader = nullptr;
  auto named = query.find("shader");
  if (named != query.end()) {
    shader = scene_.document->FindNode(named->second, NodeKind::Shader);
    if (!DescriptionOfShader(shader))
      return Refuse(400, "there is no shader \"" + named->second + "\" to preview");
  } else {
    for (Node* n : scene_.document->Shaders())
      if (!shader && DescriptionOfShader(n)) shader = n;
    if (!shader) return Refuse(400, "the scene has no plug-in shader to preview");
  }
  // The material preview: the shader's own values on a sphere lit by a key and a fill
  // light. Links and lists name nodes of the scene, which the preview scene does not have:
  // every stored one stays behind, described or stored under an ID the description does
  // not know, and the described light lists hold the two preview lights (adding).
  const Description& description = DescriptionOfShader(shader)->description;
  json params = NodeToJson(shader).value("parameters", json::object());
  for (const auto& [id, value] : shader->Data().Entries()) {
    if (value.GetKind() != Value::Kind::Link && value.GetKind() != Value::Kind::InExclude) continue;
    params.erase(std::to_string(id));
    if (const DescriptionElement* e = description.FindById(id)) params.erase(e->symbol);
  }
  for (const DescriptionElement& e : description.elements)
    if (e.type == ElementType::InExclude)
      params[e.symbol] = json::array({{{"object", "Key"}, {"flags", 3}}, {{"object", "Fill"}, {"flags", 3}}});
  json swatch = {
      {"camera",
       {{"position", {0, 0, -420}}, {"target", {0, 0, 0}}, {"fov", 32}, {"resolution", {size, size}}}},
      {"render", {{"background", {0.16, 0.16, 0.17}}, {"samples", spp}}},
      {"objects", {{{"name", "Sphere"}, {"type", "sphere"}, {"radius", 100}, {"material", "Preview"}}}},
      {"lights",
       {{{"name", "Key"},
         {"type", "omni"},
         {"position", {-260, 240, -300}},
         {"falloff", "linear"},
         {"radius", 620}},
        {{"name", "Fill"},
         {"type", "omni"},
         {"position", {300, -120, -160}},
         {"color", {0.55, 0.65, 0.8}},
         {"falloff", "linear"},
         {"radius", 520}}}},
      {"materials", {{{"name", "Preview"}, {"shader", "Shader"}}}},
      {"shaders", {{{"name", "Shader"}, {"plugin", shader->Plugin()->id}, {"parameters", params}}}}};
  Scene preview;
  SceneError error;
  if (!LoadSceneText(swatch.dump(), "material preview", &preview, &error))
    return Refuse(500, "the material preview could not be built: " + error.ToString());
  Reply reply = RenderPng(preview, 0, 0, spp);
  session_.DeleteDocument(preview.document);
  return reply;
}

Reply Lookdev::RenderPng(const Scene& scene, int width, int height, int samples) {
  RenderSetup setup;
  BuildRenderSetup(scene, width, height, &setup);
  RenderOptions options;
  options.threads = options_.renderThreads;
  options.samples = samples;
  RenderImage image;
  RenderStats stats;
  std::string error;
  if (!Render(setup, options, &image, &stats, &error)) return Refuse(500, error);
  Reply reply = PngReply(EncodePng(image));
  reply.headers["X-Render-Seconds"] = std::to_string(stats.seconds);
  return reply;
}

Reply Lookdev::Icon(const std::string& idText) {
  int32_t id = 0;
  if (!scenefile::ParseInt32Key(idText, &id))
    return Refuse(400, "an icon ID is an integer, not \"" + idText + "\"");
  Image pixels;
  if (!IconPixels(id, &pixels) || pixels.Empty()) return Refuse(404, "no icon is registered under " + idText);
  Reply reply = PngReply(EncodePng(pixels.width, pixels.height, 4, pixels.rgba.data()));
  reply.headers["Cache-Control"] = "max-age=3600";
  return reply;
}

Reply Lookdev::Files() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> names;
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator(folder_, ec)) {
    if (!e.is_regular_file(ec) || e.path().extension() != ".json") continue;
    // A symbolic link counts where it leads: inside the folder, or not at all.
    if (e.is_symlink(ec) && !Inside(fs::canonical(e.path(), ec), folder_)) continue;
    names.push_back(e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return JsonReply({{"files", names}});
}

std::string Lookdev::Relative(const std::string& path) const {
  fs::path rel = fs::path(path).lexically_relative(folder_);
  return Inside(path, folder_) ? rel.generic_string() : fs::path(path).filename().string();
}

bool Lookdev::ResolvePath(const json& body, bool mustExist, std::string* path, Reply* refusal) const {
  std::string given;
  if (!TextField(body, "path", &given, refusal)) return false;
  fs::path p(given);
  const std::string shown = given.size() > 80 ? given.substr(0, 60) + "..." : given;
  if (given.find('\0') != std::string::npos || p.is_absolute() || p.has_root_name()) {
    *refusal = Refuse(400, "give the file as a path relative to the served folder");
    return false;
  }
  if (p.extension() != ".json") {
    *refusal = Refuse(400, shown + ": scene files end in .json");
    return false;
  }
  // Names and paths the system cannot hold are refused as such, before they are resolved.
  const long nameMax = ::pathconf(folder_.c_str(), _PC_NAME_MAX);
  const long pathMax = ::pathconf(folder_.c_str(), _PC_PATH_MAX);
  for (const fs::path& part : p) {
    if (nameMax > 0 && long(part.native().size()) > nameMax) {
      *refusal = Refuse(400, shown + ": name too long (a file or folder name holds at most " +
                                 std::to_string(nameMax) + " bytes here)");
      return false;
    }
  }
  if (given.size() > 1024 || (pathMax > 0 && long(folder_.size() + 1 + given.size()) >= pathMax)) {
    *refusal = Refuse(400, shown + ": path too long (at most 1024 bytes, and " + std::to_string(pathMax) +
                               " with the served folder's own path)");
    return false;
  }
  std::error_code ec;
  fs::path full = fs::weakly_canonical(fs::path(folder_) / p, ec);
  if (ec || !Inside(full, folder_)) {
    *refusal = Refuse(403, shown + ": outside the served folder");
    return false;
  }
  if (mustExist && !fs::is_regular_file(full, ec)) {
    *refusal = Refuse(404, shown + ": no such scene file in the served folder");
    return false;
  }
  if (!mustExist && !fs::is_directory(full.parent_path(), ec)) {
    *refusal = Refuse(400, shown + ": the folder does not exist");
    return false;
  }
  *path = full.string();
  return true;
}

Reply Lookdev::Save(const std::string& body) {
  std::lock_guard<std::mutex> lock(mutex_);
  json request;
  Reply refusal;
  std::string path;
  if (!ParseBody(body, &request, &refusal) || !ResolvePath(request, false, &path, &refusal)) return refusal;
  if (!scene_.document) return Refuse(409, "no scene is loaded");
  std::string error;
  if (!SaveSceneFile(scene_, path, &error)) {
    // "<path>: cannot write ...", told with the path the page gave.
    if (error.rfind(path, 0) == 0) error = Relative(path) + error.substr(path.size());
    return Refuse(500, error);
  }
  MarkSaved();
  sceneFile_ = Relative(path);
  return JsonReply({{"saved", sceneFile_}});
}

Reply Lookdev::Load(const std::string& body) {
  std::lock_guard<std::mutex> lock(mutex_);
  json request;
  Reply refusal;
  std::string path;
  if (!ParseBody(body, &request, &refusal) || !ResolvePath(request, true, &path, &refusal)) return refusal;
  Scene loaded;
  SceneError error;
  if (!LoadSceneFile(path, &loaded, &error)) {
    error.file = Relative(path);
    return Refuse(400, error.ToString());
  }
  DropScene();
  scene_ = loaded;
  sceneFile_ = Relative(path);
  MarkSaved();
  return JsonReply(SceneJson());
}

}  // namespace host
