// quorlaxen-capture as a person uses it, at small sizes to keep it quick:
// refusals of bad arguments, a frame at a time without any display, the same
// frame whether reached by a jump or by running up to it, a short range as a
// playable video with its music, a range in two halves joining into the
// whole, a missing Xvfb or ffmpeg, an unwritable folder and a full disk each
// said in one line, and a show that cannot start reported as a failure with
// nothing written.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/e2e.h"
#include "support/needs.h"

namespace fs = std::filesystem;

namespace {

using e2e::output_of;
using e2e::quoted;
using e2e::result;

class capture_program : public ::testing::Test {
  protected:
    void SetUp() override {
        capture = fs::path(QUORLAXEN_SHOW_DIR) / "quorlaxen-capture";
        QUORLAXEN_NEED(fs::exists(capture), "quorlaxen-capture is not built");
        dir = e2e::temp_dir("quorlaxen-capture-test");
        ASSERT_FALSE(dir.empty());
    }
    void TearDown() override {
        if (!dir.empty()) fs::remove_all(dir);
    }

    // Runs the capture with `args` and no display at all.
    result run(const std::string& args, const fs::path& program = {}) {
        return e2e::run_in(dir, "env -u DISPLAY -u WAYLAND_DISPLAY " +
                                    quoted((program.empty() ? capture : program).string()) + " " + args);
    }

    // A PNG's pixels as RGB bytes, decoded by ffmpeg.
    std::string pixels(const fs::path& png) {
        return output_of("ffmpeg -loglevel error -i " + quoted(png.string()) +
                         " -f rawvideo -pix_fmt rgb24 - 2>/dev/null");
    }

    bool needs_data() {
        return fs::exists(fs::path(QUORLAXEN_SHOW_DIR) / "music") &&
               fs::exists(fs::path(QUORLAXEN_SHOW_DIR) / "textures" / "loading.jpg");
    }

