// lights.cpp - render lights (snapshots of light objects) and their illumination.
#include "core/lights.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <new>

#include "core/ids.h"
#include "core/scene.h"
#include "core/services.h"

namespace host {

namespace detail {

// A light's slot in its pool: the light first, so that a light's address is its slot's.
struct alignas(256) LightSlot {
  RayLight light;
  std::atomic<bool> live{false};
  LightSlot* nextFree = nullptr;
};
static_assert(sizeof(LightSlot) == 256, "one slot per 256 bytes");

constinit thread_local LiveLightCache liveLightCache{};

}  // namespace detail

namespace {

using detail::LightSlot;
constexpr size_t kSlotsPerChunk = 4096;
constexpr size_t kChunkBytes = kSlotsPerChunk * sizeof(LightSlot);

// A free slot, or null when memory or the pool's chunks run out. pool.mutex held.
LightSlot* TakeSlot(RayLightPool& pool) {
  if (!pool.freeSlots) {
    const int n = pool.chunkCount.load(std::memory_order_relaxed);
    if (n == RayLightPool::kMaxChunks) return nullptr;
    auto* chunk = new (std::nothrow) LightSlot[kSlotsPerChunk];
    if (!chunk) return nullptr;
    for (size_t i = kSlotsPerChunk; i-- > 0;) {
      chunk[i].nextFree = pool.freeSlots;
      pool.freeSlots = &chunk[i];
    }
    pool.chunks[n].store(reinterpret_cast<uintptr_t>(chunk), std::memory_order_relaxed);
    pool.chunkCount.store(n + 1, std::memory_order_release);
  }
  LightSlot* slot = pool.freeSlots;
  pool.freeSlots = slot->nextFree;
  return slot;
}

// pool.mutex held; slot live.
void ReleaseSlot(RayLightPool& pool, LightSlot* slot) {
  slot->live.store(false, std::memory_order_release);
  pool.releases.fetch_add(1, std::memory_order_acq_rel);
  slot->nextFree = pool.freeSlots;
  pool.freeSlots = slot;
  pool.live.fetch_sub(1);
}

bool IsLiveIn(const RayLightPool& pool, const void* handle) {
  const auto address = reinterpret_cast<uintptr_t>(handle);
  if (address % sizeof(LightSlot) != 0) return false;
  const int n = pool.chunkCount.load(std::memory_order_acquire);
  for (int i = 0; i < n; ++i) {
    if (address - pool.chunks[i].load(std::memory_order_relaxed) < kChunkBytes)
      return reinterpret_cast<const LightSlot*>(address)->live.load(std::memory_order_acquire);
  }
  return false;
}

}  // namespace

RayLightPool::~RayLightPool() {
  const int n = chunkCount.load();
  for (int i = 0; i < n; ++i) delete[] reinterpret_cast<LightSlot*>(chunks[i].load());
}

bool IsLiveRayLight(const void* handle) { return IsLiveIn(Services().rayLights, handle); }

bool IsLiveRayLightToCache(const void* handle) {
  const RayLightPool& pool = Services().rayLights;
  const uint64_t releases = pool.releases.load(std::memory_order_acquire);
  if (!IsLiveIn(pool, handle)) return false;
  const size_t i = (reinterpret_cast<uintptr_t>(handle) >> 8) & 15;
  detail::liveLightCache.light[i] = handle;
  detail::liveLightCache.pool[i] = &pool;
  detail::liveLightCache.releases[i] = releases;
  return true;
}
RayLight* AllocRayLight(Document* doc, Node* obj) {
  if (!doc || !doc->Contains(obj) || !obj->IsLight()) return nullptr;
  const Container& c = obj->Data();
  RayLight light;
  light.document = doc;
  light.object = obj;
  light.kind = c.GetInt32(LIGHT_TYPE, LIGHT_TYPE_OMNI);
  light.color = c.GetVector(LIGHT_COLOR, {1, 1, 1}) * c.GetFloat(LIGHT_BRIGHTNESS, 1.0);
  light.position = c.GetVector(OBJECT_POSITION, {0, 0, 0});
  Vec3 dir = Normalize(c.GetVector(OBJECT_DIRECTION, {0, 0, 1}));
  light.direction = Length(dir) > 0 ? dir : Vec3{0, 0, 1};
  light.falloff = c.GetInt32(LIGHT_FALLOFF, LIGHT_FALLOFF_NONE);
  light.radius = c.GetFloat(LIGHT_FALLOFF_RADIUS, 500.0);
  constexpr double kPi = 3.14159265358979323846;
  double outer = std::clamp(c.GetFloat(LIGHT_SPOT_ANGLE, 30.0 * kPi / 180.0), 0.0, 2 * kPi);
  double inner = std::clamp(c.GetFloat(LIGHT_SPOT_INNER_ANGLE, 0.0), 0.0, outer);
  light.outerHalf = outer / 2;
  light.innerHalf = inner / 2;
  light.cosOuter = std::cos(light.outerHalf);
  light.cosInner = std::cos(light.innerHalf);
  RayLightPool& pool = Services().rayLights;
  std::lock_guard lock(pool.mutex);
  LightSlot* slot = TakeSlot(pool);
  if (!slot) return nullptr;
  slot->light = light;
  slot->live.store(true, std::memory_order_release);
  pool.live.fetch_add(1);
  return &slot->light;
}

void FreeRayLight(RayLight* light) {
  if (!light) return;
  RayLightPool& pool = Services().rayLights;
  std::lock_guard lock(pool.mutex);
  if (!IsLiveIn(pool, light)) return;  // unknown or already freed
  ReleaseSlot(pool, reinterpret_cast<LightSlot*>(light));
}

void FreeRayLightsOf(const Document* doc) {
  RayLightPool& pool = Services().rayLights;
  std::lock_guard lock(pool.mutex);
  const int n = pool.chunkCount.load(std::memory_order_relaxed);
  for (int i = 0; i < n; ++i) {
    auto* chunk = reinterpret_cast<LightSlot*>(pool.chunks[i].load(std::memory_order_relaxed));
    for (size_t j = 0; j < kSlotsPerChunk; ++j) {
      if (chunk[j].live.load(std::memory_order_relaxed) && chunk[j].light.document == doc)
        ReleaseSlot(pool, &chunk[j]);
    }
  }
}

int64_t LiveRayLights() { return Services().rayLights.live.load(); }


}  // namespace host
