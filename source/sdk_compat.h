// sdk_compat.h - the one place for what differs between the SDK lines the plug-in builds
// with: R23 (API_VERSION 23100) and 2024 and later (2024000 and up; from 2025.0 on the
// Cinema API also lives in namespace cinema). The shader's own code has version checks
// only where a signature or the gradient's render data differ.
#pragma once

#include "c4d.h"
#include "customgui_inexclude.h"

// The SDKs from 2025.0 on (API_VERSION 2024900) declare the Cinema API in namespace cinema,
// the older ones at global scope. Naming the namespace here adds nothing to the SDK's own
// and makes an empty one where the SDK has none, so the plug-in code finds the API through
// one using-directive whichever SDK it is compiled with, without a guessed version number.
namespace cinema {}
using namespace cinema;

namespace corvane {

#if API_VERSION >= 2024000
using Knot = maxon::GradientKnot;  ///< a gradient knot
using KnotColor = maxon::Color;    ///< a knot's colour
using PreparedGradient = const Gradient*;  ///< the gradient a render reads, in its container
#else
using Knot = GradientKnot;
using KnotColor = Vector;
using PreparedGradient = Gradient*;  // prepared in place: InitRender changes it
#endif

/// A value of custom data type `type` (e.g. CUSTOMDATATYPE_GRADIENT) referring to data.
inline GeData CustomDataValue(const CustomDataType& data, Int32 type) {
#if API_VERSION >= 2024000
  return GeData(data, type);
#else
  return GeData(type, data);
#endif
}

/// The custom data T of type `type` stored in bc at id, read-only; null when the entry is
/// missing or of another type.
template <typename T>
const T* GetCustomData(const BaseContainer& bc, Int32 id, Int32 type) {
#if API_VERSION >= 2024000
  (void)type;  // the type carries its own ID
  return bc.GetCustomDataType<T>(id);
#else
  return static_cast<const T*>(bc.GetCustomDataType(id, type));
#endif
}

/// The document of a render as AllocRayLight takes it. From 2024 on the render hands it out
/// read-only, while AllocRayLight, which only reads it, still declares it writable.
inline BaseDocument* RenderDocument(const InitRenderStruct& irs) {
#if API_VERSION >= 2024000
  return const_cast<BaseDocument*>(irs.doc);
#else
  return irs.doc;
#endif
}

}  // namespace corvane
