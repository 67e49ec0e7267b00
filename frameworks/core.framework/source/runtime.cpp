// runtime.cpp - the few pieces a C/C++ runtime would normally supply to the module.
//
// The module is freestanding: it links no C or C++ runtime, so memory primitives,
// operator new/delete, pure-virtual and global-destructor hooks and (on Windows) the
// library entry that runs static constructors live here. Memory comes from the host's
// allocator in g_maxon.
#include "c4d_host_abi.h"
#include "host_access.h"
#include "maxon/apibase.h"

// GCC may turn the byte loops below into calls to the very functions they implement.
#if defined(__GNUC__) && !defined(__clang__)
#define CORVANE_NO_LOOP_CALLS __attribute__((optimize("no-tree-loop-distribute-patterns")))
#else
#define CORVANE_NO_LOOP_CALLS
#endif

// ---------------------------------------------------------------------------------
// The module record and the framework's allocator
// ---------------------------------------------------------------------------------
extern "C" {
#if defined(__APPLE__)
// On macOS the record starts as zero and a static initialiser (below) writes its version.
C4D_EXPORT C4DModuleInfo g_maxon = {0, nullptr, nullptr, {}};
#else
C4D_EXPORT C4DModuleInfo g_maxon = {C4D_MODULEINFO_VERSION, nullptr, nullptr, {}};
#endif

#if defined(__APPLE__)
/// The framework's CPU yield hook; the host may set it. Exported only where the host
/// expects it.
C4D_EXPORT void* g_CpuYieldDelegate = nullptr;
#else
void* g_CpuYieldDelegate = nullptr;
#endif
}

#if defined(__APPLE__)
namespace {

// Writes g_maxon's version while the library's static initialisers run. The store is
// volatile so that the compiler cannot evaluate this initialiser at build time and turn
// the version back into initial data.
struct ModuleInfoVersion {
  ModuleInfoVersion() { *static_cast<volatile int64_t*>(&g_maxon.version) = C4D_MODULEINFO_VERSION; }
};
ModuleInfoVersion g_moduleInfoVersion;

}  // namespace
#endif

namespace maxon {
namespace details {

void* HostAlloc(size_t size, size_t alignment) {
  const C4DMemorySuite1* memory = g_maxon.memory;
  if (memory == nullptr || memory->Alloc == nullptr) return nullptr;
  return memory->Alloc(size == 0 ? 1 : size, alignment < 16 ? 16 : alignment);
}

void HostFree(void* block) {
  if (block == nullptr) return;
  const C4DMemorySuite1* memory = g_maxon.memory;
  if (memory != nullptr && memory->Free != nullptr) memory->Free(block);
}

void ClearMemory(void* dst, size_t size) {
  unsigned char* d = static_cast<unsigned char*>(dst);
  for (size_t i = 0; i < size; ++i) d[i] = 0;
}

}  // namespace details
}  // namespace maxon

// ---------------------------------------------------------------------------------
// Memory primitives the compiler emits calls to
// ---------------------------------------------------------------------------------
extern "C" {

CORVANE_NO_LOOP_CALLS void* memcpy(void* dst, const void* src, size_t n) {
  unsigned char* d = static_cast<unsigned char*>(dst);
  const unsigned char* s = static_cast<const unsigned char*>(src);
  for (size_t i = 0; i < n; ++i) d[i] = s[i];
  return dst;
}

CORVANE_NO_LOOP_CALLS void* memmove(void* dst, const void* src, size_t n) {
  unsigned char* d = static_cast<unsigned char*>(dst);
  const unsigned char* s = static_cast<const unsigned char*>(src);
  if (d < s) {
    for (size_t i = 0; i < n; ++i) d[i] = s[i];
  } else if (d > s) {
    for (size_t i = n; i > 0; --i) d[i - 1] = s[i - 1];
  }
  return dst;
}

CORVANE_NO_LOOP_CALLS void* memset(void* dst, int value, size_t n) {
  unsigned char* d = static_cast<unsigned char*>(dst);
  for (size_t i = 0; i < n; ++i) d[i] = static_cast<unsigned char>(value);
  return dst;
}

CORVANE_NO_LOOP_CALLS int memcmp(const void* a, const void* b, size_t n) {
  const unsigned char* x = static_cast<const unsigned char*>(a);
  const unsigned char* y = static_cast<const unsigned char*>(b);
  for (size_t i = 0; i < n; ++i) {
    if (x[i] != y[i]) return x[i] < y[i] ? -1 : 1;
  }
  return 0;
}

#if defined(__APPLE__)
CORVANE_NO_LOOP_CALLS void __bzero(void* dst, size_t n) { memset(dst, 0, n); }
#endif

// A pure virtual function was called: a broken object. Stop at once.
void __cxa_pure_virtual() { __builtin_trap(); }

}  // extern "C"

