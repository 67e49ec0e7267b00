// main.cpp - start, messages and end of the Corvane module.
#include "c4d.h"
#include "corvane.h"

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
