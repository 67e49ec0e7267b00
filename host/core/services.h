// services.h - host::HostServices: the one owner of the host's process state.
//
// Everything a module can change through the C suites lives here: the allocator's counters
// and fault injections, the tables of live handles, the render-light pool, the plug-in
// registry, the recorded module fault, the call-journal counters, and the state of the
// service groups above core/ (bitmaps and icons, resources and descriptions), which those
// folders define and HostServices holds as parts (Part<T>).
//
// Ownership: each Host owns one HostServices; while it lives, Services() answers it. The
// C suites have no context argument, so they reach the state through that one pointer
// (detail::currentServices), set by Host's constructor and cleared by its destructor.
//
// Without a Host, Services() answers the process's detached services: a HostServices made
// on first use and never destroyed. Every suite works then as it does with a Host (tests
// use the memory suite before making one), but nothing done there is seen by a Host: a new
// Host starts from clean state. A memory block allocated detached may still be freed while
// a Host lives (ModuleFree looks in both).
//
// Teardown: members are destroyed in reverse order of declaration, after the parts (which
// go in reverse order of creation): parts, call counters, fault record, plug-in registry,
// render-light pool, handle tables, allocator state.
//
// Kept process-wide on purpose (not here): the console (settings made before any Host,
// lines read after it), the per-thread module-call slots that the fatal-signal handler reads
// (core/fault_boundary.h), and the live counts of texts and gradients (plain values that a
// caller may keep across Hosts).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "core/handles.h"
#include "core/lights.h"
#include "core/memory.h"
#include "core/plugins.h"

namespace host {

class Host;

/// The module fault recorded since the last TakeModuleFault (core/fault_boundary.h).
struct FaultRecord {
  std::mutex mutex;
  bool recorded = false;  ///< guarded by mutex
  ModuleFault first;      ///< guarded by mutex
  std::atomic<bool> pending{false};
};

/// The counters of the call journal (validate/call_journal.h).
struct CallCounters {
  std::atomic<bool> counting{false};
  std::atomic<int64_t> reads{0}, writes{0}, walks{0};
};

class HostServices {
 public:
  HostServices() = default;
  ~HostServices();
  HostServices(const HostServices&) = delete;
  HostServices& operator=(const HostServices&) = delete;

  // Declared in construction order; destroyed in reverse (after the parts).
  MemoryState memory;
  HandleTables handles;
  RayLightPool rayLights;
  PluginRegistry plugins;  ///< guarded by the callers (registration runs on one thread)
  FaultRecord faults;
  CallCounters calls;
  std::atomic<int> failGradientAllocs{0};       ///< FailNextGradientAllocs
  std::atomic<int64_t> rayLightRefusals{0};     ///< refused render lights reported so far

  /// The state of a service group above core/ (e.g. BitmapState in host/bitmap): made on
  /// first use (default-constructed), destroyed with the services, latest-made first.
  /// Thread-safe.
  template <typename T>
  T& Part() {
    static const int slot = NewPartSlot();
    if (PartBase* p = parts_[slot].load(std::memory_order_acquire)) return static_cast<PartOf<T>*>(p)->value;
    return static_cast<PartOf<T>*>(MakePart(slot, [] { return static_cast<PartBase*>(new PartOf<T>); }))->value;
  }

 private:
  struct PartBase {
    virtual ~PartBase() = default;
  };
  template <typename T>
  struct PartOf : PartBase {
    T value;
  };
  static constexpr int kMaxParts = 8;
  static int NewPartSlot();
  PartBase* MakePart(int slot, PartBase* (*make)());

  std::atomic<PartBase*> parts_[kMaxParts] = {};
  std::mutex partsMutex_;
  std::vector<std::unique_ptr<PartBase>> made_;  // creation order
};

namespace detail {
/// The one pointer: the living Host's services, null when there is none.
extern std::atomic<HostServices*> currentServices;
HostServices& DetachedServices();
}  // namespace detail

/// The living Host's services, or the detached services when no Host lives.
inline HostServices& Services() {
  HostServices* s = detail::currentServices.load(std::memory_order_acquire);
  return s ? *s : detail::DetachedServices();
}

/// The detached services (see above).
inline HostServices& DetachedServices() { return detail::DetachedServices(); }

/// For render threads, which ask about the same few lights for every sample: true when the
/// thread found handle live in the current pool before and no light was released since.
/// False says nothing: ask IsLiveRayLightToCache then.
inline bool IsCachedLiveRayLight(const void* handle) {
  const detail::LiveLightCache& cache = detail::liveLightCache;
  const size_t i = (reinterpret_cast<uintptr_t>(handle) >> 8) & 15;
  const RayLightPool& pool = Services().rayLights;
  return cache.light[i] == handle && cache.pool[i] == &pool &&
         cache.releases[i] == pool.releases.load(std::memory_order_acquire);
}

}  // namespace host
