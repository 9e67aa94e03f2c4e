// The settings dialog of the real show executable under the test's X
// display, answered from the keyboard as a person would: "Quit" and Escape
// end the program with exit code 0 before its window opens; "Run ..." opens
// the window at the size listed in the dialog.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "support/e2e.h"
#include "support/needs.h"

namespace fs = std::filesystem;

namespace {

using e2e::dialog_name;
using e2e::show_name;
using e2e::window_named;

class settings_dialog_e2e : public ::testing::Test {
  protected:
    void SetUp() override {
        QUORLAXEN_NEED(e2e::has_display(), "needs an X display (the test command starts Xvfb)");
        exe = fs::path(QUORLAXEN_SHOW_DIR) / "quorlaxen";
        ASSERT_TRUE(fs::exists(exe)) << "build the show first";
        dir = e2e::temp_dir("quorlaxen-dialog");
        ASSERT_FALSE(dir.empty());
    }

    void TearDown() override {
        const std::string left = e2e::has_display() ? e2e::leave_desktop(proc) : "";
        if (!dir.empty()) fs::remove_all(dir);
        EXPECT_EQ(left, "");
    }

    void launch() {
        proc = e2e::start(exe, {{"SDL_AUDIODRIVER", "dummy"}}, dir / "stderr.txt");
        ASSERT_GE(proc.pid, 0);
    }

    std::string wait_for_dialog() { return e2e::wait_for_dialog(proc, 120); }

    bool keys(const std::string& window, const std::string& names) { return e2e::press(window, names, 80); }

    // Waits for the process to end, watching that the show's window never
    // appears meanwhile. Exit code, or -1 when it did not end in time.
    int wait_exit_without_show_window(double seconds, bool& show_window_seen) {
        show_window_seen = false;
        return e2e::wait_exit(proc, seconds, [&] {
            if (!window_named(show_name).empty()) show_window_seen = true;
        });
    }

    std::string stderr_text() { return e2e::file_text(dir / "stderr.txt"); }

    fs::path exe, dir;
    e2e::process proc;
};

TEST_F(settings_dialog_e2e, quit_reached_with_tab_and_enter_ends_with_0_before_any_window_opens) {
    launch();
    const std::string dialog = wait_for_dialog();
    ASSERT_FALSE(dialog.empty()) << "no settings dialog; stderr:\n" << stderr_text();
    // The focus starts on "Run ..."; one Tab reaches "Quit".
    ASSERT_TRUE(keys(dialog, "Tab Return"));
    bool show_window_seen = true;
    EXPECT_EQ(wait_exit_without_show_window(30, show_window_seen), 0) << stderr_text();
    EXPECT_FALSE(show_window_seen);
    EXPECT_TRUE(window_named(dialog_name).empty());
}

TEST_F(settings_dialog_e2e, escape_quits_like_the_quit_button) {
    launch();
    const std::string dialog = wait_for_dialog();
    ASSERT_FALSE(dialog.empty()) << "no settings dialog; stderr:\n" << stderr_text();
    ASSERT_TRUE(keys(dialog, "Escape"));
    bool show_window_seen = true;
    EXPECT_EQ(wait_exit_without_show_window(30, show_window_seen), 0) << stderr_text();
    EXPECT_FALSE(show_window_seen);
}

TEST_F(settings_dialog_e2e, run_with_windowed_ticked_opens_a_window_of_the_listed_size) {
    std::istringstream screen(e2e::output_of("xdotool getdisplaygeometry"));
    int screen_w = 0, screen_h = 0;
    screen >> screen_w >> screen_h;
    ASSERT_GT(screen_w, 0);

    launch();
    const std::string dialog = wait_for_dialog();
    ASSERT_FALSE(dialog.empty()) << "no settings dialog; stderr:\n" << stderr_text();
    // Tab past "Quit" and "Antialiased" to "Windowed", tick it with Space,
    // then Enter runs with the preselected line (the screen's one mode).
    ASSERT_TRUE(keys(dialog, "Tab Tab Tab space Return"));
    std::string window;
    ASSERT_TRUE(e2e::wait_for(
        proc, [&] { return !(window = window_named(show_name)).empty(); }, 120, 50))
        << "no show window; stderr:\n"
        << stderr_text();
    EXPECT_TRUE(window_named(dialog_name).empty()) << "the dialog has closed";
    const std::string geometry = e2e::output_of("xdotool getwindowgeometry " + window);
    EXPECT_NE(geometry.find("Geometry: " + std::to_string(screen_w) + "x" + std::to_string(screen_h)),
              std::string::npos)
        << geometry;
    // "Windowed" took effect: a window at (50, 50), not a full screen at (0, 0).
    EXPECT_NE(geometry.find("Position: 50,50"), std::string::npos) << geometry;
}

} // namespace
