// The start-up sequence in a real GL context, over a fixture data folder,
// with the platform faked: swaps, clock readings and sound calls recorded in
// order.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "parts/parts.h"
#include "runtime/runtime.h"
#include "support/fake_platform.h"
#include "support/gl_context.h"
#include "support/needs.h"
#include "support/show_data.h"

namespace {

struct swap_seen {
    bool production_made = false;
    bool decagon_compiled = false;
    test_gl::rgba centre{};
};

std::vector<swap_seen> swaps;
int view_width = 0, view_height = 0;
int initialised_at_sound_init = -1;

struct target_size {
    GLint width, height, samples;
};

target_size renderbuffer_size(GLuint name) {
    target_size s{-1, -1, -1};
    glBindRenderbuffer(GL_RENDERBUFFER, name);
    glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_WIDTH, &s.width);
    glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_HEIGHT, &s.height);
    glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_SAMPLES, &s.samples);
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    return s;
}

class start_up_sequence : public ::testing::Test {
  protected:
    // Runs start_up in `folder` with a view of width x height.
    void run(const std::filesystem::path& folder, int width, int height, bool antialiased) {
        ASSERT_TRUE(test_gl::ensure_context(width, height)) << "no GL context (is DISPLAY set?)";
        glDeleteLists(12000, 2);
        // The state a new context has: other tests in this process may have
        // left programs, buffers or matrices behind.
        glUseProgram(0);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDrawBuffer(GL_BACK);
        glReadBuffer(GL_BACK);
        for (GLenum mode : {GL_PROJECTION, GL_TEXTURE, GL_MODELVIEW}) {
            glMatrixMode(mode);
            glLoadIdentity();
        }
        glBindTexture(GL_TEXTURE_2D, 0);
        view_width = width;
        view_height = height;
        swaps.clear();
        initialised_at_sound_init = -1;

        show_context& context = the_show_context();
        context.settings.view_width = width;
        context.settings.view_height = height;
        context.settings.antialiased = antialiased;
        context.texture_base = 9;

        // Leftovers that start-up must clear.
        runtime_state& rt = runtime();
        rt.show_time = 12.5;
        rt.debug_text = "left over";
        rt.record.picked_point[1] = 4.0;
        rt.record.key_offset_x = 2.0;
        rt.record.key_offset_y = -3.0;
        rt.record.flags_a[5] = 1;
        rt.record.flags_b[31] = 7;

        show_data::scoped_directory in(folder);
        try {
            start_up();
        } catch (const fake::process_exit& e) {
            std::string boxes;
            for (const fake::box& b : fake::state().boxes)
                boxes += b.caption + ": " + b.text + "\n";
            FAIL() << "start-up ended the process with " << e.code << "\n" << boxes;
        }
    }

    void SetUp() override {
        platform::platform& p = platform::sys();
        p.swap_buffers = [] {
            fake::state().calls.emplace_back("swap");
            swap_seen seen;
            seen.production_made = runtime().production != nullptr;
            seen.decagon_compiled = glIsList(12000);
            glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
            glReadBuffer(GL_BACK);
            seen.centre = test_gl::pixel(view_width / 2, view_height / 2);
            swaps.push_back(seen);
        };
        p.perf_counter = [] {
            fake::state().calls.emplace_back("counter");
            fake::state().counter += 1000; // 1 ms per reading
            return fake::state().counter;
        };
        auto fake_sound_init = p.sound_init;
        static decltype(fake_sound_init) forward;
        forward = fake_sound_init;
        p.sound_init = [](int rate, int channels) {
            auto* part = static_cast<part_start*>(runtime().production);
            initialised_at_sound_init = part ? part->initialised : -1;
            return forward(rate, channels);
        };

        folder_ = show_data::private_folder("start_up_show");
        std::string why;
        QUORLAXEN_NEED(show_data::make(folder_, why), why);
    }

