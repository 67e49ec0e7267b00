// container.cpp - values, containers and the container suite.
#include "core/container.h"

#include <sstream>

#include "core/customdata.h"
#include "core/memory.h"
#include "core/scene.h"
#include "core/suites.h"

namespace host {

// ---- Value --------------------------------------------------------------------------

namespace {

// Copies a storage, deep-copying owned custom data.
template <typename Storage>
Storage CopyStorage(const Storage& s) {
  if (auto* g = std::get_if<std::unique_ptr<Gradient>>(&s)) {
    return Storage(std::make_unique<Gradient>(**g));
  }
  if (auto* l = std::get_if<std::unique_ptr<InExclude>>(&s)) {
    return Storage(std::make_unique<InExclude>(**l));
  }
  return std::visit(
      [](const auto& v) -> Storage {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::unique_ptr<Gradient>> ||
                      std::is_same_v<T, std::unique_ptr<InExclude>>) {
          return Storage();  // handled above
        } else {
          return Storage(v);
        }
      },
      s);
}

}  // namespace

Value::Value(const Value& o) : data_(CopyStorage(o.data_)) {}
Value::Value(Value&& o) noexcept = default;
Value& Value::operator=(const Value& o) {
  if (this != &o) data_ = CopyStorage(o.data_);
  return *this;
}
Value& Value::operator=(Value&& o) noexcept = default;
Value::~Value() = default;

Value Value::Int32(int32_t v) {
  Value r;
  r.data_ = v;
  return r;
}
Value Value::Bool(bool v) { return Int32(v ? 1 : 0); }
Value Value::Float(double v) {
  Value r;
  r.data_ = v;
  return r;
}
Value Value::Vector(const Vec3& v) {
  Value r;
  r.data_ = v;
  return r;
}
Value Value::String(std::string_view text) { return String(StringRef(text)); }
Value Value::String(StringRef s) {
  Value r;
  r.data_ = std::move(s);
  return r;
}
Value Value::Link(const Node* node) {
  Value r;
  r.data_ = node ? std::weak_ptr<Node>(const_cast<Node*>(node)->weak_from_this()) : std::weak_ptr<Node>();
  return r;
}
Value Value::FromGradient(const Gradient& g) {
  Value r;
  r.data_ = std::make_unique<Gradient>(g);
  return r;
}
Value Value::FromInExclude(const InExclude& l) {
  Value r;
  r.data_ = std::make_unique<InExclude>(l);
  return r;
}
Value Value::Opaque(int32_t type, std::string data) {
  Value r;
  r.data_ = OpaqueData{type, std::move(data)};
  return r;
}

Value::Kind Value::GetKind() const { return static_cast<Kind>(data_.index()); }

int32_t Value::TypeId() const {
  switch (GetKind()) {
    case Kind::None:
      return C4D_DTYPE_NONE;
    case Kind::Int32:
      return C4D_DTYPE_LONG;
    case Kind::Float:
      return C4D_DTYPE_REAL;
    case Kind::Vector:
      return C4D_DTYPE_VECTOR;
    case Kind::String:
      return C4D_DTYPE_STRING;
    case Kind::Link:
      return C4D_DTYPE_LINK;
    case Kind::Gradient:
      return C4D_CUSTOMDATA_GRADIENT;
    case Kind::InExclude:
      return C4D_CUSTOMDATA_INEXCLUDE;
    case Kind::Opaque:
      return std::get<OpaqueData>(data_).type;
  }
  return C4D_DTYPE_NONE;
}

