// The viewer's keys: where seeks and frame steps land (on the frame grid,
// inside the show) and when a range can loop.
#include <gtest/gtest.h>

#include "platform/platform.h"
#include "viewer.h"

namespace {

using viewer::command;

constexpr unsigned comma = 0xBC, period = 0xBE, home = 0x24;

TEST(viewer_keys, seeks_and_frame_steps_stay_on_the_grid_and_inside_the_show) {
    viewer::controls c;
    EXPECT_EQ(viewer::on_key(c, platform::vk_right, false, 30.0).to, 31.0);
    EXPECT_EQ(viewer::on_key(c, platform::vk_right, true, 30.0).to, 40.0);
    EXPECT_EQ(viewer::on_key(c, platform::vk_left, true, 4.0).to, 0.0);
    EXPECT_EQ(viewer::on_key(c, platform::vk_right, true, 240.0).to, tools::show_length);
    EXPECT_EQ(viewer::on_key(c, home, false, 100.0).to, 0.0);
    EXPECT_EQ(viewer::on_key(c, home, false, 100.0).what, command::seek);

    // Frame steps only while paused.
    EXPECT_EQ(viewer::on_key(c, period, false, 30.0).what, command::none);

    // A pause lands on the nearest frame; steps move one frame of 1/60 s,
    // as the same number the capture program computes for that frame.
    const command pause = viewer::on_key(c, platform::vk_space, false, 30.0123);
    EXPECT_EQ(pause.what, command::pause);
    EXPECT_TRUE(c.paused);
    EXPECT_EQ(pause.to, 1801.0 / 60.0);
    const command forward = viewer::on_key(c, period, false, pause.to);
    EXPECT_EQ(forward.what, command::seek);
    EXPECT_EQ(forward.to, 1802.0 / 60.0);
    EXPECT_EQ(viewer::on_key(c, comma, false, forward.to).to, 1801.0 / 60.0);
    EXPECT_EQ(viewer::on_key(c, comma, false, 0.0).to, 0.0);
    EXPECT_EQ(tools::on_grid(pause.to + 1.0, viewer::fps), 1861.0 / 60.0);

    EXPECT_EQ(viewer::on_key(c, platform::vk_space, false, pause.to).what, command::resume);
    EXPECT_FALSE(c.paused);
    EXPECT_EQ(viewer::on_key(c, platform::vk_escape, false, 5.0).what, command::quit);
}

TEST(viewer_keys, a_range_loops_only_once_both_ends_are_marked_in_order) {
    viewer::controls c;
    command loop = viewer::on_key(c, 'L', false, 10.0);
    EXPECT_FALSE(c.looping);
    EXPECT_NE(loop.note.find("no range"), std::string::npos);

    viewer::on_key(c, 'I', false, 20.0);
    viewer::on_key(c, 'O', false, 12.0); // ends before it starts
    viewer::on_key(c, 'L', false, 10.0);
    EXPECT_FALSE(c.looping);

    viewer::on_key(c, 'O', false, 25.5);
    loop = viewer::on_key(c, 'L', false, 10.0);
    EXPECT_TRUE(c.looping);
    EXPECT_EQ(loop.what, command::seek) << "outside the range: go to its start";
    EXPECT_EQ(loop.to, 20.0);
    EXPECT_EQ(loop.note, "looping 20.00 s to 25.50 s");

    viewer::on_key(c, 'L', false, 21.0);
    EXPECT_FALSE(c.looping);
    loop = viewer::on_key(c, 'L', false, 21.0);
    EXPECT_TRUE(c.looping);
    EXPECT_EQ(loop.what, command::none) << "inside the range: play on";
}

} // namespace
