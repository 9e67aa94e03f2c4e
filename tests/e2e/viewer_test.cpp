// quorlaxen-viewer under the test's X display, at small sizes to keep it
// quick: bad arguments refused, paused frames (written out by the viewer as
// it shows them) equal to the capture program's frames byte for byte after
// frame steps and seeks, the clock in step with music that starts at the
// seeked sample and stops with the picture, a silent run without a sound
// device, shader sources changed under the running viewer, and the keys as
// a person uses them: seeks, a looped range, the stop at the show's end.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/e2e.h"
#include "support/needs.h"

namespace fs = std::filesystem;

namespace {

using e2e::output_of;
using e2e::quoted;

class viewer_program : public ::testing::Test {
  protected:
    void SetUp() override {
        viewer = fs::path(QUORLAXEN_SHOW_DIR) / "quorlaxen-viewer";
        QUORLAXEN_NEED(fs::exists(viewer), "quorlaxen-viewer is not built");
        e2e::has_display(); // this process's own X server, before any window is looked for
        dir = e2e::temp_dir("quorlaxen-viewer-test");
        ASSERT_FALSE(dir.empty());
    }
    void TearDown() override {
        const std::string left = e2e::has_display() ? e2e::leave_desktop(proc) : "";
        if (!dir.empty()) fs::remove_all(dir);
        EXPECT_EQ(left, "");
    }

    bool needs_data() {
        return e2e::has_display() && fs::exists(fs::path(QUORLAXEN_SHOW_DIR) / "music") &&
               fs::exists(fs::path(QUORLAXEN_SHOW_DIR) / "textures" / "loading.jpg");
    }

    void launch(const std::vector<std::string>& args, const std::string& audio_driver = "dummy",
                const fs::path& program = {}) {
        proc = e2e::start_with_args(program.empty() ? viewer : program, args,
                                    {{"SDL_AUDIODRIVER", audio_driver},
                                     {"SDL_DISKAUDIOFILE", (dir / "audio.raw").string()},
                                     {"QUORLAXEN_VIEWER_FRAME", frame_file().string()}},
                                    dir / "stderr.txt", dir / "stdout.txt");
        ASSERT_GT(proc.pid, 0);
        // Found by its class: xdotool's name search misses UTF-8 titles.
        e2e::wait_for(
            proc,
            [&] {
                std::istringstream ids(output_of("xdotool search --class quorlaxen-viewer 2>/dev/null"));
                return bool(ids >> window);
            },
            300);
        ASSERT_FALSE(window.empty()) << "no viewer window; stderr:\n" << stderr_text();
    }

    fs::path frame_file() const { return dir / "frame.ppm"; }
    std::string stderr_text() const { return e2e::file_text(dir / "stderr.txt"); }

    // The next paused frame the viewer writes, as RGB bytes; the file is
    // taken away so that the one after can be told apart.
    std::string next_frame(double seconds = 120) {
        std::string rgb;
        e2e::wait_for(
            proc, [&] { return fs::exists(frame_file()); }, seconds, 50);
        if (fs::exists(frame_file())) rgb = pixels(frame_file());
        fs::remove(frame_file());
        return rgb;
    }

    // An image's pixels as RGB bytes, decoded by ffmpeg.
    static std::string pixels(const fs::path& image) {
        return output_of("ffmpeg -loglevel error -i " + quoted(image.string()) +
                         " -f rawvideo -pix_fmt rgb24 - 2>/dev/null");
    }

    std::string title() const {
        return output_of("xprop -id " + window + " -notype _NET_WM_NAME 2>/dev/null");
    }

    // The show time in the title, -1 when there is none.
    double title_show_time() const {
        const std::string t = title();
        const size_t at = t.find(" show ");
        return at == std::string::npos ? -1.0 : std::atof(t.c_str() + at + 6);
    }

    bool wait_for_title(const std::string& text) {
        return e2e::wait_for(
            proc, [&] { return title().find(text) != std::string::npos; }, 10, 50);
    }

    bool wait_for_stderr(const std::string& text, double seconds = 60) {
        return e2e::wait_for(
            proc, [&] { return stderr_text().find(text) != std::string::npos; }, seconds, 50);
    }

