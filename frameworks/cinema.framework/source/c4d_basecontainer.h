// c4d_basecontainer.h - GeData, DescID and BaseContainer: parameters and their values.
#pragma once

#include "c4d_apiversion.h"
#include "c4d_enums.h"
#include "maxon/apibase.h"
#include "maxon/string.h"
#include "maxon/vec.h"

MAXON_DECLARATION_RECORD("net.maxon.c4d.cinema.framework", BaseContainer)
MAXON_DECLARATION_RECORD("net.maxon.c4d.cinema.framework", GeData)
MAXON_DECLARATION_RECORD("net.maxon.c4d.cinema.framework", DescID)

CINEMA_NAMESPACE_BEGIN

class BaseDocument;
class BaseList2D;

/// Base of the host's custom data types (Gradient, InExcludeData). Holds no data: a
/// pointer to it is the host's handle of the custom data.
class CustomDataType {
 public:
  CustomDataType() = delete;
  CustomDataType(const CustomDataType&) = delete;
  CustomDataType& operator=(const CustomDataType&) = delete;
};

#if API_VERSION >= 2024000
/// Base of a custom data type whose type ID is ID: BaseContainer::GetCustomDataType<T>
/// takes the ID from the type.
template <Int32 ID>
class CustomDataTypeT : public CustomDataType {
 public:
  static constexpr Int32 GetId() { return ID; }
};
#endif

/// One value of any parameter type. Integers, booleans (stored as DA_LONG 0/1), floats and
/// vectors are held by value, text by a counted reference. Links and custom data are
/// borrowed handles: a container that stores the value makes its own copy. Laid out like
/// the host's C4DValue, so a value the host passes can be read in place.
class GeData {
 public:
  GeData() = default;
  GeData(Int32 v);
  GeData(Bool v);
  GeData(Float v);
  GeData(const Vector& v);
  GeData(const maxon::String& v);
#if API_VERSION >= 2024000
  /// A custom data value of type (e.g. CUSTOMDATATYPE_GRADIENT) referring to data.
  GeData(const CustomDataType& data, Int32 type);
#else
  /// A custom data value of type (e.g. CUSTOMDATATYPE_GRADIENT) referring to data.
  GeData(Int32 type, const CustomDataType& data);
#endif
  GeData(const GeData& other);
  GeData& operator=(const GeData& other);
  ~GeData();

  /// Empties the value (type DA_NIL), dropping a held text reference.
  void Free();
  Int32 GetType() const { return _type; }
  Int32 GetInt32() const;
  Bool GetBool() const { return GetInt32() != 0; }
  Float GetFloat() const;
  Vector GetVector() const;
  maxon::String GetString() const;
  /// The custom data if the value is of that type, else null.
  CustomDataType* GetCustomDataType(Int32 type) const;

 private:
  void CopyFrom(const GeData& other);

  // Mirrors C4DValue: type, reserved word, 24-byte payload.
  Int32 _type = DA_NIL;
  Int32 _reserved = 0;
  union Payload {
    Int32 i32;
    Float f;
    Float v[3];
    void* handle;
  } _u = {};
};

/// One level of a description ID.
struct DescLevel {
  Int32 id = 0;
  Int32 dtype = 0;
  Int32 creator = 0;

  DescLevel() = default;
  DescLevel(Int32 idIn, Int32 dtypeIn = 0, Int32 creatorIn = 0)
      : id(idIn), dtype(dtypeIn), creator(creatorIn) {}
};

/// A description ID: up to seven levels, laid out like the host's C4DDescID.
class DescID {
 public:
  static constexpr Int32 MAXLEVELS = 7;

  DescID() = default;
  DescID(Int32 id) : DescID(DescLevel(id)) {}
  DescID(const DescLevel& first) : _count(1) { _levels[0] = first; }

  Int32 GetDepth() const { return _count; }
  /// Level pos; a zero level when pos is out of range.
  const DescLevel& operator[](Int32 pos) const;
  /// Appends a level; false when the ID is full.
  Bool PushId(const DescLevel& level);

 private:
  Int32 _count = 0;
  DescLevel _levels[MAXLEVELS];
};

/// A node's parameters keyed by 32-bit IDs. Holds no data: a pointer to it is the host's
/// container handle.
class BaseContainer {
 public:
  BaseContainer() = delete;
  BaseContainer(const BaseContainer&) = delete;
  BaseContainer& operator=(const BaseContainer&) = delete;

  // The typed setters answer nothing; a value that cannot be stored (out of memory)
  // leaves the entry as it was.
  void SetFloat(Int32 id, Float v);
  void SetInt32(Int32 id, Int32 v);
  /// Stores v as DA_LONG 0 or 1.
  void SetBool(Int32 id, Bool v);
  void SetVector(Int32 id, const Vector& v);
  void SetString(Int32 id, const maxon::String& v);
  /// Stores a copy of v; custom data is deep-copied by the host. False when out of memory.
  Bool SetData(Int32 id, const GeData& v);
  /// Stores a link to node (kept as a weak reference by the host); null removes it.
  void SetLink(Int32 id, BaseList2D* node);
  /// Removes the entry at id (true also when there was none).
  Bool RemoveData(Int32 id);

  Float GetFloat(Int32 id, Float preset = 0.0) const;
  Int32 GetInt32(Int32 id, Int32 preset = 0) const;
  Bool GetBool(Int32 id, Bool preset = false) const;
  Vector GetVector(Int32 id, const Vector& preset = Vector()) const;
  maxon::String GetString(Int32 id) const;
  /// A copy of the value at id; DA_NIL when absent.
  GeData GetData(Int32 id) const;
  /// The node linked at id if it is alive, belongs to doc and is an instance of
  /// instanceof (0: any type); else null.
  BaseList2D* GetLink(Int32 id, const BaseDocument* doc, Int32 instanceof = 0) const;
#if API_VERSION >= 2024000
  /// The custom data stored at id if it is a DATATYPE (Gradient, InExcludeData), else
  /// null. It lives inside the container: it is not a copy, and it is read-only.
  template <typename DATATYPE>
  const DATATYPE* GetCustomDataType(Int32 id) const {
    return static_cast<const DATATYPE*>(GetCustomDataTypeI(id, DATATYPE::GetId()));
  }
  /// The custom data stored at id if it is of type datatype, else null.
  const CustomDataType* GetCustomDataTypeI(Int32 id, Int32 datatype) const;
#else
  /// The custom data stored at id if it is of type datatype, else null. It lives inside
  /// the container: it is not a copy. Read-only; a caller that prepares it for a render
  /// casts the constness away explicitly.
  const CustomDataType* GetCustomDataType(Int32 id, Int32 datatype) const;
#endif
};

CINEMA_NAMESPACE_END
