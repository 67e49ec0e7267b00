// container.h - Value (one parameter of any type) and Container (a node's parameters).
//
// A C4DContainer* is a host::Container*. Values own their contents: strings are held by
// reference, custom data (gradient, in/exclude list) is deep-copied whenever a value is
// copied, and links are weak references that resolve to null once the node is deleted.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

#include "c4d_host_abi.h"
#include "core/text.h"
#include "core/vecmath.h"

namespace host {

class Node;
class Document;
class Gradient;
class InExclude;

/// One parameter value. Kinds map to the boundary's type IDs (TypeId()).
class Value {
 public:
  enum class Kind { None, Int32, Float, Vector, String, Link, Gradient, InExclude, Opaque };

  /// A value of a type the host does not model: its type ID and the data as text, kept
  /// unchanged so scene files can round-trip it. Modules see the type ID and a null handle.
  struct OpaqueData {
    int32_t type = 0;
    std::string data;
  };

  Value() = default;  ///< None
  Value(const Value& o);
  Value(Value&& o) noexcept;
  Value& operator=(const Value& o);
  Value& operator=(Value&& o) noexcept;
  ~Value();

  static Value Int32(int32_t v);
  static Value Bool(bool v);  ///< stored as Int32 0/1
  static Value Float(double v);
  static Value Vector(const Vec3& v);
  static Value String(std::string_view text);
  static Value String(StringRef s);
  /// A weak link to node (null: an empty link).
  static Value Link(const Node* node);
  static Value FromGradient(const Gradient& g);    ///< deep copy
  static Value FromInExclude(const InExclude& l);  ///< deep copy
  static Value Opaque(int32_t type, std::string data);

  Kind GetKind() const;
  /// The boundary type ID: C4D_DTYPE_*, a custom data ID or the opaque value's type.
  int32_t TypeId() const;
  bool IsNone() const { return GetKind() == Kind::None; }

  /// Typed reads: the stored value, or def when the kind differs.
  int32_t GetInt32(int32_t def = 0) const;
  bool GetBool(bool def = false) const;  ///< Int32 != 0
  double GetFloat(double def = 0) const;
  Vec3 GetVector(const Vec3& def = {}) const;
  std::string GetString(std::string_view def = {}) const;
  /// The linked node while it lives; null if deleted, empty or not a link.
  Node* GetLink() const;
  Gradient* GetGradient();  ///< null unless a gradient
  const Gradient* GetGradient() const;
  InExclude* GetInExclude();  ///< null unless an in/exclude list
  const InExclude* GetInExclude() const;
  const OpaqueData* GetOpaque() const;  ///< null unless opaque

  /// Fills a boundary value; handles inside are borrowed from this value. A dead link
  /// answers type LINK with a null handle.
  void ToC(C4DValue* out) const;
  /// Copies a boundary value (strings retained, custom data deep-copied, links weak).
  /// False for an unknown type or a custom data value without a handle.
  static bool FromC(const C4DValue& in, Value* out);

  /// Readable form for test messages.
  std::string ToString() const;

 private:
  using Storage = std::variant<std::monostate, int32_t, double, Vec3, StringRef, std::weak_ptr<Node>,
                               std::unique_ptr<host::Gradient>, std::unique_ptr<host::InExclude>, OpaqueData>;
  Storage data_;
};

/// A node's parameters: an ordered map from 32-bit IDs to values.
class Container {
 public:
  /// Stores v at id; a None value removes the entry.
  void Set(int32_t id, Value v);
  bool Remove(int32_t id);
  void Clear() { entries_.clear(); }
  /// The value at id or null; pointers stay valid until the entry is replaced or removed.
  const Value* Find(int32_t id) const;
  Value* Find(int32_t id);
  bool Has(int32_t id) const { return Find(id) != nullptr; }
  size_t Size() const { return entries_.size(); }
  const std::map<int32_t, Value>& Entries() const { return entries_; }

  // Typed access; a missing entry or another kind answers the default.
  void SetInt32(int32_t id, int32_t v) { Set(id, Value::Int32(v)); }
  void SetBool(int32_t id, bool v) { Set(id, Value::Bool(v)); }
  void SetFloat(int32_t id, double v) { Set(id, Value::Float(v)); }
  void SetVector(int32_t id, const Vec3& v) { Set(id, Value::Vector(v)); }
  void SetString(int32_t id, std::string_view v) { Set(id, Value::String(v)); }
  void SetLink(int32_t id, const Node* node) { Set(id, Value::Link(node)); }
  int32_t GetInt32(int32_t id, int32_t def = 0) const;
  bool GetBool(int32_t id, bool def = false) const;
  double GetFloat(int32_t id, double def = 0) const;
  Vec3 GetVector(int32_t id, const Vec3& def = {}) const;
  std::string GetString(int32_t id, std::string_view def = {}) const;
  /// The node linked at id if it lives, belongs to doc (null doc: any document) and is an
  /// instance of instanceType (0: any type); else null.
  Node* GetLink(int32_t id, const Document* doc = nullptr, int32_t instanceType = 0) const;
  Gradient* GetGradient(int32_t id);
  const Gradient* GetGradient(int32_t id) const;
  InExclude* GetInExclude(int32_t id);
  const InExclude* GetInExclude(int32_t id) const;

 private:
  std::map<int32_t, Value> entries_;
};

/// Handle conversions (a C4DContainer* is a Container*).
inline C4DContainer* ToHandle(Container* c) { return reinterpret_cast<C4DContainer*>(c); }
inline const C4DContainer* ToHandle(const Container* c) { return reinterpret_cast<const C4DContainer*>(c); }
inline Container* FromHandle(C4DContainer* c) { return reinterpret_cast<Container*>(c); }
inline const Container* FromHandle(const C4DContainer* c) { return reinterpret_cast<const Container*>(c); }

}  // namespace host
