// host_access.h - how the framework reaches the host's service tables.
//
// Framework sources only. Memory comes from g_maxon.memory (filled by the host before the
// first c4d_main call); every other service from the host interface of c4d_main action 1.
// Each accessor returns null while the service is not available, and every caller then
// answers as if the thing it asked for were absent.
//
// Handing things back is the exception: after the final action 3 the module asks the host
// for nothing new, but what it still holds (a shader instance that the host destroys
// between the module's end and its unloading keeps its render lights, say) goes back
// through the interface of the life that ended. The Release* accessors give that one.
#pragma once

#include "c4d_apiversion.h"
#include "c4d_host_abi.h"
#include "maxon/apibase.h"
#include "maxon/hostinterface.h"

#if API_VERSION >= CORVANE_SDK_2025_SHAPE
// The framework's sources implement the Cinema API: its names are theirs unqualified.
namespace cinema {}
using namespace cinema;
#endif

namespace maxon {
namespace details {

/// The host interface stored by c4d_main action 1; null before.
inline const C4DHostInterface* HostInterface() { return g_hostInterface; }
void SetHostInterface(const C4DHostInterface* host);

/// The interface of the life that the final action 3 ended; null while the module runs
/// and before its first end.
extern const C4DHostInterface* g_endedHostInterface;

/// The interface to hand things back through: the current one, or the ended one.
inline const C4DHostInterface* ReleaseInterface() {
  return g_hostInterface != nullptr ? g_hostInterface : g_endedHostInterface;
}

inline const C4DTextSuite1* TextSuite() {
  const C4DHostInterface* h = HostInterface();
  return h != nullptr ? h->text : nullptr;
}
inline const C4DContainerSuite1* ContainerSuite() {
  const C4DHostInterface* h = HostInterface();
  return h != nullptr ? h->container : nullptr;
}
inline const C4DNodeSuite1* NodeSuite() {
  const C4DHostInterface* h = HostInterface();
  return h != nullptr ? h->node : nullptr;
}
inline const C4DCustomDataSuite1* CustomDataSuite() {
  const C4DHostInterface* h = HostInterface();
  return h != nullptr ? h->customData : nullptr;
}
inline const C4DRenderSuite1* RenderSuite() {
  const C4DHostInterface* h = HostInterface();
  return h != nullptr ? h->render : nullptr;
}
inline const C4DBitmapSuite1* BitmapSuite() {
  const C4DHostInterface* h = HostInterface();
  return h != nullptr ? h->bitmap : nullptr;
}
inline const C4DRegistrySuite1* RegistrySuite() {
  const C4DHostInterface* h = HostInterface();
  return h != nullptr ? h->registry : nullptr;
}

/// Suites for releasing only (see above).
inline const C4DTextSuite1* ReleaseTextSuite() {
  const C4DHostInterface* h = ReleaseInterface();
  return h != nullptr ? h->text : nullptr;
}
inline const C4DCustomDataSuite1* ReleaseCustomDataSuite() {
  const C4DHostInterface* h = ReleaseInterface();
  return h != nullptr ? h->customData : nullptr;
}
inline const C4DRenderSuite1* ReleaseRenderSuite() {
  const C4DHostInterface* h = ReleaseInterface();
  return h != nullptr ? h->render : nullptr;
}
inline const C4DBitmapSuite1* ReleaseBitmapSuite() {
  const C4DHostInterface* h = ReleaseInterface();
  return h != nullptr ? h->bitmap : nullptr;
}

/// Reinterprets an SDK handle class pointer as the host's handle and back. The SDK's host
/// object classes hold no data, so the pointer value is the handle.
template <typename To, typename From>
inline To* Handle(From* p) {
  return reinterpret_cast<To*>(p);
}
template <typename To, typename From>
inline const To* Handle(const From* p) {
  return reinterpret_cast<const To*>(p);
}

/// Runs the destructors registered for the module's globals, last first (final shutdown).
void RunGlobalDestructors();

}  // namespace details
}  // namespace maxon
