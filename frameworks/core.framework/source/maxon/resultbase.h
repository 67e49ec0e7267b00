// resultbase.h - maxon::Result and maxon::ResultRef: the outcome of an operation that can
// fail, compared against maxon::OK and maxon::FAILED.
//
// A failure carries no error object in this framework: the operations that answer with
// these types fail only when memory runs out or the host lacks the operation. Results
// are marked [[nodiscard]], so code that drops one gets a warning (an error with warnings
// as errors); a caller that means to go on either way says so by testing it.
#pragma once

#include "maxon/apibase.h"

MAXON_DECLARATION_RECORD("net.maxon.core.framework", Result)

namespace maxon {

/// The type of maxon::OK; compares with a result.
enum class ERROR_OK { VALUE = 1 };
/// The type of maxon::FAILED; compares with a result, and makes a failed one.
enum class ERROR_FAILED { VALUE = 1 };

/// Success, for comparing with a result: `if (result == maxon::OK)`.
static constexpr ERROR_OK OK = ERROR_OK::VALUE;
/// Failure, for comparing with a result and for returning one: `return maxon::FAILED;`.
static constexpr ERROR_FAILED FAILED = ERROR_FAILED::VALUE;

/// The outcome of an operation that yields a T on success. T must be default-constructible
/// and movable; a failed result holds a default T.
template <typename T>
class [[nodiscard]] Result {
 public:
  Result(const T& value) : _value(value), _ok(true) {}
  Result(T&& value) : _value(Move(value)), _ok(true) {}
  Result(ERROR_FAILED) : _value(), _ok(false) {}

  Bool operator==(ERROR_OK) const { return _ok; }
  Bool operator!=(ERROR_OK) const { return !_ok; }
  Bool operator==(ERROR_FAILED) const { return !_ok; }
  Bool operator!=(ERROR_FAILED) const { return _ok; }

  /// The value; meaningful only when the result is OK.
  T& GetValue() & { return _value; }
  const T& GetValue() const& { return _value; }
  T&& GetValue() && { return Move(_value); }

 private:
  T _value;
  Bool _ok;
};

/// The outcome of an operation that yields nothing.
template <>
class [[nodiscard]] Result<void> {
 public:
  Result(ERROR_OK) : _ok(true) {}
  Result(ERROR_FAILED) : _ok(false) {}

  Bool operator==(ERROR_OK) const { return _ok; }
  Bool operator!=(ERROR_OK) const { return !_ok; }
  Bool operator==(ERROR_FAILED) const { return !_ok; }
  Bool operator!=(ERROR_FAILED) const { return _ok; }

 private:
  Bool _ok;
};

/// The outcome of an operation that yields a reference to a T it keeps (an element that
/// an array appended, say). It does not convert to a pointer: test it against maxon::OK or
/// maxon::FAILED, and take the element with GetPointer or GetValue.
template <typename T>
class [[nodiscard]] ResultRef {
 public:
  ResultRef(T& value) : _pointer(&value) {}
  ResultRef(ERROR_FAILED) : _pointer(nullptr) {}

  Bool operator==(ERROR_OK) const { return _pointer != nullptr; }
  Bool operator!=(ERROR_OK) const { return _pointer == nullptr; }
  Bool operator==(ERROR_FAILED) const { return _pointer == nullptr; }
  Bool operator!=(ERROR_FAILED) const { return _pointer != nullptr; }

  /// The element, or null for a failed result.
  T* GetPointer() const { return _pointer; }
  /// The element; only for a result that is OK.
  T& GetValue() const { return *_pointer; }

 private:
  T* _pointer;
};

}  // namespace maxon
