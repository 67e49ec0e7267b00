#include "validate/checks.h"

#include <algorithm>
#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstring>
#include <limits>
#include <locale>
#include <set>
#include <thread>

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
#include "validate/subject.h"

namespace host {
namespace {

using Status = CheckOutcome::Status;

/// The problems one check found: the first is reported, the others counted.
class Findings {
 public:
  void Problem(const std::string& what) {
    if (count_++ == 0) first_ = what;
  }
  bool Any() const { return count_ > 0; }
  CheckOutcome Outcome(const std::string& passed) const {
    if (count_ == 0) return {Status::Pass, passed};
    return {Status::Fail,
            first_ + (count_ > 1 ? " (and " + std::to_string(count_ - 1) + " more problem" +
                                       (count_ > 2 ? "s" : "") + ")"
                                 : "")};
  }

 private:
  int count_ = 0;
  std::string first_;
};

CheckOutcome Fail(const std::string& why) { return {Status::Fail, why}; }

std::string Plural(int64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string Key(const DescriptionElement& e) { return e.symbol.empty() ? std::to_string(e.id) : e.symbol; }

bool IsPlainType(int32_t type) {
  return type == C4D_DTYPE_LONG || type == C4D_DTYPE_REAL || type == C4D_DTYPE_VECTOR || type == C4D_DTYPE_STRING;
}

/// A value no image can hold exactly: below the smallest normal float but not zero.
bool IsSubnormal(double v) { return v != 0 && std::fabs(v) < double(FLT_MIN); }

bool SamePixels(const std::vector<Vec3>& a, const std::vector<Vec3>& b, size_t* first) {
  if (a.size() != b.size()) {
    *first = 0;
    return false;
  }
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::memcmp(&a[i], &b[i], sizeof(Vec3)) != 0) {
      *first = i;
      return false;
    }
  }
  return true;
}

size_t CountDifferent(const std::vector<Vec3>& a, const std::vector<Vec3>& b) {
  size_t n = 0;
  for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) n += std::memcmp(&a[i], &b[i], sizeof(Vec3)) != 0;
  return n;
}

