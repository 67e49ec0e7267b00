// corvane_sample.h - what tests need to drive the Corvane shader through the host: its
// plug-in and parameter IDs, and a shading sample on a surface as the renderer makes one.
#pragma once

#include <cstdint>

#include "c4d_host_abi.h"

namespace corvanetest {

inline constexpr int32_t kCorvane = 1057829;
inline constexpr int32_t kSpareValue = 10001;
inline constexpr int32_t kSubShader = 10002;
inline constexpr int32_t kOutput = 10003;
inline constexpr int32_t kMixMode = 10005;
inline constexpr int32_t kInvert = 10007;
inline constexpr int32_t kLights = 10008;
inline constexpr int32_t kGradient = 10009;
inline constexpr int32_t kFlagActive = 1;
inline constexpr int32_t kFlagPositive = 2;
inline constexpr double kThird = 0.3333333333333333;

/// A sample on a surface through (x, y, 0) facing +Z, seen from above.
struct Sample {
  explicit Sample(double x = 0, double y = 0) {
    vd.p = {x, y, 0};
    vd.n = vd.bumpn = vd.orign = {0, 0, 1};
    vd.ray.p = {x, y, 50};
    vd.ray.v = {0, 0, -1};
    vd.dist = 50;
    cd.p = {x, y, 0};
    cd.vd = &vd;
  }
  Sample(const Sample&) = delete;  // cd points into vd
  Sample& operator=(const Sample&) = delete;

  C4DVolumeData vd{};
  C4DChannelData cd{};
};

}  // namespace corvanetest