    fs::path capture, dir;
};

TEST_F(capture_program, bad_arguments_are_refused_with_a_reason_and_exit_code_2) {
    const struct {
        const char* args;
        const char* reason;
    } cases[] = {
        {"", "no output"},
        {"-o x.mp4 --size 0x0", "--size takes WxH"},
        {"-o x.mp4 --size 640", "--size takes WxH"},
        {"-o x.mp4 --fps abc", "--fps takes a whole number"},
        {"-o x.mp4 --fps 0", "--fps takes a whole number"},
        {"-o x.mp4 --music 3", "--music takes 1 or 2"},
        {"-o x.png --at -1", "--at takes seconds"},
        {"-o x.png --at 300", "--at takes seconds"},
        {"-o x.png --at-scene nan", "--at-scene takes seconds"},
        {"-o x.png --at-scene 244.8", "--at-scene takes seconds from 0 to 244.77"},
        {"-o x.mp4 --from 20 --to 10", "--from must lie before --to"},
        {"-o x.png", "needs --at"},
        {"-o x.mp4 --at 10", "--at renders one frame"},
        {"-o x.png --at 10 --from 5", "exclude each other"},
        {"-o", "-o needs a value"},
        {"--frobnicate -o x.mp4", "unknown argument '--frobnicate'"},
    };
    for (const auto& c : cases) {
        const result r = run(c.args);
        EXPECT_EQ(r.code, 2) << c.args;
        EXPECT_NE(r.err.find(c.reason), std::string::npos) << c.args << "\n" << r.err;
        EXPECT_NE(r.err.find("usage:"), std::string::npos) << c.args;
    }
    EXPECT_FALSE(fs::exists(dir / "x.mp4"));
    EXPECT_FALSE(fs::exists(dir / "x.png"));
}

// The overhead shot of the railway (scene time 105): the line runs from its
// start far behind the train, so it crosses the frame's left edge; copies
// of the track are left out only outside the view, not behind the train.
TEST_F(capture_program, overhead_railway_line_reaches_the_left_edge_of_the_frame) {
    QUORLAXEN_NEED(needs_data(), "the show's data is not built");
    const result r = run("--quiet --size 640x360 --at-scene 105 -o rail.png");
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string rgb = pixels(dir / "rail.png");
    ASSERT_EQ(rgb.size(), size_t(640) * 360 * 3);
    // The darkest share of the leftmost 100 pixels over the rows around the
    // line (the dot field around it is never that dense).
    double best = 0.0;
    for (int y = 150; y < 210; ++y) {
        int dark = 0;
        for (int x = 0; x < 100; ++x) {
            const unsigned char* p = reinterpret_cast<const unsigned char*>(&rgb[(size_t(y) * 640 + x) * 3]);
            dark += p[0] < 60 && p[1] < 60 && p[2] < 60;
        }
        best = std::max(best, dark / 100.0);
    }
    EXPECT_GT(best, 0.95);
}

TEST_F(capture_program, frame_reached_by_a_jump_equals_the_frame_reached_by_running_up_to_it) {
    QUORLAXEN_NEED(needs_data(), "forge the data first");
    // Without a display: the capture brings its own X server.
    const result single = run("--at 30.1 --fps 10 --size 160x90 -o one.png");
    ASSERT_EQ(single.code, 0) << single.err;
    EXPECT_NE(single.out.find((dir / "one.png").string()), std::string::npos) << single.out;
    const std::string one = pixels(dir / "one.png");
    ASSERT_EQ(one.size(), 160u * 90u * 3u);
    EXPECT_NE(one.find_first_not_of(one[0]), std::string::npos) << "a blank frame";

    // Several times in one run, each reached from its own starting state:
    // a scene time first does not change the frame at the show time. The
    // scene clock runs ahead of the show's and ends past 242.5.
    const result several = run("--at-scene 12.5 --at-scene 244.7 --at 30.1 --fps 10 --size 160x90 -o shots/");
    ASSERT_EQ(several.code, 0) << several.err;
    EXPECT_TRUE(fs::exists(dir / "shots" / "frame-012.500.png"));
    EXPECT_TRUE(fs::exists(dir / "shots" / "frame-244.700.png"));
    EXPECT_EQ(pixels(dir / "shots" / "show-030.100.png"), one);

    // The same show time as the third frame of a run from 29.9 s (the
    // frame at --to is not part of the range).
    const result range = run("--from 29.9 --to 30.2 --fps 10 --size 160x90 --quiet -o frames/");
    ASSERT_EQ(range.code, 0) << range.err;
    std::vector<std::string> frames;
    for (int i = 0; fs::exists(dir / "frames" / ("frame-00000" + std::to_string(i) + ".png")); ++i)
        frames.push_back(pixels(dir / "frames" / ("frame-00000" + std::to_string(i) + ".png")));
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_NE(frames[0], frames[2]) << "the show did not move in 0.2 s";
    ASSERT_EQ(frames[2].size(), one.size());
    long difference = 0;
    for (size_t i = 0; i < one.size(); ++i)
        difference += std::abs(int(uint8_t(one[i])) - int(uint8_t(frames[2][i])));
    EXPECT_LT(double(difference) / double(one.size()), 0.5) << "mean difference per channel";
}

// The music of a video as 16-bit mono samples at 44.1 kHz, `args` placing
// it (ffmpeg's input options and the file).
std::vector<int16_t> music_samples(const std::string& args) {
    const std::string bytes =
        output_of("ffmpeg -v error " + args + " -map 0:a -ac 1 -ar 44100 -f s16le - 2>/dev/null");
    std::vector<int16_t> samples(bytes.size() / 2);
    std::copy_n(bytes.data(), samples.size() * 2, reinterpret_cast<char*>(samples.data()));
    return samples;
}

// Root mean square of a - b over their common length, and of b alone.
std::pair<double, double> rms_apart(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
    double apart = 0.0, level = 0.0;
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i)
        apart += double(a[i] - b[i]) * (a[i] - b[i]), level += double(b[i]) * b[i];
    return {std::sqrt(apart / double(std::max<size_t>(n, 1))),
            std::sqrt(level / double(std::max<size_t>(n, 1)))};
}

