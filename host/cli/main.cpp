// corvane-host: the stand-in host's command line.
//
//   corvane-host render SCENE -o OUT.exr|OUT.png [--width W] [--height H] [--threads N]
//                       [--samples S] [--plugins DIR] [--timing] [--timeout SECONDS]
//   corvane-host info [--plugins DIR]
//   corvane-host validate [MODULE...] [--plugins DIR] [--strictness 1..10] [--seed N]
//                         [--timeout-ms N] [--junit FILE] [--json FILE] [--only CHECK] [--in-process]
//   corvane-host save SCENE -o OUT.json [--plugins DIR]
//   corvane-host serve [SCENE] [--port N] [--plugins DIR]   (where cpp-httplib was found)
//   --verbose (any command) also shows which modules were loaded
//
// Exit codes: 0 success, 1 failure while working, 2 bad input or usage (a missing or wrong
// file, folder or option on the command line, a scene file the description refuses). A module file that
// is refused (foreign, damaged, not a module, or its code threw while it started) is
// reported with one line and skipped; it does not change the exit code by itself. A fault
// of module code during a command (an exception, a fatal signal, a timeout) ends the command
// with exit code 1 and one line naming the module file, the plug-in and the call.
//
// The Windows build (cross-built with mingw, run under wine here) renders on plain threads
// instead of oneTBB, writes PNG only and has no `serve`: OpenEXR, oneTBB and cpp-httplib
// have no Windows build here.
#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>

#include <csignal>
#endif

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "bitmap/bitmap.h"
#include "core/console.h"
#include "core/fault_boundary.h"
#include "loader/loader.h"
#include "render/image.h"
#include "render/renderer.h"
#include "resources/resources.h"
#include "scene/scene_file.h"
#include "scene/scene_render.h"
#include "session/session.h"
#include "session/session_info.h"
#include "validate/validate.h"
#if defined(CORVANE_HAVE_SERVE)
#include "serve/lookdev.h"
#include "serve/server.h"
#include "serve/worker.h"
#endif

namespace host {
namespace {

constexpr int kExitOk = 0, kExitFailure = 1, kExitBadInput = 2;

#if defined(CORVANE_NO_EXR)
#if defined(_WIN32)
#define CORVANE_BUILD_NAME "Windows"
#else
#define CORVANE_BUILD_NAME "aarch64 Linux"
#endif
constexpr const char* kBuildLacks =
    "This " CORVANE_BUILD_NAME " build renders on plain threads (no oneTBB), writes PNG only (no OpenEXR)\n"
    "and has no `serve` (no cpp-httplib).";
#elif !defined(CORVANE_HAVE_SERVE)
constexpr const char* kBuildLacks = "This build has no `serve`: cpp-httplib was not found when it was built.";
#endif

/// The file of this program, empty when the system does not say.
std::filesystem::path ProgramFile() {
#if defined(_WIN32)
  std::wstring buffer(32768, L'\0');
  DWORD n = GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
  if (n == 0 || n >= buffer.size()) return {};
  buffer.resize(n);
  return std::filesystem::path(buffer);
#else
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path() : exe;
#endif
}

/// The default plug-ins folder: the installable corvane/ folder of the build that this
/// program belongs to, <build>/corvane, the program being <build>/host/cli/corvane-host
/// (Linux) or <build>/bin/corvane-host.exe (Windows).
std::string DefaultPluginsFolder() {
  std::error_code ec;
  const std::filesystem::path exe = ProgramFile();
  if (!exe.empty()) {
    for (const auto& candidate :
         {exe.parent_path() / ".." / "corvane", exe.parent_path() / ".." / ".." / "corvane"}) {
      if (std::filesystem::is_directory(candidate, ec)) {
        std::u8string p = std::filesystem::weakly_canonical(candidate, ec).generic_u8string();
        return std::string(p.begin(), p.end());
      }
    }
  }
#ifdef CORVANE_DEFAULT_PLUGINS_DIR
  return CORVANE_DEFAULT_PLUGINS_DIR;
#else
  return "corvane";
#endif
}

/// Reports a fault of module code during the command, if there was one: true when the
/// command must end with kExitFailure.
bool ReportModuleFault() {
  ModuleFault fault;
  if (!TakeModuleFault(&fault)) return false;
  std::fprintf(stderr, "corvane-host: %s\n", fault.ToString().c_str());
  return true;
}

/// The names of the commands, for the message about one that is not.
constexpr const char* kCommands[] = {"render", "save", "info", "validate",
#if defined(CORVANE_HAVE_SERVE)
                                     "serve"
#endif
};

/// Edits (insertions, deletions, substitutions, swaps of neighbours) between a and b.
size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
  for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (size_t i = 1; i <= a.size(); ++i)
    for (size_t j = 1; j <= b.size(); ++j) {
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] != b[j - 1])});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  return d[a.size()][b.size()];
}

