// shaders.cpp - shader evaluation: dispatch to plug-ins, the built-in shaders and noise.
#include "core/shaders.h"

#include <algorithm>
#include <cmath>

#include "core/fault_boundary.h"
#include "core/ids.h"
#include "core/plugins.h"
#include "core/scene.h"

namespace host {

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
    CallModuleVoid(plugin->Call(PluginCall::Output),
                   [&] { plugin->record.Output(shader->Instance(), ToHandle(shader), cd, &out); });
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
  return CallModule(plugin->Call(PluginCall::InitRender), int32_t{C4D_INITRENDERRESULT_UNKNOWNERROR},
                    [&] { return plugin->record.InitRender(shader->Instance(), ToHandle(shader), irs ? irs : &none); });
}

void ShaderFreeRender(Node* shader) {
  if (!shader || !shader->IsShader() || !shader->Instance()) return;
  ShaderScope scope(shader);
  if (!scope) return;
  const PluginInfo* plugin = shader->Plugin();
  if (plugin && plugin->record.FreeRender)
    CallModuleVoid(plugin->Call(PluginCall::FreeRender),
                   [&] { plugin->record.FreeRender(shader->Instance(), ToHandle(shader)); });
}

}  // namespace host
