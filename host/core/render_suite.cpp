// render_suite.cpp - the render suite handed to modules: handle adapters over render
// lights (lights.h) and shader calls (shaders.h).
#include "core/handles.h"
#include "core/lights.h"
#include "core/memory.h"
#include "core/scene.h"
#include "core/services.h"
#include "core/shaders.h"
#include "core/suites.h"

namespace host {

namespace {

C4DRayLight* SuiteAllocRayLight(C4DDocument* doc, C4DNode* lightObject) {
  if (TakeModuleAllocationFault("render light")) return nullptr;
  return ToHandle(AllocRayLight(FromHandle(doc), FromHandle(lightObject)));
}

void SuiteFreeRayLight(C4DRayLight* light) { FreeRayLight(FromHandle(light)); }

// The illumination of a live light (light, col and lv not null).
bool IlluminateLive(const C4DVolumeData* vd, const C4DRayLight* light, C4DVector* col, C4DVector* lv,
                    const C4DVector* p) {
  const C4DVector* point = p ? p : (vd ? &vd->p : nullptr);
  if (!point) return false;
  Vec3 c, l;
  if (!Illuminate(*FromHandle(light), *point, &c, &l)) return false;
  *col = c;
  *lv = l;
  return true;
}

// A light this thread has not seen live yet: looked up in the pool first, refused when it
// is not a live render light.
[[gnu::noinline]] bool IlluminateUnseen(const C4DVolumeData* vd, const C4DRayLight* light, C4DVector* col,
                                        C4DVector* lv, const C4DVector* p) {
  if (!IsLiveRayLightToCache(light)) {
    ReportRefusedHandle("render light", light, "IlluminateSurfacePoint", kNotLive, Services().rayLightRefusals);
    return false;
  }
  return IlluminateLive(vd, light, col, lv, p);
}

// No occlusion is modelled: the shadow flag and the normals do not change the answer. The
// light is checked on every call; the check of a light seen before is a few instructions,
// and the rest is a tail call, so the common path keeps its own small frame.
bool SuiteIlluminateSurfacePoint(const C4DVolumeData* vd, const C4DRayLight* light, C4DVector* col, C4DVector* lv,
                                 const C4DVector* p, const C4DVector*, const C4DVector*, const C4DVector*,
                                 const C4DVector*, int64_t, const C4DRayHitID*, int64_t, int64_t, C4DVector*) {
  if (!light || !col || !lv) return false;
  if (!IsCachedLiveRayLight(light)) return IlluminateUnseen(vd, light, col, lv, p);
  return IlluminateLive(vd, light, col, lv, p);
}

void SuiteSampleShader(C4DNode* shader, C4DChannelData* cd, C4DVector* out) {
  if (!out) return;
  *out = SampleShader(FromHandle(shader), cd);
}

int32_t SuiteShaderInitRender(C4DNode* shader, const C4DInitRenderStruct* irs) {
  return ShaderInitRender(FromHandle(shader), irs);
}

void SuiteShaderFreeRender(C4DNode* shader) { ShaderFreeRender(FromHandle(shader)); }

constexpr C4DRenderSuite1 kRenderSuite{SuiteAllocRayLight, SuiteFreeRayLight,     SuiteIlluminateSurfacePoint,
                                       SuiteSampleShader,  SuiteShaderInitRender, SuiteShaderFreeRender};

}  // namespace

const C4DRenderSuite1* RenderSuite1() { return &kRenderSuite; }

}  // namespace host