TEST_F(capture_program, short_range_becomes_a_playable_video_with_the_chosen_music_of_the_same_length) {
    QUORLAXEN_NEED(needs_data(), "forge the data first");
    const result r = run("--from 60 --to 61.5 --fps 20 --size 160x96 --music 2 -o clip.mp4");
    ASSERT_EQ(r.code, 0) << r.err;
    ASSERT_TRUE(fs::exists(dir / "clip.mp4"));
    EXPECT_EQ(r.out, (dir / "clip.mp4").string() + "\n") << "standard output carries only the path";

    const std::string streams =
        output_of("ffprobe -v error -show_entries stream=codec_type,codec_name,width,height,"
                  "nb_frames,duration -of compact " +
                  quoted((dir / "clip.mp4").string()));
    EXPECT_NE(streams.find("codec_name=h264|codec_type=video|width=160|height=96"), std::string::npos)
        << streams;
    EXPECT_NE(streams.find("nb_frames=30"), std::string::npos) << streams; // 60.0 up to 61.5 s, 20 a second
    double audio = 0.0;
    std::istringstream lines(streams);
    for (std::string line; std::getline(lines, line);)
        if (line.find("codec_type=audio") != std::string::npos)
            audio = std::atof(line.substr(line.find("duration=") + 9).c_str());
    EXPECT_NEAR(audio, 30.0 / 20.0, 0.05) << streams;
    EXPECT_NE(streams.find("codec_name=aac|codec_type=audio"), std::string::npos) << streams;

    // The second version from 60 s, not the first (AAC keeps it within a
    // tenth of its level; the two versions differ by more than it).
    const fs::path music = fs::path(QUORLAXEN_SHOW_DIR) / "music";
    const std::vector<int16_t> heard = music_samples("-i " + quoted((dir / "clip.mp4").string()));
    const auto second = rms_apart(
        heard, music_samples("-ss 60 -t 1.5 -i " + quoted((music / "Zembra - Quorlaxen2.mp3").string())));
    const auto first = rms_apart(
        heard, music_samples("-ss 60 -t 1.5 -i " + quoted((music / "Zembra - Quorlaxen.mp3").string())));
    ASSERT_GT(heard.size(), 60000u);
    EXPECT_LT(second.first, 0.25 * second.second) << "not the second version's music from 60 s";
    EXPECT_GT(first.first, 0.5 * first.second) << "the first version's music";

    // Playable: every packet decodes, and the music is not silence.
    EXPECT_EQ(std::system(("ffmpeg -v error -xerror -i " + quoted((dir / "clip.mp4").string()) +
                           " -f null - >/dev/null 2>&1")
                              .c_str()),
              0);
    const std::string volume = output_of("ffmpeg -i " + quoted((dir / "clip.mp4").string()) +
                                         " -map 0:a -af volumedetect -f null - 2>&1");
    const size_t at = volume.find("mean_volume:");
    ASSERT_NE(at, std::string::npos) << volume;
    EXPECT_GT(std::atof(volume.c_str() + at + 12), -40.0) << "silent music";
}

TEST_F(capture_program, lossless_video_is_ffv1_with_flac_in_matroska) {
    QUORLAXEN_NEED(needs_data(), "forge the data first");
    const result r = run("--from 60 --to 60.5 --fps 20 --size 160x96 --lossless -o clip.mkv");
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string streams =
        output_of("ffprobe -v error -show_entries stream=codec_type,codec_name -of compact " +
                  quoted((dir / "clip.mkv").string()));
    EXPECT_NE(streams.find("codec_name=ffv1|codec_type=video"), std::string::npos) << streams;
    EXPECT_NE(streams.find("codec_name=flac|codec_type=audio"), std::string::npos) << streams;
}

