// host_access.h - how the framework reaches the host's service tables.
//
// Framework sources only. Memory comes from g_maxon.memory (filled by the host before the
// first c4d_main call); every other service from the host interface of c4d_main action 1.
// Each accessor returns null while the service is not available, and every caller then
// answers as if the thing it asked for were absent.
#pragma once

#include "c4d_host_abi.h"
#include "maxon/apibase.h"
#include "maxon/hostinterface.h"

namespace maxon {
namespace details {

/// The host interface stored by c4d_main action 1; null before.
inline const C4DHostInterface* HostInterface() { return g_hostInterface; }
void SetHostInterface(const C4DHostInterface* host);

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
