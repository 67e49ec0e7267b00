// hostinterface.h - the host interface record as the framework keeps it.
//
// Set by c4d_main action 1 and read on every call into the host. Inline SDK functions on
// the per-sample path (illumination) read it directly, so a host call costs one indirect
// call and nothing more.
#pragma once

#include "c4d_host_abi.h"

namespace maxon {
namespace details {

/// The host interface of c4d_main action 1; null before it and after a refused start.
extern const C4DHostInterface* g_hostInterface;

}  // namespace details
}  // namespace maxon
