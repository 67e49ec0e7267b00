// lights.cpp - render lights (snapshots of light objects) and their illumination.
#include "core/lights.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <new>
#include <unordered_set>

#include "core/handles.h"
#include "core/ids.h"
#include "core/scene.h"

namespace host {

namespace {

std::mutex rayLightsMutex;
std::unordered_set<RayLight*>& RayLightRegistry() {
  static auto* set = new std::unordered_set<RayLight*>;  // outlives every static user
  return *set;
}
std::atomic<int64_t> liveRayLights{0};

}  // namespace

RayLight* AllocRayLight(Document* doc, Node* obj) {
  if (!doc || !doc->Contains(obj) || !obj->IsLight()) return nullptr;
  const Container& c = obj->Data();
  auto* light = new (std::nothrow) RayLight;
  if (!light) return nullptr;
  light->document = doc;
  light->object = obj;
  light->kind = c.GetInt32(LIGHT_TYPE, LIGHT_TYPE_OMNI);
  light->color = c.GetVector(LIGHT_COLOR, {1, 1, 1}) * c.GetFloat(LIGHT_BRIGHTNESS, 1.0);
  light->position = c.GetVector(OBJECT_POSITION, {0, 0, 0});
  Vec3 dir = Normalize(c.GetVector(OBJECT_DIRECTION, {0, 0, 1}));
  light->direction = Length(dir) > 0 ? dir : Vec3{0, 0, 1};
  light->falloff = c.GetInt32(LIGHT_FALLOFF, LIGHT_FALLOFF_NONE);
  light->radius = c.GetFloat(LIGHT_FALLOFF_RADIUS, 500.0);
  constexpr double kPi = 3.14159265358979323846;
  double outer = std::clamp(c.GetFloat(LIGHT_SPOT_ANGLE, 30.0 * kPi / 180.0), 0.0, 2 * kPi);
  double inner = std::clamp(c.GetFloat(LIGHT_SPOT_INNER_ANGLE, 0.0), 0.0, outer);
  light->outerHalf = outer / 2;
  light->innerHalf = inner / 2;
  light->cosOuter = std::cos(light->outerHalf);
  light->cosInner = std::cos(light->innerHalf);
  try {
    std::lock_guard lock(rayLightsMutex);
    RayLightRegistry().insert(light);
    RenderLights().Add(light);
  } catch (...) {
    delete light;
    return nullptr;
  }
  liveRayLights.fetch_add(1);
  return light;
}

void FreeRayLight(RayLight* light) {
  if (!light) return;
  {
    std::lock_guard lock(rayLightsMutex);
    if (RayLightRegistry().erase(light) == 0) return;  // unknown or already freed
    RenderLights().Remove(light);
  }
  liveRayLights.fetch_sub(1);
  delete light;
}

void FreeRayLightsOf(const Document* doc) {
  std::vector<RayLight*> doomed;
  {
    std::lock_guard lock(rayLightsMutex);
    for (RayLight* l : RayLightRegistry()) {
      if (l->document == doc) doomed.push_back(l);
    }
    for (RayLight* l : doomed) {
      RayLightRegistry().erase(l);
      RenderLights().Remove(l);
    }
  }
  liveRayLights.fetch_sub(static_cast<int64_t>(doomed.size()));
  for (RayLight* l : doomed) delete l;
}

int64_t LiveRayLights() { return liveRayLights.load(); }

bool Illuminate(const RayLight& light, const Vec3& p, Vec3* col, Vec3* lv) {
  Vec3 toLight;
  double factor = 1;
  if (light.kind == LIGHT_TYPE_DISTANT) {
    toLight = -light.direction;
  } else {
    Vec3 d = light.position - p;
    double dist = Length(d);
    if (!(dist > 0) || !std::isfinite(dist)) return false;  // at the light, or not a number
    toLight = d * (1.0 / dist);
    double r = light.radius;
    switch (light.falloff) {
      case LIGHT_FALLOFF_INVERSESQUARE:
        if (!(r > 0)) return false;
        factor = dist <= r ? 1.0 : (r / dist) * (r / dist);
        break;
      case LIGHT_FALLOFF_LINEAR:
        if (!(dist < r)) return false;
        factor = 1.0 - dist / r;
        break;
      default:
        break;
    }
    if (light.kind == LIGHT_TYPE_SPOT) {
      // Angle between the spot axis and the direction from the light to p.
      double cosAngle = std::clamp(-Dot(toLight, light.direction), -1.0, 1.0);
      if (cosAngle < light.cosInner) {
        double angle = std::acos(cosAngle);
        if (!(angle < light.outerHalf)) return false;
        double edge = light.outerHalf - light.innerHalf;
        if (edge > 0) factor *= SmoothStep01(std::clamp((light.outerHalf - angle) / edge, 0.0, 1.0));
      }
    }
  }
  Vec3 c = light.color * factor;
  if (!(c.x != 0 || c.y != 0 || c.z != 0)) return false;  // no contribution
  *col = c;
  *lv = toLight;
  return true;
}

}  // namespace host
