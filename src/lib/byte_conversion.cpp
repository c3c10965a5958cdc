#include "lib/byte_conversion.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr float largest_whole = 16777216.0f;

// Bounded first, so that the conversion is defined; a NaN, an infinity or a
// value out of range then differs from its whole number.
inline bool whole_number(float value, int32_t& whole)
{
    whole = static_cast<int32_t>(std::min(std::max(-largest_whole, value), largest_whole));
    return static_cast<float>(whole) == value;
}

#if defined(__SSE2__)
// max and min in this operand order give clamped_byte's results: MAXPS and
// MINPS return their second operand when either is NaN.
inline __m128i clamped_words(__m128 value, __m128 zero, __m128 top)
{
    return _mm_cvttps_epi32(_mm_min_ps(_mm_max_ps(value, zero), top));
}

inline __m128i bytes_of(__m128i a, __m128i b, __m128i c, __m128i d)
{
    return _mm_packus_epi16(_mm_packs_epi32(a, b), _mm_packs_epi32(c, d));
}

// Sixteen values times f, clamped to 0..255 and truncated, as bytes.
inline __m128i scaled_16_bytes(const float* v, __m128 f, __m128 zero, __m128 top)
{
    const __m128i a = clamped_words(_mm_mul_ps(_mm_loadu_ps(v), f), zero, top);
    const __m128i b = clamped_words(_mm_mul_ps(_mm_loadu_ps(v + 4), f), zero, top);
    const __m128i c = clamped_words(_mm_mul_ps(_mm_loadu_ps(v + 8), f), zero, top);
    const __m128i d = clamped_words(_mm_mul_ps(_mm_loadu_ps(v + 12), f), zero, top);
    return bytes_of(a, b, c, d);
}

// What the vector part of sum_bytes_and_total keeps across runs of 16 sums.
struct WholeRuns {
    __m128 f;
    __m128 zero;
    __m128 top;
    __m128 magnitude;
    __m128i shift_count;
    // Lanes set where a sum was no whole number.
    __m128 strays;
    // The largest magnitude of any sum.
    __m128 largest;
};

// Sixteen sums to bytes, their whole parts added to `lanes`. A sum that is no
// whole number differs from the float of its truncation (a NaN, an infinity
// and any sum beyond 32 bits convert to -2^31); one beyond ±2^24 shows in the
// largest magnitude.
inline void run_of_16(const float* sums, WholeRuns& runs, __m128i& lanes, uint8_t* bytes)
{
    __m128i whole_sums[4];
    __m128 stray = _mm_setzero_ps();
    for (int k = 0; k < 4; ++k) {
        const __m128 v = _mm_loadu_ps(sums + 4 * k);
        whole_sums[k] = _mm_cvttps_epi32(v);
        stray = _mm_or_ps(stray, _mm_cmpneq_ps(_mm_cvtepi32_ps(whole_sums[k]), v));
        runs.largest = _mm_max_ps(runs.largest, _mm_and_ps(v, runs.magnitude));
        lanes = _mm_add_epi32(lanes, whole_sums[k]);
    }
    __m128i words[4];
    if (_mm_movemask_ps(stray) == 0) {
        // A whole sum s times 2^-shift, truncated, is s shifted right (a
        // negative one stays negative, as the packing's clamp needs); the
        // packing saturates to 0..255.
        for (int k = 0; k < 4; ++k) words[k] = _mm_sra_epi32(whole_sums[k], runs.shift_count);
    } else {
        for (int k = 0; k < 4; ++k)
            words[k] =
                clamped_words(_mm_mul_ps(_mm_loadu_ps(sums + 4 * k), runs.f), runs.zero, runs.top);
        runs.strays = _mm_or_ps(runs.strays, stray);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(bytes),
                     bytes_of(words[0], words[1], words[2], words[3]));
}