/// The first word that is no option, when it names no command: one line naming the closest
/// command (if one is close) and all of them. False when the word is a command or missing.
bool ReportUnknownCommand(int argc, char** argv) {
  std::string word;
  for (int i = 1; i < argc && word.empty(); ++i)
    if (argv[i][0] != '-') word = argv[i];
  if (word.empty() || word == "serve-worker") return false;
  std::string all, closest;
  size_t best = std::string::npos;
  for (const char* c : kCommands) {
    if (word == c) return false;
    all += (all.empty() ? "" : ", ") + std::string(c);
    const size_t d = EditDistance(word, c);
    if (d < best) best = d, closest = c;
  }
  // Close: at most two edits, and fewer than half the word's letters.
  const bool close = best <= 2 && best * 2 < word.size();
  std::fprintf(stderr, "corvane-host: unknown command \"%s\"%s (commands: %s)\n", word.c_str(),
               close ? ("; did you mean \"" + closest + "\"?").c_str() : "", all.c_str());
  return true;
}

/// Whether folder is a folder; else one line saying what it is instead.
bool PluginsFolderExists(const std::string& folder) {
  std::error_code ec;
  if (std::filesystem::is_directory(folder, ec)) return true;
  if (std::filesystem::exists(folder, ec))
    std::fprintf(stderr, "corvane-host: %s: is a file, not a plug-ins folder\n", folder.c_str());
  else
    std::fprintf(stderr, "corvane-host: %s: plug-ins folder not found\n", folder.c_str());
  return false;
}

/// Whether the folder the file is to be written in exists; else one line naming it (bad
/// input: the command refuses before any work, and makes no folder, so that a mistyped
/// path does not leave folders behind).
bool OutputPathUsable(const std::string& file) {
  const std::filesystem::path path(file);
  std::error_code ec;
  const std::filesystem::path folder = path.parent_path();
  if (folder.empty() || std::filesystem::is_directory(folder, ec)) return true;
  std::fprintf(stderr, "corvane-host: %s: the folder %s %s\n", file.c_str(), folder.string().c_str(),
               std::filesystem::exists(folder, ec) ? "is a file, not a folder" : "does not exist");
  return false;
}

/// Loads every module of folder into the session. False (with a message on stderr) when
/// the folder is missing; modules that are refused are reported on the console (echoed to
/// stderr) by the loader and skipped. A module built with Maxon's SDK is bad input: its
/// refusal line stands alone, and the command goes no further (false).
bool LoadPlugins(Session& session, const std::string& folder) {
  if (!PluginsFolderExists(folder)) return false;
  const std::vector<RefusedModule> refused = session.LoadPluginsFolder(folder);
  return std::none_of(refused.begin(), refused.end(), [](const RefusedModule& r) { return r.builtWithMaxonSdk; });
}

// ---- render -----------------------------------------------------------------------------

/// What the commands take from the command line. plugins is resolved to the default
/// folder after parsing, so every command sees the folder it uses.
struct RenderArgs {
  std::string scene, output, plugins;
  int width = 0, height = 0, threads = 0, samples = 0;
  double timeout = 0;  ///< seconds; 0: none
  bool timing = false;
};
struct SaveArgs {
  std::string scene, output, plugins;
};
struct InfoArgs {
  std::string plugins;
};
struct ServeArgs {
  std::string scene, plugins;
  int port = 8765;
  double timeout = 20;  ///< seconds one request may take in the plug-ins
};
struct WorkerArgs {  ///< the server's own worker process
  std::string plugins, folder;
  double timeout = 20;
  int threads = 0;
};

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
  SceneError error;
  const bool loaded = LoadSceneFile(args.scene, &scene, &error);
  if (ReportModuleFault()) return kExitFailure;
  if (!loaded) {
    std::fprintf(stderr, "corvane-host: %s\n", error.ToString().c_str());
    return error.whileWorking ? kExitFailure : kExitBadInput;
  }
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

// ---- save -------------------------------------------------------------------------------