int32_t Value::GetInt32(int32_t def) const {
  auto* v = std::get_if<int32_t>(&data_);
  return v ? *v : def;
}
bool Value::GetBool(bool def) const {
  auto* v = std::get_if<int32_t>(&data_);
  return v ? *v != 0 : def;
}
double Value::GetFloat(double def) const {
  auto* v = std::get_if<double>(&data_);
  return v ? *v : def;
}
Vec3 Value::GetVector(const Vec3& def) const {
  auto* v = std::get_if<Vec3>(&data_);
  return v ? *v : def;
}
std::string Value::GetString(std::string_view def) const {
  auto* v = std::get_if<StringRef>(&data_);
  return std::string(v ? v->Text() : def);
}
Node* Value::GetLink() const {
  auto* v = std::get_if<std::weak_ptr<Node>>(&data_);
  if (!v) return nullptr;
  return v->lock().get();
}
Gradient* Value::GetGradient() {
  auto* v = std::get_if<std::unique_ptr<host::Gradient>>(&data_);
  return v ? v->get() : nullptr;
}
const Gradient* Value::GetGradient() const { return const_cast<Value*>(this)->GetGradient(); }
InExclude* Value::GetInExclude() {
  auto* v = std::get_if<std::unique_ptr<host::InExclude>>(&data_);
  return v ? v->get() : nullptr;
}
const InExclude* Value::GetInExclude() const { return const_cast<Value*>(this)->GetInExclude(); }
const Value::OpaqueData* Value::GetOpaque() const { return std::get_if<OpaqueData>(&data_); }

void Value::ToC(C4DValue* out) const {
  *out = C4DValue{};
  out->type = TypeId();
  switch (GetKind()) {
    case Kind::None:
      break;
    case Kind::Int32:
      out->u.i32 = std::get<int32_t>(data_);
      break;
    case Kind::Float:
      out->u.f = std::get<double>(data_);
      break;
    case Kind::Vector:
      out->u.v = std::get<Vec3>(data_);
      break;
    case Kind::String:
      out->u.handle = std::get<StringRef>(data_).Get();
      break;
    case Kind::Link:
      out->u.handle = GetLink();
      break;
    case Kind::Gradient:
      out->u.handle = const_cast<Gradient*>(GetGradient());
      break;
    case Kind::InExclude:
      out->u.handle = const_cast<InExclude*>(GetInExclude());
      break;
    case Kind::Opaque:
      break;
  }
}

bool Value::FromC(const C4DValue& in, Value* out) {
  switch (in.type) {
    case C4D_DTYPE_NONE:
      *out = Value();
      return true;
    case C4D_DTYPE_LONG:
      *out = Int32(in.u.i32);
      return true;
    case C4D_DTYPE_REAL:
      *out = Float(in.u.f);
      return true;
    case C4D_DTYPE_VECTOR:
      *out = Vector(in.u.v);
      return true;
    case C4D_DTYPE_STRING: {
      auto* s = static_cast<const C4DString*>(in.u.handle);
      *out = s ? String(StringRef::Retain(s)) : String(std::string_view());
      return true;
    }
    case C4D_DTYPE_LINK:
      *out = Link(static_cast<const Node*>(in.u.handle));
      return true;
    case C4D_CUSTOMDATA_GRADIENT:
      if (!in.u.handle) return false;
      *out = FromGradient(*static_cast<const Gradient*>(in.u.handle));
      return true;
    case C4D_CUSTOMDATA_INEXCLUDE:
      if (!in.u.handle) return false;
      *out = FromInExclude(*static_cast<const InExclude*>(in.u.handle));
      return true;
    default:
      return false;
  }
}

std::string Value::ToString() const {
  std::ostringstream os;
  switch (GetKind()) {
    case Kind::None:
      os << "none";
      break;
    case Kind::Int32:
      os << "int32 " << std::get<int32_t>(data_);
      break;
    case Kind::Float:
      os << "float " << std::get<double>(data_);
      break;
    case Kind::Vector: {
      Vec3 v = std::get<Vec3>(data_);
      os << "vector (" << v.x << ", " << v.y << ", " << v.z << ")";
      break;
    }
    case Kind::String:
      os << "string \"" << std::get<StringRef>(data_).Text() << "\"";
      break;
    case Kind::Link: {
      Node* n = GetLink();
      os << "link " << (n ? "\"" + n->Name() + "\"" : std::string("(none)"));
      break;
    }
    case Kind::Gradient:
      os << "gradient, " << GetGradient()->Knots().size() << " knots";
      break;
    case Kind::InExclude:
      os << "in/exclude, " << GetInExclude()->Count() << " entries";
      break;
    case Kind::Opaque:
      os << "opaque type " << GetOpaque()->type << " \"" << GetOpaque()->data << "\"";
      break;
  }
  return os.str();
}

// ---- Container ----------------------------------------------------------------------

