// serve_command.cpp - `corvane-host serve`: the look-development page on 127.0.0.1, with
// module code in a worker process (`serve-worker`, not for users) that the server starts
// again when it dies. Built where cpp-httplib was found.
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>

#include "cli/commands.h"
#include "serve/lookdev.h"
#include "serve/server.h"
#include "serve/worker.h"

namespace host::cli {
namespace {

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

}  // namespace

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

int RunServeWorker(const WorkerArgs& args) {
  WorkerOptions options;
  options.plugins = args.plugins;
  options.folder = args.folder;
  options.timeout = args.timeout;
  options.renderThreads = args.threads;
  return host::RunServeWorker(options);
}

CLI::App* AddServe(CLI::App& app, ServeArgs& a) {
  CLI::App* serve =
      app.add_subcommand("serve", "Serve the look-development page on 127.0.0.1 (Ctrl-C stops)");
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

}  // namespace host::cli
