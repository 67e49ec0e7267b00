// The module's message numbers: the priority query is C4DMSG_PRIORITY (0), the resource
// load C4DPL_INIT_SYS (1); there is no C4DPL_PLUGINMESSAGE.
#include "c4d.h"

static_assert(C4DMSG_PRIORITY == 0 && C4DPL_INIT_SYS == 1, "message numbers");

Bool Handles(Int32 id) {
  switch (id) {
#if SHAPE_CASE == 0
    case C4DMSG_PRIORITY:
#elif SHAPE_CASE == 1
    case C4DPL_PLUGINMESSAGE:
#endif
    case C4DPL_INIT_SYS:
      return true;
    default:
      return false;
  }
}
