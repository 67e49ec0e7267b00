// Every allocation the module asks of the host, failed in turn. One whole session runs
// once to count the module's allocation requests K (memory blocks and every host object
// made for it: texts, file names, gradients, bitmaps, render lights, the resource, values
// stored into containers); then for every n from 1 to K it runs again with only request n
// failing, and again with request n and every later one failing. Each run must end with
// every host counter back where it started, and with one of the outcomes that
// docs/bad-inputs.md lists ("Out of memory") for what it observed. The same for loading,
// rendering and saving a scene file, the host reader that makes the module allocate.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <fstream>
#include <iterator>

#include "bitmap/bitmap.h"
#include "core/console.h"
#include "core/host.h"
#include "core/lights.h"
#include "core/memory.h"
#include "core/text.h"
#include "loader/loader.h"
#include "module_fixture.h"
#include "render/renderer.h"
#include "resources/resources.h"
#include "scene/scene_file.h"
#include "scene/scene_render.h"
#include "session/host_counters.h"
#include "session/session.h"
#include "session_support.h"

namespace hardening {
namespace {

constexpr const char* kResourceLine = "Corvane: failed to load resource file.";
constexpr const char* kRegisterLine = "Failed to register the Corvane plugin.";
constexpr int32_t kIconNegative = 1057875;
constexpr int32_t kIconPositive = 1057876;

using Counters = host::HostCounters;

/// Which requests fail in a run.
struct Fault {
  enum Mode { None, Only, From } mode = None;
  int64_t n = 0;
  std::string ToString() const {
    if (mode == None) return "no failure";
    return (mode == Only ? "only request " : "requests from ") + std::to_string(n);
  }
  /// Restarts the numbering of module allocation requests with this fault.
  void Apply() const {
    host::ResetModuleAllocationFaults();
    if (mode == Only) host::FailModuleAllocation(n);
    if (mode == From) host::FailModuleAllocationsFrom(n);
  }
};

/// What a run did that no documented outcome allows; each is reported as a failure.
class Problems {
 public:
  explicit Problems(std::string run) : run_(std::move(run)) {}
  void Require(bool ok, const std::string& what) {
    if (ok) return;
    ADD_FAILURE() << run_ << ": " << what;
    any_ = true;
  }
  bool Any() const { return any_; }

