// c4d_pmain.cpp - the module's entry c4d_main: start-up gate, lifecycle dispatch, module
// path and resource tear-down.
//
// The host calls c4d_main on one thread at a time, so the state below is plain data.
#include "c4d_file.h"
#include "c4d_plugin.h"
#include "c4d_resource.h"
#include "host_access.h"
#include "module_state.h"

namespace {

Int32 g_usageCount = 0;
Filename* g_modulePath = nullptr;

// Action 1: the host hands over its interface and the module file's path.
Int32 SystemStart(void* hostInterface, void* moduleFile) {
  if (++g_usageCount != 1) return 1;
  maxon::details::g_endedHostInterface = nullptr;
  maxon::details::g_hostInterface = static_cast<const C4DHostInterface*>(hostInterface);
  // A missing interface is answered like a host that is too old: nothing is read from it.
  if (maxon::details::g_hostInterface == nullptr || maxon::details::g_hostInterface->version < C4D_API_VERSION_MIN || moduleFile == nullptr)
    return -3;
  // Without memory for the path the module runs without one (its resources then are "res").
  g_modulePath = maxon::NewObj<Filename>();
  if (g_modulePath != nullptr)
    *g_modulePath = Filename::FromHandle(static_cast<const C4DFilename*>(moduleFile));
  return 1;
}

// Action 3: only the call that brings the usage count to zero tears down.
Int32 End() {
  if (--g_usageCount != 0) return 1;
  PluginEnd();
  g_resource.Free();
  DeleteObj(g_modulePath);
  maxon::details::RunGlobalDestructors();
  // The host's services end with the module's life; a later start hands them over again.
  // Only what the module still holds may go back through them until then.
  maxon::details::g_endedHostInterface = maxon::details::g_hostInterface;
  maxon::details::g_hostInterface = nullptr;
  return 1;
}

}  // namespace

namespace maxon {
namespace details {

const C4DHostInterface* g_hostInterface = nullptr;
const C4DHostInterface* g_endedHostInterface = nullptr;
void SetHostInterface(const C4DHostInterface* host) { g_hostInterface = host; }
const Filename* ModulePath() { return g_modulePath; }

}  // namespace details
}  // namespace maxon

extern "C" C4D_EXPORT Int32 c4d_main(Int32 action, void* p1, void* p2, void* p3) {
  switch (action) {
    case C4D_ACTION_SYSTEM_START:
      return SystemStart(p1, p3);
    case C4D_ACTION_START:
      return PluginStart() ? 1 : 0;
    case C4D_ACTION_END:
      return End();
    case C4D_ACTION_QUERY:
      return 5;
    case C4D_ACTION_MESSAGE:
      // The message number travels in the low 32 bits of p1.
      return PluginMessage(static_cast<Int32>(reinterpret_cast<uintptr_t>(p1)), p2) ? 1 : -1;
    default:
      return -1;
  }
}
