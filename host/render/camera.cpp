#include "render/camera.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>

namespace host {

void MakeFrame(const Vec3& direction, const Vec3& upHint, Vec3* x, Vec3* y, Vec3* z) {
  Vec3 zz = Normalize(direction);
  if (Length(zz) == 0) zz = Vec3(0, 0, 1);
  Vec3 xx = Cross(upHint, zz);
  if (Length(xx) < 1e-12 * std::max(1.0, Length(upHint)))
    xx = Cross(std::abs(zz.y) < 0.9 ? Vec3(0, 1, 0) : Vec3(0, 0, -1), zz);
  xx = Normalize(xx);
  *x = xx;
  *y = Cross(zz, xx);
  *z = zz;
}

PinholeCamera::PinholeCamera(Vec3 position_, Vec3 forward_, Vec3 upHint, double fov, int width_, int height_)
    : position(position_), width(width_), height(height_) {
  MakeFrame(forward_, upHint, &right, &up, &forward);
  tanHalf = std::tan(fov * 0.5);
}

RayD PinholeCamera::GenerateRay(double rx, double ry) const {
  double aspect = width > 0 ? double(height) / double(width) : 1.0;
  double sx = (2.0 * rx / width - 1.0) * tanHalf;
  double sy = (1.0 - 2.0 * ry / height) * tanHalf * aspect;
  return RayD{position, Normalize(forward + right * sx + up * sy)};
}

}  // namespace host

namespace host {

std::string VecToString(const Vec3& v) {
  return "(" + std::to_string(v.x) + ", " + std::to_string(v.y) + ", " + std::to_string(v.z) + ")";
}

}  // namespace host
