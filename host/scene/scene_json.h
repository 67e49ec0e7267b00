// scene_json.h - a scene file's text read as JSON.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "scene/scene_file.h"

namespace host {

/// Parses text into *root. False with error's line, column and message (its file kept)
/// for text that is not JSON or nests deeper than the scene format allows.
bool ParseSceneJson(const std::string& text, nlohmann::json* root, SceneError* error);

}  // namespace host
