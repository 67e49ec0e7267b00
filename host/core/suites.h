// suites.h - how the host's service tables are put together.
//
// Each service group of the boundary (frameworks/abi/c4d_host_abi.h) is implemented in
// its own part of the host and exposes its table through one function below. Interface()
// gathers them into the C4DHostInterface handed to modules with c4d_main action 1.
//
// Owners:
//   memory, text, container, node, custom data, render suites  -> host/core
//   bitmap suite (bitmaps, PNG, icons)                        -> host/bitmap
//   registry suite (resources, strings, descriptions)          -> host/resources
//     (its RegisterPlugin forwards to RegisterPluginFromModule in host/core)
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
const C4DBitmapSuite1* BitmapSuite1();
const C4DRegistrySuite1* RegistrySuite1();

/// The host interface record with every suite filled in and version C4D_API_VERSION.
/// Lives as long as the process.
const C4DHostInterface* Interface();

/// Registers a plug-in record that a module handed to RegisterPlugin; implemented by the
/// plug-in registry in host/core. The plug-in belongs to the module whose c4d_main call is
/// running on this thread (CallingModule).
bool RegisterPluginFromModule(int32_t type, int32_t id, const C4DString* name, const void* record,
                              int32_t recordSize, int32_t version);

/// Forgets the state of host/bitmap (icons, live bitmap count) and host/resources
/// (loaded resources, descriptions, start-up folder); called when a Host is torn down.
void ResetBitmapState();
void ResetResourceState();

}  // namespace host
