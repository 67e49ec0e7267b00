// validate.cpp - `corvane-host validate`: which modules and checks run, each check in a
// child process (or in this one), the lines printed and the JUnit and JSON reports.
#include "validate/validate.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>

#include "core/console.h"
#include "core/fault_boundary.h"
#include "core/file_read.h"
#include "core/file_write.h"
#include "loader/loader.h"
#include "loader/module_library.h"
#include "validate/checks.h"
#include "validate/child_process.h"

namespace host {
namespace {

using nlohmann::json;
using Status = CheckOutcome::Status;

constexpr int kExitOk = 0, kExitFailure = 1, kExitBadInput = 2;
constexpr const char* kProgressTag = "validate-progress: ";

const char* StatusName(Status s) { return s == Status::Pass ? "PASS" : s == Status::Fail ? "FAIL" : "SKIP"; }

struct CheckReport {
  std::string name;
  int level = 0;
  CheckOutcome outcome;
  double seconds = 0;
};

struct ModuleReport {
  std::string file;
  std::vector<CheckReport> checks;
};

std::string FileName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

/// One check of one module in a child process: this program with --in-process, --only and
/// --result-file. What the child did not report itself (it crashed, hung or aborted) is
/// read from how it ended, its last line and the last thing it said it was doing.
CheckOutcome RunIsolated(const ValidateOptions& options, const CheckInfo& check, const std::string& module,
                         uint64_t seed) {
  const std::string resultFile = ScratchPath(std::string(check.name) + ".json");
  const std::vector<std::string> args{"validate",       module,
                                      "--only",         check.name,
                                      "--strictness",   std::to_string(options.strictness),
                                      "--seed",         std::to_string(seed),
                                      "--timeout-ms",   std::to_string(options.timeoutMs),
                                      "--in-process",   "--result-file",
                                      resultFile};
  // The child ends itself at the limit, naming the call running then; the parent ends a
  // child that cannot (a plug-in that blocks every signal) a little later.
  // Under an emulator that the system does not start by itself (qemu-user without
  // binfmt), CORVANE_VALIDATE_LAUNCHER names it: the child is `launcher program args`.
  std::string program = options.program;
  std::vector<std::string> childArgs = args;
  if (const char* launcher = std::getenv("CORVANE_VALIDATE_LAUNCHER"); launcher && *launcher) {
    childArgs.insert(childArgs.begin(), program);
    program = launcher;
  }
  const ChildResult child = RunChild(program, childArgs, options.timeoutMs + 5000);
  std::error_code ec;
  const std::filesystem::path resultPath(std::u8string(resultFile.begin(), resultFile.end()));
  std::string text;
  if (ReadWholeFile(resultPath, &text) != FileRead::Ok) text.clear();
  std::filesystem::remove(resultPath, ec);
  if (!child.started) return {Status::Fail, child.why};
  if (!text.empty()) {
    const json result = json::parse(text, nullptr, false);
    if (result.is_object() && result.contains("status") && result.contains("message")) {
      const std::string status = result["status"].get<std::string>();
      return {status == "PASS" ? Status::Pass : status == "SKIP" ? Status::Skip : Status::Fail,
              result["message"].get<std::string>()};
    }
  }
  // The last line that the host wrote about the fault, and the last step announced.
  std::string lastFault, lastStep, lastLine;
  std::istringstream lines(child.output);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(kProgressTag, 0) == 0) lastStep = line.substr(std::strlen(kProgressTag));
    else if (line.rfind("corvane-host: ", 0) == 0) lastFault = line.substr(14);
    else if (!line.empty()) lastLine = line;
  }
  std::string why;
  if (child.timedOut) why = "timeout after " + std::to_string(options.timeoutMs) + " ms";
  else if (!lastFault.empty()) why = lastFault;
  else if (child.signal) why = "crashed (signal " + std::to_string(child.signal) + ")";
  else why = "the check's process ended with exit code " + std::to_string(child.exitCode) + " without a result" +
             (lastLine.empty() ? std::string() : " (" + lastLine.substr(0, 300) + ")");
  if (!lastStep.empty()) why += ", while " + lastStep;
  return {Status::Fail, why};
}