int RunSave(const SaveArgs& args) {
  if (!OutputPathUsable(args.output)) return kExitBadInput;
  Session session;
  if (!LoadPlugins(session, args.plugins)) return kExitBadInput;
  Scene scene;
  SceneError error;
  const bool loaded = LoadSceneFile(args.scene, &scene, &error);
  if (ReportModuleFault()) return kExitFailure;
  if (!loaded) {
    std::fprintf(stderr, "corvane-host: %s\n", error.ToString().c_str());
    return error.whileWorking ? kExitFailure : kExitBadInput;
  }
  std::string message;
  if (!SaveSceneFile(scene, args.output, &message)) {
    std::fprintf(stderr, "corvane-host: %s\n", message.c_str());
    return kExitFailure;
  }
  std::printf("Wrote %s\n", args.output.c_str());
  return kExitOk;
}

// ---- info -------------------------------------------------------------------------------

int RunInfo(const InfoArgs& args) {
  Session session;
  const std::string& folder = args.plugins;
  if (!LoadPlugins(session, folder)) return kExitBadInput;
  const SessionReport report = DescribeSession(session);
  if (ReportModuleFault()) return kExitFailure;

  std::printf("corvane-host %s (built with Corvane %s)\nPlug-ins folder: %s\n\nModules (%zu):\n", CORVANE_VERSION,
              CORVANE_VERSION, folder.c_str(), report.modules.size());
  for (const ModuleReport& m : report.modules) {
    const ModuleIdentity& id = m.identity;
    std::printf("  %s\n    loader: %s\n    identifier: %s\n    frameworks (%zu):", m.path.c_str(),
                m.loader.c_str(), id.identifier.empty() ? "(none)" : id.identifier.c_str(),
                id.dependencies.size());
    for (const std::string& f : id.dependencies) std::printf("\n      %s", f.c_str());
    std::printf("\n    lifecycle: action 1 -> %d, message 1 -> %d, action 2 -> %d\n", m.codes.systemStart,
                m.codes.loadResource, m.codes.start);
    for (const std::string& p : id.problems) std::printf("    problem: %s\n", p.c_str());
  }

  std::printf("\nIcons (%zu):\n", report.icons.size());
  for (const IconInfo& icon : report.icons)
    std::printf("  %d  %dx%d at (%d, %d) of %s\n", icon.id, icon.w, icon.h, icon.x, icon.y,
                icon.file.c_str());

  std::printf("\nPlug-ins (%zu):\n", report.plugins.size());
  for (const PluginReport& p : report.plugins) {
    std::printf("  %d  %s  (%s, interface %d, module %s)\n", p.id, p.name.c_str(),
                p.type == C4D_PLUGINTYPE_SHADER ? "shader" : "other", p.version,
                p.module.empty() ? "?" : p.module.c_str());
    if (!p.description) {
      std::printf("    no description\n");
      continue;
    }
    const Description& desc = p.description->description;
    std::printf("    description %s \"%s\" from %s\n", desc.name.c_str(), desc.displayName.c_str(),
                p.description->folder.c_str());
    std::printf("    %-8s %-28s %-16s %-8s %s\n", "ID", "symbol", "type", "enabled", "label");
    for (const DescriptionElement& e : desc.elements) {
      if (!e.IsParameter()) continue;
      std::string type(e.TypeName());
      if (e.ValueType() != 0 && type != ValueTypeName(e.ValueType()))
        type += std::string("/") + ValueTypeName(e.ValueType());
      auto enabled = p.enabled.find(e.id);
      std::printf("    %-8d %-28s %-16s %-8s %s\n", e.id, e.symbol.c_str(), type.c_str(),
                  enabled == p.enabled.end() ? "?"
                  : enabled->second          ? "yes"
                                             : "no",
                  e.label.c_str());
      for (const CycleEntry& c : e.cycle)
        std::printf("    %8s   %d = %s \"%s\"\n", "", c.id, c.symbol.c_str(), c.label.c_str());
    }
  }
  return kExitOk;
}

// ---- serve ------------------------------------------------------------------------------

#if defined(CORVANE_HAVE_SERVE)
/// examples/default.json of the working folder, else of the source tree this program was
/// built from.
std::string DefaultScene() {
  std::error_code ec;
  if (std::filesystem::is_regular_file("examples/default.json", ec)) return "examples/default.json";
#ifdef CORVANE_EXAMPLES_DIR
  return std::string(CORVANE_EXAMPLES_DIR) + "/default.json";
#else
  return "examples/default.json";
#endif
}

