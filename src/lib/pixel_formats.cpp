#include "lib/pixel_formats.h"

#include <cstdio>
#include <cstring>

#include "pfnc.h"

namespace {

const MonoFormat mono_formats[] = {{pfnc::Mono8, "Mono8", 8},
                                   {pfnc::Mono10, "Mono10", 10},
                                   {pfnc::Mono12, "Mono12", 12},
                                   {pfnc::Mono16, "Mono16", 16},
                                   {pfnc::Mono12Packed, "Mono12Packed", 0}};

}  // namespace

const MonoFormat* find_mono_format(uint64_t code)
{
    for (const MonoFormat& format : mono_formats)
        if (format.code == code) return &format;
    return nullptr;
}

std::string pixel_format_name(uint64_t code)
{
    if (const char* name = pfnc::name_of(code)) return name;
    char text[32];
    std::snprintf(text, sizeof text, "0x%08llX", static_cast<unsigned long long>(code));
    return text;
}

size_t mono_frame_bytes(const MonoFormat& format, size_t pixels)
{
    return pfnc::mono_frame_bytes(format.bits, pixels);
}

void reduce_to_8_bits(const MonoFormat& format, const uint8_t* bytes, size_t pixels, uint8_t* out)
{
    if (format.bits == 8) {
        std::memcpy(out, bytes, pixels);
    } else if (format.bits == 0) {
        // The upper eight bits of each pixel have a byte of their own.
        for (size_t i = 0; i < pixels; ++i) out[i] = bytes[i / 2 * 3 + (i % 2) * 2];
    } else {
        const int shift = format.bits - 8;
        for (size_t i = 0; i < pixels; ++i) {
            const unsigned value = bytes[2 * i] | unsigned(bytes[2 * i + 1]) << 8;
            // Bits above the format's own are noise some cameras leave set.
            out[i] = static_cast<uint8_t>((value >> shift) & 0xFF);
        }
    }
}