    // The parts and the loading record a run leaves in the runtime.
    static void release_parts() {
        delete runtime().production;
        runtime().production = nullptr;
        delete runtime().loader;
        runtime().loader = nullptr;
        delete runtime().loading_record;
        runtime().loading_record = nullptr;
    }

    void TearDown() override {
        release_parts();
        if (!folder_.empty()) std::filesystem::remove_all(folder_);
    }

    std::filesystem::path folder_;
    fake::scoped_platform platform_;
};

// Position of the first `name` at or after `from` in the recorded calls.
size_t position(const std::vector<std::string>& calls, const std::string& name, size_t from = 0) {
    auto it = std::find(calls.begin() + std::min(from, calls.size()), calls.end(), name);
    return static_cast<size_t>(it - calls.begin());
}

} // namespace

TEST_F(start_up_sequence, render_targets_follow_the_view_and_the_antialiasing) {
    struct view {
        int width, height;
        bool antialiased;
        target_size quarter, half;
    };
    for (const view& v : {view{1024, 576, true, {256, 144, 0}, {512, 288, 0}},
                          view{1022, 575, false, {255, 143, 0}, {511, 287, 0}},
                          view{1366, 768, true, {341, 192, 0}, {683, 384, 0}}}) {
        SCOPED_TRACE(std::to_string(v.width) + " x " + std::to_string(v.height));
        run(folder_, v.width, v.height, v.antialiased);
        const show_context& context = the_show_context();
        for (GLuint buffer : {context.targets[0].colour_buffer_0, context.targets[0].colour_buffer_1,
                              context.targets[0].depth_buffer}) {
            target_size full = renderbuffer_size(buffer);
            EXPECT_EQ(full.width, v.width);
            EXPECT_EQ(full.height, v.height);
            EXPECT_EQ(full.samples, v.antialiased ? 4 : 0);
        }
        target_size quarter = renderbuffer_size(context.targets[1].colour_buffer_0);
        EXPECT_EQ(quarter.width, v.quarter.width);
        EXPECT_EQ(quarter.height, v.quarter.height);
        EXPECT_EQ(quarter.samples, 0);
        target_size half = renderbuffer_size(context.targets[2].colour_buffer_0);
        EXPECT_EQ(half.width, v.half.width);
        EXPECT_EQ(half.height, v.half.height);
        EXPECT_EQ(half.samples, 0);

        // The set-up's textures match the targets they are attached to.
        GLint texture_width = 0;
        glBindTexture(GL_TEXTURE_2D, context.texture_names[3]);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &texture_width);
        EXPECT_EQ(texture_width, v.half.width);
        release_parts();
    }
}

TEST_F(start_up_sequence, loading_screen_is_shown_before_the_long_load) {
    // A small view: the shared test window only grows asynchronously, so a
    // view larger than the window some earlier test left would read back
    // outside the drawable.
    run(folder_, 160, 90, false);
    ASSERT_EQ(swaps.size(), 2u);
    // First swap: the loading image fills the centre; the production part
    // does not exist yet.
    EXPECT_FALSE(swaps[0].production_made);
    EXPECT_FALSE(swaps[0].decagon_compiled);
    EXPECT_NEAR(swaps[0].centre.r, show_data::loading_colour.r, 12);
    EXPECT_NEAR(swaps[0].centre.g, show_data::loading_colour.g, 12);
    EXPECT_NEAR(swaps[0].centre.b, show_data::loading_colour.b, 12);
    // Second swap: the part exists, its set-up has not run yet.
    EXPECT_TRUE(swaps[1].production_made);
    EXPECT_FALSE(swaps[1].decagon_compiled);
    // After start-up the set-up has run.
    EXPECT_TRUE(glIsList(12000));
    auto* part = static_cast<part_start*>(runtime().production);
    ASSERT_NE(part, nullptr);
    EXPECT_EQ(part->initialised, 1);
    EXPECT_EQ(part->slot_base, 5000);
}

