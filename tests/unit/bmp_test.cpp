#include "lib/bmp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bmp_files.h"

namespace {

using test_files::bmp_bytes;
using test_files::counting_bytes;
using test_files::read_file;
using test_files::Scratch;

uint32_t u32_at(const std::vector<uint8_t>& bytes, size_t at)
{
    return bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) |
           (static_cast<uint32_t>(bytes[at + 3]) << 24);
}

std::vector<uint8_t> pixels_of(const Image& image)
{
    return std::vector<uint8_t>(
        image.data(), image.data() + static_cast<size_t>(image.line_size()) * image.height());
}

// File lines (bottom first) turned into picture lines (top first).
std::vector<uint8_t> flipped(const std::vector<uint8_t>& file_lines, size_t line_size)
{
    std::vector<uint8_t> picture;
    for (size_t end = file_lines.size(); end >= line_size; end -= line_size)
        picture.insert(picture.end(), file_lines.begin() + (end - line_size),
                       file_lines.begin() + end);
    return picture;
}

class RoundTrip : public ::testing::TestWithParam<int32_t> {};

TEST_P(RoundTrip, LinesWithoutPaddingReadBackUnchanged)
{
    Scratch scratch("bmp_roundtrip_");
    const int32_t width = GetParam();
    const int32_t height = 3;
    ImageBW image(width, height);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) image.set_pixel(x, y, static_cast<uint8_t>(10 * y + x));
    const std::string path = scratch.path("w.bmp");
    ASSERT_TRUE(save_bmp(image, path.c_str()));

    const std::vector<uint8_t> file = read_file(path);
    ASSERT_EQ(file.size(), 1078u + static_cast<size_t>(width) * height);
    // Bottom line first, each exactly `width` bytes.
    EXPECT_EQ(std::vector<uint8_t>(file.begin() + 1078, file.end()),
              flipped(pixels_of(image), static_cast<size_t>(width)));

    std::unique_ptr<Image> read = load_bmp(path.c_str());
    ASSERT_TRUE(dynamic_cast<ImageBW*>(read.get()));
    EXPECT_EQ(read->width(), static_cast<uint32_t>(width));
    EXPECT_EQ(read->height(), static_cast<uint32_t>(height));
    EXPECT_EQ(pixels_of(*read), pixels_of(image));
    std::unique_ptr<ImageBW> grey = load_bmp_bw(path.c_str());
    ASSERT_TRUE(grey);
    EXPECT_EQ(pixels_of(*grey), pixels_of(image));
}

INSTANTIATE_TEST_SUITE_P(Widths, RoundTrip, ::testing::Values(1, 3, 4, 5));

TEST(SaveBmp, HeaderAndPaletteByteForByte)
{
    Scratch scratch("bmp_header_");
    ImageBW image(100, 50);
    std::memset(image.data(), 0, 5000);
    const std::string path = scratch.path("h.bmp");
    ASSERT_TRUE(save_bmp(image, path.c_str()));
    const std::vector<uint8_t> file = read_file(path);
    ASSERT_EQ(file.size(), 6078u);

    std::vector<uint8_t> expected(1078, 0);
    const uint8_t head[] = {'B', 'M', 0xBE, 0x17, 0, 0, 0, 0,  0, 0, 0x36, 0x04, 0, 0, 40,
                            0,   0,   0,    100,  0, 0, 0, 50, 0, 0, 0,    1,    0, 8, 0};
    std::copy(std::begin(head), std::end(head), expected.begin());
    for (int i = 0; i < 256; ++i)
        expected[54 + 4 * i] = expected[55 + 4 * i] = expected[56 + 4 * i] =
            static_cast<uint8_t>(i);
    EXPECT_EQ(std::vector<uint8_t>(file.begin(), file.begin() + 1078), expected);
}

TEST(SaveBmp, ColourImageIsWrittenWithItsLineSizeUnderAnEightBitHeader)
{
    Scratch scratch("bmp_colour_save_");
    ImageRGB24 image(2, 2);
    const std::vector<uint8_t> pixels = counting_bytes(12);
    image.set_data(pixels.data());
    const std::string path = scratch.path("c.bmp");
    ASSERT_TRUE(save_bmp(image, path.c_str()));
    const std::vector<uint8_t> file = read_file(path);
    ASSERT_EQ(file.size(), 1078u + 12);
    EXPECT_EQ(u32_at(file, 2), 1090u);
    EXPECT_EQ(file[28], 8);
    EXPECT_EQ(std::vector<uint8_t>(file.begin() + 1078, file.end()), flipped(pixels, 6));
}

