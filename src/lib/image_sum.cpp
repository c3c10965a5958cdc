#include "lib/image_sum.h"

#include <algorithm>

#include "lib/byte_conversion.h"
#include "platform/memory_advice.h"

namespace {

// M's mean is a double sum of its floats in index order, a chain of 26
// million dependent adds for a 5120 x 5120 sensor. When the count is 2^k and
// every value of the sum is a whole number s with |s| <= 2^24, M's values
// are exactly s × 2^-k; with at most 2^29 of them, every partial sum in any
// order is a whole number below 2^53 times 2^-k, which a double holds
// exactly: no add rounds, and the ordered sum equals the integer total of
// the s times 2^-k. The mean of up to 2^16 8-bit images always qualifies;
// other data falls back to the ordered sum.
constexpr int32_t most_totalled_values = 1 << 29;

// k for a count of 2^k, -1 for any other count.
int32_t power_of_two(int32_t n)
{
    if (n <= 0 || (n & (n - 1)) != 0) return -1;
    int32_t k = 0;
    while ((int32_t{1} << k) < n) ++k;
    return k;
}

// Images at least this large are worth the large-page hint.
constexpr size_t large_image_bytes = size_t(8) << 20;

}  // namespace

MeanImage::MeanImage(ImageSum images)
    : sum_(std::move(images.sum)),
      factor_(1.0f / static_cast<float>(images.count)),
      count_shift_(power_of_two(images.count))
{
}

std::unique_ptr<ImageBW> MeanImage::grey() const
{
    std::unique_ptr<ImageBW> image(new ImageBW(width(), height()));
    const size_t bytes = static_cast<size_t>(sum_->count());
    // Before the first touch, as for the float maps.
    if (bytes >= large_image_bytes) platform::advise_large_block(image->data(), bytes);
    std::vector<LineTotal> total(1);
    for (int32_t y = 0; y < height(); ++y)
        make_grey_line(y, image->data() + static_cast<size_t>(width()) * y,
                       total_known_ ? nullptr : &total[0]);
    if (!total_known_) take_line_totals(total);
    return image;
}

float MeanImage::value(int32_t x, int32_t y) const
{
    // Outside the map get() gives 0.0, which scales to 0.0.
    return sum_->get(x, y) * factor_;
}

float MeanImage::mean() const
{
    const double count = static_cast<double>(sum_->count());
    if (total_known_) {
        // Both factors and their product are exact.
        const double sum = static_cast<double>(total_sum_) * static_cast<double>(factor_);
        return static_cast<float>(sum / count);
    }
    // FloatMap::mean() of the scaled map: each product rounded to float,
    // then added in index order.
    const float* source = sum_->data();
    double sum = 0.0;
    for (int32_t i = 0; i < sum_->count(); ++i) sum += source[i] * factor_;
    return static_cast<float>(sum / count);
}

void MeanImage::add_grey_line_sums_of_16(int32_t y, uint32_t* sums) const
{
    add_scaled_sums_of_16(sum_->data() + static_cast<size_t>(width()) * y, factor_, width(), sums);
}

void MeanImage::make_grey_line(int32_t y, uint8_t* line, LineTotal* total) const
{
    const float* values = sum_->data() + static_cast<size_t>(width()) * y;
    if (total && total->whole && count_shift_ >= 0 && sum_->count() <= most_totalled_values) {
        total->whole = sum_bytes_and_total(values, count_shift_, width(), line, total->sum);
        ++total->lines;
        return;
    }
    if (total) total->whole = false;
    scaled_bytes(values, factor_, width(), line);
}

void MeanImage::take_line_totals(const std::vector<LineTotal>& totals) const
{
    int64_t sum = 0;
    int64_t lines = 0;
    for (const LineTotal& total : totals) {
        if (!total.whole) return;
        sum += total.sum;
        lines += total.lines;
    }
    if (lines != height()) return;
    total_known_ = true;
    total_sum_ = sum;
}
