// Gradient::InitRender answers a maxon::Result<void> that may not be dropped silently (a
// warning, here an error) and that is no Bool; FreeRender answers nothing.
#include "c4d.h"

void Prepare(Gradient* gradient, const InitRenderStruct& irs) {
#if SHAPE_CASE == 0
  if (gradient->InitRender(irs) == maxon::FAILED) {
    // lookups work unprepared
  }
  gradient->FreeRender();
#elif SHAPE_CASE == 1
  gradient->InitRender(irs);
#elif SHAPE_CASE == 2
  const Bool prepared = gradient->InitRender(irs);
  (void)prepared;
#endif
}
