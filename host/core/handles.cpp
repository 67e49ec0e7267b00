// handles.cpp - the live-handle tables.
#include "core/handles.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "core/console.h"
#include "core/fault_boundary.h"

namespace host {

namespace {

// Refusals reported per table before the table falls silent.
constexpr int64_t kReportedRefusals = 20;

}  // namespace

HandleTable::Slots::Slots(size_t capacity) : mask(capacity - 1), keys(new std::atomic<uintptr_t>[capacity]) {
  for (size_t i = 0; i < capacity; ++i) keys[i].store(kEmpty, std::memory_order_relaxed);
}

HandleTable::HandleTable(const char* kind) : kind_(kind), slots_(new Slots(64)) {}

HandleTable::~HandleTable() { delete slots_.load(); }

void HandleTable::Insert(uintptr_t key) {
  Slots* s = slots_.load(std::memory_order_relaxed);
  if (static_cast<size_t>(used_ + 1) * 2 > s->mask + 1) {
    // Grow (or clean out tombstones): a new array with every live key, published whole.
    size_t capacity = 64;
    while (capacity < static_cast<size_t>(live_ + 1) * 4) capacity *= 2;
    auto grown = std::make_unique<Slots>(capacity);
    for (size_t i = 0; i <= s->mask; ++i) {
      const uintptr_t k = s->keys[i].load(std::memory_order_relaxed);
      if (k == kEmpty || k == kErased) continue;
      size_t j = Hash(k, grown->mask);
      while (grown->keys[j].load(std::memory_order_relaxed) != kEmpty) j = (j + 1) & grown->mask;
      grown->keys[j].store(k, std::memory_order_relaxed);
    }
    used_ = live_;
    slots_.store(grown.release(), std::memory_order_seq_cst);
    // Readers that loaded the old array may still be looking at it.
    retired_.emplace_back(s);
    FreeRetired();
    s = slots_.load(std::memory_order_relaxed);
  }
  size_t i = Hash(key, s->mask);
  while (true) {
    const uintptr_t k = s->keys[i].load(std::memory_order_relaxed);
    if (k == kEmpty || k == kErased) break;
    i = (i + 1) & s->mask;
  }
  if (s->keys[i].load(std::memory_order_relaxed) == kEmpty) ++used_;
  s->keys[i].store(key, std::memory_order_release);
  ++live_;
}

void HandleTable::FreeRetired() {
  if (!retired_.empty() && readers_.load(std::memory_order_seq_cst) == 0) retired_.clear();
}

void HandleTable::Add(const void* handle, bool lent) {
  const auto key = reinterpret_cast<uintptr_t>(handle);
  if (key <= kErased) return;
  std::lock_guard lock(mutex_);
  FreeRetired();
  if (Find(key)) return;
  Insert(key);
  if (lent) lent_.push_back(key);
}

void HandleTable::Remove(const void* handle) {
  const auto key = reinterpret_cast<uintptr_t>(handle);
  std::lock_guard lock(mutex_);
  FreeRetired();
  if (auto* slot = const_cast<std::atomic<uintptr_t>*>(Find(key))) {
    slot->store(kErased, std::memory_order_release);
    --live_;
  }
  std::erase(lent_, key);
}

bool HandleTable::IsLent(const void* handle) const {
  std::lock_guard lock(mutex_);
  return std::find(lent_.begin(), lent_.end(), reinterpret_cast<uintptr_t>(handle)) != lent_.end();
}

bool HandleTable::TakeForRelease(const void* handle, const char* call) {
  const auto key = reinterpret_cast<uintptr_t>(handle);
  bool lent = false;
  {
    std::lock_guard lock(mutex_);
    auto* slot = key > kErased ? const_cast<std::atomic<uintptr_t>*>(Find(key)) : nullptr;
    lent = slot && std::find(lent_.begin(), lent_.end(), key) != lent_.end();
    if (slot && !lent) {
      slot->store(kErased, std::memory_order_release);
      --live_;
      return true;
    }
  }
  Refuse(handle, call, lent ? "lent by the host, not the caller's to release" : kNotLive);
  return false;
}

bool HandleTable::RefuseUse(const void* handle, const char* call) const {
  Refuse(handle, call, kNotLive);
  return false;
}

void HandleTable::Refuse(const void* handle, const char* call, const char* why) const {
  ReportRefusedHandle(kind_, handle, call, why, refusals_);
}

void ReportRefusedHandle(const char* kind, const void* handle, const char* call, const char* why,
                         std::atomic<int64_t>& refusals) {
  const int64_t n = refusals.fetch_add(1) + 1;
  if (n > kReportedRefusals + 1) return;
  const ModuleCall* current = CurrentModuleCall();
  const std::string who = current ? DescribeModuleCall(*current) : std::string("the host");
  if (n == kReportedRefusals + 1) {
    Console().Print(who + ": further refused calls with a " + std::string(kind) + " are not reported");
    return;
  }
  char address[32];
  std::snprintf(address, sizeof address, "%p", handle);
  Console().Print(who + ": " + call + " with " + kind + " " + address + ": " + why + "; refused");
}

size_t HandleTable::RetiredArrays() const {
  std::lock_guard lock(mutex_);
  return retired_.size();
}

int64_t HandleTable::Size() const {
  std::lock_guard lock(mutex_);
  return live_;
}

void HandleTable::Clear() {
  std::lock_guard lock(mutex_);
  Slots* fresh = new Slots(64);
  retired_.emplace_back(slots_.exchange(fresh, std::memory_order_seq_cst));
  FreeRetired();
  used_ = live_ = 0;
  lent_.clear();
  refusals_.store(0);
}

}  // namespace host
