// c4d_resource.cpp - the module's resource.
#include "c4d_resource.h"

#include "c4d_general.h"
#include "host_access.h"

using maxon::details::RegistrySuite;

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
  if (_handle != nullptr) {
    if (const C4DRegistrySuite1* registry = RegistrySuite()) registry->FreeResource(_handle, _flag);
    _handle = nullptr;
  }
  DeleteObj(_path);
}

maxon::String GeResource::LoadString(Int32 id) const {
  const C4DRegistrySuite1* registry = RegistrySuite();
  if (_handle == nullptr || registry == nullptr) return maxon::String();
  return maxon::String::FromHandle(registry->LoadString(_handle, id));
}

maxon::String GeLoadString(Int32 id) { return g_resource.LoadString(id); }
