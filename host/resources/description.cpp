// description.cpp - element types, the typed flags of an element and the value check.
#include "resources/description.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
#include <numbers>

#include "c4d_host_abi.h"
#include "core/container.h"
#include "core/customdata.h"

namespace host {

namespace {

struct TypeRow {
  ElementType type;
  std::string_view keyword;
  int32_t valueType;
};

// The one place the resource keywords are spelled.
constexpr TypeRow kTypes[] = {
    {ElementType::Real, "REAL", C4D_DTYPE_REAL},
    {ElementType::Long, "LONG", C4D_DTYPE_LONG},
    {ElementType::Bool, "BOOL", C4D_DTYPE_LONG},
    {ElementType::Vector, "VECTOR", C4D_DTYPE_VECTOR},
    {ElementType::Color, "COLOR", C4D_DTYPE_VECTOR},
    {ElementType::String, "STRING", C4D_DTYPE_STRING},
    {ElementType::Filename, "FILENAME", C4D_DTYPE_STRING},
    {ElementType::Link, "LINK", C4D_DTYPE_LINK},
    {ElementType::ShaderLink, "SHADERLINK", C4D_DTYPE_LINK},
    {ElementType::Texture, "TEXTURE", C4D_DTYPE_LINK},
    {ElementType::InExclude, "IN_EXCLUDE", C4D_CUSTOMDATA_INEXCLUDE},
    {ElementType::Gradient, "GRADIENT", C4D_CUSTOMDATA_GRADIENT},
    {ElementType::Button, "BUTTON", C4D_DTYPE_NONE},
    {ElementType::StaticText, "STATICTEXT", C4D_DTYPE_NONE},
    {ElementType::Spline, "SPLINE", C4D_DTYPE_NONE},
    {ElementType::Separator, "SEPARATOR", C4D_DTYPE_NONE},
    {ElementType::Group, "GROUP", C4D_DTYPE_NONE},
};

const TypeRow& RowOf(ElementType t) {
  for (const TypeRow& row : kTypes)
    if (row.type == t) return row;
  return kTypes[std::size(kTypes) - 1];
}

/// The number a flag holds (MIN 0.0; MAX -5;), read the same in every locale.
std::optional<double> FlagNumber(const DescriptionFlag& f) {
  if (f.args.empty()) return std::nullopt;
  std::string text;
  for (const std::string& a : f.args) text += a;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  if (first != last && *first == '+') ++first;
  double v = 0;
  const std::from_chars_result r = std::from_chars(first, last, v);
  if (r.ec != std::errc() || r.ptr != last) return std::nullopt;
  return v;
}

std::optional<int32_t> FlagInt(const DescriptionFlag& f) {
  const std::optional<double> v = FlagNumber(f);
  if (!v || !std::isfinite(*v) || *v < INT32_MIN || *v > INT32_MAX) return std::nullopt;
  return int32_t(*v);
}

std::string Number(double v) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v > 0 ? "infinity" : "-infinity";
  char text[32];
  const auto r = std::to_chars(text, text + sizeof text, v);
  return std::string(text, r.ptr);
}

/// The unit a REAL is shown in (" %", "°"), empty for plain numbers.
std::string_view UnitSuffix(Unit unit) {
  switch (unit) {
    case Unit::Percent:
      return " %";
    case Unit::Degree:
      return "°";
    default:
      return {};
  }
}

/// A stored REAL as the user sees it: "0.5 (50 %)" for a percentage, "0.5" without a unit.
/// With userOnly, "50 %" alone.
std::string Shown(const DescriptionElement& e, double stored, bool userOnly = false) {
  const std::string_view unit = UnitSuffix(e.unit);
  if (unit.empty()) return Number(stored);
  const std::string user = Number(stored / e.UnitScale()) + std::string(unit);
  return userOnly ? user : Number(stored) + " (" + user + ")";
}

std::string RealProblem(const DescriptionElement& e, double x, bool userOnly = false) {
  if (!std::isfinite(x)) return "the value " + Number(x) + " is not a finite number";
  const double scale = e.UnitScale(), slack = 1e-12;
  if ((e.min && x < *e.min * scale - slack) || (e.max && x > *e.max * scale + slack)) {
    auto shown = [&](double v) { return Shown(e, v, userOnly); };
    const std::string range =
        e.min && e.max ? "the range " + shown(*e.min * scale) + " to " + shown(*e.max * scale)
        : e.min        ? "the range from " + shown(*e.min * scale) + " up"
                       : "the range up to " + shown(*e.max * scale);
    return "the value " + shown(x) + " is outside " + range;
  }
  return {};
}

std::string LongProblem(const DescriptionElement& e, int32_t x) {
  const std::string value = "the value " + std::to_string(x);
  if (e.type == ElementType::Bool && x != 0 && x != 1) return value + " is neither 0 (off) nor 1 (on)";
  if (!e.cycle.empty() &&
      std::none_of(e.cycle.begin(), e.cycle.end(), [&](const CycleEntry& c) { return c.id == x; })) {
    std::string choices;
    for (const CycleEntry& c : e.cycle) {
      choices += (choices.empty() ? "" : ", ") + std::to_string(c.id);
      if (!c.label.empty()) choices += " (" + c.label + ")";
    }
    return value + " is not one of the choices " + choices;
  }
  if ((e.min && x < *e.min) || (e.max && x > *e.max))
    return value + " is outside the range " + (e.min ? Number(*e.min) : "-2147483648") + " to " +
           (e.max ? Number(*e.max) : "2147483647");
  return {};
}

std::string ListProblem(const DescriptionElement& e, const InExclude& list) {
  if (!e.numFlags || *e.numFlags < 0 || *e.numFlags > 30) return {};
  const int32_t most = (int32_t(1) << *e.numFlags) - 1;
  const std::vector<InExclude::Entry>& entries = list.Entries();
  for (size_t i = 0; i < entries.size(); ++i) {
    const int32_t flags = entries[i].flags;
    if (flags < 0 || flags > most)
      return "entry " + std::to_string(i) + " has the flags " + std::to_string(flags) + ", beyond the " +
             std::to_string(*e.numFlags) + " flags declared (0 to " + std::to_string(most) + ")";
  }
  return {};
}

}  // namespace

