// The real show under the test's X display, as a person meets it: the
// dialog answered with Return, each broken or missing data file ending the
// show with its own message box and exit code 0, the running show changing
// its picture, and Alt+F4 ending it with 0 without touching the clipboard.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>

#include "support/e2e.h"
#include "support/needs.h"

namespace fs = std::filesystem;

namespace {

class show_roads : public ::testing::Test {
  protected:
    void SetUp() override {
        QUORLAXEN_NEED(e2e::has_display(), "needs an X display (the test command starts Xvfb)");
        const fs::path show = QUORLAXEN_SHOW_DIR;
        ASSERT_TRUE(fs::exists(show / "quorlaxen")) << "build the show first";
        ASSERT_TRUE(fs::exists(show / "textures" / "loading.jpg")) << "forge the data first";
        dir = e2e::temp_dir("quorlaxen-roads");
        ASSERT_FALSE(dir.empty());
        // The executable finds its data beside itself: a copy with the
        // show's folders linked file by file, so that one can be taken away.
        e2e::copy_show(show, dir, "quorlaxen", {"meshes", "music"}, {"textures", "cgeffects"});
    }

    void TearDown() override {
        const std::string left = e2e::has_display() ? e2e::leave_desktop(proc) : "";
        if (!dir.empty()) fs::remove_all(dir);
        EXPECT_EQ(left, "");
    }

    void launch() {
        proc = e2e::start(dir / "quorlaxen", {{"SDL_AUDIODRIVER", "dummy"}}, dir / "stderr.txt", "/");
        ASSERT_GE(proc.pid, 0);
    }

    bool running() { return e2e::running(proc); }

    bool answer_dialog() {
        const std::string dialog = e2e::wait_for_dialog(proc, 60);
        return !dialog.empty() && e2e::press(dialog, "Return");
    }

    // Runs the show to the message box with `caption`, runs `while_up`
    // while the box is up, answers it and returns the exit code; the box's
    // text is checked on standard error.
    int failure_road(const std::string& caption, const std::string& text,
                     const std::function<void()>& while_up = {}) {
        launch();
        EXPECT_TRUE(answer_dialog()) << stderr_text();
        if (while_up && e2e::wait_for(
                            proc, [&] { return !e2e::window_in_tree(caption).empty(); }, 300))
            while_up();
        const bool answered = e2e::answer_box(proc, caption, 300);
        EXPECT_TRUE(answered) << "no message box \"" << caption << "\"; stderr:\n" << stderr_text();
        if (!answered) return -1;
        const int code = e2e::wait_exit(proc, 60);
        EXPECT_NE(stderr_text().find(caption + ": " + text + "\n"), std::string::npos) << stderr_text();
        return code;
    }

    // The show window's pixels, read from the X server.
    std::string grab(const std::string& window) {
        return e2e::output_of("ffmpeg -loglevel error -f x11grab -draw_mouse 0 -window_id " + window +
                              " -i " + std::getenv("DISPLAY") +
                              " -frames:v 1 -f rawvideo -pix_fmt rgb24 - 2>/dev/null");
    }

    std::string stderr_text() { return e2e::file_text(dir / "stderr.txt"); }

    // A window's place on the screen, by xwininfo.
    struct rect {
        int x = 0, y = 0, width = 0, height = 0;
        bool holds(int px, int py) const { return px >= x && px < x + width && py >= y && py < y + height; }
    };
    static rect geometry(const std::string& window) {
        rect r;
        std::istringstream info(e2e::output_of("xwininfo -id " + window + " 2>/dev/null"));
        for (std::string line; std::getline(info, line);) {
            const auto value = [&](const char* name, int& out) {
                const size_t at = line.find(name);
                if (at != std::string::npos) out = std::atoi(line.c_str() + at + std::strlen(name));
            };
            value("Absolute upper-left X:", r.x);
            value("Absolute upper-left Y:", r.y);
            value("Width:", r.width);
            value("Height:", r.height);
        }
        return r;
    }

