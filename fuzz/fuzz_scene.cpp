// Scene files (JSON) with the plug-in loaded: every input either loads (then it is saved,
// rendered at 8 x 8 with one thread and deleted) or fails with a message. Sub-shader link
// cycles, odd light values and long light lists come from the seeds.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "render/renderer.h"
#include "scene/scene_file.h"
#include "scene/scene_render.h"

namespace {

fuzz::Session& Loaded() {
  static fuzz::Session* session = [] {
    auto* s = new fuzz::Session;
    s->Open();
    if (!s->module->RunLifecycle()) std::abort();
    return s;
  }();
  return *session;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Session& session = Loaded();
  std::string text(reinterpret_cast<const char*>(data), size);
  host::Scene scene;
  host::SceneError error;
  if (!host::LoadSceneText(*session.host, text, "fuzz.json", &scene, &error)) {
    if (error.message.empty()) __builtin_trap();  // a failure must say why
    if (!session.host->Documents().empty()) __builtin_trap();  // the half-built document is gone
    return 0;
  }
  (void)host::SceneToText(scene);

  host::RenderSetup setup;
  host::BuildRenderSetup(scene, 8, 8, &setup);
  host::RenderOptions options;
  options.threads = 1;
  options.samples = 1;
  options.tileSize = 8;
  host::RenderImage image;
  host::RenderStats stats;
  std::string message;
  (void)host::Render(setup, options, &image, &stats, &message);

  session.host->DeleteDocument(scene.document);
  host::Console().Clear();
  return 0;
}
