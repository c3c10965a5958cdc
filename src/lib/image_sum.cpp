#include "lib/image_sum.h"

#include <algorithm>

#include "lib/byte_conversion.h"

namespace {

// M's mean is a double sum of its floats in index order, a chain of 26
// million dependent adds for a 5120 x 5120 sensor. When every value is a
// whole number q of units of 2^-16 with |q| <= 2^24, and there are at most
// 2^29 values, every partial sum in any order is a whole number of units
// below 2^53 of them: a double holds each exactly, so no add rounds and the
// ordered sum equals the integer total of the q. The mean of 2^k 8-bit images
// (k <= 16) always qualifies; other data falls back to the ordered sum.
constexpr int32_t most_totalled_values = 1 << 29;
constexpr double units_per_one = 65536.0;

// The totals read again what the bytes have just read, while it is cached.
constexpr int32_t piece_values = 16384;

}  // namespace

MeanImage::MeanImage(ImageSum images)
    : values_(std::move(images.sum)), factor_(1.0f / static_cast<float>(images.count))
{
}

const FloatMap& MeanImage::values() const
{
    if (!scaled_) {
        values_->scale(factor_);
        scaled_ = true;
    }
    return *values_;
}

std::unique_ptr<ImageBW> MeanImage::grey() const
{
    std::unique_ptr<ImageBW> image(new ImageBW(width(), height()));
    // Once scaled, the values are M itself; multiplying by 1 leaves every
    // float as it is.
    const float factor = scaled_ ? 1.0f : factor_;
    const int32_t count = values_->count();
    if (total_known_ || count > most_totalled_values) {
        scaled_bytes(values_->data(), factor, count, image->data());
        return image;
    }
    const float* values = values_->data();
    uint8_t* bytes = image->data();
    bool whole = true;
    int64_t units = 0;
    for (int32_t first = 0; first < count; first += piece_values) {
        const int32_t n = std::min(piece_values, count - first);
        scaled_bytes(values + first, factor, n, bytes + first);
        whole = whole && add_whole_units(values + first, factor, n, units);
    }
    total_known_ = whole;
    total_units_ = units;
    return image;
}

float MeanImage::value(int32_t x, int32_t y) const
{
    // Outside the map get() gives 0.0, which scales to 0.0.
    const float v = values_->get(x, y);
    return scaled_ ? v : v * factor_;
}

float MeanImage::mean() const
{
    const double count = static_cast<double>(values_->count());
    if (total_known_)
        return static_cast<float>(static_cast<double>(total_units_) / units_per_one / count);
    if (scaled_) return values_->mean();
    // FloatMap::mean() of the scaled map: each product rounded to float,
    // then added in index order.
    const float* source = values_->data();
    double sum = 0.0;
    for (int32_t i = 0; i < values_->count(); ++i) sum += source[i] * factor_;
    return static_cast<float>(sum / count);
}

void MeanImage::grey_line(int32_t y, uint8_t* line) const
{
    const float factor = scaled_ ? 1.0f : factor_;
    scaled_bytes(values_->data() + static_cast<size_t>(width()) * y, factor, width(), line);
}