/// "pixel (3, 1): (0.5, 0.5, 0.5) then (0.25, 0.25, 0.25)"
std::string PixelDifference(const std::vector<Vec3>& a, const std::vector<Vec3>& b, size_t i, int width) {
  return "pixel (" + std::to_string(int(i) % width) + ", " + std::to_string(int(i) / width) + "): " +
         FormatColor(a[i]) + " then " + FormatColor(b[i]);
}

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
    if (d.displayName.empty()) found.Problem(p.Name() + ": the description " + d.name + " has no name in its string table");
    for (const DescriptionElement& e : d.elements) {
      if (e.symbol.empty() || IsHostSymbol(e.symbol)) continue;  // anonymous or the host's own
      ++labels;
      if (e.IsParameter()) ++parameters;
      if (e.label.empty())
        found.Problem(p.Name() + ": " + e.symbol + " (ID " + std::to_string(e.id) + ") has no label in the string table");
      for (const CycleEntry& c : e.cycle) {
        ++labels;
        if (c.label.empty())
          found.Problem(p.Name() + ": the choice " + c.symbol + " (" + std::to_string(c.id) + ") of " + e.symbol +
                        " has no label in the string table");
      }
      for (int32_t icon : e.icons) {
        namedIcons.insert(icon);
        IconInfo info;
        if (!FindIcon(icon, &info))
          found.Problem(p.Name() + ": " + e.symbol + " shows icon " + std::to_string(icon) + ", which is not registered");
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
                       Plural(parameters, "parameter", "parameters") + ", " + Plural(labels, "label", "labels") +
                       ", " + Plural(icons, "icon", "icons") + " loaded");
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
      if (!s.SampleScene(scene, &changed, &why)) return Fail(p.Name() + ": after a change of " + Key(*e) + ": " + why);
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

// ---- render matrix ----------------------------------------------------------------------

/// One setting of the matrix: a parameter at one value (none: the defaults).
struct Variant {
  const DescriptionElement* parameter = nullptr;
  int32_t value = 0;
  std::string ToString() const {
    return parameter ? Key(*parameter) + " = " + std::to_string(value) : std::string("defaults");
  }
};

std::vector<Variant> MatrixVariants(const ShaderPlugin& p) {
  std::vector<Variant> out{Variant{}};
  for (const DescriptionElement* e : p.Parameters()) {
    for (const CycleEntry& c : e->cycle) out.push_back(Variant{e, c.id});
    if (e->type == ElementType::Bool) out.push_back(Variant{e, 1});
  }
  return out;
}

CheckOutcome CheckRenderMatrix(Subject& s, const std::vector<ShaderPlugin>& shaders) {
  Findings found;
  std::vector<std::pair<int, int>> sizes{{1, 1}, {7, 5}, {32, 24}};
  std::vector<int> lightCounts{0, 1, 3};
  if (s.Strictness() >= 6) {
    sizes.emplace_back(97, 61);
    lightCounts.push_back(8);
  }
  int64_t renders = 0, samples = 0;
  bool anyRanged = false;
  for (const ShaderPlugin& p : shaders) {
    double lo = 0, hi = 0;
    const bool ranged = DocumentedOutputRange(p.id, &lo, &hi);
    anyRanged |= ranged;
    const std::vector<Variant> variants = MatrixVariants(p);
    for (auto [w, h] : sizes) {
      for (int lights : lightCounts) {
        TestScene scene;
        std::string why;
        if (!s.BuildScene(p, w, h, lights, 1, &scene, &why)) return Fail(p.Name() + ": " + why);
        Node* node = scene.shaders.front();
        for (const Variant& v : variants) {
          const std::string where = p.Name() + " at " + std::to_string(w) + " x " + std::to_string(h) + ", " +
                                    Plural(lights, "light", "lights") + ", " + v.ToString();
          s.Progress(where);
          const Container saved = node->Data();
          if (v.parameter) node->Data().SetInt32(v.parameter->id, v.value);
          Samples out;
          if (!s.SampleScene(scene, &out, &why)) return Fail(where + ": " + why);
          node->Data() = saved;
          ++renders;
          samples += int64_t(out.pixels.size());
          if (out.nonFinite > 0)
            found.Problem(where + ": " + Plural(out.nonFinite, "result was", "results were") +
                          " NaN, infinite or beyond the range of a float");
          for (const Vec3& c : out.pixels) {
            if (IsSubnormal(c.x) || IsSubnormal(c.y) || IsSubnormal(c.z)) {
              found.Problem(where + ": a subnormal result " + FormatColor(c));
              break;
            }
            if (ranged && (c.x < lo || c.x > hi || c.y < lo || c.y > hi || c.z < lo || c.z > hi)) {
              found.Problem(where + ": the result " + FormatColor(c) + " is outside the documented range [" +
                            FormatNumber(lo) + ", " + FormatNumber(hi) + "]");
              break;
            }
          }
        }
        s.GetSession()->DeleteDocument(scene.scene.document);
      }
    }
  }
  return found.Outcome(Plural(renders, "render", "renders") + " (" + std::to_string(sizes.size()) + " sizes x " +
                       std::to_string(lightCounts.size()) + " light counts x each choice), " +
                       Plural(samples, "sample", "samples") + ": all finite, none subnormal" +
                       (anyRanged ? ", inside the documented range" : ""));
}

// ---- threads ----------------------------------------------------------------------------

CheckOutcome CheckThreads(Subject& s, const std::vector<ShaderPlugin>& shaders) {
  Findings found;
  const int many = std::max(4, int(std::thread::hardware_concurrency()));
  const int rounds = s.Strictness() >= 6 ? 3 : 1;
  std::vector<int> instanceCounts{1};
  if (s.Strictness() >= 8) instanceCounts.push_back(16);
  for (const ShaderPlugin& p : shaders) {
    for (int instances : instanceCounts) {
      TestScene scene;
      std::string why;
      if (!s.BuildScene(p, 64, 48, 3, instances, &scene, &why)) return Fail(p.Name() + ": " + why);
      const std::string what = p.Name() + (instances > 1 ? ", " + std::to_string(instances) + " instances" : "");
      s.Progress(what + ": rendering on 1 thread");
      RenderImage one;
      if (!s.RenderScene(scene, 1, &one, &why)) return Fail(what + " on 1 thread: " + why);
      for (int r = 0; r < rounds; ++r) {
        s.Progress(what + ": rendering on " + std::to_string(many) + " threads");
        RenderImage parallel;
        if (!s.RenderScene(scene, many, &parallel, &why))
          return Fail(what + " on " + std::to_string(many) + " threads: " + why);
        size_t at = 0;
        if (!SamePixels(one.Pixels(), parallel.Pixels(), &at)) {
          found.Problem(what + ": the image on " + std::to_string(many) + " threads differs from the one on 1 thread in " +
                        std::to_string(CountDifferent(one.Pixels(), parallel.Pixels())) + " of " +
                        std::to_string(one.Pixels().size()) + " pixels, first " +
                        PixelDifference(one.Pixels(), parallel.Pixels(), at, one.Width()));
          break;
        }
      }
      s.GetSession()->DeleteDocument(scene.scene.document);
    }
  }
  return found.Outcome("the same image on 1 and " + std::to_string(many) + " threads, byte for byte" +
                       (instanceCounts.size() > 1 ? ", also with 16 instances at once" : ""));
}

// ---- per sample -------------------------------------------------------------------------

CheckOutcome CheckPerSample(Subject& s, const std::vector<ShaderPlugin>& shaders) {
  Findings found;
  int64_t samples = 0;
  for (const ShaderPlugin& p : shaders) {
    TestScene scene;
    std::string why;
    if (!s.BuildScene(p, 16, 12, 3, 1, &scene, &why)) return Fail(p.Name() + ": " + why);
    int64_t allocations = 0, requests = 0;
    CallCounts calls;
    s.Progress(p.Name() + ": sampling with the allocator and the call journal counting");
    Samples out;
    const bool sampled = s.SampleScene(scene, &out, &why, [&](bool sampling) {
      if (sampling) {
        allocations = GetMemoryStats().totalAllocations;
        requests = ModuleAllocationRequests();
        StartCallJournal();
      } else {
        calls = StopCallJournal();
        allocations = GetMemoryStats().totalAllocations - allocations;
        requests = ModuleAllocationRequests() - requests;
      }
    });
    if (!sampled) return Fail(p.Name() + ": " + why);
    const int64_t n = int64_t(out.pixels.size());
    samples += n;
    std::string per;
    if (allocations > 0 || requests > 0)
      per = Plural(std::max(allocations, requests), "allocation", "allocations");
    const std::string journal = calls.ToString();
    if (!journal.empty()) per += (per.empty() ? "" : ", ") + journal;
    if (!per.empty())
      found.Problem(p.Name() + ": Output made " + per + " in " + Plural(n, "sample", "samples") +
                    " (parameters and lists belong in InitRender)");
    s.GetSession()->DeleteDocument(scene.scene.document);
  }
  return found.Outcome(Plural(samples, "sample", "samples") +
                       " without an allocation, a container read or a list access");
}

// ---- round trip -------------------------------------------------------------------------

/// Sets every parameter to a value inside what its description allows, drawn from rng.
void DrawDescribedValues(const ShaderPlugin& p, Node* node, Random& rng) {
  for (const DescriptionElement* e : p.Parameters()) {
    if (!e->cycle.empty()) {
      node->Data().SetInt32(e->id, e->cycle[rng.Below(e->cycle.size())].id);
    } else if (e->type == ElementType::Bool) {
      node->Data().SetBool(e->id, rng.Chance(0.5));
    } else if (e->type == ElementType::Real) {
      const double lo = e->min.value_or(0), hi = e->max.value_or(1);
      node->Data().SetFloat(e->id, rng.Between(lo, hi) * e->UnitScale());
    }
  }
}

CheckOutcome CheckRoundTrip(Subject& s, const std::vector<ShaderPlugin>& shaders) {
  Findings found;
  for (const ShaderPlugin& p : shaders) {
    TestScene scene;
    std::string why;
    if (!s.BuildScene(p, 24, 16, 3, 1, &scene, &why)) return Fail(p.Name() + ": " + why);
    DrawDescribedValues(p, scene.shaders.front(), s.Rng());
    s.Progress(p.Name() + ": rendering before saving");
    Samples before;
    if (!s.SampleScene(scene, &before, &why)) return Fail(p.Name() + ": " + why);
    const std::string saved = SceneToText(scene.scene);
    s.Progress(p.Name() + ": loading the saved scene");
    TestScene loaded;
    SceneError error;
    if (!LoadSceneText(saved, "saved scene", &loaded.scene, &error)) {
      const std::string fault = TakeFaultText();
      found.Problem(p.Name() + ": the saved scene does not load: " + (fault.empty() ? error.ToString() : fault));
      continue;
    }
    Samples after;
    if (!s.SampleScene(loaded, &after, &why)) return Fail(p.Name() + ": the loaded scene: " + why);
    size_t at = 0;
    if (!SamePixels(before.pixels, after.pixels, &at))
      found.Problem(p.Name() + ": saved and loaded, the scene renders differently, " +
                    PixelDifference(before.pixels, after.pixels, at, before.width));
    if (SceneToText(loaded.scene) != saved)
      found.Problem(p.Name() + ": saved again, the loaded scene is not the scene that was saved");
    s.GetSession()->DeleteDocument(scene.scene.document);
    s.GetSession()->DeleteDocument(loaded.scene.document);
  }
  return found.Outcome("saved, loaded and rendered: the same pixels and the same scene file");
}

// ---- bad parameters ---------------------------------------------------------------------

const double kOddReals[] = {0.0,
                            -0.0,
                            -1.0,
                            1e-310,
                            -1e9,
                            1e9,
                            1e300,
                            std::numeric_limits<double>::infinity(),
                            -std::numeric_limits<double>::infinity(),
                            std::numeric_limits<double>::quiet_NaN()};
const int32_t kOddInts[] = {-1, 2, 3, 1000, -1000, std::numeric_limits<int32_t>::min(),
                            std::numeric_limits<int32_t>::max()};
/// Entries of the huge in/exclude lists (set by the strictness).
int hugeListLength = 2000;

/// Sets e to a value drawn from rng, within its range or not; returns it as text.
std::string DrawOddValue(const DescriptionElement& e, Node* node, TestScene& scene, Random& rng) {
  Container& data = node->Data();
  Document* doc = scene.scene.document;
  if (rng.Chance(0.1)) {
    data.Remove(e.id);
    return "removed";
  }
  const int32_t type = e.ValueType();
  if (type == C4D_DTYPE_REAL) {
    const double lo = e.min.value_or(0), hi = e.max.value_or(1);
    const double v = rng.Chance(0.4) ? rng.Between(lo, hi) * e.UnitScale() : kOddReals[rng.Below(std::size(kOddReals))];
    data.SetFloat(e.id, v);
    return FormatNumber(v);
  }
  if (type == C4D_DTYPE_LONG) {
    int32_t v = int32_t(rng.Next());
    if (!e.cycle.empty() && rng.Chance(0.4)) v = e.cycle[rng.Below(e.cycle.size())].id;
    else if (rng.Chance(0.6)) v = kOddInts[rng.Below(std::size(kOddInts))];
    data.SetInt32(e.id, v);
    return std::to_string(v);
  }
  if (type == C4D_DTYPE_VECTOR) {
    Vec3 v(kOddReals[rng.Below(std::size(kOddReals))], rng.Between(-2, 2), kOddReals[rng.Below(std::size(kOddReals))]);
    data.SetVector(e.id, v);
    return FormatColor(v);
  }
  if (type == C4D_DTYPE_STRING) {
    const bool huge = rng.Chance(0.5);
    data.SetString(e.id, huge ? std::string(100000, 'x') : std::string());
    return huge ? "a text of 100000 characters" : "an empty text";
  }
  if (type == C4D_DTYPE_LINK) {
    switch (rng.Below(5)) {
      case 0:
        data.SetLink(e.id, nullptr);
        return "an empty link";
      case 1:
        data.SetLink(e.id, node);
        return "a link to the instance itself";
      case 2:
        data.SetLink(e.id, scene.lights.empty() ? nullptr : scene.lights.front());
        return "a link to a light";
      case 3: {
        Node* gone = doc->CreateShader(kShaderColor, "Deleted");
        data.SetLink(e.id, gone);
        doc->DeleteNode(gone);
        return "a link to a deleted shader";
      }
      default: {
        Node* colour = doc->CreateShader(kShaderColor, "Colour");
        data.SetLink(e.id, colour);
        return "a link to a colour shader";
      }
    }
  }
  if (type == C4D_CUSTOMDATA_INEXCLUDE) {
    InExclude list;
    std::string what;
    switch (rng.Below(4)) {
      case 0:
        what = "an empty list";
        break;
      case 1: {
        const int n = hugeListLength;
        for (int i = 0; i < n; ++i)
          list.Append(scene.lights.empty() ? nullptr : scene.lights[size_t(i) % scene.lights.size()], int32_t(rng.Next()));
        what = "a list of " + std::to_string(n) + " entries";
        break;
      }
      case 2: {
        Node* gone = doc->CreateObject(C4D_TYPE_LIGHT, "Deleted light");
        list.Append(gone, 3);
        for (Node* l : scene.lights) list.Append(l, int32_t(rng.Next()));
        doc->DeleteNode(gone);
        what = "a list with a deleted light";
        break;
      }
      default:
        list.Append(node, 3);
        list.Append(nullptr, 1);
        what = "a list of the instance itself and an empty entry";
        break;
    }
    data.Set(e.id, Value::FromInExclude(list));
    return what;
  }
  return "unchanged";
}

CheckOutcome CheckBadParameters(Subject& s, const std::vector<ShaderPlugin>& shaders) {
  Findings found;
  const int rounds = s.Strictness() >= 8 ? 60 : 20;
  hugeListLength = s.Strictness() >= 8 ? 20000 : 2000;
  int done = 0;
  for (const ShaderPlugin& p : shaders) {
    bool links = false;
    for (const DescriptionElement* e : p.Parameters()) links |= e->type == ElementType::ShaderLink || e->type == ElementType::Link;
    for (int r = 0; r < rounds; ++r) {
      const HostCounters start = HostCounters::Now();
      {
        TestScene scene;
        std::string why;
        // Two instances linking each other form a cycle of sub-shaders.
        const int instances = links && r % 4 == 3 ? 2 : 1;
        if (!s.BuildScene(p, 6, 4, int(s.Rng().Below(4)), instances, &scene, &why))
          return Fail(p.Name() + ": " + why);
        std::string values;
        for (const DescriptionElement* e : p.Parameters()) {
          const std::string v = DrawOddValue(*e, scene.shaders.front(), scene, s.Rng());
          values += (values.empty() ? "" : ", ") + Key(*e) + " " + v;
        }
        if (instances == 2) {
          for (const DescriptionElement* e : p.Parameters()) {
            if (e->type != ElementType::ShaderLink) continue;
            scene.shaders[0]->Data().SetLink(e->id, scene.shaders[1]);
            scene.shaders[1]->Data().SetLink(e->id, scene.shaders[0]);
          }
          values += ", two instances linking each other";
        }
        const std::string where = p.Name() + ", round " + std::to_string(r + 1) + " of " + std::to_string(rounds) +
                                  " (" + values + ")";
        s.Progress(where);
        Samples out;
        // A refusal to prepare is a fair answer to odd values; a fault is not.
        if (!s.SampleScene(scene, &out, &why) && !out.refused)
          return Fail(where + ": " + why);
        s.GetSession()->DeleteDocument(scene.scene.document);
        const std::string fault = TakeFaultText();
        if (!fault.empty()) return Fail(where + ": " + fault);
        const std::string left = start.Difference(HostCounters::Now());
        if (!left.empty()) found.Problem(where + ": left" + left);
      }
      ++done;
    }
  }
  return found.Outcome(Plural(done, "round", "rounds") +
                       " of drawn values in and out of range, odd links and lists: no fault, nothing left behind");
}

// ---- locale -----------------------------------------------------------------------------

/// Switches the C and C++ locales to one that writes numbers with a decimal comma; false
/// when the system has none. The destructor restores the "C" locale.
class DecimalCommaLocale {
 public:
  DecimalCommaLocale() {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "fr_FR.utf8", "German_Germany.1252",
                             "de-DE", "French_France.1252"}) {
      if (!std::setlocale(LC_ALL, name)) continue;
      if (std::strcmp(std::localeconv()->decimal_point, ",") != 0) continue;
      name_ = name;
      try {
        std::locale::global(std::locale(name));
      } catch (...) {
        // The C locale alone still tells.
      }
      return;
    }
    std::setlocale(LC_ALL, "C");
  }
  ~DecimalCommaLocale() {
    std::setlocale(LC_ALL, "C");
    std::locale::global(std::locale::classic());
  }
  const std::string& Name() const { return name_; }

 private:
  std::string name_;
};

