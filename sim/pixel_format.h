// The pixel formats camsim can deliver: its sensor's 8-bit values widened to
// more bits, so a consumer's own reduction can be checked against them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace camsim {

struct PixelFormat {
    const char* name;
    uint32_t code;  // the PFNC value
    // 8, 10, 12 or 16 bits in whole bytes (one or two, little-endian); 0 for
    // 12 bits packed two pixels in three bytes; -1 for a format camsim names
    // but delivers as 8-bit bytes (for consumers to refuse).
    int bits;
};

const PixelFormat& mono8_format();
// Null for a name camsim does not know.
const PixelFormat* find_pixel_format(const std::string& name);

// Bytes of a frame of `pixels` pixels.
size_t payload_bytes(const PixelFormat& format, size_t pixels);

// Writes the 8-bit `pixels` in `format` into `out` (payload_bytes long): each
// value widened with its top bits repeated below it, so that its top 8 bits
// are the 8-bit value again.
void encode_frame(const PixelFormat& format, const uint8_t* pixels, size_t count, uint8_t* out);

}  // namespace camsim
