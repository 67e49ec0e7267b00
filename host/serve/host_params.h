// host_params.h - how the page shows and checks the host's own settings: a light's, the
// camera's and the built-in shaders'. Plug-in shaders bring their descriptions; these
// settings are described here, by their scene-file keys, with the labels, units and ranges
// of the host's own light and shader panels.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "core/scene.h"

namespace host {

enum class HostParamType { Real, Long, Bool, Color, Vector, Choice };

struct HostParam {
  const char* key;    ///< scene-file key ("brightness")
  const char* label;  ///< the panel's word ("Intensity")
  HostParamType type;
  const char* unit = "";  ///< "PERCENT" (shown x100 with %), "DEGREE" (the value is degrees) or ""
  std::optional<double> min, max;  ///< of the scene-file value
  nlohmann::json defaultValue;     ///< what a node without the key has
  std::vector<const char*> lightTypes = {};  ///< light settings: only for these types; empty: all
  /// Choice: the values with the words the panel shows.
  std::vector<std::pair<const char*, const char*>> choices = {};
};

/// The settings the page offers for a node of this kind: "light", "camera", or a built-in
/// shader's scene-file name ("color", "checkerboard", "noise").
const std::vector<HostParam>& HostParamsOf(const std::string& kind);
/// The kind of node for HostParamsOf ("light", "camera", "noise", ...); empty for nodes the
/// page does not edit this way (plug-in shaders, geometry, materials).
std::string HostParamKind(const Node* node);
/// The setting `key` of the node's kind; null when it has none.
const HostParam* FindHostParam(const Node* node, const std::string& key);

/// Why value does not fit p, in the panel's units ("-5 is below 0", "250 % is above
/// 100 %"); empty when it fits.
std::string HostParamProblem(const HostParam& p, const nlohmann::json& value);

/// {"light": [...], "camera": [...], "color": [...], ...} for /api/describe.
nlohmann::json HostParamsJson();
/// The node's settings of its kind, every key present: stored values under their scene-file
/// form, the default where nothing is stored.
nlohmann::json HostParamValues(const Node* node);

}  // namespace host
