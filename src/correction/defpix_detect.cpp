#include "correction/defpix_detect.h"

#include <algorithm>
#include <new>
#include <vector>

#include "correction/defpix.h"
#include "lib/image.h"
#include "lib/log.h"
#include "run_state.h"

namespace {

// floor(n / d) for 0 <= n <= 255 × d, the range of a sum of d bytes, by one
// multiply and shift. With m = ceil(2^s / d) the error term n × (m d - 2^s)
// stays below 2^s as long as 2^s >= 255 d², so the quotient is exact; for
// d <= 2^23 both n and m fit in 32 bits.
class MeanDivider {
public:
    MeanDivider() : MeanDivider(1) {}
    explicit MeanDivider(uint64_t d) : divisor_(d), multiplier_(0), shift_(0), fast_(d <= (1u << 23))
    {
        if (!fast_) return;
        uint32_t bits = 0;
        while ((uint64_t{1} << bits) < d) ++bits;
        shift_ = 8 + 2 * bits;
        multiplier_ = static_cast<uint32_t>(((uint64_t{1} << shift_) + d - 1) / d);
    }

    bool fast() const { return fast_; }
    uint32_t multiplier() const { return multiplier_; }
    uint32_t shift() const { return shift_; }

    uint8_t operator()(uint64_t n) const
    {
        if (fast_) return static_cast<uint8_t>((n * multiplier_) >> shift_);
        return static_cast<uint8_t>(n / divisor_);
    }

private:
    uint64_t divisor_;
    uint32_t multiplier_;
    uint32_t shift_;
    bool fast_;
};

// The window of one direction over a line of n samples: position i covers
// [i + half - width + 1, i + half] clipped to [0, n).
class Window {
public:
    Window(int32_t width, int32_t n) : width_(std::max(width, 1)), half_(width_ / 2), n_(n)
    {
        interior_begin_ = clamp_to_line(int64_t{width_} - 1 - half_);
        interior_end_ = std::max(interior_begin_, clamp_to_line(int64_t{n_} - half_));
    }

    int32_t first(int32_t i) const
    {
        return static_cast<int32_t>(std::max<int64_t>(int64_t{i} + half_ - width_ + 1, 0));
    }
    int32_t last(int32_t i) const
    {
        return static_cast<int32_t>(std::min<int64_t>(int64_t{i} + half_, n_ - 1));
    }
    int32_t count(int32_t i) const { return last(i) - first(i) + 1; }

    // Positions whose window lies wholly inside the line: [begin, end).
    int32_t interior_begin() const { return interior_begin_; }
    int32_t interior_end() const { return interior_end_; }
    int32_t width() const { return width_; }
    int32_t half() const { return half_; }
    int32_t length() const { return n_; }

private:
    int32_t clamp_to_line(int64_t i) const
    {
        return static_cast<int32_t>(std::min<int64_t>(std::max<int64_t>(i, 0), n_));
    }

    int32_t width_;
    int32_t half_;
    int32_t n_;
    int32_t interior_begin_;
    int32_t interior_end_;
};

// Window means along each line, from the line's prefix sums. Positions near
// the ends have windows of their own sizes; the interior shares one.
template <typename Sum>
class LineMeans {
public:
    explicit LineMeans(const Window& window)
        : window_(window), prefix_(static_cast<size_t>(window.length()) + 1), dividers_(window.length())
    {
        for (int32_t i = 0; i < window.length(); ++i) dividers_[i] = MeanDivider(window.count(i));
    }

    void run(const uint8_t* line, uint8_t* means)
    {
        const int32_t n = window_.length();
        Sum* prefix = prefix_.data();
        prefix[0] = 0;
        for (int32_t k = 0; k < n; ++k) prefix[k + 1] = prefix[k] + line[k];
        border(means, 0, window_.interior_begin());
        interior(means);
        border(means, window_.interior_end(), n);
    }

private:
    void border(uint8_t* means, int32_t begin, int32_t end) const
    {
        for (int32_t i = begin; i < end; ++i)
            means[i] = dividers_[i](prefix_[window_.last(i) + 1] - prefix_[window_.first(i)]);
    }

    void interior(uint8_t* means) const
    {
        const int32_t begin = window_.interior_begin();
        const int32_t end = window_.interior_end();
        if (begin >= end) return;
        const int32_t enter = window_.half() + 1;
        const int32_t leave = window_.half() + 1 - window_.width();
        const Sum* prefix = prefix_.data();
        const MeanDivider& divider = dividers_[begin];
        if (divider.fast()) {
            const uint64_t m = divider.multiplier();
            const uint32_t s = divider.shift();
            for (int32_t i = begin; i < end; ++i) {
                const uint32_t sum = static_cast<uint32_t>(prefix[i + enter] - prefix[i + leave]);
                means[i] = static_cast<uint8_t>((sum * m) >> s);
            }
        } else {
            for (int32_t i = begin; i < end; ++i) means[i] = divider(prefix[i + enter] - prefix[i + leave]);
        }
    }

