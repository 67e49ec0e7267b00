// validate_command.cpp - `corvane-host validate`: its options, the report paths checked
// before any work, and the run handed to the validator.
#include <string>

#include "cli/commands.h"

namespace host::cli {

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
  validate->add_flag("--in-process", v.inProcess,
                     "Run every check in this process (for debugging: a crash ends all)");
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

}  // namespace host::cli
