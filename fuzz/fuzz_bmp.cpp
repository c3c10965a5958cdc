// Both BMP readers on arbitrary file contents.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "lib/bmp.h"
#include "lib/float_map.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = "fuzz_bmp_input.bmp";
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    if (std::unique_ptr<Image> image = load_bmp(path.c_str())) {
        // Touch every pixel the reader claims to have filled.
        FloatMap map(image.get());
        map.add(image.get());
    }
    if (std::unique_ptr<ImageBW> bw = load_bmp_bw(path.c_str())) {
        FloatMap map(bw.get());
        if (static_cast<uint32_t>(map.count()) != bw->width() * bw->height()) __builtin_trap();
    }
    return 0;
}
