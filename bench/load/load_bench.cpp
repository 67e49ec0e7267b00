// load_bench - how long the host takes from opening the module file to a registered shader.
//
// Open/Close:          the platform loader alone (dlopen + dlclose of the module file): the floor.
// Module/Open:         the host's checks: open, g_maxon, unit records, memory suite.
// LoadToRegistered:    LoadModule (action 1, message 1 with the resource and description
//                      files, action 2 with icons and registration) and the final action 3.
// The table at the end gives each as a ratio to the floor.
// SceneChain/N:        loading a scene of N shaders, each linking the next (the loader walks
//                      the links for cycles and builds the shader tree): linear in N, and
//                      the fitted line (BigO, RMS) says how closely.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "core/console.h"
#include "corvane_ids.h"
#include "loader/loader.h"
#include "scene/scene_file.h"
#include "session/session.h"

namespace {

using corvanetest::kCorvane;

void BM_OpenClose(benchmark::State& state) {
  for (auto _ : state) {
    std::string error;
    auto lib = host::OpenNativeLibrary(CORVANE_PLUGIN_MODULE, &error);
    if (!lib) state.SkipWithError(error.c_str());
    benchmark::DoNotOptimize(lib.get());
  }
}

void BM_ModuleOpen(benchmark::State& state) {
  host::Host host;
  for (auto _ : state) {
    std::string error;
    auto module = host::Module::Open(CORVANE_PLUGIN_MODULE, {}, &error);
    if (!module) state.SkipWithError(error.c_str());
  }
}

void BM_LoadToRegistered(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    auto host = std::make_unique<host::Session>();
    state.ResumeTiming();
    host::Module* module = host->LoadModule(CORVANE_PLUGIN_MODULE);
    if (!module || host->Plugins().Find(kCorvane) == nullptr) state.SkipWithError("shader not registered");
    host->UnloadModules();  // final action 3 and close: a session's full module life
    state.PauseTiming();
    host.reset();
    host::Console().Clear();
    state.ResumeTiming();
  }
}

/// The text of a scene of n noise shaders, each linking the next, the first in a material.
std::string ShaderChain(int n) {
  std::string text = R"({"materials": [{"name": "M", "shader": "S0"}], "shaders": [)";
  for (int i = 0; i + 1 < n; ++i)
    text += R"({"name": "S)" + std::to_string(i) + R"(", "plugin": "noise", "parameters": {"1": {"link": "S)" +
            std::to_string(i + 1) + "\"}}},\n";
  return text + R"({"name": "S)" + std::to_string(n - 1) + R"(", "plugin": "color"}]})";
}

void BM_SceneChain(benchmark::State& state) {
  const int n = int(state.range(0));
  const std::string text = ShaderChain(n);
  host::Session session;
  for (auto _ : state) {
    host::Scene scene;
    host::SceneError error;
    if (!host::LoadSceneText(session, text, "chain.json", &scene, &error)) {
      state.SkipWithError(error.ToString().c_str());
      break;
    }
    state.PauseTiming();
    session.DeleteDocument(scene.document);
    state.ResumeTiming();
  }
  state.SetComplexityN(n);
}

BENCHMARK(BM_OpenClose)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ModuleOpen)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LoadToRegistered)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SceneChain)->Arg(12500)->Arg(25000)->Arg(50000)->Arg(100000)->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

/// Keeps the mean time of each benchmark for the table.
class TableReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && !run.error_occurred)
        times[run.run_name.function_name] = run.GetAdjustedRealTime();
    }
  }
  std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
  host::Console().SetEcho(false);
  benchmark::Initialize(&argc, argv);
  TableReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double floor = reporter.times["BM_OpenClose"];
  if (floor > 0) {
    std::printf("\n%-22s %12s %8s\n", "step", "us", "ratio");
    for (const char* name : {"BM_OpenClose", "BM_ModuleOpen", "BM_LoadToRegistered"})
      std::printf("%-22s %12.1f %8.2f\n", name + 3, reporter.times[name], reporter.times[name] / floor);
  }
  benchmark::Shutdown();
  return 0;
}