CheckOutcome CheckLocale(Subject& s, const std::vector<ShaderPlugin>& shaders) {
  Findings found;
  std::string locale;
  for (const ShaderPlugin& p : shaders) {
    TestScene scene;
    std::string why;
    if (!s.BuildScene(p, 16, 12, 3, 1, &scene, &why)) return Fail(p.Name() + ": " + why);
    DrawDescribedValues(p, scene.shaders.front(), s.Rng());
    s.Progress(p.Name() + ": rendering in the \"C\" locale");
    Samples plain, comma;
    if (!s.SampleScene(scene, &plain, &why)) return Fail(p.Name() + ": " + why);
    {
      DecimalCommaLocale switched;
      if (switched.Name().empty())
        return {Status::Skip, "this system has no locale with a decimal comma (install de_DE.UTF-8)"};
      locale = switched.Name();
      s.Progress(p.Name() + ": rendering in the " + locale + " locale");
      if (!s.SampleScene(scene, &comma, &why)) return Fail(p.Name() + " in the " + locale + " locale: " + why);
    }
    size_t at = 0;
    if (!SamePixels(plain.pixels, comma.pixels, &at))
      found.Problem(p.Name() + ": in the " + locale + " locale the render differs, " +
                    PixelDifference(plain.pixels, comma.pixels, at, plain.width));
    s.GetSession()->DeleteDocument(scene.scene.document);
  }
  return found.Outcome("the same pixels in the \"C\" and the " + locale + " locale");
}

