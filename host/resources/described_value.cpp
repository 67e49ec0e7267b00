#include "resources/described_value.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "core/customdata.h"
#include "session/session_info.h"

namespace host {

namespace {

std::string Number(double v) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v > 0 ? "infinity" : "-infinity";
  char text[32];
  const auto r = std::to_chars(text, text + sizeof text, v);
  return std::string(text, r.ptr);
}

/// The unit a REAL is shown in (" %", "°"), empty for plain numbers.
std::string UnitSuffix(const DescriptionElement& e) {
  const DescriptionFlag* unit = e.Flag("UNIT");
  if (!unit || unit->args.empty()) return {};
  if (unit->args[0] == "PERCENT") return " %";
  if (unit->args[0] == "DEGREE") return "°";
  return {};
}

/// A stored REAL as the user sees it: "0.5 (50 %)" for a percentage, "0.5" without a unit.
std::string Shown(const DescriptionElement& e, double stored) {
  const std::string unit = UnitSuffix(e);
  if (unit.empty()) return Number(stored);
  return Number(stored) + " (" + Number(stored / e.UnitScale()) + unit + ")";
}

std::string RealProblem(const DescriptionElement& e, double x) {
  if (!std::isfinite(x)) return "the value " + Number(x) + " is not a finite number";
  double lo = 0, hi = 0;
  const double scale = e.UnitScale(), slack = 1e-12;
  const bool hasLo = e.Number("MIN", &lo), hasHi = e.Number("MAX", &hi);
  if ((hasLo && x < lo * scale - slack) || (hasHi && x > hi * scale + slack)) {
    const std::string range = hasLo && hasHi ? "the range " + Shown(e, lo * scale) + " to " + Shown(e, hi * scale)
                              : hasLo       ? "the range from " + Shown(e, lo * scale) + " up"
                                            : "the range up to " + Shown(e, hi * scale);
    return "the value " + Shown(e, x) + " is outside " + range;
  }
  return {};
}

std::string LongProblem(const DescriptionElement& e, int32_t x) {
  const std::string value = "the value " + std::to_string(x);
  if (e.type == "BOOL" && x != 0 && x != 1) return value + " is neither 0 (off) nor 1 (on)";
  if (!e.cycle.empty() &&
      std::none_of(e.cycle.begin(), e.cycle.end(), [&](const CycleEntry& c) { return c.id == x; })) {
    std::string choices;
    for (const CycleEntry& c : e.cycle) {
      choices += (choices.empty() ? "" : ", ") + std::to_string(c.id);
      if (!c.label.empty()) choices += " (" + c.label + ")";
    }
    return value + " is not one of the choices " + choices;
  }
  double lo = 0, hi = 0;
  const bool hasLo = e.Number("MIN", &lo), hasHi = e.Number("MAX", &hi);
  if ((hasLo && x < lo) || (hasHi && x > hi))
    return value + " is outside the range " + (hasLo ? Number(lo) : "-2147483648") + " to " +
           (hasHi ? Number(hi) : "2147483647");
  return {};
}

std::string ListProblem(const DescriptionElement& e, const InExclude& list) {
  double count = 0;
  if (!e.Number("NUM_FLAGS", &count) || count < 0 || count > 30) return {};
  const int32_t most = (int32_t(1) << int32_t(count)) - 1;
  const std::vector<InExclude::Entry>& entries = list.Entries();
  for (size_t i = 0; i < entries.size(); ++i) {
    const int32_t flags = entries[i].flags;
    if (flags < 0 || flags > most)
      return "entry " + std::to_string(i) + " has the flags " + std::to_string(flags) + ", beyond the " +
             Number(count) + " flags declared (0 to " + std::to_string(most) + ")";
  }
  return {};
}

}  // namespace

std::string DescribedValueProblem(const DescriptionElement& e, const Value& v) {
  const int32_t type = e.ValueType();
  if (v.TypeId() != type)
    return "a " + std::string(ValueTypeName(v.TypeId())) + " value, where the description declares " + e.type;
  switch (type) {
    case C4D_DTYPE_REAL:
      return RealProblem(e, v.GetFloat());
    case C4D_DTYPE_LONG:
      return LongProblem(e, v.GetInt32());
    case C4D_DTYPE_VECTOR: {
      const Vec3 x = v.GetVector();
      if (!std::isfinite(x.x) || !std::isfinite(x.y) || !std::isfinite(x.z))
        return "the value (" + Number(x.x) + ", " + Number(x.y) + ", " + Number(x.z) + ") is not finite";
      return {};
    }
    case C4D_CUSTOMDATA_INEXCLUDE:
      return v.GetInExclude() ? ListProblem(e, *v.GetInExclude()) : std::string();
    default:
      return {};
  }
}

std::string ParameterName(const DescriptionElement& e) {
  const std::string symbol = e.symbol.empty() ? std::to_string(e.id) : e.symbol;
  return e.label.empty() ? symbol : "\"" + e.label + "\" (" + symbol + ")";
}

}  // namespace host