int RunServe(const ServeArgs& args) {
  const std::string scenePath = args.scene.empty() ? DefaultScene() : args.scene;
  std::error_code ec;
  if (std::filesystem::is_directory(scenePath, ec)) {
    std::fprintf(stderr, "corvane-host: %s: is a folder, not a scene file\n", scenePath.c_str());
    return kExitBadInput;
  }
  if (!std::filesystem::is_regular_file(scenePath, ec)) {
    std::fprintf(stderr, "corvane-host: %s: scene file not found\n", scenePath.c_str());
    return kExitBadInput;
  }
  const std::filesystem::path absolute = std::filesystem::absolute(scenePath, ec);
  const std::string& folder = args.plugins;
  if (!PluginsFolderExists(folder)) return kExitBadInput;
  // Module code runs in a worker process that the server starts again when it dies; a
  // write to a worker that just died must not end the server.
  std::signal(SIGPIPE, SIG_IGN);
  WorkerOptions options;
  options.program = ProgramFile().string();
  options.plugins = std::filesystem::absolute(folder, ec).string();
  // The scene's folder is the served folder: the page loads and saves scenes there.
  options.folder = absolute.parent_path().string();
  options.scene = absolute.string();
  options.timeout = args.timeout;
  WorkerLookdev lookdev(options);
  // The port first: a port that cannot be had ends the command before anything is loaded.
  LookdevServer server(lookdev);
  std::string message;
  if (!server.Bind(args.port, &message)) {
    std::fprintf(stderr, "corvane-host: %s\n", message.c_str());
    return kExitFailure;
  }
  if (!lookdev.Start(&message)) {
    std::fprintf(stderr, "corvane-host: %s\n", message.c_str());
    return kExitBadInput;
  }
  std::printf("Serving %s at http://127.0.0.1:%d/ (Ctrl-C stops)\n", scenePath.c_str(), server.Port());
  std::fflush(stdout);
  server.RunUntilSignal([&lookdev] { lookdev.Interrupt(); });
  std::printf("Stopped.\n");
  return kExitOk;
}

/// The server's worker process: answers the page's requests from stdin on stdout.
int RunServeWorker(const WorkerArgs& args) {
  WorkerOptions options;
  options.plugins = args.plugins;
  options.folder = args.folder;
  options.timeout = args.timeout;
  options.renderThreads = args.threads;
  return host::RunServeWorker(options);
}
#endif

// ---- the command line -------------------------------------------------------------------

/// --plugins, the same for every command that loads plug-ins.
void AddPluginsOption(CLI::App* command, std::string* folder) {
  command->add_option("--plugins", *folder, "Plug-ins folder (default: the build's corvane/ folder)");
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

CLI::App* AddInfo(CLI::App& app, InfoArgs& a) {
  CLI::App* info = app.add_subcommand("info", "List modules, plug-ins, icons and parameters");
  AddPluginsOption(info, &a.plugins);
  return info;
}

struct ValidateArgs {
  ValidateOptions options;
  uint64_t seed = 0;
  CLI::Option* seedOption = nullptr;  ///< given: replay that seed
};

CLI::App* AddValidate(CLI::App& app, ValidateArgs& a) {
  ValidateOptions& v = a.options;
  CLI::App* validate = app.add_subcommand(
      "validate", "Check modules' plug-ins through every state, each check in a process of its own");
  validate->add_option("modules", v.modules, "Module files (default: every module of --plugins)");
  AddPluginsOption(validate, &v.plugins);
  validate->add_option("--strictness", v.strictness, "1..10: which checks run, and how long (default: 5)")
      ->check(CLI::Range(1, 10));
  a.seedOption = validate->add_option("--seed", a.seed, "Replay the run of this seed");
  validate->add_option("--timeout-ms", v.timeoutMs, "Time one check may take (default: 30000)")
      ->check(CLI::Range(100, 86400000));
  validate->add_option("--junit", v.junit, "Also write the results as JUnit XML");
  validate->add_option("--json", v.json, "Also write the results as JSON");
  validate->add_option("--only", v.only, "Run this check alone (whatever its level)");
  validate->add_flag("--in-process", v.inProcess, "Run every check in this process (for debugging: a crash ends all)");
  validate->add_option("--result-file", v.resultFile)->group("");  // a check's child process
  validate->footer(DescribeChecks());
  return validate;
}

int RunValidateCommand(ValidateArgs& a) {
  ValidateOptions& v = a.options;
  for (const std::string* report : {&v.junit, &v.json})
    if (!report->empty() && !OutputPathUsable(*report)) return kExitBadInput;
  if (a.seedOption->count() > 0) v.seed = a.seed;
  const std::u8string program = ProgramFile().generic_u8string();
  v.program.assign(program.begin(), program.end());
  return RunValidate(v);
}

#if defined(CORVANE_HAVE_SERVE)
CLI::App* AddServe(CLI::App& app, ServeArgs& a) {
  CLI::App* serve = app.add_subcommand("serve", "Serve the look-development page on 127.0.0.1 (Ctrl-C stops)");
  serve->add_option("scene", a.scene, "Scene file (JSON; default: examples/default.json)");
  serve->add_option("--port", a.port, "Port (default: 8765; 0: any free port)")->check(CLI::Range(0, 65535));
  AddPluginsOption(serve, &a.plugins);
  serve->add_option("--timeout", a.timeout, "Seconds one request may take in the plug-ins (default: 20)")
      ->check(CLI::Range(0.1, 1e6));
  return serve;
}

CLI::App* AddServeWorker(CLI::App& app, WorkerArgs& a) {
  CLI::App* worker = app.add_subcommand("serve-worker", "")->group("");  // not for users
  worker->add_option("--plugins", a.plugins)->required();
  worker->add_option("--folder", a.folder)->required();
  worker->add_option("--timeout", a.timeout);
  worker->add_option("--threads", a.threads);
  return worker;
}
#endif

/// The program's own settings: version, --verbose, the help's footer.
void SetUpProgram(CLI::App& app, bool* verbose) {
  app.set_version_flag("--version", "corvane-host " CORVANE_VERSION " (built with Corvane " CORVANE_VERSION ")");
  app.require_subcommand(1);
  app.add_flag("--verbose", *verbose, "Also show which modules were loaded");
  // Options of the program (--verbose) may follow the command's own.
  app.fallthrough();
  // A Unix path such as /tmp/scene.json is a path, never a Windows-style option
  app.allow_windows_style_options(false);
  app.footer(
      "Module files (.xso64, .xdl64, .xlib) are opened by their format: ELF with dlopen and Mach-O\n"
      "(macOS builds; of a universal file, the slice of this processor) with the host's own Mach-O\n"
      "loader on Linux, PE with LoadLibraryW on Windows; any other module file is refused with one\n"
      "line and skipped.\n"
#if defined(CORVANE_NO_EXR) || !defined(CORVANE_HAVE_SERVE)
      "\n" +
      std::string(kBuildLacks) + "\n"
#endif
  );
}

/// Parses the command line: -1 when a command is to run, else the exit code (help and
/// version shown: 0; a usage error, printed: 2).
int Parse(CLI::App& app, int argc, char** argv) {
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return kExitBadInput;
  }
  return -1;
}

}  // namespace
}  // namespace host

