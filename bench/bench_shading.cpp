// Shading map speed on a 5120 x 5120 image, against one plain copy of the
// image: the block means and the applying each run in one pass.
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "correction/shading.h"
#include "lib/float_map.h"
#include "lib/image.h"
#include "platform/counter.h"

namespace {

constexpr int32_t side = 5120;
constexpr int repeats = 7;

double seconds_since(int64_t start)
{
    return static_cast<double>(platform::counter_value() - start) /
           static_cast<double>(platform::counter_frequency());
}

// Fastest of several runs, so one disturbed run does not count.
template <typename Work>
double best_seconds(Work work)
{
    double best = 1e30;
    for (int n = 0; n < repeats; ++n) {
        const int64_t start = platform::counter_value();
        work();
        const double elapsed = seconds_since(start);
        if (elapsed < best) best = elapsed;
    }
    return best;
}

}  // namespace

int main()
{
    ImageBW image(side, side);
    std::mt19937 random(7);
    const size_t size = static_cast<size_t>(side) * side;
    for (size_t k = 0; k < size; ++k) image.data()[k] = static_cast<uint8_t>(64 + random() % 128);
    std::vector<uint8_t> copy(size);

    volatile uint8_t sink = 0;
    const double copy_time = best_seconds([&] {
        std::memcpy(copy.data(), image.data(), size);
        sink = sink + copy[size / 2];
    });

    std::unique_ptr<FloatMap> gains;
    const double means_time = best_seconds([&] { gains = shading_gains(image); });

    // Keeps the pixels in range from one run to the next: gains near 1.
    for (int32_t k = 0; k < gains->count(); ++k) gains->data()[k] = 0.9f + 0.2f * (k % 2);
    const double apply_time = best_seconds([&] {
        apply_gains(*gains, image);
        sink = sink + image.data()[size / 2];
    });

    std::printf("shading on %d x %d, best of %d runs\n", side, side, repeats);
    std::printf("  copy of the image     %8.3f ms  1.00 x copy\n", copy_time * 1e3);
    std::printf("  block means and gains %8.3f ms  %.2f x copy\n", means_time * 1e3,
                means_time / copy_time);
    std::printf("  applying the map      %8.3f ms  %.2f x copy\n", apply_time * 1e3,
                apply_time / copy_time);
    return 0;
}
