// check_support.h - what the validator's check families share: findings, counting words,
// pixel comparison, and the checks themselves, which checks.cpp lists.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/vecmath.h"
#include "resources/description.h"
#include "validate/checks.h"

namespace host {

/// The problems one check found: the first is reported, the others counted.
class Findings {
 public:
  void Problem(const std::string& what) {
    if (count_++ == 0) first_ = what;
  }
  bool Any() const { return count_ > 0; }
  CheckOutcome Outcome(const std::string& passed) const;

 private:
  int count_ = 0;
  std::string first_;
};

CheckOutcome Fail(const std::string& why);
/// "1 round", "3 rounds"
std::string Plural(int64_t n, const char* one, const char* many);
/// The parameter's symbol, or its ID when it has none.
std::string Key(const DescriptionElement& e);
/// LONG, REAL, VECTOR and STRING: the types a container holds by value.
bool IsPlainType(int32_t type);
/// A value no image can hold exactly: below the smallest normal float but not zero.
bool IsSubnormal(double v);
/// Whether a and b hold the same bytes; *first is the first pixel that differs.
bool SamePixels(const std::vector<Vec3>& a, const std::vector<Vec3>& b, size_t* first);
size_t CountDifferent(const std::vector<Vec3>& a, const std::vector<Vec3>& b);
/// "pixel (3, 1): (0.5, 0.5, 0.5) then (0.25, 0.25, 0.25)"
std::string PixelDifference(const std::vector<Vec3>& a, const std::vector<Vec3>& b, size_t i, int width);

// The checks, by family (checks_module.cpp, checks_render.cpp, checks_bad_parameters.cpp).
CheckOutcome CheckLoad(Subject& s, const std::vector<ShaderPlugin>& shaders);
CheckOutcome CheckDescribe(Subject& s, const std::vector<ShaderPlugin>& shaders);
CheckOutcome CheckDefaults(Subject& s, const std::vector<ShaderPlugin>& shaders);
CheckOutcome CheckLifecycle(Subject& s, const std::vector<ShaderPlugin>& shaders);
CheckOutcome CheckAllocationFailure(Subject& s, const std::vector<ShaderPlugin>& shaders);
CheckOutcome CheckRenderMatrix(Subject& s, const std::vector<ShaderPlugin>& shaders);
CheckOutcome CheckThreads(Subject& s, const std::vector<ShaderPlugin>& shaders);
CheckOutcome CheckPerSample(Subject& s, const std::vector<ShaderPlugin>& shaders);
CheckOutcome CheckRoundTrip(Subject& s, const std::vector<ShaderPlugin>& shaders);
CheckOutcome CheckLocale(Subject& s, const std::vector<ShaderPlugin>& shaders);
CheckOutcome CheckBadParameters(Subject& s, const std::vector<ShaderPlugin>& shaders);

}  // namespace host
