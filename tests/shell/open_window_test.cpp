// open_gl_window's roads up to the context: the full-screen fallback
// question and each creation failure with its message and release.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resources/show_context.h"
#include "shell/shell.h"
#include "support/fake_platform.h"

namespace {

using namespace platform;

class open_window : public ::testing::Test {
  protected:
    fake::scoped_platform platform_;
    fake::fake_state& f = fake::state();
};

TEST_F(open_window, refused_full_screen_answered_yes_goes_on_in_a_window) {
    f.change_mode_ok = false;
    f.answers = {id_yes};
    f.create_context_ok = false; // stop before the start-up sequence
    EXPECT_FALSE(shell::open_gl_window(shell::window_title, 1024, 768, 16, true));
    ASSERT_EQ(f.boxes.size(), 2u);
    EXPECT_EQ(f.boxes[0].text,
              "The Requested Fullscreen Mode Is Not Supported By\nYour Video Card. Use Windowed "
              "Mode Instead?");
    EXPECT_EQ(f.boxes[0].caption, "KVT GL ;-)");
    EXPECT_EQ(f.boxes[0].style, unsigned(mb_yesno | mb_iconexclamation));
    EXPECT_FALSE(the_show_context().settings.fullscreen);
    EXPECT_FALSE(f.last_request.fullscreen);
    EXPECT_EQ(f.last_request.x, 50);
    EXPECT_EQ(f.last_request.y, 50);
    EXPECT_EQ(f.last_request.width, 1024);
    EXPECT_EQ(f.last_request.height, 768);
    EXPECT_STREQ(f.last_request.title, " =       Quorlaxen - KVT 2009 = ");
    EXPECT_EQ(f.boxes[1].text, "Can't Create A GL Rendering Context.");
    EXPECT_FALSE(f.called("hide_cursor"));
}

TEST_F(open_window, refused_full_screen_answered_no_closes) {
    f.change_mode_ok = false;
    f.answers = {id_no};
    EXPECT_FALSE(shell::open_gl_window(shell::window_title, 1024, 768, 32, true));
    ASSERT_EQ(f.boxes.size(), 2u);
    EXPECT_EQ(f.boxes[1].text, "Program Will Now Close.");
    EXPECT_EQ(f.boxes[1].caption, "ERROR");
    EXPECT_EQ(f.boxes[1].style, unsigned(mb_ok | mb_iconstop));
    EXPECT_FALSE(f.called("create_window"));
    EXPECT_FALSE(f.called("destroy_window"));
}

TEST_F(open_window, full_screen_switch_hides_the_cursor_and_opens_at_the_origin) {
    f.create_context_ok = false;
    shell::open_gl_window(shell::window_title, 1280, 720, 32, true);
    EXPECT_TRUE(f.called("hide_cursor"));
    EXPECT_TRUE(f.last_request.fullscreen);
    EXPECT_EQ(f.last_request.x, 0);
    // The failure after the switch puts the display mode back.
    EXPECT_TRUE(f.called("restore_display_mode"));
}

// A step that fails leaves what the steps before it made (a window whose
// device context or pixel format failed exists): that is released, the
// class last, and the step's own message follows.
TEST_F(open_window, each_window_step_failure_releases_what_was_made_then_reports_its_own_message) {
    const struct {
        window_failure failure;
        const char* text;
        std::vector<std::string> released;
    } steps[] = {
        {window_failure::window, "Window Creation Error.", {"close_windowing"}},
        {window_failure::device_context,
         "Can't Create A GL Device Context.",
         {"destroy_window", "close_windowing"}},
        {window_failure::pixel_format,
         "Can't Find A Suitable PixelFormat (1).",
         {"release_device_context", "destroy_window", "close_windowing"}},
        {window_failure::set_pixel_format,
         "Can't Set The PixelFormat(2).",
         {"release_device_context", "destroy_window", "close_windowing"}},
    };
    for (const auto& step : steps) {
        fake::scoped_platform fresh;
        fake::fake_state& g = fake::state();
        g.window_failure = step.failure;
        EXPECT_FALSE(shell::open_gl_window(shell::window_title, 640, 480, 32, true));
        ASSERT_EQ(g.boxes.size(), 1u) << step.text;
        EXPECT_EQ(g.boxes[0].text, step.text);
        EXPECT_EQ(g.boxes[0].caption, "ERROR");
        EXPECT_EQ(g.boxes[0].style, unsigned(mb_ok | mb_iconexclamation));
        std::vector<std::string> expected = {"init_windowing", "change_display_mode",  "hide_cursor",
                                             "create_window",  "restore_display_mode", "show_cursor"};
        expected.insert(expected.end(), step.released.begin(), step.released.end());
        expected.push_back("message_box");
        EXPECT_EQ(g.calls, expected) << step.text;

        // Everything is forgotten: a second release releases nothing.
        const size_t calls = g.calls.size();
        shell::destroy_gl_window();
        EXPECT_EQ(g.calls.size(), calls) << step.text;
    }
}

TEST_F(open_window, without_a_windowing_system_the_first_step_fails_before_any_question) {
    f.windowing_ok = false;
    EXPECT_FALSE(shell::open_gl_window(shell::window_title, 1280, 720, 32, true));
    ASSERT_EQ(f.boxes.size(), 1u);
    EXPECT_EQ(f.boxes[0].text, "Failed To Register The Window Class.");
    EXPECT_EQ(f.boxes[0].caption, "ERROR");
    EXPECT_EQ(f.boxes[0].style, unsigned(mb_ok | mb_iconexclamation));
    EXPECT_FALSE(f.called("change_display_mode"));
    EXPECT_FALSE(f.called("create_window"));
}

TEST_F(open_window, context_activation_failure_releases_context_and_window) {
    f.make_current_ok = false;
    EXPECT_FALSE(shell::open_gl_window(shell::window_title, 640, 480, 32, false));
    const std::vector<std::string> expected = {
        "init_windowing",  "create_window",   "create_gl_context", "make_current",
        "release_current", "message_box",     "delete_gl_context", "release_device_context",
        "destroy_window",  "close_windowing", "message_box"};
    EXPECT_EQ(f.calls, expected);
    ASSERT_EQ(f.boxes.size(), 2u);
    EXPECT_EQ(f.boxes[0].text, "Release Of DC And RC Failed."); // the release reports too
    EXPECT_EQ(f.boxes[1].text, "Can't Activate The GL Rendering Context.");
}

} // namespace
