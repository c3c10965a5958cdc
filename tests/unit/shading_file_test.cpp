#include "correction/shading_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

namespace {

// A file in the test's working directory, removed afterwards.
class ScratchFile {
public:
    explicit ScratchFile(const std::string& name) : path_("shading_file_test_" + name) {}
    ~ScratchFile() { std::remove(path_.c_str()); }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    const char* path() const { return path_.c_str(); }
    void write(const std::string& bytes) const { std::ofstream(path_, std::ios::binary) << bytes; }

private:
    std::string path_;
};

std::unique_ptr<FloatMap> map_of(int32_t width, int32_t height, const std::vector<float>& values)
{
    std::unique_ptr<FloatMap> map(new FloatMap(width, height));
    for (size_t k = 0; k < values.size(); ++k) map->data()[k] = values[k];
    return map;
}

struct ReadCase {
    const char* name;
    const char* text;
    int32_t width;
    int32_t height;
    std::vector<float> values;
};

class ReadShadingMapTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadShadingMapTest, ReadsTheMap)
{
    const ReadCase& c = GetParam();
    ScratchFile file(c.name);
    file.write(c.text);
    const ShadingMapRead read = read_shading_map(file.path());
    EXPECT_FALSE(read.failed);
    ASSERT_TRUE(read.map);
    ASSERT_EQ(read.map->width(), c.width);
    ASSERT_EQ(read.map->height(), c.height);
    ASSERT_EQ(read.map->count(), static_cast<int32_t>(c.values.size()));
    for (size_t k = 0; k < c.values.size(); ++k)
        EXPECT_EQ(read.map->data()[k], c.values[k]) << "value " << k;
}

const float inf = std::numeric_limits<float>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Files, ReadShadingMapTest,
    ::testing::Values(
        ReadCase{"short_row", "3; 2;\r\n1.5; 2.5\r\n", 3, 2, {1.5f, 2.5f, 0, 0, 0, 0}},
        ReadCase{"long_row", "2; 1;\n1;2;3;4\n", 2, 1, {1, 2}},
        ReadCase{"extra_lines", "1; 2;\n1\n2\n3\n", 1, 2, {1, 2}},
        ReadCase{"comment_between_rows", "2; 2;\n1;2\n# 9;9\n3;4\n", 2, 2, {1, 2, 3, 4}},
        ReadCase{"blank_line_ends_map", "2; 2;\n1;2\n  \t\r\n3;4\n", 2, 2, {1, 2, 0, 0}},
        ReadCase{"lf_and_tabs", "\t2; 1;\n\t 0.5;\t-0.25 ;\n", 2, 1, {0.5f, -0.25f}},
        ReadCase{"crlf_and_tabs", "\t2; 1;\r\n\t 0.5;\t-0.25 ;\r\n", 2, 1, {0.5f, -0.25f}},
        ReadCase{"comment_before_header", "# by hand\n1; 1;\n7\n", 1, 1, {7}},
        ReadCase{"hash_inside_a_line", "1; 1;\n3#4\n", 1, 1, {3}},
        ReadCase{"comma_is_no_separator", "1; 1;\n1,5\n", 1, 1, {1}},
        ReadCase{"not_a_number", "2; 1;\nabc;;\n", 2, 1, {0, 0}},
        ReadCase{"six_decimals_to_float", "1; 1;\n1.100000; \n", 1, 1, {1.1f}},
        ReadCase{"too_large", "2; 1;\n1e400; -1e39\n", 2, 1, {inf, -inf}},
        ReadCase{"extra_header_fields", "1; 1; 9; 9;\n2\n", 1, 1, {2}},
        ReadCase{"header_only", "2; 2;", 2, 2, {0, 0, 0, 0}},
        ReadCase{"header_without_height", "3;\n1;2;3\n", 3, 0, {}},
        ReadCase{"no_columns", "0; 5;\r\n", 0, 5, {}}),
    [](const ::testing::TestParamInfo<ReadCase>& info) { return std::string(info.param.name); });

struct NoMapCase {
    const char* name;
    const char* text;
    bool failed;
};

class ReadNoShadingMapTest : public ::testing::TestWithParam<NoMapCase> {};

TEST_P(ReadNoShadingMapTest, GivesNoMap)
{
    ScratchFile file(GetParam().name);
    file.write(GetParam().text);
    const ShadingMapRead read = read_shading_map(file.path());
    EXPECT_FALSE(read.map);
    EXPECT_EQ(read.failed, GetParam().failed);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ReadNoShadingMapTest,
    ::testing::Values(NoMapCase{"empty", "", false},
                      NoMapCase{"only_comments", "# 1; 1;\n#\n", false},
                      NoMapCase{"blank_first", "\n1; 1;\n1.0\n", false},
                      NoMapCase{"negative_width", "-1; 5;\n", true},
                      NoMapCase{"negative_height", "5; -1;\n", true},
                      NoMapCase{"both_negative", "-2; -3;\n1;2\n", true},
                      NoMapCase{"product_beyond_32_bits", "65536; 32768;\n", true},
                      NoMapCase{"product_wraps_positive", "65536; 65537;\n", true},
                      NoMapCase{"width_beyond_32_bits", "99999999999; 2;\n", true}),
    [](const ::testing::TestParamInfo<NoMapCase>& info) { return std::string(info.param.name); });

TEST(ReadShadingMap, MissingFileFails)
{
    const ShadingMapRead read = read_shading_map("shading_file_test_does_not_exist");
    EXPECT_TRUE(read.failed);
    EXPECT_FALSE(read.map);
}

// Every value comes back as its six-decimal text read as a float.
TEST(ShadingMapFile, RoundTripKeepsSizeAndSixDecimals)
{
    const std::vector<float> values = {1.1f,  -2.5f,       0.0000004f, 123456.789f,
                                       1e-7f, 1.0f / 3,    2.0f / 3,   199.99999f,
                                       0.0f,  -0.0000006f, 85.0f,      1e20f};
    const std::unique_ptr<FloatMap> map = map_of(4, 3, values);
    ScratchFile file("round_trip");
    ASSERT_TRUE(write_shading_map(*map, file.path()));
    const ShadingMapRead read = read_shading_map(file.path());
    ASSERT_TRUE(read.map);
    ASSERT_EQ(read.map->width(), 4);
    ASSERT_EQ(read.map->height(), 3);
    for (size_t k = 0; k < values.size(); ++k) {
        char text[64];
        std::snprintf(text, sizeof text, "%f", static_cast<double>(values[k]));
        EXPECT_EQ(read.map->data()[k], static_cast<float>(std::strtod(text, nullptr)))
            << "value " << k << " written as " << text;
    }
    EXPECT_EQ(read.map->get(0, 0), 1.1f);
}

// The line reader hands over a line of more than 16383 characters in pieces,
// and each piece takes the place of a row.
TEST(ReadShadingMap, OverlongLineIsReadInPieces)
{
    std::string text = "2000; 2;\n";
    for (int i = 0; i < 2000; ++i) text += "1.000000; ";
    text += "\n";
    ScratchFile file("overlong");
    file.write(text);
    const ShadingMapRead read = read_shading_map(file.path());
    ASSERT_TRUE(read.map);
    // 16383 characters hold 1638 fields and the start of the next ("1.0").
    EXPECT_EQ(read.map->get(1638, 0), 1.0f);
    EXPECT_EQ(read.map->get(1639, 0), 0.0f);
    // The rest of the line starts inside a field: "00000; 1.000000; ..."
    EXPECT_EQ(read.map->get(0, 1), 0.0f);
    EXPECT_EQ(read.map->get(1, 1), 1.0f);
}

}  // namespace
