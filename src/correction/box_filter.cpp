#include "correction/box_filter.h"

#include <algorithm>
#include <type_traits>
#include <vector>

#include "correction/mean_divider.h"
#include "lib/image.h"

namespace {

// (n × m) >> 16 >> Shift: the narrow form of MeanDivider, written so that a
// line of it becomes a vector multiply-high. The shift is a constant so that
// it, too, stays within 16-bit lanes.
template <uint32_t Shift>
inline uint8_t narrow_quotient(uint16_t n, uint16_t m)
{
    const uint16_t high = static_cast<uint16_t>((static_cast<uint32_t>(n) * m) >> 16);
    return static_cast<uint8_t>(static_cast<uint16_t>(high >> Shift));
}

// Calls `loop` with the shift as a compile-time constant (0 to 15).
template <uint32_t Shift = 0, typename Loop>
void with_constant_shift(uint32_t shift, Loop loop)
{
    if constexpr (Shift < 16) {
        if (shift == Shift)
            loop(std::integral_constant<uint32_t, Shift>());
        else
            with_constant_shift<Shift + 1>(shift, loop);
    }
}

template <typename Sum>
struct SumType {
    using type = Sum;
};

// Calls body(SumType<Sum>()) with the narrowest unsigned Sum that holds a
// sum of `count` bytes exactly. Running sums and prefix differences only
// need the window's sum to fit: wrapping arithmetic gives the right
// difference.
template <typename Body>
void with_sum_for(int32_t count, Body body)
{
    if (static_cast<uint64_t>(count) <= MeanDivider::max_narrow_count)
        body(SumType<uint16_t>());
    else if (count < (1 << 24))
        body(SumType<uint32_t>());
    else
        body(SumType<uint64_t>());
}

// prefix[k] = line[0] + ... + line[k - 1]. The running total waits for one
// add per four bytes; the sums inside each group of four do not wait for it.
template <typename Sum>
void running_sums(const uint8_t* line, int32_t n, Sum* prefix)
{
    Sum sum = 0;
    prefix[0] = 0;
    int32_t k = 0;
    for (; k + 4 <= n; k += 4) {
        const Sum a = line[k];
        const Sum ab = static_cast<Sum>(a + line[k + 1]);
        const Sum abc = static_cast<Sum>(ab + line[k + 2]);
        const Sum abcd = static_cast<Sum>(abc + line[k + 3]);
        prefix[k + 1] = static_cast<Sum>(sum + a);
        prefix[k + 2] = static_cast<Sum>(sum + ab);
        prefix[k + 3] = static_cast<Sum>(sum + abc);
        prefix[k + 4] = sum = static_cast<Sum>(sum + abcd);
    }
    for (; k < n; ++k) prefix[k + 1] = sum = static_cast<Sum>(sum + line[k]);
}

// Window means along each line, from the line's prefix sums. Positions near
// the ends have windows of their own sizes; the interior shares one.
template <typename Sum>
class LineMeans {
public:
    explicit LineMeans(const Window& window)
        : window_(window),
          prefix_(static_cast<size_t>(window.length()) + 1),
          dividers_(window.length())
    {
        for (int32_t i = 0; i < window.length(); ++i) dividers_[i] = MeanDivider(window.count(i));
    }

    void run(const uint8_t* line, uint8_t* means)
    {
        const int32_t n = window_.length();
        running_sums(line, n, prefix_.data());
        border(means, 0, window_.interior_begin());
        interior(means);
        border(means, window_.interior_end(), n);
    }

private:
    Sum window_sum(int32_t enter, int32_t leave) const
    {
        return static_cast<Sum>(prefix_[enter] - prefix_[leave]);
    }

    void border(uint8_t* means, int32_t begin, int32_t end) const
    {
        for (int32_t i = begin; i < end; ++i)
            means[i] = dividers_[i](window_sum(window_.last(i) + 1, window_.first(i)));
    }

