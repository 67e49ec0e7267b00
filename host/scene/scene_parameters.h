// scene_parameters.h - setting one parameter of a node from its scene-file form.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "core/scene.h"
#include "scene/json_values.h"

namespace host {

/// ApplyParameterJson with byName resolving the names of links (the loader's index of the
/// file's names instead of a search of the document).
bool ApplyParameter(Node* node, const std::string& key, const nlohmann::json& v, const NodeByName& byName,
                    std::string* error);

}  // namespace host
