// json_gradient.cpp - gradients in scene files: {"knots": [...], "interpolation": ...}.
#include <cmath>
#include <string>

#include "scene/json_values.h"

namespace host {

using nlohmann::json;

bool JsonToGradient(const json& j, Gradient* out, std::string* error) {
  if (!j.is_object() || !j.contains("knots") || !j["knots"].is_array()) {
    *error = "expected a gradient {\"knots\": [...]}";
    return false;
  }
  for (auto it = j.begin(); it != j.end(); ++it) {
    if (it.key() != "knots" && it.key() != "settings") {
      *error = "unknown gradient key \"" + it.key() + "\" (expected \"knots\" or \"settings\")";
      return false;
    }
  }
  out->ClearKnots();
  out->Settings().Clear();
  int index = 0;
  for (const json& k : j["knots"]) {
    std::string where = "gradient knot " + std::to_string(index++) + ": ";
    if (!k.is_object()) {
      *error = where + "expected an object";
      return false;
    }
    C4DGradientKnot knot = DefaultKnot();
    for (auto it = k.begin(); it != k.end(); ++it) {
      const std::string& key = it.key();
      const json& v = it.value();
      bool ok = true;
      if (key == "color") {
        Vec3 c;
        ok = ReadVector(v, &c);
        knot.col = c;
      } else if (key == "brightness" || key == "position" || key == "bias") {
        ok = v.is_number();
        if (ok)
          (key == "brightness" ? knot.brightness
           : key == "position" ? knot.pos
                               : knot.bias) = v.get<double>();
      } else if (key == "index" || key == "interpolation") {
        if (!ReadInt32(v, key == "index" ? &knot.index : &knot.interpolation)) {
          *error = where + "\"" + key + "\": " + Int32Problem(v);
          return false;
        }
      } else {
        *error = where + "unknown key \"" + key +
                 "\" (expected color, brightness, position, bias, index, interpolation)";
        return false;
      }
      if (!ok) {
        *error = where + "\"" + key + "\" has the wrong type (" + v.type_name() + ")";
        return false;
      }
    }
    out->InsertKnot(knot);
  }
  if (j.contains("settings")) {
    const json& s = j["settings"];
    if (!s.is_object()) {
      *error = "gradient settings: expected an object of numeric IDs";
      return false;
    }
    for (auto it = s.begin(); it != s.end(); ++it) {
      int32_t id = 0;
      if (!ReadInt32Text(it.key(), &id)) {
        *error = "gradient settings: \"" + it.key() + "\" is not a numeric ID (" + kInt32Range + ")";
        return false;
      }
      Value v;
      std::string inner;
      if (!JsonToValue(it.value(), 0, nullptr, &v, &inner)) {
        *error = "gradient setting " + it.key() + ": " + inner;
        return false;
      }
      out->Settings().Set(id, std::move(v));
    }
  }
  return true;
}

json GradientToJson(const Gradient& g) {
  json knots = json::array();
  for (const C4DGradientKnot& k : g.Knots()) {
    knots.push_back(json{{"color", {k.col.x, k.col.y, k.col.z}},
                         {"brightness", k.brightness},
                         {"position", k.pos},
                         {"bias", k.bias},
                         {"index", k.index},
                         {"interpolation", k.interpolation}});
  }
  json out{{"knots", knots}};
  if (g.Settings().Size() > 0) {
    json settings = json::object();
    for (const auto& [id, v] : g.Settings().Entries())
      settings[std::to_string(id)] = ValueToJson(v, 0, false, nullptr);
    out["settings"] = settings;
  }
  return out;
}

}  // namespace host
