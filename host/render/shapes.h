// shapes.h - analytic geometry: plane, sphere and axis-aligned box.
#pragma once

#include <cstdint>
#include <string>

#include "render/ray.h"

namespace host {

/// What a ray hit on a shape's surface.
struct SurfaceHit {
  double t = 0;      ///< distance along the (unit) ray direction
  Vec3 p;            ///< the point
  Vec3 n;            ///< geometric (unsmoothed) normal, unit, pointing out of the shape
  Vec3 phong;        ///< smoothed shading normal, unit (equal to n for these shapes)
  Vec3 uvw;          ///< texture coordinates
  int32_t face = 0;  ///< the hit face: box faces 0..5 (+X, -X, +Y, -Y, +Z, -Z), 0 otherwise
};

/// One analytic shape. Planes are one rectangle (or unbounded when a size component is 0),
/// spheres are solid balls, boxes are axis-aligned.
struct Shape {
  enum class Kind { Plane, Sphere, Box };
  Kind kind = Kind::Sphere;
  Vec3 center;           ///< plane: a point on it; sphere and box: the centre
  Vec3 normal{0, 1, 0};  ///< plane only: its front side (local +Z)
  Vec3 uAxis{1, 0, 0};   ///< plane only: local +X, the width direction
  Vec3 vAxis{0, 0, 1};   ///< plane only: local +Y, the depth direction
  Vec3 size{1, 1, 1};    ///< plane: (width, depth, -); box: full extents along X, Y, Z
  double radius = 1;     ///< sphere only

  /// A plane through point with its front along normal; upHint orients its local axes
  /// (MakeFrame). width and depth of 0 leave it unbounded in that direction.
  static Shape Plane(Vec3 point, Vec3 normal, Vec3 upHint, double width, double depth);
  static Shape Sphere(Vec3 center, double radius);
  static Shape Box(Vec3 center, Vec3 size);

  /// The nearest hit with t in (tMin, tMax); false when there is none.
  bool Intersect(const RayD& ray, double tMin, double tMax, SurfaceHit* hit) const;

  std::string ToString() const;
};

}  // namespace host