TEST_F(capture_program, interrupted_capture_leaves_nothing_under_the_asked_name) {
    QUORLAXEN_NEED(needs_data(), "forge the data first");
    e2e::process p = e2e::start_with_args(
        capture,
        {"--quiet", "--from", "60", "--to", "120", "--size", "160x96", "-o", (dir / "long.mp4").string()}, {},
        dir / "err.txt", dir / "out.txt");
    ASSERT_GT(p.pid, 0);
    // Mid-range: the video is being written under its temporary name.
    const bool writing = e2e::wait_for(
        p,
        [&] {
            for (const auto& entry : fs::directory_iterator(dir))
                if (entry.path().filename().string().rfind(".long.partial-", 0) == 0 &&
                    fs::file_size(entry.path()) > 0)
                    return true;
            return false;
        },
        300);
    ASSERT_TRUE(writing) << e2e::file_text(dir / "err.txt");
    kill(p.pid, SIGINT);
    const int code = e2e::wait_exit(p, 60);
    EXPECT_GT(code, 0) << "still running, or ended as if whole";
    EXPECT_FALSE(fs::exists(dir / "long.mp4"));
    EXPECT_EQ(e2e::file_text(dir / "out.txt"), "") << "a path printed for a video never made";
}

// Row 59 of the script carries the boat's anchor from one frame to the
// next (scene 170 to 210.56 s, show time 168.5 to 208.6 s); the seam at
// 186 s falls inside it.
TEST_F(capture_program, range_captured_in_two_halves_joins_into_the_whole_frame_for_frame) {
    QUORLAXEN_NEED(needs_data(), "forge the data first");
    const std::string common = " --fps 5 --size 128x72 --quiet -o ";
    for (const char* part : {"--from 185 --to 187", "--from 185 --to 186", "--from 186 --to 187"}) {
        const std::string name = std::string(part).substr(7, 3) + "-" + std::string(part).substr(16, 3);
        const result frames = run(part + common + name + "/");
        ASSERT_EQ(frames.code, 0) << part << "\n" << frames.err;
        const result video = run(part + common + name + ".mp4");
        ASSERT_EQ(video.code, 0) << part << "\n" << video.err;
    }
    auto pngs = [&](const std::string& folder) {
        std::vector<std::string> out;
        for (int i = 0; fs::exists(dir / folder / ("frame-00000" + std::to_string(i) + ".png")); ++i)
            out.push_back(e2e::file_text(dir / folder / ("frame-00000" + std::to_string(i) + ".png")));
        return out;
    };
    std::vector<std::string> joined = pngs("185-186");
    for (const std::string& png : pngs("186-187"))
        joined.push_back(png);
    const std::vector<std::string> whole = pngs("185-187");
    ASSERT_EQ(whole.size(), 10u);
    EXPECT_TRUE(joined == whole) << "the halves' frames, byte for byte, are the whole range's";

    // Two videos joined by ffmpeg's concat demuxer: every decoded frame is
    // nearest to the whole range's frame of the same number (frames 0.2 s
    // apart differ by several levels on average, the coding by under one).
    std::ofstream((dir / "list.txt").string()) << "file '" << (dir / "185-186.mp4").string() << "'\nfile '"
                                               << (dir / "186-187.mp4").string() << "'\n";
    ASSERT_EQ(
        std::system(("cd " + quoted(dir.string()) +
                     " && ffmpeg -v error -f concat -safe 0 -i list.txt -c copy joined.mp4 >/dev/null 2>&1")
                        .c_str()),
        0);
    const size_t size = 128 * 72;
    auto grey_frames = [&](const fs::path& file) {
        const std::string grey =
            output_of("ffmpeg -v error -i " + quoted(file.string()) +
                      " -map 0:v -fps_mode passthrough -f rawvideo -pix_fmt gray - 2>/dev/null");
        std::vector<std::string> out;
        for (size_t at = 0; at + size <= grey.size(); at += size)
            out.push_back(grey.substr(at, size));
        return out;
    };
    const std::vector<std::string> video = grey_frames(dir / "joined.mp4");
    std::vector<std::string> reference;
    for (int i = 0; i < 10; ++i)
        reference.push_back(
            grey_frames(dir / "185-187" / ("frame-00000" + std::to_string(i) + ".png")).at(0));
    ASSERT_EQ(video.size(), reference.size());
    ASSERT_EQ(grey_frames(dir / "185-187.mp4").size(), reference.size());
    auto mean_difference = [&](const std::string& a, const std::string& b) {
        long sum = 0;
        for (size_t i = 0; i < size; ++i)
            sum += std::abs(int(uint8_t(a[i])) - int(uint8_t(b[i])));
        return double(sum) / double(size);
    };
    for (size_t i = 0; i < video.size(); ++i) {
        size_t nearest = 0;
        for (size_t k = 1; k < reference.size(); ++k)
            if (mean_difference(video[i], reference[k]) < mean_difference(video[i], reference[nearest]))
                nearest = k;
        EXPECT_EQ(nearest, i) << "joined video frame " << i;
        EXPECT_LT(mean_difference(video[i], reference[i]), 2.5) << "joined video frame " << i;
    }
}

