// customgui_gradient.h - the gradient custom data type.
#pragma once

#include "c4d_apiversion.h"
#include "c4d_basecontainer.h"
#include "c4d_enums.h"
#include "maxon/apibase.h"
#include "maxon/gradient.h"
#include "maxon/resultbase.h"
#include "maxon/vec.h"

MAXON_DECLARATION_RECORD("net.maxon.c4d.cinema.framework", Gradient)
#if API_VERSION >= 2024000
MAXON_DECLARATION_RECORD("net.maxon.math.framework", GradientKnot)
#else
MAXON_DECLARATION_RECORD("net.maxon.c4d.cinema.framework", GradientKnot)
#endif

CINEMA_NAMESPACE_BEGIN

struct InitRenderStruct;

/// Custom data type ID of Gradient.
#define CUSTOMDATATYPE_GRADIENT 1000481

/// Gradient settings (Gradient::SetData) and their values.
enum {
  GRADIENT_MODE = 1002,
  GRADIENTMODE_COLOR = 0,
};

/// Knot interpolations (GradientKnot::interpolation) towards the next knot.
enum {
  GRADIENT_INTERPOLATION_SMOOTHKNOT = 2,
  GRADIENT_INTERPOLATION_LINEARKNOT = 3,
  GRADIENT_INTERPOLATION_NONE = 5,
};

#if API_VERSION < 2024000
/// One knot of a gradient; laid out like the host's C4DGradientKnot.
struct GradientKnot {
  Vector col = Vector(1.0);  ///< colour
  Float brightness = 1.0;    ///< colour multiplier
  Float pos = 0.0;           ///< position in [0, 1]
  Float bias = 0.5;          ///< where between this knot and the next the blend is half-way
  Int32 index = 0;           ///< knot identifier
  Int32 interpolation = GRADIENT_INTERPOLATION_SMOOTHKNOT;  ///< blend towards the next knot
};
#endif

/// A colour gradient. Holds no data: a pointer to it is the host's handle.
#if API_VERSION >= 2024000
class Gradient : public CustomDataTypeT<CUSTOMDATATYPE_GRADIENT> {
#else
class Gradient : public CustomDataType {
#endif
 public:
  Gradient() = delete;

  /// A new empty gradient, or null when out of memory. Release with Free.
  static Gradient* Alloc();
  /// Releases a gradient made by Alloc and sets grad to null.
  static void Free(Gradient*& grad);

  /// Sets one of the gradient's settings (e.g. GRADIENT_MODE).
  Bool SetData(Int32 id, const GeData& data);
  GeData GetData(Int32 id) const;
  Int32 GetKnotCount() const;

#if API_VERSION >= 2024000
  /// Inserts a copy of knot; its index, or -1 when it could not be inserted.
  Int32 InsertKnot(const maxon::GradientKnot& knot);
  /// The knot at index; a default knot when index is out of range.
  maxon::GradientKnot GetKnot(Int32 index) const;

  /// The gradient prepared for fast lookups during a render; maxon::FAILED when the host
  /// could not prepare it. The render data refers to this gradient, which must outlive it.
  maxon::Result<maxon::GradientRenderData> PrepareRenderData(const InitRenderStruct& irs) const;
#else
  /// Inserts a copy of knot; its index, or -1 when it could not be inserted.
  Int32 InsertKnot(const GradientKnot& knot);
  /// The knot at index; a default knot when index is out of range.
  GradientKnot GetKnot(Int32 index) const;

  /// Prepares the gradient for fast lookups during a render. maxon::FAILED when the host
  /// could not prepare it; lookups then still work, unprepared.
  maxon::Result<void> InitRender(const InitRenderStruct& irs);
  /// Ends what InitRender prepared.
  void FreeRender();
  /// The colour at pos (clamped to [0, 1]). Thread-safe and allocation-free.
  Vector CalcGradientPixel(Float pos) const;
#endif
};

CINEMA_NAMESPACE_END