// ---------------------------------------------------------------------------------
// operator new/delete on the host's allocator
// ---------------------------------------------------------------------------------
void* operator new(size_t size) { return maxon::details::HostAlloc(size, 16); }
void* operator new[](size_t size) { return maxon::details::HostAlloc(size, 16); }
void* operator new(size_t size, std::align_val_t align) {
  return maxon::details::HostAlloc(size, static_cast<size_t>(align));
}
void* operator new[](size_t size, std::align_val_t align) {
  return maxon::details::HostAlloc(size, static_cast<size_t>(align));
}
void operator delete(void* p) noexcept { maxon::details::HostFree(p); }
void operator delete[](void* p) noexcept { maxon::details::HostFree(p); }
void operator delete(void* p, size_t) noexcept { maxon::details::HostFree(p); }
void operator delete[](void* p, size_t) noexcept { maxon::details::HostFree(p); }
void operator delete(void* p, std::align_val_t) noexcept { maxon::details::HostFree(p); }
void operator delete[](void* p, std::align_val_t) noexcept { maxon::details::HostFree(p); }
void operator delete(void* p, size_t, std::align_val_t) noexcept { maxon::details::HostFree(p); }
void operator delete[](void* p, size_t, std::align_val_t) noexcept { maxon::details::HostFree(p); }

// ---------------------------------------------------------------------------------
// Destructors of globals: registered while static initialisers run (before the host's
// allocator is known, so a fixed table), run at the final shutdown action.
// ---------------------------------------------------------------------------------
namespace {

struct GlobalDestructor {
  void (*function)(void*);
  void* argument;
};

constexpr int kMaxGlobalDestructors = 64;
GlobalDestructor g_globalDestructors[kMaxGlobalDestructors];
int g_globalDestructorCount = 0;

int AddGlobalDestructor(void (*function)(void*), void* argument) {
  if (g_globalDestructorCount == kMaxGlobalDestructors) return -1;
  g_globalDestructors[g_globalDestructorCount++] = {function, argument};
  return 0;
}

#if defined(_WIN32)
void CallPlainFunction(void* function) { reinterpret_cast<void (*)()>(function)(); }
#endif

}  // namespace

void maxon::details::RunGlobalDestructors() {
  while (g_globalDestructorCount > 0) {
    GlobalDestructor d = g_globalDestructors[--g_globalDestructorCount];
    d.function(d.argument);
  }
}

extern "C" {

#if defined(_WIN32)
// mingw registers destructors of globals through atexit.
int atexit(void (*function)(void)) {
  return AddGlobalDestructor(CallPlainFunction, reinterpret_cast<void*>(function));
}
#else
int __cxa_atexit(void (*function)(void*), void* argument, void* dso) {
  (void)dso;
  return AddGlobalDestructor(function, argument);
}
#endif

#if defined(__linux__)
// Identifies this library to __cxa_atexit; never exported.
__attribute__((visibility("hidden"))) void* __dso_handle = &__dso_handle;
#endif

#if defined(_WIN32)
// The library entry: runs the static constructors on attach. mingw lays out
// __CTOR_LIST__ as -1, constructors..., 0; they run last to first.
typedef void (*CorvaneCtor)(void);
extern CorvaneCtor __CTOR_LIST__[];

int __stdcall DllEntry(void* instance, unsigned long reason, void* reserved) {
  (void)instance;
  (void)reserved;
  if (reason == 1) {  // process attach
    int count = 0;
    while (__CTOR_LIST__[count + 1] != nullptr) ++count;
    for (int i = count; i >= 1; --i) __CTOR_LIST__[i]();
  }
  return 1;
}
#endif

}  // extern "C"
