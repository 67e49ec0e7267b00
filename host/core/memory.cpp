// memory.cpp - the counting module allocator and the memory suite.
#include "core/memory.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <mutex>

#include "core/handles.h"
#include "core/services.h"
#include "core/suites.h"

namespace host {
namespace {

// Kept just before every block: where the raw allocation starts and its requested size.
struct BlockHeader {
  void* raw;
  size_t size;
  uint64_t magic;
};
constexpr uint64_t kBlockMagic = 0xC0A7A11C0DEB10CCull;

// Consumes one injected failure if any is pending.
bool TakeInjectedFailure(MemoryState& m) {
  int n = m.failNext.load();
  while (n > 0) {
    if (m.failNext.compare_exchange_weak(n, n - 1)) return true;
  }
  return false;
}

// Numbers one request of m; true when it must fail.
bool TakeFault(MemoryState& m, const char* what, std::string_view detail) {
  if (m.journaling.load()) {
    std::string line(what);
    if (!detail.empty()) line.append(" \"").append(detail).append("\"");
    std::lock_guard lock(m.journalMutex);
    m.journal.push_back(std::move(line));
  }
  const int64_t n = m.moduleRequests.fetch_add(1) + 1;
  const int64_t from = m.failRequestsFrom.load();
  return n == m.failRequest.load() || (from > 0 && n >= from);
}

}  // namespace

MemoryStats GetMemoryStats() {
  const MemoryState& m = Services().memory;
  return MemoryStats{m.liveBlocks.load(), m.liveBytes.load(), m.totalAllocations.load(), m.failedAllocations.load()};
}

void FailNextAllocations(int n) { Services().memory.failNext.store(n > 0 ? n : 0); }

int64_t ModuleAllocationRequests() { return Services().memory.moduleRequests.load(); }
void FailModuleAllocation(int64_t n) { Services().memory.failRequest.store(n > 0 ? n : 0); }
void FailModuleAllocationsFrom(int64_t n) { Services().memory.failRequestsFrom.store(n > 0 ? n : 0); }

void ResetModuleAllocationFaults() {
  MemoryState& m = Services().memory;
  m.failRequest.store(0);
  m.failRequestsFrom.store(0);
  m.moduleRequests.store(0);
  std::lock_guard lock(m.journalMutex);
  m.journal.clear();
}

void JournalModuleAllocations(bool on) { Services().memory.journaling.store(on); }

std::vector<std::string> ModuleAllocationJournal() {
  MemoryState& m = Services().memory;
  std::lock_guard lock(m.journalMutex);
  return m.journal;
}

bool TakeModuleAllocationFault(const char* what, std::string_view detail) {
  return TakeFault(Services().memory, what, detail);
}

void* ModuleAlloc(size_t size, size_t alignment) {
  HostServices& s = Services();  // once: the pointer is read once per call
  MemoryState& m = s.memory;
  if (alignment < 16) alignment = 16;
  if ((alignment & (alignment - 1)) != 0 || TakeFault(m, "memory block", {}) || TakeInjectedFailure(m) ||
      size > std::numeric_limits<size_t>::max() - alignment - sizeof(BlockHeader)) {
    m.failedAllocations.fetch_add(1);
    return nullptr;
  }
  // Over-allocate so an aligned block with its header in front fits.
  void* raw = std::malloc(size + alignment + sizeof(BlockHeader));
  if (!raw) {
    m.failedAllocations.fetch_add(1);
    return nullptr;
  }
  uintptr_t start = reinterpret_cast<uintptr_t>(raw) + sizeof(BlockHeader);
  uintptr_t aligned = (start + alignment - 1) & ~(uintptr_t(alignment) - 1);
  auto* header = reinterpret_cast<BlockHeader*>(aligned) - 1;
  header->raw = raw;
  header->size = size;
  header->magic = kBlockMagic;
  m.liveBlocks.fetch_add(1);
  m.liveBytes.fetch_add(static_cast<int64_t>(size));
  m.totalAllocations.fetch_add(1);
  s.handles.memoryBlocks.Add(reinterpret_cast<void*>(aligned));
  return reinterpret_cast<void*>(aligned);
}

void ModuleFree(void* block) {
  if (!block) return;
  HostServices* s = &Services();
  // A block allocated before the Host began (detached) is still the caller's to free.
  if (HostServices& detached = DetachedServices(); s != &detached && !s->handles.memoryBlocks.Contains(block) &&
                                                    detached.handles.memoryBlocks.Contains(block))
    s = &detached;
  // Only a live block of ours is touched: anything else is refused before it is read.
  if (!s->handles.memoryBlocks.TakeForRelease(block, "Free")) return;
  auto* header = static_cast<BlockHeader*>(block) - 1;
  if (header->magic != kBlockMagic) return;
  header->magic = 0;
  s->memory.liveBlocks.fetch_sub(1);
  s->memory.liveBytes.fetch_sub(static_cast<int64_t>(header->size));
  std::free(header->raw);
}

namespace {
void* SuiteAlloc(size_t size, size_t alignment) { return ModuleAlloc(size, alignment); }
void SuiteFree(void* block) { ModuleFree(block); }
constexpr C4DMemorySuite1 kMemorySuite{SuiteAlloc, SuiteFree};
}  // namespace

const C4DMemorySuite1* MemorySuite1() { return &kMemorySuite; }

}  // namespace host
