// services.cpp - the owner of the host's process state and the one pointer to it.
#include "core/services.h"

#include <cstdio>
#include <cstdlib>

namespace host {

namespace detail {

std::atomic<HostServices*> currentServices{nullptr};

HostServices& DetachedServices() {
  // Never destroyed: modules may hand handles back until the very end of the process.
  static HostServices* detached = new HostServices;
  return *detached;
}

}  // namespace detail

HostServices::~HostServices() {
  // Parts first, latest-made first: they may still use the members (e.g. icons leave the
  // bitmap table).
  while (!made_.empty()) made_.pop_back();
}

int HostServices::NewPartSlot() {
  static std::atomic<int> next{0};
  const int slot = next.fetch_add(1);
  if (slot >= kMaxParts) {
    std::fprintf(stderr, "host::HostServices: more than %d parts\n", kMaxParts);
    std::abort();
  }
  return slot;
}

HostServices::PartBase* HostServices::MakePart(int slot, PartBase* (*make)()) {
  std::lock_guard lock(partsMutex_);
  if (PartBase* p = parts_[slot].load(std::memory_order_acquire)) return p;
  made_.emplace_back(make());
  parts_[slot].store(made_.back().get(), std::memory_order_release);
  return made_.back().get();
}

// The handle tables of the current services.
HandleTable& MemoryBlocks() { return Services().handles.memoryBlocks; }
HandleTable& Resources() { return Services().handles.resources; }
HandleTable& Bitmaps() { return Services().handles.bitmaps; }
HandleTable& Strings() { return Services().handles.strings; }
HandleTable& Filenames() { return Services().handles.filenames; }

}  // namespace host
