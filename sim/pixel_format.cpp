#include "pixel_format.h"

#include <cstring>

#include "pfnc.h"

namespace camsim {

namespace {

const PixelFormat formats[] = {
    {"Mono8", 0x01080001, 8},     {"Mono10", 0x01100003, 10},      {"Mono12", 0x01100005, 12},
    {"Mono16", 0x01100007, 16},   {"Mono12Packed", 0x010C0006, 0}, {"RGB8", 0x02180014, -1},
    {"BayerRG8", 0x01080009, -1},
};

uint16_t widened(uint8_t value, int bits)
{
    return static_cast<uint16_t>(value << (bits - 8) | value >> (16 - bits));
}

}  // namespace

const PixelFormat& mono8_format() { return formats[0]; }

const PixelFormat* find_pixel_format(const std::string& name)
{
    for (const PixelFormat& format : formats)
        if (name == format.name) return &format;
    return nullptr;
}

size_t payload_bytes(const PixelFormat& format, size_t pixels)
{
    return pfnc::mono_frame_bytes(format.bits, pixels);
}

void encode_frame(const PixelFormat& format, const uint8_t* pixels, size_t count, uint8_t* out)
{
    if (format.bits == 0) {
        for (size_t i = 0; i < count; i += 2) {
            const uint16_t first = widened(pixels[i], 12);
            const uint16_t second = i + 1 < count ? widened(pixels[i + 1], 12) : 0;
            uint8_t* group = out + i / 2 * 3;
            group[0] = static_cast<uint8_t>(first >> 4);
            group[1] = static_cast<uint8_t>((first & 15) | (second & 15) << 4);
            group[2] = static_cast<uint8_t>(second >> 4);
        }
    } else if (format.bits > 8) {
        for (size_t i = 0; i < count; ++i) {
            const uint16_t value = widened(pixels[i], format.bits);
            out[2 * i] = static_cast<uint8_t>(value);
            out[2 * i + 1] = static_cast<uint8_t>(value >> 8);
        }
    } else {
        std::memcpy(out, pixels, count);
    }
}

}  // namespace camsim
