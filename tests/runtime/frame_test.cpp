// The frame driver against a scripted counter and sound position, in a real
// GL context (the driver sets blend state and draws the Escape overlay).
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "math/random.h"
#include "runtime/runtime.h"
#include "shell/shell.h"
#include "support/fake_part.h"
#include "support/fake_platform.h"
#include "support/gl_context.h"

namespace {

constexpr int64_t ticks_per_second = 1000000;
constexpr double tenth = double(0.1f); // the pull uses the single-precision tenth

class frame_driver : public gl_test {
  protected:
    void SetUp() override {
        gl_test::SetUp();
        runtime_state& rt = runtime();
        schedule_init(rt.schedule);
        part = new fake::recording_part;
        rt.production = part;
        rt.music_sample = 1;
        fake::state().sound_length = 44100u * 250u; // a 250 s track
        shell::state().has_window = true;
        shell::state().has_context = true;
        timer_reset();
        rt.last_reading = timer_read();
    }

    // Advances the counter by `seconds`, puts the music at `music_seconds`, runs one frame.
    void frame(double seconds, double music_seconds) {
        fake::state().counter += int64_t(seconds * ticks_per_second + 0.5);
        fake::state().sound_position = uint32_t(music_seconds * 44100.0 + 0.5);
        run_frame();
    }

