#include "correction/defpix_detect.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <new>
#include <system_error>
#include <type_traits>
#include <vector>

#include "correction/defpix.h"
#include "correction/mean_divider.h"
#include "lib/float_map.h"
#include "lib/image.h"
#include "lib/image_sum.h"
#include "lib/log.h"
#include "lib/parallel.h"
#include "platform/workers.h"

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
    int32_t largest_count() const { return std::min(width_, n_); }

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

// Which unsigned type holds a sum of up to `count` bytes exactly. Running sums
// and prefix differences only need the window's sum to fit: wrapping
// arithmetic gives the right difference.
enum class SumWidth { bits16, bits32, bits64 };

SumWidth sum_width(int32_t count)
{
    if (static_cast<uint64_t>(count) <= MeanDivider::max_narrow_count) return SumWidth::bits16;
    if (count < (1 << 24)) return SumWidth::bits32;
    return SumWidth::bits64;
}

// Window means along each line, from the line's prefix sums. Positions near
// the ends have windows of their own sizes; the interior shares one.
class LineMeans {
public:
    virtual ~LineMeans() = default;
    virtual void run(const uint8_t* line, uint8_t* means) = 0;
};

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

template <typename Sum>
class LineMeansOf : public LineMeans {
public:
    explicit LineMeansOf(const Window& window)
        : window_(window),
          prefix_(static_cast<size_t>(window.length()) + 1),
          dividers_(window.length())
    {
        for (int32_t i = 0; i < window.length(); ++i) dividers_[i] = MeanDivider(window.count(i));
    }

