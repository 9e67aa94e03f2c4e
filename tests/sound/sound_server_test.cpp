// The viewer playing through a real sound server, as on a desktop: SDL's
// PulseAudio driver to a server the test starts (a null sink; its monitor
// recorded with the sink's own clock). About 20 s of show from just before
// the accent at 80 s: the music arrives whole (the decoded MP3 from the
// seeked sample on, no gap, no repeated block, the right rate), each frame
// drawn within two frame periods shows its picture within two frames of the
// music heard then, and the show clock never runs back and is pulled toward
// a music position never a frame off the sample heard.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "support/av_sync.h"
#include "support/e2e.h"
#include "support/needs.h"
#include "support/pulse_server.h"

namespace fs = std::filesystem;

namespace {

using e2e::output_of;

constexpr double frame_ms = 1000.0 / 60.0;

class sound_server : public ::testing::Test {
  protected:
    void SetUp() override {
        viewer = fs::path(QUORLAXEN_SHOW_DIR) / "quorlaxen-viewer";
        recorder = fs::path(QUORLAXEN_BINARY_DIR) / "tests" / "monitor-record";
        QUORLAXEN_NEED(fs::exists(viewer), "quorlaxen-viewer is not built");
        QUORLAXEN_NEED(fs::exists(recorder), "monitor-record is not built (needs libpulse-dev)");
        QUORLAXEN_NEED(e2e::has_display() && fs::exists(fs::path(QUORLAXEN_SHOW_DIR) / "music"),
                       "needs an X display and the forged data");
        server = std::make_unique<e2e::pulse_server>();
        QUORLAXEN_NEED(server->error().find("no pulseaudio") != 0, server->error());
        ASSERT_EQ(server->error(), "");
        dir = e2e::temp_dir("quorlaxen-sound-server-test");
        ASSERT_FALSE(dir.empty());
    }
    void TearDown() override {
        if (recording.pid > 0) e2e::stop(recording);
        const std::string left = e2e::has_display() && server ? e2e::leave_desktop(viewer_process) : "";
        server.reset();
        if (!dir.empty()) fs::remove_all(dir);
        EXPECT_EQ(left, "");
    }

    fs::path viewer, recorder, dir;
    std::unique_ptr<e2e::pulse_server> server;
    e2e::process recording, viewer_process;
};

TEST_F(sound_server, music_arrives_whole_and_the_picture_stays_within_two_frames_of_it) {
    const std::string address = server->address();
    recording = e2e::start_with_args(recorder, {"nul.monitor", (dir / "monitor").string()},
                                     {{"PULSE_SERVER", address}}, dir / "recorder.err", dir / "recorder.out");
    ASSERT_TRUE(e2e::wait_for(
        recording, [&] { return e2e::file_text(dir / "recorder.out").find("recording") == 0; }, 20))
        << e2e::file_text(dir / "recorder.err");

    const double at = 79.0, seconds = 20.0;
    viewer_process = e2e::start_with_args(viewer, {"--at", "79", "--size", "320x180", "--no-aa"},
                                          {{"SDL_AUDIODRIVER", "pulseaudio"},
                                           {"PULSE_SERVER", address},
                                           {"QUORLAXEN_VIEWER_CLOCK", (dir / "clock.txt").string()}},
                                          dir / "viewer.err");
    std::string window;
    ASSERT_TRUE(e2e::wait_for(
        viewer_process,
        [&] {
            std::istringstream ids(output_of("xdotool search --class quorlaxen-viewer 2>/dev/null"));
            return bool(ids >> window);
        },
        300))
        << e2e::file_text(dir / "viewer.err");
    // Playing once the clock log has frames; then the 20 s.
    ASSERT_TRUE(e2e::wait_for(
        viewer_process, [&] { return e2e::file_text(dir / "clock.txt").find("frame") != std::string::npos; },
        300))
        << e2e::file_text(dir / "viewer.err");
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    ASSERT_TRUE(e2e::press(window, "Escape"));
    EXPECT_EQ(e2e::wait_exit(viewer_process, 30), 0) << e2e::file_text(dir / "viewer.err");
    EXPECT_EQ(e2e::file_text(dir / "viewer.err").find("no sound device"), std::string::npos)
        << "the viewer did not reach the server";
    kill(recording.pid, SIGTERM);
    ASSERT_EQ(e2e::wait_exit(recording, 10), 0) << e2e::file_text(dir / "recorder.err");

    std::string error;
    av::recording rec;
    av::frame_log log;
    ASSERT_TRUE(av::load_recording(dir / "monitor", rec, error)) << error;
    ASSERT_TRUE(av::load_frame_log(dir / "clock.txt", log, error)) << error;
    const std::vector<int16_t> music =
        av::decode_music(fs::path(QUORLAXEN_SHOW_DIR) / "music" / "Zembra - Quorlaxen.mp3");
    ASSERT_GT(music.size(), size_t(2 * av::rate * 100)) << "ffmpeg could not decode the music";

    // The music, whole, from the sample of 79 s.
    const av::music_match m = av::match_music(rec, music, std::llround(at * av::rate));
    ASSERT_TRUE(m.found) << "no music in the recording";
    EXPECT_GT(m.peak, 0.999) << "the recording is not the music from 79 s";
    EXPECT_LT(m.next_peak, 0.9 * m.peak) << "no clear peak";
    EXPECT_GT(double(m.end - m.start) / av::rate, seconds - 1.0) << "too little music heard";
    EXPECT_EQ(m.jumps, 0) << "the music jumped (a gap or a repeated block) at "
                          << double(m.first_fault - m.start) / av::rate << " s";
    EXPECT_EQ(m.lost_blocks, 0) << "blocks that are not the music, first at "
                                << double(m.first_fault - m.start) / av::rate << " s";
    EXPECT_LT(m.worst_error, 0.0005) << "the music heard differs from the file's";

    // Every frame played with music heard, against it.
    const std::vector<av::frame_offset> offsets = av::offsets(rec, m, log);
    ASSERT_GT(offsets.size(), size_t(seconds * 10)) << "too few frames with music heard";
    // A frame that took longer than two frame periods to draw cannot be
    // within two frames of the music when it shows (a busy machine, not the
    // clock); the others must be.
    std::vector<double> picture;
    for (const av::frame_offset& o : offsets) {
        const auto& f = log.frames[o.index];
        if (o.index > 0 && double(f.present_ns - log.frames[o.index - 1].present_ns) / 1e6 <= 2 * frame_ms)
            picture.push_back(o.picture_ms);
    }
    ASSERT_GT(picture.size(), offsets.size() * 8 / 10) << "most frames took longer than two frame periods";
    const av::summary s = av::summarise(picture);
    EXPECT_LT(std::fabs(s.mean), 8.0) << "the picture is not in step with the music on average";
    EXPECT_LE(s.max, 2 * frame_ms) << "a frame's picture was more than two frames off the music heard";

    // The show clock never runs back, and the music position the frame
    // driver pulls it toward is never a frame off the sample heard.
    std::vector<double> position;
    for (const av::frame_offset& o : offsets) {
        if (std::isnan(o.position_ms)) continue;
        position.push_back(o.position_ms);
        ASSERT_GE(log.frames[o.index].show_time, log.frames[o.index - 1].show_time)
            << "the show clock ran back at frame " << o.index;
    }
    ASSERT_FALSE(position.empty());
    EXPECT_LE(av::summarise(position).max, frame_ms)
        << "the music position the clock was pulled toward was more than a frame off the sample heard";
}

} // namespace
