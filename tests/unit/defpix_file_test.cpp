#include "correction/defpix_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>

#include "correction/defpix.h"

namespace {

const std::string map_name = "defpix_file_test.map";

std::string read_file(const std::string& name)
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
        text +=
            std::to_string(e.x) + "," + std::to_string(e.y) + "," + std::to_string(e.kind) + " ";
    return text;
}

// Loads `bytes` as a map file; returns what was printed.
std::string load(DefpixTable& table, const std::string& bytes)
{
    std::ofstream(map_name, std::ios::binary) << bytes;
    testing::internal::CaptureStdout();
    load_defpix_map(table, map_name.c_str());
    return testing::internal::GetCapturedStdout();
}

std::string counts(int pixels, int columns)
{
    return "load_defpix_map('" + map_name + "')\ndefpix_pixel_cnt " + std::to_string(pixels) +
           ", defpix_column_cnt " + std::to_string(columns) + "\n";
}

struct LoadCase {
    const char* name;
    std::string file;
    std::string entries;
    int pixels;
    int columns;
};

std::ostream& operator<<(std::ostream& out, const LoadCase& c) { return out << c.name; }

class LoadDefpixMap : public ::testing::TestWithParam<LoadCase> {};

TEST_P(LoadDefpixMap, ReadsTheLinesItShould)
{
    const LoadCase c = GetParam();
    DefpixTable table;
    table.defpix_add(99, 99, 3);
    EXPECT_EQ(load(table, c.file), counts(c.pixels, c.columns));
    EXPECT_EQ(entries_text(table), "99,99,3 " + c.entries);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, LoadDefpixMap,
    ::testing::Values(
        LoadCase{"CommentPixelColumnAndIgnoredKind", "# map\r\n10;20;0\r\n30;0;4\r\n40;50;7\r\n",
                 "10,20,0 30,0,4 ", 1, 1},
        LoadCase{"BlankLineEndsReading", "1;2;0\n\n3;4;0\n", "1,2,0 ", 1, 0},
        LoadCase{"WhiteSpaceLineEndsReading", "1;2;0\r\n \t \r\n3;4;0\r\n", "1,2,0 ", 1, 0},
        LoadCase{"TrimmedBothEnds", " 10;20;1\t\n  # 1;2;0\n", "10,20,1 ", 1, 0},
        LoadCase{"QuotedFields", "\"12\";34;0\n\"5\";\"6\";\"4\"\n", "12,34,0 5,6,4 ", 1, 1},
        LoadCase{"MissingOrNonNumericFieldsAreZero", "5;7\n5\nx;y;z\n;;4\n", "5,7,0 5,0,0 0,0,0 ",
                 3, 1},
        LoadCase{"NegativeKindIsAPixelAndExtraFieldsIgnored", "-3;-4;-9;4\n1#;2;3;4;5",
                 "-3,-4,-9 1,2,3 ", 2, 0},
        LoadCase{"PresentPositionsCountButKeepTheirEntry", "99;99;4\n1;2;4\n1;2;0\n", "1,2,4 ", 1,
                 2},
        LoadCase{"NumbersBeyond32BitsStopAtTheLimit",
                 "4294967297;-4294967297;0\n1;2;4294967300\n3;4;-4294967296\n",
                 "2147483647,-2147483648,0 3,4,-2147483648 ", 2, 0},
        LoadCase{"EmptyFile", "", "", 0, 0}),
    [](const ::testing::TestParamInfo<LoadCase>& info) { return info.param.name; });

TEST(LoadDefpixMap, FullTableReportsOnceAndCountsEveryLine)
{
    DefpixTable table;
    for (int32_t i = 0; i < defpix_table_capacity - 1; ++i) table.defpix_add(i, -1, 0);
    EXPECT_EQ(load(table, "1;1;0\n2;2;0\n3;3;4\n4;4;0\n"),
              "load_defpix_map('" + map_name + "')\ndefpix_add failed - table full\n" +
                  "defpix_pixel_cnt 3, defpix_column_cnt 1\n");
    EXPECT_EQ(table.entry(defpix_table_capacity - 1).x, 1);
}

TEST(SaveDefpixMap, WritesOneCrLfLinePerEntryInTableOrder)
{
    DefpixTable table;
    table.defpix_add(120, 45, 0);
    table.defpix_add(300, 0, 4);
    table.defpix_add(-1, INT32_MIN, -2);
    testing::internal::CaptureStdout();
    save_defpix_map(table, map_name.c_str());
    table.clear();
    save_defpix_map(table, "no_such_folder/x.map");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "save_defpix_map('" + map_name +
                  "')\n"
                  "save_defpix_map('no_such_folder/x.map')\n"
                  "save_defpix_map('no_such_folder/x.map') - failed\n");
    EXPECT_EQ(read_file(map_name), "120;45;0\r\n300;0;4\r\n-1;-2147483648;-2\r\n");
}

// Written a piece at a time: the lines of a full table are printf's.
TEST(SaveDefpixMap, FullTableAsPrintfWritesIt)
{
    DefpixTable table;
    std::string expected;
    char line[64];
    for (int32_t i = 0; i < defpix_table_capacity; ++i) {
        const int32_t x = i * 21467 - 1000000000;
        const int32_t y = i % 2 ? INT32_MAX - i : INT32_MIN + i;
        const int32_t kind = i % 7 - 3;
        table.defpix_add(x, y, kind);
        std::snprintf(line, sizeof line, "%d;%d;%d\r\n", x, y, kind);
        expected += line;
    }
    testing::internal::CaptureStdout();
    EXPECT_TRUE(save_defpix_map(table, map_name.c_str()));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(read_file(map_name), expected);
}

}  // namespace
