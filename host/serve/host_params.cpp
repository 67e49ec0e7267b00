// host_params.cpp - the host's own settings as the page shows and checks them.
#include "serve/host_params.h"

#include <cmath>
#include <cstdio>
#include <map>

#include "core/ids.h"
#include "scene/json_values.h"
#include "scene/scene_file.h"
#include "scene/scene_schema.h"

namespace host {

using nlohmann::json;

namespace {

using T = HostParamType;
// Farther than this from the origin a position is refused: the renderer's sums lose every
// digit that matters for a scene of ordinary size, and a drag that ran away lands here.
constexpr double kFar = 1e7;

const std::vector<HostParam> kLight = {
    {"enabled", "Enabled", T::Bool, "", {}, {}, true},
    {"type", "Type", T::Choice, "", {}, {}, "omni", {}, {{"omni", "Omni"}, {"spot", "Spot"}, {"distant", "Infinite"}}},
    {"color", "Colour", T::Color, "", 0.0, 1000.0, {1, 1, 1}},
    {"brightness", "Intensity", T::Real, "PERCENT", 0.0, 1000.0, 1.0},
    {"falloff", "Falloff", T::Choice, "", {}, {}, "none", {},
     {{"none", "None"}, {"inverse-square", "Inverse Square"}, {"linear", "Linear"}}},
    {"radius", "Radius", T::Real, "", 0.0, kFar, 500.0},
    {"angle", "Outer Angle", T::Real, "DEGREE", 0.0, 180.0, 30.0, {"spot"}},
    {"innerAngle", "Inner Angle", T::Real, "DEGREE", 0.0, 180.0, 0.0, {"spot"}},
    {"position", "Position", T::Vector, "", -kFar, kFar, {0, 0, 0}},
    {"direction", "Direction", T::Vector, "", -kFar, kFar, {0, 0, 1}, {"spot", "distant"}},
};
const std::vector<HostParam> kCamera = {
    {"position", "Position", T::Vector, "", -kFar, kFar, {0, 0, 0}},
    {"direction", "Direction", T::Vector, "", -kFar, kFar, {0, 0, 1}},
    {"up", "Up", T::Vector, "", -kFar, kFar, {0, 1, 0}},
    {"fov", "Field of View", T::Real, "DEGREE", 1.0, 179.0, 60.0},
};
const std::vector<HostParam> kColorShader = {
    {"color", "Colour", T::Color, "", 0.0, 1000.0, {1, 1, 1}},
    {"brightness", "Brightness", T::Real, "PERCENT", 0.0, 1000.0, 1.0},
};
const std::vector<HostParam> kChecker = {
    {"color1", "Colour 1", T::Color, "", 0.0, 1000.0, {1, 1, 1}},
    {"color2", "Colour 2", T::Color, "", 0.0, 1000.0, {0, 0, 0}},
    {"uScale", "U Frequency", T::Real, "", 0.0, 1e4, 8.0},
    {"vScale", "V Frequency", T::Real, "", 0.0, 1e4, 8.0},
};
const std::vector<HostParam> kNoise = {
    {"color1", "Colour 1", T::Color, "", 0.0, 1000.0, {0, 0, 0}},
    {"color2", "Colour 2", T::Color, "", 0.0, 1000.0, {1, 1, 1}},
    {"scale", "Scale", T::Real, "", 1e-6, 1e6, 1.0},
    {"space", "Space", T::Choice, "", {}, {}, "uvw", {}, {{"uvw", "Texture (UVW)"}, {"world", "World"}}},
    {"seed", "Seed", T::Long, "", -2147483648.0, 2147483647.0, 0},
};
const std::vector<HostParam> kNone;

const char* TypeWord(T t) {
  switch (t) {
    case T::Real:
      return "REAL";
    case T::Long:
      return "LONG";
    case T::Bool:
      return "BOOL";
    case T::Color:
      return "COLOR";
    case T::Vector:
      return "VECTOR";
    case T::Choice:
      return "CHOICE";
  }
  return "";
}

/// "10000000", "0.25": up to 12 significant digits, no exponent for ordinary sizes.
std::string Number(double v) {
  char text[40];
  std::snprintf(text, sizeof text, "%.12g", v);
  return text;
}

/// A value as the panel shows it: "250 %", "30°", "850".
std::string Shown(const HostParam& p, double v) {
  const std::string unit = p.unit;
  if (unit == "PERCENT") return Number(v * 100) + " %";
  if (unit == "DEGREE") return Number(v) + "°";
  return Number(v);
}

std::string RangeProblem(const HostParam& p, double v) {
  if (!std::isfinite(v)) return "enter a finite number";
  if (p.min && v < *p.min) return Shown(p, v) + " is below " + Shown(p, *p.min);
  if (p.max && v > *p.max) return Shown(p, v) + " is above " + Shown(p, *p.max);
  return {};
}

}  // namespace

const std::vector<HostParam>& HostParamsOf(const std::string& kind) {
  static const std::map<std::string, const std::vector<HostParam>*> kinds = {
      {"light", &kLight}, {"camera", &kCamera}, {"color", &kColorShader}, {"checkerboard", &kChecker}, {"noise", &kNoise}};
  auto it = kinds.find(kind);
  return it != kinds.end() ? *it->second : kNone;
}

std::string HostParamKind(const Node* node) {
  if (!node) return {};
  if (node->IsLight()) return "light";
  if (node->Kind() == NodeKind::Object && node->Type() == kTypeCamera) return "camera";
  if (node->Kind() == NodeKind::Shader) return scenefile::BuiltinShaderName(node->Type());
  return {};
}

const HostParam* FindHostParam(const Node* node, const std::string& key) {
  for (const HostParam& p : HostParamsOf(HostParamKind(node)))
    if (key == p.key) return &p;
  return nullptr;
}

std::string HostParamProblem(const HostParam& p, const json& v) {
  switch (p.type) {
    case T::Bool:
      return v.is_boolean() ? std::string() : "expected on or off (true or false), found " + v.dump();
    case T::Real:
      return v.is_number() ? RangeProblem(p, v.get<double>()) : "enter a number (found " + v.dump() + ")";
    case T::Long: {
      int32_t x = 0;
      if (!ReadInt32(v, &x)) return "enter a whole number from -2147483648 to 2147483647 (found " + v.dump() + ")";
      return {};
    }
    case T::Choice: {
      for (const auto& [value, word] : p.choices)
        if (v.is_string() && v.get<std::string>() == value) return {};
      std::string words;
      for (const auto& [value, word] : p.choices) words += (words.empty() ? "" : ", ") + std::string(value);
      return "expected one of " + words + " (found " + v.dump() + ")";
    }
    case T::Color:
    case T::Vector: {
      const char* what = p.type == T::Color ? "a colour [red, green, blue]" : "a vector [x, y, z]";
      if (!v.is_array() || v.size() != 3) return std::string("expected ") + what + ", found " + v.dump();
      double length = 0;
      for (const json& x : v) {
        if (!x.is_number()) return std::string("expected ") + what + " of numbers, found " + v.dump();
        const double d = x.get<double>();
        if (std::string problem = RangeProblem(p, d); !problem.empty()) return problem;
        length += d * d;
      }
      // A direction or up vector of length zero points nowhere.
      const std::string key = p.key;
      if ((key == "direction" || key == "up") && !(length > 0)) return "a direction cannot be [0, 0, 0]";
      return {};
    }
  }
  return {};
}

json HostParamsJson() {
  json out = json::object();
  for (const char* kind : {"light", "camera", "color", "checkerboard", "noise"}) {
    json list = json::array();
    for (const HostParam& p : HostParamsOf(kind)) {
      json e = {{"key", p.key}, {"label", p.label}, {"type", TypeWord(p.type)}, {"unit", p.unit},
                {"min", p.min ? json(*p.min) : json()}, {"max", p.max ? json(*p.max) : json()}};
      if (!p.choices.empty()) {
        json choices = json::array();
        for (const auto& [value, word] : p.choices) choices.push_back({{"value", value}, {"label", word}});
        e["choices"] = std::move(choices);
      }
      if (!p.lightTypes.empty()) e["lightTypes"] = p.lightTypes;
      list.push_back(std::move(e));
    }
    out[kind] = std::move(list);
  }
  return out;
}

json HostParamValues(const Node* node) {
  const json stored = NodeToJson(node);
  json out = json::object();
  for (const HostParam& p : HostParamsOf(HostParamKind(node))) {
    auto it = stored.find(p.key);
    out[p.key] = it != stored.end() ? *it : p.defaultValue;
  }
  return out;
}

}  // namespace host
