// apibase.h - basic types, memory and object helpers of the framework.
//
// Every SDK header includes this one. The module is built freestanding: no C or C++
// runtime is linked, so nothing here may pull in a standard library header other than
// the compiler's own <stddef.h> and <stdint.h>.
#pragma once

#include <stddef.h>
#include <stdint.h>

/// The host's integer and floating point types.
using Int16 = int16_t;
using Int32 = int32_t;
using Int64 = int64_t;
using UInt16 = uint16_t;
using UInt32 = uint32_t;
using UInt64 = uint64_t;
using Int = Int64;
using UInt = UInt64;
using Float32 = float;
using Float64 = double;
using Float = Float64;
using Bool = bool;
using Char = char;
using UChar = unsigned char;

// Placement new and the alignment tag, declared by hand: a freestanding build has no <new>.
namespace std {
enum class align_val_t : size_t {};
}  // namespace std
inline void* operator new(size_t, void* where) noexcept { return where; }
inline void operator delete(void*, void*) noexcept {}

/// Export attribute for the few symbols the host looks up by name.
#if defined(_WIN32)
#define C4D_EXPORT __declspec(dllexport)
#else
#define C4D_EXPORT __attribute__((visibility("default")))
#endif

#define MAXON_CONCAT_(a, b) a##b
#define MAXON_CONCAT(a, b) MAXON_CONCAT_(a, b)

namespace maxon {

template <typename T>
struct RemoveReference {
  using type = T;
};
template <typename T>
struct RemoveReference<T&> {
  using type = T;
};
template <typename T>
struct RemoveReference<T&&> {
  using type = T;
};

/// std::forward and std::move without the standard library.
template <typename T>
constexpr T&& Forward(typename RemoveReference<T>::type& t) noexcept {
  return static_cast<T&&>(t);
}
template <typename T>
constexpr T&& Forward(typename RemoveReference<T>::type&& t) noexcept {
  return static_cast<T&&>(t);
}
template <typename T>
constexpr typename RemoveReference<T>::type&& Move(T&& t) noexcept {
  return static_cast<typename RemoveReference<T>::type&&>(t);
}

template <typename T>
constexpr const T& Min(const T& a, const T& b) {
  return b < a ? b : a;
}
template <typename T>
constexpr const T& Max(const T& a, const T& b) {
  return a < b ? b : a;
}

namespace details {

/// Allocates through the framework's memory allocator (the host's). Returns null when the
/// host has no memory or has not yet handed its allocator to the module.
void* HostAlloc(size_t size, size_t alignment);
/// Releases a block of HostAlloc; null is ignored.
void HostFree(void* block);
/// Fills size bytes at dst with zero.
void ClearMemory(void* dst, size_t size);

template <typename T, typename... ARGS>
T* NewObjImpl(Bool clear, ARGS&&... args) {
  void* mem = HostAlloc(sizeof(T), alignof(T));
  if (mem == nullptr) return nullptr;
  if (clear) ClearMemory(mem, sizeof(T));
  return new (mem) T(Forward<ARGS>(args)...);
}

}  // namespace details

/// Allocates a T through the framework's allocator and constructs it with args.
/// Returns null when out of memory (no exception is ever thrown). Release with DeleteObj.
template <typename T, typename... ARGS>
T* NewObj(ARGS&&... args) {
  return details::NewObjImpl<T>(false, Forward<ARGS>(args)...);
}

}  // namespace maxon

/// Allocates a default-constructed T on zeroed memory; null when out of memory.
#define NewObjClear(T) ::maxon::details::NewObjImpl<T>(true)

/// Destroys an object made by NewObj/NewObjClear, releases its memory and sets p to null.
template <typename T>
inline void DeleteObj(T*& p) {
  if (p == nullptr) return;
  p->~T();
  ::maxon::details::HostFree(p);
  p = nullptr;
}

#include "maxon/registration.h"
