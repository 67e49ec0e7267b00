// ray.h - rays and the few vector helpers the renderer adds to the scene model's Vec3.
#pragma once

#include <string>

#include "core/vecmath.h"

namespace host {

/// A ray with origin o and unit direction d.
struct RayD {
  Vec3 o, d;
  Vec3 At(double t) const { return o + d * t; }
};

/// Component a (0: x, 1: y, 2: z) of v.
inline constexpr double Axis(const Vec3& v, int a) { return a == 0 ? v.x : (a == 1 ? v.y : v.z); }

/// The orthonormal frame of an object placed with its local +Z along `direction` and its
/// +Y near `upHint` (left-handed: x = up x z). When the two are parallel another hint is
/// used, so the frame is always valid; a zero direction counts as +Z.
void MakeFrame(const Vec3& direction, const Vec3& upHint, Vec3* x, Vec3* y, Vec3* z);

/// "(x, y, z)" for messages and test output.
std::string VecToString(const Vec3& v);

}  // namespace host
