// vec.h - Vector, three 64-bit floats (positions, directions and colours).
#pragma once

#include "maxon/apibase.h"

MAXON_DECLARATION_RECORD("net.maxon.math.framework", Vector)

/// Three 64-bit floats; laid out exactly like the host's C4DVector.
struct Vector {
  Float x = 0.0;
  Float y = 0.0;
  Float z = 0.0;

  constexpr Vector() = default;
  constexpr explicit Vector(Float v) : x(v), y(v), z(v) {}
  constexpr Vector(Float xIn, Float yIn, Float zIn) : x(xIn), y(yIn), z(zIn) {}

  constexpr Vector operator+(const Vector& b) const { return Vector(x + b.x, y + b.y, z + b.z); }
  constexpr Vector operator-(const Vector& b) const { return Vector(x - b.x, y - b.y, z - b.z); }
  constexpr Vector operator-() const { return Vector(-x, -y, -z); }
  constexpr Vector operator*(Float s) const { return Vector(x * s, y * s, z * s); }
  constexpr Vector operator/(Float s) const { return Vector(x / s, y / s, z / s); }
  Vector& operator+=(const Vector& b) {
    x += b.x;
    y += b.y;
    z += b.z;
    return *this;
  }
  Vector& operator-=(const Vector& b) {
    x -= b.x;
    y -= b.y;
    z -= b.z;
    return *this;
  }
  Vector& operator*=(Float s) {
    x *= s;
    y *= s;
    z *= s;
    return *this;
  }
  constexpr Bool operator==(const Vector& b) const { return x == b.x && y == b.y && z == b.z; }
  constexpr Bool operator!=(const Vector& b) const { return !(*this == b); }
};

using Vector64 = Vector;

constexpr Vector operator*(Float s, const Vector& v) { return v * s; }

/// Dot product, summed as (x + y) + z.
constexpr Float Dot(const Vector& a, const Vector& b) { return (a.x * b.x + a.y * b.y) + a.z * b.z; }
