// lights.cpp - render lights (snapshots of light objects) and their illumination.
#include "core/lights.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <new>

#include "core/ids.h"
#include "core/scene.h"

namespace host {

namespace {

// Render lights live in a pool of fixed 256-byte slots in chunks that never move or go
// away, so that a pointer a module hands back can be checked without reading anything but
// the pool: inside a chunk, at a slot's start, and that slot live.
struct alignas(256) LightSlot {
  RayLight light;  // first: a light's address is its slot's
  std::atomic<bool> live{false};
  LightSlot* nextFree = nullptr;
};
static_assert(sizeof(LightSlot) == 256, "one slot per 256 bytes");
constexpr size_t kSlotsPerChunk = 4096;
constexpr size_t kChunkBytes = kSlotsPerChunk * sizeof(LightSlot);
constexpr int kMaxChunks = 1024;  // four million render lights at once

std::atomic<uintptr_t> chunks[kMaxChunks];
std::atomic<int> chunkCount{0};
std::mutex poolMutex;  // allocation, release and the free list
LightSlot* freeSlots = nullptr;
std::atomic<int64_t> liveRayLights{0};

// A free slot, or null when memory or the pool's chunks run out. poolMutex held.
LightSlot* TakeSlot() {
  if (!freeSlots) {
    const int n = chunkCount.load(std::memory_order_relaxed);
    if (n == kMaxChunks) return nullptr;
    auto* chunk = new (std::nothrow) LightSlot[kSlotsPerChunk];
    if (!chunk) return nullptr;
    for (size_t i = kSlotsPerChunk; i-- > 0;) {
      chunk[i].nextFree = freeSlots;
      freeSlots = &chunk[i];
    }
    chunks[n].store(reinterpret_cast<uintptr_t>(chunk), std::memory_order_relaxed);
    chunkCount.store(n + 1, std::memory_order_release);
  }
  LightSlot* slot = freeSlots;
  freeSlots = slot->nextFree;
  return slot;
}

// poolMutex held; slot live.
void ReleaseSlot(LightSlot* slot) {
  slot->live.store(false, std::memory_order_release);
  detail::rayLightReleases.fetch_add(1, std::memory_order_acq_rel);
  slot->nextFree = freeSlots;
  freeSlots = slot;
  liveRayLights.fetch_sub(1);
}

}  // namespace

namespace detail {
std::atomic<uint64_t> rayLightReleases{1};  // never 0: an empty cache entry never matches
constinit thread_local LiveLightCache liveLightCache{};
}  // namespace detail

bool IsLiveRayLight(const void* handle) {
  const auto address = reinterpret_cast<uintptr_t>(handle);
  if (address % sizeof(LightSlot) != 0) return false;
  const int n = chunkCount.load(std::memory_order_acquire);
  for (int i = 0; i < n; ++i) {
    if (address - chunks[i].load(std::memory_order_relaxed) < kChunkBytes)
      return reinterpret_cast<const LightSlot*>(address)->live.load(std::memory_order_acquire);
  }
  return false;
}

bool IsLiveRayLightToCache(const void* handle) {
  const uint64_t releases = detail::rayLightReleases.load(std::memory_order_acquire);
  if (!IsLiveRayLight(handle)) return false;
  const size_t i = (reinterpret_cast<uintptr_t>(handle) >> 8) & 15;
  detail::liveLightCache.light[i] = handle;
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
  std::lock_guard lock(poolMutex);
  LightSlot* slot = TakeSlot();
  if (!slot) return nullptr;
  slot->light = light;
  slot->live.store(true, std::memory_order_release);
  liveRayLights.fetch_add(1);
  return &slot->light;
}

void FreeRayLight(RayLight* light) {
  if (!light) return;
  std::lock_guard lock(poolMutex);
  if (!IsLiveRayLight(light)) return;  // unknown or already freed
  ReleaseSlot(reinterpret_cast<LightSlot*>(light));
}

void FreeRayLightsOf(const Document* doc) {
  std::lock_guard lock(poolMutex);
  const int n = chunkCount.load(std::memory_order_relaxed);
  for (int i = 0; i < n; ++i) {
    auto* chunk = reinterpret_cast<LightSlot*>(chunks[i].load(std::memory_order_relaxed));
    for (size_t j = 0; j < kSlotsPerChunk; ++j) {
      if (chunk[j].live.load(std::memory_order_relaxed) && chunk[j].light.document == doc) ReleaseSlot(&chunk[j]);
    }
  }
}

int64_t LiveRayLights() { return liveRayLights.load(); }


}  // namespace host
