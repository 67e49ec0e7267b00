// text.cpp - strings, file names, console output and the text suite.
#include "core/text.h"

#include <cstring>
#include <new>

#include "core/console.h"
#include "core/handles.h"
#include "core/memory.h"
#include "core/suites.h"

namespace host {
namespace {

std::atomic<int64_t> liveTexts{0};

// Never destroyed, so it stays valid for modules until the very end of the process.
StringData& SharedEmpty() {
  static StringData* empty = [] {
    auto* s = new StringData;
    s->immortal = true;  // lives as long as the process: every host's suites accept it
    return s;
  }();
  return *empty;
}

StringData* AsData(C4DString* s) { return reinterpret_cast<StringData*>(s); }
const StringData* AsData(const C4DString* s) { return reinterpret_cast<const StringData*>(s); }
FilenameData* AsData(C4DFilename* f) { return reinterpret_cast<FilenameData*>(f); }
const FilenameData* AsData(const C4DFilename* f) { return reinterpret_cast<const FilenameData*>(f); }

// Length of a root prefix that keeps its trailing slash: "/" or "X:/".
size_t RootLength(std::string_view p) {
  if (!p.empty() && p[0] == '/') return 1;
  if (p.size() >= 3 && p[1] == ':' && p[2] == '/') return 3;
  return 0;
}

}  // namespace

// ---- Strings ------------------------------------------------------------------------

C4DString* NewString(std::string_view text) {
  auto* s = new (std::nothrow) StringData;
  if (!s) return nullptr;
  try {
    s->text.assign(text);
  } catch (...) {
    delete s;
    return nullptr;
  }
  liveTexts.fetch_add(1, std::memory_order_relaxed);
  Strings().Add(s);
  return reinterpret_cast<C4DString*>(s);
}

std::string_view StringText(const C4DString* s) {
  return s ? std::string_view(AsData(s)->text) : std::string_view();
}

void RetainString(C4DString* s) {
  if (s && !AsData(s)->immortal) AsData(s)->refs.fetch_add(1, std::memory_order_relaxed);
}

void ReleaseString(C4DString* s) {
  if (!s || AsData(s)->immortal) return;
  if (AsData(s)->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    Strings().Remove(s);
    delete AsData(s);
    liveTexts.fetch_sub(1, std::memory_order_relaxed);
  }
}

const C4DString* EmptyString() { return reinterpret_cast<const C4DString*>(&SharedEmpty()); }

// ---- Paths --------------------------------------------------------------------------

std::string NormalizePath(std::string_view path) {
  std::string out;
  out.reserve(path.size());
  for (char c : path) {
    if (c == '\\') c = '/';
    if (c == '/' && !out.empty() && out.back() == '/') continue;
    out.push_back(c);
  }
  if (out.size() > RootLength(out) && !out.empty() && out.back() == '/') out.pop_back();
  return out;
}

std::string JoinPath(std::string_view dir, std::string_view name) {
  if (dir.empty()) return NormalizePath(name);
  if (name.empty()) return NormalizePath(dir);
  std::string joined(dir);
  joined += '/';
  joined += name;
  return NormalizePath(joined);
}

std::string DirectoryPart(std::string_view path) {
  std::string p = NormalizePath(path);
  size_t slash = p.rfind('/');
  if (slash == std::string::npos) return {};
  size_t root = RootLength(p);
  if (slash + 1 <= root) return p.substr(0, root);
  return p.substr(0, slash);
}

std::string FilePart(std::string_view path) {
  std::string p = NormalizePath(path);
  if (p.size() == RootLength(p)) return {};
  size_t slash = p.rfind('/');
  return slash == std::string::npos ? p : p.substr(slash + 1);
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return s;
}

std::string ClearSuffix(std::string_view path) {
  std::string p = NormalizePath(path);
  size_t slash = p.rfind('/');
  size_t partStart = slash == std::string::npos ? 0 : slash + 1;
  size_t dot = p.rfind('.');
  // A leading dot names a hidden file, not a suffix.
  if (dot == std::string::npos || dot <= partStart) return p;
  return p.substr(0, dot);
}

// ---- File names ---------------------------------------------------------------------

C4DFilename* NewFilename(std::string_view path) {
  auto* f = new (std::nothrow) FilenameData;
  if (!f) return nullptr;
  try {
    f->path = NormalizePath(path);
  } catch (...) {
    delete f;
    return nullptr;
  }
  liveTexts.fetch_add(1, std::memory_order_relaxed);
  Filenames().Add(f);
  return reinterpret_cast<C4DFilename*>(f);
}

std::string_view FilenamePath(const C4DFilename* f) {
  return f ? std::string_view(AsData(f)->path) : std::string_view();
}

void RetainFilename(C4DFilename* f) {
  if (f) AsData(f)->refs.fetch_add(1, std::memory_order_relaxed);
}

void ReleaseFilename(C4DFilename* f) {
  if (f && AsData(f)->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    Filenames().Remove(f);
    delete AsData(f);
    liveTexts.fetch_sub(1, std::memory_order_relaxed);
  }
}

int64_t LiveTexts() { return liveTexts.load(); }

bool CheckString(const C4DString* s, const char* call) {
  return !s || s == EmptyString() || Strings().Check(s, call);
}
bool CheckFilename(const C4DFilename* f, const char* call) { return !f || Filenames().Check(f, call); }

// ---- The suite ----------------------------------------------------------------------

namespace {

// Every suite call below that makes a new string or file name is a module allocation
// request: an injected fault answers it as out of memory.

C4DString* SuiteStringFromUtf8(const char* utf8, size_t length) {
  if (TakeModuleAllocationFault("string", utf8 ? std::string_view(utf8, length) : std::string_view()))
    return nullptr;
  if (!utf8) return NewString({});
  return NewString(std::string_view(utf8, length));
}
void SuiteStringRetain(C4DString* s) {
  if (CheckString(s, "StringRetain")) RetainString(s);
}
void SuiteStringRelease(C4DString* s) {
  if (CheckString(s, "StringRelease")) ReleaseString(s);
}
const char* SuiteStringUtf8(const C4DString* s, size_t* length) {
  const bool live = s && CheckString(s, "StringUtf8");
  if (length) *length = live ? AsData(s)->text.size() : 0;
  return live ? AsData(s)->text.c_str() : "";
}
const C4DString* SuiteEmptyString() { return EmptyString(); }

C4DFilename* SuiteFilenameFromString(const C4DString* path) {
  if (!path || !CheckString(path, "FilenameFromString") ||
      TakeModuleAllocationFault("file name", StringText(path)))
    return nullptr;
  return NewFilename(StringText(path));
}
void SuiteFilenameRetain(C4DFilename* f) {
  if (CheckFilename(f, "FilenameRetain")) RetainFilename(f);
}
void SuiteFilenameRelease(C4DFilename* f) {
  if (CheckFilename(f, "FilenameRelease")) ReleaseFilename(f);
}
C4DString* SuiteFilenameToString(const C4DFilename* f) {
  if (!f || !CheckFilename(f, "FilenameToString") || TakeModuleAllocationFault("string", FilenamePath(f)))
    return nullptr;
  return NewString(FilenamePath(f));
}

// The path operations allocate std::strings: nothing may escape to the module.
template <typename F>
C4DFilename* MakeFilename(const char* what, const C4DFilename* from, F&& make) {
  if (TakeModuleAllocationFault(what, FilenamePath(from))) return nullptr;
  try {
    return NewFilename(make());
  } catch (...) {
    return nullptr;
  }
}

// A null side of a join counts as an empty file name; both null answer null.
C4DFilename* SuiteFilenameJoin(const C4DFilename* dir, const C4DFilename* name) {
  if ((!dir && !name) || !CheckFilename(dir, "FilenameJoin") || !CheckFilename(name, "FilenameJoin"))
    return nullptr;
  return MakeFilename("file name join", name ? name : dir,
                      [&] { return JoinPath(FilenamePath(dir), FilenamePath(name)); });
}
C4DFilename* SuiteFilenameDirectory(const C4DFilename* f) {
  if (!f || !CheckFilename(f, "FilenameDirectory")) return nullptr;
  return MakeFilename("file name directory", f, [&] { return DirectoryPart(FilenamePath(f)); });
}
C4DFilename* SuiteFilenameFile(const C4DFilename* f) {
  if (!f || !CheckFilename(f, "FilenameFile")) return nullptr;
  return MakeFilename("file name file part", f, [&] { return FilePart(FilenamePath(f)); });
}
C4DFilename* SuiteFilenameClearSuffix(const C4DFilename* f) {
  if (!f || !CheckFilename(f, "FilenameClearSuffix")) return nullptr;
  return MakeFilename("file name without suffix", f, [&] { return ClearSuffix(FilenamePath(f)); });
}
bool SuiteFilenameEqual(const C4DFilename* a, const C4DFilename* b) {
  if (!CheckFilename(a, "FilenameEqual") || !CheckFilename(b, "FilenameEqual")) return false;
  return FilenamePath(a) == FilenamePath(b);
}
bool SuiteFilenameIsEmpty(const C4DFilename* f) {
  return !CheckFilename(f, "FilenameIsEmpty") || FilenamePath(f).empty();
}

void SuitePrint(const C4DString* line) {
  try {
    Console().Print(CheckString(line, "Print") ? StringText(line) : std::string_view());
  } catch (...) {
  }
}

constexpr C4DTextSuite1 kTextSuite{
    SuiteStringFromUtf8,      SuiteStringRetain,       SuiteStringRelease,     SuiteStringUtf8,
    SuiteEmptyString,         SuiteFilenameFromString, SuiteFilenameRetain,    SuiteFilenameRelease,
    SuiteFilenameToString,    SuiteFilenameJoin,       SuiteFilenameDirectory, SuiteFilenameFile,
    SuiteFilenameClearSuffix, SuiteFilenameEqual,      SuiteFilenameIsEmpty,   SuitePrint,
};

}  // namespace

const C4DTextSuite1* TextSuite1() { return &kTextSuite; }

}  // namespace host
