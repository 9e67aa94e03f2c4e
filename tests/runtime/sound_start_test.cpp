// The timer, and the sound start-up's roads.
#include <gtest/gtest.h>

#include "runtime/runtime.h"
#include "support/fake_platform.h"

namespace {

TEST(timer, accumulates_signed_counter_differences) {
    fake::scoped_platform platform;
    fake::state().counter = 5000000;
    fake::state().frequency = 1000000;
    timer_reset();
    EXPECT_DOUBLE_EQ(timer_read(), 0.0);
    fake::state().counter += 250000;
    EXPECT_DOUBLE_EQ(timer_read(), 0.25);
    fake::state().counter -= 50000; // a counter that steps back
    EXPECT_DOUBLE_EQ(timer_read(), 0.2);
    fake::state().frequency = 2000000; // read on every call
    fake::state().counter += 1000000;
    EXPECT_DOUBLE_EQ(timer_read(), 0.7);
}

TEST(sound_start, sound_system_failure_exits_with_1) {
    fake::scoped_platform platform;
    fake::state().sound_init_ok = false;
    try {
        start_sound();
        FAIL();
    } catch (const fake::process_exit& e) {
        EXPECT_EQ(e.code, 1);
    }
    ASSERT_EQ(fake::state().boxes.size(), 1u);
    EXPECT_EQ(fake::state().boxes[0].text, "Problem initializing FMod. \nProgram will now exit.");
    EXPECT_EQ(fake::state().boxes[0].caption, "Quorlaxen  ");
    EXPECT_EQ(fake::state().boxes[0].style, unsigned(platform::mb_ok | platform::mb_iconinformation));
    EXPECT_FALSE(fake::state().called("sound_play"));
}

TEST(sound_start, with_neither_file_loadable_it_exits_with_0) {
    fake::scoped_platform platform;
    fake::state().load_result = 0;
    try {
        start_sound();
        FAIL();
    } catch (const fake::process_exit& e) {
        EXPECT_EQ(e.code, 0);
    }
    const std::vector<std::string> tried = {"sound_init", std::string("sound_load ") + music_file_a,
                                            std::string("sound_load ") + music_file_b, "message_box",
                                            "exit_process"};
    EXPECT_EQ(fake::state().calls, tried);
    ASSERT_EQ(fake::state().boxes.size(), 1u);
    EXPECT_EQ(fake::state().boxes[0].text, "Problem initializing FMod. \nNo sound file.");
    EXPECT_EQ(fake::state().boxes[0].caption, "Quorlaxen  ");
}

TEST(sound_start, a_missing_version_gives_way_to_the_other_whatever_the_parity) {
    for (const char* missing : {music_file_a, music_file_b})
        for (int64_t counter : {1000, 1001}) {
            fake::scoped_platform platform;
            fake::state().counter = counter;
            fake::state().load_result = 7;
            fake::state().missing_files = {missing};
            start_sound();
            EXPECT_TRUE(fake::state().boxes.empty()) << missing << " " << counter;
            EXPECT_EQ(runtime().music_sample, 7);
            EXPECT_TRUE(fake::state().called("sound_play"));
        }
}

TEST(sound_start, counter_parity_picks_the_version_and_playback_starts_at_zero) {
    for (int64_t counter : {1000, 1001, -3}) {
        fake::scoped_platform platform;
        fake::state().counter = counter;
        fake::state().load_result = 7;
        start_sound();
        const std::vector<std::string> expected = {
            "sound_init", std::string("sound_load ") + (counter % 2 ? music_file_b : music_file_a),
            "loop_off",   "spectrum_on",
            "sound_play", "sound_set_position",
        };
        EXPECT_EQ(fake::state().calls, expected) << counter;
        EXPECT_EQ(runtime().music_sample, 7);
        EXPECT_EQ(fake::state().sound_position, 0u);
    }
}

} // namespace
