// main.cpp - start, messages and end of the Corvane module.
#include "corvane.h"
#include "sdk_compat.h"

#if API_VERSION >= 2025000
// From 2025 on the SDK declares the module's three functions in namespace cinema.
namespace cinema {
#endif

Bool PluginStart() {
  if (RegisterCorvane()) return true;
  GePrint(maxon::String("Failed to register the Corvane plugin."));
  return false;
}

void PluginEnd() {}

Bool PluginMessage(Int32 id, void* data) {
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

#if API_VERSION >= 2025000
}  // namespace cinema
#endif
