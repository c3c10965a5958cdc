#include "correction/defpix_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "correction/defpix.h"

namespace {

const char* const map_name = "defpix_file_test.map";

void write_file(const char* name, const std::string& bytes)
{
    std::ofstream(name, std::ios::binary) << bytes;
}

std::string read_file(const char* name)
{
    std::ifstream in(name, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::string entries_text(const DefpixTable& table)
{
    std::string text;
    for (const DefpixEntry& e : table)
        text += std::to_string(e.x) + "," + std::to_string(e.y) + "," + std::to_string(e.kind) + " ";
    return text;
}

// Loads `bytes` as a map file into `table`; returns what was printed.
std::string load(DefpixTable& table, const std::string& bytes)
{
    write_file(map_name, bytes);
    testing::internal::CaptureStdout();
    load_defpix_map(table, map_name);
    return testing::internal::GetCapturedStdout();
}

std::string counts(int pixels, int columns)
{
    return std::string("load_defpix_map('") + map_name + "')\n" + "defpix_pixel_cnt " +
           std::to_string(pixels) + ", defpix_column_cnt " + std::to_string(columns) + "\n";
}

struct LoadCase {
    const char* name;
    std::string file;
    std::string entries;
    int pixels;
    int columns;
};

class LoadDefpixMap : public ::testing::TestWithParam<LoadCase> {};

TEST_P(LoadDefpixMap, ReadsTheLinesItShould)
{
    const LoadCase c = GetParam();
    DefpixTable table;
    EXPECT_EQ(load(table, c.file), counts(c.pixels, c.columns));
    EXPECT_EQ(entries_text(table), c.entries);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, LoadDefpixMap,
    ::testing::Values(
        LoadCase{"CommentPixelColumnAndKindAboveColumn", "# map\r\n10;20;0\r\n30;0;4\r\n40;50;7\r\n",
                 "10,20,0 30,0,4 ", 1, 1},
        LoadCase{"BlankLineEndsReading", "1;2;0\n\n3;4;0\n", "1,2,0 ", 1, 0},
        LoadCase{"WhiteSpaceLineEndsReading", "1;2;0\r\n \t \r\n3;4;0\r\n", "1,2,0 ", 1, 0},
        LoadCase{"TrimmedBothEnds", " 10;20;1\t\n", "10,20,1 ", 1, 0},
        LoadCase{"QuotedField", "\"12\";34;0\n", "12,34,0 ", 1, 0},
        LoadCase{"MissingFieldsAreZero", "5;7\n5\n;;4\n", "5,7,0 5,0,0 0,0,4 ", 2, 1},
        LoadCase{"NonNumericIsZero", "a;b;c\n", "0,0,0 ", 1, 0},
        LoadCase{"NegativeKindIsAPixel", "-3;-4;-9\n", "-3,-4,-9 ", 1, 0},
        LoadCase{"ExtraFieldsIgnored", "1;2;3;4;5\n", "1,2,3 ", 1, 0},
        LoadCase{"HashInsideALineIsOrdinary", "7#;8;0\n", "7,8,0 ", 1, 0},
        LoadCase{"IndentedComment", "  # 1;2;0\n3;4;0\n", "3,4,0 ", 1, 0},
        LoadCase{"NoLineFeedAtTheEnd", "1;2;4", "1,2,4 ", 0, 1},
        LoadCase{"DuplicateCountsButKeepsFirst", "1;2;4\n1;2;0\n", "1,2,4 ", 1, 1},
        LoadCase{"EmptyFile", "", "", 0, 0}),
    [](const ::testing::TestParamInfo<LoadCase>& info) { return info.param.name; });

TEST(LoadDefpixMap, MergesIntoTheTableAndAddsNothingTheSecondTime)
{
    DefpixTable table;
    table.defpix_add(30, 0, 1);
    const std::string file = "10;20;0\n30;0;4\n";
    EXPECT_EQ(load(table, file), counts(1, 1));
    EXPECT_EQ(load(table, file), counts(1, 1));
    EXPECT_EQ(entries_text(table), "30,0,1 10,20,0 ");
}

TEST(LoadDefpixMap, MissingFileFailsAndChangesNothing)
{
    DefpixTable table;
    table.defpix_add(1, 1, 0);
    std::remove("defpix_file_test.none");
    testing::internal::CaptureStdout();
    load_defpix_map(table, "defpix_file_test.none");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "load_defpix_map('defpix_file_test.none')\n"
              "load_defpix_map('defpix_file_test.none') - failed\n");
    EXPECT_EQ(table.defpix_count(), 1);
}

TEST(LoadDefpixMap, FullTableReportsOnceAndCountsEveryLine)
{
    DefpixTable table;
    for (int32_t i = 0; i < defpix_table_capacity - 1; ++i) table.defpix_add(i, -1, 0);
    EXPECT_EQ(load(table, "1;1;0\n2;2;0\n3;3;4\n4;4;0\n"),
              std::string("load_defpix_map('") + map_name + "')\n" +
                  "defpix_add failed - table full\n"
                  "defpix_pixel_cnt 3, defpix_column_cnt 1\n");
    EXPECT_EQ(table.defpix_count(), defpix_table_capacity);
    EXPECT_EQ(table.entry(defpix_table_capacity - 1).x, 1);
}

TEST(SaveDefpixMap, WritesOneCrLfLinePerEntryInTableOrder)
{
    DefpixTable table;
    table.defpix_add(120, 45, 0);
    table.defpix_add(300, 0, 4);
    table.defpix_add(-1, INT32_MIN, -2);
    testing::internal::CaptureStdout();
    save_defpix_map(table, map_name);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), std::string("save_defpix_map('") + map_name + "')\n");
    EXPECT_EQ(read_file(map_name), "120;45;0\r\n300;0;4\r\n-1;-2147483648;-2\r\n");
}

TEST(SaveDefpixMap, EmptyTableGivesEmptyFile)
{
    DefpixTable table;
    write_file(map_name, "old\n");
    testing::internal::CaptureStdout();
    save_defpix_map(table, map_name);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(read_file(map_name), "");
}

TEST(SaveDefpixMap, UncreatableFileFails)
{
    DefpixTable table;
    table.defpix_add(1, 2, 0);
    testing::internal::CaptureStdout();
    save_defpix_map(table, "no_such_folder/x.map");
    save_defpix_map(table, "");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "save_defpix_map('no_such_folder/x.map')\n"
              "save_defpix_map('no_such_folder/x.map') - failed\n"
              "save_defpix_map('')\n"
              "save_defpix_map('') - failed\n");
}

TEST(DefpixMapFile, RoundTripGivesTheSameEntriesAndBytes)
{
    DefpixTable table;
    const int32_t kinds[] = {0, 1, 2, 3, 4, -5};
    for (int32_t i = 0; i < 3000; ++i) table.defpix_add(i * 7 % 1001 - 17, i / 3, kinds[i % 6]);
    testing::internal::CaptureStdout();
    save_defpix_map(table, map_name);
    const std::string first = read_file(map_name);
    DefpixTable reread;
    load_defpix_map(reread, map_name);
    save_defpix_map(reread, "defpix_file_test_2.map");
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(entries_text(reread), entries_text(table));
    EXPECT_EQ(read_file("defpix_file_test_2.map"), first);
    std::remove("defpix_file_test_2.map");
}

}  // namespace
