// The separable box filter behind defect detection: the rounded-down mean of
// a window around each pixel of an 8-bit image, taken in one pass of running
// sums, and the rule by which a pixel that lies too far from its window mean
// is an outlier.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>

class ImageBW;

// The window of one direction over a line of n samples: position i covers
// [i + half - width + 1, i + half] clipped to [0, n). Widths below 1 count
// as 1; an even width reaches one sample further right (or down).
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

constexpr uint8_t outlier_bright = 1;
constexpr uint8_t outlier_dark = 2;

// A pixel p whose window mean is m, for a threshold t: bright when p lies
// above m by more than t, dark when it lies below m by more than t. Below 0
// every pixel is an outlier: dark when it lies at least -t below its mean
// (p - m <= t), bright otherwise. As p and m lie in 0..255, a threshold above
// 255 acts like 255 and one below -255 makes every pixel bright.
// Both sides come down to one comparison of |p - m| with a limit in 0..255
// (t, or -t - 1 below 0), so that every step stays within bytes and a line
// of pixels is compared a whole vector at a time; detection's mask and the
// inspection's kinds both come from it.
class OutlierRule {
public:
    explicit OutlierRule(int32_t t)
        : every_(t < 0),
          limit_(static_cast<uint8_t>(std::min<int64_t>(t < 0 ? -int64_t{t} - 1 : int64_t{t}, 255)))
    {
    }

    // 255 for an outlier, 0 for any other pixel.
    uint8_t mask(uint8_t p, uint8_t m) const { return (beyond(p, m) | every_) ? 255 : 0; }

    // outlier_bright, outlier_dark or 0 for each of n pixels.
    void kinds(const uint8_t* pixels, const uint8_t* means, int32_t n, uint8_t* kinds) const;

private:
    // The one comparison: 1 when p lies further than the limit from m.
    uint8_t beyond(uint8_t p, uint8_t m) const
    {
        const uint8_t distance = static_cast<uint8_t>(p > m ? p - m : m - p);
        return distance > limit_;
    }
    uint8_t dark(uint8_t p, uint8_t m) const { return (m > p) & beyond(p, m); }
    uint8_t bright(uint8_t p, uint8_t m) const
    {
        return ((p > m) & beyond(p, m)) | (every_ & !dark(p, m));
    }

    uint8_t every_;
    uint8_t limit_;
};

// The rows a filter pass works through. For each finished row y, the pass
// calls take(y) on every row whose window reaches y and that was not taken
// yet, then finish(y), then finished(y); rows are taken once each and in
// order, and finished in order. take(y) hands the row's pixels to the
// horizontal pass, which has read them by the time take() is called again;
// finish(y) hands row y, taken before, to be compared with its window means
// and overwritten by its mask; after finished(y) the pass no longer touches
// row y.
class FilterRows {
public:
    virtual ~FilterRows() = default;
    virtual const uint8_t* take(int32_t y) = 0;
    virtual uint8_t* finish(int32_t y) = 0;
    virtual void finished(int32_t y) = 0;
};

// Turns rows [y_begin, y_end) of `rows` (a line of across.length() pixels
// each, down.length() of them) into their mask: 255 where OutlierRule(t)
// finds an outlier, 0 elsewhere. Rows above y_begin that the windows reach
// are taken for their means only, so that a part of an image is filtered as
// within the whole.
void box_filter_rows(FilterRows& rows, const Window& across, const Window& down, int32_t t,
                     int32_t y_begin, int32_t y_end);

// The same over a whole image, in place, for windows of wh × wv pixels.
void box_filter_threshold(ImageBW& image, int32_t wh, int32_t wv, int32_t t);

// The window means, row by row from the top: visit(y, pixels, means, n) gets
// row y's n pixels and the rounded-down mean of each one's window.
using RowMeansVisitor =
    std::function<void(int32_t y, const uint8_t* pixels, const uint8_t* means, int32_t n)>;
void box_filter_means(const ImageBW& image, int32_t wh, int32_t wv, const RowMeansVisitor& visit);
