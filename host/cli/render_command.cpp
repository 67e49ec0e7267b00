// render_command.cpp - `corvane-host render` (a scene file to an image, with a progress bar
// on a terminal) and `corvane-host save` (a scene file written back, normalised).
#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#include <cstdio>
#include <mutex>
#include <new>
#include <string>

#include "cli/commands.h"
#include "core/fault_boundary.h"
#include "render/image.h"
#include "render/renderer.h"
#include "scene/scene_file.h"
#include "scene/scene_render.h"
#include "session/session.h"

namespace host::cli {
namespace {

/// "1.5 GiB", "300.0 MiB": a byte count for messages.
std::string Bytes(uint64_t n) {
  char text[32];
  if (n >= (uint64_t(1) << 30))
    std::snprintf(text, sizeof text, "%.1f GiB", double(n) / double(uint64_t(1) << 30));
  else
    std::snprintf(text, sizeof text, "%.1f MiB", double(n) / double(1 << 20));
  return text;
}

/// A progress bar on stderr, drawn only when stderr is a terminal.
class ProgressBar {
 public:
#if defined(_WIN32)
  ProgressBar() : enabled(_isatty(_fileno(stderr)) != 0) {}
#else
  ProgressBar() : enabled(isatty(STDERR_FILENO) != 0) {}
#endif
  void Update(int done, int total) {
    if (!enabled) return;
    std::lock_guard<std::mutex> lock(mutex);
    int percent = total > 0 ? done * 100 / total : 100;
    if (percent == last) return;
    last = percent;
    const int width = 40;
    int fill = percent * width / 100;
    std::fprintf(stderr, "\rrendering [%s%s] %3d%%", std::string(size_t(fill), '#').c_str(),
                 std::string(size_t(width - fill), '.').c_str(), percent);
    if (done == total) std::fprintf(stderr, "\n");
    std::fflush(stderr);
  }

 private:
  bool enabled;
  std::mutex mutex;
  int last = -1;
};

/// Loads the scene file after the plug-ins: -1 when it loaded, else the exit code (the
/// message printed).
int LoadScene(Session& session, const std::string& path, Scene* scene) {
  SceneError error;
  const bool loaded = LoadSceneFile(session, path, scene, &error);
  if (ReportModuleFault()) return kExitFailure;
  if (!loaded) {
    std::fprintf(stderr, "corvane-host: %s\n", error.ToString().c_str());
    return error.whileWorking ? kExitFailure : kExitBadInput;
  }
  return -1;
}

}  // namespace

int RunRender(const RenderArgs& args) {
  if (!IsSupportedImagePath(args.output)) {
    std::fprintf(stderr, "corvane-host: %s: unknown image type (%s)\n", args.output.c_str(),
                 kWritesExr ? "use .exr or .png" : "use .png; this build writes no .exr");
    return kExitBadInput;
  }
  if (!OutputPathUsable(args.output)) return kExitBadInput;
  // Module code that never returns ends the command instead of hanging it.
  Watchdog watchdog(args.timeout, "render");
  Session session;
  if (!LoadPlugins(session, args.plugins)) return kExitBadInput;
  Scene scene;
  if (const int exitCode = LoadScene(session, args.scene, &scene); exitCode >= 0) return exitCode;
  RenderSetup setup;
  BuildRenderSetup(scene, args.width, args.height, &setup);
  // An image this process cannot hold is refused before any shader is prepared.
  const int width = setup.camera.Width(), height = setup.camera.Height();
  const uint64_t needed = RenderMemoryNeeded(width, height, args.output), usable = UsableMemory();
  auto tooLarge = [&](const std::string& why) {
    std::fprintf(stderr, "corvane-host: %s: an image of %d x %d pixels needs about %s of memory: %s\n",
                 args.output.c_str(), width, height, Bytes(needed).c_str(), why.c_str());
    return kExitBadInput;
  };
  if (needed > usable) return tooLarge("more than the " + Bytes(usable) + " this system allows");
  RenderOptions options;
  options.threads = args.threads;
  options.samples = args.samples > 0 ? args.samples : scene.samples;
  ProgressBar bar;
  options.progress = [&bar](int done, int total) { bar.Update(done, total); };

  RenderImage image;
  RenderStats stats;
  std::string message;
  try {
    const bool rendered = Render(setup, options, &image, &stats, &message);
    if (ReportModuleFault()) return kExitFailure;
    if (!rendered) {
      std::fprintf(stderr, "corvane-host: %s: %s\n", args.scene.c_str(), message.c_str());
      // A shader that cannot prepare is a failure while working, not bad input.
      return stats.preparationFailed ? kExitFailure : kExitBadInput;
    }
    if (stats.nonFinite > 0)
      std::fprintf(stderr,
                   "corvane-host: warning: %lld shader samples were NaN, infinite or too large for the image "
                   "and were replaced by 0 (first from %s)\n",
                   static_cast<long long>(stats.nonFinite), stats.nonFiniteShader.c_str());
    if (!WriteImage(image, args.output, &message)) {
      std::fprintf(stderr, "corvane-host: %s\n", message.c_str());
      return kExitFailure;
    }
  } catch (const std::bad_alloc&) {
    return tooLarge("the system ran out of memory");
  }
  if (args.timing) std::printf("render: %s\n", stats.ToString().c_str());
  std::printf("Wrote %s (%d x %d)\n", args.output.c_str(), width, height);
  return kExitOk;
}

int RunSave(const SaveArgs& args) {
  if (!OutputPathUsable(args.output)) return kExitBadInput;
  Session session;
  if (!LoadPlugins(session, args.plugins)) return kExitBadInput;
  Scene scene;
  if (const int exitCode = LoadScene(session, args.scene, &scene); exitCode >= 0) return exitCode;
  std::string message;
  if (!SaveSceneFile(scene, args.output, &message)) {
    std::fprintf(stderr, "corvane-host: %s\n", message.c_str());
    return kExitFailure;
  }
  std::printf("Wrote %s\n", args.output.c_str());
  return kExitOk;
}

CLI::App* AddRender(CLI::App& app, RenderArgs& r) {
  CLI::App* render = app.add_subcommand("render", "Render a scene file to an image");
  render->add_option("scene", r.scene, "Scene file (JSON)")->required();
  render
      ->add_option("-o,--output", r.output,
                   kWritesExr ? "Output image: .exr (float, unclamped) or .png (8-bit)"
                              : "Output image: .png (8-bit); this build writes no .exr")
      ->required();
  render->add_option("--width", r.width, "Image width (overrides the scene)")->check(CLI::Range(1, 65536));
  render->add_option("--height", r.height, "Image height (overrides the scene)")->check(CLI::Range(1, 65536));
  render->add_option("--threads", r.threads, "Render threads (default: all cores)")
      ->check(CLI::Range(1, 1024));
  render->add_option("--samples", r.samples, "Camera samples per pixel (default: the scene's)")
      ->check(CLI::Range(1, 4096));
  AddPluginsOption(render, &r.plugins);
  render->add_flag("--timing", r.timing, "Print one line: samples, seconds, samples per second");
  render->add_option("--timeout", r.timeout, "End the command (exit code 1) after this many seconds")
      ->check(CLI::Range(0.001, 1e6));
  return render;
}

CLI::App* AddSave(CLI::App& app, SaveArgs& a) {
  CLI::App* save = app.add_subcommand("save", "Load a scene and write it back, normalised");
  save->add_option("scene", a.scene, "Scene file (JSON)")->required();
  save->add_option("-o,--output", a.output, "Output scene file")->required();
  AddPluginsOption(save, &a.plugins);
  return save;
}

}  // namespace host::cli
