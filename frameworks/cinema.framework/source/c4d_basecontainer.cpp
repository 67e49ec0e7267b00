// c4d_basecontainer.cpp - GeData, DescID and BaseContainer on the host's container suite.
#include "c4d_basecontainer.h"

#include "c4d_baselist.h"
#include "host_access.h"

using maxon::details::ContainerSuite;
using maxon::details::Handle;
using maxon::details::TextSuite;

CINEMA_NAMESPACE_BEGIN

static_assert(sizeof(GeData) == sizeof(C4DValue), "GeData mirrors C4DValue");
static_assert(sizeof(DescLevel) == sizeof(C4DDescLevel) &&
                  offsetof(DescLevel, id) == offsetof(C4DDescLevel, id) &&
                  offsetof(DescLevel, dtype) == offsetof(C4DDescLevel, dtype) &&
                  offsetof(DescLevel, creator) == offsetof(C4DDescLevel, creator),
              "DescLevel mirrors C4DDescLevel");
static_assert(sizeof(DescID) == sizeof(C4DDescID) && DescID::MAXLEVELS == C4D_DESCID_MAXLEVELS,
              "DescID mirrors C4DDescID");

namespace {

const C4DValue& Raw(const GeData& d) { return *reinterpret_cast<const C4DValue*>(&d); }
C4DValue& Raw(GeData& d) { return *reinterpret_cast<C4DValue*>(&d); }

}  // namespace