    fs::path dir;
    e2e::process proc;
};

TEST_F(show_roads, missing_loading_image_ends_with_the_jpg_box_and_0_before_the_loading_screen) {
    fs::remove(dir / "textures" / "loading.jpg");
    // While the box is up the show window exists (the image is loaded with
    // its GL context current) but nothing was ever shown in it: one colour
    // around the box (which the screen grab sees on top of it).
    std::string window, picture;
    rect shown, box;
    EXPECT_EQ(failure_road("Jpg", "textures/loading.jpg",
                           [&] {
                               window = e2e::window_named(e2e::show_name);
                               if (window.empty()) return;
                               shown = geometry(window);
                               box = geometry(e2e::window_in_tree("Jpg"));
                               picture = grab(window);
                           }),
              0);
    ASSERT_FALSE(window.empty()) << "no show window while the box was up";
    ASSERT_EQ(picture.size(), size_t(shown.width) * shown.height * 3) << "the show window could not be read";
    size_t compared = 0;
    for (int y = 0; y < shown.height; ++y)
        for (int x = 0; x < shown.width; ++x) {
            if (box.holds(shown.x + x, shown.y + y)) continue;
            const size_t at = (size_t(y) * shown.width + x) * 3;
            ASSERT_EQ(picture.compare(at, 3, picture, 0, 3), 0)
                << "a picture in the window at " << x << ", " << y << " (box " << box.x << "," << box.y << " "
                << box.width << "x" << box.height << ")";
            ++compared;
        }
    EXPECT_GT(compared, picture.size() / 6) << "the box hid most of the window";
}

TEST_F(show_roads, undecodable_loading_image_ends_with_the_jpg_error_box_and_0) {
    fs::remove(dir / "textures" / "loading.jpg");
    // A JPEG start marker and then nothing a decoder can use.
    std::ofstream(dir / "textures" / "loading.jpg", std::ios::binary)
        << std::string("\xFF\xD8\xFF\xE0 broken", 12);
    EXPECT_EQ(failure_road("Jpg !", "textures/loading.jpg"), 0);
}

TEST_F(show_roads, missing_paper_texture_ends_with_the_jpg_box_and_0) {
    fs::remove(dir / "textures" / "paper 1a.jpg");
    EXPECT_EQ(failure_road("Jpg", "textures/paper 1a.jpg"), 0);
}

TEST_F(show_roads, missing_shader_source_ends_with_the_file_is_missing_box_and_0) {
    fs::remove(dir / "cgeffects" / "f_0");
    EXPECT_EQ(failure_road("  = Tarnwhisk. KVT 2007 = - File is missing !", "cgeffects/f_0"), 0);
}

TEST_F(show_roads, running_show_changes_its_picture_and_alt_f4_ends_it_with_0_leaving_the_clipboard) {
    ASSERT_TRUE(e2e::set_clipboard("untouched"));
    launch();
    ASSERT_TRUE(answer_dialog()) << stderr_text();
    const std::string window = e2e::wait_for_window(proc, e2e::show_name, 300);
    ASSERT_FALSE(window.empty()) << "no show window; stderr:\n" << stderr_text();

    // The picture keeps changing: three different ones, however slowly a
    // loaded machine draws them.
    std::set<std::string> pictures;
    e2e::wait_for(
        proc,
        [&] {
            const std::string picture = grab(window);
            if (picture.size() > 1000) pictures.insert(picture);
            return pictures.size() >= 3;
        },
        120, 500);
    ASSERT_TRUE(running()) << stderr_text();
    EXPECT_GE(pictures.size(), 3u) << "the window's picture did not change";

    ASSERT_TRUE(e2e::press(window, "alt+F4"));
    EXPECT_EQ(e2e::wait_exit(proc, 60), 0) << stderr_text();
    EXPECT_EQ(e2e::clipboard(), "untouched");
}

} // namespace
