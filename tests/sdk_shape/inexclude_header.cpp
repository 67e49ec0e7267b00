// The in/exclude list comes with its own header, not with c4d.h; the gradient does come
// with c4d.h.
#include "c4d.h"
#if SHAPE_CASE == 0
#include "customgui_inexclude.h"
#endif

Int32 Count(const BaseContainer& bc) {
  const Gradient* gradient = static_cast<const Gradient*>(bc.GetCustomDataType(1, CUSTOMDATATYPE_GRADIENT));
  const InExcludeData* list =
      static_cast<const InExcludeData*>(bc.GetCustomDataType(2, CUSTOMDATATYPE_INEXCLUDE_LIST));
  return (gradient != nullptr ? gradient->GetKnotCount() : 0) + (list != nullptr ? list->GetObjectCount() : 0);
}
