// corvane.h - the Corvane channel shader.
//
// The shader sums the brightness of a user-chosen list of lights at the sample's surface
// point (each light adding or subtracting), mixes that with an optional sub-shader,
// clamps and optionally inverts it, and returns it as grey or through a gradient.
#pragma once

#include "sdk_compat.h"
#include "xcorvane.h"

/// ID of the Corvane shader and of its description.
constexpr Int32 ID_CORVANE = 1057829;
/// Icons registered from res/negative.png and res/positive.png.
constexpr Int32 ID_CORVANE_ICON_NEGATIVE = 1057875;
constexpr Int32 ID_CORVANE_ICON_POSITIVE = 1057876;

/// Flags of an entry of the shader's light list.
enum : Int64 {
  LIGHTFLAG_ACTIVE = 1,    ///< the light is collected at render preparation
  LIGHTFLAG_POSITIVE = 2,  ///< the light's brightness is added; clear: subtracted
};

/// One collected light of a render.
struct LightEntry {
  RayLight* light;  ///< the host's render light; held by the shader until the next preparation
  Int64 flags;      ///< the list entry's flags
};

/// The Corvane channel shader.
class CorvaneShader : public ShaderData {
 public:
  /// A new instance through the framework's allocator; null when out of memory.
  static NodeData* Alloc();

  ~CorvaneShader() override;

#if API_VERSION >= 2024000
  Bool Init(GeListNode* node, Bool isCloneInit) override;
  Bool GetDEnabling(const GeListNode* node, const DescID& id, const GeData& tData, DESCFLAGS_ENABLE flags,
                    const BaseContainer* itemdesc) const override;
#else
  Bool Init(GeListNode* node) override;
  Bool GetDEnabling(GeListNode* node, const DescID& id, const GeData& tData, DESCFLAGS_ENABLE flags,
                    const BaseContainer* itemdesc) override;
#endif
  Bool Message(GeListNode* node, Int32 type, void* data) override;
  INITRENDERRESULT InitRender(BaseShader* sh, const InitRenderStruct& irs) override;
  void FreeRender(BaseShader* sh) override;
  Vector Output(BaseShader* sh, ChannelData* cd) override;
  SHADERINFO GetRenderInfo(BaseShader* sh) override;

  /// Stores the default gradient (red at 0 to blue at 1) in container at id. False, with
  /// nothing stored, when no gradient can be made.
  static Bool BuildDefaultGradient(BaseContainer* container, Int32 id);

 private:
  /// Hands every held render light back to the host and empties the table (storage kept).
  void ReleaseLights();

  // Render-time state: written by InitRender/FreeRender only, read by Output.
  Bool invert = false;
  Float fallbackValue = 1.0;
  Int32 outputMode = XCORVANE_OUTPUT_GREY;
  Int32 mixMode = XCORVANE_MIXMODE_MULTIPLY;
  BaseShader* subShader = nullptr;                // borrowed from the scene
  corvane::PreparedGradient gradient = nullptr;  // points into the node's container
  maxon::BaseArray<LightEntry> lights;
#if API_VERSION >= 2024000
  // The gradient's lookups for this render: prepared at InitRender, dropped at FreeRender.
  maxon::GradientRenderData gradientRender;
#endif
};

/// Registers the icons and the Corvane shader with the host. True when the shader was
/// registered.
Bool RegisterCorvane();
