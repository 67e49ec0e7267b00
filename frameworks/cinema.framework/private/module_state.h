// module_state.h - module-wide state kept by the entry c4d_main.
#pragma once

#include "c4d_file.h"
#include "host_access.h"

namespace maxon {
namespace details {

/// The module file's path given with c4d_main action 1; null when none is held.
const Filename* ModulePath();

}  // namespace details
}  // namespace maxon
