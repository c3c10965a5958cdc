// The monochrome pixel formats a camera's frames may come in (by their GenICam
// PFNC value), and their reduction to the 8 bits a pixel every map works on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct MonoFormat {
    uint64_t code;
    const char* name;
    // 8, 10, 12 or 16 significant bits in one byte or two (little-endian);
    // 0: 12 bits packed two pixels in three bytes, as ImageBW12 packs them.
    int bits;
};

// Null for any format that is not one of Mono8, Mono10, Mono12, Mono16 and
// Mono12Packed.
const MonoFormat* find_mono_format(uint64_t code);

// The format's name where it is a common one, else its value ("0x02100032").
std::string pixel_format_name(uint64_t code);

// Bytes of a frame of `pixels` pixels.
size_t mono_frame_bytes(const MonoFormat& format, size_t pixels);

// Each pixel's top 8 significant bits, so that maps made from such frames
// mean what maps made from 8-bit files mean. `bytes` holds
// mono_frame_bytes(format, pixels).
void reduce_to_8_bits(const MonoFormat& format, const uint8_t* bytes, size_t pixels, uint8_t* out);