TEST(SaveBmp, ReplacesAnExistingFileWhole)
{
    Scratch scratch("bmp_replace_");
    const std::string path = scratch.write("r.bmp", std::vector<uint8_t>(20000, 0xAA));
    ImageBW image(2, 1);
    image.set_pixel(0, 0, 1);
    image.set_pixel(1, 0, 2);
    ASSERT_TRUE(save_bmp(image, path.c_str()));
    EXPECT_EQ(read_file(path).size(), 1080u);
    EXPECT_FALSE(test_files::file_exists(path + ".kd0.tmp"));
}

TEST(SaveBmp, FailureLeavesTheTargetAlone)
{
    ImageBW image(2, 1);
    EXPECT_FALSE(save_bmp(image, "bmp_no_such_folder/x.bmp"));
    EXPECT_FALSE(save_bmp(image, ""));

    // A folder where the file should go: nothing can be put in its place.
    Scratch scratch("bmp_fail_");
    const std::string keep = scratch.write("keep.bmp", {1, 2, 3});
    EXPECT_FALSE(save_bmp(image, (keep + "/inner.bmp").c_str()));
    EXPECT_EQ(read_file(keep), (std::vector<uint8_t>{1, 2, 3}));
}

struct Depth {
    uint16_t bits;
    uint32_t bytes;
};

class ColourFile : public ::testing::TestWithParam<Depth> {};

TEST_P(ColourFile, LoadBmpKeepsTheBytesAndFlipsTheLines)
{
    Scratch scratch("bmp_colour_");
    const Depth depth = GetParam();
    const std::vector<uint8_t> file_lines = counting_bytes(3 * 2 * depth.bytes, 1);
    const std::string path = scratch.write("c.bmp", bmp_bytes(3, 2, depth.bits, file_lines));
    std::unique_ptr<Image> image = load_bmp(path.c_str());
    ASSERT_TRUE(image);
    EXPECT_EQ(image->bits_per_pixel(), depth.bits);
    EXPECT_EQ(depth.bits == 24, dynamic_cast<ImageRGB24*>(image.get()) != nullptr);
    EXPECT_EQ(depth.bits == 32, dynamic_cast<ImageRGB32*>(image.get()) != nullptr);
    EXPECT_EQ(pixels_of(*image), flipped(file_lines, 3 * depth.bytes));
}

TEST_P(ColourFile, LoadBmpBwTakesTheFirstBytesAsGrey)
{
    Scratch scratch("bmp_colour_bw_");
    const Depth depth = GetParam();
    const std::vector<uint8_t> file_lines = counting_bytes(3 * 2 * depth.bytes, 1);
    const std::string path = scratch.write("c.bmp", bmp_bytes(3, 2, depth.bits, file_lines));
    std::unique_ptr<ImageBW> image = load_bmp_bw(path.c_str());
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width(), 3u);
    EXPECT_EQ(image->height(), 2u);
    // The first 6 bytes of the pixel area, in lines of 3, bottom line first.
    EXPECT_EQ(pixels_of(*image), (std::vector<uint8_t>{4, 5, 6, 1, 2, 3}));
}

INSTANTIATE_TEST_SUITE_P(Depths, ColourFile, ::testing::Values(Depth{24, 3}, Depth{32, 4}));

TEST(LoadBmp, OtherDepthsGiveNoImageButLoadBmpBwReadsThem)
{
    Scratch scratch("bmp_depth_");
    for (uint16_t bits : {1, 4, 16, 64}) {
        const std::string path = scratch.write("d" + std::to_string(bits) + ".bmp",
                                               bmp_bytes(4, 2, bits, counting_bytes(64)));
        EXPECT_FALSE(load_bmp(path.c_str())) << bits;
        std::unique_ptr<ImageBW> grey = load_bmp_bw(path.c_str());
        ASSERT_TRUE(grey) << bits;
        EXPECT_EQ(pixels_of(*grey), (std::vector<uint8_t>{4, 5, 6, 7, 0, 1, 2, 3}));
    }
}

