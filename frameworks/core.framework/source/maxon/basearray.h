// basearray.h - maxon::BaseArray, a growable array on the framework's allocator.
#pragma once

#include "maxon/apibase.h"
#include "maxon/resultbase.h"

MAXON_DECLARATION_RECORD("net.maxon.core.framework", BaseArray)

namespace maxon {

/// A growable array whose storage comes only from the framework's memory allocator.
/// Growing can fail (out of memory): Append, EnsureCapacity and a growing Resize then
/// answer maxon::FAILED and leave the array unchanged. Flush and Resize(0) empty the
/// array but keep its storage for reuse; Reset and the destructor release it. Not
/// copyable.
template <typename T>
class BaseArray {
 public:
  BaseArray() = default;
  BaseArray(const BaseArray&) = delete;
  BaseArray& operator=(const BaseArray&) = delete;
  ~BaseArray() { Reset(); }

  Int GetCount() const { return _count; }
  Int GetCapacityCount() const { return _capacity; }
  Bool IsEmpty() const { return _count == 0; }

  T& operator[](Int index) { return _data[index]; }
  const T& operator[](Int index) const { return _data[index]; }
  T* begin() { return _data; }
  T* end() { return _data + _count; }
  const T* begin() const { return _data; }
  const T* end() const { return _data + _count; }

  /// Appends a copy of value: the new element, or maxon::FAILED when out of memory.
  ResultRef<T> Append(const T& value) {
    if (_count == _capacity && EnsureCapacity(_count + 1) == FAILED) return FAILED;
    T* slot = new (_data + _count) T(value);
    ++_count;
    return *slot;
  }

  /// Makes room for at least count elements; maxon::FAILED when out of memory.
  Result<void> EnsureCapacity(Int count) {
    if (count <= _capacity) return OK;
    Int newCapacity = Max<Int>(Max<Int>(_capacity * 2, 8), count);
    T* newData =
        static_cast<T*>(details::HostAlloc(sizeof(T) * static_cast<size_t>(newCapacity), alignof(T)));
    if (newData == nullptr) return FAILED;
    for (Int i = 0; i < _count; ++i) {
      new (newData + i) T(Move(_data[i]));
      _data[i].~T();
    }
    details::HostFree(_data);
    _data = newData;
    _capacity = newCapacity;
    return OK;
  }

  /// Makes the array count elements long: shrinking destroys the last elements and keeps
  /// the storage, growing appends default-constructed ones. maxon::FAILED, array
  /// unchanged, when count is negative or memory runs out.
  Result<void> Resize(Int count) {
    if (count < 0 || EnsureCapacity(count) == FAILED) return FAILED;
    while (_count > count) _data[--_count].~T();
    while (_count < count) new (_data + _count++) T();
    return OK;
  }

  /// Removes all elements and keeps the storage.
  void Flush() {
    while (_count > 0) _data[--_count].~T();
  }

  /// Removes all elements and releases the storage.
  void Reset() {
    Flush();
    details::HostFree(_data);
    _data = nullptr;
    _capacity = 0;
  }

 private:
  T* _data = nullptr;
  Int _count = 0;
  Int _capacity = 0;
};

}  // namespace maxon
