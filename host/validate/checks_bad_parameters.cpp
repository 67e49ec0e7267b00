// checks_bad_parameters.cpp - the check that feeds a shader values in and out of its description.
#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "core/customdata.h"
#include "core/ids.h"
#include "core/scene.h"
#include "resources/description.h"
#include "scene/scene_file.h"
#include "session/host_counters.h"
#include "session/session_info.h"
#include "validate/check_support.h"
#include "validate/checks.h"
#include "validate/subject.h"

namespace host {

using Status = CheckOutcome::Status;

// ---- bad parameters ---------------------------------------------------------------------

namespace {

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
const int32_t kOddInts[] = {
    -1, 2, 3, 1000, -1000, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()};
/// Sets e to a value drawn from rng, within its range or not; returns it as text. A huge
/// in/exclude list has hugeList entries.
std::string DrawOddValue(const DescriptionElement& e, Node* node, TestScene& scene, Random& rng,
                         int hugeList) {
  Container& data = node->Data();
  Document* doc = scene.scene.document;
  if (rng.Chance(0.1)) {
    data.Remove(e.id);
    return "removed";
  }
  const int32_t type = e.ValueType();
  if (type == C4D_DTYPE_REAL) {
    const double lo = e.min.value_or(0), hi = e.max.value_or(1);
    const double v =
        rng.Chance(0.4) ? rng.Between(lo, hi) * e.UnitScale() : kOddReals[rng.Below(std::size(kOddReals))];
    data.SetFloat(e.id, v);
    return FormatNumber(v);
  }
  if (type == C4D_DTYPE_LONG) {
    int32_t v = int32_t(rng.Next());
    if (!e.cycle.empty() && rng.Chance(0.4))
      v = e.cycle[rng.Below(e.cycle.size())].id;
    else if (rng.Chance(0.6))
      v = kOddInts[rng.Below(std::size(kOddInts))];
    data.SetInt32(e.id, v);
    return std::to_string(v);
  }
  if (type == C4D_DTYPE_VECTOR) {
    Vec3 v(kOddReals[rng.Below(std::size(kOddReals))], rng.Between(-2, 2),
           kOddReals[rng.Below(std::size(kOddReals))]);
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
        const int n = hugeList;
        for (int i = 0; i < n; ++i)
          list.Append(scene.lights.empty() ? nullptr : scene.lights[size_t(i) % scene.lights.size()],
                      int32_t(rng.Next()));
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

}  // namespace

CheckOutcome CheckBadParameters(Subject& s, const std::vector<ShaderPlugin>& shaders) {
  Findings found;
  const int rounds = s.Strictness() >= 8 ? 60 : 20;
  const int hugeList = s.Strictness() >= 8 ? 20000 : 2000;
  int done = 0;
  for (const ShaderPlugin& p : shaders) {
    bool links = false;
    for (const DescriptionElement* e : p.Parameters())
      links |= e->type == ElementType::ShaderLink || e->type == ElementType::Link;
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
          const std::string v = DrawOddValue(*e, scene.shaders.front(), scene, s.Rng(), hugeList);
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
        const std::string where = p.Name() + ", round " + std::to_string(r + 1) + " of " +
                                  std::to_string(rounds) + " (" + values + ")";
        s.Progress(where);
        Samples out;
        // A refusal to prepare is a fair answer to odd values; a fault is not.
        if (!s.SampleScene(scene, &out, &why) && !out.refused) return Fail(where + ": " + why);
        s.GetSession()->DeleteDocument(scene.scene.document);
        const std::string fault = TakeFaultText();
        if (!fault.empty()) return Fail(where + ": " + fault);
        const std::string left = start.Difference(HostCounters::Now());
        if (!left.empty()) found.Problem(where + ": left" + left);
      }
      ++done;
    }
  }
  return found.Outcome(
      Plural(done, "round", "rounds") +
      " of drawn values in and out of range, odd links and lists: no fault, nothing left behind");
}

}  // namespace host