    fs::path viewer, dir;
    e2e::process proc;
    std::string window;
};

TEST_F(viewer_program, bad_arguments_are_refused_with_a_reason_and_exit_code_2) {
    const struct {
        const char* args;
        const char* reason;
    } cases[] = {
        {"--at -1", "--at takes seconds"},        {"--at 300", "--at takes seconds"},
        {"--at soon", "--at takes seconds"},      {"--at", "--at needs a value"},
        {"--size 10x10", "--size takes WxH"},     {"--music 3", "--music takes 1 or 2"},
        {"--fps 30", "unknown argument '--fps'"},
    };
    for (const auto& c : cases) {
        const e2e::result r =
            e2e::run_in(dir, "env -u DISPLAY -u WAYLAND_DISPLAY " + quoted(viewer.string()) + " " + c.args);
        EXPECT_EQ(r.code, 2) << c.args;
        EXPECT_NE(r.err.find(c.reason), std::string::npos) << c.args << "\n" << r.err;
        EXPECT_NE(r.err.find("usage:"), std::string::npos) << c.args;
    }
}

TEST_F(viewer_program, show_that_cannot_start_is_a_failure) {
    QUORLAXEN_NEED(needs_data(), "needs an X display and the forged data");
    e2e::copy_show(QUORLAXEN_SHOW_DIR, dir, "quorlaxen-viewer", {"meshes", "music", "cgeffects"},
                   {"textures"}, "textures/loading.jpg");
    const e2e::result r = e2e::run_in(dir, "SDL_AUDIODRIVER=dummy ./quorlaxen-viewer --paused");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("Jpg: textures/loading.jpg"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("could not start"), std::string::npos) << r.err;
}

TEST_F(viewer_program, paused_frames_after_steps_and_seeks_equal_the_capture_programs) {
    QUORLAXEN_NEED(needs_data(), "needs an X display and the forged data");
    launch({"--paused", "--at", "30", "--size", "160x90"});
    const std::string at_30 = next_frame();
    ASSERT_EQ(at_30.size(), 160u * 90u * 3u) << stderr_text();
    EXPECT_TRUE(wait_for_title("\"quorlaxen-viewer \u2014 show 30.00 s \u00b7 scene ")) << title();
    // The rows drawing then: the swaying paper and the first dot field, not
    // the rows that start later.
    EXPECT_TRUE(wait_for_title(" \u00b7 rows 4 9 16 ")) << title();

    ASSERT_TRUE(e2e::press(window, "period"));
    const std::string one_frame_on = next_frame();
    ASSERT_TRUE(e2e::press(window, "Right"));
    const std::string one_second_on = next_frame();
    EXPECT_TRUE(wait_for_title(" show 31.02 s ")) << title();
    ASSERT_TRUE(e2e::press(window, "Escape"));
    EXPECT_EQ(e2e::wait_exit(proc, 30), 0) << stderr_text();

    // The same three times, each reached by the capture program on its own.
    const e2e::result capture = e2e::run_in(
        dir, "env -u DISPLAY " + quoted((fs::path(QUORLAXEN_SHOW_DIR) / "quorlaxen-capture").string()) +
                 " --size 160x90 --quiet --at 30 --at 30.016666666666666 --at 31.016666666666666 -o shots/");
    ASSERT_EQ(capture.code, 0) << capture.err;
    const std::string want_30 = pixels(dir / "shots" / "show-030.000.png");
    ASSERT_EQ(want_30.size(), at_30.size());
    EXPECT_TRUE(at_30 == want_30) << "the frame at 30 s differs from the capture's";
    EXPECT_TRUE(one_frame_on == pixels(dir / "shots" / "show-030.017.png")) << "after a frame step";
    EXPECT_TRUE(one_second_on == pixels(dir / "shots" / "show-031.017.png")) << "after a seek";
    EXPECT_NE(one_second_on, one_frame_on);
}

TEST_F(viewer_program, plays_in_step_with_music_from_the_seeked_sample_and_pauses_with_it) {
    QUORLAXEN_NEED(needs_data(), "needs an X display and the forged data");
    // SDL's file-backed driver: what plays lands in audio.raw, at real-time pace.
    launch({"--at", "100", "--size", "160x90"}, "disk");
    ASSERT_TRUE(e2e::wait_for(
        proc, [&] { return title_show_time() > 100.0; }, 120))
        << title() << "\n"
        << stderr_text();
    // On the timer and pulled toward the music at 100 s (which music is
    // heard is checked below): two seconds of show time, however long a
    // loaded machine takes to draw them, never going back and never faster
    // than the wall clock (with slack for the title read first being a frame
    // behind).
    const auto wall_start = e2e::clock_type::now();
    const double first = title_show_time();
    double last = first;
    bool went_back = false;
    EXPECT_TRUE(e2e::wait_for(
        proc,
        [&] {
            const double now = title_show_time();
            went_back = went_back || now < last;
            last = now;
            return now >= first + 2.0;
        },
        120, 50))
        << first << " " << last;
    const double wall = std::chrono::duration<double>(e2e::clock_type::now() - wall_start).count();
    EXPECT_FALSE(went_back) << first << " " << last;
    EXPECT_LT(last - first, wall * 1.1 + 0.5) << first << " " << last << " in " << wall << " s";

    ASSERT_TRUE(e2e::press(window, "space"));
    ASSERT_FALSE(next_frame(60).empty()) << "no paused frame";
    const double paused = title_show_time();
    const uintmax_t audio_at_pause = fs::file_size(dir / "audio.raw");
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(title_show_time(), paused);
    ASSERT_TRUE(e2e::press(window, "Escape"));
    EXPECT_EQ(e2e::wait_exit(proc, 30), 0) << stderr_text();

    // The device's output: 32-bit float stereo. Silence until the music
    // starts; then the music from its sample at 100 s (decoded here by
    // ffmpeg, so within a small tolerance); silence again once paused.
    std::vector<float> heard;
    {
        std::ifstream in(dir / "audio.raw", std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        heard.resize(bytes.size() / sizeof(float));
        std::memcpy(heard.data(), bytes.data(), heard.size() * sizeof(float));
    }
    size_t start = 0;
    while (start < heard.size() && std::fabs(heard[start]) < 1e-6f)
        ++start;
    start &= ~size_t(1);
    ASSERT_LT(start + 8192, heard.size()) << "no music was heard";

    const std::string decoded =
        output_of("ffmpeg -loglevel error -i " +
                  quoted((fs::path(QUORLAXEN_SHOW_DIR) / "music" / "Zembra - Quorlaxen.mp3").string()) +
                  " -ss 99.5 -t 1 -f f32le -ac 2 -ar 44100 - 2>/dev/null");
    std::vector<float> music(decoded.size() / sizeof(float));
    std::memcpy(music.data(), decoded.data(), music.size() * sizeof(float));
    ASSERT_GT(music.size(), size_t(44100)) << "ffmpeg could not decode the music";
    const size_t compared = 2048; // values, both channels
    double best = 1e9;
    size_t best_frame = 0;
    for (size_t frame = 0; (frame * 2 + compared) < music.size(); ++frame) {
        double error = 0.0;
        for (size_t i = 0; i < compared && error < best; ++i)
            error += std::fabs(double(music[frame * 2 + i]) - heard[start + i]);
        if (error < best) best = error, best_frame = frame;
    }
    EXPECT_LT(best / compared, 0.002) << "the music heard is not the music at 100 s";
    EXPECT_NEAR(99.5 + double(best_frame) / 44100.0, 100.0, 0.002) << "music heard from the wrong place";

    const size_t paused_value = size_t(audio_at_pause / sizeof(float)) + 88200; // a second of slack
    ASSERT_LT(paused_value + 4410, heard.size());
    for (size_t i = paused_value; i < heard.size(); ++i)
        ASSERT_EQ(heard[i], 0.0f) << "music heard while paused, at value " << i;
}

TEST_F(viewer_program, keys_seek_loop_a_marked_range_and_the_show_stops_on_its_last_frame) {
    QUORLAXEN_NEED(needs_data(), "needs an X display and the forged data");
    launch({"--paused", "--at", "100", "--size", "160x90", "--no-aa"});
    ASSERT_TRUE(wait_for_title(" show 100.00 s ")) << title();
    ASSERT_TRUE(e2e::press(window, "shift+Right"));
    EXPECT_TRUE(wait_for_title(" show 110.00 s ")) << title();
    ASSERT_TRUE(e2e::press(window, "shift+Left shift+Left"));
    EXPECT_TRUE(wait_for_title(" show 90.00 s ")) << title();
    ASSERT_TRUE(e2e::press(window, "Home"));
    EXPECT_TRUE(wait_for_title(" show 0.00 s ")) << title();

    // A range marked while playing loops: the time comes back to its start
    // and never passes its end.
    ASSERT_TRUE(e2e::press(window, "space"));
    ASSERT_TRUE(e2e::wait_for(
        proc, [&] { return title_show_time() >= 1.0; }, 120, 20))
        << title();
    ASSERT_TRUE(e2e::press(window, "i"));
    const double marked_in = title_show_time();
    ASSERT_TRUE(e2e::wait_for(
        proc, [&] { return title_show_time() >= marked_in + 1.0; }, 120, 20))
        << title();
    ASSERT_TRUE(e2e::press(window, "o"));
    const double marked_out = title_show_time();
    ASSERT_TRUE(e2e::press(window, "l"));
    double previous = title_show_time(), latest = previous;
    int wraps = 0;
    EXPECT_TRUE(e2e::wait_for(
        proc,
        [&] {
            const double now = title_show_time();
            if (now < previous - 0.3) ++wraps;
            latest = std::max(latest, now);
            previous = now;
            return wraps >= 2;
        },
        120, 20))
        << "the range did not loop; " << title();
    EXPECT_LE(latest, marked_out + 0.2) << "played past the range's end";
    ASSERT_TRUE(e2e::press(window, "l"));

    // Sought to the end: the last frame stays, the viewer runs on.
    for (int i = 0; i < 25; ++i)
        ASSERT_TRUE(e2e::press(window, "shift+Right"));
    EXPECT_TRUE(wait_for_title(" show 242.50 s ")) << title();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(title_show_time(), 242.5) << title();
    ASSERT_TRUE(e2e::press(window, "Escape"));
    EXPECT_EQ(e2e::wait_exit(proc, 30), 0) << stderr_text();
}

TEST_F(viewer_program, without_a_sound_device_it_runs_silent_on_the_timer) {
    QUORLAXEN_NEED(needs_data(), "needs an X display and the forged data");
    launch({"--at", "50", "--size", "160x90"}, "no-such-audio-driver");
    ASSERT_TRUE(e2e::wait_for(
        proc, [&] { return title_show_time() > 50.0; }, 120))
        << title() << "\n"
        << stderr_text();
    const double first = title_show_time();
    EXPECT_TRUE(e2e::wait_for(
        proc, [&] { return title_show_time() > first + 0.7; }, 120, 50))
        << first << " " << title_show_time();
    EXPECT_NE(stderr_text().find("no sound device"), std::string::npos) << stderr_text();
    ASSERT_TRUE(e2e::press(window, "Escape"));
    EXPECT_EQ(e2e::wait_exit(proc, 30), 0) << stderr_text();
}

TEST_F(viewer_program, changed_shader_source_is_used_and_a_broken_one_keeps_the_last_good_program) {
    QUORLAXEN_NEED(needs_data(), "needs an X display and the forged data");
    // A copy of the viewer beside the show's data, with shader sources of its own.
    const fs::path show = fs::absolute(QUORLAXEN_SHOW_DIR);
    e2e::copy_show(show, dir, "quorlaxen-viewer", {"meshes", "textures", "music"}, {});
    fs::copy(show / "cgeffects", dir / "cgeffects");
    const fs::path bend = dir / "cgeffects" / "fragment_bend3";
    const std::string original = e2e::file_text(bend);
    auto write = [&](const std::string& text) {
        // Whole or not at all, as an editor saves.
        std::ofstream(bend.string() + ".new", std::ios::binary) << text;
        fs::rename(bend.string() + ".new", bend);
    };

    launch({"--paused", "--at", "30", "--size", "160x90"}, "dummy", dir / "quorlaxen-viewer");
    const std::string before = next_frame();
    ASSERT_EQ(before.size(), 160u * 90u * 3u) << stderr_text();

    // Saved again unchanged (as a build that copies the sources does):
    // nothing to do. Another source changed at the same moment (a comment
    // added) is seen by the same look, so once it is reloaded the unchanged
    // one has been looked at too.
    const fs::path other = dir / "cgeffects" / "f_0";
    const std::string other_text = e2e::file_text(other);
    write(original);
    std::ofstream(other.string() + ".new", std::ios::binary) << other_text << "\n// saved again\n";
    fs::rename(other.string() + ".new", other);
    ASSERT_TRUE(wait_for_stderr("cgeffects/f_0 reloaded")) << stderr_text();
    EXPECT_EQ(stderr_text().find("fragment_bend3 reloaded"), std::string::npos) << stderr_text();
    EXPECT_TRUE(next_frame(30) == before) << "a comment changed the frame";

    // The last pass of the frame now paints it magenta.
    write("#version 120\nvoid main() { gl_FragColor = vec4(1.0, 0.0, 1.0, 1.0); }\n");
    const std::string magenta = next_frame(30);
    ASSERT_EQ(magenta.size(), before.size()) << stderr_text();
    for (size_t i = 0; i < magenta.size(); i += 3)
        ASSERT_EQ(magenta.compare(i, 3, std::string("\xff\x00\xff", 3)), 0) << "pixel " << i / 3;
    EXPECT_NE(stderr_text().find("cgeffects/fragment_bend3 reloaded"), std::string::npos) << stderr_text();

    // A source that does not compile: its listing, and the magenta stays.
    write("#version 120\nvoid main() { gl_FragColor = undeclared_thing; }\n");
    ASSERT_TRUE(wait_for_stderr("does not compile")) << stderr_text();
    EXPECT_NE(stderr_text().find("undeclared_thing"), std::string::npos) << stderr_text();
    ASSERT_TRUE(e2e::press(window, "period"));
    EXPECT_EQ(next_frame(30), magenta);

    // The original back: the frame at 30 s is as it was.
    write(original);
    ASSERT_FALSE(next_frame(30).empty()) << stderr_text();
    ASSERT_TRUE(e2e::press(window, "comma"));
    EXPECT_TRUE(next_frame(30) == before);
    ASSERT_TRUE(e2e::press(window, "Escape"));
    EXPECT_EQ(e2e::wait_exit(proc, 30), 0) << stderr_text();
}

} // namespace
