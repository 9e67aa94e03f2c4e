// The cue table's lookup. Pure data and one function: also built with
// Emscripten and run under Node (tests/wasm).
#include <gtest/gtest.h>

#include "runtime/runtime.h"

namespace {

class cue_table : public ::testing::Test {
  protected:
    void SetUp() override { schedule_init(table); }
    schedule_table table;
};

TEST_F(cue_table, shared_bounds_take_the_later_row) {
    EXPECT_EQ(schedule_lookup(table, 80.0), 9);
    EXPECT_EQ(schedule_lookup(table, 85.14), 2);
    EXPECT_EQ(schedule_lookup(table, 92.85), 3);
    EXPECT_EQ(schedule_lookup(table, 105.01), 5);
    EXPECT_EQ(schedule_lookup(table, 227.281), 3);
}

TEST_F(cue_table, values_across_the_show) {
    EXPECT_EQ(schedule_lookup(table, 0.0), 9);
    EXPECT_EQ(schedule_lookup(table, 80.0001), 1);
    EXPECT_EQ(schedule_lookup(table, 98.0), 3);
    EXPECT_EQ(schedule_lookup(table, 104.94), 4);
    EXPECT_EQ(schedule_lookup(table, 105.134), 5);
    EXPECT_EQ(schedule_lookup(table, 226.281), 1);
    EXPECT_EQ(schedule_lookup(table, 229.715), 3);
}

TEST_F(cue_table, gaps_and_times_outside_the_show_give_zero) {
    for (double t : {100.0, 150.0, 230.0, 98.0001, 242.5, -0.001, -5.0})
        EXPECT_EQ(schedule_lookup(table, t), 0) << t;
}

TEST_F(cue_table, rows_after_the_show_stay_in_the_table) {
    EXPECT_EQ(table.count, 31);
    EXPECT_EQ(schedule_lookup(table, 250.0), 2);
    EXPECT_EQ(schedule_lookup(table, 270.0), 21);
}

} // namespace
