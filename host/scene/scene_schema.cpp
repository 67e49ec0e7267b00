// scene_schema.cpp - the friendly keys, named choices and type names of scene files.
#include "scene/scene_schema.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "core/ids.h"
#include "core/plugins.h"
#include "core/text.h"
#include "scene/json_values.h"

namespace host::scenefile {

namespace {

const std::vector<FriendlyParam> kObjectParams = {
    {"enabled", OBJECT_ENABLED, C4D_DTYPE_LONG, Conv::Bool}, {"position", OBJECT_POSITION, C4D_DTYPE_VECTOR},
    {"direction", OBJECT_DIRECTION, C4D_DTYPE_VECTOR},       {"up", OBJECT_UP, C4D_DTYPE_VECTOR},
    {"material", OBJECT_MATERIAL, C4D_DTYPE_LINK},
};
const std::vector<FriendlyParam> kCameraParams = {{"fov", CAMERA_FOV, C4D_DTYPE_REAL, Conv::Angle}};
const std::vector<FriendlyParam> kSphereParams = {{"radius", SPHERE_RADIUS, C4D_DTYPE_REAL}};
const std::vector<FriendlyParam> kBoxParams = {{"size", CUBE_SIZE, C4D_DTYPE_VECTOR}};
const std::vector<FriendlyParam> kPlaneParams = {{"width", PLANE_WIDTH, C4D_DTYPE_REAL},
                                                 {"depth", PLANE_DEPTH, C4D_DTYPE_REAL}};
const std::vector<FriendlyParam> kLightParams = {
    {"type", LIGHT_TYPE, C4D_DTYPE_LONG, Conv::LightType},
    {"color", LIGHT_COLOR, C4D_DTYPE_VECTOR},
    {"brightness", LIGHT_BRIGHTNESS, C4D_DTYPE_REAL},
    {"falloff", LIGHT_FALLOFF, C4D_DTYPE_LONG, Conv::Falloff},
    {"radius", LIGHT_FALLOFF_RADIUS, C4D_DTYPE_REAL},
    {"angle", LIGHT_SPOT_ANGLE, C4D_DTYPE_REAL, Conv::Angle},
    {"innerAngle", LIGHT_SPOT_INNER_ANGLE, C4D_DTYPE_REAL, Conv::Angle},
};
const std::vector<FriendlyParam> kMaterialParams = {{"color", MATERIAL_COLOR, C4D_DTYPE_VECTOR},
                                                    {"shader", MATERIAL_COLOR_SHADER, C4D_DTYPE_LINK}};
const std::vector<FriendlyParam> kColorShaderParams = {
    {"color", COLORSHADER_COLOR, C4D_DTYPE_VECTOR}, {"brightness", COLORSHADER_BRIGHTNESS, C4D_DTYPE_REAL}};
const std::vector<FriendlyParam> kCheckerParams = {{"color1", CHECKER_COLOR1, C4D_DTYPE_VECTOR},
                                                   {"color2", CHECKER_COLOR2, C4D_DTYPE_VECTOR},
                                                   {"uScale", CHECKER_USCALE, C4D_DTYPE_REAL},
                                                   {"vScale", CHECKER_VSCALE, C4D_DTYPE_REAL}};
const std::vector<FriendlyParam> kNoiseParams = {{"color1", NOISE_COLOR1, C4D_DTYPE_VECTOR},
                                                 {"color2", NOISE_COLOR2, C4D_DTYPE_VECTOR},
                                                 {"scale", NOISE_SCALE, C4D_DTYPE_REAL},
                                                 {"space", NOISE_SPACE, C4D_DTYPE_LONG, Conv::NoiseSpace},
                                                 {"seed", NOISE_SEED, C4D_DTYPE_LONG}};

const std::map<std::string, int32_t> kLightTypes = {
    {"omni", LIGHT_TYPE_OMNI}, {"spot", LIGHT_TYPE_SPOT}, {"distant", LIGHT_TYPE_DISTANT}};
const std::map<std::string, int32_t> kFalloffs = {{"none", LIGHT_FALLOFF_NONE},
                                                  {"inverse-square", LIGHT_FALLOFF_INVERSESQUARE},
                                                  {"linear", LIGHT_FALLOFF_LINEAR}};
const std::map<std::string, int32_t> kNoiseSpaces = {{"uvw", NOISE_SPACE_UVW}, {"world", NOISE_SPACE_WORLD}};

}  // namespace

const std::map<std::string, int32_t> kObjectTypes = {{"plane", kTypePlane},
                                                     {"sphere", kTypeSphere},
                                                     {"box", kTypeCube},
                                                     {"null", kTypeNull},
                                                     {"camera", kTypeCamera}};
const std::map<std::string, int32_t> kBuiltinShaders = {
    {"color", kShaderColor}, {"checkerboard", kShaderCheckerboard}, {"noise", kShaderNoise}};

namespace {
std::string NameOf(const std::map<std::string, int32_t>& names, int32_t type) {
  for (const auto& [name, t] : names)
    if (t == type) return name;
  return {};
}
}  // namespace

std::string ObjectTypeName(int32_t type) { return NameOf(kObjectTypes, type); }
std::string BuiltinShaderName(int32_t type) { return NameOf(kBuiltinShaders, type); }

const std::map<std::string, int32_t>* EnumOf(Conv c) {
  switch (c) {
    case Conv::LightType:
      return &kLightTypes;
    case Conv::Falloff:
      return &kFalloffs;
    case Conv::NoiseSpace:
      return &kNoiseSpaces;
    default:
      return nullptr;
  }
}

bool ReadChoice(const std::map<std::string, int32_t>& choices, const nlohmann::json& v, int32_t* out,
                std::string* error) {
  if (v.is_string()) {
    auto it = choices.find(Lower(v.get<std::string>()));
    if (it != choices.end()) {
      *out = it->second;
      return true;
    }
  } else if (ReadInt32(v, out)) {
    return true;
  }
  std::string names;
  for (const auto& [name, id] : choices) names += (names.empty() ? "" : ", ") + name;
  std::string found = v.is_primitive() ? v.dump() : std::string("of type ") + v.type_name();
  *error = (v.is_number_integer() ? found + " is out of range" : "unknown value " + found) + " (expected " +
           names + " or " + kInt32Range + ")";
  return false;
}

// The friendly keys of the parameters a node of this kind and type has, in writing order.
std::vector<const FriendlyParam*> FriendlyParamsOf(const Node* node) {
  std::vector<const FriendlyParam*> out;
  auto add = [&](const std::vector<FriendlyParam>& t) {
    for (const FriendlyParam& p : t) out.push_back(&p);
  };
  switch (node->Kind()) {
    case NodeKind::Object:
      if (node->Type() == kTypeLight) add(kLightParams);
      add(kObjectParams);
      if (node->Type() == kTypeCamera) add(kCameraParams);
      if (node->Type() == kTypeSphere) add(kSphereParams);
      if (node->Type() == kTypeCube) add(kBoxParams);
      if (node->Type() == kTypePlane) add(kPlaneParams);
      break;
    case NodeKind::Material:
      add(kMaterialParams);
      break;
    case NodeKind::Shader:
      if (node->Type() == kShaderColor) add(kColorShaderParams);
      if (node->Type() == kShaderCheckerboard) add(kCheckerParams);
      if (node->Type() == kShaderNoise) add(kNoiseParams);
      break;
  }
  return out;
}

// Degrees whose conversion back gives exactly `radians`; false if none is found nearby.
bool ExactDegrees(double radians, double* degrees) {
  // Prefer the short decimal a user would have written (30, not 29.999999999999996).
  char buf[64];
  std::snprintf(buf, sizeof(buf), "%.12g", radians * kRadToDeg);
  double shortest = std::strtod(buf, nullptr);
  if (shortest * kDegToRad == radians) {
    *degrees = shortest;
    return true;
  }
  double d = radians * kRadToDeg;
  for (int step = 0; step < 8; ++step) {
    if (d * kDegToRad == radians) {
      *degrees = d;
      return true;
    }
    d = std::nextafter(d, d * kDegToRad < radians ? INFINITY : -INFINITY);
  }
  return false;
}

bool ParseInt32Key(const std::string& key, int32_t* id) { return ReadInt32Text(key, id); }

std::shared_ptr<const RegisteredDescription> DescriptionOf(const Node* node) {
  if (!node->Plugin()) return nullptr;
  return Descriptions().Find(node->Plugin()->id);
}

}  // namespace host::scenefile
