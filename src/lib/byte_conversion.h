// Floats to 8-bit pixel values, a vector at a time where the processor has
// one: the 8-bit mean image and the shading correction convert a whole image
// each, and the compiler turns the clamping into compares and masks instead
// of the processor's min and max.
#pragma once

#include <algorithm>
#include <cstdint>

// Clamped to 0..255 and truncated; NaN gives 0 (max keeps its first operand
// when the comparison fails).
inline uint8_t clamped_byte(float value)
{
    const float clamped = std::min(std::max(0.0f, value), 255.0f);
    return static_cast<uint8_t>(static_cast<int32_t>(clamped));
}

// bytes[i] = clamped_byte(values[i] * factor) for i < n.
void scaled_bytes(const float* values, float factor, int32_t n, uint8_t* bytes);

// out[i] = clamped_byte(pixels[i] * gains[i]) for i < n; `out` may be `pixels`.
void multiplied_bytes(const uint8_t* pixels, const float* gains, int32_t n, uint8_t* out);

// For sums of 2^shift images (shift at most 30): scaled_bytes with the
// factor 2^-shift, and also: true, with the total of the sums added to
// `total`, when every sum is a whole number within ±2^24; false (`total`
// then meaningless) otherwise, and for a NaN or an infinity. With at most
// 2^29 sums the total stays within ±2^53.
bool sum_bytes_and_total(const float* sums, int32_t shift, int32_t n, uint8_t* bytes,
                         int64_t& total);

// Adds clamped_byte(values[i] * factor) for each run of 16 values, the last
// perhaps shorter, to sums[i / 16]: the shading block sums of a line.
void add_scaled_sums_of_16(const float* values, float factor, int32_t n, uint32_t* sums);
