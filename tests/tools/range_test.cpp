// Frame ranges of the capture program: a range split anywhere on its frame
// grid joins back into the whole range, frame for frame.
#include <gtest/gtest.h>

#include <vector>

#include "common/common.h"

namespace {

using tools::range_times;

TEST(range_times, halves_split_on_the_grid_join_into_the_whole_range) {
    const struct {
        double from, seam, to;
        int fps;
    } cases[] = {
        {185.0, 185.5, 186.0, 20}, {0.0, 0.1, 0.3, 10},
        {60.0, 60.25, 61.5, 60},   {240.0, 241.0, tools::show_length, 24},
        {12.5, 12.75, 13.0, 4},    {100.0, 100.1, 100.2, 30},
    };
    for (const auto& c : cases) {
        std::vector<double> joined = range_times(c.from, c.seam, c.fps);
        const std::vector<double> second = range_times(c.seam, c.to, c.fps);
        joined.insert(joined.end(), second.begin(), second.end());
        EXPECT_EQ(joined, range_times(c.from, c.to, c.fps)) << c.from << " " << c.seam << " " << c.to;
    }
}

TEST(range_times, leaves_out_the_end_but_keeps_the_shows_last_frame) {
    const std::vector<double> clip = range_times(60.0, 61.5, 20);
    ASSERT_EQ(clip.size(), 30u);
    EXPECT_EQ(clip.front(), 60.0);
    EXPECT_EQ(clip.back(), 1229.0 / 20);

    const std::vector<double> show = range_times(0.0, tools::show_length, 60);
    ASSERT_EQ(show.size(), 14551u);
    EXPECT_EQ(show.back(), tools::show_length);

    // A range shorter than a step still holds the frame at its start.
    EXPECT_EQ(range_times(30.0, 30.001, 60), std::vector<double>{30.0});
}

} // namespace
