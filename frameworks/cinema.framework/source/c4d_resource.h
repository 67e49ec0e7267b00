// c4d_resource.h - the module's resource (string table, descriptions).
#pragma once

#include "c4d_apiversion.h"
#include "c4d_file.h"
#include "maxon/apibase.h"
#include "maxon/string.h"

MAXON_DECLARATION_RECORD("net.maxon.c4d.cinema.framework", GeResource)

struct C4DResource;

CINEMA_NAMESPACE_BEGIN

/// A module's resource folder as loaded by the host. Loaded once: the first Init decides,
/// later calls report the outcome of that attempt.
class GeResource {
 public:
  constexpr GeResource() = default;

  /// Loads the module's resource from GeGetPluginResourcePath(). True when loaded.
  Bool Init();
  /// Hands the loaded resource back to the host and forgets the folder.
  void Free();
  /// Text id of the string table; empty when nothing is loaded or the text is absent.
  /// The reference stays valid until the next LoadString or the resource's release: a
  /// caller that keeps the text copies it (a counted reference, no copy of the bytes).
  const maxon::String& LoadString(Int32 id);
  /// Framework use: the host's resource handle, null until loaded.
  const C4DResource* GetHandle() const { return _handle; }

 private:
  C4DResource* _handle = nullptr;
  Bool _attempted = false;
  Bool _flag = false;
  Filename* _path = nullptr;
  // The text LoadString answered last, built in place on first use. The module keeps no
  // global with a destructor: Free destroys it.
  alignas(maxon::String) unsigned char _text[sizeof(maxon::String)] = {};
  Bool _textLive = false;
};

/// The module's resource.
extern GeResource g_resource;

/// Text id of the module's resource; empty when the resource is not loaded. Valid until the
/// next GeLoadString: keep a copy.
const maxon::String& GeLoadString(Int32 id);

CINEMA_NAMESPACE_END
