// Latency of the look-development page's preview: a 320 x 180 image at one sample per
// pixel of examples/default.json, rendered on one thread and encoded as PNG. Measured end
// to end (HTTP request on 127.0.0.1 to the last byte of the answer) and without the web
// server (the request handler alone), plus the material swatch; an edit followed by its
// preview, for a light's intensity (POST /api/node) beside a shader parameter (POST
// /api/param), in the same run. Then the scene's state
// (GET /api/scene) of scenes with 250 to 1000 plug-in shaders, and a request answered
// while 16 clients each send one byte a second.
//
//   corvane_serve_bench [--benchmark_repetitions=5] [--benchmark_filter=Scene]
#include <benchmark/benchmark.h>
#include <httplib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <thread>

#include "core/console.h"
#include "serve/lookdev.h"
#include "serve/server.h"
#include "serve_load.h"

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

/// A Lookdev on a scene of n plug-in shaders (written to a temporary folder), per n.
Lookdev* ManyShaders(int n, std::string* error) {
  static std::map<int, std::unique_ptr<Lookdev>> made;
  auto& lookdev = made[n];
  if (lookdev) return lookdev.get();
  World& w = TheWorld();
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("corvane-serve-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  const std::filesystem::path file = folder / ("shaders-" + std::to_string(n) + ".json");
  std::ofstream(file) << bench::ManyShadersScene(n);
  auto opened = std::make_unique<Lookdev>(w.session, folder.string());
  const bool ok = opened->Open(file.string(), error);
  std::filesystem::remove_all(folder);
  if (!ok) return nullptr;
  lookdev = std::move(opened);
  return lookdev.get();
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

// One edit and the preview it shows, on one connection: the edit alternates between two
// values so that every iteration changes the scene, and the scene is left as loaded.
void EditThenPreview(benchmark::State& state, const char* path, const std::string& first, const std::string& second) {
  World& w = TheWorld();
  if (!w.error.empty()) return state.SkipWithError(w.error.c_str());
  httplib::Client client("127.0.0.1", w.server->Port());
  client.set_keep_alive(true);
  // As a browser does: without it the body waits on the header's delayed acknowledgement
  // (Nagle), some 40 ms that no page would see.
  client.set_tcp_nodelay(true);
  bool flip = false;
  for (auto _ : state) {
    flip = !flip;
    auto edit = client.Post(path, flip ? second : first, "application/json");
    if (!edit || edit->status != 200) return state.SkipWithError(edit ? edit->body.c_str() : "the edit request failed");
    auto res = client.Get("/api/preview.png?w=320&h=180&spp=1");
    if (!res || res->status != 200) return state.SkipWithError("the preview request failed");
    benchmark::DoNotOptimize(res->body.data());
  }
  if (flip) client.Post(path, first, "application/json");
}

void BM_LightEditThenPreview320x180(benchmark::State& state) {
  EditThenPreview(state, "/api/node", R"({"node": "Warm Key", "key": "brightness", "value": 1.1})",
                  R"({"node": "Warm Key", "key": "brightness", "value": 1.4})");
}
BENCHMARK(BM_LightEditThenPreview320x180)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);

void BM_ShaderEditThenPreview320x180(benchmark::State& state) {
  EditThenPreview(state, "/api/param", R"({"shader": "Light Mask", "param": "XCORVANE_INVERT", "value": false})",
                  R"({"shader": "Light Mask", "param": "XCORVANE_INVERT", "value": true})");
}
BENCHMARK(BM_ShaderEditThenPreview320x180)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);

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

// GET /api/scene without the web server: every shader's values and enabling.
void BM_SceneState(benchmark::State& state) {
  World& w = TheWorld();
  if (!w.error.empty()) return state.SkipWithError(w.error.c_str());
  std::string error;
  Lookdev* lookdev = ManyShaders(int(state.range(0)), &error);
  if (!lookdev) return state.SkipWithError(error.c_str());
  for (auto _ : state) {
    Reply reply = lookdev->SceneState();
    if (reply.status != 200) return state.SkipWithError(reply.body.c_str());
    benchmark::DoNotOptimize(reply.body.data());
  }
  state.counters["shaders"] = double(state.range(0));
}
BENCHMARK(BM_SceneState)->Arg(250)->Arg(500)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();

// A small request (GET /api/scene of examples/default.json) on a fresh connection while 16
// clients each send one byte a second: they are cut off at their deadline and come back,
// so some are always holding a connection.
void BM_RequestBeside16SlowClients(benchmark::State& state) {
  World& w = TheWorld();
  if (!w.error.empty()) return state.SkipWithError(w.error.c_str());
  bench::SlowClients slow(w.server->Port(), 16);
  std::this_thread::sleep_for(std::chrono::seconds(2));  // every slow client connected and sending
  for (auto _ : state) {
    httplib::Client client("127.0.0.1", w.server->Port());
    client.set_read_timeout(10, 0);
    auto res = client.Get("/api/scene");
    if (!res || res->status != 200) return state.SkipWithError("the request failed beside slow clients");
  }
  state.counters["disconnected"] = slow.Disconnects();
}
BENCHMARK(BM_RequestBeside16SlowClients)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(8);

}  // namespace
}  // namespace host

BENCHMARK_MAIN();
