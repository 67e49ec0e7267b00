// Latency of the look-development page's preview: a 320 x 180 image at one sample per
// pixel of examples/default.json, rendered on one thread and encoded as PNG. Measured end
// to end (HTTP request on 127.0.0.1 to the last byte of the answer) and without the web
// server (the request handler alone), plus the material swatch.
//
//   corvane_serve_bench [--benchmark_repetitions=5]
#include <benchmark/benchmark.h>
#include <httplib.h>

#include <memory>
#include <thread>

#include "core/console.h"
#include "serve/lookdev.h"
#include "serve/server.h"

namespace host {
namespace {

// One session, scene and server for the whole run.
struct World {
  Session session;
  std::unique_ptr<Lookdev> lookdev;
  std::unique_ptr<LookdevServer> server;
  std::thread serving;
  std::string error;

  World() {
    Console().SetEcho(false);
    session.LoadPluginsFolder(CORVANE_PLUGINS_DIR);
    LookdevOptions options;
    options.renderThreads = 1;
    lookdev = std::make_unique<Lookdev>(session, ".", options);
    if (!lookdev->Open(CORVANE_DEFAULT_SCENE, &error)) return;
    server = std::make_unique<LookdevServer>(*lookdev);
    if (!server->Bind(0, &error)) return;
    serving = std::thread([this] { server->Run(); });
  }
  ~World() {
    if (server) server->Stop();
    if (serving.joinable()) serving.join();
    server.reset();
    lookdev.reset();
  }
};

World& TheWorld() {
  static World world;
  return world;
}

void BM_PreviewRequest320x180(benchmark::State& state) {
  World& w = TheWorld();
  if (!w.error.empty()) return state.SkipWithError(w.error.c_str());
  httplib::Client client("127.0.0.1", w.server->Port());
  client.set_keep_alive(true);
  for (auto _ : state) {
    auto res = client.Get("/api/preview.png?w=320&h=180&spp=1");
    if (!res || res->status != 200) return state.SkipWithError("the preview request failed");
    benchmark::DoNotOptimize(res->body.data());
  }
}
BENCHMARK(BM_PreviewRequest320x180)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);

void BM_PreviewHandler320x180(benchmark::State& state) {
  World& w = TheWorld();
  if (!w.error.empty()) return state.SkipWithError(w.error.c_str());
  const Query query = {{"w", "320"}, {"h", "180"}, {"spp", "1"}};
  for (auto _ : state) {
    Reply reply = w.lookdev->Preview(query);
    if (reply.status != 200) return state.SkipWithError(reply.body.c_str());
    benchmark::DoNotOptimize(reply.body.data());
  }
}
BENCHMARK(BM_PreviewHandler320x180)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);

void BM_CoarsePreviewRequest80x45(benchmark::State& state) {
  World& w = TheWorld();
  if (!w.error.empty()) return state.SkipWithError(w.error.c_str());
  httplib::Client client("127.0.0.1", w.server->Port());
  client.set_keep_alive(true);
  for (auto _ : state) {
    auto res = client.Get("/api/preview.png?w=80&h=45&spp=1");
    if (!res || res->status != 200) return state.SkipWithError("the preview request failed");
  }
}
BENCHMARK(BM_CoarsePreviewRequest80x45)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SwatchRequest(benchmark::State& state) {
  World& w = TheWorld();
  if (!w.error.empty()) return state.SkipWithError(w.error.c_str());
  httplib::Client client("127.0.0.1", w.server->Port());
  client.set_keep_alive(true);
  for (auto _ : state) {
    auto res = client.Get("/api/swatch.png");
    if (!res || res->status != 200) return state.SkipWithError("the swatch request failed");
  }
}
BENCHMARK(BM_SwatchRequest)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace host

BENCHMARK_MAIN();
