// checks.cpp - the list of checks and running one of them on a module.
#include "validate/checks.h"

#include "c4d_host_abi.h"
#include "validate/check_support.h"
#include "validate/random.h"
#include "validate/subject.h"

namespace host {

using Status = CheckOutcome::Status;

const std::vector<CheckInfo>& Checks() {
  static const std::vector<CheckInfo> checks{
      {"load", 1, "module identity, frameworks, lifecycle codes, registration of every plug-in, clean unload",
       false, true, CheckLoad},
      {"describe", 1, "every plug-in's description parsed, every ID and choice labelled, icons load", true,
       false, CheckDescribe},
      {"defaults", 2, "every parameter has a value of its type inside its range after Init", true, false,
       CheckDefaults},
      {"lifecycle", 3,
       "repeated InitRender/FreeRender, a render after a parameter change and of a copied container, unload "
       "and "
       "load again, nothing left behind",
       true, false, CheckLifecycle},
      {"render-matrix", 3,
       "sizes x light counts x each choice: no NaN, infinity or subnormal, inside the documented "
       "range",
       true, false, CheckRenderMatrix},
      {"threads", 4,
       "the same image on 1 and many threads, byte for byte (many instances at once from level 8)", true,
       false, CheckThreads},
      {"per-sample", 4, "no allocation, container read or list access in Output", true, false,
       CheckPerSample},
      {"round-trip", 5, "save the scene, load it, render: the same pixels", true, false, CheckRoundTrip},
      {"bad-parameters", 5,
       "drawn values in and out of range, odd links, empty and huge lists, sub-shader cycles: no fault, no "
       "leak",
       true, false, CheckBadParameters},
      {"locale", 6, "the same results under a decimal-comma locale", true, false, CheckLocale},
      {"allocation-failure", 9,
       "every allocation of a whole session failed in turn (and every later one too at level 10): no fault, "
       "no leak",
       false, true, CheckAllocationFailure},
  };
  return checks;
}

const CheckInfo* FindCheck(const std::string& name) {
  for (const CheckInfo& c : Checks())
    if (name == c.name) return &c;
  return nullptr;
}

CheckOutcome RunCheck(const CheckInfo& check, const std::string& modulePath, int strictness, uint64_t seed,
                      const std::function<void(const std::string&)>& progress) {
  Subject subject(modulePath, strictness, Random::Derive(seed, check.name), progress);
  CheckOutcome outcome;
  std::vector<ShaderPlugin> shaders;
  if (!check.loadsItself) {
    std::string why;
    if (progress) progress("loading the module");
    if (!subject.Load(&why)) return Fail("the module did not load: " + why);
    shaders = subject.Shaders();
    if (shaders.empty()) {
      for (const RefusedRegistration& r : subject.Refusals())
        if (r.type != C4D_PLUGINTYPE_SHADER && check.shaderOnly)
          return {Status::Skip, "not a shader plug-in (plug-in " + std::to_string(r.id) + " is of type " +
                                    std::to_string(r.type) + ")"};
      if (check.shaderOnly) return Fail("the module registered no shader plug-in");
    }
  }
  outcome = check.run(subject, shaders);
  if (progress) progress("unloading the module");
  subject.Unload();
  const std::string fault = subject.TakeSeenFault();
  if (!fault.empty() && outcome.status != Status::Fail) outcome = Fail(fault);
  return outcome;
}

}  // namespace host
