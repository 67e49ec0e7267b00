// Render throughput (channel shader samples per second) of the default example scene at 1
// and 2 threads, and the ratio between them.
//
//   corvane_render_bench [--benchmark_min_time=2]
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>

#include "core/console.h"
#include "render/renderer.h"
#include "scene/scene_file.h"
#include "scene/scene_render.h"
#include "session/session.h"

namespace host {
namespace {

// One host, the module and the default scene for the whole run.
struct World {
  Session host;
  Scene scene;
  RenderSetup setup;
  bool ok = false;
  std::string error;

  World() {
    Console().SetEcho(false);
    host.LoadPluginsFolder(CORVANE_PLUGINS_DIR);
    SceneError e;
    if (!LoadSceneFile(host, CORVANE_DEFAULT_SCENE, &scene, &e)) {
      error = e.ToString();
      return;
    }
    BuildRenderSetup(scene, 320, 180, &setup);
    ok = true;
  }
};

World& TheWorld() {
  static World world;
  return world;
}

std::map<int, double> gRates;  // threads -> shader samples per second

void BM_RenderDefaultScene(benchmark::State& state) {
  World& w = TheWorld();
  if (!w.ok) {
    state.SkipWithError(w.error.c_str());
    return;
  }
  RenderOptions options;
  options.threads = int(state.range(0));
  options.samples = 1;
  RenderImage image;
  int64_t samples = 0;
  double seconds = 0;
  for (auto _ : state) {
    RenderStats stats;
    std::string message;
    if (!Render(w.setup, options, &image, &stats, &message)) {
      state.SkipWithError(message.c_str());
      return;
    }
    samples += stats.shaderSamples;
    seconds += stats.seconds;
  }
  state.counters["samples/s"] = benchmark::Counter(double(samples), benchmark::Counter::kIsRate);
  if (seconds > 0) gRates[options.threads] = double(samples) / seconds;
}
BENCHMARK(BM_RenderDefaultScene)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace host

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  auto& rates = host::gRates;
  if (rates.count(1) && rates.count(2))
    std::printf("samples/s: 1 thread %.0f, 2 threads %.0f, ratio 2/1 = %.2f\n", rates[1], rates[2],
                rates[2] / rates[1]);
  return 0;
}
