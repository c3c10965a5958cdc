#include "correction/mean_divider.h"

MeanDivider::MeanDivider(uint64_t d)
    : divisor_(d),
      multiplier_(0),
      shift_(0),
      fast_(d <= max_fast_count),
      narrow_multiplier_(0),
      narrow_shift_(0),
      narrow_(false)
{
    if (fast_) {
        uint32_t bits = 0;
        while ((uint64_t{1} << bits) < d) ++bits;
        shift_ = 8 + 2 * bits;
        multiplier_ = static_cast<uint32_t>(((uint64_t{1} << shift_) + d - 1) / d);
    }
    if (d > max_narrow_count) return;
    // The smallest shift whose error bound holds, as long as the multiplier
    // still fits 16 bits.
    for (uint32_t s = 16; s < 32 && !narrow_; ++s) {
        const uint64_t power = uint64_t{1} << s;
        const uint64_t m = (power + d - 1) / d;
        if (m > 0xFFFF) break;
        if (255 * d * (m * d - power) < power) {
            narrow_ = true;
            narrow_multiplier_ = static_cast<uint16_t>(m);
            narrow_shift_ = s - 16;
        }
    }
}
