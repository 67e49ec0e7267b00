// main.cpp - start, messages and end of the Corvane module.
#include "corvane.h"
#include "sdk_compat.h"

namespace corvane {

Bool Start() {
  if (RegisterCorvane()) return true;
  GePrint(maxon::String("Failed to register the Corvane plugin."));
  return false;
}

Bool Message(Int32 id, void* data) {
  (void)data;
  switch (id) {
    case C4DMSG_PRIORITY:
      return true;
    case C4DPL_INIT_SYS:
      if (g_resource.Init()) return true;
      GePrint(maxon::String("Corvane: failed to load resource file."));
      return false;
    default:
      return false;
  }
}

}  // namespace corvane

// The SDK's module entry calls these three at global scope up to 2024 and in namespace
// cinema from 2025.0 on. The module defines both sets, each a call into the one above; the
// SDK it is built with calls one set and the other stays unused.
Bool PluginStart() { return corvane::Start(); }
void PluginEnd() {}
Bool PluginMessage(Int32 id, void* data) { return corvane::Message(id, data); }

namespace cinema {

Bool PluginStart() { return corvane::Start(); }
void PluginEnd() {}
Bool PluginMessage(Int32 id, void* data) { return corvane::Message(id, data); }

}  // namespace cinema
