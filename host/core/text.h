// text.h - reference-counted strings and file names behind C4DString / C4DFilename.
//
// A C4DString* is a host::StringData*, a C4DFilename* a host::FilenameData*. Both carry an
// atomic reference count; new handles start with one reference. File names are stored
// normalised: '\' becomes '/', runs of '/' collapse to one and a trailing '/' is dropped
// (except for a root such as "/" or "C:/").
#pragma once

#include <atomic>
#include <string>
#include <string_view>

#include "c4d_host_abi.h"

namespace host {

/// The object behind a C4DString handle.
struct StringData {
  std::atomic<int32_t> refs{1};
  bool immortal = false;  ///< the shared empty string: retain/release do nothing
  std::string text;
};

/// The object behind a C4DFilename handle.
struct FilenameData {
  std::atomic<int32_t> refs{1};
  std::string path;  ///< normalised, see above
};

/// A new string handle holding text (one reference).
C4DString* NewString(std::string_view text);
/// The text of s; empty for null.
std::string_view StringText(const C4DString* s);
void RetainString(C4DString* s);
void ReleaseString(C4DString* s);
/// The shared empty string (never released).
const C4DString* EmptyString();

/// Normalises a path as described above.
std::string NormalizePath(std::string_view path);
/// A new file-name handle for path (normalised; one reference).
C4DFilename* NewFilename(std::string_view path);
/// The normalised path of f; empty for null.
std::string_view FilenamePath(const C4DFilename* f);
void RetainFilename(C4DFilename* f);
void ReleaseFilename(C4DFilename* f);

/// Strings and file names alive (the shared empty string is not counted).
int64_t LiveTexts();

/// For a handle a module hands in: true for null and for a live string (file name);
/// otherwise the call is refused and reported (core/handles.h), and the caller must not
/// touch the handle.
bool CheckString(const C4DString* s, const char* call);
bool CheckFilename(const C4DFilename* f, const char* call);

/// Path operations on normalised paths ('/' separator).
std::string JoinPath(std::string_view dir, std::string_view name);
std::string DirectoryPart(std::string_view path);  ///< all but the last part
std::string FilePart(std::string_view path);       ///< the last part
std::string ClearSuffix(std::string_view path);    ///< without the last part's ".ext"

/// s with the ASCII letters in lower case (file suffixes, names compared without case).
std::string Lower(std::string s);

/// Owns one reference to a C4DString (RAII); copies retain.
class StringRef {
 public:
  StringRef() = default;
  /// Adopts a reference the caller owns (e.g. from NewString).
  static StringRef Adopt(C4DString* s) {
    StringRef r;
    r.s_ = s;
    return r;
  }
  /// Takes a new reference to s.
  static StringRef Retain(const C4DString* s) {
    RetainString(const_cast<C4DString*>(s));
    return Adopt(const_cast<C4DString*>(s));
  }
  explicit StringRef(std::string_view text) : s_(NewString(text)) {}
  StringRef(const StringRef& o) : s_(o.s_) { RetainString(s_); }
  StringRef(StringRef&& o) noexcept : s_(o.s_) { o.s_ = nullptr; }
  StringRef& operator=(StringRef o) noexcept {
    std::swap(s_, o.s_);
    return *this;
  }
  ~StringRef() { ReleaseString(s_); }
  C4DString* Get() const { return s_; }
  std::string_view Text() const { return StringText(s_); }

 private:
  C4DString* s_ = nullptr;
};

}  // namespace host
