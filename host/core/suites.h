// suites.h - the service tables that host/core implements.
//
// Each service group of the boundary (frameworks/abi/c4d_host_abi.h) is implemented in
// its own part of the host and exposes its table through one function next to its code:
//   memory, text, container, node, custom data, render suites  -> here (host/core)
//   bitmap suite (bitmaps, PNG, icons)                        -> bitmap/bitmap.h
//   registry suite (resources, strings, descriptions)          -> resources/resources.h
// interface/host_interface.h gathers them into the C4DHostInterface handed to modules; it
// sits above all of them, so nothing here reaches up. The suites keep no state of their
// own: they reach the current HostServices (core/services.h).
#pragma once

#include "c4d_host_abi.h"

#include <string>

namespace host {

const C4DMemorySuite1* MemorySuite1();
const C4DTextSuite1* TextSuite1();
const C4DContainerSuite1* ContainerSuite1();
const C4DNodeSuite1* NodeSuite1();
const C4DCustomDataSuite1* CustomDataSuite1();
const C4DRenderSuite1* RenderSuite1();

/// Registers a plug-in record that a module handed to RegisterPlugin (registry suite) in the
/// current services' plug-in registry. The plug-in belongs to the module whose c4d_main
/// call is running on this thread (CallingModule). Without a Host it goes to the detached
/// services, which no Host sees.
bool RegisterPluginFromModule(int32_t type, int32_t id, const C4DString* name, const void* record,
                              int32_t recordSize, int32_t version);

}  // namespace host
