// render.cpp - render lights, illumination, shader evaluation and the render suite.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <new>
#include <unordered_set>

#include "core/ids.h"
#include "core/lights.h"
#include "core/plugins.h"
#include "core/scene.h"
#include "core/shaders.h"
#include "core/suites.h"

namespace host {

// ---- Render lights ------------------------------------------------------------------

namespace {

std::mutex rayLightsMutex;
std::unordered_set<RayLight*>& RayLightRegistry() {
  static auto* set = new std::unordered_set<RayLight*>;  // outlives every static user
  return *set;
}
std::atomic<int64_t> liveRayLights{0};

double SmoothStep01(double t) { return t * t * (3 - 2 * t); }

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
    for (RayLight* l : doomed) RayLightRegistry().erase(l);
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

// ---- Shaders ------------------------------------------------------------------------

namespace {

// Shaders being evaluated on this thread, innermost last (fixed size: no allocation).
thread_local const Node* shaderStack[kMaxShaderDepth];
thread_local int shaderDepth = 0;

// Pushes shader unless it is already on the stack or the stack is full.
class ShaderScope {
 public:
  explicit ShaderScope(const Node* shader) {
    if (shaderDepth >= kMaxShaderDepth) return;
    for (int i = 0; i < shaderDepth; ++i) {
      if (shaderStack[i] == shader) return;
    }
    shaderStack[shaderDepth++] = shader;
    entered_ = true;
  }
  ~ShaderScope() {
    if (entered_) --shaderDepth;
  }
  explicit operator bool() const { return entered_; }