    void interior(uint8_t* means) const
    {
        const int32_t begin = window_.interior_begin();
        const int32_t n = window_.interior_end() - begin;
        if (n <= 0) return;
        // Local pointers: stores through a byte pointer could otherwise alias
        // the members and keep the loops from vectorising.
        const Sum* entering = prefix_.data() + begin + window_.half() + 1;
        const Sum* leaving = entering - window_.width();  // begin >= width - 1 - half
        uint8_t* out = means + begin;
        const MeanDivider& divider = dividers_[begin];
        if constexpr (sizeof(Sum) == 2) {
            if (divider.narrow()) {
                const uint16_t m = divider.narrow_multiplier();
                with_constant_shift(divider.narrow_shift(), [=](auto shift) {
                    for (int32_t i = 0; i < n; ++i)
                        out[i] = narrow_quotient<shift()>(
                            static_cast<uint16_t>(entering[i] - leaving[i]), m);
                });
                return;
            }
        }
        if (divider.fast()) {
            const uint64_t m = divider.multiplier();
            const uint32_t s = divider.shift();
            for (int32_t i = 0; i < n; ++i) {
                const uint32_t sum =
                    static_cast<uint32_t>(static_cast<Sum>(entering[i] - leaving[i]));
                out[i] = static_cast<uint8_t>((sum * m) >> s);
            }
        } else {
            for (int32_t i = 0; i < n; ++i)
                out[i] = divider(static_cast<Sum>(entering[i] - leaving[i]));
        }
    }

    const Window& window_;
    std::vector<Sum> prefix_;
    std::vector<MeanDivider> dividers_;
};

// One row of the vertical pass: the column sums take in the entering row of
// horizontal means and drop the leaving one, and each window mean is handed
// to emit(x, mean) at once.
template <typename Sum, typename Emit>
void advance_row(Sum* column_sums, const uint8_t* entering, const uint8_t* leaving,
                 const MeanDivider& divider, int32_t n, Emit emit)
{
    if constexpr (sizeof(Sum) == 2) {
        if (divider.narrow()) {
            const uint16_t m = divider.narrow_multiplier();
            with_constant_shift(divider.narrow_shift(), [=](auto shift) {
                for (int32_t x = 0; x < n; ++x) {
                    const uint16_t sum =
                        static_cast<uint16_t>(column_sums[x] + entering[x] - leaving[x]);
                    column_sums[x] = sum;
                    emit(x, narrow_quotient<shift()>(sum, m));
                }
            });
            return;
        }
    }
    for (int32_t x = 0; x < n; ++x) {
        const Sum sum = static_cast<Sum>(column_sums[x] + entering[x] - leaving[x]);
        column_sums[x] = sum;
        emit(x, divider(sum));
    }
}

// Horizontal means are made row by row as rows enter the vertical window and
// kept in a ring only while they are inside it; the vertical pass keeps one
// running sum per column, and each row is finished at once by
// finish(y, column_sums, entering, leaving, divider). Rows [y_begin, y_end)
// are finished, in the order FilterRows describes.
template <typename Sum, typename Rows, typename Across, typename Finish>
void filter_rows(Rows& rows, Across& line_means, const Window& across, const Window& down,
                 int32_t y_begin, int32_t y_end, Finish finish)
{
    const int32_t W = across.length();
    const int64_t ring_rows = std::min<int64_t>(down.length(), int64_t{down.width()} + 1);
    std::vector<uint8_t> ring(static_cast<size_t>(ring_rows) * W);
    auto ring_row = [&](int32_t y) { return ring.data() + static_cast<size_t>(y % ring_rows) * W; };
    const std::vector<uint8_t> nothing(W, 0);

    std::vector<Sum> column_sums(W, 0);
    int32_t entered = down.first(y_begin);
    int32_t left = entered;
    for (; entered < down.last(y_begin); ++entered) {
        uint8_t* row = ring_row(entered);
        line_means.run(rows.take(entered), row);
        for (int32_t x = 0; x < W; ++x) column_sums[x] = static_cast<Sum>(column_sums[x] + row[x]);
    }
    for (int32_t y = y_begin; y < y_end; ++y) {
        const uint8_t* leaving = nothing.data();
        if (left < down.first(y)) leaving = ring_row(left++);
        const uint8_t* entering = nothing.data();
        if (entered <= down.last(y)) {
            uint8_t* row = ring_row(entered);
            line_means.run(rows.take(entered++), row);
            entering = row;
        }
        finish(y, column_sums.data(), entering, leaving, MeanDivider(down.count(y)));
    }
}

// filter_rows with the narrowest sums that hold a window, across and down.
template <typename Rows, typename Finish>
void filter_with(Rows& rows, const Window& across, const Window& down, int32_t y_begin,
                 int32_t y_end, Finish finish)
{
    with_sum_for(across.largest_count(), [&](auto across_sum) {
        LineMeans<typename decltype(across_sum)::type> line_means(across);
        with_sum_for(down.largest_count(), [&](auto down_sum) {
            filter_rows<typename decltype(down_sum)::type>(rows, line_means, across, down, y_begin,
                                                           y_end, finish);
        });
    });
}

// An image turned into its mask in place.
class ImageRows : public FilterRows {
public:
    explicit ImageRows(ImageBW& image) : pixels_(image.data()), width_(image.width()) {}

