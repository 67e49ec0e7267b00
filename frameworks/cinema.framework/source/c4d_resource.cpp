// c4d_resource.cpp - the module's resource.
#include "c4d_resource.h"

#include "c4d_general.h"
#include "host_access.h"

using maxon::details::RegistrySuite;

CINEMA_NAMESPACE_BEGIN

GeResource g_resource;

Bool GeResource::Init() {
  _flag = true;
  // Without a started host nothing could load the resource or release the folder path.
  if (RegistrySuite() == nullptr) return false;
  const Filename folder = GeGetPluginResourcePath();
  if (_path == nullptr) {
    _path = maxon::NewObj<Filename>(folder);
    if (_path == nullptr) return false;
  }
  // One load per module: later calls report the first attempt.
  if (_attempted) return _handle != nullptr;
  const C4DRegistrySuite1* registry = RegistrySuite();
  _handle = registry != nullptr ? registry->LoadResource(_path->GetHandle()) : nullptr;
  _attempted = true;
  return _handle != nullptr;
}

void GeResource::Free() {
  // The last text goes first: its reference belongs to the resource's life.
  if (_textLive) {
    reinterpret_cast<maxon::String*>(_text)->~String();
    _textLive = false;
  }
  if (_handle != nullptr) {
    if (const C4DRegistrySuite1* registry = RegistrySuite()) registry->FreeResource(_handle, _flag);
    _handle = nullptr;
  }
  DeleteObj(_path);
}

const maxon::String& GeResource::LoadString(Int32 id) {
  maxon::String* text = reinterpret_cast<maxon::String*>(_text);
  if (!_textLive) {
    new (_text) maxon::String();
    _textLive = true;
  }
  const C4DRegistrySuite1* registry = RegistrySuite();
  if (_handle == nullptr || registry == nullptr)
    *text = maxon::String();
  else
    *text = maxon::String::FromHandle(registry->LoadString(_handle, id));
  return *text;
}

const maxon::String& GeLoadString(Int32 id) { return g_resource.LoadString(id); }

CINEMA_NAMESPACE_END
