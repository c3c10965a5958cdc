#include "correction/defpix.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

std::vector<DefpixEntry> entries_of(const DefpixTable& table)
{
    return std::vector<DefpixEntry>(table.begin(), table.end());
}

bool same(const DefpixEntry& a, const DefpixEntry& b)
{
    return a.x == b.x && a.y == b.y && a.kind == b.kind;
}

// Adds distinct positions until the table holds `count` entries.
void fill(DefpixTable& table, int32_t count)
{
    for (int32_t i = table.defpix_count(); i < count; ++i) ASSERT_TRUE(table.defpix_add(i % 1000, i / 1000, 0));
}

TEST(DefpixTable, KeepsEntriesInOrderOfAdding)
{
    DefpixTable table;
    EXPECT_TRUE(table.defpix_add(5, 10, 0));
    EXPECT_TRUE(table.defpix_add(300, 0, 4));
    EXPECT_TRUE(table.defpix_add(-7, 2, -3));
    const std::vector<DefpixEntry> expected = {{5, 10, 0}, {300, 0, 4}, {-7, 2, -3}};
    ASSERT_EQ(table.defpix_count(), 3);
    for (int32_t i = 0; i < 3; ++i) EXPECT_TRUE(same(table.entry(i), expected[i])) << i;
}

class DuplicatePosition : public ::testing::TestWithParam<int32_t> {};

TEST_P(DuplicatePosition, KeepsTheFirstEntryAndItsKind)
{
    DefpixTable table;
    table.defpix_add(1, 2, 0);
    table.defpix_add(3, 4, 4);
    EXPECT_TRUE(table.defpix_add(1, 2, GetParam()));
    EXPECT_TRUE(table.defpix_add(3, 4, GetParam()));
    ASSERT_EQ(table.defpix_count(), 2);
    EXPECT_EQ(table.entry(0).kind, 0);
    EXPECT_EQ(table.entry(1).kind, 4);
}

INSTANTIATE_TEST_SUITE_P(AnyKind, DuplicatePosition, ::testing::Values(-1, 0, 3, 4));

TEST(DefpixTable, SameColumnOtherLineIsAnotherEntry)
{
    DefpixTable table;
    table.defpix_add(300, 0, 4);
    EXPECT_TRUE(table.defpix_add(300, 1, 4));
    EXPECT_TRUE(table.defpix_add(0, 300, 0));
    EXPECT_EQ(table.defpix_count(), 3);
}

TEST(DefpixTable, FullTableFailsOnceLoudlyThenQuietlyUntilCleared)
{
    DefpixTable table;
    fill(table, defpix_table_capacity);
    ASSERT_EQ(table.defpix_count(), defpix_table_capacity);

    testing::internal::CaptureStdout();
    EXPECT_FALSE(table.defpix_add(-1, -1, 0));
    EXPECT_FALSE(table.defpix_add(-2, -1, 0));
    EXPECT_FALSE(table.defpix_add(0, 0, 0));  // present already, but the table is full
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "defpix_add failed - table full\n");
    EXPECT_EQ(table.defpix_count(), defpix_table_capacity);
    EXPECT_TRUE(table.table_full_reported());

    testing::internal::CaptureStdout();
    clear_defpix_map(table);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "clear_defpix_map()\n");
    EXPECT_EQ(table.defpix_count(), 0);
    EXPECT_TRUE(table.table_full_reported());  // clearing alone does not re-arm

    EXPECT_TRUE(table.defpix_add(-1, -1, 0));
    EXPECT_FALSE(table.table_full_reported());
    fill(table, defpix_table_capacity);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(table.defpix_add(-5, -5, 0));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "defpix_add failed - table full\n");
}

TEST(DefpixTable, ClearForgetsEveryPosition)
{
    DefpixTable table;
    // Neighbouring positions, so many probe chains run into each other.
    for (int32_t x = 0; x < 300; ++x)
        for (int32_t y = 0; y < 200; ++y) table.defpix_add(x, y, 1);
    table.clear();
    for (int32_t y = 199; y >= 0; --y)
        for (int32_t x = 299; x >= 0; --x) ASSERT_TRUE(table.defpix_add(x, y, 2));
    ASSERT_EQ(table.defpix_count(), 60000);
    EXPECT_TRUE(same(table.entry(0), DefpixEntry{299, 199, 2}));
    for (int32_t x = 0; x < 300; ++x) table.defpix_add(x, 0, 3);
    EXPECT_EQ(table.defpix_count(), 60000);
}

// The table against a plain list with a set of its positions, on random adds
// with many repeats, extreme coordinates and clears in between.
TEST(DefpixTable, BehavesLikeALinearScan)
{
    std::mt19937 random(7);
    std::uniform_int_distribution<int32_t> small(-20, 20);
    std::uniform_int_distribution<int32_t> action(0, 9999);
    const int32_t extremes[] = {INT32_MIN, -1, 0, 1, INT32_MAX};

    DefpixTable table;
    std::vector<DefpixEntry> model;
    std::set<std::pair<int32_t, int32_t>> positions;
    for (int32_t step = 0; step < 200000; ++step) {
        const int32_t what = action(random);
        if (what == 0) {
            table.clear();
            model.clear();
            positions.clear();
            continue;
        }
        int32_t x = small(random);
        int32_t y = small(random);
        if (what < 50) {
            x = extremes[what % 5];
            y = extremes[(what / 5) % 5];
        } else if (what >= 9000) {
            x = step;  // fresh positions, so the table keeps growing
        }
        const int32_t kind = what % 5;
        if (positions.insert({x, y}).second) model.push_back({x, y, kind});
        ASSERT_TRUE(table.defpix_add(x, y, kind)) << step;
        ASSERT_EQ(table.defpix_count(), static_cast<int32_t>(model.size())) << step;
    }
    const std::vector<DefpixEntry> held = entries_of(table);
    ASSERT_EQ(held.size(), model.size());
    for (size_t i = 0; i < model.size(); ++i) ASSERT_TRUE(same(held[i], model[i])) << i;
}

}  // namespace
