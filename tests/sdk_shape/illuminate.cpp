// VolumeData::IlluminateSurfacePoint is not const and takes exactly twelve arguments.
#include "c4d.h"

#if SHAPE_CASE == 1
Bool Lit(const VolumeData* vd, const RayLight* light) {
#else
Bool Lit(VolumeData* vd, const RayLight* light) {
#endif
  Vector col;
  Vector64 lv;
#if SHAPE_CASE == 2
  Vector shadow;
  return vd->IlluminateSurfacePoint(light, &col, &lv, vd->p, vd->bumpn, vd->orign, vd->orign, vd->ray->v,
                                    ILLUMINATEFLAGS::NONE, vd->lhit, RAYBIT::NONE, false, &shadow);
#else
  return vd->IlluminateSurfacePoint(light, &col, &lv, vd->p, vd->bumpn, vd->orign, vd->orign, vd->ray->v,
                                    ILLUMINATEFLAGS::NONE, vd->lhit, RAYBIT::NONE, false);
#endif
}
