// command_support.cpp - what several commands of corvane-host share: this program's file
// and default plug-ins folder, the --plugins option, checks of folders and output paths,
// loading the plug-ins, and the messages about module faults and unknown commands.
#if defined(_WIN32)
#include <windows.h>
#endif

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <vector>

#include "cli/commands.h"
#include "core/fault_boundary.h"
#include "loader/loader.h"
#include "session/session.h"

namespace host::cli {
namespace {

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
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  return d[a.size()][b.size()];
}

}  // namespace

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

void AddPluginsOption(CLI::App* command, std::string* folder) {
  command->add_option("--plugins", *folder, "Plug-ins folder (default: the build's corvane/ folder)");
}

bool ReportModuleFault() {
  ModuleFault fault;
  if (!TakeModuleFault(&fault)) return false;
  std::fprintf(stderr, "corvane-host: %s\n", fault.ToString().c_str());
  return true;
}

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

bool PluginsFolderExists(const std::string& folder) {
  std::error_code ec;
  if (std::filesystem::is_directory(folder, ec)) return true;
  if (std::filesystem::exists(folder, ec))
    std::fprintf(stderr, "corvane-host: %s: is a file, not a plug-ins folder\n", folder.c_str());
  else
    std::fprintf(stderr, "corvane-host: %s: plug-ins folder not found\n", folder.c_str());
  return false;
}

bool OutputPathUsable(const std::string& file) {
  const std::filesystem::path path(file);
  std::error_code ec;
  const std::filesystem::path folder = path.parent_path();
  if (folder.empty() || std::filesystem::is_directory(folder, ec)) return true;
  std::fprintf(stderr, "corvane-host: %s: the folder %s %s\n", file.c_str(), folder.string().c_str(),
               std::filesystem::exists(folder, ec) ? "is a file, not a folder" : "does not exist");
  return false;
}

bool LoadPlugins(Session& session, const std::string& folder) {
  if (!PluginsFolderExists(folder)) return false;
  const std::vector<RefusedModule> refused = session.LoadPluginsFolder(folder);
  return std::none_of(refused.begin(), refused.end(),
                      [](const RefusedModule& r) { return r.builtWithMaxonSdk; });
}

}  // namespace host::cli