 private:
  std::string run_;
  bool any_ = false;
};

/// The three lights of the session: brightness added, added, subtracted.
struct LightSpec {
  host::Vec3 color;
  int32_t flags;
};
const LightSpec kSessionLights[3] = {{{0.9, 0.6, 0.3}, 3}, {{0.5, 0.9, 1.3}, 3}, {{0.1, 0.3, 0.5}, 1}};
constexpr double kSubShaderBrightness = 0.5;

/// What one session showed.
struct Observation {
  int32_t systemStart = 0, loadResource = 0, start = 0;
  bool registered = false, described = false;
  std::string name;
  std::set<int32_t> icons;
  bool created = false;
  int32_t initRender = 0;
  bool storedGradient = false, copiedGradient = false;
  std::vector<host::Vec3> samples;  // the instance's Output values
  int64_t heldRayLights = 0;        // render lights the instance held after FreeRender
  std::vector<std::string> console;
  int64_t requests = 0;
  std::vector<std::string> journal;  // the requests, when journaling was on
  std::string leaks;                 // counters not back at their start
};

/// The grey value the shader computes from the lights of `mask` (bit i: light i).
double ExpectedGrey(unsigned mask) {
  double sum = 0;
  for (int i = 0; i < 3; ++i) {
    if (!(mask & (1u << i))) continue;
    host::Vec3 c = kSessionLights[i].color;
    if (!(kSessionLights[i].flags & kFlagPositive)) c = c * -1.0;
    sum = sum + ((c.x + c.y) + c.z) * kThird;
  }
  const double sub = ((kSubShaderBrightness + kSubShaderBrightness) + kSubShaderBrightness) * kThird;
  double v = sum * sub;
  return v < 0 ? 0 : (v > 1 ? 1 : v);
}

/// Runs the whole session of the module at modulePath with the given fault.
Observation RunSession(const std::string& modulePath, const Fault& fault) {
  Observation o;
  host::Console().Clear();
  const Counters start = Counters::Now();
  {
    host::Host host;
    fault.Apply();

    // Load, action 1, message 1, action 2
    std::string error;
    std::unique_ptr<host::Module> module = host::Module::Open(modulePath, {}, &error);
    EXPECT_NE(nullptr, module) << error;
    if (!module) return o;
    o.systemStart = module->SystemStart();
    o.loadResource = module->SendMessage(C4D_MSG_LOAD_RESOURCE);
    o.start = module->Start();
    if (const host::PluginInfo* plugin = host.Plugins().Find(kCorvane)) {
      o.registered = true;
      o.name = plugin->name;
    }
    o.described = host::Descriptions().Find(kCorvane) != nullptr;
    for (const host::IconInfo& icon : host::ListIcons()) o.icons.insert(icon.id);

    // An instance with three lights, a sub-shader and gradient output, prepared and sampled
    host::Document* doc = host.NewDocument("sweep");
    std::vector<host::Node*> lights;
    for (const LightSpec& l : kSessionLights) {
      host::Node* light = NewLight(doc, host::LIGHT_TYPE_DISTANT, l.color);
      lights.push_back(light);
    }
    host::Node* sub = doc->CreateShader(host::kShaderColor, "sub");
    sub->Data().SetFloat(host::COLORSHADER_BRIGHTNESS, kSubShaderBrightness);
    host::Node* shader = o.registered ? doc->CreateShader(kCorvane, "Corvane") : nullptr;
    o.created = shader != nullptr;
    if (shader) {
      host::InExclude list;
      for (int i = 0; i < 3; ++i) list.Append(lights[i], kSessionLights[i].flags);
      shader->Data().Set(kLights, host::Value::FromInExclude(list));
      shader->Data().SetLink(kSubShader, sub);
      shader->Data().SetInt32(kOutput, 1);
      o.storedGradient = shader->Data().GetGradient(kGradient) != nullptr;

      const int64_t lightsBefore = host::LiveRayLights();
      o.initRender = Prepare(doc, shader);
      for (int y = 0; y < 15; ++y) {
        for (int x = 0; x < 20; ++x) {
          Sample sample(x * 7.0 - 70, y * 5.0 - 35);
          o.samples.push_back(host::SampleShader(shader, &sample.cd));
        }
      }
      host::ShaderFreeRender(shader);
      o.heldRayLights = host::LiveRayLights() - lightsBefore;

      // Copy the node's container
      host::Container copy = shader->Data();
      o.copiedGradient = copy.GetGradient(kGradient) != nullptr;
    }

    // Delete the document, the final action 3, unload
    EXPECT_TRUE(host.DeleteDocument(doc));
    module->End();
    module.reset();
    o.requests = host::ModuleAllocationRequests();
    o.journal = host::ModuleAllocationJournal();
    host::ResetModuleAllocationFaults();
    o.console = host::Console().Lines();
  }
  o.leaks = start.Difference(Counters::Now());
  return o;
}

std::string Format(const host::Vec3& v) {
  char buf[96];
  std::snprintf(buf, sizeof(buf), "(%.17g, %.17g, %.17g)", v.x, v.y, v.z);
  return buf;
}

/// Checks that what a run showed is one of the outcomes the module documents; returns
/// the outcome's short description (empty, with a failure recorded, when it is not).
std::string CheckOutcome(const Observation& o, const Fault& fault) {
  Problems problems(fault.ToString());
  auto require = [&](bool ok, const std::string& what) { problems.Require(ok, what); };

  require(o.leaks.empty(), "counters not back after unloading:" + o.leaks);
  require(o.systemStart == 1, "action 1 answered " + std::to_string(o.systemStart));
  require(o.loadResource == 1 || o.loadResource == -1, "message 1 answered " + std::to_string(o.loadResource));
  require(o.start == 1 || o.start == 0, "action 2 answered " + std::to_string(o.start));

  // Console: only the module's two lines (empty when their text could not be made) and the
  // host's own lines about the resource and the description.
  bool resourceLine = false, registerLine = false, emptyLine = false;
  for (const std::string& line : o.console) {
    resourceLine |= line == kResourceLine;
    registerLine |= line == kRegisterLine;
    emptyLine |= line.empty();
    const bool hostLine = line.rfind("Cannot load resource: ", 0) == 0 || line.rfind("Cannot register description ", 0) == 0;
    require(line == kResourceLine || line == kRegisterLine || line.empty() || hostLine,
            "unexpected console line '" + line + "'");
  }
  if (o.loadResource != 1) require(resourceLine || emptyLine, "message 1 failed without its console line");
  if (o.start != 1) require(registerLine || emptyLine, "action 2 failed without its console line");

  // Registration: all or nothing, never a shader without its description or name.
  require(o.registered == (o.start == 1), "action 2's answer and the registration disagree");
  if (o.registered) {
    require(o.described, "the shader was registered without its description");
    require(o.name == "Corvane", "the shader was registered as '" + o.name + "'");
    require(o.loadResource == 1, "registered although the resource did not load");
  }
  for (int32_t id : o.icons) require(id == kIconNegative || id == kIconPositive, "unknown icon " + std::to_string(id));

  // The instance: every sample is the colour of one subset of the lights, through the
  // gradient when the node keeps one; no light at all gives white.
  std::string render;
  if (o.created) {
    require(o.initRender == C4D_INITRENDERRESULT_OK, "InitRender answered " + std::to_string(o.initRender));
    require(o.copiedGradient == o.storedGradient, "the container's copy differs in its gradient");
    unsigned match = 8;
    for (unsigned mask = 0; mask < 8 && match == 8; ++mask) {
      int count = 0;
      for (int i = 0; i < 3; ++i) count += (mask >> i) & 1;
      if (count != o.heldRayLights) continue;
      host::Vec3 want(1, 1, 1);
      if (mask != 0) {
        const double v = ExpectedGrey(mask);
        want = host::Vec3(v, v, v);
        if (o.storedGradient) {
          host::Gradient reference;
          C4DGradientKnot knot = host::DefaultKnot();
          knot.col = C4DVector{1, 0, 0};
          reference.InsertKnot(knot);
          knot.col = C4DVector{0, 0, 1};
          knot.pos = 1;
          reference.InsertKnot(knot);
          want = reference.CalcPixel(v);
        }
      }
      bool all = !o.samples.empty();
      for (const host::Vec3& s : o.samples)
        all &= std::abs(s.x - want.x) < 1e-12 && std::abs(s.y - want.y) < 1e-12 && std::abs(s.z - want.z) < 1e-12;
      if (all) match = mask;
    }
    require(match != 8, "the samples match no subset of " + std::to_string(o.heldRayLights) + " light(s)" +
                            (o.samples.empty() ? "" : ", first " + Format(o.samples.front())));
    render = "instance, lights " + std::to_string(o.heldRayLights) + "/3" +
             (o.storedGradient ? ", gradient" : ", no gradient (grey)");
  } else {
    render = o.registered ? "no instance" : "not registered";
  }
  if (fault.mode == Fault::None) {
    require(o.registered && o.created && o.heldRayLights == 3 && o.storedGradient && o.icons.size() == 2,
            "the run without failures did not do everything");
  }

  if (problems.Any()) return "";
  std::ostringstream out;
  out << (o.loadResource == 1 ? "resource" : "no resource") << ", " << o.icons.size() << " icon(s), " << render;
  return out.str();
}

/// Runs the session in the sandbox's folder, so that no `res` folder of the working folder
/// can stand in for the module's.
class AllocationSweepTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host::Console().SetEcho(false);
    sandbox = std::make_unique<host::test::ModuleSandbox>(CORVANE_MODULE_PATH, CORVANE_RES_DIR);
    workingFolder = std::filesystem::current_path();
    std::filesystem::current_path(sandbox->Folder().Path());
  }
  void TearDown() override {
    std::filesystem::current_path(workingFolder);
    host::Console().SetEcho(true);
  }

