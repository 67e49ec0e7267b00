// string.cpp - maxon::String on the host's text suite.
#include "maxon/string.h"

#include "host_access.h"

namespace maxon {

using details::TextSuite;

namespace {

// The host's shared empty text is never retained or released: an empty String holds null.
C4DString* Share(const C4DString* h) {
  const C4DTextSuite1* text = TextSuite();
  if (h == nullptr || text == nullptr || h == text->EmptyString()) return nullptr;
  C4DString* s = const_cast<C4DString*>(h);
  text->StringRetain(s);
  return s;
}

void Drop(C4DString*& h) {
  if (h == nullptr) return;
  if (const C4DTextSuite1* text = details::ReleaseTextSuite()) text->StringRelease(h);
  h = nullptr;
}

}  // namespace

String::String(const char* utf8) {
  const C4DTextSuite1* text = TextSuite();
  if (utf8 == nullptr || text == nullptr) return;
  size_t length = 0;
  while (utf8[length] != '\0') ++length;
  _handle = text->StringFromUtf8(utf8, length);
}

String::String(const String& other) : _handle(Share(other._handle)) {}

String::String(String&& other) noexcept : _handle(other._handle) { other._handle = nullptr; }

String& String::operator=(const String& other) {
  if (this != &other) {
    C4DString* shared = Share(other._handle);
    Drop(_handle);
    _handle = shared;
  }
  return *this;
}

String& String::operator=(String&& other) noexcept {
  if (this != &other) {
    Drop(_handle);
    _handle = other._handle;
    other._handle = nullptr;
  }
  return *this;
}

String::~String() { Drop(_handle); }

const char* String::GetUtf8(size_t* length) const {
  const C4DTextSuite1* text = TextSuite();
  if (_handle == nullptr || text == nullptr) {
    if (length != nullptr) *length = 0;
    return "";
  }
  size_t n = 0;
  const char* s = text->StringUtf8(_handle, &n);
  if (length != nullptr) *length = n;
  return s != nullptr ? s : "";
}

Bool String::IsEmpty() const {
  size_t length = 0;
  GetUtf8(&length);
  return length == 0;
}

Bool String::operator==(const String& other) const {
  size_t a = 0, b = 0;
  const char* x = GetUtf8(&a);
  const char* y = other.GetUtf8(&b);
  if (a != b) return false;
  for (size_t i = 0; i < a; ++i) {
    if (x[i] != y[i]) return false;
  }
  return true;
}

String String::FromHandle(const C4DString* h) {
  String s;
  s._handle = Share(h);
  return s;
}

String String::Adopt(C4DString* h) {
  String s;
  const C4DTextSuite1* text = TextSuite();
  if (h != nullptr && text != nullptr && h == text->EmptyString()) h = nullptr;
  s._handle = h;
  return s;
}

const C4DString* String::GetHandle() const {
  if (_handle != nullptr) return _handle;
  const C4DTextSuite1* text = TextSuite();
  return text != nullptr ? text->EmptyString() : nullptr;
}

}  // namespace maxon
