#include "correction/defpix.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <vector>

namespace {

TEST(DefpixTable, FullTableFailsOnceLoudlyThenQuietlyUntilAnAddSucceeds)
{
    DefpixTable table;
    for (int32_t i = 0; i < defpix_table_capacity; ++i)
        ASSERT_TRUE(table.defpix_add(i % 1000, i / 1000, 0));

    testing::internal::CaptureStdout();
    EXPECT_FALSE(table.defpix_add(-1, -1, 0));
    EXPECT_FALSE(table.defpix_add(-2, -1, 0));
    EXPECT_FALSE(table.defpix_add(0, 0, 0));  // present already, but the table is full
    clear_defpix_map(table);
    EXPECT_TRUE(table.table_full_reported());  // clearing alone does not re-arm
    EXPECT_TRUE(table.defpix_add(-1, -1, 0));
    EXPECT_FALSE(table.table_full_reported());
    for (int32_t i = 1; i < defpix_table_capacity; ++i) table.defpix_add(i, 0, 0);
    EXPECT_FALSE(table.defpix_add(-5, -5, 0));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "defpix_add failed - table full\n"
              "clear_defpix_map()\n"
              "defpix_add failed - table full\n");
    EXPECT_EQ(table.defpix_count(), defpix_table_capacity);
    EXPECT_EQ(table.entry(0).x, -1);
}

// The table against a plain list and a set of its positions, on random adds
// with many repeats (of other kinds), extreme coordinates and clears in
// between, so a stale or broken index shows as a wrong answer or order.
TEST(DefpixTable, KeepsFirstEntryOfEachPositionInOrderAcrossClears)
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
    ASSERT_GT(model.size(), 1000u);
    for (size_t i = 0; i < model.size(); ++i) {
        const DefpixEntry& held = table.entry(static_cast<int32_t>(i));
        ASSERT_EQ(held.x, model[i].x) << i;
        ASSERT_EQ(held.y, model[i].y) << i;
        ASSERT_EQ(held.kind, model[i].kind) << i;
    }
}

}  // namespace