// ---- allocation failure -----------------------------------------------------------------

/// A whole session: load, render a small scene with each shader, save it, unload. False
/// with *why when module code faulted (a failed allocation may fairly end in a refusal).
/// count and journal, when given, receive the session's allocation requests (read before
/// the session ends, which resets their numbering).
bool AllocationSession(Subject& s, const std::function<void()>& arm, std::string* why, int64_t* count = nullptr,
                       std::vector<std::string>* journal = nullptr) {
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
      const bool clean = AllocationSession(s, [n, mode] {
        ResetModuleAllocationFaults();
        if (mode == 0) FailModuleAllocation(n);
        else FailModuleAllocationsFrom(n);
      }, &why);
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

}  // namespace

bool DocumentedOutputRange(int32_t pluginId, double* lo, double* hi) {
  // Corvane clamps its grey and its default gradient runs from black to white.
  if (pluginId == 1057829) {
    *lo = 0;
    *hi = 1;
    return true;
  }
  return false;
}

const std::vector<CheckInfo>& Checks() {
  static const std::vector<CheckInfo> checks{
      {"load", 1, "module identity, frameworks, lifecycle codes, registration of every plug-in, clean unload", false,
       true, CheckLoad},
      {"describe", 1, "every plug-in's description parsed, every ID and choice labelled, icons load", true,
       false, CheckDescribe},
      {"defaults", 2, "every parameter has a value of its type inside its range after Init", true, false, CheckDefaults},
      {"lifecycle", 3,
       "repeated InitRender/FreeRender, a render after a parameter change and of a copied container, unload and "
       "load again, nothing left behind",
       true, false, CheckLifecycle},
      {"render-matrix", 3, "sizes x light counts x each choice: no NaN, infinity or subnormal, inside the documented "
                           "range",
       true, false, CheckRenderMatrix},
      {"threads", 4, "the same image on 1 and many threads, byte for byte (many instances at once from level 8)", true,
       false, CheckThreads},
      {"per-sample", 4, "no allocation, container read or list access in Output", true, false, CheckPerSample},
      {"round-trip", 5, "save the scene, load it, render: the same pixels", true, false, CheckRoundTrip},
      {"bad-parameters", 5,
       "drawn values in and out of range, odd links, empty and huge lists, sub-shader cycles: no fault, no leak",
       true, false, CheckBadParameters},
      {"locale", 6, "the same results under a decimal-comma locale", true, false, CheckLocale},
      {"allocation-failure", 9,
       "every allocation of a whole session failed in turn (and every later one too at level 10): no fault, no leak",
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
