// corvane_ids.h - the Corvane plug-in's IDs as the tests, benchmarks and fuzzers use them:
// the shader plug-in, its parameters, the light-list flags and the icons it registers.
// They are written out here (not taken from the plug-in's resource header) so that a
// change of a stored ID, which would break saved scenes, fails the tests.
#pragma once

#include <cstdint>

namespace corvanetest {

inline constexpr int32_t kCorvane = 1057829;  ///< the shader plug-in
inline constexpr int32_t kSpareValue = 10001;
inline constexpr int32_t kSubShader = 10002;
inline constexpr int32_t kOutput = 10003;
inline constexpr int32_t kMixMode = 10005;
inline constexpr int32_t kInvert = 10007;
inline constexpr int32_t kLights = 10008;
inline constexpr int32_t kGradient = 10009;

/// Flags of a light-list entry: counted at all, and added (else subtracted).
inline constexpr int32_t kFlagActive = 1;
inline constexpr int32_t kFlagPositive = 2;

/// The icons of the light list's sign switch.
inline constexpr int32_t kIconNegative = 1057875;
inline constexpr int32_t kIconPositive = 1057876;

}  // namespace corvanetest
