// checks_render.cpp - the checks that render: the matrix of sizes and choices, threads, per-sample work,
// round trip and locale.
#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstring>
#include <locale>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/customdata.h"
#include "core/ids.h"
#include "core/memory.h"
#include "core/scene.h"
#include "resources/description.h"
#include "resources/module_texts.h"
#include "scene/scene_file.h"
#include "session/host_counters.h"
#include "session/session_info.h"
#include "validate/call_journal.h"
#include "validate/check_support.h"
#include "validate/checks.h"
#include "validate/subject.h"

namespace host {

using Status = CheckOutcome::Status;

// ---- render matrix ----------------------------------------------------------------------

namespace {

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

}  // namespace

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
    // The range the plug-in's string table documents (IDS_<DESCRIPTION>_OUTPUT_RANGE), if any.
    const auto range = p.description ? DocumentedOutputRange(*p.description) : std::nullopt;
    const bool ranged = range.has_value();
    const double lo = ranged ? range->first : 0, hi = ranged ? range->second : 0;
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
  return found.Outcome(Plural(renders, "render", "renders") + " (" + std::to_string(sizes.size()) +
                       " sizes x " + std::to_string(lightCounts.size()) + " light counts x each choice), " +
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
      const std::string what =
          p.Name() + (instances > 1 ? ", " + std::to_string(instances) + " instances" : "");
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
          found.Problem(what + ": the image on " + std::to_string(many) +
                        " threads differs from the one on 1 thread in " +
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

namespace {

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

}  // namespace

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
    if (!LoadSceneText(*s.GetSession(), saved, "saved scene", &loaded.scene, &error)) {
      const std::string fault = TakeFaultText();
      found.Problem(p.Name() +
                    ": the saved scene does not load: " + (fault.empty() ? error.ToString() : fault));
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

// ---- locale -----------------------------------------------------------------------------

namespace {

/// Switches the C and C++ locales to one that writes numbers with a decimal comma; false
/// when the system has none. The destructor restores the "C" locale.
class DecimalCommaLocale {
 public:
  DecimalCommaLocale() {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "fr_FR.utf8",
                             "German_Germany.1252", "de-DE", "French_France.1252"}) {
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

}  // namespace

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
      if (!s.SampleScene(scene, &comma, &why))
        return Fail(p.Name() + " in the " + locale + " locale: " + why);
    }
    size_t at = 0;
    if (!SamePixels(plain.pixels, comma.pixels, &at))
      found.Problem(p.Name() + ": in the " + locale + " locale the render differs, " +
                    PixelDifference(plain.pixels, comma.pixels, at, plain.width));
    s.GetSession()->DeleteDocument(scene.scene.document);
  }
  return found.Outcome("the same pixels in the \"C\" and the " + locale + " locale");
}

}  // namespace host
