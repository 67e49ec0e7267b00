// c4d_file.h - Filename, the host's file path.
#pragma once

#include "c4d_apiversion.h"
#include "maxon/apibase.h"
#include "maxon/string.h"

MAXON_DECLARATION_RECORD("net.maxon.c4d.cinema.framework", Filename)

struct C4DFilename;

CINEMA_NAMESPACE_BEGIN

/// A file path held by the host, shared by reference counting. The default Filename is
/// empty. Joining with an empty path yields the other path unchanged.
class Filename {
 public:
  Filename() = default;
  Filename(const maxon::String& path);
  Filename(const Filename& other);
  Filename(Filename&& other) noexcept;
  Filename& operator=(const Filename& other);
  Filename& operator=(Filename&& other) noexcept;
  ~Filename();

  /// This path joined with name (name is appended as further path parts).
  Filename operator+(const Filename& name) const;
  Filename& operator+=(const Filename& name);
  /// All but the last part of the path; empty for a single part.
  Filename GetDirectory() const;
  /// The last part of the path.
  Filename GetFile() const;
  /// Removes the suffix (".ext") of the last part.
  void ClearSuffix();
  /// The path as text.
  maxon::String GetString() const;
  Bool IsEmpty() const;
  Bool IsPopulated() const { return !IsEmpty(); }
  /// Paths are equal when the host says so; an empty path equals another empty one.
  Bool operator==(const Filename& other) const;
  Bool operator!=(const Filename& other) const { return !(*this == other); }

  /// Framework use: a Filename sharing the host's path h (a new reference is taken).
  static Filename FromHandle(const C4DFilename* h);
  /// Framework use: a Filename taking over the reference h.
  static Filename Adopt(C4DFilename* h);
  /// Framework use: the host path, null when empty.
  const C4DFilename* GetHandle() const { return _handle; }

 private:
  C4DFilename* _handle = nullptr;
};

CINEMA_NAMESPACE_END
