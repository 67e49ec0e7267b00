// camera.h - the pinhole camera.
#pragma once

#include "render/ray.h"

namespace host {

/// A pinhole camera. The world is left-handed with +Y up: looking along +Z, +X is to the
/// right. Raster coordinates run from (0, 0) at the top-left corner of the image to
/// (width, height) at the bottom-right; pixel (x, y) covers [x, x+1) x [y, y+1).
class PinholeCamera {
 public:
  /// position: the eye; forward: viewing direction (need not be unit); up: a hint for the
  /// image's vertical (see MakeFrame); fov: horizontal field of view in radians, (0, pi).
  PinholeCamera(Vec3 position, Vec3 forward, Vec3 up, double fov, int width, int height);

  /// The eye ray through raster point (rx, ry).
  RayD GenerateRay(double rx, double ry) const;

  int Width() const { return width; }
  int Height() const { return height; }
  Vec3 Position() const { return position; }

 private:
  Vec3 position, forward, right, up;
  double tanHalf;
  int width, height;
};

}  // namespace host