/// The child's side: one check, its outcome written as JSON.
int RunChildCheck(const ValidateOptions& options, const CheckInfo& check) {
  Console().SetEcho(false);
  Watchdog watchdog(options.timeoutMs / 1000.0, "check " + std::string(check.name));
  const CheckOutcome outcome = RunCheck(check, options.modules.front(), options.strictness, *options.seed,
                                        [](const std::string& step) {
                                          std::fprintf(stderr, "%s%s\n", kProgressTag, step.c_str());
                                          std::fflush(stderr);
                                        });
  const json result{{"status", StatusName(outcome.status)}, {"message", outcome.message}};
  std::string error;
  if (!WriteFileAtomically(options.resultFile, result.dump(), "the check's result", &error)) {
    std::fprintf(stderr, "corvane-host: %s\n", error.c_str());
    return kExitFailure;
  }
  return kExitOk;
}

std::string XmlEscape(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default:
        // XML 1.0 allows no control characters but tab, line feed and carriage return.
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') out += '?';
        else out += char(c);
    }
  }
  return out;
}

std::string Seconds(double s) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", s);
  return text;
}

std::string JUnitReport(const std::vector<ModuleReport>& modules, uint64_t seed, int strictness) {
  int tests = 0, failures = 0, skipped = 0;
  double seconds = 0;
  for (const ModuleReport& m : modules)
    for (const CheckReport& c : m.checks) {
      ++tests;
      failures += c.outcome.status == Status::Fail;
      skipped += c.outcome.status == Status::Skip;
      seconds += c.seconds;
    }
  std::string x = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  x += "<testsuites name=\"corvane-host validate\" tests=\"" + std::to_string(tests) + "\" failures=\"" +
       std::to_string(failures) + "\" skipped=\"" + std::to_string(skipped) + "\" time=\"" + Seconds(seconds) +
       "\">\n";
  for (const ModuleReport& m : modules) {
    int f = 0, k = 0;
    double t = 0;
    for (const CheckReport& c : m.checks) {
      f += c.outcome.status == Status::Fail;
      k += c.outcome.status == Status::Skip;
      t += c.seconds;
    }
    x += "  <testsuite name=\"" + XmlEscape(FileName(m.file)) + "\" tests=\"" + std::to_string(m.checks.size()) +
         "\" failures=\"" + std::to_string(f) + "\" skipped=\"" + std::to_string(k) + "\" time=\"" + Seconds(t) +
         "\">\n    <properties>\n      <property name=\"seed\" value=\"" + std::to_string(seed) +
         "\"/>\n      <property name=\"strictness\" value=\"" + std::to_string(strictness) +
         "\"/>\n      <property name=\"module\" value=\"" + XmlEscape(m.file) + "\"/>\n    </properties>\n";
    for (const CheckReport& c : m.checks) {
      x += "    <testcase name=\"" + XmlEscape(c.name) + "\" classname=\"validate." + XmlEscape(FileName(m.file)) +
           "\" time=\"" + Seconds(c.seconds) + "\"";
      if (c.outcome.status == Status::Pass) {
        x += "/>\n";
      } else if (c.outcome.status == Status::Skip) {
        x += ">\n      <skipped message=\"" + XmlEscape(c.outcome.message) + "\"/>\n    </testcase>\n";
      } else {
        x += ">\n      <failure message=\"" + XmlEscape(c.outcome.message) + "\">" + XmlEscape(c.outcome.message) +
             "</failure>\n    </testcase>\n";
      }
    }
    x += "  </testsuite>\n";
  }
  return x + "</testsuites>\n";
}

