// gradient.h - maxon::Color, maxon::GradientKnot and maxon::GradientRenderData: the
// gradient types of the 2024 and later API (the Cinema API's Gradient uses them there;
// customgui_gradient.h records the knot's declaration for the unit).
#pragma once

#include "maxon/apibase.h"

MAXON_DECLARATION_RECORD("net.maxon.math.framework", Color)
MAXON_DECLARATION_RECORD("net.maxon.math.framework", GradientRenderData)

struct C4DGradient;

namespace maxon {

/// A colour of three 64-bit floats; laid out like the host's C4DVector.
struct Color {
  Float r = 0.0;
  Float g = 0.0;
  Float b = 0.0;

  constexpr Color() = default;
  constexpr explicit Color(Float v) : r(v), g(v), b(v) {}
  constexpr Color(Float rIn, Float gIn, Float bIn) : r(rIn), g(gIn), b(bIn) {}

  constexpr Bool operator==(const Color& o) const { return r == o.r && g == o.g && b == o.b; }
  constexpr Bool operator!=(const Color& o) const { return !(*this == o); }
};

/// How a gradient blends from a knot towards the next one.
enum class GRADIENT_INTERPOLATION_TYPE : Int32 {
  SMOOTHKNOT = 2,
  LINEARKNOT = 3,
  NONE = 5,
};

/// One knot of a gradient; laid out like the host's C4DGradientKnot.
struct GradientKnot {
  Color col = Color(1.0);  ///< colour
  Float brightness = 1.0;  ///< colour multiplier
  Float pos = 0.0;         ///< position in [0, 1]
  Float bias = 0.5;        ///< where between this knot and the next the blend is half-way
  Int32 index = 0;         ///< knot identifier
  GRADIENT_INTERPOLATION_TYPE interpolation = GRADIENT_INTERPOLATION_TYPE::SMOOTHKNOT;  ///< towards the next knot
};

/// A gradient prepared for lookups during a render (Gradient::PrepareRenderData). It
/// refers to the gradient it was prepared from, which must outlive it; copies refer to the
/// same one. It belongs to whoever prepared it: a shader keeps it from its InitRender to
/// its FreeRender. The default value refers to no gradient and answers black.
class GradientRenderData {
 public:
  GradientRenderData() = default;

  /// The colour at pos (clamped to [0, 1]). Thread-safe and allocation-free.
  Color CalcGradientPixel(Float pos) const;

  /// Framework use: render data of the host's gradient g.
  static GradientRenderData FromHandle(const C4DGradient* g) {
    GradientRenderData data;
    data._gradient = g;
    return data;
  }

 private:
  const C4DGradient* _gradient = nullptr;
};

}  // namespace maxon
