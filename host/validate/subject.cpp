#include "validate/subject.h"

#include <charconv>
#include <cmath>
#include <nlohmann/json.hpp>

#include "core/fault_boundary.h"
#include "core/scene.h"
#include "render/camera.h"
#include "scene/scene_render.h"
#include "validate/call_journal.h"

namespace host {

using nlohmann::json;

std::vector<const DescriptionElement*> ShaderPlugin::Parameters() const {
  std::vector<const DescriptionElement*> out;
  if (!description) return out;
  for (const DescriptionElement& e : description->description.elements)
    if (e.IsParameter() && e.id >= 0) out.push_back(&e);
  return out;
}

std::string ShaderPlugin::Name() const { return "plug-in " + std::to_string(id) + " (" + name + ")"; }

std::string TakeFaultText() {
  ModuleFault fault;
  return TakeModuleFault(&fault) ? fault.ToString() : std::string();
}

std::string FormatNumber(double v) {
  char text[32];
  const auto r = std::to_chars(text, text + sizeof text, v);
  return std::string(text, r.ptr);
}

std::string FormatColor(const Vec3& v) {
  return "(" + FormatNumber(v.x) + ", " + FormatNumber(v.y) + ", " + FormatNumber(v.z) + ")";
}

Subject::Subject(std::string modulePath, int strictness, uint64_t seed,
                 std::function<void(const std::string&)> progress)
    : path_(std::move(modulePath)), strictness_(strictness), rng_(seed), progress_(std::move(progress)) {}

Subject::~Subject() { Unload(); }

std::string Subject::TakeFault() {
  std::string fault = TakeFaultText();
  if (seenFault_.empty()) seenFault_ = fault;
  return fault;
}

std::string Subject::TakeSeenFault() {
  std::string fault = TakeFault();
  fault = seenFault_;
  seenFault_.clear();
  return fault;
}

void Subject::Progress(const std::string& what) const {
  if (progress_) progress_(what);
}

bool Subject::Load(std::string* why, const std::function<void()>& beforeModule) {
  Unload();
  session_ = std::make_unique<Session>();
  if (beforeModule) beforeModule();
  ModuleOptions options;
  // The module sees the host's own record with counters in front of its parameter and
  // list reads.
  options.hostInterface = JournalingInterface();
  std::string error;
  module_ = session_->LoadModule(path_, options, &error);
  const std::string fault = TakeFault();
  if (!module_) {
    *why = !fault.empty() ? fault : error;
    return false;
  }
  if (!fault.empty()) {
    *why = fault;
    return false;
  }
  const LifecycleCodes& codes = module_->Codes();
  if (codes.systemStart != 1 || codes.start != 1) {
    *why = "its start failed: action 1 -> " + std::to_string(codes.systemStart) + ", message 1 -> " +
           std::to_string(codes.loadResource) + ", action 2 -> " + std::to_string(codes.start);
    return false;
  }
  return true;
}

void Subject::Unload() {
  module_ = nullptr;
  session_.reset();
}

std::vector<ShaderPlugin> Subject::Shaders() const {
  std::vector<ShaderPlugin> out;
  if (!session_ || !module_) return out;
  for (const PluginInfo* p : session_->Plugins().List()) {
    if (p->owner != &module_->State() || p->type != C4D_PLUGINTYPE_SHADER) continue;
    out.push_back(ShaderPlugin{p->id, p->name, Descriptions().Find(p->id)});
  }
  return out;
}

std::vector<RefusedRegistration> Subject::Refusals() const {
  std::vector<RefusedRegistration> out;
  if (!session_ || !module_) return out;
  for (const RefusedRegistration& r : session_->Plugins().Refusals())
    if (r.owner == &module_->State()) out.push_back(r);
  return out;
}

namespace {

/// Flags for entry i of an in/exclude parameter: the described initial state for even
/// entries, only the first flag for odd ones (a plug-in may read it as "subtract").
int32_t ListFlags(const DescriptionElement& e, int i) {
  if (i % 2 == 0 || !e.numFlags || *e.numFlags < 1) return e.initState.value_or(1);
  return 1;
}

}  // namespace

bool Subject::BuildScene(const ShaderPlugin& plugin, int width, int height, int lights, int instances,
                         TestScene* out, std::string* why) {
  json scene;
  scene["camera"] = {{"position", {0, 0, 0}}, {"direction", {0, 0, 1}}, {"fov", 40}, {"resolution", {width, height}}};
  scene["render"] = {{"samples", 1}};
  json objects = json::array(), materials = json::array(), shaders = json::array(), lightList = json::array();
  for (int i = 0; i < lights; ++i) {
    // Lights spread in front of the surfaces, with colours between 0.2 and 1.2.
    const double a = 2.399963 * i, r = 2 + 0.5 * (i % 5);
    lightList.push_back({{"name", "Light " + std::to_string(i)},
                         {"type", "omni"},
                         {"position", {r * std::cos(a), r * std::sin(a), 4 + (i % 3)}},
                         {"color", {0.2 + 0.1 * (i % 11), 0.2 + 0.07 * (i % 13), 1.2 - 0.09 * (i % 7)}},
                         {"brightness", 1}});
  }
  const int columns = instances <= 1 ? 1 : int(std::ceil(std::sqrt(double(instances))));
  for (int k = 0; k < instances; ++k) {
    const std::string name = "Subject " + std::to_string(k), material = "Material " + std::to_string(k);
    json parameters = json::object();
    for (const DescriptionElement* e : plugin.Parameters()) {
      if (e->type != ElementType::InExclude) continue;
      json entries = json::array();
      for (int i = 0; i < lights; ++i)
        entries.push_back({{"object", "Light " + std::to_string(i)}, {"flags", ListFlags(*e, i)}});
      parameters[e->symbol.empty() ? std::to_string(e->id) : e->symbol] = entries;
    }
    shaders.push_back({{"name", name}, {"plugin", plugin.id}, {"parameters", parameters}});
    materials.push_back({{"name", material}, {"shader", name}});
    if (instances <= 1) {
      objects.push_back({{"name", "Wall"}, {"type", "plane"}, {"position", {0, 0, 10}}, {"direction", {0, 0, -1}},
                         {"material", material}});
    } else {
      // A grid of spheres across the view, one instance each.
      const double step = 7.0 / columns;
      const double x = (k % columns - (columns - 1) / 2.0) * step, y = (k / columns - (columns - 1) / 2.0) * step;
      objects.push_back({{"name", "Ball " + std::to_string(k)}, {"type", "sphere"}, {"position", {x, y, 10}},
                         {"radius", step * 0.45}, {"material", material}});
    }
  }
  scene["objects"] = objects;
  scene["lights"] = lightList;
  scene["materials"] = materials;
  scene["shaders"] = shaders;

  SceneError error;
  if (!LoadSceneText(*session_, scene.dump(), "test scene", &out->scene, &error)) {
    const std::string fault = TakeFault();
    *why = fault.empty() ? "the test scene did not load: " + error.ToString() : fault;
    return false;
  }
  out->shaders.clear();
  out->lights.clear();
  for (int k = 0; k < instances; ++k) out->shaders.push_back(out->scene.document->FindNode("Subject " + std::to_string(k)));
  for (int i = 0; i < lights; ++i) out->lights.push_back(out->scene.document->FindNode("Light " + std::to_string(i)));
  return true;
}

bool Subject::SampleScene(const TestScene& scene, Samples* out, std::string* why,
                          const std::function<void(bool)>& phase) {
  RenderSetup setup;
  BuildRenderSetup(scene.scene, 0, 0, &setup);
  const PinholeCamera& camera = setup.camera;
  out->width = camera.Width();
  out->height = camera.Height();
  out->pixels.assign(size_t(out->width) * size_t(out->height), Vec3());
  out->nonFinite = 0;

  C4DInitRenderStruct irs{};
  irs.doc = setup.document;
  irs.threadCount = 1;
  size_t asked = 0;
  std::string refusal;
  out->refused = !PrepareShaders(setup, irs, &asked, &refusal);
  if (!out->refused) {
    if (phase) phase(true);
    int64_t shaderSamples = 0;
    for (int y = 0; y < out->height; ++y)
      for (int x = 0; x < out->width; ++x)
        out->pixels[size_t(y) * size_t(out->width) + size_t(x)] =
            TraceCameraRay(setup, camera.GenerateRay(x + 0.5, y + 0.5), 0, &shaderSamples, &out->nonFinite);
    if (phase) phase(false);
  }
  ReleaseShaders(setup, asked);
  const std::string fault = TakeFault();
  if (!fault.empty()) {
    *why = fault;
    return false;
  }
  if (out->refused) {
    *why = refusal;
    return false;
  }
  return true;
}

bool Subject::RenderScene(const TestScene& scene, int threads, RenderImage* out, std::string* why) {
  RenderSetup setup;
  BuildRenderSetup(scene.scene, 0, 0, &setup);
  RenderOptions options;
  options.threads = threads;
  RenderStats stats;
  std::string error;
  const bool rendered = Render(setup, options, out, &stats, &error);
  const std::string fault = TakeFault();
  if (!fault.empty()) {
    *why = fault;
    return false;
  }
  if (!rendered) {
    *why = error;
    return false;
  }
  return true;
}

}  // namespace host
