// shaders.h - shader evaluation: plug-in dispatch and the built-in shaders.
//
// Built-ins (ids.h): kShaderColor (COLORSHADER_COLOR x COLORSHADER_BRIGHTNESS),
// kShaderCheckerboard (CHECKER_COLOR1 where floor(u*USCALE) + floor(v*VSCALE) is even,
// else CHECKER_COLOR2), kShaderNoise (value noise with smooth interpolation on a hashed
// integer lattice, deterministic for a given seed; lerp(NOISE_COLOR1, NOISE_COLOR2, n)).
//
// Recursion: each thread keeps a small stack of the shaders it is sampling, preparing or
// releasing. A shader that is already on it (a cycle of sub-shader links) or a stack
// deeper than kMaxShaderDepth answers black from Sample and does nothing in InitRender
// (answering OK) and FreeRender: never a stack overflow.
#pragma once

#include <cstdint>

#include "c4d_host_abi.h"
#include "core/vecmath.h"

namespace host {

class Node;

/// Deepest nesting of sub-shader evaluation on one thread.
inline constexpr int kMaxShaderDepth = 32;

/// The shader's colour for the sample cd (cd may be null: uvw and world point are zero).
/// Black for a null or non-shader node, a cycle or too deep a nesting. Allocation-free.
Vec3 SampleShader(Node* shader, C4DChannelData* cd);
/// Render preparation of a plug-in shader (C4D_INITRENDERRESULT_OK for built-ins).
int32_t ShaderInitRender(Node* shader, const C4DInitRenderStruct* irs);
/// Render release of a plug-in shader (nothing for built-ins).
void ShaderFreeRender(Node* shader);

/// Value noise in [0, 1] at p (deterministic, smooth, period-free).
double ValueNoise(const Vec3& p, int32_t seed);

}  // namespace host
