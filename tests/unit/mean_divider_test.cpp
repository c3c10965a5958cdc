#include "correction/mean_divider.h"

#include <gtest/gtest.h>

namespace {

// Every sum a window of up to 257 bytes can have, in both forms.
TEST(MeanDivider, ExactForEveryNarrowCountAndSum)
{
    int32_t narrow_counts = 0;
    for (uint64_t d = 1; d <= MeanDivider::max_narrow_count; ++d) {
        const MeanDivider divider(d);
        ASSERT_TRUE(divider.fast());
        narrow_counts += divider.narrow() ? 1 : 0;
        for (uint64_t n = 0; n <= 255 * d; ++n) {
            ASSERT_EQ(divider(n), n / d) << n << " / " << d;
            if (divider.narrow()) {
                ASSERT_EQ(divider.narrow_divide(static_cast<uint16_t>(n)), n / d)
                    << n << " / " << d;
            }
        }
    }
    // The default window of 128 and most small ones take the vector form.
    EXPECT_TRUE(MeanDivider(128).narrow());
    EXPECT_GT(narrow_counts, 200);
}

// Wider windows: the sums next to every multiple boundary that matters.
TEST(MeanDivider, ExactAtQuotientBoundariesForWideCounts)
{
    for (uint64_t d = 258; d <= (uint64_t{1} << 24); d = d < 70000 ? d + 1 : d + d / 97) {
        const MeanDivider divider(d);
        EXPECT_EQ(divider.fast(), d <= MeanDivider::max_fast_count);
        for (uint64_t q : {uint64_t{0}, uint64_t{1}, uint64_t{127}, uint64_t{254}}) {
            ASSERT_EQ(divider(q * d + d - 1), q) << d;
            ASSERT_EQ(divider((q + 1) * d), q + 1) << d;
        }
        ASSERT_EQ(divider(255 * d), 255u) << d;
    }
}

}  // namespace
