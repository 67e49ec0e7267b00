// scene_parameters.h - setting one parameter of a node from its scene-file form.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "core/scene.h"
#include "scene/json_values.h"
#include "scene/scene_schema.h"

namespace host {

/// ApplyParameterJson with byName resolving the names of links (the loader's index of the
/// file's names instead of a search of the document).
bool ApplyParameter(Node* node, const std::string& key, const nlohmann::json& v, const NodeByName& byName,
                    std::string* error);

/// The stored value of a friendly key p from its scene-file JSON (a choice by name, an angle
/// in degrees, else by the key's type). False with *error.
bool FriendlyValue(const scenefile::FriendlyParam& p, const nlohmann::json& v, const NodeByName& byName, Value* out,
                   std::string* error);

}  // namespace host