    const uint8_t* take(int32_t y) override { return row(y); }
    uint8_t* finish(int32_t y) override { return row(y); }
    void finished(int32_t) override {}

private:
    uint8_t* row(int32_t y) const { return pixels_ + static_cast<size_t>(y) * width_; }

    uint8_t* pixels_;
    size_t width_;
};

// The rows of an image that is only read: filter_rows takes nothing else.
class ReadRows {
public:
    explicit ReadRows(const ImageBW& image) : pixels_(image.data()), width_(image.width()) {}
    const uint8_t* take(int32_t y) const { return pixels_ + static_cast<size_t>(y) * width_; }

private:
    const uint8_t* pixels_;
    size_t width_;
};

}  // namespace

void OutlierRule::kinds(const uint8_t* pixels, const uint8_t* means, int32_t n,
                        uint8_t* kinds) const
{
    const OutlierRule rule = *this;  // in registers, apart from the bytes stored
    for (int32_t x = 0; x < n; ++x) {
        const uint8_t p = pixels[x];
        const uint8_t m = means[x];
        kinds[x] = static_cast<uint8_t>(rule.bright(p, m) * outlier_bright +
                                        rule.dark(p, m) * outlier_dark);
    }
}

void box_filter_rows(FilterRows& rows, const Window& across, const Window& down, int32_t t,
                     int32_t y_begin, int32_t y_end)
{
    const OutlierRule rule(t);
    const int32_t W = across.length();
    filter_with(rows, across, down, y_begin, y_end,
                [&](int32_t y, auto* column_sums, const uint8_t* entering, const uint8_t* leaving,
                    const MeanDivider& divider) {
                    uint8_t* pixels = rows.finish(y);
                    advance_row(
                        column_sums, entering, leaving, divider, W,
                        [=](int32_t x, uint8_t mean) { pixels[x] = rule.mask(pixels[x], mean); });
                    rows.finished(y);
                });
}

void box_filter_threshold(ImageBW& image, int32_t wh, int32_t wv, int32_t t)
{
    if (image.width() == 0 || image.height() == 0) return;
    const Window across(wh, static_cast<int32_t>(image.width()));
    const Window down(wv, static_cast<int32_t>(image.height()));
    ImageRows rows(image);
    box_filter_rows(rows, across, down, t, 0, down.length());
}

void box_filter_means(const ImageBW& image, int32_t wh, int32_t wv, const RowMeansVisitor& visit)
{
    if (image.width() == 0 || image.height() == 0) return;
    const Window across(wh, static_cast<int32_t>(image.width()));
    const Window down(wv, static_cast<int32_t>(image.height()));
    ReadRows rows(image);
    const int32_t W = across.length();
    std::vector<uint8_t> means(static_cast<size_t>(W));
    uint8_t* out = means.data();
    filter_with(rows, across, down, 0, down.length(),
                [&](int32_t y, auto* column_sums, const uint8_t* entering, const uint8_t* leaving,
                    const MeanDivider& divider) {
                    advance_row(column_sums, entering, leaving, divider, W,
                                [=](int32_t x, uint8_t mean) { out[x] = mean; });
                    visit(y, rows.take(y), out, W);
                });
}
