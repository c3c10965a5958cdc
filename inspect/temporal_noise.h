// The temporal noise of a series of frames: each pixel's spread across them,
// either by reading the frames again or from squares taken while they are
// summed.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

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
