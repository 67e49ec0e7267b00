// host_interface.h - the interface record handed to modules with c4d_main action 1.
//
// Assembled here, above every folder whose suite it collects (core, bitmap, resources),
// so that none of them depends on another's suite.
#pragma once

#include "c4d_host_abi.h"

namespace host {

/// The host interface record with every suite filled in and version C4D_API_VERSION.
/// Immutable; lives as long as the process. Its functions reach the current HostServices.
const C4DHostInterface* Interface();

}  // namespace host
