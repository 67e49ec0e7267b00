// main.cpp - corvane-host: the stand-in host's command line; each command is a file of
// its own (render_command.cpp and so on), what they share is in command_support.cpp.
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
#if !defined(_WIN32)
#include <csignal>
#endif

#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <string>

#include "cli/commands.h"
#include "core/console.h"
#include "core/fault_boundary.h"

namespace host::cli {
namespace {

#if defined(CORVANE_NO_EXR)
#if defined(_WIN32)
#define CORVANE_BUILD_NAME "Windows"
#else
#define CORVANE_BUILD_NAME "aarch64 Linux"
#endif
constexpr const char* kBuildLacks =
    "This " CORVANE_BUILD_NAME
    " build renders on plain threads (no oneTBB), writes PNG only (no OpenEXR)\n"
    "and has no `serve` (no cpp-httplib).";
#elif !defined(CORVANE_HAVE_SERVE)
constexpr const char* kBuildLacks = "This build has no `serve`: cpp-httplib was not found when it was built.";
#endif

/// The program's own settings: version, --verbose, the help's footer.
void SetUpProgram(CLI::App& app, bool* verbose) {
  app.set_version_flag("--version",
                       "corvane-host " CORVANE_VERSION " (built with Corvane " CORVANE_VERSION ")");
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
}  // namespace host::cli

int main(int argc, char** argv) {
  using namespace host;
  using namespace host::cli;
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
  for (std::string* folder : {
         &renderArgs.plugins, &saveArgs.plugins, &infoArgs.plugins, &validateArgs.options.plugins
#if defined(CORVANE_HAVE_SERVE)
             ,
             &serveArgs.plugins
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