std::string_view ElementTypeName(ElementType t) { return RowOf(t).keyword; }

std::optional<ElementType> ElementTypeFromName(std::string_view keyword) {
  for (const TypeRow& row : kTypes)
    if (row.keyword == keyword) return row.type;
  return std::nullopt;
}

const char* ValueTypeName(int32_t valueType) {
  for (const TypeRow& row : kTypes)
    if (row.valueType == valueType && valueType != C4D_DTYPE_NONE) return row.keyword.data();
  return "-";
}

int32_t DescriptionElement::ValueType() const { return RowOf(type).valueType; }

const DescriptionFlag* DescriptionElement::Flag(const std::string& flagName) const {
  for (const DescriptionFlag& f : flags) {
    if (f.name == flagName) return &f;
  }
  return nullptr;
}

double DescriptionElement::UnitScale() const {
  switch (unit) {
    case Unit::Percent:
      return 0.01;
    case Unit::Degree:
      return std::numbers::pi / 180;
    default:
      return 1;
  }
}

void DescriptionElement::TypeFlags() {
  // The first flag of a name counts, as a reader of the resource would take it.
  auto first = [&](const char* name) { return Flag(name); };
  if (const DescriptionFlag* f = first("MIN")) min = FlagNumber(*f);
  if (const DescriptionFlag* f = first("MAX")) max = FlagNumber(*f);
  if (const DescriptionFlag* f = first("STEP")) step = FlagNumber(*f);
  if (const DescriptionFlag* f = first("UNIT"); f && !f->args.empty())
    unit = f->args[0] == "PERCENT" ? Unit::Percent : f->args[0] == "DEGREE" ? Unit::Degree : Unit::None;
  if (const DescriptionFlag* f = first("NUM_FLAGS")) numFlags = FlagInt(*f);
  if (const DescriptionFlag* f = first("INIT_STATE")) initState = FlagInt(*f);
  for (const DescriptionFlag& f : flags) {
    if (f.name.find("IMAGE") == std::string::npos && f.name != "ICON") continue;
    if (const std::optional<int32_t> icon = FlagInt(f); icon && *icon > 0) icons.push_back(*icon);
  }
}

std::string DescriptionElement::Check(const Value& v) const {
  const int32_t valueType = ValueType();
  if (v.TypeId() != valueType)
    return "a " + std::string(ValueTypeName(v.TypeId())) + " value, where the description declares " +
           std::string(TypeName());
  switch (valueType) {
    case C4D_DTYPE_REAL:
      return RealProblem(*this, v.GetFloat());
    case C4D_DTYPE_LONG:
      return LongProblem(*this, v.GetInt32());
    case C4D_DTYPE_VECTOR: {
      const Vec3 x = v.GetVector();
      if (!std::isfinite(x.x) || !std::isfinite(x.y) || !std::isfinite(x.z))
        return "the value (" + Number(x.x) + ", " + Number(x.y) + ", " + Number(x.z) + ") is not finite";
      return {};
    }
    case C4D_CUSTOMDATA_INEXCLUDE:
      return v.GetInExclude() ? ListProblem(*this, *v.GetInExclude()) : std::string();
    default:
      return {};
  }
}

std::string DescriptionElement::CheckShown(const Value& v) const {
  if (v.TypeId() == C4D_DTYPE_REAL && ValueType() == C4D_DTYPE_REAL) return RealProblem(*this, v.GetFloat(), true);
  return Check(v);
}

std::string DescriptionElement::Name() const {
  const std::string shown = symbol.empty() ? std::to_string(id) : symbol;
  return label.empty() ? shown : "\"" + label + "\" (" + shown + ")";
}

const DescriptionElement* Description::FindById(int32_t id) const {
  for (const DescriptionElement& e : elements) {
    if (e.id == id && id >= 0) return &e;
  }
  return nullptr;
}

const DescriptionElement* Description::FindBySymbol(const std::string& symbol) const {
  for (const DescriptionElement& e : elements) {
    if (!symbol.empty() && e.symbol == symbol) return &e;
  }
  return nullptr;
}

}  // namespace host