void Container::Set(int32_t id, Value v) {
  if (v.IsNone()) {
    entries_.erase(id);
    return;
  }
  entries_.insert_or_assign(id, std::move(v));
}

bool Container::Remove(int32_t id) { return entries_.erase(id) > 0; }

const Value* Container::Find(int32_t id) const {
  auto it = entries_.find(id);
  return it == entries_.end() ? nullptr : &it->second;
}
Value* Container::Find(int32_t id) {
  auto it = entries_.find(id);
  return it == entries_.end() ? nullptr : &it->second;
}

int32_t Container::GetInt32(int32_t id, int32_t def) const {
  const Value* v = Find(id);
  return v ? v->GetInt32(def) : def;
}
bool Container::GetBool(int32_t id, bool def) const {
  const Value* v = Find(id);
  return v ? v->GetBool(def) : def;
}
double Container::GetFloat(int32_t id, double def) const {
  const Value* v = Find(id);
  return v ? v->GetFloat(def) : def;
}
Vec3 Container::GetVector(int32_t id, const Vec3& def) const {
  const Value* v = Find(id);
  return v ? v->GetVector(def) : def;
}
std::string Container::GetString(int32_t id, std::string_view def) const {
  const Value* v = Find(id);
  return v ? v->GetString(def) : std::string(def);
}
Node* Container::GetLink(int32_t id, const Document* doc, int32_t instanceType) const {
  const Value* v = Find(id);
  Node* node = v ? v->GetLink() : nullptr;
  if (!node) return nullptr;
  if (doc && node->GetDocument() != doc) return nullptr;
  if (instanceType != 0 && !node->IsInstanceOf(instanceType)) return nullptr;
  return node;
}
Gradient* Container::GetGradient(int32_t id) {
  Value* v = Find(id);
  return v ? v->GetGradient() : nullptr;
}
const Gradient* Container::GetGradient(int32_t id) const {
  const Value* v = Find(id);
  return v ? v->GetGradient() : nullptr;
}
InExclude* Container::GetInExclude(int32_t id) {
  Value* v = Find(id);
  return v ? v->GetInExclude() : nullptr;
}
const InExclude* Container::GetInExclude(int32_t id) const {
  const Value* v = Find(id);
  return v ? v->GetInExclude() : nullptr;
}

// ---- The suite ----------------------------------------------------------------------

namespace {

bool SuiteGetValue(const C4DContainer* c, int32_t id, C4DValue* out) {
  const Value* v = c ? FromHandle(c)->Find(id) : nullptr;
  if (!v) {
    if (out) *out = C4DValue{};
    return false;
  }
  if (out) v->ToC(out);
  return true;
}

bool SuiteSetValue(C4DContainer* c, int32_t id, const C4DValue* value) {
  if (!c || !value) return false;
  // Storing keeps a copy (a module allocation request); removing an entry needs no memory.
  if (value->type != C4D_DTYPE_NONE && TakeModuleAllocationFault("container value")) return false;
  try {
    Value v;
    if (!Value::FromC(*value, &v)) return false;
    FromHandle(c)->Set(id, std::move(v));
    return true;
  } catch (...) {
    return false;
  }
}

C4DNode* SuiteGetLink(const C4DContainer* c, int32_t id, const C4DDocument* doc, int32_t instanceType) {
  // Links resolve only within a document: no document, no node.
  if (!c || !doc) return nullptr;
  return ToHandle(FromHandle(c)->GetLink(id, FromHandle(doc), instanceType));
}

void* SuiteGetCustomData(const C4DContainer* c, int32_t id, int32_t type) {
  if (!c) return nullptr;
  Container* container = const_cast<Container*>(FromHandle(c));
  if (type == C4D_CUSTOMDATA_GRADIENT) return container->GetGradient(id);
  if (type == C4D_CUSTOMDATA_INEXCLUDE) return container->GetInExclude(id);
  return nullptr;
}

constexpr C4DContainerSuite1 kContainerSuite{SuiteGetValue, SuiteSetValue, SuiteGetLink, SuiteGetCustomData};

}  // namespace

const C4DContainerSuite1* ContainerSuite1() { return &kContainerSuite; }

}  // namespace host
