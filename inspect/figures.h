// The figures of a report: what the frames, the defect map and the shading
// map say about a calibration, each computed by the program's own code.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "lib/image.h"

class DefpixTable;
class FloatMap;
struct FileBand;

// The square root of the mean, over all pixels, of each pixel's sample
// variance across the frames (divisor L - 1), in grey levels; none for a
// single frame or when a frame cannot be read again. A pixel's value is the
// one the sum adds: the grey byte, or the channel mean rounded down.
std::optional<double> temporal_noise(
    const std::vector<std::string>& frames, int32_t width, int32_t height,
    const std::function<void(int64_t lines_done, int64_t lines_total)>& progress = {});

// The temporal noise from the frames' sum and the total of every squared pixel
// value, taken band by band while the frames are summed:
//   mean over pixels of the sample variance =
//     (L × Σ x² - Σ over pixels of (Σ over frames x)²) / (L (L - 1) N),
// so no pixel needs a sum of squares of its own and the frames are read once.
// Bands may come from several threads at once.
class FrameSquares {
public:
    explicit FrameSquares(size_t frames) : frames_(static_cast<int64_t>(frames)) {}

    void add(const FileBand& band);

    // False when a frame was not 8-bit grey, or the frames are too many for
    // their sums to be exact in a float: the caller reads them again.
    bool usable() const;

    // temporal_noise's figure, from the squares and the frames' sum.
    std::optional<double> noise(const FloatMap& sum) const;

private:
    int64_t frames_;
    std::atomic<uint64_t> total_{0};
    std::atomic<bool> grey_only_{true};
};

// The map's pixel entries grouped into 8-connected clusters.
struct ClusterCounts {
    int64_t single = 0;
    int64_t two_to_four = 0;
    int64_t five_or_more = 0;
    int64_t largest = 0;
};
ClusterCounts count_clusters(const DefpixTable& table);

// The pixels of the map: its pixel entries and every pixel of its column
// entries, as a mask of width × height (1 in the map).
std::vector<uint8_t> defect_mask(const DefpixTable& table, int32_t width, int32_t height);

// Spread, scatter and corner-to-centre ratio of block means; each none where
// it would divide by zero.
struct BlockFigures {
    std::optional<double> spread;
    std::optional<double> scatter;
    std::optional<double> corner_centre;
};
BlockFigures block_figures(const FloatMap& means, int32_t width, int32_t height);

// Standard deviation (divisor n) over mean of the image's pixels, in
// percent, leaving out the pixels `excluded` marks (when given); none when no
// pixel is left or their mean is 0.
std::optional<double> nonuniformity(const ImageBW& image, const std::vector<uint8_t>* excluded);

// The mean of each row and of each column of an 8-bit image.
struct Profiles {
    std::vector<double> rows;
    std::vector<double> columns;
};
Profiles profiles_of(const ImageBW& image);

// The gains over all blocks.
struct GainFigures {
    double min = 0.0;
    double max = 0.0;
    double mean = 0.0;
    // Gains of 16.0 or more, which the camera's 16-bit gain with 12 fractional
    // bits cannot hold.
    int64_t clamped = 0;
};
GainFigures gain_figures(const FloatMap& gains);

// A copy of an 8-bit image.
std::unique_ptr<ImageBW> copy_of(const ImageBW& image);