  std::unique_ptr<host::test::ModuleSandbox> sandbox;
  std::filesystem::path workingFolder;
};

/// Runs runAndCheck (which answers the run's documented outcome, or "" when there is none)
/// for every request n from 1 to k: once with only n failing, once with n and every later
/// one failing. Prints k, the number of runs, the time since begin and how many runs ended
/// in each outcome.
template <typename RunAndCheck>
void Sweep(const char* name, int64_t k, std::chrono::steady_clock::time_point begin,
           const RunAndCheck& runAndCheck) {
  std::map<std::string, int> outcomes;
  int runs = 0;
  for (int64_t n = 1; n <= k; ++n) {
    for (Fault::Mode mode : {Fault::Only, Fault::From}) {
      ++outcomes[runAndCheck(Fault{mode, n})];
      ++runs;
    }
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  std::printf("%s: K = %lld module allocation requests, %d runs with failures, %.1f s\n", name,
              static_cast<long long>(k), runs, seconds);
  for (const auto& [outcome, count] : outcomes)
    std::printf("  %4d x %s\n", count, outcome.empty() ? "(not a documented outcome)" : outcome.c_str());
}

/// "3 x memory block, 12 x string, ..." for the journal's kinds of request.
std::string CountKinds(const std::vector<std::string>& journal) {
  std::map<std::string, int> kinds;
  for (const std::string& entry : journal) ++kinds[entry.substr(0, entry.find(" \""))];
  std::string out;
  for (const auto& [kind, count] : kinds) out += (out.empty() ? "" : ", ") + std::to_string(count) + " x " + kind;
  return out;
}

TEST_F(AllocationSweepTest, EveryModuleAllocationFailsInTurnWithoutCrashOrLeak) {
  const auto begin = std::chrono::steady_clock::now();
  host::JournalModuleAllocations(true);
  const Observation clean = RunSession(sandbox->ModuleFile(), Fault{});
  host::JournalModuleAllocations(false);
  ASSERT_FALSE(CheckOutcome(clean, Fault{}).empty());
  const int64_t k = clean.requests;
  ASSERT_GT(k, 0);
  EXPECT_EQ(clean.requests, RunSession(sandbox->ModuleFile(), Fault{}).requests) << "the session is repeatable";
  Sweep("allocation sweep", k, begin,
        [&](const Fault& fault) { return CheckOutcome(RunSession(sandbox->ModuleFile(), fault), fault); });
  std::printf("  the %lld requests: %s\n", static_cast<long long>(k), CountKinds(clean.journal).c_str());
}

/// What loading, rendering and saving the default example scene showed.
struct SceneObservation {
  bool loaded = false;
  host::SceneError error;
  bool rendered = false, finite = true;
  std::string saved;
  int64_t requests = 0;
  std::string leaks;
};

SceneObservation RunScene(const std::string& plugins, const std::string& text, const Fault& fault) {
  SceneObservation o;
  host::Console().Clear();
  const Counters start = Counters::Now();
  {
    host::Session host;
    host.LoadPluginsFolder(plugins);
    EXPECT_NE(nullptr, host.Plugins().Find(kCorvane));
    fault.Apply();

    host::Scene scene;
    o.loaded = host::LoadSceneText(host, text, "default.json", &scene, &o.error);
    if (o.loaded) {
      host::RenderSetup setup;
      host::BuildRenderSetup(scene, 24, 14, &setup);
      host::RenderOptions options;
      options.threads = 1;
      host::RenderImage image;
      std::string message;
      o.rendered = host::Render(setup, options, &image, nullptr, &message);
      for (const host::Vec3& p : image.Pixels()) o.finite &= std::isfinite(p.x + p.y + p.z);
      o.saved = host::SceneToText(scene);
      EXPECT_TRUE(host.DeleteDocument(scene.document));
    }
    o.requests = host::ModuleAllocationRequests();
    host::ResetModuleAllocationFaults();
  }  // documents, the module's final action 3, the host
  o.leaks = start.Difference(Counters::Now());
  return o;
}

/// The documented outcomes of a scene run: loaded, rendered and saved, or refused because
/// the plug-in could not create the shader (a failure while working, not bad input).
std::string CheckSceneOutcome(const SceneObservation& o, const Fault& fault) {
  Problems problems("scene, " + fault.ToString());
  auto require = [&](bool ok, const std::string& what) { problems.Require(ok, what); };
  require(o.leaks.empty(), "counters not back after unloading:" + o.leaks);
  std::string outcome;
  if (o.loaded) {
    require(o.rendered, "the loaded scene did not render");
    require(o.finite, "the image holds values that are not numbers");
    require(o.saved.find("XCORVANE_GRADIENT") != std::string::npos, "the saved scene lost the gradient");
    outcome = "loaded, rendered, saved";
  } else {
    require(o.error.whileWorking, "refused as bad input: " + o.error.ToString());
    require(o.error.path == "shaders[0] \"Light Mask\"" &&
                o.error.message.find("could not create a shader") != std::string::npos,
            "refused for another reason: " + o.error.ToString());
    outcome = "refused: " + o.error.message;
  }
  if (fault.mode == Fault::None) require(o.loaded, "the run without failures did not load");
  return problems.Any() ? "" : outcome;
}

TEST_F(AllocationSweepTest, LoadingRenderingAndSavingASceneSurviveEveryModuleAllocationFailing) {
  std::ifstream in(CORVANE_EXAMPLES_DIR "/default.json");
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(text.empty());
  const std::string plugins = sandbox->Folder().Join("plugins");

  const auto begin = std::chrono::steady_clock::now();
  const SceneObservation clean = RunScene(plugins, text, Fault{});
  ASSERT_FALSE(CheckSceneOutcome(clean, Fault{}).empty());
  ASSERT_GT(clean.requests, 0);
  Sweep("scene sweep", clean.requests, begin,
        [&](const Fault& fault) { return CheckSceneOutcome(RunScene(plugins, text, fault), fault); });
}

}  // namespace
}  // namespace hardening
