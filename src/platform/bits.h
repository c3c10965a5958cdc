// Bit scans, which compilers offer as built-ins of their own; elsewhere a
// portable form of the same.
#pragma once

#include <cstdint>

namespace platform {

// The index of the lowest set bit of a word that is not 0, by halving the
// part of the word that can still hold it.
constexpr int32_t lowest_set_bit_by_halves(uint64_t word)
{
    int32_t bit = 0;
    for (int32_t half = 32; half > 0; half /= 2) {
        const uint64_t low = (uint64_t{1} << half) - 1;
        if ((word & low) == 0) {
            bit += half;
            word >>= half;
        }
    }
    return bit;
}

// The same in one instruction where the compiler has one.
inline int32_t lowest_set_bit(uint64_t word)
{
#if defined(__GNUC__)
    return __builtin_ctzll(word);
#else
    return lowest_set_bit_by_halves(word);
#endif
}

}  // namespace platform
