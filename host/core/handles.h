// handles.h - tables of the live handles the host gives to modules.
//
// Every kind of handle a module can hand back (memory blocks, resources, bitmaps, render
// lights, strings, file names) is entered in its table when the host makes it and taken out
// when it dies. A suite function looks the module's handle up before it touches it: a handle
// that is not live (freed already, never given out, a pointer into the middle of a block,
// a stack address) is refused and reported, never dereferenced. A handle can also be lent:
// live, but not the caller's to free (an icon's bitmap).
//
// Lookups take no lock (an open-addressing set read with atomic loads), so they may run on
// render threads; adding and removing take the table's mutex. An array that grows is
// replaced whole; the old one is freed once no lookup is under way (a count of readers),
// so a long session's churn does not pile up old arrays.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace host {

/// One kind of handle and its live entries. Thread-safe.
class HandleTable {
 public:
  /// kind names the handles in reports ("memory block", "bitmap", ...).
  explicit HandleTable(const char* kind);
  ~HandleTable();
  HandleTable(const HandleTable&) = delete;
  HandleTable& operator=(const HandleTable&) = delete;

  /// Enters a live handle; lent: live but not the caller's to release.
  void Add(const void* handle, bool lent = false);
  /// Takes a handle out (the host destroyed it); nothing when it is not in the table.
  void Remove(const void* handle);
  /// Whether handle is live. Lock-free and inline: render threads check render lights with
  /// it on every illumination query.
  bool Contains(const void* handle) const {
    const auto key = reinterpret_cast<uintptr_t>(handle);
    if (key <= kErased) return false;
    readers_.fetch_add(1, std::memory_order_seq_cst);
    const bool live = Find(key) != nullptr;
    readers_.fetch_sub(1, std::memory_order_release);
    return live;
  }
  /// Whether handle is live and lent.
  bool IsLent(const void* handle) const;

  /// For a module's release of handle: true when it is live and not lent, and then it is
  /// taken out. Otherwise false, and the refusal is reported (see Refuse).
  bool TakeForRelease(const void* handle, const char* call);
  /// For a module's use of handle: true when it is live; otherwise reported and false.
  bool Check(const void* handle, const char* call) const { return Contains(handle) || RefuseUse(handle, call); }
  /// Reports a refused call on the console: "<module call>: <call> of <kind> 0x...: <why>;
  /// refused". The first few refusals of a table are reported, then one line says that
  /// further ones are not.
  void Refuse(const void* handle, const char* call, const char* why) const;

  /// Live entries, refusals reported so far.
  int64_t Size() const;
  int64_t Refusals() const { return refusals_.load(); }
  /// Replaced arrays not freed yet (lookups were under way when they were replaced).
  size_t RetiredArrays() const;
  /// Forgets every entry (a host torn down).
  void Clear();

 private:
  // One open-addressing array of keys: kEmpty, kErased (a tombstone) or a live handle.
  struct Slots {
    explicit Slots(size_t capacity);
    size_t mask;
    std::unique_ptr<std::atomic<uintptr_t>[]> keys;
  };
  static constexpr uintptr_t kEmpty = 0, kErased = 1;
  static size_t Hash(uintptr_t key, size_t mask) {
    const uint64_t h = static_cast<uint64_t>(key >> 4) * 0x9E3779B97F4A7C15ull;
    return static_cast<size_t>(h >> 20) & mask;
  }
  // Reports a use of a handle that is not live; false.
  bool RefuseUse(const void* handle, const char* call) const;
  // Inserts into the current array (the mutex held); grows it when needed.
  void Insert(uintptr_t key);
  // Frees the replaced arrays when no lookup is under way (the mutex held). A lookup that
  // starts after the check finds the current array: it counts itself before it loads it.
  void FreeRetired();
  const std::atomic<uintptr_t>* Find(uintptr_t key) const {
    const Slots* s = slots_.load(std::memory_order_seq_cst);
    for (size_t i = Hash(key, s->mask), n = 0; n <= s->mask; i = (i + 1) & s->mask, ++n) {
      const uintptr_t k = s->keys[i].load(std::memory_order_acquire);
      if (k == key) return &s->keys[i];
      if (k == kEmpty) return nullptr;
    }
    return nullptr;
  }

  const char* kind_;
  mutable std::mutex mutex_;
  std::atomic<Slots*> slots_;
  std::vector<std::unique_ptr<Slots>> retired_;  // older arrays: readers may still look
  mutable std::atomic<int64_t> readers_{0};      // lookups under way
  int64_t used_ = 0;     // slots holding a key or a tombstone
  int64_t live_ = 0;
  std::vector<uintptr_t> lent_;  // few (icons): a plain list under the mutex
  mutable std::atomic<int64_t> refusals_{0};
};

/// The tables of one HostServices, one per kind of handle. Render lights have a pool of
/// their own that answers the same question faster (IsLiveRayLight, core/lights.h).
struct HandleTables {
  HandleTable memoryBlocks{"memory block"};
  HandleTable resources{"resource"};
  HandleTable bitmaps{"bitmap"};
  HandleTable strings{"string"};
  HandleTable filenames{"file name"};
};

/// The tables of the current services (core/services.h).
HandleTable& MemoryBlocks();
HandleTable& Resources();
HandleTable& Bitmaps();
HandleTable& Strings();
HandleTable& Filenames();

/// Why a handle is refused that is not live.
inline constexpr const char* kNotLive = "not a live handle of the host (released already, or never given out)";

/// Reports a refused call on the console, naming the module call that made it (see
/// HandleTable::Refuse); refusals counts this kind's refusals, to fall silent after a few.
void ReportRefusedHandle(const char* kind, const void* handle, const char* call, const char* why,
                         std::atomic<int64_t>& refusals);

}  // namespace host
