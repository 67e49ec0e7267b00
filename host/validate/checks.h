// checks.h - what `corvane-host validate` checks, each at a strictness level.
//
// A check runs at its level and above; higher levels run the same checks longer (more
// sizes, rounds, repeats). Each check loads the module into a session of its own and ends
// it again, so a check starts from nothing whether it runs in a child process (the
// default) or after another one in the same process.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace host {

class Subject;
struct ShaderPlugin;

struct CheckOutcome {
  enum class Status { Pass, Fail, Skip };
  Status status = Status::Pass;
  std::string message;  ///< what was checked (PASS), the first problem (FAIL), why not (SKIP)
};

struct CheckInfo {
  const char* name;
  int level;
  const char* summary;  ///< one line for --help and the reports
  bool shaderOnly;      ///< SKIP for a module whose plug-ins are not shaders
  bool loadsItself;     ///< loads the module itself (else RunCheck loads it first)
  CheckOutcome (*run)(Subject& subject, const std::vector<ShaderPlugin>& shaders);
};

/// Every check, in the order they run.
const std::vector<CheckInfo>& Checks();
/// The check called name, or null.
const CheckInfo* FindCheck(const std::string& name);

/// Runs one check on the module file in this process. progress hears what the check is
/// doing, before it does it.
CheckOutcome RunCheck(const CheckInfo& check, const std::string& modulePath, int strictness, uint64_t seed,
                      const std::function<void(const std::string&)>& progress);

}  // namespace host
