// commands.h - what the commands of corvane-host share: the exit codes, each command's
// options, how a command is added to the command line and run, and the checks and messages
// common to several commands. Private to host/cli.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <filesystem>
#include <string>

#include "validate/validate.h"

namespace host {
class Session;

namespace cli {

constexpr int kExitOk = 0, kExitFailure = 1, kExitBadInput = 2;

// ---- what the commands take from the command line ---------------------------------------

/// plugins is resolved to the default folder after parsing, so every command sees the
/// folder it uses.
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
struct ValidateArgs {
  ValidateOptions options;
  uint64_t seed = 0;
  CLI::Option* seedOption = nullptr;  ///< given: replay that seed
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

// ---- the commands: each adds itself to the command line, and runs --------------------------

CLI::App* AddRender(CLI::App& app, RenderArgs& r);
CLI::App* AddSave(CLI::App& app, SaveArgs& a);
CLI::App* AddInfo(CLI::App& app, InfoArgs& a);
CLI::App* AddValidate(CLI::App& app, ValidateArgs& a);
int RunRender(const RenderArgs& args);
int RunSave(const SaveArgs& args);
int RunInfo(const InfoArgs& args);
int RunValidateCommand(ValidateArgs& a);
#if defined(CORVANE_HAVE_SERVE)
CLI::App* AddServe(CLI::App& app, ServeArgs& a);
CLI::App* AddServeWorker(CLI::App& app, WorkerArgs& a);
int RunServe(const ServeArgs& args);
/// The server's worker process: answers the page's requests from stdin on stdout.
int RunServeWorker(const WorkerArgs& args);
#endif

// ---- shared by the commands -------------------------------------------------------------

/// The file of this program, empty when the system does not say.
std::filesystem::path ProgramFile();

/// The default plug-ins folder: the installable corvane/ folder of the build that this
/// program belongs to, <build>/corvane, the program being <build>/host/cli/corvane-host
/// (Linux) or <build>/bin/corvane-host.exe (Windows).
std::string DefaultPluginsFolder();

/// --plugins, the same for every command that loads plug-ins.
void AddPluginsOption(CLI::App* command, std::string* folder);

/// Reports a fault of module code during the command, if there was one: true when the
/// command must end with kExitFailure.
bool ReportModuleFault();

/// The first word that is no option, when it names no command: one line naming the closest
/// command (if one is close) and all of them. False when the word is a command or missing.
bool ReportUnknownCommand(int argc, char** argv);

/// Whether folder is a folder; else one line saying what it is instead.
bool PluginsFolderExists(const std::string& folder);

/// Whether the folder the file is to be written in exists; else one line naming it (bad
/// input: the command refuses before any work, and makes no folder, so that a mistyped
/// path does not leave folders behind).
bool OutputPathUsable(const std::string& file);

/// Loads every module of folder into the session. False (with a message on stderr) when
/// the folder is missing; modules that are refused are reported on the console (echoed to
/// stderr) by the loader and skipped. A module built with Maxon's SDK is bad input: its
/// refusal line stands alone, and the command goes no further (false).
bool LoadPlugins(Session& session, const std::string& folder);

}  // namespace cli
}  // namespace host
