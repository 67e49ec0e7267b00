// scene_format.cpp - the text form of a saved scene: indented JSON that keeps short
// arrays of numbers ([x, y, z]) and small objects on one line.
#include <algorithm>
#include <string>

#include "scene/scene_file.h"

namespace host {

using nlohmann::json;

namespace {

// Indented JSON with short arrays of numbers ([x, y, z]) kept on one line.
void Dump(const json& j, int indent, std::string* out) {
  std::string pad(size_t(indent) + 2, ' ');
  if (j.is_array()) {
    bool flat =
        j.size() <= 4 && std::all_of(j.begin(), j.end(), [](const json& e) { return e.is_primitive(); });
    if (j.empty() || flat) {
      *out += "[";
      for (size_t i = 0; i < j.size(); ++i) *out += (i ? ", " : "") + j[i].dump();
      *out += "]";
      return;
    }
    *out += "[\n";
    for (size_t i = 0; i < j.size(); ++i) {
      *out += pad;
      Dump(j[i], indent + 2, out);
      *out += i + 1 < j.size() ? ",\n" : "\n";
    }
    *out += std::string(size_t(indent), ' ') + "]";
  } else if (j.is_object() && !j.empty()) {
    // A small object of plain values (a gradient knot, a list entry) stays on one line.
    bool flat = std::all_of(j.begin(), j.end(), [](const json& e) {
      return e.is_primitive() ||
             (e.is_array() && e.size() <= 4 &&
              std::all_of(e.begin(), e.end(), [](const json& x) { return x.is_primitive(); }));
    });
    if (flat && j.dump().size() <= 120) {
      *out += "{";
      size_t i = 0;
      for (auto it = j.begin(); it != j.end(); ++it, ++i) {
        *out += (i ? ", " : "") + json(it.key()).dump() + ": ";
        Dump(it.value(), indent + 2, out);
      }
      *out += "}";
      return;
    }
    *out += "{\n";
    size_t i = 0;
    for (auto it = j.begin(); it != j.end(); ++it, ++i) {
      *out += pad + json(it.key()).dump() + ": ";
      Dump(it.value(), indent + 2, out);
      *out += i + 1 < j.size() ? ",\n" : "\n";
    }
    *out += std::string(size_t(indent), ' ') + "}";
  } else {
    *out += j.dump();
  }
}

}  // namespace

std::string SceneToText(const Scene& scene) {
  std::string text;
  Dump(SceneToJson(scene), 0, &text);
  return text + "\n";
}

}  // namespace host
