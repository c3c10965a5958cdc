// Makes a deterministic calibration set: flat-field frames of an evenly lit
// sensor with vignetting and noise, plus injected hot pixels, dead pixels and
// one bad column, and the list of what was injected.
//
//   make_samples <folder> [<size> [<frames>]]
//
// Writes <folder>/flat_NN.bmp (8-bit, the program's own unpadded layout) and
// <folder>/injected.txt with one "x;y;kind" line a defect (kind 4: a column).
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "lib/bmp.h"
#include "lib/image.h"

namespace {

// A small fixed generator, so every machine makes the same frames.
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint32_t next()
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return static_cast<uint32_t>(state_ >> 32);
    }
    int32_t below(int32_t limit)
    {
        return static_cast<int32_t>(next() % static_cast<uint32_t>(limit));
    }
    // Roughly normal, mean 0, standard deviation 1 (sum of uniforms).
    float normal()
    {
        float sum = 0.0f;
        for (int i = 0; i < 12; ++i) sum += static_cast<float>(next()) / 4294967296.0f;
        return sum - 6.0f;
    }

private:
    uint64_t state_;
};

struct Defects {
    std::vector<std::pair<int32_t, int32_t>> hot;
    std::vector<std::pair<int32_t, int32_t>> dead;
    int32_t column;
};

// Defects lie at least 8 pixels apart and away from the bad column, so each
// stands alone in its neighbourhood.
Defects choose_defects(int32_t size, Random& random)
{
    Defects defects;
    defects.column = size / 3 + 1;
    const int32_t per_kind = size >= 1024 ? 60 : 12;
    std::set<std::pair<int32_t, int32_t>> taken;
    auto far_enough = [&](int32_t x, int32_t y) {
        if (std::abs(x - defects.column) < 8) return false;
        for (const auto& p : taken)
            if (std::abs(p.first - x) < 8 && std::abs(p.second - y) < 8) return false;
        return true;
    };
    while (defects.hot.size() + defects.dead.size() < static_cast<size_t>(2 * per_kind)) {
        const int32_t x = random.below(size);
        const int32_t y = random.below(size);
        if (!far_enough(x, y)) continue;
        taken.insert({x, y});
        if (defects.hot.size() < static_cast<size_t>(per_kind))
            defects.hot.push_back({x, y});
        else
            defects.dead.push_back({x, y});
    }
    return defects;
}

float vignetting(int32_t x, int32_t y, int32_t size)
{
    const float centre = (size - 1) / 2.0f;
    const float dx = (x - centre) / centre;
    const float dy = (y - centre) / centre;
    return 1.0f - 0.18f * (dx * dx + dy * dy);
}

uint8_t clamp_grey(float value)
{
    if (value < 0.0f) return 0;
    if (value > 255.0f) return 255;
    return static_cast<uint8_t>(value + 0.5f);
}

void make_frame(ImageBW& frame, const Defects& defects, int32_t size, Random& random)
{
    const float brightness = 170.0f;
    for (int32_t y = 0; y < size; ++y)
        for (int32_t x = 0; x < size; ++x) {
            float value = brightness * vignetting(x, y, size) + 1.5f * random.normal();
            if (x == defects.column) value += 45.0f;
            frame.set_pixel(x, y, clamp_grey(value));
        }
    for (const auto& p : defects.hot) frame.set_pixel(p.first, p.second, 255);
    for (const auto& p : defects.dead) frame.set_pixel(p.first, p.second, 0);
}

bool write_list(const std::string& path, const Defects& defects)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    for (const auto& p : defects.hot) std::fprintf(file, "%d;%d;0\n", p.first, p.second);
    for (const auto& p : defects.dead) std::fprintf(file, "%d;%d;0\n", p.first, p.second);
    std::fprintf(file, "%d;0;4\n", defects.column);
    return std::fclose(file) == 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fputs("usage: make_samples <folder> [<size> [<frames>]]\n", stderr);
        return 2;
    }
    const std::string folder = argv[1];
    const int32_t size = argc > 2 ? std::atoi(argv[2]) : 5120;
    const int32_t frames = argc > 3 ? std::atoi(argv[3]) : 16;
    if (size < 64 || size > 16384 || frames < 1 || frames > 99) {
        std::fputs("make_samples: size must be 64..16384 and frames 1..99\n", stderr);
        return 2;
    }

    Random random(0x4B44u);
    const Defects defects = choose_defects(size, random);
    ImageBW frame(size, size);
    for (int32_t i = 0; i < frames; ++i) {
        make_frame(frame, defects, size, random);
        char name[32];
        std::snprintf(name, sizeof name, "/flat_%02d.bmp", i + 1);
        if (!save_bmp(frame, (folder + name).c_str())) {
            std::fprintf(stderr, "make_samples: cannot write %s%s\n", folder.c_str(), name);
            return 1;
        }
    }
    if (!write_list(folder + "/injected.txt", defects)) {
        std::fprintf(stderr, "make_samples: cannot write %s/injected.txt\n", folder.c_str());
        return 1;
    }
    std::printf("%d frames of %d x %d, %zu hot, %zu dead pixels, bad column %d\n", frames, size,
                size, defects.hot.size(), defects.dead.size(), defects.column);
    return 0;
}