TEST_F(capture_program, force_16_9_draws_the_view_between_black_bands) {
    QUORLAXEN_NEED(needs_data(), "forge the data first");
    const result r = run("--at 30 --size 160x128 --force-16-9 --quiet -o banded.png");
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string rgb = pixels(dir / "banded.png");
    ASSERT_EQ(rgb.size(), 160u * 128u * 3u);
    // A 160-wide view is 90 high: 19 rows of band above and below it.
    auto row_is_black = [&](int y) {
        return rgb.substr(size_t(y) * 160 * 3, 160 * 3).find_first_not_of('\0') == std::string::npos;
    };
    for (int y : {0, 10, 17, 110, 127})
        EXPECT_TRUE(row_is_black(y)) << "row " << y;
    for (int y : {21, 64, 106})
        EXPECT_FALSE(row_is_black(y)) << "row " << y;
}

// Each refusal: exit code 1, one line on standard error that names what is
// wrong, and nothing left in the folder (no file under the output's name,
// no temporary one).
TEST_F(capture_program, bad_environment_is_one_line_and_leaves_no_file_named_as_whole) {
    QUORLAXEN_NEED(needs_data(), "forge the data first");
    auto expect_refusal = [&](const std::string& what, const result& r, const std::string& reason,
                              const fs::path& folder) {
        EXPECT_EQ(r.code, 1) << what << "\n" << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << what << "\n" << r.err;
        EXPECT_NE(r.err.find(reason), std::string::npos) << what << "\n" << r.err;
        if (fs::is_directory(folder))
            for (const auto& entry : fs::recursive_directory_iterator(folder))
                ADD_FAILURE() << what << ": left " << entry.path();
    };
    // PATH with just the one of Xvfb and ffmpeg that is wanted.
    auto path_with = [&](const char* tool) {
        const fs::path bin = dir / (std::string("bin-") + tool);
        fs::create_directory(bin);
        const std::string found = output_of(std::string("command -v ") + tool);
        fs::create_symlink(found.substr(0, found.find('\n')), bin / tool);
        return "env -u DISPLAY PATH=" + quoted(bin.string()) + " " + quoted(capture.string()) + " --quiet ";
    };
    fs::create_directory(dir / "out");
    // (Without --gl xvfb it would draw through EGL, which needs no server.)
    expect_refusal("without Xvfb",
                   e2e::run_in(dir, path_with("ffmpeg") + "--gl xvfb --at 5 -o out/frame.png"),
                   "Xvfb is not installed", dir / "out");
    expect_refusal("without ffmpeg", e2e::run_in(dir, path_with("Xvfb") + "--from 5 --to 6 -o out/clip.mp4"),
                   "ffmpeg, which is not installed", dir / "out");

    // A folder that cannot be written and a full disk: small file systems
    // mounted in a user namespace of the capture's own. Without one, a file
    // size limit makes the writes fail instead.
    const std::string capture_command = "env -u DISPLAY " + quoted(capture.string()) + " --quiet ";
    const bool namespaces = std::system("unshare --user --map-root-user --mount true >/dev/null 2>&1") == 0;
    // The mount goes with the namespace: what the capture left there is
    // listed on standard output (where a failed capture writes nothing).
    auto on_tmpfs = [&](const char* mount_options, const std::string& args) {
        const std::string inner = "mount -t tmpfs -o " + std::string(mount_options) + " tmpfs out && { " +
                                  capture_command + args + "; code=$?; ls -A out; exit $code; }";
        const result r = e2e::run_in(dir, "unshare --user --map-root-user --mount sh -c " + quoted(inner));
        EXPECT_EQ(r.out, "") << args << ": left in the folder";
        return r;
    };
    if (namespaces) {
        expect_refusal("read-only folder", on_tmpfs("ro,size=1m", "--at 5 -o out/frame.png"),
                       "Read-only file system", dir / "out");
        expect_refusal("read-only folder, frames", on_tmpfs("ro,size=1m", "--from 5 --to 6 -o out/frames/"),
                       "Read-only file system", dir / "out");
        expect_refusal("full disk, frame", on_tmpfs("size=8k", "--at 5 --size 320x180 -o out/frame.png"),
                       "No space left on device", dir / "out");
        expect_refusal("full disk, video",
                       on_tmpfs("size=64k", "--from 5 --to 8 --size 320x180 -o out/clip.mp4"),
                       "No space left on device", dir / "out");

        // A frame folder keeps the frames that were written whole before the
        // disk filled (each ends with the PNG end chunk) and nothing else;
        // the message names the first frame that did not fit.
        const std::string inner =
            "mount -t tmpfs -o size=200k tmpfs out && { " + capture_command +
            "--from 5 --to 8 --size 320x180 -o out/frames/; code=$?; cd out/frames && "
            "for f in $(ls -A); do echo \"$f $(tail -c 8 $f | od -An -tx1 | tr -d [:space:])\"; done; "
            "exit $code; }";
        const result r = e2e::run_in(dir, "unshare --user --map-root-user --mount sh -c " + quoted(inner));
        EXPECT_EQ(r.code, 1) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        std::istringstream left(r.out);
        std::string name, tail;
        int whole = 0;
        while (left >> name >> tail) {
            char expected[32];
            std::snprintf(expected, sizeof expected, "frame-%06d.png", whole);
            EXPECT_EQ(name, expected);
            EXPECT_EQ(tail, "49454e44ae426082") << name << " is not whole";
            ++whole;
        }
        EXPECT_GT(whole, 0) << r.out;
        char first_missing[32];
        std::snprintf(first_missing, sizeof first_missing, "frame-%06d.png: No space left", whole);
        EXPECT_NE(r.err.find(first_missing), std::string::npos) << r.err;
    } else {
        std::printf("no user namespaces: full disk stood in for by a file size limit\n");
        expect_refusal("file size limit, video",
                       e2e::run_in(dir, "prlimit --fsize=30000 " + capture_command +
                                            "--from 5 --to 8 --size 320x180 -o out/clip.mp4"),
                       "File too large", dir / "out");
    }
}

TEST_F(capture_program, show_that_cannot_start_is_a_failure_and_writes_nothing) {
    QUORLAXEN_NEED(needs_data(), "forge the data first");
    // A copy of the program beside the show's data minus the loading image.
    fs::create_directory(dir / "show");
    e2e::copy_show(QUORLAXEN_SHOW_DIR, dir / "show", "quorlaxen-capture", {"meshes", "music", "cgeffects"},
                   {"textures"}, "textures/loading.jpg");

    const result r = run("--at 5 --size 64x36 -o frame.png", dir / "show" / "quorlaxen-capture");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("Jpg: textures/loading.jpg"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("nothing written"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "frame.png"));
}

} // namespace
