// lights.h - render lights: a snapshot of a light object for illumination.
//
// A C4DRayLight* is a host::RayLight*. The parameters are those of ids.h (LIGHT_*,
// OBJECT_POSITION, OBJECT_DIRECTION), read once by AllocRayLight; later edits of the
// object do not change a snapshot. Illumination has no surface cosine term and no
// occlusion: the shadow flag is accepted and ignored (the host's scene model answers every
// point as unoccluded).
#pragma once

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <mutex>

#include "c4d_host_abi.h"
#include "core/ids.h"
#include "core/vecmath.h"

namespace host {

class Document;
class Node;

/// An immutable snapshot of one light object.
struct RayLight {
  const Document* document = nullptr;
  const Node* object = nullptr;  ///< the light object (may be deleted later; not read)
  int32_t kind = 0;              ///< LIGHT_TYPE_*
  Vec3 color;                    ///< colour x brightness
  Vec3 position;
  Vec3 direction{0, 0, 1};  ///< unit
  int32_t falloff = 0;      ///< LIGHT_FALLOFF_*
  double radius = 500;
  double cosOuter = 1;                  ///< cosine of half the outer cone angle (spot)
  double cosInner = 1;                  ///< cosine of half the inner cone angle (spot)
  double outerHalf = 0, innerHalf = 0;  ///< half angles (radians)
};

/// A render light for obj (a light object of doc), or null (not a light, not of doc,
/// out of memory). Counted by LiveRayLights() until freed; the document frees the ones
/// still alive when it is destroyed.
RayLight* AllocRayLight(Document* doc, Node* obj);
/// Frees a render light of AllocRayLight; null and unknown pointers are ignored.
void FreeRayLight(RayLight* light);
/// Whether handle is a live render light. Reads only the host's pool of render lights,
/// never the handle itself; lock-free.
bool IsLiveRayLight(const void* handle);

namespace detail {
struct LightSlot;
/// Per thread, the render lights last found live, by address, with their pool and the
/// pool's release count then.
struct LiveLightCache {
  const void* light[16];
  const void* pool[16];
  uint64_t releases[16];
};
extern thread_local constinit LiveLightCache liveLightCache;
}  // namespace detail

/// The render lights of one HostServices: fixed 256-byte slots in chunks that never move
/// while the pool lives, so that a pointer a module hands back can be checked without
/// reading anything but the pool. Its chunks are freed with it.
struct RayLightPool {
  static constexpr int kMaxChunks = 1024;  // four million render lights at once
  RayLightPool() = default;
  ~RayLightPool();
  RayLightPool(const RayLightPool&) = delete;
  RayLightPool& operator=(const RayLightPool&) = delete;

  std::atomic<uintptr_t> chunks[kMaxChunks] = {};
  std::atomic<int> chunkCount{0};
  std::mutex mutex;  ///< allocation, release and the free list
  detail::LightSlot* freeSlots = nullptr;
  std::atomic<int64_t> live{0};
  /// Bumped by every release: a light found live stays live until then. Never 0, so an
  /// empty cache entry never matches.
  std::atomic<uint64_t> releases{1};
};

/// IsCachedLiveRayLight (core/services.h) answers the common case for render threads.
/// IsLiveRayLight, remembering a live handle in the thread's cache.
bool IsLiveRayLightToCache(const void* handle);
/// Render lights alive in the current services.
int64_t LiveRayLights();
/// Frees every render light still alive for doc (used by ~Document).
void FreeRayLightsOf(const Document* doc);

/// The light's colour at p (colour x brightness x falloff x spot cone) and the unit vector
/// from p towards the light (distant: minus its direction). False, outputs untouched, where
/// it does not reach p: outside the cone, beyond a linear falloff's radius, p at the
/// light's position, or zero contribution. Thread-safe, allocation-free.
inline bool Illuminate(const RayLight& light, const Vec3& p, Vec3* col, Vec3* lv) {
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

/// Handle conversions.
inline C4DRayLight* ToHandle(RayLight* l) { return reinterpret_cast<C4DRayLight*>(l); }
inline RayLight* FromHandle(C4DRayLight* l) { return reinterpret_cast<RayLight*>(l); }
inline const RayLight* FromHandle(const C4DRayLight* l) { return reinterpret_cast<const RayLight*>(l); }

}  // namespace host
