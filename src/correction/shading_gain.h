// How the camera stores a shading gain: 16 bits, 12 of them fractional. The
// upload writes gains this way, and kd-inspect judges and compares maps by it.
#pragma once

#include <cstdint>

// The stored value of a gain of 1.0; one step is 1 / shading_gain_scale.
constexpr int32_t shading_gain_scale = 4096;

// The first gain the stored value cannot hold: 65536 steps. Larger gains are
// stored as the largest value, 65535 steps.
constexpr float shading_gain_limit = 65536.0f / shading_gain_scale;

// A shading value as the camera's 16-bit gain with 12 fractional bits:
// value x 4096 truncated, clamped to 0..65535; not a number gives 0.
uint16_t shading_gain(float value);