    const Window& window_;
    std::vector<Sum> prefix_;
    std::vector<MeanDivider> dividers_;
};

// Whether a pixel is an outlier depends on p - m only, and p, m lie in 0..255:
// any threshold beyond ±256 acts like ±256, and the comparisons stay in range.
int32_t effective_threshold(int32_t t)
{
    return std::min(std::max(t, -256), 256);
}

void threshold_line(uint8_t* pixels, const uint8_t* means, int32_t n, int32_t t)
{
    for (int32_t x = 0; x < n; ++x) {
        const int32_t p = pixels[x];
        const int32_t m = means[x];
        pixels[x] = (p < m - t || p > m + t) ? 255 : 0;
    }
}

// Horizontal means are made row by row as rows enter the vertical window and
// kept in a ring only as long as they are inside it; the vertical pass keeps
// one running sum per column, and each finished row is thresholded at once.
// The image row is read by the horizontal pass before it is overwritten.
template <typename Sum>
void filter_rows(ImageBW& image, int32_t wh, int32_t wv, int32_t t)
{
    const int32_t W = static_cast<int32_t>(image.width());
    const int32_t H = static_cast<int32_t>(image.height());
    uint8_t* pixels = image.data();
    const Window across(wh, W);
    const Window down(wv, H);
    LineMeans<Sum> line_means(across);

    const int64_t ring_rows = std::min<int64_t>(H, int64_t{down.width()} + 1);
    std::vector<uint8_t> ring(static_cast<size_t>(ring_rows) * W);
    auto ring_row = [&](int32_t y) { return ring.data() + static_cast<size_t>(y % ring_rows) * W; };

    std::vector<Sum> column_sums(W, 0);
    std::vector<uint8_t> means(W);
    int32_t entered = 0;
    int32_t left = 0;
    t = effective_threshold(t);

    for (int32_t y = 0; y < H; ++y) {
        for (; left < down.first(y); ++left) {
            const uint8_t* row = ring_row(left);
            for (int32_t x = 0; x < W; ++x) column_sums[x] -= row[x];
        }
        for (; entered <= down.last(y); ++entered) {
            uint8_t* row = ring_row(entered);
            line_means.run(pixels + static_cast<size_t>(entered) * W, row);
            for (int32_t x = 0; x < W; ++x) column_sums[x] += row[x];
        }
        const MeanDivider divider(down.count(y));
        for (int32_t x = 0; x < W; ++x) means[x] = divider(column_sums[x]);
        threshold_line(pixels + static_cast<size_t>(y) * W, means.data(), W, t);
    }
}

void report_outliers(const ImageBW& mask, const FloatMap& mean_image, DefpixTable& table)
{
    const int32_t W = static_cast<int32_t>(mask.width());
    const int32_t H = static_cast<int32_t>(mask.height());
    const uint8_t* pixels = mask.data();
    int32_t found = 0;
    for (int32_t y = 0; y < H; ++y) {
        const uint8_t* row = pixels + static_cast<size_t>(y) * W;
        for (int32_t x = 0; x < W; ++x) {
            if (row[x] == 0) continue;
            console_print("%d, %d, %.1f\n", x, y, static_cast<double>(mean_image.get(x, y)));
            table.defpix_add(x, y, 0);
            ++found;
        }
    }
    console_print("defect count %d\n", found);
}

void take_settings(RunState& state, std::optional<int32_t> threshold, std::optional<int32_t> width)
{
    if (threshold) state.lt_v = *threshold;
    if (!width) return;
    if (*width > 0)
        state.lt_w = *width;
    else
        console_print("invalid width %d, using %d\n", *width, state.lt_w);
}

void detect_defects(RunState& state)
{
    FloatMap& accum = *state.img_accum;
    accum.scale(1.0f / static_cast<float>(state.img_count));
    console_print("lt_v %d, lt_w %d\n", state.lt_v, state.lt_w);
    console_print("mean brightness %lf\n", static_cast<double>(accum.mean()));
    std::unique_ptr<ImageBW> mask = accum.to_image();
    box_filter_threshold(*mask, state.lt_w, state.lt_w, state.lt_v);
    report_outliers(*mask, accum, state.defpix_table);
}

}  // namespace

void box_filter_threshold(ImageBW& image, int32_t wh, int32_t wv, int32_t t)
{
    if (image.width() == 0 || image.height() == 0) return;
    // Sums of up to 2^24 bytes fit 32 bits; only absurdly long lines need more.
    if (std::max(image.width(), image.height()) < (1u << 24))
        filter_rows<uint32_t>(image, wh, wv, t);
    else
        filter_rows<uint64_t>(image, wh, wv, t);
}

void create_defpix_map(RunState& state, std::optional<int32_t> threshold, std::optional<int32_t> width)
{
    console_print("create_defpix_map()\n");
    take_settings(state, threshold, width);
    if (state.img_count <= 0 || !state.img_accum) {
        console_print("create_defpix_map failed, no image\n");
    } else {
        try {
            detect_defects(state);
        } catch (const std::bad_alloc&) {
            console_print("create_defpix_map failed, out of memory\n");
        }
    }
    state.img_accum.reset();
    state.img_count = 0;
}