int main(int argc, char** argv) {
  using namespace host;
#if !defined(_WIN32)
  // Past a file-size limit a write fails (and is reported, naming the file) instead of
  // the signal ending the program halfway through.
  std::signal(SIGXFSZ, SIG_IGN);
#endif
  // A crash in module code ends the command with one line naming the module.
  InstallFatalSignalReport();
  CLI::App app{"corvane-host " CORVANE_VERSION ": the stand-in host for the Corvane shader plug-in"};
  bool verbose = false;
  SetUpProgram(app, &verbose);
  RenderArgs renderArgs;
  SaveArgs saveArgs;
  InfoArgs infoArgs;
  ValidateArgs validateArgs;
  CLI::App* render = AddRender(app, renderArgs);
  CLI::App* save = AddSave(app, saveArgs);
  CLI::App* info = AddInfo(app, infoArgs);
  CLI::App* validate = AddValidate(app, validateArgs);
#if defined(CORVANE_HAVE_SERVE)
  ServeArgs serveArgs;
  WorkerArgs workerArgs;
  CLI::App* serve = AddServe(app, serveArgs);
  CLI::App* worker = AddServeWorker(app, workerArgs);
#endif

  if (ReportUnknownCommand(argc, argv)) return kExitBadInput;
  if (const int exitCode = Parse(app, argc, argv); exitCode >= 0) return exitCode;
  Console().SetVerbose(verbose);
  const std::string defaultPlugins = DefaultPluginsFolder();
  for (std::string* folder : {&renderArgs.plugins, &saveArgs.plugins, &infoArgs.plugins,
                              &validateArgs.options.plugins
#if defined(CORVANE_HAVE_SERVE)
                              , &serveArgs.plugins
#endif
       })
    if (folder->empty()) *folder = defaultPlugins;
  try {
    if (*render) return RunRender(renderArgs);
    if (*save) return RunSave(saveArgs);
    if (*info) return RunInfo(infoArgs);
    if (*validate) return RunValidateCommand(validateArgs);
#if defined(CORVANE_HAVE_SERVE)
    if (*serve) return RunServe(serveArgs);
    if (*worker) return RunServeWorker(workerArgs);
#endif
  } catch (const std::exception& e) {
    std::fprintf(stderr, "corvane-host: %s\n", e.what());
    return kExitFailure;
  }
  return kExitBadInput;
}
