// memory.h - the framework allocator handed to modules, with counting and fault injection.
//
// Every block that a module allocates through the memory suite is counted here, so tests
// and benchmarks can prove that a code path allocates nothing or leaks nothing. Counters
// are process-wide and thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>

namespace host {

/// A snapshot of the allocator's counters.
struct MemoryStats {
  int64_t liveBlocks = 0;         ///< blocks allocated and not yet freed
  int64_t liveBytes = 0;          ///< requested bytes of the live blocks
  int64_t totalAllocations = 0;   ///< successful allocations since process start
  int64_t failedAllocations = 0;  ///< allocations answered with null (injected or real)
};

/// Current counters of the module allocator.
MemoryStats GetMemoryStats();

/// Makes the next n allocations of the memory suite fail (return null); 0 cancels.
void FailNextAllocations(int n);

/// Allocates size bytes aligned to max(alignment, 16) (alignment must be a power of two,
/// else null). Null when out of memory or when a failure was injected. Counted.
void* ModuleAlloc(size_t size, size_t alignment);

/// Releases a block of ModuleAlloc; null is ignored.
void ModuleFree(void* block);

}  // namespace host
