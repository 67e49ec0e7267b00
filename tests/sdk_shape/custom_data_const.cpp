// A container hands its custom data out read-only: there is no non-const GetCustomDataType,
// and a cast to a writable pointer must cast the constness away explicitly.
#include "c4d.h"

Gradient* Prepared(BaseContainer* bc) {
#if SHAPE_CASE == 0
  return const_cast<Gradient*>(static_cast<const Gradient*>(bc->GetCustomDataType(1, CUSTOMDATATYPE_GRADIENT)));
#elif SHAPE_CASE == 1
  return static_cast<Gradient*>(bc->GetCustomDataType(1, CUSTOMDATATYPE_GRADIENT));
#elif SHAPE_CASE == 2
  CustomDataType* data = bc->GetCustomDataType(1, CUSTOMDATATYPE_GRADIENT);
  return static_cast<Gradient*>(data);
#endif
}
