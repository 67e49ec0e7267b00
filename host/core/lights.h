// lights.h - render lights: a snapshot of a light object for illumination.
//
// A C4DRayLight* is a host::RayLight*. The parameters are those of ids.h (LIGHT_*,
// OBJECT_POSITION, OBJECT_DIRECTION), read once by AllocRayLight; later edits of the
// object do not change a snapshot. Illumination has no surface cosine term and no
// occlusion: the shadow flag is accepted and ignored (the host's scene model answers every
// point as unoccluded).
#pragma once

#include <cstdint>

#include "c4d_host_abi.h"
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
/// Render lights alive in the process.
int64_t LiveRayLights();
/// Frees every render light still alive for doc (used by ~Document).
void FreeRayLightsOf(const Document* doc);

/// The light's colour at p (colour x brightness x falloff x spot cone) and the unit vector
/// from p towards the light (distant: minus its direction). False, outputs untouched, where
/// it does not reach p: outside the cone, beyond a linear falloff's radius, p at the
/// light's position, or zero contribution. Thread-safe, allocation-free.
bool Illuminate(const RayLight& light, const Vec3& p, Vec3* col, Vec3* lv);

/// Handle conversions.
inline C4DRayLight* ToHandle(RayLight* l) { return reinterpret_cast<C4DRayLight*>(l); }
inline RayLight* FromHandle(C4DRayLight* l) { return reinterpret_cast<RayLight*>(l); }
inline const RayLight* FromHandle(const C4DRayLight* l) { return reinterpret_cast<const RayLight*>(l); }

}  // namespace host
