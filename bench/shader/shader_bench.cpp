// shader_bench - what one shading sample of the Corvane shader costs, next to its floor.
//
// Output/<lights>/<variant> calls the shader's Output through the plug-in record directly.
// Sample/<lights>/<variant> samples the shader the way the renderer does, through the
// host's shader dispatch (cycle guard and the call boundary around module code). Floor/<lights>/<variant> makes, itself, the host calls that Output cannot
// avoid: one IlluminateSurfacePoint per collected light, plus one sub-shader sample and
// one gradient lookup where the variant uses them. The table printed at the end gives the
// ratio Output/Floor and the module allocations per sample.
//
// Prepare/<entries> measures InitRender + FreeRender over a light list of that many
// entries; the "per entry" column should stay flat as the list grows.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/console.h"
#include "core/customdata.h"
#include "core/ids.h"
#include "core/lights.h"
#include "core/memory.h"
#include "core/shaders.h"
#include "interface/host_interface.h"
#include "corvane_ids.h"
#include "session/session.h"

namespace {

using namespace corvanetest;  // the plug-in's IDs

enum Variant { kGrey = 0, kGradientOut = 1, kSub = 2, kGradientSub = 3 };
const char* const kVariantNames[] = {"grey", "gradient", "sub", "gradient+sub"};

/// The host with the module loaded, shared by all benchmarks of the run.
host::Session& GetSession() {
  static host::Session session;
  static const bool loaded = [] {
    host::Console().SetEcho(false);
    if (!session.LoadModule(CORVANE_PLUGIN_MODULE) || !session.Plugins().Find(kCorvane)) {
      std::fprintf(stderr, "shader_bench: cannot load %s\n", CORVANE_PLUGIN_MODULE);
      std::exit(1);
    }
    return true;
  }();
  (void)loaded;
  return session;
}

/// A surface point at the origin facing +Z, lit from above.
struct SamplePoint {
  SamplePoint() {
    vd.p = {0, 0, 0};
    vd.n = vd.bumpn = vd.orign = {0, 0, 1};
    eyeRay.p = {0, 0, 50};
    eyeRay.v = {0, 0, -1};
    vd.ray = &eyeRay;
    cd.vd = &vd;
  }
  SamplePoint(const SamplePoint&) = delete;  // vd and cd point into the sample
  SamplePoint& operator=(const SamplePoint&) = delete;
  C4DRay eyeRay{};
  C4DVolumeData vd{};
  C4DChannelData cd{};
};

/// A prepared Corvane shader with n collected omni lights, and the same lights as
/// render lights for the floor.
struct Setup {
  Setup(int lights, int variant) {
    doc = GetSession().NewDocument("bench");
    shader = doc->CreateShader(kCorvane, "corvane");
    host::InExclude list;
    for (int i = 0; i < lights; ++i) {
      host::Node* light = doc->CreateObject(host::kTypeLight, "light");
      light->Data().SetVector(host::LIGHT_COLOR, {0.2 + 0.01 * i, 0.3, 0.4});
      light->Data().SetVector(host::OBJECT_POSITION, {10.0 * i - 50, 20, 100});
      light->Data().SetInt32(host::LIGHT_FALLOFF, host::LIGHT_FALLOFF_INVERSESQUARE);
      list.Append(light, i % 3 == 2 ? 1 : 3);
      floorLights.push_back(host::AllocRayLight(doc, light));
    }
    shader->Data().Set(kLights, host::Value::FromInExclude(list));
    const bool gradient = variant == kGradientOut || variant == kGradientSub;
    const bool sub = variant == kSub || variant == kGradientSub;
    shader->Data().SetInt32(kOutput, gradient ? 1 : 0);
    if (sub) {
      subShader = doc->CreateShader(host::kShaderColor, "sub");
      subShader->Data().SetVector(host::COLORSHADER_COLOR, {0.5, 0.6, 0.7});
      shader->Data().SetLink(kSubShader, subShader);
    }
    if (gradient) floorGradient = shader->Data().GetGradient(kGradient);
    const C4DInitRenderStruct irs{host::ToHandle(doc), 0, 1, 0};
    host::ShaderInitRender(shader, &irs);
    record = &shader->Plugin()->record;
  }
  ~Setup() {
    host::ShaderFreeRender(shader);
    for (host::RayLight* light : floorLights) host::FreeRayLight(light);
    GetSession().DeleteDocument(doc);
  }

