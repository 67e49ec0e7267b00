// checks_module.cpp - the checks of a module as a whole: load, describe, defaults, lifecycle and allocation
// failure.
#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "bitmap/bitmap.h"
#include "core/customdata.h"
#include "core/ids.h"
#include "core/memory.h"
#include "core/scene.h"
#include "resources/description.h"
#include "scene/scene_file.h"
#include "session/host_counters.h"
#include "session/session_info.h"
#include "validate/call_journal.h"
#include "validate/check_support.h"
#include "validate/checks.h"
#include "validate/subject.h"

namespace host {

using Status = CheckOutcome::Status;

// ---- load -------------------------------------------------------------------------------

CheckOutcome CheckLoad(Subject& s, const std::vector<ShaderPlugin>&) {
  const HostCounters before = HostCounters::Now();
  Findings found;
  std::string summary;
  {
    std::string why;
    s.Progress("loading the module");
    if (!s.Load(&why)) return Fail(why);
    const Module& m = *s.GetModule();
    const ModuleIdentity& id = m.Identity();
    if (id.identifier.empty()) found.Problem("the module declares no module identifier");
    for (const std::string& p : id.problems) found.Problem("its framework records: " + p);
    if (id.dependencies.empty()) found.Problem("the module declares no framework");
    for (const std::string& f : id.dependencies)
      if (f.empty()) found.Problem("the module declares a framework without a name");
    if (m.Codes().loadResource != 1 && m.Codes().loadResource != -1)
      found.Problem("message 1 (load resources) answered " + std::to_string(m.Codes().loadResource));
    const std::vector<ShaderPlugin> shaders = s.Shaders();
    const std::vector<RefusedRegistration> refusals = s.Refusals();
    int otherTypes = 0;
    for (const RefusedRegistration& r : refusals) {
      if (r.type != C4D_PLUGINTYPE_SHADER && r.why.find("unsupported plug-in type") != std::string::npos)
        ++otherTypes;
      else
        found.Problem("the host refused a registration: " + r.why);
    }
    if (shaders.empty() && otherTypes == 0) found.Problem("the module registered no plug-in");
    summary = "module " + (id.identifier.empty() ? std::string("(no identifier)") : id.identifier) + " (" +
              m.LoaderName() + "): " + Plural(int64_t(shaders.size()), "shader plug-in", "shader plug-ins");
    for (const ShaderPlugin& p : shaders) summary += " " + std::to_string(p.id);
    if (otherTypes) summary += ", " + Plural(otherTypes, "plug-in", "plug-ins") + " of another type";
    summary += ", " + Plural(int64_t(id.dependencies.size()), "framework", "frameworks");
    s.Progress("unloading the module");
    s.Unload();
    const std::string fault = TakeFaultText();
    if (!fault.empty()) found.Problem(fault);
  }
  const std::string left = before.Difference(HostCounters::Now());
  if (!left.empty()) found.Problem("unloading the module left" + left);
  return found.Outcome(summary + "; started, registered and unloaded cleanly");
}

// ---- describe ---------------------------------------------------------------------------

CheckOutcome CheckDescribe(Subject& s, const std::vector<ShaderPlugin>& shaders) {
  Findings found;
  int parameters = 0, labels = 0;
  std::set<int32_t> namedIcons;
  for (const ShaderPlugin& p : shaders) {
    if (!p.description) {
      found.Problem(p.Name() + " registered no description");
      continue;
    }
    const Description& d = p.description->description;
    if (d.displayName.empty())
      found.Problem(p.Name() + ": the description " + d.name + " has no name in its string table");
    for (const DescriptionElement& e : d.elements) {
      if (e.symbol.empty() || IsHostSymbol(e.symbol)) continue;  // anonymous or the host's own
      ++labels;
      if (e.IsParameter()) ++parameters;
      if (e.label.empty())
        found.Problem(p.Name() + ": " + e.symbol + " (ID " + std::to_string(e.id) +
                      ") has no label in the string table");
      for (const CycleEntry& c : e.cycle) {
        ++labels;
        if (c.label.empty())
          found.Problem(p.Name() + ": the choice " + c.symbol + " (" + std::to_string(c.id) + ") of " +
                        e.symbol + " has no label in the string table");
      }
      for (int32_t icon : e.icons) {
        namedIcons.insert(icon);
        IconInfo info;
        if (!FindIcon(icon, &info))
          found.Problem(p.Name() + ": " + e.symbol + " shows icon " + std::to_string(icon) +
                        ", which is not registered");
      }
    }
  }
  int icons = 0;
  for (const IconInfo& icon : ListIcons()) {
    if (icon.owner != &s.GetModule()->State()) continue;
    ++icons;
    const Image& picture = BitmapImage(icon.bitmap);
    if (icon.w <= 0 || icon.h <= 0 || picture.width != icon.w || picture.height != icon.h)
      found.Problem("icon " + std::to_string(icon.id) + " from " + icon.file + " has no picture of " +
                    std::to_string(icon.w) + " x " + std::to_string(icon.h) + " pixels");
  }
  return found.Outcome(Plural(int64_t(shaders.size()), "description", "descriptions") + ", " +
                       Plural(parameters, "parameter", "parameters") + ", " +
                       Plural(labels, "label", "labels") + ", " + Plural(icons, "icon", "icons") + " loaded");
}

// ---- defaults ---------------------------------------------------------------------------

CheckOutcome CheckDefaults(Subject& s, const std::vector<ShaderPlugin>& shaders) {
  Findings found;
  int checked = 0;
  Document* doc = s.GetSession()->NewDocument("defaults");
  for (const ShaderPlugin& p : shaders) {
    s.Progress("making a default instance of " + p.Name());
    Node* node = doc->CreateShader(p.id, "Default");
    const std::string fault = TakeFaultText();
    if (!fault.empty()) return Fail(fault);
    if (!node) {
      found.Problem("no instance of " + p.Name() + " could be made (Alloc or Init failed)");
      continue;
    }
    for (const DescriptionElement* e : p.Parameters()) {
      const int32_t type = e->ValueType();
      if (type == C4D_DTYPE_NONE) continue;
      ++checked;
      const Value* v = node->Data().Find(e->id);
      // Links and custom data may be absent (an empty link, data made when first used);
      // numbers and texts need a value.
      if (!v) {
        if (IsPlainType(type)) found.Problem(p.Name() + ": " + Key(*e) + " has no value after Init");
        continue;
      }
      const std::string problem = e->Check(*v);
      if (!problem.empty()) found.Problem(p.Name() + ": " + Key(*e) + ": " + problem + " after Init");
    }
  }
  return found.Outcome(Plural(checked, "parameter", "parameters") +
                       " of a new instance hold a value of their type inside their range");
}

// ---- lifecycle --------------------------------------------------------------------------

namespace {

/// A cycle value other than the current one, or a REAL moved inside its range: the
/// parameter change of the lifecycle check. False when e has nothing to change.
bool ChangeParameter(const DescriptionElement& e, Container& data) {
  const Value* v = data.Find(e.id);
  if (!e.cycle.empty()) {
    const int32_t now = v ? v->GetInt32() : e.cycle.front().id;
    for (const CycleEntry& c : e.cycle) {
      if (c.id == now) continue;
      data.SetInt32(e.id, c.id);
      return true;
    }
    return false;
  }
  if (e.type == ElementType::Bool) {
    data.SetBool(e.id, !(v && v->GetBool()));
    return true;
  }
  if (e.type == ElementType::Real) {
    const double lo = e.min.value_or(0), hi = e.max.value_or(1);
    data.SetFloat(e.id, (lo + (hi - lo) * 0.7) * e.UnitScale());
    return true;
  }
  return false;
}

}  // namespace

CheckOutcome CheckLifecycle(Subject& s, const std::vector<ShaderPlugin>& shaders) {
  Findings found;
  const int repeats = s.Strictness() >= 6 ? 10 : 3;
  int renders = 0;
  for (const ShaderPlugin& p : shaders) {
    TestScene scene;
    std::string why;
    const HostCounters start = HostCounters::Now();
    if (!s.BuildScene(p, 16, 12, 2, 1, &scene, &why)) return Fail(p.Name() + ": " + why);
    // The first round may keep what later ones reuse (render lights until the next
    // InitRender, say); each later round must end where the first one did.
    HostCounters afterFirst;
    Samples first;
    for (int r = 0; r < repeats; ++r) {
      s.Progress(p.Name() + ": InitRender, samples, FreeRender, round " + std::to_string(r + 1) + " of " +
                 std::to_string(repeats));
      Samples again;
      if (!s.SampleScene(scene, r == 0 ? &first : &again, &why)) return Fail(p.Name() + ": " + why);
      ++renders;
      if (r == 0) afterFirst = HostCounters::Now();
      const std::string left = afterFirst.Difference(HostCounters::Now());
      if (!left.empty())
        found.Problem(p.Name() + ": InitRender and FreeRender, round " + std::to_string(r + 1) +
                      ", left more than round 1:" + left);
      size_t at = 0;
      if (r > 0 && !SamePixels(first.pixels, again.pixels, &at))
        found.Problem(p.Name() + ": round " + std::to_string(r + 1) + " of the same render differs at " +
                      PixelDifference(first.pixels, again.pixels, at, first.width));
    }

    // A parameter change, then a render.
    Node* node = scene.shaders.front();
    for (const DescriptionElement* e : p.Parameters()) {
      const Container saved = node->Data();
      if (!ChangeParameter(*e, node->Data())) continue;
      s.Progress(p.Name() + ": rendering after a change of " + Key(*e));
      Samples changed;
      if (!s.SampleScene(scene, &changed, &why))
        return Fail(p.Name() + ": after a change of " + Key(*e) + ": " + why);
      ++renders;
      node->Data() = saved;
    }

    // A copy of the container, rendered by a second instance in the first one's place.
    s.Progress(p.Name() + ": rendering a copy of the container");
    Node* twin = scene.scene.document->CreateShader(p.id, "Twin");
    Node* material = scene.scene.document->FindNode("Material 0");
    if (!twin || !material) {
      found.Problem(p.Name() + ": no second instance could be made");
    } else {
      twin->Data() = node->Data();
      material->InsertShader(twin);
      material->Data().SetLink(MATERIAL_COLOR_SHADER, twin);
      Samples copied;
      if (!s.SampleScene(scene, &copied, &why)) return Fail(p.Name() + ": the copy: " + why);
      ++renders;
      size_t at = 0;
      if (!SamePixels(first.pixels, copied.pixels, &at))
        found.Problem(p.Name() + ": an instance with a copy of the container renders differently, " +
                      PixelDifference(first.pixels, copied.pixels, at, first.width));
    }
    s.GetSession()->DeleteDocument(scene.scene.document);
    const std::string fault = TakeFaultText();
    if (!fault.empty()) return Fail(fault);
    const std::string left = start.Difference(HostCounters::Now());
    if (!left.empty()) found.Problem(p.Name() + ": deleting the instances left" + left);
  }
  // Unloading and loading again: the module starts a second time as it did the first.
  s.Progress("unloading and loading the module again");
  const HostCounters beforeReload = HostCounters::Now();
  std::string why;
  if (!s.Load(&why)) return Fail("loading the module a second time: " + why);
  if (s.Shaders().size() != shaders.size())
    found.Problem("loaded a second time, the module registered " + std::to_string(s.Shaders().size()) +
                  " shader plug-ins instead of " + std::to_string(shaders.size()));
  const std::string left = beforeReload.Difference(HostCounters::Now());
  if (!left.empty()) found.Problem("unloading and loading the module again changed" + left);
  return found.Outcome(Plural(renders, "render", "renders") + " (" + std::to_string(repeats) +
                       " InitRender/FreeRender rounds, parameter changes, a copied container), unloaded and "
                       "loaded again, nothing left behind");
}

// ---- allocation failure -----------------------------------------------------------------

namespace {

/// A whole session: load, render a small scene with each shader, save it, unload. False
/// with *why when module code faulted (a failed allocation may fairly end in a refusal).
/// count and journal, when given, receive the session's allocation requests (read before
/// the session ends, which resets their numbering).
bool AllocationSession(Subject& s, const std::function<void()>& arm, std::string* why,
                       int64_t* count = nullptr, std::vector<std::string>* journal = nullptr) {
  std::string refused;
  if (s.Load(&refused, arm)) {
    for (const ShaderPlugin& p : s.Shaders()) {
      TestScene scene;
      if (!s.BuildScene(p, 4, 3, 2, 1, &scene, &refused)) continue;
      Samples out;
      s.SampleScene(scene, &out, &refused);
      SceneToText(scene.scene);
    }
  }
  if (count) *count = ModuleAllocationRequests();
  if (journal) *journal = ModuleAllocationJournal();
  s.Unload();
  const std::string fault = s.TakeSeenFault();
  if (!fault.empty()) {
    *why = fault;
    return false;
  }
  return true;
}

}  // namespace

CheckOutcome CheckAllocationFailure(Subject& s, const std::vector<ShaderPlugin>&) {
  Findings found;
  s.Progress("counting the module's allocation requests");
  std::vector<std::string> journal;
  std::string why;
  int64_t count = 0;
  const bool counted = AllocationSession(
      s,
      [] {
        ResetModuleAllocationFaults();
        JournalModuleAllocations(true);
      },
      &why, &count, &journal);
  JournalModuleAllocations(false);
  if (!counted) return Fail(why);
  const bool alsoLater = s.Strictness() >= 10;
  int runs = 0;
  for (int64_t n = 1; n <= count; ++n) {
    for (int mode = 0; mode < (alsoLater ? 2 : 1); ++mode) {
      const std::string what = (mode == 0 ? "request " : "requests from ") + std::to_string(n) + " of " +
                               std::to_string(count) + " failing" +
                               (size_t(n) <= journal.size() ? " (" + journal[size_t(n - 1)] + ")" : "");
      s.Progress(what);
      const HostCounters start = HostCounters::Now();
      const bool clean = AllocationSession(
          s,
          [n, mode] {
            ResetModuleAllocationFaults();
            if (mode == 0)
              FailModuleAllocation(n);
            else
              FailModuleAllocationsFrom(n);
          },
          &why);
      ++runs;
      if (!clean) found.Problem("with " + what + ": " + why);
      const std::string left = start.Difference(HostCounters::Now());
      if (!left.empty()) found.Problem("with " + what + ", the session left" + left);
    }
  }
  ResetModuleAllocationFaults();
  return found.Outcome(Plural(count, "allocation request", "allocation requests") + " failed in turn (" +
                       Plural(runs, "session", "sessions") + "): no fault, nothing left behind");
}

}  // namespace host
