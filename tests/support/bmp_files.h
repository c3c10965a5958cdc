// Helpers for tests that need BMP files on disk.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace test_files {

inline void put_u32(std::vector<uint8_t>& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

inline void put_u16(std::vector<uint8_t>& bytes, size_t at, uint16_t value)
{
    bytes[at] = static_cast<uint8_t>(value);
    bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

// A 54-byte header followed directly by `pixels` (already in file order).
inline std::vector<uint8_t> bmp_bytes(int32_t width, int32_t height, uint16_t bits_per_pixel,
                                      const std::vector<uint8_t>& pixels, uint32_t compression = 0)
{
    std::vector<uint8_t> bytes(54 + pixels.size(), 0);
    bytes[0] = 'B';
    bytes[1] = 'M';
    put_u32(bytes, 2, static_cast<uint32_t>(54 + pixels.size()));
    put_u32(bytes, 10, 54);
    put_u32(bytes, 14, 40);
    put_u32(bytes, 18, static_cast<uint32_t>(width));
    put_u32(bytes, 22, static_cast<uint32_t>(height));
    put_u16(bytes, 26, 1);
    put_u16(bytes, 28, bits_per_pixel);
    put_u32(bytes, 30, compression);
    std::copy(pixels.begin(), pixels.end(), bytes.begin() + 54);
    return bytes;
}

// Pixel bytes 0, 1, 2, ... (mod 251, so lines differ from one another).
inline std::vector<uint8_t> counting_bytes(size_t count, uint8_t start = 0)
{
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>((start + i) % 251);
    return bytes;
}

inline void write_file(const std::string& path, const std::vector<uint8_t>& bytes)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return;
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

inline std::vector<uint8_t> read_file(const std::string& path)
{
    std::vector<uint8_t> bytes;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return bytes;
    uint8_t buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + got);
    std::fclose(file);
    return bytes;
}

inline bool file_exists(const std::string& path)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file) std::fclose(file);
    return file != nullptr;
}

// Removes the files it names when the test ends.
class Scratch {
public:
    explicit Scratch(std::string prefix) : prefix_(std::move(prefix)) {}
    ~Scratch()
    {
        for (const std::string& path : paths_) std::remove(path.c_str());
    }
    std::string path(const std::string& name)
    {
        paths_.push_back(prefix_ + name);
        return paths_.back();
    }
    std::string write(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        const std::string file = path(name);
        write_file(file, bytes);
        return file;
    }

private:
    std::string prefix_;
    std::vector<std::string> paths_;
};

}  // namespace test_files
