// Values and types of the SDK that plug-in sources may rely on, and return types that
// differ from a naive guess.
#include "c4d.h"

template <typename A, typename B>
struct Same {
  static constexpr bool value = false;
};
template <typename A>
struct Same<A, A> {
  static constexpr bool value = true;
};

static_assert(API_VERSION == 23100, "R23's API version, usable in #if");
#if !(API_VERSION >= 23000)
#error "API_VERSION is a preprocessor number"
#endif
static_assert(static_cast<Int32>(OBJECTSTATE::EDITOR) == 0 && static_cast<Int32>(OBJECTSTATE::RENDER) == 1 &&
                  static_cast<Int32>(OBJECTSTATE::DEFORM) == 2,
              "object states");
static_assert(Obase == 5155 && Olight == 5102 && Ocamera == 5103 && Mbase == 5702 && Mmaterial == 5703 &&
                  Xbase == 5707,
              "node types");
static_assert(CUSTOMDATATYPE_GRADIENT == 1000481, "the gradient's custom data type");
static_assert(GradientKnot().col == Vector(1.0) && GradientKnot().brightness == 1.0 && GradientKnot().pos == 0.0 &&
                  GradientKnot().bias == 0.5 && GradientKnot().index == 0 &&
                  GradientKnot().interpolation == GRADIENT_INTERPOLATION_SMOOTHKNOT,
              "a default knot");
static_assert(Same<decltype(InitRenderStruct::time), BaseTime>::value, "the render's time is a BaseTime");
static_assert(Same<decltype(IconData::flags), ICONDATAFLAGS>::value, "an icon's flags are ICONDATAFLAGS");
static_assert(Same<decltype(GeLoadString(0)), const maxon::String&>::value, "GeLoadString lends its text");

void Use(BaseContainer* bc) {
  (void)bc;
#if SHAPE_CASE == 0
  bc->SetFloat(1, 1.0);
  const maxon::String name = GeLoadString(1);
  (void)name;
#elif SHAPE_CASE == 1
  const Bool stored = bc->SetFloat(1, 1.0);
  (void)stored;
#elif SHAPE_CASE == 2
  maxon::String& name = GeLoadString(1);
  (void)name;
#elif SHAPE_CASE == 3
  const Float seconds = InitRenderStruct().time;
  (void)seconds;
#endif
}
