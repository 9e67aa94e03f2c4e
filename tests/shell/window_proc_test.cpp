// The window procedure: keys, wheel, arrows on the default path only, the
// screen-saver block, activation, close, and the middle-button capture text.
#include <gtest/gtest.h>

#include "runtime/runtime.h"
#include "shell/shell.h"
#include "support/fake_platform.h"

namespace {

using namespace platform;

class window_procedure : public ::testing::Test {
  protected:
    void SetUp() override { runtime().frame_step = 0.02; }
    fake::scoped_platform platform_;
    input_state& s = runtime().input;
    frame_record& record = runtime().record;
};

uint64_t wheel_wparam(int delta) { return uint64_t(uint16_t(int16_t(delta))) << 16; }

TEST_F(window_procedure, wheel_notches_add_a_fifth_each) {
    EXPECT_EQ(shell::window_proc(wm_mousewheel, wheel_wparam(120), 0), 0);
    EXPECT_DOUBLE_EQ(s.wheel, 0.2);
    shell::window_proc(wm_mousewheel, wheel_wparam(-120), 0);
    shell::window_proc(wm_mousewheel, wheel_wparam(-120), 0);
    EXPECT_NEAR(s.wheel, -0.2, 1e-15);
    // Only the high word counts; the low word holds button flags.
    shell::window_proc(wm_mousewheel, wheel_wparam(240) | 0x10, 0);
    EXPECT_NEAR(s.wheel, 0.2, 1e-15);
}

TEST_F(window_procedure, held_arrow_moves_only_with_default_path_messages) {
    shell::window_proc(wm_keydown, vk_up, 0);
    shell::window_proc(wm_keydown, vk_up, 1 << 30); // auto-repeat: still not the default path
    EXPECT_EQ(record.key_offset_y, 0.0);

    shell::window_proc(wm_mousemove, 0, 0);
    EXPECT_DOUBLE_EQ(record.key_offset_y, 1.5 * 0.02);
    shell::window_proc(wm_lbuttondown, 0, 0);
    shell::window_proc(wm_null, 0, 0);
    EXPECT_DOUBLE_EQ(record.key_offset_y, 3 * 1.5 * 0.02);

    shell::window_proc(wm_keyup, vk_up, 0);
    shell::window_proc(wm_mousemove, 0, 0);
    EXPECT_DOUBLE_EQ(record.key_offset_y, 3 * 1.5 * 0.02);
    EXPECT_EQ(record.key_offset_x, 0.0);
}

TEST_F(window_procedure, opposite_arrows_cancel) {
    for (unsigned k : {vk_up, vk_down, vk_left, vk_right})
        shell::window_proc(wm_keydown, k, 0);
    for (int i = 0; i < 5; ++i)
        shell::window_proc(wm_mousemove, 0, 0);
    EXPECT_DOUBLE_EQ(record.key_offset_y, 0.0);
    EXPECT_DOUBLE_EQ(record.key_offset_x, 0.0);

    shell::window_proc(wm_keyup, vk_left, 0);
    shell::window_proc(wm_mousemove, 0, 0);
    EXPECT_DOUBLE_EQ(record.key_offset_x, 0.02);
}

TEST_F(window_procedure, keys_buttons_and_out_of_range_codes) {
    shell::window_proc(wm_keydown, 'Q', 0);
    EXPECT_EQ(s.key_down['Q'], 1);
    shell::window_proc(wm_keyup, 'Q', 0);
    EXPECT_EQ(s.key_down['Q'], 0);
    shell::window_proc(wm_keydown, 300, 0); // no such virtual key: ignored, nothing written past the table
    shell::window_proc(wm_keydown, uint64_t(-1), 0);
    for (int k = 0; k < 256; ++k)
        EXPECT_EQ(s.key_down[k], 0) << k;

    shell::window_proc(wm_lbuttondown, 0, 0);
    shell::window_proc(wm_rbuttondown, 0, 0);
    EXPECT_TRUE(s.left_button);
    EXPECT_TRUE(s.right_button);
    shell::window_proc(wm_lbuttonup, 0, 0);
    shell::window_proc(wm_rbuttonup, 0, 0);
    EXPECT_FALSE(s.left_button);
    EXPECT_FALSE(s.right_button);
}

TEST_F(window_procedure, screen_saver_commands_are_swallowed) {
    shell::window_proc(wm_keydown, vk_right, 0);
    EXPECT_EQ(shell::window_proc(wm_syscommand, sc_screensave, 0), 0);
    EXPECT_EQ(shell::window_proc(wm_syscommand, sc_monitorpower, 0), 0);
    EXPECT_EQ(record.key_offset_x, 0.0);                     // they never reach the default path
    shell::window_proc(wm_syscommand, sc_screensave | 1, 0); // compared whole: this one is not swallowed
    EXPECT_DOUBLE_EQ(record.key_offset_x, 0.02);
}

TEST_F(window_procedure, activation_follows_the_minimised_word) {
    shell::window_proc(wm_activate, 0 | (1u << 16), 0);
    EXPECT_FALSE(s.window_active);
    shell::window_proc(wm_activate, 1, 0);
    EXPECT_TRUE(s.window_active);
    shell::window_proc(wm_activate, 0, 0); // lost the focus but not minimised: frames go on
    EXPECT_TRUE(s.window_active);
}

TEST_F(window_procedure, close_and_alt_f4_post_quit_zero) {
    shell::window_proc(wm_close, 0, 0);
    ASSERT_EQ(fake::state().posted_quits, std::vector<int>{0});
    shell::window_proc(wm_syskeydown, vk_f4, 0); // F10-style system key without Alt: nothing
    EXPECT_EQ(fake::state().posted_quits.size(), 1u);
    shell::window_proc(wm_syskeydown, vk_f4, int64_t(1) << 29);
    EXPECT_EQ(fake::state().posted_quits.size(), 2u);
    EXPECT_EQ(s.key_down[vk_f4], 0);
}

TEST_F(window_procedure, middle_button_records_point_and_camera_text) {
    record.mouse_x = 1.75;
    record.mouse_y = -0.5;
    record.wheel = 0.2;
    record.picked_point[0] = 1.0;
    record.picked_point[1] = 2.25;
    record.picked_point[2] = -3.0000001; // becomes single precision in the point
    the_show_context().context_camera.eye = Vec3{1, 10.0f, 0.5f, 123456789.0f};

    shell::window_proc(wm_mbuttondown, 0, 0);
    ASSERT_EQ(record.points.size(), 1u);
    EXPECT_EQ(record.points[0].state, 1);
    EXPECT_EQ(record.points[0].z, -3.0000001f);
    EXPECT_EQ(runtime().debug_text, "Cam :1.75,-0.5,0.2  \n"
                                    "Pnt :1.,2.25,-3.  \n \n"
                                    "MCr :10.,0.5,1.23457e+08  \n \n");
    shell::window_proc(wm_mbuttondown, 0, 0);
    EXPECT_EQ(record.points.size(), 2u);
    EXPECT_EQ(runtime().debug_text.size(), 2 * std::string("Cam :1.75,-0.5,0.2  \n"
                                                           "Pnt :1.,2.25,-3.  \n \n"
                                                           "MCr :10.,0.5,1.23457e+08  \n \n")
                                                   .size());
    the_show_context().context_camera = camera_pose{};
}

TEST(capture_numbers, six_significant_digits) {
    EXPECT_EQ(shell::format_number(0.0), "0.");
    EXPECT_EQ(shell::format_number(-2.0), "-2.");
    EXPECT_EQ(shell::format_number(3.14159265), "3.14159");
    EXPECT_EQ(shell::format_number(0.0001234567), "0.000123457");
    EXPECT_EQ(shell::format_number(1e-7), "1e-07");
    EXPECT_EQ(shell::format_number(123456.0), "123456.");
}

} // namespace
