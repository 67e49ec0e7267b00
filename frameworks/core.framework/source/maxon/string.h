// string.h - maxon::String, the host's reference-counted text.
#pragma once

#include "maxon/apibase.h"

MAXON_DECLARATION_RECORD("net.maxon.core.framework", String)

struct C4DString;

namespace maxon {

/// Immutable text held by the host and shared by reference counting: a copy takes a new
/// reference, the destructor drops one. An empty String holds no host text at all.
class String {
 public:
  String() = default;
  /// Text from a NUL-terminated UTF-8 literal. Empty when the host has no memory.
  String(const char* utf8);
  String(const String& other);
  String(String&& other) noexcept;
  String& operator=(const String& other);
  String& operator=(String&& other) noexcept;
  ~String();

  Bool IsEmpty() const;
  Bool IsPopulated() const { return !IsEmpty(); }
  /// The text as UTF-8, valid while this String lives; "" when empty.
  const char* GetUtf8(size_t* length = nullptr) const;
  Bool operator==(const String& other) const;
  Bool operator!=(const String& other) const { return !(*this == other); }

  /// Framework use: a String sharing the host's text h (a new reference is taken).
  static String FromHandle(const C4DString* h);
  /// Framework use: a String taking over the reference h.
  static String Adopt(C4DString* h);
  /// Framework use: the host text to hand to the host; the host's empty text when empty.
  const C4DString* GetHandle() const;

 private:
  C4DString* _handle = nullptr;
};

}  // namespace maxon
