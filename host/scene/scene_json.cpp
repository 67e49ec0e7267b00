// scene_json.cpp - a scene file's text read as JSON, with problems placed by line and column.
#include "scene/scene_json.h"

#include <string>

#include "scene/json_values.h"

namespace host {

using nlohmann::json;

std::string SceneError::ToString() const {
  std::string s = file;
  if (line > 0) s += ":" + std::to_string(line) + ":" + std::to_string(column);
  s += ": ";
  if (!path.empty()) s += path + ": ";
  return s + message;
}

void LineColumn(const std::string& text, size_t offset, int* line, int* column) {
  *line = 1;
  *column = 1;
  for (size_t i = 0; i < offset && i < text.size(); ++i) {
    if (text[i] == '\n') {
      ++*line;
      *column = 1;
    } else {
      ++*column;
    }
  }
}

bool ParseSceneJson(const std::string& text, json* root, SceneError* error) {
  // Nesting is checked before parsing: printing and comparing JSON values recurse per level.
  if (size_t at = FindJsonNestingBeyond(text, kMaxJsonNesting); at != std::string_view::npos) {
    LineColumn(text, at, &error->line, &error->column);
    error->message = "arrays and objects nest deeper than " + std::to_string(kMaxJsonNesting) + " levels";
    return false;
  }
  try {
    *root = json::parse(text);
  } catch (const json::parse_error& e) {
    // nlohmann reports the byte just past the problem; point at the last byte read.
    LineColumn(text, e.byte > 0 ? e.byte - 1 : 0, &error->line, &error->column);
    std::string what = e.what();
    auto pos = what.find("parse error");
    auto colon = what.find(": ", pos == std::string::npos ? 0 : pos);
    error->message = "invalid JSON: " + (colon != std::string::npos ? what.substr(colon + 2) : what);
    return false;
  } catch (const json::exception& e) {
    // Well-formed text the reader still refuses, such as a number beyond the double range.
    std::string what = e.what();
    auto bracket = what.find("] ");
    error->message = "invalid JSON: " + (bracket != std::string::npos ? what.substr(bracket + 2) : what);
    return false;
  }
  return true;
}

}  // namespace host
