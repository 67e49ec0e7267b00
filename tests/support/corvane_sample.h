// corvane_sample.h - what tests need to drive the Corvane shader through the host: its
// IDs (corvane_ids.h) and a shading sample on a surface as the renderer makes one.
#pragma once

#include <cstdint>

#include "c4d_host_abi.h"
#include "corvane_ids.h"

namespace corvanetest {

inline constexpr double kThird = 0.3333333333333333;

/// A sample on a surface through (x, y, 0) facing +Z, seen from above.
struct Sample {
  explicit Sample(double x = 0, double y = 0) {
    vd.p = {x, y, 0};
    vd.n = vd.bumpn = vd.orign = {0, 0, 1};
    eyeRay.p = {x, y, 50};
    eyeRay.v = {0, 0, -1};
    vd.ray = &eyeRay;
    vd.dist = 50;
    cd.p = {x, y, 0};
    cd.vd = &vd;
  }
  Sample(const Sample&) = delete;  // cd points into vd, vd into eyeRay
  Sample& operator=(const Sample&) = delete;

  C4DRay eyeRay{};
  C4DVolumeData vd{};
  C4DChannelData cd{};
};

}  // namespace corvanetest