  host::Document* doc = nullptr;
  host::Node* shader = nullptr;
  host::Node* subShader = nullptr;
  const C4DShaderPluginRecord* record = nullptr;
  std::vector<host::RayLight*> floorLights;
  const host::Gradient* floorGradient = nullptr;
};

void BM_Output(benchmark::State& state) {
  Setup setup(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  SamplePoint sample;
  C4DNodeData* instance = setup.shader->Instance();
  C4DNode* node = host::ToHandle(setup.shader);
  const int64_t allocations = host::GetMemoryStats().totalAllocations;
  C4DVector out{};
  for (auto _ : state) {
    setup.record->Output(instance, node, &sample.cd, &out);
    benchmark::DoNotOptimize(out);
  }
  state.counters["allocs/sample"] = benchmark::Counter(
      static_cast<double>(host::GetMemoryStats().totalAllocations - allocations), benchmark::Counter::kAvgIterations);
  state.SetLabel(kVariantNames[state.range(1)]);
}

void BM_Sample(benchmark::State& state) {
  Setup setup(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  SamplePoint sample;
  for (auto _ : state) {
    host::Vec3 out = host::SampleShader(setup.shader, &sample.cd);
    benchmark::DoNotOptimize(out);
  }
  state.SetLabel(kVariantNames[state.range(1)]);
}

void BM_Floor(benchmark::State& state) {
  Setup setup(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  SamplePoint sample;
  const C4DHostInterface* api = host::Interface();
  const C4DVolumeData& vd = sample.vd;
  const C4DGradient* gradient = setup.floorGradient ? host::ToHandle(const_cast<host::Gradient*>(setup.floorGradient))
                                                     : nullptr;
  C4DNode* sub = setup.subShader ? host::ToHandle(setup.subShader) : nullptr;
  C4DVector col{}, lv{}, subColour{}, out{};
  for (auto _ : state) {
    if (sub) api->render->SampleShader(sub, &sample.cd, &subColour);
    for (host::RayLight* light : setup.floorLights) {
      api->render->IlluminateSurfacePoint(&vd, host::ToHandle(light), &col, &lv, &vd.p, &vd.bumpn, &vd.orign,
                                          &vd.orign, &vd.ray->v, C4D_ILLUMINATEFLAGS_NONE, &vd.lhit,
                                          C4D_RAYBIT_NONE, false, nullptr);
      benchmark::DoNotOptimize(col);
    }
    if (gradient) api->customData->GradientCalcPixel(gradient, 0.5, &out);
    benchmark::DoNotOptimize(out);
    benchmark::DoNotOptimize(subColour);
  }
  state.SetLabel(kVariantNames[state.range(1)]);
}

void BM_Prepare(benchmark::State& state) {
  const int entries = static_cast<int>(state.range(0));
  host::Document* doc = GetSession().NewDocument("prepare");
  host::Node* shader = doc->CreateShader(kCorvane, "corvane");
  host::InExclude list;
  for (int i = 0; i < entries; ++i) {
    host::Node* light = doc->CreateObject(host::kTypeLight, "light");
    light->Data().SetVector(host::OBJECT_POSITION, {0, 0, 100.0 + i});
    list.Append(light, 3);
  }
  shader->Data().Set(kLights, host::Value::FromInExclude(list));
  const C4DInitRenderStruct irs{host::ToHandle(doc), 0, 1, 0};
  for (auto _ : state) {
    host::ShaderInitRender(shader, &irs);
    host::ShaderFreeRender(shader);
  }
  state.counters["per entry"] =
      benchmark::Counter(static_cast<double>(entries), benchmark::Counter::kIsIterationInvariantRate |
                                                           benchmark::Counter::kInvert);
  host::ShaderFreeRender(shader);
  GetSession().DeleteDocument(doc);
}

void OutputArgs(benchmark::internal::Benchmark* b) {
  for (int variant : {kGrey, kGradientOut, kSub, kGradientSub})
    for (int lights : {0, 1, 4, 16}) b->Args({lights, variant});
}

BENCHMARK(BM_Output)->Apply(OutputArgs);
BENCHMARK(BM_Sample)->Apply(OutputArgs);
BENCHMARK(BM_Floor)->Apply(OutputArgs);
BENCHMARK(BM_Prepare)->Arg(10)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);

/// The console report plus, at the end, the ratio table of Output against its floor.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      const std::string name = run.benchmark_name();
      const double ns = run.GetAdjustedCPUTime();
      if (name.rfind("BM_Output/", 0) == 0) {
        output[name.substr(10)] = ns;
        auto it = run.counters.find("allocs/sample");
        allocs[name.substr(10)] = it != run.counters.end() ? static_cast<double>(it->second) : 0.0;
      } else if (name.rfind("BM_Floor/", 0) == 0) {
        floor[name.substr(9)] = ns;
      }
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    if (output.empty()) return;
    std::printf("\n%-8s %-14s %12s %12s %8s %14s\n", "lights", "variant", "Output ns", "floor ns", "ratio",
                "allocs/sample");
    for (int variant : {kGrey, kGradientOut, kSub, kGradientSub}) {
      for (int lights : {0, 1, 4, 16}) {
        const std::string key = std::to_string(lights) + "/" + std::to_string(variant);
        if (!output.count(key) || !floor.count(key)) continue;
        const double ratio = floor[key] > 0 ? output[key] / floor[key] : 0.0;
        std::printf("%-8d %-14s %12.2f %12.2f %8.3f %14.1f\n", lights, kVariantNames[variant], output[key],
                    floor[key], ratio, allocs[key]);
      }
    }
  }

 private:
  std::map<std::string, double> output, floor, allocs;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
