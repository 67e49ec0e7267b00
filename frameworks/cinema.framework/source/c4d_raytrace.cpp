// c4d_raytrace.cpp - render lights and illumination on the host's render suite.
#include "c4d_raytrace.h"

#include "c4d_baselist.h"
#include "host_access.h"

using maxon::details::Handle;
using maxon::details::RenderSuite;

CINEMA_NAMESPACE_BEGIN

// The render structures are used in place of the host's: their layout must match.
static_assert(sizeof(Vector) == sizeof(C4DVector) && offsetof(Vector, x) == offsetof(C4DVector, x) &&
                  offsetof(Vector, y) == offsetof(C4DVector, y) &&
                  offsetof(Vector, z) == offsetof(C4DVector, z),
              "Vector mirrors C4DVector");
static_assert(sizeof(Ray) == sizeof(C4DRay) && offsetof(Ray, p) == offsetof(C4DRay, p) &&
                  offsetof(Ray, v) == offsetof(C4DRay, v) && offsetof(Ray, ior) == offsetof(C4DRay, ior) &&
                  offsetof(Ray, transport) == offsetof(C4DRay, transport) &&
                  offsetof(Ray, reserved) == offsetof(C4DRay, reserved),
              "Ray mirrors C4DRay");
static_assert(sizeof(RayHitID) == sizeof(C4DRayHitID) &&
                  offsetof(RayHitID, polygon) == offsetof(C4DRayHitID, polygon) &&
                  offsetof(RayHitID, object) == offsetof(C4DRayHitID, object),
              "RayHitID mirrors C4DRayHitID");
static_assert(sizeof(VolumeData) == sizeof(C4DVolumeData) &&
                  offsetof(VolumeData, p) == offsetof(C4DVolumeData, p) &&
                  offsetof(VolumeData, n) == offsetof(C4DVolumeData, n) &&
                  offsetof(VolumeData, bumpn) == offsetof(C4DVolumeData, bumpn) &&
                  offsetof(VolumeData, orign) == offsetof(C4DVolumeData, orign) &&
                  offsetof(VolumeData, uvw) == offsetof(C4DVolumeData, uvw) &&
                  offsetof(VolumeData, ray) == offsetof(C4DVolumeData, ray) &&
                  offsetof(VolumeData, lhit) == offsetof(C4DVolumeData, lhit) &&
                  offsetof(VolumeData, dist) == offsetof(C4DVolumeData, dist) &&
                  offsetof(VolumeData, thread) == offsetof(C4DVolumeData, thread) &&
                  offsetof(VolumeData, context) == offsetof(C4DVolumeData, context),
              "VolumeData mirrors C4DVolumeData");
static_assert(sizeof(ChannelData) == sizeof(C4DChannelData) &&
                  offsetof(ChannelData, p) == offsetof(C4DChannelData, p) &&
                  offsetof(ChannelData, n) == offsetof(C4DChannelData, n) &&
                  offsetof(ChannelData, d) == offsetof(C4DChannelData, d) &&
                  offsetof(ChannelData, t) == offsetof(C4DChannelData, t) &&
                  offsetof(ChannelData, off) == offsetof(C4DChannelData, off) &&
                  offsetof(ChannelData, scale) == offsetof(C4DChannelData, scale) &&
                  offsetof(ChannelData, vd) == offsetof(C4DChannelData, vd),
              "ChannelData mirrors C4DChannelData");
static_assert(sizeof(BaseTime) == sizeof(double), "BaseTime mirrors the host's time in seconds");
static_assert(sizeof(InitRenderStruct) == sizeof(C4DInitRenderStruct) &&
                  offsetof(InitRenderStruct, doc) == offsetof(C4DInitRenderStruct, doc) &&
                  offsetof(InitRenderStruct, time) == offsetof(C4DInitRenderStruct, time) &&
                  offsetof(InitRenderStruct, threadCount) == offsetof(C4DInitRenderStruct, threadCount),
              "InitRenderStruct mirrors C4DInitRenderStruct");

RayLight* AllocRayLight(BaseDocument* doc, BaseObject* op) {
  const C4DRenderSuite1* suite = RenderSuite();
  if (suite == nullptr || op == nullptr) return nullptr;
  return Handle<RayLight>(suite->AllocRayLight(Handle<C4DDocument>(doc), Handle<C4DNode>(op)));
}

void FreeRayLight(RayLight*& light) {
  if (light == nullptr) return;
  if (const C4DRenderSuite1* suite = maxon::details::ReleaseRenderSuite())
    suite->FreeRayLight(Handle<C4DRayLight>(light));
  light = nullptr;
}

CINEMA_NAMESPACE_END
