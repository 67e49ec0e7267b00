// validate.h - `corvane-host validate`: drives a module's plug-ins through every state the
// host can put them in, with growing strictness, and reports what broke.
//
// Each check (checks.h) runs in a child process of its own with a time limit: a crash, a
// hang or an abort of the plug-in fails that check with the signal or "timeout" and the
// call then running, and the next check starts fresh. One line per check (PASS, FAIL with
// the reason, SKIP with why), then "validate: N passed, M failed". The seed is always
// printed; --seed replays a run exactly.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace host {

struct ValidateOptions {
  std::vector<std::string> modules;  ///< module files; empty: every module of `plugins`
  std::string plugins;               ///< plug-ins folder
  int strictness = 5;                ///< 1..10
  std::optional<uint64_t> seed;      ///< none: a new one, printed
  int timeoutMs = 30000;             ///< per check
  std::string junit, json;           ///< report files (empty: none)
  std::string only;                  ///< one check by name (empty: all of the level)
  bool inProcess = false;            ///< every check in this process (for debugging)
  std::string program;               ///< this program's file, for the child processes
  /// In a child process: run `only` on the one module and write its outcome here.
  std::string resultFile;
};

/// Runs the validation; the exit code: 0 when nothing failed, 1 otherwise, 2 for unusable
/// options (an unknown check, a missing folder).
int RunValidate(const ValidateOptions& options);

/// The checks with their levels and what each does, for --help.
std::string DescribeChecks();

}  // namespace host
