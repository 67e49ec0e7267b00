// c4d_plugin.h - what every module provides to the framework's entry c4d_main.
#pragma once

#include "maxon/apibase.h"

/// Called when the host starts the module; registers the module's plug-ins.
Bool PluginStart();
/// Called when the module is shut down, before its resource is released.
void PluginEnd();
/// A host message: 0 (plug-in message) and 1 (load resources) among others.
Bool PluginMessage(Int32 id, void* data);

/// Host messages of PluginMessage.
enum {
  C4DPL_PLUGINMESSAGE = 0,
  C4DPL_INIT_SYS = 1,
};