TEST(LoadBmp, PaddedLinesOfOtherProgramsStayShifted)
{
    Scratch scratch("bmp_padded_");
    // Width 3, each line padded to 4 bytes; the last line's padding is the
    // end of the file.
    const std::vector<uint8_t> padded = {1, 2, 3, 0, 4, 5, 6, 0};
    const std::string path = scratch.write("p.bmp", bmp_bytes(3, 2, 8, padded));
    std::unique_ptr<Image> image = load_bmp(path.c_str());
    ASSERT_TRUE(image);
    // Read as lines of 3: {1,2,3} and {0,4,5}; the second file line is the top.
    EXPECT_EQ(pixels_of(*image), (std::vector<uint8_t>{0, 4, 5, 1, 2, 3}));
}

TEST(LoadBmp, LargerPictureCrossesTheReadChunks)
{
    Scratch scratch("bmp_large_");
    const int32_t width = 1500;
    const int32_t height = 1000;  // 4.5 MB of 24-bit lines
    const std::vector<uint8_t> file_lines = counting_bytes(static_cast<size_t>(width) * height * 3);
    const std::string path = scratch.write("l.bmp", bmp_bytes(width, height, 24, file_lines));
    std::unique_ptr<Image> image = load_bmp(path.c_str());
    ASSERT_TRUE(image);
    EXPECT_EQ(pixels_of(*image), flipped(file_lines, width * 3));
}

TEST(LoadBmp, DataOffsetIsHonoured)
{
    Scratch scratch("bmp_offset_");
    std::vector<uint8_t> bytes = bmp_bytes(2, 1, 8, {0, 0, 0, 9, 8});
    test_files::put_u32(bytes, 10, 57);
    const std::string path = scratch.write("o.bmp", bytes);
    std::unique_ptr<Image> image = load_bmp(path.c_str());
    ASSERT_TRUE(image);
    EXPECT_EQ(pixels_of(*image), (std::vector<uint8_t>{9, 8}));
}

// Files both readers refuse, as if they could not be opened.
struct Refused {
    const char* name;
    std::vector<uint8_t> bytes;
};

std::vector<uint8_t> good_file() { return bmp_bytes(4, 2, 8, counting_bytes(8)); }

std::vector<uint8_t> with_u32(std::vector<uint8_t> bytes, size_t at, uint32_t value)
{
    test_files::put_u32(bytes, at, value);
    return bytes;
}

std::vector<Refused> refused_files()
{
    std::vector<Refused> files;
    // Cut at every header field boundary, and one byte short of the header.
    for (size_t length : {0, 1, 2, 6, 10, 14, 18, 22, 26, 28, 30, 34, 38, 42, 46, 50, 53}) {
        std::vector<uint8_t> bytes = good_file();
        bytes.resize(length);
        files.push_back({"truncated header", bytes});
    }
    std::vector<uint8_t> short_pixels = good_file();
    short_pixels.pop_back();
    files.push_back({"pixel area one byte short", short_pixels});
    files.push_back({"zero width", with_u32(good_file(), 18, 0)});
    files.push_back({"zero height", with_u32(good_file(), 22, 0)});
    files.push_back({"negative width", with_u32(good_file(), 18, static_cast<uint32_t>(-4))});
    files.push_back({"top-down height", with_u32(good_file(), 22, static_cast<uint32_t>(-2))});
    files.push_back({"most negative height", with_u32(good_file(), 22, 0x80000000u)});
    files.push_back({"2^31 pixels", with_u32(with_u32(good_file(), 18, 65536), 22, 32768)});
    files.push_back({"huge both", with_u32(with_u32(good_file(), 18, 0x7FFFFFFF), 22, 0x7FFFFFFF)});
    files.push_back({"offset beyond the end", with_u32(good_file(), 10, 63)});
    files.push_back({"offset near 2^32", with_u32(good_file(), 10, 0xFFFFFFFCu)});
    for (uint32_t compression : {1u, 2u, 4u, 5u})
        files.push_back({"compressed", with_u32(good_file(), 30, compression)});
    return files;
}

class RefusedFile : public ::testing::TestWithParam<Refused> {};

