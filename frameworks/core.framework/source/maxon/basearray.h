// basearray.h - maxon::BaseArray, a growable array on the framework's allocator.
#pragma once

#include "maxon/apibase.h"

MAXON_DECLARATION_RECORD("net.maxon.core.framework", BaseArray)

namespace maxon {

/// A growable array whose storage comes only from the framework's memory allocator.
/// Growing can fail (out of memory): Append then returns null and the array is unchanged.
/// Flush and Resize(0) empty the array but keep its storage for reuse; Reset and the
/// destructor release it. Not copyable.
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

  /// Appends a copy of value. Returns the new element, or null when out of memory.
  T* Append(const T& value) {
    if (_count == _capacity && !EnsureCapacity(_count + 1)) return nullptr;
    T* slot = new (_data + _count) T(value);
    ++_count;
    return slot;
  }

  /// Makes room for at least count elements. False when out of memory.
  Bool EnsureCapacity(Int count) {
    if (count <= _capacity) return true;
    Int newCapacity = Max<Int>(Max<Int>(_capacity * 2, 8), count);
    T* newData =
        static_cast<T*>(details::HostAlloc(sizeof(T) * static_cast<size_t>(newCapacity), alignof(T)));
    if (newData == nullptr) return false;
    for (Int i = 0; i < _count; ++i) {
      new (newData + i) T(Move(_data[i]));
      _data[i].~T();
    }
    details::HostFree(_data);
    _data = newData;
    _capacity = newCapacity;
    return true;
  }

  /// Shrinks to count elements (only shrinking is supported without a default value);
  /// the storage is kept. False if count is negative or larger than the array.
  Bool Resize(Int count) {
    if (count < 0 || count > _count) return false;
    while (_count > count) _data[--_count].~T();
    return true;
  }

  /// Removes all elements and keeps the storage.
  void Flush() { Resize(0); }

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