std::string JsonReport(const std::vector<ModuleReport>& modules, uint64_t seed, int strictness, int passed,
                       int failed, int skipped) {
  json out{{"seed", seed}, {"strictness", strictness}, {"passed", passed}, {"failed", failed}, {"skipped", skipped}};
  json list = json::array();
  for (const ModuleReport& m : modules) {
    json checks = json::array();
    for (const CheckReport& c : m.checks)
      checks.push_back({{"name", c.name},
                        {"level", c.level},
                        {"status", StatusName(c.outcome.status)},
                        {"message", c.outcome.message},
                        {"seconds", c.seconds}});
    list.push_back({{"module", m.file}, {"checks", checks}});
  }
  out["modules"] = list;
  return out.dump(2) + "\n";
}

uint64_t NewSeed() {
  std::random_device device;
  const uint64_t time = uint64_t(std::chrono::steady_clock::now().time_since_epoch().count());
  // Short enough to type again.
  return (uint64_t(device()) ^ time) % 1000000000ull;
}

}  // namespace

std::string DescribeChecks() {
  std::string out = "Checks (each runs at its level and above):\n";
  for (const CheckInfo& c : Checks()) {
    char line[64];
    std::snprintf(line, sizeof line, "  %2d  %-19s", c.level, c.name);
    out += line + std::string(c.summary) + "\n";
  }
  return out;
}

namespace {

/// The check that --only names; null, with one line naming every check, when there is none.
const CheckInfo* FindOnlyCheck(const std::string& name) {
  const CheckInfo* only = FindCheck(name);
  if (!only) {
    std::string names;
    for (const CheckInfo& c : Checks()) names += (names.empty() ? "" : ", ") + std::string(c.name);
    std::fprintf(stderr, "corvane-host: validate: no check called \"%s\" (the checks: %s)\n", name.c_str(),
                 names.c_str());
  }
  return only;
}

/// Every module file of the plug-ins folder into *modules: -1 when there is one at least,
/// else the exit code (the message printed).
int ListFolderModules(const std::string& plugins, std::vector<std::string>* modules) {
  std::error_code ec;
  if (!std::filesystem::is_directory(std::filesystem::path(std::u8string(plugins.begin(), plugins.end())),
                                     ec)) {
    std::fprintf(stderr, "corvane-host: %s: plug-ins folder not found\n", plugins.c_str());
    return kExitBadInput;
  }
  *modules = ListModuleFiles(plugins);
  if (modules->empty()) {
    std::printf("validate: %s holds no module file (.xso64, .xdl64, .xlib); nothing was validated\n",
                plugins.c_str());
    return kExitFailure;
  }
  return -1;
}

/// A named file that is missing or a folder, or a module of Maxon's own SDK (which cannot
/// be driven here at all): bad input, before any check. False, with one line, for the first.
bool ModulesUsable(const std::vector<std::string>& modules) {
  for (const std::string& module : modules) {
    std::error_code ec;
    const std::filesystem::path path(std::u8string(module.begin(), module.end()));
    if (std::filesystem::is_directory(path, ec)) {
      std::fprintf(stderr,
                   "corvane-host: %s: is a folder, not a module file (a folder of modules is --plugins)\n",
                   module.c_str());
      return false;
    }
    if (!std::filesystem::exists(path, ec)) {
      std::fprintf(stderr, "corvane-host: %s: no such module file\n", module.c_str());
      return false;
    }
    if (IsMaxonSdkModule(module)) {
      std::fprintf(stderr, "corvane-host: %s: %s\n", module.c_str(), kMaxonSdkModuleRefusal);
      return false;
    }
  }
  return true;
}

/// Why no loader takes the module file; empty when one does.
std::string LoadRefusal(const std::string& module) {
  std::string refusal;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(std::filesystem::path(std::u8string(module.begin(), module.end())),
                                        ec))
    refusal = module + ": no such module file";
  else if (Module::Open(module, {}, &refusal))
    refusal.clear();
  else if (refusal.empty())
    refusal = module + ": not a module this host can load";
  return refusal;
}

