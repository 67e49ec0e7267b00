// VolumeData holds its eye ray by pointer.
#include "c4d.h"

Float Facing(const VolumeData* vd) {
#if SHAPE_CASE == 0
  return Dot(vd->ray->v, vd->orign);
#elif SHAPE_CASE == 1
  return Dot(vd->ray.v, vd->orign);
#endif
}
