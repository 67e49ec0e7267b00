// c4d_file.cpp - Filename on the host's text suite.
#include "c4d_file.h"

#include "host_access.h"

using maxon::details::TextSuite;

CINEMA_NAMESPACE_BEGIN

namespace {

C4DFilename* Share(const C4DFilename* h) {
  const C4DTextSuite1* text = TextSuite();
  if (h == nullptr || text == nullptr) return nullptr;
  C4DFilename* f = const_cast<C4DFilename*>(h);
  text->FilenameRetain(f);
  return f;
}

void Drop(C4DFilename*& h) {
  if (h == nullptr) return;
  if (const C4DTextSuite1* text = maxon::details::ReleaseTextSuite()) text->FilenameRelease(h);
  h = nullptr;
}

}  // namespace

Filename::Filename(const maxon::String& path) {
  const C4DTextSuite1* text = TextSuite();
  if (text != nullptr && path.IsPopulated()) _handle = text->FilenameFromString(path.GetHandle());
}

Filename::Filename(const Filename& other) : _handle(Share(other._handle)) {}

Filename::Filename(Filename&& other) noexcept : _handle(other._handle) { other._handle = nullptr; }

Filename& Filename::operator=(const Filename& other) {
  if (this != &other) {
    C4DFilename* shared = Share(other._handle);
    Drop(_handle);
    _handle = shared;
  }
  return *this;
}

Filename& Filename::operator=(Filename&& other) noexcept {
  if (this != &other) {
    Drop(_handle);
    _handle = other._handle;
    other._handle = nullptr;
  }
  return *this;
}

Filename::~Filename() { Drop(_handle); }

Bool Filename::IsEmpty() const {
  const C4DTextSuite1* text = TextSuite();
  return _handle == nullptr || text == nullptr || text->FilenameIsEmpty(_handle);
}

Filename Filename::operator+(const Filename& name) const {
  // An empty side contributes nothing: joining with it yields the other path.
  if (name.IsEmpty()) return *this;
  if (IsEmpty()) return name;
  return Adopt(TextSuite()->FilenameJoin(_handle, name._handle));
}

Filename& Filename::operator+=(const Filename& name) {
  *this = *this + name;
  return *this;
}

Filename Filename::GetDirectory() const {
  if (IsEmpty()) return Filename();
  return Adopt(TextSuite()->FilenameDirectory(_handle));
}

Filename Filename::GetFile() const {
  if (IsEmpty()) return Filename();
  return Adopt(TextSuite()->FilenameFile(_handle));
}

void Filename::ClearSuffix() {
  if (IsEmpty()) return;
  *this = Adopt(TextSuite()->FilenameClearSuffix(_handle));
}

maxon::String Filename::GetString() const {
  if (IsEmpty()) return maxon::String();
  return maxon::String::Adopt(TextSuite()->FilenameToString(_handle));
}

Bool Filename::operator==(const Filename& other) const {
  if (IsEmpty() || other.IsEmpty()) return IsEmpty() && other.IsEmpty();
  return TextSuite()->FilenameEqual(_handle, other._handle);
}

Filename Filename::FromHandle(const C4DFilename* h) {
  Filename f;
  f._handle = Share(h);
  return f;
}

Filename Filename::Adopt(C4DFilename* h) {
  Filename f;
  f._handle = h;
  return f;
}

CINEMA_NAMESPACE_END