 private:
  bool entered_ = false;
};

uint32_t Hash(int64_t x, int64_t y, int64_t z, int32_t seed) {
  uint64_t h = static_cast<uint64_t>(x) * 0x9E3779B97F4A7C15ull ^
               static_cast<uint64_t>(y) * 0xC2B2AE3D27D4EB4Full ^
               static_cast<uint64_t>(z) * 0x165667B19E3779F9ull ^
               static_cast<uint64_t>(static_cast<uint32_t>(seed)) * 0x27D4EB2F165667C5ull;
  h ^= h >> 33;
  h *= 0xFF51AFD7ED558CCDull;
  h ^= h >> 33;
  h *= 0xC4CEB9FE1A85EC53ull;
  h ^= h >> 33;
  return static_cast<uint32_t>(h);
}

double Lattice(int64_t x, int64_t y, int64_t z, int32_t seed) { return Hash(x, y, z, seed) / 4294967295.0; }

Vec3 SampleBuiltin(const Node* shader, const C4DChannelData* cd) {
  const Container& c = shader->Data();
  Vec3 uvw = cd ? Vec3(cd->p) : Vec3{};
  switch (shader->Type()) {
    case kShaderColor:
      return c.GetVector(COLORSHADER_COLOR, {1, 1, 1}) * c.GetFloat(COLORSHADER_BRIGHTNESS, 1.0);
    case kShaderCheckerboard: {
      double u = std::floor(uvw.x * c.GetFloat(CHECKER_USCALE, 8.0));
      double v = std::floor(uvw.y * c.GetFloat(CHECKER_VSCALE, 8.0));
      bool even = std::fmod(std::fabs(u + v), 2.0) < 0.5;
      return even ? c.GetVector(CHECKER_COLOR1, {1, 1, 1}) : c.GetVector(CHECKER_COLOR2, {0, 0, 0});
    }
    case kShaderNoise: {
      Vec3 p = uvw;
      if (c.GetInt32(NOISE_SPACE, NOISE_SPACE_UVW) == NOISE_SPACE_WORLD && cd && cd->vd) p = cd->vd->p;
      double n = ValueNoise(p * c.GetFloat(NOISE_SCALE, 1.0), c.GetInt32(NOISE_SEED, 0));
      return Lerp(c.GetVector(NOISE_COLOR1, {0, 0, 0}), c.GetVector(NOISE_COLOR2, {1, 1, 1}), n);
    }
    default:
      return {};
  }
}

}  // namespace

double ValueNoise(const Vec3& p, int32_t seed) {
  constexpr double kLimit = 1e15;  // keeps lattice coordinates inside int64
  if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) return 0;
  double x = std::clamp(p.x, -kLimit, kLimit), y = std::clamp(p.y, -kLimit, kLimit),
         z = std::clamp(p.z, -kLimit, kLimit);
  double fx = std::floor(x), fy = std::floor(y), fz = std::floor(z);
  auto ix = static_cast<int64_t>(fx), iy = static_cast<int64_t>(fy), iz = static_cast<int64_t>(fz);
  double tx = SmoothStep01(x - fx), ty = SmoothStep01(y - fy), tz = SmoothStep01(z - fz);
  auto lerp = [](double a, double b, double t) { return a + (b - a) * t; };
  double c00 = lerp(Lattice(ix, iy, iz, seed), Lattice(ix + 1, iy, iz, seed), tx);
  double c10 = lerp(Lattice(ix, iy + 1, iz, seed), Lattice(ix + 1, iy + 1, iz, seed), tx);
  double c01 = lerp(Lattice(ix, iy, iz + 1, seed), Lattice(ix + 1, iy, iz + 1, seed), tx);
  double c11 = lerp(Lattice(ix, iy + 1, iz + 1, seed), Lattice(ix + 1, iy + 1, iz + 1, seed), tx);
  return lerp(lerp(c00, c10, ty), lerp(c01, c11, ty), tz);
}

Vec3 SampleShader(Node* shader, C4DChannelData* cd) {
  if (!shader || !shader->IsShader()) return {};
  ShaderScope scope(shader);
  if (!scope) return {};  // a cycle or too deep: black
  if (shader->Instance()) {
    const PluginInfo* plugin = shader->Plugin();
    if (!plugin || !plugin->record.Output) return {};
    C4DVector out{0, 0, 0};
    plugin->record.Output(shader->Instance(), ToHandle(shader), cd, &out);
    return out;
  }
  return SampleBuiltin(shader, cd);
}

int32_t ShaderInitRender(Node* shader, const C4DInitRenderStruct* irs) {
  if (!shader || !shader->IsShader() || !shader->Instance()) return C4D_INITRENDERRESULT_OK;
  ShaderScope scope(shader);
  if (!scope) return C4D_INITRENDERRESULT_OK;
  const PluginInfo* plugin = shader->Plugin();
  if (!plugin || !plugin->record.InitRender) return C4D_INITRENDERRESULT_OK;
  C4DInitRenderStruct none{};
  return plugin->record.InitRender(shader->Instance(), ToHandle(shader), irs ? irs : &none);
}

void ShaderFreeRender(Node* shader) {
  if (!shader || !shader->IsShader() || !shader->Instance()) return;
  ShaderScope scope(shader);
  if (!scope) return;
  const PluginInfo* plugin = shader->Plugin();
  if (plugin && plugin->record.FreeRender) plugin->record.FreeRender(shader->Instance(), ToHandle(shader));
}

// ---- The suite ----------------------------------------------------------------------

namespace {

C4DRayLight* SuiteAllocRayLight(C4DDocument* doc, C4DNode* lightObject) {
  return ToHandle(AllocRayLight(FromHandle(doc), FromHandle(lightObject)));
}

void SuiteFreeRayLight(C4DRayLight* light) { FreeRayLight(FromHandle(light)); }

// No occlusion is modelled: the shadow flag and the normals do not change the answer.
bool SuiteIlluminateSurfacePoint(const C4DVolumeData* vd, C4DRayLight* light, C4DVector* col, C4DVector* lv,
                                 const C4DVector* p, const C4DVector*, const C4DVector*, const C4DVector*,
                                 const C4DVector*, int32_t, const C4DRayHitID*, int32_t, bool, C4DVector*) {
  if (!light || !col || !lv) return false;
  const C4DVector* point = p ? p : (vd ? &vd->p : nullptr);
  if (!point) return false;
  Vec3 c, l;
  if (!Illuminate(*FromHandle(light), *point, &c, &l)) return false;
  *col = c;
  *lv = l;
  return true;
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
