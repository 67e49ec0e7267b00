// scene_schema.h - the vocabulary of scene files that loading and saving share: the
// friendly keys of the host's own node parameters (with their conversions), the named
// choices of enumerated parameters, the names of object types and built-in shaders, and
// small conversions (degrees, numeric keys). Used by host/scene and by the page server,
// which accepts parameters under the same names.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <numbers>
#include <string>
#include <vector>

#include "core/scene.h"
#include "resources/resources.h"

namespace host::scenefile {

/// How a friendly key's JSON maps onto the stored value.
enum class Conv { None, Bool, Angle, LightType, Falloff, NoiseSpace };

/// One friendly key: its JSON name, the parameter ID and the stored value type.
struct FriendlyParam {
  const char* key;
  int32_t id;
  int32_t type;
  Conv conv = Conv::None;
};

/// The friendly keys of the parameters a node of this kind and type has, in writing order.
std::vector<const FriendlyParam*> FriendlyParamsOf(const Node* node);
/// The named choices of an enumerated conversion (light type, falloff, noise space); null
/// for the others.
const std::map<std::string, int32_t>* EnumOf(Conv c);
/// Reads the value of an enumerated key: one of choices by name (case-insensitive) or any
/// 32-bit integer (ReadInt32). False with *error naming the choices and the range.
bool ReadChoice(const std::map<std::string, int32_t>& choices, const nlohmann::json& v, int32_t* out,
                std::string* error);

/// Object types by their scene-file name (plane, sphere, box, null, camera).
extern const std::map<std::string, int32_t> kObjectTypes;
/// Built-in shaders by their scene-file name (color, checkerboard, noise).
extern const std::map<std::string, int32_t> kBuiltinShaders;
/// The scene-file name of an object type or a built-in shader type; empty when it has none.
std::string ObjectTypeName(int32_t type);
std::string BuiltinShaderName(int32_t type);

inline constexpr double kDegToRad = std::numbers::pi / 180.0;
inline constexpr double kRadToDeg = 180.0 / std::numbers::pi;

/// Degrees whose conversion back gives exactly `radians`; false if none is found nearby.
bool ExactDegrees(double radians, double* degrees);
/// A key that is a decimal int32 ("10008", "-3"); false for anything else (ReadInt32Text).
bool ParseInt32Key(const std::string& key, int32_t* id);
/// The description registered for a plug-in node's plug-in; null for host nodes.
std::shared_ptr<const RegisteredDescription> DescriptionOf(const Node* node);

}  // namespace host::scenefile
