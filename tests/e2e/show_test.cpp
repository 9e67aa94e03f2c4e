// The real show executable under the test's X display, driven as a person
// would: it plays a music file the test encodes, Escape ends it, the capture
// text stays on the clipboard after the process is gone, and the two sound
// failures end with their own messages and exit codes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/e2e.h"
#include "support/needs.h"

namespace fs = std::filesystem;

namespace {

// Six seconds of a 440 Hz tone, 44.1 kHz stereo, encoded by lame.
bool make_mp3(const fs::path& mp3) {
    const fs::path wav = mp3.string() + ".wav";
    const int rate = 44100, frames = rate * 6;
    std::ofstream out(wav, std::ios::binary);
    auto put32 = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto put16 = [&](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    out.write("RIFF", 4);
    put32(36 + frames * 4);
    out.write("WAVEfmt ", 8);
    put32(16);
    put16(1);
    put16(2);
    put32(rate);
    put32(rate * 4);
    put16(4);
    put16(16);
    out.write("data", 4);
    put32(frames * 4);
    for (int i = 0; i < frames; ++i) {
        const int16_t v = int16_t(12000 * std::sin(2 * M_PI * 440.0 * i / rate));
        put16(uint16_t(v));
        put16(uint16_t(v));
    }
    out.close();
    const int rc = std::system(("lame --quiet -b 128 '" + wav.string() + "' '" + mp3.string() + "'").c_str());
    fs::remove(wav);
    return rc == 0 && fs::exists(mp3);
}

class show_process : public ::testing::Test {
  protected:
    void SetUp() override {
        QUORLAXEN_NEED(e2e::has_display(), "needs an X display (the test command starts Xvfb)");
        const fs::path show = QUORLAXEN_SHOW_DIR;
        ASSERT_TRUE(fs::exists(show / "quorlaxen")) << "build the show first";
        dir = e2e::temp_dir("quorlaxen-e2e");
        ASSERT_FALSE(dir.empty());
        // A copy of the executable (it finds its folder through its own
        // path) beside the show's data, with music of our own.
        e2e::copy_show(show, dir, "quorlaxen", {"meshes", "textures", "cgeffects"}, {});
        fs::create_directory(dir / "music");
    }

    void TearDown() override {
        const std::string left = e2e::has_display() ? e2e::leave_desktop(proc) : "";
        if (!dir.empty()) fs::remove_all(dir);
        EXPECT_EQ(left, "");
    }

    void add_music() {
        ASSERT_TRUE(make_mp3(dir / "music" / "Zembra - Quorlaxen.mp3")) << "lame could not encode";
        fs::copy_file(dir / "music" / "Zembra - Quorlaxen.mp3", dir / "music" / "Zembra - Quorlaxen2.mp3");
    }

    // Starts the show from another working directory with the given audio driver.
    void launch(const std::string& audio_driver) {
        proc = e2e::start(
            dir / "quorlaxen",
            {{"SDL_AUDIODRIVER", audio_driver}, {"SDL_DISKAUDIOFILE", (dir / "audio.raw").string()}},
            dir / "stderr.txt", "/");
        ASSERT_GE(proc.pid, 0);
    }

    bool running() { return e2e::running(proc); }

    // Runs the settings dialog with its defaults ("Run ..." answers Return).
    bool answer_dialog() {
        const std::string dialog = e2e::wait_for_dialog(proc, 60);
        return !dialog.empty() && e2e::press(dialog, "Return");
    }

    std::string stderr_text() { return e2e::file_text(dir / "stderr.txt"); }

    fs::path dir;
    e2e::process proc;
};

TEST_F(show_process, plays_and_escape_ends_it_leaving_the_capture_text_on_the_clipboard) {
    add_music();
    ASSERT_TRUE(e2e::set_clipboard("before")) << e2e::clipboard();

    launch("disk"); // SDL's file-backed driver: what plays lands in audio.raw, at real-time pace
    ASSERT_TRUE(answer_dialog()) << stderr_text();
    const std::string window = e2e::wait_for_window(proc, e2e::show_name, 300, true);
    ASSERT_FALSE(window.empty()) << "no show window; stderr:\n" << stderr_text();

    // The music plays: non-silent samples reach the audio device.
    const bool sound = e2e::wait_for(
        proc,
        [&] {
            const std::string audio = e2e::file_text(dir / "audio.raw");
            size_t loud = 0;
            for (size_t i = 0; i + 4 <= audio.size(); i += 4) {
                float v;
                std::memcpy(&v, &audio[i], 4);
                loud += std::fabs(v) > 0.1f;
            }
            return loud > 1000;
        },
        300);
    ASSERT_TRUE(sound) << "no music reached the device; stderr:\n" << stderr_text();
    ASSERT_TRUE(running());

    ASSERT_TRUE(e2e::press(window, "Escape"));
    EXPECT_EQ(e2e::wait_exit(proc, 60), 0) << stderr_text();
    // The process is gone; the (empty) capture text is still on the clipboard.
    EXPECT_TRUE(e2e::clipboard_becomes("", 10)) << e2e::clipboard();
}

TEST_F(show_process, missing_music_says_no_sound_file_and_exits_with_0) {
    launch("dummy");
    ASSERT_TRUE(answer_dialog()) << stderr_text();
    ASSERT_TRUE(e2e::answer_box(proc, "Quorlaxen  ", 300)) << "no message box; stderr:\n" << stderr_text();
    EXPECT_EQ(e2e::wait_exit(proc, 30), 0);
    EXPECT_NE(stderr_text().find("Problem initializing FMod. \nNo sound file."), std::string::npos)
        << stderr_text();
}

TEST_F(show_process, sound_device_that_cannot_open_exits_with_1) {
    add_music();
    launch("no-such-audio-driver");
    ASSERT_TRUE(answer_dialog()) << stderr_text();
    ASSERT_TRUE(e2e::answer_box(proc, "Quorlaxen  ", 300)) << "no message box; stderr:\n" << stderr_text();
    EXPECT_EQ(e2e::wait_exit(proc, 30), 1);
    EXPECT_NE(stderr_text().find("Problem initializing FMod. \nProgram will now exit."), std::string::npos)
        << stderr_text();
}

} // namespace
