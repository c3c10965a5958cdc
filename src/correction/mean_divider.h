// The mean of a sum of bytes, floor(n / d) for 0 <= n <= 255 × d, by one
// multiply and shift instead of a division, so whole lines of means vectorise.
#pragma once

#include <cstdint>

// With m = ceil(2^s / d) and e = m d - 2^s the quotient (n m) >> s is exact
// whenever 255 d e < 2^s: the error n e / 2^s then stays below the gap to the
// next multiple of d. Two forms: a wide one (s = 8 + 2 ceil(log2 d), both
// factors within 32 bits) for d up to 2^23, beyond that a plain division; and,
// for most d up to 257, a narrow one whose sums and multiplier fit 16 bits:
// ((n m) >> 16) >> narrow_shift, a vector multiply-high.
class MeanDivider {
public:
    // Sums of up to this many bytes fit 16 bits.
    static constexpr uint64_t max_narrow_count = 257;
    static constexpr uint64_t max_fast_count = uint64_t{1} << 23;

    explicit MeanDivider(uint64_t d = 1);

    uint8_t operator()(uint64_t n) const
    {
        if (fast_) return static_cast<uint8_t>((n * multiplier_) >> shift_);
        return static_cast<uint8_t>(n / divisor_);
    }

    bool fast() const { return fast_; }
    uint32_t multiplier() const { return multiplier_; }
    uint32_t shift() const { return shift_; }

    bool narrow() const { return narrow_; }
    uint16_t narrow_multiplier() const { return narrow_multiplier_; }
    uint32_t narrow_shift() const { return narrow_shift_; }
    // The narrow form; only meaningful when narrow().
    uint8_t narrow_divide(uint16_t n) const
    {
        const uint16_t high =
            static_cast<uint16_t>((static_cast<uint32_t>(n) * narrow_multiplier_) >> 16);
        return static_cast<uint8_t>(high >> narrow_shift_);
    }

private:
    uint64_t divisor_;
    uint32_t multiplier_;
    uint32_t shift_;
    bool fast_;
    uint16_t narrow_multiplier_;
    uint32_t narrow_shift_;
    bool narrow_;
};
