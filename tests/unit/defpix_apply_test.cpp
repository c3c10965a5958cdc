#include "correction/defpix_apply.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "correction/defpix.h"
#include "lib/bmp.h"
#include "lib/image.h"

namespace {

const char* const input_name = "defpix_apply_test_in.bmp";
const char* const output_name = "defpix_apply_test_out.bmp";
constexpr int32_t width = 8;
constexpr int32_t height = 12;

// Every pixel its own value, so any wrong source shows.
int original(int32_t x, int32_t y)
{
    return 10 + y * width + x;
}

void write_input()
{
    ImageBW image(width, height);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) image.set_pixel(x, y, static_cast<uint8_t>(original(x, y)));
    ASSERT_TRUE(save_bmp(image, input_name));
}

using Changes = std::vector<std::vector<int>>;  // {x, y, value}

struct ApplyCase {
    const char* name;
    std::vector<DefpixEntry> entries;
    bool mark;
    Changes changes;  // every pixel not listed keeps its original value
};

class ApplyDefpixMap : public ::testing::TestWithParam<ApplyCase> {};

TEST_P(ApplyDefpixMap, ChangesExactlyTheExpectedPixels)
{
    const ApplyCase c = GetParam();
    write_input();
    std::remove(output_name);
    DefpixTable table;
    for (const DefpixEntry& e : c.entries) table.defpix_add(e.x, e.y, e.kind);

    testing::internal::CaptureStdout();
    apply_defpix_map(table, input_name, output_name, c.mark);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              std::string("apply_defpix_map('") + input_name + "', '" + output_name + "')\n");

    std::unique_ptr<ImageBW> result = load_bmp_bw(output_name);
    ASSERT_TRUE(result);
    ASSERT_EQ(result->width(), static_cast<uint32_t>(width));
    ASSERT_EQ(result->height(), static_cast<uint32_t>(height));
    std::vector<std::vector<int>> expected(height, std::vector<int>(width));
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) expected[y][x] = original(x, y);
    for (const std::vector<int>& change : c.changes) expected[change[1]][change[0]] = change[2];
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            EXPECT_EQ(result->get_pixel(x, y), expected[y][x]) << "at " << x << ", " << y;
}

Changes whole_column(int32_t x, int value_or_left)
{
    Changes changes;
    for (int32_t y = 0; y < height; ++y)
        changes.push_back({x, y, value_or_left < 0 ? original(x - 1, y) : value_or_left});
    return changes;
}

INSTANTIATE_TEST_SUITE_P(
    Entries, ApplyDefpixMap,
    ::testing::Values(
        ApplyCase{"EmptyTable", {}, false, {}},
        ApplyCase{"PixelTakesLeftNeighbour", {{5, 10, 0}}, false, {{5, 10, original(4, 10)}}},
        ApplyCase{"PixelMarked", {{5, 10, 0}}, true, {{5, 10, 255}}},
        ApplyCase{"NegativeKindIsAPixel", {{5, 10, -2}}, false, {{5, 10, original(4, 10)}}},
        ApplyCase{"PixelInColumnZeroBecomesZero", {{0, 3, 1}}, false, {{0, 3, 0}}},
        ApplyCase{"ColumnZeroBecomesZero", {{0, 99, 4}}, false, whole_column(0, 0)},
        ApplyCase{"ColumnZeroMarked", {{0, 0, 4}}, true, whole_column(0, 255)},
        ApplyCase{"ColumnIgnoresItsY", {{3, -50, 4}}, false, whole_column(3, -1)},
        ApplyCase{"LeftFirstBothTakeTheOuterValue",
                  {{5, 10, 0}, {6, 10, 0}},
                  false,
                  {{5, 10, original(4, 10)}, {6, 10, original(4, 10)}}},
        ApplyCase{"RightFirstTakesTheUncorrectedLeft",
                  {{6, 10, 0}, {5, 10, 0}},
                  false,
                  {{6, 10, original(5, 10)}, {5, 10, original(4, 10)}}},
        ApplyCase{"OutsideEntriesChangeNothing",
                  {{width, 0, 0}, {-1, 0, 0}, {2, height, 0}, {2, -1, 0}, {width, 5, 4},
                   {INT32_MIN, 0, 4}, {INT32_MIN, 1, 0}, {INT32_MAX, 2, 0}},
                  false,
                  {}},
        ApplyCase{"LastColumnMarked", {{width - 1, 0, 4}}, true, whole_column(width - 1, 255)}),
    [](const ::testing::TestParamInfo<ApplyCase>& info) { return info.param.name; });

TEST(ApplyDefpixMap, UnreadableInputWritesNothing)
{
    DefpixTable table;
    std::remove(output_name);
    std::remove("defpix_apply_test_none.bmp");
    testing::internal::CaptureStdout();
    apply_defpix_map(table, "defpix_apply_test_none.bmp", output_name, true);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              std::string("apply_defpix_map('defpix_apply_test_none.bmp', '") + output_name +
                  "')\ncannot read image 'defpix_apply_test_none.bmp'\n");
    FILE* written = std::fopen(output_name, "rb");
    EXPECT_EQ(written, nullptr);
    if (written) std::fclose(written);
}

TEST(ApplyDefpixMap, UnwritableOutputIsReported)
{
    DefpixTable table;
    write_input();
    testing::internal::CaptureStdout();
    apply_defpix_map(table, input_name, "no_such_folder/out.bmp", false);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              std::string("apply_defpix_map('") + input_name +
                  "', 'no_such_folder/out.bmp')\ncannot write image 'no_such_folder/out.bmp'\n");
}

}  // namespace
