// c4d_plugin.h - what every module provides to the framework's entry c4d_main, and the
// numbers of the host messages that reach PluginMessage.
#pragma once

#include "c4d_apiversion.h"
#include "maxon/apibase.h"

CINEMA_NAMESPACE_BEGIN

/// Called when the host starts the module; registers the module's plug-ins.
Bool PluginStart();
/// Called when the module is shut down, before its resource is released.
void PluginEnd();
/// A host message (C4DMSG_PRIORITY, C4DPL_INIT_SYS, ...) with its data; true when handled.
Bool PluginMessage(Int32 id, void* data);

/// PluginMessage: the host asks for the module's loading priority. Answering true keeps
/// the default priority.
#define C4DMSG_PRIORITY 0
/// PluginMessage: initialise the module's system side; the module loads its resource.
#define C4DPL_INIT_SYS 1

CINEMA_NAMESPACE_END
