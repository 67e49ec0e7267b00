// memory.h - the framework allocator handed to modules, with counting and fault injection.
//
// Every block that a module allocates through the memory suite is counted here, so tests
// and benchmarks can prove that a code path allocates nothing or leaks nothing. The
// counters and injections are the current HostServices' MemoryState (core/services.h): a
// new Host starts from zero. Thread-safe.
#pragma once

#include <cstddef>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace host {

/// The allocator's state in one HostServices.
struct MemoryState {
  std::atomic<int64_t> liveBlocks{0};
  std::atomic<int64_t> liveBytes{0};
  std::atomic<int64_t> totalAllocations{0};
  std::atomic<int64_t> failedAllocations{0};
  std::atomic<int> failNext{0};              ///< FailNextAllocations
  std::atomic<int64_t> moduleRequests{0};    ///< requests numbered since the last reset
  std::atomic<int64_t> failRequest{0};       ///< FailModuleAllocation
  std::atomic<int64_t> failRequestsFrom{0};  ///< FailModuleAllocationsFrom
  std::atomic<bool> journaling{false};
  std::mutex journalMutex;
  std::vector<std::string> journal;  ///< guarded by journalMutex
};

/// A snapshot of the allocator's counters.
struct MemoryStats {
  int64_t liveBlocks = 0;         ///< blocks allocated and not yet freed
  int64_t liveBytes = 0;          ///< requested bytes of the live blocks
  int64_t totalAllocations = 0;   ///< successful allocations since the services began
  int64_t failedAllocations = 0;  ///< allocations answered with null (injected or real)
};

/// Current counters of the module allocator.
MemoryStats GetMemoryStats();

/// Makes the next n allocations of the memory suite fail (return null); 0 cancels.
void FailNextAllocations(int n);

/// Allocation requests of modules: every block of the memory suite and every suite call
/// that makes a new host object for a module (texts and file names, the start-up folder,
/// gradients, bitmaps, render lights, loaded resources, and the copy a container keeps of
/// a value stored into it). They are numbered from 1 since the last
/// ResetModuleAllocationFaults(); a session driven on one thread gets the same numbers
/// every time it runs the same way, so one request can be picked out and failed.
///
/// The number of requests made since the last reset.
int64_t ModuleAllocationRequests();
/// Makes request number n fail (answered as out of memory); 0 cancels.
void FailModuleAllocation(int64_t n);
/// Makes request number n and every later one fail; 0 cancels.
void FailModuleAllocationsFrom(int64_t n);
/// Cancels both, restarts the numbering at 1 and empties the journal.
void ResetModuleAllocationFaults();
/// Keeps (true) or stops keeping a journal of the requests: one line per request in
/// numbering order, naming what was asked for ("string \"res\"", "gradient", ...).
void JournalModuleAllocations(bool on);
/// The journal since the last reset.
std::vector<std::string> ModuleAllocationJournal();
/// For the suites: numbers one request (what: the kind of object, detail: e.g. its text);
/// true when it must fail.
bool TakeModuleAllocationFault(const char* what, std::string_view detail = {});

/// Allocates size bytes aligned to max(alignment, 16) (alignment must be a power of two,
/// else null). Null when out of memory or when a failure was injected. Counted.
void* ModuleAlloc(size_t size, size_t alignment);

/// Releases a block of ModuleAlloc; null is ignored. Anything that is not a live block of
/// ModuleAlloc (freed already, a pointer into a block, any other memory) is refused and
/// reported, never read.
void ModuleFree(void* block);

}  // namespace host