// ---------------------------------------------------------------------------------
// GeData
// ---------------------------------------------------------------------------------
GeData::GeData(Int32 v) : _type(DA_LONG) { _u.i32 = v; }
GeData::GeData(Bool v) : _type(DA_LONG) { _u.i32 = v ? 1 : 0; }
GeData::GeData(Float v) : _type(DA_REAL) { _u.f = v; }
GeData::GeData(const Vector& v) : _type(DA_VECTOR) {
  _u.v[0] = v.x;
  _u.v[1] = v.y;
  _u.v[2] = v.z;
}
GeData::GeData(const maxon::String& v) : _type(DA_STRING) {
  // Holds its own reference of the text.
  maxon::String copy(v);
  _u.handle = nullptr;
  if (copy.IsPopulated()) {
    C4DString* h = const_cast<C4DString*>(copy.GetHandle());
    TextSuite()->StringRetain(h);
    _u.handle = h;
  }
}
#if API_VERSION >= 2024000
GeData::GeData(const CustomDataType& data, Int32 type) : _type(type) {
#else
GeData::GeData(Int32 type, const CustomDataType& data) : _type(type) {
#endif
  _u.handle = const_cast<CustomDataType*>(&data);
}

GeData::GeData(const GeData& other) { CopyFrom(other); }

GeData& GeData::operator=(const GeData& other) {
  if (this != &other) {
    Free();
    CopyFrom(other);
  }
  return *this;
}

GeData::~GeData() { Free(); }

void GeData::CopyFrom(const GeData& other) {
  _type = other._type;
  _reserved = other._reserved;
  _u = other._u;
  if (_type == DA_STRING && _u.handle != nullptr) {
    if (const C4DTextSuite1* text = TextSuite()) text->StringRetain(static_cast<C4DString*>(_u.handle));
  }
}

void GeData::Free() {
  if (_type == DA_STRING && _u.handle != nullptr) {
    if (const C4DTextSuite1* text = maxon::details::ReleaseTextSuite())
      text->StringRelease(static_cast<C4DString*>(_u.handle));
  }
  _type = DA_NIL;
  _u.handle = nullptr;
}

Int32 GeData::GetInt32() const {
  if (_type == DA_LONG) return _u.i32;
  // A float converts when it fits (NaN and out-of-range values do not).
  if (_type == DA_REAL && _u.f >= -2147483648.0 && _u.f <= 2147483647.0) return static_cast<Int32>(_u.f);
  return 0;
}

Float GeData::GetFloat() const {
  if (_type == DA_REAL) return _u.f;
  if (_type == DA_LONG) return static_cast<Float>(_u.i32);
  return 0.0;
}

Vector GeData::GetVector() const {
  if (_type != DA_VECTOR) return Vector();
  return Vector(_u.v[0], _u.v[1], _u.v[2]);
}

maxon::String GeData::GetString() const {
  if (_type != DA_STRING) return maxon::String();
  return maxon::String::FromHandle(static_cast<const C4DString*>(_u.handle));
}

CustomDataType* GeData::GetCustomDataType(Int32 type) const {
  if (_type != type || type < 1000000) return nullptr;
  return static_cast<CustomDataType*>(_u.handle);
}

// ---------------------------------------------------------------------------------
// DescID
// ---------------------------------------------------------------------------------
const DescLevel& DescID::operator[](Int32 pos) const {
  static const DescLevel none;
  if (pos < 0 || pos >= _count) return none;
  return _levels[pos];
}

Bool DescID::PushId(const DescLevel& level) {
  if (_count >= MAXLEVELS) return false;
  _levels[_count++] = level;
  return true;
}

// ---------------------------------------------------------------------------------
// BaseContainer
// ---------------------------------------------------------------------------------
Bool BaseContainer::SetData(Int32 id, const GeData& v) {
  const C4DContainerSuite1* suite = ContainerSuite();
  return suite != nullptr && suite->SetValue(Handle<C4DContainer>(this), id, &Raw(v));
}

void BaseContainer::SetFloat(Int32 id, Float v) { SetData(id, GeData(v)); }
void BaseContainer::SetInt32(Int32 id, Int32 v) { SetData(id, GeData(v)); }
void BaseContainer::SetBool(Int32 id, Bool v) { SetData(id, GeData(v)); }
void BaseContainer::SetVector(Int32 id, const Vector& v) { SetData(id, GeData(v)); }
void BaseContainer::SetString(Int32 id, const maxon::String& v) { SetData(id, GeData(v)); }

void BaseContainer::SetLink(Int32 id, BaseList2D* node) {
  if (node == nullptr) {
    RemoveData(id);
    return;
  }
  GeData link;
  C4DValue& raw = Raw(link);
  raw.type = DA_ALIASLINK;
  raw.u.handle = node;
  SetData(id, link);
}

Bool BaseContainer::RemoveData(Int32 id) { return SetData(id, GeData()); }

GeData BaseContainer::GetData(Int32 id) const {
  GeData result;
  const C4DContainerSuite1* suite = ContainerSuite();
  if (suite == nullptr) return result;
  C4DValue value = {};
  if (!suite->GetValue(Handle<C4DContainer>(this), id, &value)) return result;
  // The host's text is borrowed: copying the view takes our own reference.
  result = *reinterpret_cast<const GeData*>(&value);
  return result;
}

Float BaseContainer::GetFloat(Int32 id, Float preset) const {
  GeData d = GetData(id);
  return d.GetType() == DA_REAL || d.GetType() == DA_LONG ? d.GetFloat() : preset;
}

Int32 BaseContainer::GetInt32(Int32 id, Int32 preset) const {
  GeData d = GetData(id);
  return d.GetType() == DA_LONG || d.GetType() == DA_REAL ? d.GetInt32() : preset;
}

Bool BaseContainer::GetBool(Int32 id, Bool preset) const {
  GeData d = GetData(id);
  return d.GetType() == DA_LONG ? d.GetInt32() != 0 : preset;
}

Vector BaseContainer::GetVector(Int32 id, const Vector& preset) const {
  GeData d = GetData(id);
  return d.GetType() == DA_VECTOR ? d.GetVector() : preset;
}

maxon::String BaseContainer::GetString(Int32 id) const { return GetData(id).GetString(); }

BaseList2D* BaseContainer::GetLink(Int32 id, const BaseDocument* doc, Int32 instanceof) const {
  const C4DContainerSuite1* suite = ContainerSuite();
  if (suite == nullptr) return nullptr;
  return Handle<BaseList2D>(
      suite->GetLink(Handle<C4DContainer>(this), id, Handle<C4DDocument>(doc), instanceof));
}

#if API_VERSION >= 2024000
const CustomDataType* BaseContainer::GetCustomDataTypeI(Int32 id, Int32 datatype) const {
#else
const CustomDataType* BaseContainer::GetCustomDataType(Int32 id, Int32 datatype) const {
#endif
  const C4DContainerSuite1* suite = ContainerSuite();
  if (suite == nullptr) return nullptr;
  return static_cast<const CustomDataType*>(suite->GetCustomData(Handle<C4DContainer>(this), id, datatype));
}

CINEMA_NAMESPACE_END
