// lookdev_nodes.cpp - the page's edits of the host's own nodes: a light's, the camera's or a
// built-in shader's settings, and the view (the camera turned, moved closer or reset).
#include "serve/lookdev.h"

#include <algorithm>
#include <cmath>

#include "core/ids.h"
#include "serve/host_params.h"
#include "serve/lookdev_requests.h"

namespace host {

using nlohmann::json;

namespace {

constexpr double kPi = 3.14159265358979323846;
// The view turns around a point at least this far ahead, and stays within these distances.
constexpr double kNearest = 1e-3, kFarthest = 1e7;

/// A number field of the request, finite and within [lo, hi].
bool NumberField(const json& body, const char* key, double lo, double hi, double* out, Reply* refusal) {
  auto it = body.find(key);
  if (it == body.end() || !it->is_number() || !std::isfinite(it->get<double>()) || it->get<double>() < lo ||
      it->get<double>() > hi) {
    *refusal = Refuse(400, std::string("the request needs \"") + key + "\", a number from " + std::to_string(int(lo)) +
                               " to " + std::to_string(int(hi)));
    return false;
  }
  *out = it->get<double>();
  return true;
}

/// The point the camera turns around: where it was aimed at when the scene gave a target
/// (its stored direction then reaches that point), else the point ahead nearest to the
/// world's origin, else a point 1000 units ahead.
Vec3 Pivot(const Vec3& position, const Vec3& direction) {
  const double length = Length(direction);
  const Vec3 ahead = direction * (1.0 / length);
  if (length > 1.5) return position + direction;
  const double t = Dot(Vec3{0, 0, 0} - position, ahead);
  return position + ahead * (t > 1.0 ? t : 1000.0);
}

}  // namespace

Reply Lookdev::EditNode(const std::string& body) {
  std::lock_guard<std::mutex> lock(mutex_);
  json request;
  Reply refusal;
  std::string name, key;
  if (!ParseBody(body, &request, &refusal) || !TextField(request, "node", &name, &refusal) ||
      !TextField(request, "key", &key, &refusal))
    return refusal;
  if (!request.contains("value")) return Refuse(400, "the request needs \"value\"");
  if (!scene_.document) return Refuse(409, "no scene is loaded");
  Node* node = scene_.document->FindNode(name);
  if (!node || HostParamKind(node).empty())
    return Refuse(400, "there is no light, camera or built-in shader \"" + name +
                           "\" in the scene (another edit may have removed it)");
  const HostParam* p = FindHostParam(node, key);
  if (!p) return Refuse(400, "\"" + name + "\" has no setting " + key);
  const std::string what = std::string(p->label) + " of " + name;
  const json& value = request["value"];
  if (std::string problem = HostParamProblem(*p, value); !problem.empty()) return Refuse(400, what + ": " + problem);
  std::string before = sceneText_, error;
  if (!ApplyFriendlyJson(node, key, value, &error)) return Refuse(400, what + ": " + error);
  sceneText_ = SceneToText(scene_);
  Recorded(std::move(before), what);
  return SceneAnswer();
}

Reply Lookdev::EditView(const std::string& body) {
  std::lock_guard<std::mutex> lock(mutex_);
  json request;
  Reply refusal;
  std::string action;
  if (!ParseBody(body, &request, &refusal) || !TextField(request, "action", &action, &refusal)) return refusal;
  if (!scene_.document || !scene_.camera) return Refuse(409, "no scene is loaded");
  Container& c = scene_.camera->Data();
  const Vec3 position = c.GetVector(OBJECT_POSITION, {0, 0, 0});
  Vec3 direction = c.GetVector(OBJECT_DIRECTION, {0, 0, 1});
  if (!(Length(direction) > 0)) direction = {0, 0, 1};
  const Vec3 pivot = Pivot(position, direction);
  const Vec3 offset = position - pivot;
  const double distance = Length(offset);
  std::string label;
  Vec3 moved = position;
  if (action == "orbit") {
    double yaw = 0, pitch = 0;
    if (!NumberField(request, "yaw", -360, 360, &yaw, &refusal) ||
        !NumberField(request, "pitch", -180, 180, &pitch, &refusal))
      return refusal;
    // Around the vertical through the pivot, then up or down, never over the top.
    const double limit = 89.0 * kPi / 180.0;
    const double elevation = std::clamp(std::asin(std::clamp(offset.y / distance, -1.0, 1.0)) + pitch * kPi / 180.0,
                                        -limit, limit);
    const double azimuth = std::atan2(offset.x, offset.z) + yaw * kPi / 180.0;
    moved = pivot + Vec3{std::cos(elevation) * std::sin(azimuth), std::sin(elevation),
                         std::cos(elevation) * std::cos(azimuth)} *
                        distance;
    label = "Orbit";
  } else if (action == "zoom") {
    double factor = 1;
    if (!NumberField(request, "factor", 0.05, 20, &factor, &refusal)) return refusal;
    if (distance / factor < kNearest || distance / factor > kFarthest)
      return Refuse(400, "the camera cannot come closer or go farther: it would be " +
                             std::to_string(distance / factor) + " units from the point it looks at");
    moved = pivot + offset * (1.0 / factor);
    label = "Zoom";
  } else if (action == "reset") {
    return ResetView();
  } else {
    return Refuse(400, "unknown action \"" + action.substr(0, 40) + "\" (expected orbit, zoom or reset)");
  }
  std::string before = sceneText_;
  c.SetVector(OBJECT_POSITION, moved);
  c.SetVector(OBJECT_DIRECTION, pivot - moved);  // its length keeps the pivot for the next turn
  sceneText_ = SceneToText(scene_);
  Recorded(std::move(before), label);
  return SceneAnswer();
}

Reply Lookdev::ResetView() {
  // The camera's settings as last loaded or saved; what that form leaves out is the default.
  const json saved = json::parse(savedText_, nullptr, false);
  const json camera = saved.is_object() ? saved.value("camera", json::object()) : json::object();
  std::string before = sceneText_, error;
  for (const HostParam& p : HostParamsOf("camera")) {
    auto it = camera.find(p.key);
    if (!ApplyFriendlyJson(scene_.camera, p.key, it != camera.end() ? *it : p.defaultValue, &error))
      return Refuse(500, "the saved camera does not apply: " + error);
  }
  sceneText_ = SceneToText(scene_);
  Recorded(std::move(before), "Reset View");
  return SceneAnswer();
}

}  // namespace host
