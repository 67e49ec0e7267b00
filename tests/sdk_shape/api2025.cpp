// The 2025 shape (compiled with CORVANE_SDK_API_VERSION=2025301): the R23 forms of the
// names that changed are rejected, the 2024/2025 forms compile.
#include "c4d.h"
#include "customgui_inexclude.h"

static_assert(API_VERSION == 2025301, "the 2025 line's API version");

#if SHAPE_CASE == 12
// 8. Every Cinema API name lives in namespace cinema.
::BaseContainer* Global();
#endif

using namespace cinema;

class Shader : public ShaderData {
 public:
#if SHAPE_CASE == 1
  // 1. Init takes the clone flag.
  Bool Init(GeListNode* node) override;
#else
  Bool Init(GeListNode* node, Bool isCloneInit) override { return node != nullptr && !isCloneInit; }
#endif
#if SHAPE_CASE == 2
  // 2. GetDEnabling is const and takes a const node.
  Bool GetDEnabling(GeListNode* node, const DescID& id, const GeData& t, DESCFLAGS_ENABLE f,
                    const BaseContainer* d) override;
#else
  Bool GetDEnabling(const GeListNode* node, const DescID& id, const GeData& t, DESCFLAGS_ENABLE f,
                    const BaseContainer* d) const override {
    (void)id, (void)t, (void)f, (void)d;
    return node != nullptr;
  }
#endif
};

Vector Use(BaseContainer* bc, const InitRenderStruct& irs) {
#if SHAPE_CASE == 3
  // 3. The render's document is read-only.
  BaseDocument* doc = irs.doc;
#else
  const BaseDocument* doc = irs.doc;
#endif
  (void)doc;
#if SHAPE_CASE == 4
  // 4. Custom data is read by type.
  const CustomDataType* data = bc->GetCustomDataType(1, CUSTOMDATATYPE_GRADIENT);
  const Gradient* gradient = static_cast<const Gradient*>(data);
#else
  const Gradient* gradient = bc->GetCustomDataType<Gradient>(1);
  const InExcludeData* list = bc->GetCustomDataType<InExcludeData>(2);
  (void)list;
#endif
  Gradient* made = Gradient::Alloc();
#if SHAPE_CASE == 5
  // 5. A custom data value takes the data first.
  const GeData value(CUSTOMDATATYPE_GRADIENT, *made);
#else
  const GeData value(*made, CUSTOMDATATYPE_GRADIENT);
#endif
  bc->SetData(3, value);
#if SHAPE_CASE == 6
  // 6. Knots are maxon::GradientKnot.
  GradientKnot knot;
#elif SHAPE_CASE == 7
  // 6. ... whose colour is a maxon::Color.
  maxon::GradientKnot knot;
  knot.col = Vector(1.0, 0.0, 0.0);
#else
  maxon::GradientKnot knot;
  knot.col = maxon::Color(1.0, 0.0, 0.0);
  static_assert(maxon::GradientKnot().col == maxon::Color(1.0), "a default knot is white");
#endif
  const Int32 index = made->InsertKnot(knot);
  (void)index;
  Gradient::Free(made);
#if SHAPE_CASE == 8
  // 7. The gradient has no render preparation of its own ...
  if (gradient->InitRender(irs) == maxon::FAILED) return Vector();
#elif SHAPE_CASE == 9
  // 7. ... nor lookups ...
  return gradient->CalcGradientPixel(0.5);
#elif SHAPE_CASE == 10
  // 7. ... nor a release.
  const_cast<Gradient*>(gradient)->FreeRender();
#elif SHAPE_CASE == 11
  // 7. The render data's lookup gives a colour, not a vector.
  maxon::Result<maxon::GradientRenderData> prepared = gradient->PrepareRenderData(irs);
  const Vector colour = prepared.GetValue().CalcGradientPixel(0.5);
  return colour;
#endif
  maxon::Result<maxon::GradientRenderData> prepared = gradient->PrepareRenderData(irs);
  if (prepared == maxon::FAILED) return Vector();
  const maxon::Color colour = prepared.GetValue().CalcGradientPixel(0.5);
  return Vector(colour.r, colour.g, colour.b);
}
