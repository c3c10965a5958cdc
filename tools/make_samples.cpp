// Makes a deterministic calibration set: frames 0 .. frames - 1 of the
// simulated camera's sensor (camsim::Sensor with its default settings, size
// x size), so the files equal what a camera of that size delivers before any
// correction, and the list of the defects the sensor carries.
//
//   make_samples <folder> [<size> [<frames>]]
//
// Writes <folder>/flat_NN.bmp (8-bit, the program's own unpadded layout) and
// <folder>/injected.txt with one "x;y;kind" line a defect (kind 4: a column).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "lib/bmp.h"
#include "lib/image.h"
#include "sensor.h"

namespace {

bool write_list(const std::string& path, const camsim::Sensor& sensor)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    for (const camsim::SensorDefect& at : sensor.hot()) std::fprintf(file, "%u;%u;0\n", at.x, at.y);
    for (const camsim::SensorDefect& at : sensor.dead())
        std::fprintf(file, "%u;%u;0\n", at.x, at.y);
    if (sensor.bad_column() >= 0)
        std::fprintf(file, "%lld;0;4\n", static_cast<long long>(sensor.bad_column()));
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

    camsim::SensorSettings settings;
    settings.width = static_cast<uint32_t>(size);
    settings.height = static_cast<uint32_t>(size);
    const camsim::Sensor sensor(settings);
    ImageBW frame(size, size);
    for (int32_t i = 0; i < frames; ++i) {
        sensor.frame(static_cast<uint64_t>(i), frame.data());
        char name[32];
        std::snprintf(name, sizeof name, "/flat_%02d.bmp", i + 1);
        if (!save_bmp(frame, (folder + name).c_str())) {
            std::fprintf(stderr, "make_samples: cannot write %s%s\n", folder.c_str(), name);
            return 1;
        }
    }
    if (!write_list(folder + "/injected.txt", sensor)) {
        std::fprintf(stderr, "make_samples: cannot write %s/injected.txt\n", folder.c_str());
        return 1;
    }
    std::printf("%d frames of %d x %d, %zu hot, %zu dead pixels, bad column %lld\n", frames, size,
                size, sensor.hot().size(), sensor.dead().size(),
                static_cast<long long>(sensor.bad_column()));
    return 0;
}