TEST_P(RefusedFile, BothReadersGiveNone)
{
    Scratch scratch("bmp_refused_");
    const std::string path = scratch.write("r.bmp", GetParam().bytes);
    EXPECT_FALSE(load_bmp(path.c_str())) << GetParam().name;
    EXPECT_FALSE(load_bmp_bw(path.c_str())) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(Malformed, RefusedFile, ::testing::ValuesIn(refused_files()));

TEST(LoadBmp, UncompressedEncodingsAndExactLengthAreRead)
{
    Scratch scratch("bmp_accepted_");
    for (uint32_t compression : {0u, 3u, 6u}) {
        const std::string path = scratch.write("a" + std::to_string(compression) + ".bmp",
                                               with_u32(good_file(), 30, compression));
        EXPECT_TRUE(load_bmp(path.c_str())) << compression;
        EXPECT_TRUE(load_bmp_bw(path.c_str())) << compression;
    }
}

TEST(LoadBmp, TwentyFourBitSizeCheckUsesThreeBytesAPixel)
{
    // Enough bytes for an 8-bit reading of the pixel area, not for 24 bits.
    Scratch scratch("bmp_depth_size_");
    const std::string path = scratch.write("s.bmp", bmp_bytes(4, 2, 24, counting_bytes(8)));
    EXPECT_FALSE(load_bmp(path.c_str()));
    EXPECT_TRUE(load_bmp_bw(path.c_str()));
}

TEST(LoadBmp, MissingFileOrFolderGivesNone)
{
    EXPECT_FALSE(load_bmp("bmp_test_no_such_file.bmp"));
    EXPECT_FALSE(load_bmp_bw("bmp_test_no_such_file.bmp"));
    EXPECT_FALSE(load_bmp(""));
    EXPECT_FALSE(load_bmp("."));
    EXPECT_FALSE(load_bmp_bw("."));
}

TEST(BmpReader, ReadsOnlyInsideThePixelArea)
{
    Scratch scratch("bmp_reader_");
    const std::string path = scratch.write("r.bmp", good_file());
    BmpReader reader;
    ASSERT_TRUE(reader.open(path.c_str()));
    std::vector<uint8_t> lines(8);
    EXPECT_TRUE(reader.read_lines(1, 1, lines.data()));
    EXPECT_EQ(lines[0], 4);
    EXPECT_FALSE(reader.read_lines(1, 2, lines.data()));
    EXPECT_FALSE(reader.read_lines(-1, 1, lines.data()));
    EXPECT_FALSE(reader.read_lines(2147483647, 2147483647, lines.data()));
}

// The public suite of good, questionable and bad files: each is read or
// refused as its table says, never with a crash or a stray read.
TEST(BmpSuite, EveryFileIsReadOrRefusedAsListed)
{
    const std::string folder = std::string(KD_TESTDATA_DIR) + "/bmpsuite/";
    std::ifstream table(folder + "expected.tsv");
    if (!table) GTEST_SKIP() << "bmpsuite not found under " << KD_TESTDATA_DIR;

    std::string line;
    std::getline(table, line);  // column names
    int files = 0;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string name, bytes, offset, width, height, bits, compression, expected;
        fields >> name >> bytes >> offset >> width >> height >> bits >> compression >> expected;
        if (name.empty()) continue;
        ++files;
        const std::string path = folder + name;
        std::unique_ptr<Image> image = load_bmp(path.c_str());
        EXPECT_EQ(image != nullptr, expected == "read") << name;
        if (image) {
            EXPECT_EQ(image->width(), static_cast<uint32_t>(std::stol(width))) << name;
            EXPECT_EQ(image->height(), static_cast<uint32_t>(std::stol(height))) << name;
            EXPECT_EQ(image->bits_per_pixel(), static_cast<uint32_t>(std::stol(bits))) << name;
        }
        std::unique_ptr<ImageBW> grey = load_bmp_bw(path.c_str());
        if (image) {
            EXPECT_TRUE(grey) << name;  // fewer bytes needed at 8 bits
        }
        if (grey) {
            EXPECT_EQ(grey->width(), static_cast<uint32_t>(std::stol(width))) << name;
            EXPECT_EQ(grey->height(), static_cast<uint32_t>(std::stol(height))) << name;
        }
    }
    EXPECT_EQ(files, 91);
}

}  // namespace
