// check_support.cpp - findings, counting words and pixel comparison for the checks.
#include "validate/check_support.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "validate/subject.h"

namespace host {

using Status = CheckOutcome::Status;

CheckOutcome Findings::Outcome(const std::string& passed) const {
  if (count_ == 0) return {Status::Pass, passed};
  return {Status::Fail, first_ + (count_ > 1 ? " (and " + std::to_string(count_ - 1) + " more problem" +
                                                   (count_ > 2 ? "s" : "") + ")"
                                             : "")};
}

CheckOutcome Fail(const std::string& why) { return {Status::Fail, why}; }

std::string Plural(int64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string Key(const DescriptionElement& e) { return e.symbol.empty() ? std::to_string(e.id) : e.symbol; }

bool IsPlainType(int32_t type) {
  return type == C4D_DTYPE_LONG || type == C4D_DTYPE_REAL || type == C4D_DTYPE_VECTOR ||
         type == C4D_DTYPE_STRING;
}

bool IsSubnormal(double v) { return v != 0 && std::fabs(v) < double(FLT_MIN); }

bool SamePixels(const std::vector<Vec3>& a, const std::vector<Vec3>& b, size_t* first) {
  if (a.size() != b.size()) {
    *first = 0;
    return false;
  }
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::memcmp(&a[i], &b[i], sizeof(Vec3)) != 0) {
      *first = i;
      return false;
    }
  }
  return true;
}

size_t CountDifferent(const std::vector<Vec3>& a, const std::vector<Vec3>& b) {
  size_t n = 0;
  for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) n += std::memcmp(&a[i], &b[i], sizeof(Vec3)) != 0;
  return n;
}

std::string PixelDifference(const std::vector<Vec3>& a, const std::vector<Vec3>& b, size_t i, int width) {
  return "pixel (" + std::to_string(int(i) % width) + ", " + std::to_string(int(i) / width) +
         "): " + FormatColor(a[i]) + " then " + FormatColor(b[i]);
}

}  // namespace host