    fake::scoped_platform platform_;
    fake::recording_part* part = nullptr; // owned by the runtime
};

TEST_F(frame_driver, closes_a_tenth_of_the_gap_to_the_music) {
    runtime().show_time = 10.0;
    frame(0.02, 11.0);
    const double music = double(uint32_t(11.0 * 44100 + 0.5)) / 44100.0;
    EXPECT_DOUBLE_EQ(runtime().show_time, 10.0 + 0.02 + (music - 10.0) * tenth);
    EXPECT_DOUBLE_EQ(part->seen.back().frame_step, 0.02 + (music - 10.0) * tenth);
    EXPECT_DOUBLE_EQ(part->seen.back().record.time, runtime().show_time);
}

TEST_F(frame_driver, show_clock_steps_back_when_ahead_of_the_music) {
    runtime().show_time = 20.0;
    frame(1.0 / 60.0, 19.0); // music one second behind at 60 frames per second
    EXPECT_LT(part->seen.back().frame_step, 0.0);
    EXPECT_NEAR(runtime().show_time, 20.0 + 1.0 / 60.0 - tenth, 1e-4);
}

TEST_F(frame_driver, backward_counter_gives_a_zero_step_before_the_pull) {
    runtime().show_time = 5.0;
    fake::state().counter -= 50000; // the counter steps back 50 ms
    fake::state().sound_position = 5 * 44100;
    run_frame();
    EXPECT_DOUBLE_EQ(runtime().show_time, 5.0);
    EXPECT_DOUBLE_EQ(part->seen.back().frame_step, 0.0);
}

TEST_F(frame_driver, pull_stops_for_good_in_the_music_last_five_seconds) {
    fake::state().sound_length = 44100u * 100u;
    runtime().show_time = 95.5;
    frame(0.01, 95.5 + 0.1); // past length - 5
    EXPECT_FALSE(runtime().sync_enabled);
    EXPECT_DOUBLE_EQ(runtime().show_time, 95.51);
    // The position reading lower later does not bring the pull back.
    runtime().show_time = 50.0;
    frame(0.01, 40.0);
    EXPECT_DOUBLE_EQ(runtime().show_time, 50.01);
}

TEST_F(frame_driver, pull_applies_at_240_exactly_and_never_above) {
    runtime().show_time = 240.0;
    frame(0.0, 241.0);
    EXPECT_NEAR(runtime().show_time, 240.0 + 1.0 * tenth, 1e-4);
    ASSERT_GT(runtime().show_time, 240.0);
    const double before = runtime().show_time;
    frame(0.01, 230.0);
    EXPECT_DOUBLE_EQ(runtime().show_time, before + 0.01);
    EXPECT_TRUE(runtime().sync_enabled); // not the cut-off: just above 240 s
}

TEST_F(frame_driver, show_ends_only_once_past_242_5) {
    runtime().sync_enabled = false;
    runtime().show_time = 242.0;
    frame(0.5, 0.0); // lands on 242.5 exactly
    EXPECT_EQ(runtime().show_time, 242.5);
    EXPECT_FALSE(fake::state().called("exit_process"));

    try {
        frame(0.001, 0.0);
        FAIL() << "the show did not end";
    } catch (const fake::process_exit& e) {
        EXPECT_EQ(e.code, 0);
    }
    const auto& calls = fake::state().calls;
    // Sound first, then the window and context, then the exit.
    auto at = [&](const char* name) { return std::find(calls.begin(), calls.end(), name) - calls.begin(); };
    EXPECT_LT(at("sound_close"), at("release_current"));
    EXPECT_LT(at("delete_gl_context"), at("destroy_window"));
    EXPECT_LT(at("destroy_window"), at("exit_process"));
    EXPECT_EQ(runtime().production, nullptr);
    EXPECT_TRUE(fake::state().clipboard.empty()); // only the Escape road touches the clipboard
    part = nullptr;
}

TEST_F(frame_driver, frame_record_carries_inputs_cue_spectrum_and_keys) {
    runtime_state& rt = runtime();
    rt.show_time = 80.0; // the cue comes from the time before the step
    rt.sync_enabled = false;
    fake::state().cursor_x = 800;
    fake::state().cursor_y = 0;
    fake::state().spectrum[0] = 0.25f;
    fake::state().spectrum[511] = 1.0f;
    runtime().input.wheel = 0.4;
    runtime().input.left_button = true;
    runtime().input.key_down['A'] = 1;
    the_show_context().texture_base = 17;

    frame(0.05, 0.0);
    const frame_record& r = part->seen.back().record;
    EXPECT_DOUBLE_EQ(r.mouse_x, 7.0);
    EXPECT_DOUBLE_EQ(r.mouse_y, -7.0);
    EXPECT_DOUBLE_EQ(r.wheel, 0.4);
    EXPECT_EQ(r.left_button, 1);
    EXPECT_EQ(r.right_button, 0);
    EXPECT_EQ(r.cue, 9); // 80.0 belongs to the later row
    EXPECT_DOUBLE_EQ(r.time, 80.05);
    EXPECT_FLOAT_EQ(r.spectrum[0], 0.25f);
    EXPECT_FLOAT_EQ(r.spectrum[511], 1.0f);
    EXPECT_EQ(r.keys['A'], 1);
    EXPECT_EQ(r.keys['B'], 0);
    EXPECT_EQ(the_show_context().texture_base, 0);

    GLint src = 0, dst = 0;
    glGetIntegerv(GL_BLEND_SRC, &src);
    glGetIntegerv(GL_BLEND_DST, &dst);
    EXPECT_EQ(src, GL_ONE);
    EXPECT_EQ(dst, GL_ONE);
}

TEST_F(frame_driver, random_numbers_depend_only_on_the_show_time) {
    std::vector<int> draws;
    part->on_render = [&](frame_record&) {
        for (int i = 0; i < 3; ++i)
            draws.push_back(show_rand());
    };
    runtime().sync_enabled = false;
    runtime().show_time = 12.345678;
    frame(0.0, 0.0);
    frame(0.0, 0.0); // same show time, same draws
    ASSERT_EQ(draws.size(), 6u);
    EXPECT_EQ(std::vector<int>(draws.begin(), draws.begin() + 3),
              std::vector<int>(draws.begin() + 3, draws.end()));

    // The seed is the show time in whole microseconds, then 50 draws are skipped.
    show_srand(12345678u);
    for (int i = 0; i < 50; ++i)
        show_rand();
    EXPECT_EQ(draws[0], show_rand());
}

TEST_F(frame_driver, escape_fade_completes_on_a_nonzero_step) {
    runtime_state& rt = runtime();
    rt.sync_enabled = false;
    rt.show_time = 30.0;
    rt.debug_text = "Cam :1.,2.,0.  \n";
    runtime().input.quitting = true;
    runtime().input.quit_start_time = 30.0;

    // A zero step: the square is black, nothing ends.
    frame(0.0, 0.0);
    EXPECT_FALSE(fake::state().called("exit_process"));
    EXPECT_EQ(fake::state().volume, 255);
    EXPECT_DOUBLE_EQ(rt.record.params[10], 1.0);

    try {
        frame(0.001, 0.0);
        FAIL() << "the fade did not end the show";
    } catch (const fake::process_exit& e) {
        EXPECT_EQ(e.code, 0);
    }
    ASSERT_EQ(fake::state().clipboard.size(), 1u);
    EXPECT_EQ(fake::state().clipboard[0], "Cam :1.,2.,0.  \n");
    EXPECT_EQ(fake::state().volume, 0);
    EXPECT_DOUBLE_EQ(rt.record.params[10], 0.0);
    EXPECT_TRUE(fake::state().called("sound_close"));
    EXPECT_TRUE(fake::state().called("destroy_window"));
    part = nullptr;
}

TEST_F(frame_driver, zero_step_overlay_blacks_out_the_view_and_leaves_the_state_as_it_was) {
    the_show_context().settings.view_width = 256;
    the_show_context().settings.view_height = 256;
    runtime().sync_enabled = false;
    runtime().input.quitting = true;
    runtime().input.quit_start_time = runtime().show_time;
    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
    frame(0.0, 0.0);
    for (auto [x, y] : {std::pair{0, 0}, {255, 0}, {0, 255}, {255, 255}, {128, 128}}) {
        const test_gl::rgba p = test_gl::pixel(x, y);
        EXPECT_EQ(p.r + p.g + p.b, 0) << x << "," << y;
    }
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(frame_driver, zero_frequency_leaves_the_clock_on_the_timer) {
    fake::state().sound_frequency = 0;
    runtime().show_time = 3.0;
    frame(0.02, 100.0);
    EXPECT_DOUBLE_EQ(runtime().show_time, 3.02);
    EXPECT_TRUE(std::isfinite(part->seen.back().record.time));
}

} // namespace