/// One module: its name, then a line per check (the checks of the level, or `only`). A file
/// no loader takes is one line, and nothing of it runs.
ModuleReport ValidateModule(const ValidateOptions& options, const CheckInfo* only,
                            const std::string& module) {
  ModuleReport report{module, {}};
  std::printf("%s\n", module.c_str());
  std::fflush(stdout);
  const std::string refusal = LoadRefusal(module);
  std::vector<const CheckInfo*> selected;
  if (!refusal.empty()) {
    report.checks.push_back({"load", 1, {Status::Fail, refusal}, 0});
  } else {
    for (const CheckInfo& c : Checks())
      if (only ? &c == only : c.level <= options.strictness) selected.push_back(&c);
  }
  for (const CheckInfo* c : selected) {
    const auto start = std::chrono::steady_clock::now();
    CheckOutcome outcome = options.inProcess ? RunCheck(*c, module, options.strictness, *options.seed, {})
                                             : RunIsolated(options, *c, module, *options.seed);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    report.checks.push_back({c->name, c->level, outcome, seconds});
    // Times go to the reports only: the same seed prints the same lines.
    std::printf("%s %s: %s\n", StatusName(outcome.status), c->name, outcome.message.c_str());
    std::fflush(stdout);
  }
  if (!refusal.empty()) std::printf("FAIL load: %s\n", refusal.c_str());
  return report;
}

/// The --junit and --json reports, where asked for: false when one could not be written
/// (one line each).
bool WriteReports(const ValidateOptions& options, const std::vector<ModuleReport>& reports, int passed,
                  int failed, int skipped) {
  bool written = true;
  auto write = [&](const std::string& path, const std::string& text) {
    std::string error;
    if (path.empty() || WriteFileAtomically(path, text, "the report", &error)) return;
    std::fprintf(stderr, "corvane-host: %s\n", error.c_str());
    written = false;
  };
  write(options.junit, JUnitReport(reports, *options.seed, options.strictness));
  write(options.json, JsonReport(reports, *options.seed, options.strictness, passed, failed, skipped));
  return written;
}

}  // namespace

int RunValidate(const ValidateOptions& given) {
  ValidateOptions options = given;
  const CheckInfo* only = nullptr;
  if (!options.only.empty() && !(only = FindOnlyCheck(options.only))) return kExitBadInput;
  if (!options.seed) options.seed = NewSeed();
  if (!options.resultFile.empty()) {
    if (!only || options.modules.size() != 1) {
      std::fprintf(stderr, "corvane-host: validate: --result-file needs --only and one module\n");
      return kExitBadInput;
    }
    return RunChildCheck(options, *only);
  }

  // The modules: those named, or every module file of the folder.
  std::vector<std::string> modules = options.modules;
  if (modules.empty())
    if (const int exitCode = ListFolderModules(options.plugins, &modules); exitCode >= 0) return exitCode;
  if (!ModulesUsable(modules)) return kExitBadInput;
  Console().SetEcho(false);
  std::printf("validate: strictness %d, seed %llu (--seed %llu replays this run)\n", options.strictness,
              static_cast<unsigned long long>(*options.seed), static_cast<unsigned long long>(*options.seed));
  std::fflush(stdout);

  std::vector<ModuleReport> reports;
  int passed = 0, failed = 0, skipped = 0;
  for (const std::string& module : modules) {
    reports.push_back(ValidateModule(options, only, module));
    for (const CheckReport& c : reports.back().checks) {
      passed += c.outcome.status == Status::Pass;
      failed += c.outcome.status == Status::Fail;
      skipped += c.outcome.status == Status::Skip;
    }
  }
  std::printf("validate: %d passed, %d failed\n", passed, failed);
  if (skipped) std::printf("validate: %d skipped (not for this kind of plug-in)\n", skipped);
  const bool written = WriteReports(options, reports, passed, failed, skipped);
  return failed > 0 || !written ? kExitFailure : kExitOk;
}

}  // namespace host
