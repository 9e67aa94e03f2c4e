// The message loop with the real frame driver and a recording part: idle
// passes, F1 pulses, Escape (also while minimised, also twice), closing,
// and the release order of destroy_gl_window.
#include <gtest/gtest.h>

#include "runtime/runtime.h"
#include "shell/shell.h"
#include "support/fake_part.h"
#include "support/fake_platform.h"
#include "support/gl_context.h"

namespace {

using namespace platform;
using fake::msg;
const std::optional<message> idle = std::nullopt;

class message_loop : public gl_test {
  protected:
    void SetUp() override {
        gl_test::SetUp();
        runtime_state& rt = runtime();
        schedule_init(rt.schedule);
        rt.sync_enabled = false;
        part = new fake::recording_part;
        rt.production = part;
        shell::state().has_window = shell::state().has_context = true;
    }
    void script(std::initializer_list<std::optional<message>> steps) {
        for (const auto& s : steps)
            fake::state().script.push_back(s);
    }
    // Runs the loop; returns the exit code of whichever road ended it.
    int run() {
        try {
            return shell::message_loop();
        } catch (const fake::process_exit& e) {
            part = nullptr; // freed by the frame driver
            return e.code;
        }
    }
    void advance(double seconds) { fake::state().counter += int64_t(seconds * 1e6); }

    fake::scoped_platform platform_;
    fake::recording_part* part = nullptr;
};

TEST_F(message_loop, every_idle_pass_draws_one_frame_and_swaps) {
    script({idle, msg(wm_mousemove), idle, idle});
    EXPECT_EQ(run(), 99); // the script's closing wm_quit code comes back
    EXPECT_EQ(part->seen.size(), 3u);
    EXPECT_EQ(fake::state().swaps, 3);
}

TEST_F(message_loop, close_returns_zero_without_fade_or_clipboard) {
    script({idle, msg(wm_close), idle});
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(part->seen.size(), 1u);
    EXPECT_TRUE(fake::state().clipboard.empty());
    EXPECT_FALSE(runtime().input.quitting);
}

TEST_F(message_loop, f1_reaches_one_frame_per_key_down_message) {
    std::vector<int> f1;
    part->on_render = [&](frame_record& r) { f1.push_back(r.keys[vk_f1]); };
    script({msg(wm_keydown, vk_f1), idle, idle, msg(wm_keydown, vk_f1, 1 << 30), idle, idle});
    run();
    EXPECT_EQ(f1, (std::vector<int>{1, 0, 1, 0}));
}

TEST_F(message_loop, minimised_window_swaps_without_frames) {
    script({msg(wm_activate, 1u << 16), idle, idle, msg(wm_activate, 1), idle});
    run();
    EXPECT_EQ(part->seen.size(), 1u);
    EXPECT_EQ(fake::state().swaps, 3);
}

TEST_F(message_loop, escape_while_minimised_fades_once_frames_resume) {
    runtime().show_time = 42.0;
    script({msg(wm_activate, 1u << 16), msg(wm_keydown, vk_escape), idle});
    fake::state().end_code = 5;
    EXPECT_EQ(run(), 5);
    EXPECT_TRUE(runtime().input.quitting);
    EXPECT_EQ(runtime().input.quit_start_time, 42.0);
    EXPECT_TRUE(part->seen.empty());

    script({msg(wm_activate, 1)});
    fake::state().script.push_back(idle);
    advance(0.01);
    EXPECT_EQ(run(), 0); // the fade completes on the first frame with a step
    EXPECT_EQ(fake::state().clipboard, std::vector<std::string>{""});
}

TEST_F(message_loop, escape_tapped_within_one_frame_still_quits) {
    runtime().show_time = 3.0;
    script({idle, msg(wm_keydown, vk_escape), msg(wm_keyup, vk_escape), idle});
    fake::state().end_code = 5;
    run();
    EXPECT_TRUE(runtime().input.quitting);
    EXPECT_EQ(runtime().input.quit_start_time, 3.0);
}

TEST_F(message_loop, second_escape_does_not_move_the_fade_start) {
    runtime().show_time = 7.0;
    script({msg(wm_keydown, vk_escape), idle}); // zero step: the fade starts but cannot finish
    fake::state().end_code = 5;
    run();
    ASSERT_TRUE(runtime().input.quitting);
    const double start = runtime().input.quit_start_time;
    // The clock stepped back behind the fade start (so the fade cannot end);
    // a fresh press on an idle pass must not restart the fade from here.
    runtime().show_time = 6.0;
    script({msg(wm_keyup, vk_escape), msg(wm_keydown, vk_escape), idle, idle});
    run();
    EXPECT_EQ(part->seen.size(), 3u);
    EXPECT_EQ(runtime().input.quit_start_time, start);
}

void made_everything() {
    shell::shell_state& s = shell::state();
    s.has_windowing = s.has_window = s.has_device_context = s.has_context = true;
}

TEST(destroy_window, reports_each_release_failure_and_goes_on) {
    fake::scoped_platform platform;
    fake::fake_state& f = fake::state();
    f.make_current_ok = f.delete_context_ok = f.release_dc_ok = f.destroy_window_ok = false;
    f.close_windowing_ok = false;
    made_everything();
    shell::destroy_gl_window();
    const auto& boxes = f.boxes;
    ASSERT_EQ(boxes.size(), 5u);
    EXPECT_EQ(boxes[0].text, "Release Of DC And RC Failed.");
    EXPECT_EQ(boxes[1].text, "Release Rendering Context Failed.");
    EXPECT_EQ(boxes[2].text, "Release Device Context Failed.");
    EXPECT_EQ(boxes[3].text, "Could Not Release hWnd.");
    EXPECT_EQ(boxes[4].text, "Could Not Unregister Class.");
    for (const auto& b : boxes) {
        EXPECT_EQ(b.caption, "SHUTDOWN ERROR");
        EXPECT_EQ(b.style, unsigned(mb_ok | mb_iconinformation));
    }

    // Handles are forgotten: a second call releases nothing again.
    const size_t calls = fake::state().calls.size();
    shell::destroy_gl_window();
    EXPECT_EQ(fake::state().calls.size(), calls);
}

TEST(destroy_window, full_screen_restores_the_display_mode_first) {
    fake::scoped_platform platform;
    the_show_context().settings.fullscreen = true;
    shell::state().display_switched = true;
    made_everything();
    shell::destroy_gl_window();
    const std::vector<std::string> expected = {
        "restore_display_mode",   "show_cursor",    "release_current", "delete_gl_context",
        "release_device_context", "destroy_window", "close_windowing"};
    EXPECT_EQ(fake::state().calls, expected);
    EXPECT_TRUE(fake::state().boxes.empty());
}

} // namespace
