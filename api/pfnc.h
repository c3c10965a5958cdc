// Pixel formats by their GenICam PFNC value and name, from the published
// naming convention: the ones the program's consumers and the simulated
// camera speak of.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pfnc {

struct NamedFormat {
    uint32_t code;
    const char* name;
};

constexpr uint32_t Mono8 = 0x01080001;
constexpr uint32_t Mono10 = 0x01100003;
constexpr uint32_t Mono12 = 0x01100005;
constexpr uint32_t Mono16 = 0x01100007;
constexpr uint32_t Mono12Packed = 0x010C0006;

inline constexpr NamedFormat named_formats[] = {{Mono8, "Mono8"},
                                                {Mono10, "Mono10"},
                                                {Mono12, "Mono12"},
                                                {Mono16, "Mono16"},
                                                {Mono12Packed, "Mono12Packed"},
                                                {0x010A0046, "Mono10p"},
                                                {0x010C0047, "Mono12p"},
                                                {0x01100025, "Mono14"},
                                                {0x01080008, "BayerGR8"},
                                                {0x01080009, "BayerRG8"},
                                                {0x0108000A, "BayerGB8"},
                                                {0x0108000B, "BayerBG8"},
                                                {0x02180014, "RGB8"},
                                                {0x02180015, "BGR8"},
                                                {0x02200016, "RGBa8"},
                                                {0x02100032, "YUV422_8"}};

// The name of a value in the table above; null for any other.
inline const char* name_of(uint64_t code)
{
    for (const NamedFormat& format : named_formats)
        if (format.code == code) return format.name;
    return nullptr;
}

// The value of a name in the table above; 0 for any other.
inline uint32_t code_of(const char* name)
{
    for (const NamedFormat& format : named_formats) {
        const char* a = format.name;
        const char* b = name;
        while (*a && *a == *b) ++a, ++b;
        if (*a == *b) return format.code;
    }
    return 0;
}

// Bytes of a frame of `pixels` monochrome pixels of `bits` significant bits:
// one byte up to 8, two (little-endian) up to 16; 0 stands for 12 bits packed
// two pixels in three bytes, a last odd pixel taking a group of its own.
inline size_t mono_frame_bytes(int bits, size_t pixels)
{
    if (bits == 0) return (pixels + 1) / 2 * 3;
    return bits > 8 ? pixels * 2 : pixels;
}

}  // namespace pfnc