// sum_bytes_and_total over the whole runs of 16 sums from the start: gives
// how many sums it took, adds their total to `total` and says in `whole`
// whether every one was a whole number within ±2^24.
int32_t whole_runs_of_16(const float* sums, int32_t shift, float factor, int32_t n, uint8_t* bytes,
                         int64_t& total, bool& whole)
{
    WholeRuns runs{_mm_set1_ps(factor),      _mm_setzero_ps(),
                   _mm_set1_ps(255.0f),      _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF)),
                   _mm_cvtsi32_si128(shift), _mm_setzero_ps(),
                   _mm_setzero_ps()};
    // Each lane adds at most 64 sums of at most 2^24 before it is emptied;
    // beyond, it may wrap, but then the total is not used.
    constexpr int32_t piece = 256;
    int32_t i = 0;
    while (i + 16 <= n) {
        const int32_t end = std::min(n, i + piece) - 15;
        __m128i lanes = _mm_setzero_si128();
        for (; i < end; i += 16) run_of_16(sums + i, runs, lanes, bytes + i);
        int32_t lane[4];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(lane), lanes);
        total += int64_t{lane[0]} + lane[1] + lane[2] + lane[3];
    }
    float largest_lane[4];
    _mm_storeu_ps(largest_lane, runs.largest);
    whole = _mm_movemask_ps(runs.strays) == 0 &&
            std::max(std::max(largest_lane[0], largest_lane[1]),
                     std::max(largest_lane[2], largest_lane[3])) <= largest_whole;
    return i;
}
#endif

}  // namespace

void scaled_bytes(const float* values, float factor, int32_t n, uint8_t* bytes)
{
    int32_t i = 0;
#if defined(__SSE2__)
    const __m128 f = _mm_set1_ps(factor);
    const __m128 zero = _mm_setzero_ps();
    const __m128 top = _mm_set1_ps(255.0f);
    for (; i + 16 <= n; i += 16)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(bytes + i),
                         scaled_16_bytes(values + i, f, zero, top));
#endif
    for (; i < n; ++i) bytes[i] = clamped_byte(values[i] * factor);
}

void multiplied_bytes(const uint8_t* pixels, const float* gains, int32_t n, uint8_t* out)
{
    int32_t i = 0;
#if defined(__SSE2__)
    const __m128i none = _mm_setzero_si128();
    const __m128 zero = _mm_setzero_ps();
    const __m128 top = _mm_set1_ps(255.0f);
    for (; i + 16 <= n; i += 16) {
        const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + i));
        const __m128i low = _mm_unpacklo_epi8(p, none);
        const __m128i high = _mm_unpackhi_epi8(p, none);
        const float* g = gains + i;
        auto product = [&](__m128i words, const float* gain) {
            return clamped_words(_mm_mul_ps(_mm_cvtepi32_ps(words), _mm_loadu_ps(gain)), zero, top);
        };
        const __m128i a = product(_mm_unpacklo_epi16(low, none), g);
        const __m128i b = product(_mm_unpackhi_epi16(low, none), g + 4);
        const __m128i c = product(_mm_unpacklo_epi16(high, none), g + 8);
        const __m128i d = product(_mm_unpackhi_epi16(high, none), g + 12);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), bytes_of(a, b, c, d));
    }
#endif
    for (; i < n; ++i) out[i] = clamped_byte(static_cast<float>(pixels[i]) * gains[i]);
}

bool sum_bytes_and_total(const float* sums, int32_t shift, int32_t n, uint8_t* bytes,
                         int64_t& total)
{
    const float factor = 1.0f / static_cast<float>(int64_t{1} << shift);
    int32_t i = 0;
    bool whole = true;
#if defined(__SSE2__)
    i = whole_runs_of_16(sums, shift, factor, n, bytes, total, whole);
#endif
    for (; i < n; ++i) {
        bytes[i] = clamped_byte(sums[i] * factor);
        int32_t q = 0;
        whole = whole_number(sums[i], q) && whole;
        total += q;
    }
    return whole;
}

void add_scaled_sums_of_16(const float* values, float factor, int32_t n, uint32_t* sums)
{
    int32_t i = 0;
#if defined(__SSE2__)
    const __m128 f = _mm_set1_ps(factor);
    const __m128 zero = _mm_setzero_ps();
    const __m128 top = _mm_set1_ps(255.0f);
    for (; i + 16 <= n; i += 16) {
        // Two sums of eight bytes each.
        const __m128i halves =
            _mm_sad_epu8(scaled_16_bytes(values + i, f, zero, top), _mm_setzero_si128());
        sums[i / 16] += static_cast<uint32_t>(_mm_cvtsi128_si32(halves)) +
                        static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(halves, 8)));
    }
#endif
    for (; i < n; ++i) sums[i / 16] += clamped_byte(values[i] * factor);
}
