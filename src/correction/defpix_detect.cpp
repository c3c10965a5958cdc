#include "correction/defpix_detect.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <new>
#include <system_error>
#include <vector>

#include "correction/box_filter.h"
#include "correction/defpix.h"
#include "lib/float_map.h"
#include "lib/image.h"
#include "lib/image_sum.h"
#include "lib/log.h"
#include "lib/parallel.h"
#include "lib/zero_skip.h"
#include "platform/bits.h"

namespace {

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
        for (size_t x = next_nonzero(line, 0, width); x < width;
             x = next_nonzero(line, x + 1, width))
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
class MeanLines : public FilterRows {
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

    const uint8_t* take(int32_t y) override
    {
        uint8_t* line = slot(y);
        mean_.make_grey_line(y, line, y >= y_begin_ && y < y_end_ ? &total_ : nullptr);
        return line;
    }
    // Row y was taken before and stays in its slot until row y + ring_rows_
    // is taken, which happens only after row y is finished.
    uint8_t* finish(int32_t y) override { return slot(y); }
    void finished(int32_t y) override { mask_.mark_row(y, slot(y), width_); }

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
    run_parts(parts, [&](int32_t part) {
        int64_t first = 0;
        int64_t last = 0;
        part_range(height, parts, part, first, last);
        box_filter_rows(*lines[part], across, down, settings.lt_v, static_cast<int32_t>(first),
                        static_cast<int32_t>(last));
    });
    std::vector<MeanImage::LineTotal> totals;
    for (const std::unique_ptr<MeanLines>& part : lines) totals.push_back(part->total());
    mean.take_line_totals(totals);
    return mask;
}

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
        for (size_t x = next_nonzero(row, 0, W); x < W; x = next_nonzero(row, x + 1, W)) {
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
                const int32_t x = static_cast<int32_t>(64 * k) + platform::lowest_set_bit(word);
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
