#include "core/vecmath.h"

#include <cstdio>
#include <ostream>

namespace host {

void PrintTo(const Vec3& v, std::ostream* os) {
  char text[96];
  std::snprintf(text, sizeof text, "(%.17g, %.17g, %.17g)", v.x, v.y, v.z);
  *os << text;
}

}  // namespace host
