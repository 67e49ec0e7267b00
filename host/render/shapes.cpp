#include "render/shapes.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace host {

Shape Shape::Plane(Vec3 point, Vec3 normal, Vec3 upHint, double width, double depth) {
  Shape s;
  s.kind = Kind::Plane;
  s.center = point;
  MakeFrame(normal, upHint, &s.uAxis, &s.vAxis, &s.normal);
  s.size = Vec3(width, depth, 0);
  return s;
}

Shape Shape::Sphere(Vec3 center, double radius) {
  Shape s;
  s.kind = Kind::Sphere;
  s.center = center;
  s.radius = radius;
  return s;
}

Shape Shape::Box(Vec3 center, Vec3 size) {
  Shape s;
  s.kind = Kind::Box;
  s.center = center;
  s.size = size;
  return s;
}

bool Shape::Intersect(const RayD& ray, double tMin, double tMax, SurfaceHit* hit) const {
  switch (kind) {
    case Kind::Plane: {
      double denom = Dot(ray.d, normal);
      if (denom == 0) return false;
      double t = Dot(center - ray.o, normal) / denom;
      if (!(t > tMin && t < tMax)) return false;
      Vec3 p = ray.At(t);
      double lu = Dot(p - center, uAxis), lv = Dot(p - center, vAxis);
      // A zero size component leaves the plane unbounded in that direction.
      if (size.x > 0 && std::abs(lu) > size.x * 0.5) return false;
      if (size.y > 0 && std::abs(lv) > size.y * 0.5) return false;
      hit->t = t;
      hit->p = p;
      hit->n = hit->phong = normal;
      hit->uvw = Vec3(size.x > 0 ? lu / size.x + 0.5 : lu, size.y > 0 ? lv / size.y + 0.5 : lv, 0);
      hit->face = 0;
      return true;
    }
    case Kind::Sphere: {
      Vec3 oc = ray.o - center;
      double b = Dot(oc, ray.d);
      double c = Dot(oc, oc) - radius * radius;
      double disc = b * b - c;
      if (disc < 0) return false;
      double sq = std::sqrt(disc);
      double t = -b - sq;
      if (!(t > tMin)) t = -b + sq;
      if (!(t > tMin && t < tMax)) return false;
      Vec3 p = ray.At(t);
      Vec3 n = Normalize(p - center);
      hit->t = t;
      hit->p = p;
      hit->n = hit->phong = n;
      double phi = std::atan2(n.z, n.x);
      if (phi < 0) phi += 2 * std::numbers::pi;
      hit->uvw =
          Vec3(phi / (2 * std::numbers::pi), std::acos(std::clamp(n.y, -1.0, 1.0)) / std::numbers::pi, 0);
      hit->face = 0;
      return true;
    }
    case Kind::Box: {
      // Slab test; remember which axis gave the entry and exit distances.
      double t0 = tMin, t1 = tMax;
      int axis0 = -1, axis1 = -1;
      for (int a = 0; a < 3; ++a) {
        double o = Axis(ray.o, a), d = Axis(ray.d, a), lo = Axis(center, a) - Axis(size, a) * 0.5,
               hi = Axis(center, a) + Axis(size, a) * 0.5;
        if (d == 0) {
          if (o < lo || o > hi) return false;
          continue;
        }
        double ta = (lo - o) / d, tb = (hi - o) / d;
        if (ta > tb) std::swap(ta, tb);
        if (ta > t0) {
          t0 = ta;
          axis0 = a;
        }
        if (tb < t1) {
          t1 = tb;
          axis1 = a;
        }
        if (t0 > t1) return false;
      }
      double t = t0;
      int axis = axis0;
      if (axis0 < 0) {  // ray starts inside: use the exit face
        t = t1;
        axis = axis1;
      }
      if (axis < 0 || !(t > tMin && t < tMax)) return false;
      Vec3 p = ray.At(t);
      Vec3 local = p - center;
      double sign = Axis(local, axis) >= 0 ? 1.0 : -1.0;
      Vec3 n(axis == 0 ? sign : 0, axis == 1 ? sign : 0, axis == 2 ? sign : 0);
      // Face texture coordinates from the two other axes, each mapped to [0, 1].
      int a1 = (axis + 1) % 3, a2 = (axis + 2) % 3;
      auto unit = [&](int a) { return Axis(size, a) > 0 ? Axis(local, a) / Axis(size, a) + 0.5 : 0.5; };
      hit->t = t;
      hit->p = p;
      hit->n = hit->phong = n;
      hit->uvw = Vec3(unit(a1), unit(a2), 0);
      hit->face = axis * 2 + (sign > 0 ? 0 : 1);
      return true;
    }
  }
  return false;
}

std::string Shape::ToString() const {
  switch (kind) {
    case Kind::Plane:
      return "plane at " + VecToString(center) + " normal " + VecToString(normal);
    case Kind::Sphere:
      return "sphere at " + VecToString(center) + " radius " + std::to_string(radius);
    case Kind::Box:
      return "box at " + VecToString(center) + " size " + VecToString(size);
  }
  return "shape";
}

}  // namespace host
