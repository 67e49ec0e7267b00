// c4d_raytrace.h - what the renderer hands shaders: rays, volume data, channel data,
// render preparation data and render lights.
//
// Ray, RayHitID, VolumeData, ChannelData and InitRenderStruct are laid out exactly like
// the host's structures, so the host's pointers are used in place.
#pragma once

#include "c4d_apiversion.h"
#include "c4d_basetime.h"
#include "c4d_enums.h"
#include "maxon/apibase.h"
#include "maxon/hostinterface.h"
#include "maxon/vec.h"

MAXON_DECLARATION_RECORD("net.maxon.c4d.cinema.framework", VolumeData)
MAXON_DECLARATION_RECORD("net.maxon.c4d.cinema.framework", ChannelData)
MAXON_DECLARATION_RECORD("net.maxon.c4d.cinema.framework", RayLight)

CINEMA_NAMESPACE_BEGIN

class BaseDocument;
class BaseObject;

/// The host's render view of one light object. Holds no data: a pointer to it is the
/// host's handle.
class RayLight {
 public:
  RayLight() = delete;
  RayLight(const RayLight&) = delete;
  RayLight& operator=(const RayLight&) = delete;
};

/// The render light of a light object in doc, or null (not a light, out of memory).
/// Release with FreeRayLight.
RayLight* AllocRayLight(BaseDocument* doc, BaseObject* op);
/// Hands a render light back to the host and sets light to null.
void FreeRayLight(RayLight*& light);

struct Ray {
  Vector p;  ///< origin
  Vector v;  ///< unit direction
  Float ior = 1.0;
  Int32 transport = 0;
  Int32 reserved = 0;
};

struct RayHitID {
  Int32 polygon = 0;  ///< the hit face or primitive
  Int32 reserved = 0;
  const void* object = nullptr;  ///< the hit object (host handle)
};

struct RenderContext;

/// What the renderer knows of one shading sample's surface point. The host's, valid for
/// one Output call; a shader reads it and calls IlluminateSurfacePoint on it.
struct VolumeData {
  Vector p;       ///< surface point
  Vector n;       ///< phong normal
  Vector bumpn;   ///< bump normal
  Vector orign;   ///< surface normal before phong and bump
  Vector uvw;     ///< texture coordinates
  Ray* ray = nullptr;  ///< the eye ray that hit the point; read-only, never null while shading
  RayHitID lhit;       ///< what was hit
  Float dist = 0.0;
  Int32 thread = 0;
  Int32 reserved = 0;
  RenderContext* context = nullptr;  ///< the host's render state

  /// Asks the host how light rl illuminates point p. True when the light reaches p; then
  /// col is the light's colour at p and light_vector the unit vector from p towards the
  /// light. Outputs are untouched when it answers false.
  Bool IlluminateSurfacePoint(const RayLight* rl, Vector* col, Vector64* light_vector, const Vector64& p,
                              const Vector64& bumpn, const Vector64& phongn, const Vector64& orign,
                              const Vector64& ray_vector, ILLUMINATEFLAGS flags, const RayHitID& hitid,
                              RAYBIT raybits, Bool cosine_cutoff);
};

/// The channel data of one sample, handed to a channel shader's Output.
struct ChannelData {
  Vector p;  ///< texture position
  Vector n;  ///< normal
  Vector d;  ///< texture delta
  Float t = 0.0;
  Float off = 0.0;
  Float scale = 0.0;
  VolumeData* vd = nullptr;  ///< null in previews without a surface
};

/// Render preparation data.
struct InitRenderStruct {
#if API_VERSION >= 2024000
  const BaseDocument* doc = nullptr;  ///< the document being rendered
#else
  BaseDocument* doc = nullptr;  ///< the document being rendered
#endif
  BaseTime time;                ///< the time of the render
  Int32 threadCount = 0;
  Int32 reserved = 0;
};

// Illumination runs once per light on every shading sample: the call goes straight to the
// host's render table (the structures are the host's own, see the layout checks in
// c4d_raytrace.cpp).
inline Bool VolumeData::IlluminateSurfacePoint(const RayLight* rl, Vector* col, Vector64* light_vector,
                                               const Vector64& pIn, const Vector64& bumpnIn, const Vector64& phongn,
                                               const Vector64& orignIn, const Vector64& ray_vector,
                                               ILLUMINATEFLAGS flags, const RayHitID& hitid, RAYBIT raybits,
                                               Bool cosine_cutoff) {
  const C4DHostInterface* host = maxon::details::g_hostInterface;
  if (host == nullptr) return false;
  return host->render->IlluminateSurfacePoint(
      reinterpret_cast<const C4DVolumeData*>(this), reinterpret_cast<const C4DRayLight*>(rl),
      reinterpret_cast<C4DVector*>(col), reinterpret_cast<C4DVector*>(light_vector),
      reinterpret_cast<const C4DVector*>(&pIn), reinterpret_cast<const C4DVector*>(&bumpnIn),
      reinterpret_cast<const C4DVector*>(&phongn), reinterpret_cast<const C4DVector*>(&orignIn),
      reinterpret_cast<const C4DVector*>(&ray_vector), static_cast<Int64>(flags),
      reinterpret_cast<const C4DRayHitID*>(&hitid), static_cast<Int64>(raybits), cosine_cutoff ? 1 : 0, nullptr);
}

CINEMA_NAMESPACE_END