TEST_F(start_up_sequence, music_starts_after_the_load_and_the_clock_after_the_music) {
    run(folder_, 320, 240, true);
    const std::vector<std::string>& calls = fake::state().calls;
    const size_t first_swap = position(calls, "swap");
    const size_t second_swap = position(calls, "swap", first_swap + 1);
    const size_t sound_init = position(calls, "sound_init");
    const size_t play = position(calls, "sound_play");
    const size_t set_position = position(calls, "sound_set_position");
    ASSERT_LT(set_position, calls.size());
    EXPECT_LT(position(calls, "counter"), first_swap); // the load-start reading
    EXPECT_LT(first_swap, second_swap);
    EXPECT_LT(second_swap, sound_init);
    EXPECT_LT(sound_init, play);
    EXPECT_LT(play, set_position);
    // The set-up was complete when the sound started.
    EXPECT_EQ(initialised_at_sound_init, 1);
    // Then timer_reset and the first reading, last of all.
    ASSERT_GE(calls.size(), 2u);
    EXPECT_GT(calls.size() - 2, set_position);
    EXPECT_EQ(calls[calls.size() - 2], "counter");
    EXPECT_EQ(calls[calls.size() - 1], "counter");
    // So the last reading is one tick after the reset, not the load's length.
    EXPECT_NEAR(runtime().last_reading, 0.001, 1e-9);
}

TEST_F(start_up_sequence, leaves_clock_record_schedule_and_context_ready) {
    run(folder_, 320, 240, false);
    runtime_state& rt = runtime();
    EXPECT_EQ(rt.show_time, 0.0);
    EXPECT_TRUE(rt.debug_text.empty());
    EXPECT_EQ(the_show_context().texture_base, 0);

    EXPECT_EQ(rt.record.flags_a[0], 1);
    for (int k = 1; k < 32; ++k)
        EXPECT_EQ(rt.record.flags_a[k], 0) << k;
    for (int k = 0; k < 32; ++k)
        EXPECT_EQ(rt.record.flags_b[k], 0) << k;
    for (double c : rt.record.picked_point)
        EXPECT_EQ(c, 0.0);
    EXPECT_EQ(rt.record.key_offset_x, 0.0);
    EXPECT_EQ(rt.record.key_offset_y, 0.0);

    EXPECT_EQ(rt.schedule.count, 31);
    EXPECT_EQ(schedule_lookup(rt.schedule, 80.0), 9);

    // The loading screen's own record is current until the first frame.
    ASSERT_NE(rt.loading_record, nullptr);
    EXPECT_EQ(the_show_context().current_record, rt.loading_record);
    EXPECT_NE(rt.loading_record, &rt.record);
    EXPECT_TRUE(rt.loading_record->points.empty());
    EXPECT_NE(rt.loader, nullptr);
}

// The real sequence over the data the build forged, when it is there: every
// file loads, and the time it takes is printed (not judged).
TEST_F(start_up_sequence, runs_over_the_forged_show_data) {
    const std::filesystem::path show = QUORLAXEN_SHOW_DIR;
    for (const char* file : {"textures/loading.jpg", "textures/paper 1a.jpg", "meshes/man3.obj",
                             "meshes/test1.rtt", "meshes/try1.sav", "cgeffects/f_0"})
        QUORLAXEN_NEED(std::filesystem::exists(show / file), "no forged " << file << " in " << show);
    const auto start = std::chrono::steady_clock::now();
    const std::clock_t cpu_start = std::clock();
    run(show, 1280, 720, true);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu_seconds = double(std::clock() - cpu_start) / CLOCKS_PER_SEC;
    std::printf("start_up over the forged data: %.3f s wall, %.3f s processor\n", seconds, cpu_seconds);
    RecordProperty("start_up_seconds", std::to_string(seconds));
    auto* part = static_cast<part_start*>(runtime().production);
    ASSERT_NE(part, nullptr);
    EXPECT_EQ(part->initialised, 1);
    EXPECT_TRUE(glIsList(101) && glIsList(1699));
    EXPECT_GT(part->track.raw_points.size(), 0u);
}
