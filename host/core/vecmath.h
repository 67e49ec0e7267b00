// vecmath.h - the small vector type of the host's scene model.
#pragma once

#include <cmath>
#include <iosfwd>

#include "c4d_host_abi.h"

namespace host {

/// Three 64-bit floats: a point, a direction or an RGB colour.
struct Vec3 {
  double x = 0, y = 0, z = 0;

  constexpr Vec3() = default;
  constexpr Vec3(double x_, double y_, double z_) : x(x_), y(y_), z(z_) {}
  constexpr Vec3(const C4DVector& v) : x(v.x), y(v.y), z(v.z) {}  // NOLINT: implicit on purpose
  constexpr operator C4DVector() const { return C4DVector{x, y, z}; }

  constexpr Vec3 operator+(const Vec3& o) const { return {x + o.x, y + o.y, z + o.z}; }
  constexpr Vec3 operator-(const Vec3& o) const { return {x - o.x, y - o.y, z - o.z}; }
  constexpr Vec3 operator-() const { return {-x, -y, -z}; }
  constexpr Vec3 operator*(double s) const { return {x * s, y * s, z * s}; }
  /// Component-wise product (colour times colour).
  constexpr Vec3 operator*(const Vec3& o) const { return {x * o.x, y * o.y, z * o.z}; }
  constexpr bool operator==(const Vec3&) const = default;
};

inline constexpr double Dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline constexpr Vec3 Cross(const Vec3& a, const Vec3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double Length(const Vec3& v) { return std::sqrt(Dot(v, v)); }
/// v scaled to unit length; the zero vector stays zero.
inline Vec3 Normalize(const Vec3& v) {
  double len = Length(v);
  return len > 0 ? v * (1.0 / len) : Vec3{};
}
inline constexpr Vec3 Lerp(const Vec3& a, const Vec3& b, double t) { return a + (b - a) * t; }
/// 3t^2 - 2t^3: smooth interpolation weight for t in [0, 1].
inline constexpr double SmoothStep01(double t) { return t * t * (3 - 2 * t); }

/// Writes "(x, y, z)" with every digit (17 significant), so that values that differ in
/// the last bit read differently; GoogleTest prints vectors with it.
void PrintTo(const Vec3& v, std::ostream* os);

}  // namespace host