    void run(const uint8_t* line, uint8_t* means) override
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
        if (sizeof(Sum) == 2 && divider.narrow()) {
            const uint16_t m = divider.narrow_multiplier();
            with_constant_shift(divider.narrow_shift(), [=](auto shift) {
                for (int32_t i = 0; i < n; ++i)
                    out[i] = narrow_quotient<shift()>(
                        static_cast<uint16_t>(entering[i] - leaving[i]), m);
            });
        } else if (divider.fast()) {
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

std::unique_ptr<LineMeans> make_line_means(const Window& window)
{
    switch (sum_width(window.largest_count())) {
    case SumWidth::bits16: return std::unique_ptr<LineMeans>(new LineMeansOf<uint16_t>(window));
    case SumWidth::bits32: return std::unique_ptr<LineMeans>(new LineMeansOf<uint32_t>(window));
    default: return std::unique_ptr<LineMeans>(new LineMeansOf<uint64_t>(window));
    }
}

// A pixel is an outlier when p < m - t or p > m + t. For t >= 0 that is
// |p - m| > t, and since p and m lie in 0..255 a threshold above 255 acts
// like 255; for t < 0 the two ranges cover every value. This keeps the
// comparison within bytes, a whole vector of them at a time.
struct Outliers {
    explicit Outliers(int32_t t)
        : all(t < 0), limit(static_cast<uint8_t>(std::min(std::max(t, 0), 255)))
    {
    }

    uint8_t operator()(uint8_t p, uint8_t m) const
    {
        const uint8_t distance = static_cast<uint8_t>(p > m ? p - m : m - p);
        return distance > limit ? 255 : 0;
    }

    bool all;
    uint8_t limit;
};

// One row of the vertical pass: the column sums take in the entering row of
// horizontal means and drop the leaving one, and each window mean is handed
// to emit(x, mean) at once.
template <typename Sum, typename Emit>
void advance_row(Sum* column_sums, const uint8_t* entering, const uint8_t* leaving,
                 const MeanDivider& divider, int32_t n, Emit emit)
{
    if (sizeof(Sum) == 2 && divider.narrow()) {
        const uint16_t m = divider.narrow_multiplier();
        with_constant_shift(divider.narrow_shift(), [=](auto shift) {
            for (int32_t x = 0; x < n; ++x) {
                const uint16_t sum =
                    static_cast<uint16_t>(column_sums[x] + entering[x] - leaving[x]);
                column_sums[x] = sum;
                emit(x, narrow_quotient<shift()>(sum, m));
            }
        });
    } else {
        for (int32_t x = 0; x < n; ++x) {
            const Sum sum = static_cast<Sum>(column_sums[x] + entering[x] - leaving[x]);
            column_sums[x] = sum;
            emit(x, divider(sum));
        }
    }
}

// The row's pixels compared with their window means as the row is advanced.
template <typename Sum>
void finish_row(Sum* column_sums, const uint8_t* entering, const uint8_t* leaving,
                const MeanDivider& divider, uint8_t* pixels, int32_t n, const Outliers& outlier)
{
    advance_row(column_sums, entering, leaving, divider, n,
                [=](int32_t x, uint8_t mean) { pixels[x] = outlier(pixels[x], mean); });
    if (outlier.all) std::memset(pixels, 255, static_cast<size_t>(n));
}

// The first marked pixel of row[x, n), or n. Most of a mask is 0, so it
// is passed over 32 bytes at a time.
size_t next_marked(const uint8_t* row, size_t x, size_t n)
{
    for (; x + 32 <= n; x += 32) {
        uint64_t words[4];
        std::memcpy(words, row + x, sizeof words);
        if ((words[0] | words[1] | words[2] | words[3]) != 0) break;
    }
    while (x < n && row[x] == 0) ++x;
    return x;
}

// An image turned into its mask in place.
class ImageRows {
public:
    explicit ImageRows(ImageBW& image) : pixels_(image.data()), width_(image.width()) {}

    // Row y for the horizontal pass; rows are taken once each, in order.
    const uint8_t* take(int32_t y) const { return row(y); }
    // Row y's pixels, to be compared with their window means and overwritten
    // by the mask; taken before.
    uint8_t* finish(int32_t y) const { return row(y); }
    // Row y of the mask is complete.
    void finished(int32_t) const {}

private:
    uint8_t* row(int32_t y) const { return pixels_ + static_cast<size_t>(y) * width_; }

    uint8_t* pixels_;
    size_t width_;
};

// Horizontal means are made row by row as rows enter the vertical window and
// kept in a ring only while they are inside it; the vertical pass keeps one
// running sum per column, and each row is finished at once by
// finish(y, column_sums, entering, leaving, divider). A row is read by the
// horizontal pass before it is finished, so finishing may overwrite it.
//
// Rows [y_begin, y_end) are finished; the rows above y_begin that their
// windows reach are taken only for their horizontal means, so that a part of
// the image is filtered as within the whole.
template <typename Sum, typename Rows, typename Finish>
void filter_rows(Rows& rows, const Window& across, const Window& down, int32_t y_begin,
                 int32_t y_end, Finish finish)
{
    const int32_t W = across.length();
    std::unique_ptr<LineMeans> line_means = make_line_means(across);

    const int64_t ring_rows = std::min<int64_t>(down.length(), int64_t{down.width()} + 1);
    std::vector<uint8_t> ring(static_cast<size_t>(ring_rows) * W);
    auto ring_row = [&](int32_t y) { return ring.data() + static_cast<size_t>(y % ring_rows) * W; };
    const std::vector<uint8_t> nothing(W, 0);

    std::vector<Sum> column_sums(W, 0);
    int32_t entered = down.first(y_begin);
    int32_t left = entered;
    for (; entered < down.last(y_begin); ++entered) {
        uint8_t* row = ring_row(entered);
        line_means->run(rows.take(entered), row);
        for (int32_t x = 0; x < W; ++x) column_sums[x] = static_cast<Sum>(column_sums[x] + row[x]);
    }
    for (int32_t y = y_begin; y < y_end; ++y) {
        const uint8_t* leaving = nothing.data();
        if (left < down.first(y)) leaving = ring_row(left++);
        const uint8_t* entering = nothing.data();
        if (entered <= down.last(y)) {
            uint8_t* row = ring_row(entered);
            line_means->run(rows.take(entered++), row);
            entering = row;
        }
        finish(y, column_sums.data(), entering, leaving, MeanDivider(down.count(y)));
    }
}

// Calls filter_rows with the narrowest running sum that holds a window.
template <typename Rows, typename Finish>
void filter_with(Rows& rows, const Window& across, const Window& down, int32_t y_begin,
                 int32_t y_end, Finish finish)
{
    switch (sum_width(down.largest_count())) {
    case SumWidth::bits16: filter_rows<uint16_t>(rows, across, down, y_begin, y_end, finish); break;
    case SumWidth::bits32: filter_rows<uint32_t>(rows, across, down, y_begin, y_end, finish); break;
    default: filter_rows<uint64_t>(rows, across, down, y_begin, y_end, finish); break;
    }
}

// Each row's pixels compared with their window means at once, and the row
// overwritten by its mask.
template <typename Rows>
void filter(Rows& rows, const Window& across, const Window& down, int32_t t, int32_t y_begin,
            int32_t y_end)
{
    const Outliers outlier(t);
    const int32_t W = across.length();
    filter_with(rows, across, down, y_begin, y_end,
                [&](int32_t y, auto* column_sums, const uint8_t* entering, const uint8_t* leaving,
                    const MeanDivider& divider) {
                    finish_row(column_sums, entering, leaving, divider, rows.finish(y), W, outlier);
                    rows.finished(y);
                });
}

// The window means of one row.
template <typename Sum>
void row_means(Sum* column_sums, const uint8_t* entering, const uint8_t* leaving,
               const MeanDivider& divider, uint8_t* means, int32_t n)
{
    advance_row(column_sums, entering, leaving, divider, n,
                [=](int32_t x, uint8_t mean) { means[x] = mean; });
}

// The rows of an image that is only read.
class ReadRows {
public:
    explicit ReadRows(const ImageBW& image) : pixels_(image.data()), width_(image.width()) {}
    const uint8_t* take(int32_t y) const { return pixels_ + static_cast<size_t>(y) * width_; }

private:
    const uint8_t* pixels_;
    size_t width_;
};

// The outliers of the mean image, one bit a pixel, row after row.
class OutlierMask {
public:
    OutlierMask(int32_t width, int32_t height)
        : words_per_row_((static_cast<size_t>(width) + 63) / 64),
          bits_(words_per_row_ * static_cast<size_t>(height), 0)
    {
    }

    void mark_row(int32_t y, const uint8_t* line, size_t width)
    {
        uint64_t* words = bits_.data() + words_per_row_ * static_cast<size_t>(y);
        for (size_t x = next_marked(line, 0, width); x < width; x = next_marked(line, x + 1, width))
            words[x / 64] |= uint64_t{1} << (x % 64);
    }

    const std::vector<uint64_t>& bits() const { return bits_; }
    size_t words_per_row() const { return words_per_row_; }

private:
    size_t words_per_row_;
    std::vector<uint64_t> bits_;
};

// The rows of one part of the filtering of the mean image: the bytes of M8
// are made a line at a time as the filter takes them, into a ring of the
// lines still to be finished, and each finished mask line is packed into
// the mask. No 8-bit image of the whole mean is kept. The lines the part
// finishes add up to its share of the mean's total.
class MeanLines {
public:
    MeanLines(const MeanImage& mean, const Window& down, int32_t y_begin, int32_t y_end,
              OutlierMask& mask)
        : mean_(mean),
          width_(static_cast<size_t>(mean.width())),
          y_begin_(y_begin),
          y_end_(y_end),
          ring_rows_(std::min<int64_t>(mean.height(), int64_t{down.half()} + 1)),
          ring_(static_cast<size_t>(ring_rows_) * width_),
          mask_(mask)
    {
    }

    const uint8_t* take(int32_t y)
    {
        uint8_t* line = slot(y);
        mean_.make_grey_line(y, line, y >= y_begin_ && y < y_end_ ? &total_ : nullptr);
        return line;
    }
    // Row y was taken before and stays in its slot until row y + ring_rows_
    // is taken, which happens only after row y is finished.
    uint8_t* finish(int32_t y) { return slot(y); }
    void finished(int32_t y) { mask_.mark_row(y, slot(y), width_); }

    const MeanImage::LineTotal& total() const { return total_; }

private:
    uint8_t* slot(int32_t y) { return ring_.data() + static_cast<size_t>(y % ring_rows_) * width_; }

    const MeanImage& mean_;
    size_t width_;
    int32_t y_begin_;
    int32_t y_end_;
    int64_t ring_rows_;
    std::vector<uint8_t> ring_;
    OutlierMask& mask_;
    MeanImage::LineTotal total_;
};

// Rows of the mean each part filters at the least, so that the rows it takes
// only to start its windows stay few beside those it finishes.
constexpr int32_t least_part_rows = 64;

// The outliers of the mean image, the rows split into parts filtered at the
// same time. Throws std::bad_alloc, from whichever part it came.
std::unique_ptr<OutlierMask> find_outliers(const MeanImage& mean, const DetectionSettings& settings)
{
    const int32_t width = mean.width();
    const int32_t height = mean.height();
    std::unique_ptr<OutlierMask> mask(new OutlierMask(width, height));
    if (width == 0 || height == 0) return mask;
    const Window across(settings.lt_w, width);
    const Window down(settings.lt_w, height);
    const int32_t parts = std::max(1, std::min(parallel_parts(), height / least_part_rows));
    std::vector<std::unique_ptr<MeanLines>> lines;
    for (int32_t part = 0; part < parts; ++part) {
        int64_t first = 0;
        int64_t last = 0;
        part_range(height, parts, part, first, last);
        lines.emplace_back(new MeanLines(mean, down, static_cast<int32_t>(first),
                                         static_cast<int32_t>(last), *mask));
    }
    std::vector<char> failed(static_cast<size_t>(parts), 0);
    platform::run_parts(parts, [&](int32_t part) {
        int64_t first = 0;
        int64_t last = 0;
        part_range(height, parts, part, first, last);
        try {
            filter(*lines[part], across, down, settings.lt_v, static_cast<int32_t>(first),
                   static_cast<int32_t>(last));
        } catch (const std::bad_alloc&) {
            failed[static_cast<size_t>(part)] = 1;
        }
    });
    if (std::find(failed.begin(), failed.end(), 1) != failed.end()) throw std::bad_alloc();
    std::vector<MeanImage::LineTotal> totals;
    for (const std::unique_ptr<MeanLines>& part : lines) totals.push_back(part->total());
    mean.take_line_totals(totals);
    return mask;
}

// The index of the lowest set bit of a word that is not 0.
int32_t lowest_bit(uint64_t word) { return __builtin_ctzll(word); }

// The outlier's line as console_print("%d, %d, %.1f\n") writes it; to_chars
// gives printf's digits, so only the parsing of the format is spared. A
// value that is not finite (printf has words of its own for those) is left
// to printf.
void print_outlier(int32_t x, int32_t y, float value)
{
    const double v = static_cast<double>(value);
    // Two numbers of at most 11 characters and their separators, then a
    // finite double: at most 309 integer digits, a sign, a point, a decimal.
    char line[400];
    char* p = line;
    if (std::isfinite(v)) {
        p = std::to_chars(p, line + 11, x).ptr;
        p = std::copy_n(", ", 2, p);
        p = std::to_chars(p, p + 11, y).ptr;
        p = std::copy_n(", ", 2, p);
        const std::to_chars_result number =
            std::to_chars(p, line + sizeof line - 1, v, std::chars_format::fixed, 1);
        if (number.ec == std::errc()) {
            p = number.ptr;
            *p++ = '\n';
            console_write(line, static_cast<size_t>(p - line));
            return;
        }
    }
    console_print("%d, %d, %.1f\n", x, y, v);
}

void report_outliers(const ImageBW& mask, const MeanImage& mean, DefpixTable& table)
{
    const size_t W = mask.width();
    const int32_t H = static_cast<int32_t>(mask.height());
    const uint8_t* pixels = mask.data();
    int32_t found = 0;
    for (int32_t y = 0; y < H; ++y) {
        const uint8_t* row = pixels + static_cast<size_t>(y) * W;
        for (size_t x = next_marked(row, 0, W); x < W; x = next_marked(row, x + 1, W)) {
            const int32_t column = static_cast<int32_t>(x);
            print_outlier(column, y, mean.value(column, y));
            table.defpix_add(column, y, 0);
            ++found;
        }
    }
    console_print("defect count %d\n", found);
}

// The same from the packed mask.
void report_outlier_bits(const OutlierMask& outliers, const MeanImage& mean, DefpixTable& table)
{
    const std::vector<uint64_t>& bits = outliers.bits();
    const size_t words_per_row = outliers.words_per_row();
    int32_t found = 0;
    for (int32_t y = 0; y < mean.height(); ++y) {
        const uint64_t* words = bits.data() + words_per_row * static_cast<size_t>(y);
        for (size_t k = 0; k < words_per_row; ++k) {
            for (uint64_t word = words[k]; word != 0; word &= word - 1) {
                const int32_t x = static_cast<int32_t>(64 * k) + lowest_bit(word);
                print_outlier(x, y, mean.value(x, y));
                table.defpix_add(x, y, 0);
                ++found;
            }
        }
    }
    console_print("defect count %d\n", found);
}

// False when the width was refused.
bool take_settings(DetectionSettings& settings, std::optional<int32_t> threshold,
                   std::optional<int32_t> width)
{
    if (threshold) settings.lt_v = *threshold;
    if (!width) return true;
    if (*width > 0) {
        settings.lt_w = *width;
        return true;
    }
    console_print("invalid width %d, using %d\n", *width, settings.lt_w);
    return false;
}

// The 8-bit image is made line by line as the filter works through it, and
// its mean brightness in the same pass; the brightness is printed before the
// outliers, which are kept packed until then. Without memory for that, the
// mean is found on its own and the whole 8-bit image made after it, as it
// always was, so that the messages keep their order.
void detect_defects(const MeanImage& mean, const DetectionSettings& settings, DefpixTable& table)
{
    console_print("lt_v %d, lt_w %d\n", settings.lt_v, settings.lt_w);
    std::unique_ptr<OutlierMask> outliers;
    try {
        outliers = find_outliers(mean, settings);
    } catch (const std::bad_alloc&) {
        outliers.reset();
    }
    console_print("mean brightness %lf\n", static_cast<double>(mean.mean()));
    if (outliers) {
        report_outlier_bits(*outliers, mean, table);
        return;
    }
    std::unique_ptr<ImageBW> mask = mean.grey();
    box_filter_threshold(*mask, settings.lt_w, settings.lt_w, settings.lt_v);
    report_outliers(*mask, mean, table);
}

}  // namespace

void box_filter_threshold(ImageBW& image, int32_t wh, int32_t wv, int32_t t)
{
    if (image.width() == 0 || image.height() == 0) return;
    const Window across(wh, static_cast<int32_t>(image.width()));
    const Window down(wv, static_cast<int32_t>(image.height()));
    ImageRows rows(image);
    filter(rows, across, down, t, 0, down.length());
}

void box_filter_means(const ImageBW& image, int32_t wh, int32_t wv, const RowMeansVisitor& visit)
{
    if (image.width() == 0 || image.height() == 0) return;
    const Window across(wh, static_cast<int32_t>(image.width()));
    const Window down(wv, static_cast<int32_t>(image.height()));
    ReadRows rows(image);
    const int32_t W = across.length();
    std::vector<uint8_t> means(static_cast<size_t>(W));
    filter_with(rows, across, down, 0, down.length(),
                [&](int32_t y, auto* column_sums, const uint8_t* entering, const uint8_t* leaving,
                    const MeanDivider& divider) {
                    row_means(column_sums, entering, leaving, divider, means.data(), W);
                    visit(y, rows.take(y), means.data(), W);
                });
}

bool create_defpix_map(const MeanImage* mean, DetectionSettings& settings, DefpixTable& table,
                       std::optional<int32_t> threshold, std::optional<int32_t> width)
{
    console_print("create_defpix_map()\n");
    bool done = take_settings(settings, threshold, width);
    const int32_t refused_before = table.refused_adds();
    if (!mean) {
        console_print("create_defpix_map failed, no image\n");
        return false;
    }
    try {
        detect_defects(*mean, settings, table);
    } catch (const std::bad_alloc&) {
        console_print("create_defpix_map failed, out of memory\n");
        done = false;
    }
    return done && table.refused_adds() == refused_before;
}
