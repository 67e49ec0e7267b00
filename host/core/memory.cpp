// memory.cpp - the counting module allocator and the memory suite.
#include "core/memory.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <mutex>

#include "core/handles.h"
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

std::atomic<int64_t> liveBlocks{0};
std::atomic<int64_t> liveBytes{0};
std::atomic<int64_t> totalAllocations{0};
std::atomic<int64_t> failedAllocations{0};
std::atomic<int> failNext{0};
std::atomic<int64_t> moduleRequests{0};
std::atomic<int64_t> failRequest{0};
std::atomic<int64_t> failRequestsFrom{0};
std::atomic<bool> journaling{false};
std::mutex journalMutex;
std::vector<std::string> journal;

// Consumes one injected failure if any is pending.
bool TakeInjectedFailure() {
  int n = failNext.load();
  while (n > 0) {
    if (failNext.compare_exchange_weak(n, n - 1)) return true;
  }
  return false;
}

}  // namespace

MemoryStats GetMemoryStats() {
  return MemoryStats{liveBlocks.load(), liveBytes.load(), totalAllocations.load(), failedAllocations.load()};
}

void FailNextAllocations(int n) { failNext.store(n > 0 ? n : 0); }

int64_t ModuleAllocationRequests() { return moduleRequests.load(); }
void FailModuleAllocation(int64_t n) { failRequest.store(n > 0 ? n : 0); }
void FailModuleAllocationsFrom(int64_t n) { failRequestsFrom.store(n > 0 ? n : 0); }

void ResetModuleAllocationFaults() {
  failRequest.store(0);
  failRequestsFrom.store(0);
  moduleRequests.store(0);
  std::lock_guard lock(journalMutex);
  journal.clear();
}

void JournalModuleAllocations(bool on) { journaling.store(on); }

std::vector<std::string> ModuleAllocationJournal() {
  std::lock_guard lock(journalMutex);
  return journal;
}

bool TakeModuleAllocationFault(const char* what, std::string_view detail) {
  if (journaling.load()) {
    std::string line(what);
    if (!detail.empty()) line.append(" \"").append(detail).append("\"");
    std::lock_guard lock(journalMutex);
    journal.push_back(std::move(line));
  }
  const int64_t n = moduleRequests.fetch_add(1) + 1;
  const int64_t from = failRequestsFrom.load();
  return n == failRequest.load() || (from > 0 && n >= from);
}

void* ModuleAlloc(size_t size, size_t alignment) {
  if (alignment < 16) alignment = 16;
  if ((alignment & (alignment - 1)) != 0 || TakeModuleAllocationFault("memory block") ||
      TakeInjectedFailure() || size > std::numeric_limits<size_t>::max() - alignment - sizeof(BlockHeader)) {
    failedAllocations.fetch_add(1);
    return nullptr;
  }
  // Over-allocate so an aligned block with its header in front fits.
  void* raw = std::malloc(size + alignment + sizeof(BlockHeader));
  if (!raw) {
    failedAllocations.fetch_add(1);
    return nullptr;
  }
  uintptr_t start = reinterpret_cast<uintptr_t>(raw) + sizeof(BlockHeader);
  uintptr_t aligned = (start + alignment - 1) & ~(uintptr_t(alignment) - 1);
  auto* header = reinterpret_cast<BlockHeader*>(aligned) - 1;
  header->raw = raw;
  header->size = size;
  header->magic = kBlockMagic;
  liveBlocks.fetch_add(1);
  liveBytes.fetch_add(static_cast<int64_t>(size));
  totalAllocations.fetch_add(1);
  MemoryBlocks().Add(reinterpret_cast<void*>(aligned));
  return reinterpret_cast<void*>(aligned);
}

void ModuleFree(void* block) {
  if (!block) return;
  // Only a live block of ours is touched: anything else is refused before it is read.
  if (!MemoryBlocks().TakeForRelease(block, "Free")) return;
  auto* header = static_cast<BlockHeader*>(block) - 1;
  if (header->magic != kBlockMagic) return;
  header->magic = 0;
  liveBlocks.fetch_sub(1);
  liveBytes.fetch_sub(static_cast<int64_t>(header->size));
  std::free(header->raw);
}

namespace {
void* SuiteAlloc(size_t size, size_t alignment) { return ModuleAlloc(size, alignment); }
void SuiteFree(void* block) { ModuleFree(block); }
constexpr C4DMemorySuite1 kMemorySuite{SuiteAlloc, SuiteFree};
}  // namespace

const C4DMemorySuite1* MemorySuite1() { return &kMemorySuite; }

}  // namespace host
