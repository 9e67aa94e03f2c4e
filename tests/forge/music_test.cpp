// The music forge: its score notation and tempo map, the clock conversion the
// accents rely on, the composed scores, and the two forged MP3 files measured
// as the show decodes them.
#include "analysis.h"
#include "encode.h"
#include "master.h"
#include "parts/show_clock.h"
#include "piece.h"
#include "render.h"
#include "score.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fm = forge_music;

namespace {

const std::string music_dir = std::string(QUORLAXEN_SHOW_DIR) + "/music";
const char* const files[2] = {"Zembra - Quorlaxen.mp3", "Zembra - Quorlaxen2.mp3"};

// Where the music must land, on the show clock. The cue table's times as
// they are; the production-clock moments converted by integrating the
// clock shaping (1.01, plus the bumps from 5 and 42) independently of the
// forge: the finale at 179, the recoils at 201.4, 208.4, 214.4 and the
// halves meeting at 244.133.
// The accents the music must carry: every boundary of the show's cue table
// inside the show, and the picture's moments the timeline follows (the
// finale, the gun's three recoils, the telos halves meeting; scene times).
const std::vector<double> accents = [] {
    std::vector<double> a;
    for (const cue_entry& cue : show_cues)
        for (double t : {cue.start, cue.end})
            if (t > 0.0 && t < show_end_time && std::find(a.begin(), a.end(), t) == a.end()) a.push_back(t);
    for (double scene : {179.0, 201.4, 208.4, 214.4, 242.8 + 1.0 / 0.75})
        a.push_back(fm::show_time_of_scene(scene));
    std::sort(a.begin(), a.end());
    return a;
}();

std::vector<unsigned char> read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

// --- notation ---------------------------------------------------------------

TEST(MusicNotation, PitchNamesFollowMidiNumbering) {
    EXPECT_EQ(fm::parse_pitch("C4"), 60);
    EXPECT_EQ(fm::parse_pitch("A4"), 69);
    EXPECT_EQ(fm::parse_pitch("Bb3"), 58);
    EXPECT_EQ(fm::parse_pitch("F#5"), 78);
    EXPECT_EQ(fm::parse_pitch("C-1"), 0);
    EXPECT_EQ(fm::parse_pitch("G9"), 127);
    for (const char* bad : {"", "C", "H4", "C#", "Cx4", "A9", "C44", "Cb-1"})
        EXPECT_THROW(fm::parse_pitch(bad), fm::notation_error) << bad;
}

TEST(MusicNotation, MelodyLengthsCarryAndBarsAreChecked) {
    auto line = fm::parse_melody("C4:0.5 D4 E4:1/3 F4 G4 r:2 | A4:2! B4:1' r");
    ASSERT_EQ(line.size(), 9u);
    EXPECT_DOUBLE_EQ(line[1].length, 0.5); // carried from C4
    EXPECT_DOUBLE_EQ(line[3].length, 1.0 / 3);
    EXPECT_EQ(line[5].key, -1);
    EXPECT_NEAR(line[6].beat, 4.0, 1e-12); // the bar line fell on beat 4
    EXPECT_EQ(line[6].accent, 1);
    EXPECT_TRUE(line[7].staccato);
    EXPECT_NEAR(fm::melody_length(line), 8.0, 1e-12);

    EXPECT_NO_THROW(fm::parse_melody("r:12 | C4:4 |"));  // a rest over three bars
    EXPECT_NO_THROW(fm::parse_melody("C4:1 D4:2 |", 3)); // 3/4
    EXPECT_THROW(fm::parse_melody("C4:3 | D4"), fm::notation_error);
    EXPECT_THROW(fm::parse_melody("C4:5 |"), fm::notation_error);
    EXPECT_THROW(fm::parse_melody("C4:0"), fm::notation_error);
    EXPECT_THROW(fm::parse_melody("C4:x"), fm::notation_error);
    EXPECT_THROW(fm::parse_melody("C4:1/0"), fm::notation_error);
    EXPECT_THROW(fm::parse_melody(":1"), fm::notation_error);
}

TEST(MusicNotation, ChordsAndProgressions) {
    fm::chord dm = fm::parse_chord("Dm");
    EXPECT_EQ(dm.root, 2);
    EXPECT_EQ(dm.intervals, (std::vector<int>{0, 3, 7}));
    EXPECT_EQ(dm.bass, 2);
    fm::chord slash = fm::parse_chord("C/E");
    EXPECT_EQ(slash.root, 0);
    EXPECT_EQ(slash.bass, 4);
    EXPECT_EQ(fm::parse_chord("Bbmaj7").root, 10);
    EXPECT_EQ(fm::parse_chord("F#m7").intervals, (std::vector<int>{0, 3, 7, 10}));
    for (const char* bad : {"", "dm", "Dx", "H", "C/", "C/Ex", "Dm7b5"})
        EXPECT_THROW(fm::parse_chord(bad), fm::notation_error) << bad;

    // Two chords share a bar; the written bars repeat over a longer section.
    auto p = fm::parse_progression("Dm A7 | Gm", {4, 4, 4, 3});
    ASSERT_EQ(p.size(), 6u);
    EXPECT_DOUBLE_EQ(p[1].beat, 2.0);
    EXPECT_DOUBLE_EQ(p[1].length, 2.0);
    EXPECT_EQ(p[2].value.root, 7);
    EXPECT_DOUBLE_EQ(p[3].beat, 8.0); // bar 3 repeats bar 1
    EXPECT_DOUBLE_EQ(p[5].beat, 12.0);
    EXPECT_DOUBLE_EQ(p[5].length, 3.0);
    EXPECT_THROW(fm::parse_progression("| |", {4}), fm::notation_error);
    EXPECT_THROW(fm::parse_progression("", {4}), fm::notation_error);

    EXPECT_EQ(fm::parse_groove("x.X|og"), (std::vector<int>{100, 0, 124, 72, 44}));
    EXPECT_THROW(fm::parse_groove("x-x"), fm::notation_error);
}

// --- tempo map --------------------------------------------------------------

TEST(MusicTempoMap, AnchorsFallExactlyOnBeats) {
    fm::tempo_map map = fm::make_tempo_map({{0.0, 8}, {4.95, 36}, {80.0, 10}}, 85.14);
    EXPECT_DOUBLE_EQ(fm::seconds_at(map, 8), 4.95);
    EXPECT_DOUBLE_EQ(fm::seconds_at(map, 44), 80.0);
    EXPECT_DOUBLE_EQ(fm::seconds_at(map, 54), 85.14);
    EXPECT_NEAR(fm::tempo_at(map, 50), 60.0 * 10 / 5.14, 1e-9);
    for (double b : {0.0, 3.3, 8.0, 20.5, 53.9})
        EXPECT_NEAR(fm::beat_at(map, fm::seconds_at(map, b)), b, 1e-9);
    // Past the end the last tempo continues.
    EXPECT_NEAR(fm::seconds_at(map, 64), 85.14 + 5.14, 1e-9);

    EXPECT_THROW(fm::make_tempo_map({}, 10), fm::notation_error);
    EXPECT_THROW(fm::make_tempo_map({{0, 4}, {0, 4}}, 10), fm::notation_error);
    EXPECT_THROW(fm::make_tempo_map({{0, 4}}, 0), fm::notation_error);
    EXPECT_THROW(fm::make_tempo_map({{0, 0}}, 10), fm::notation_error);
}

TEST(MusicTempoMap, BarsCoverEveryBeat) {
    EXPECT_EQ(fm::bar_lengths(16), (std::vector<int>{4, 4, 4, 4}));
    EXPECT_EQ(fm::bar_lengths(15), (std::vector<int>{4, 4, 4, 3}));
    EXPECT_EQ(fm::bar_lengths(13), (std::vector<int>{4, 4, 3, 2}));
    EXPECT_EQ(fm::bar_lengths(10), (std::vector<int>{4, 4, 2}));
    EXPECT_EQ(fm::bar_lengths(2), (std::vector<int>{2}));
    EXPECT_TRUE(fm::bar_lengths(0).empty());
}

// --- clocks -----------------------------------------------------------------

TEST(MusicClock, SceneTimesConvertToTheShowClock) {
    // Before the first bump the production clock is exactly 1 % ahead.
    EXPECT_NEAR(fm::show_time_of_scene(2.0), 2.0 / 1.01, 1e-9);
    EXPECT_NEAR(fm::show_time_of_scene(5.0), 5.0 / 1.01, 1e-9);
    // After both bumps: the closed form of the integral of 1 / (1 + a sin x)
    // over half a period gives each bump's share.
    const double pi = 3.14159265358979323846, len = 1 / 0.15;
    auto half_period = [pi](double a) {
        double r = std::sqrt(1 - a * a);
        return 2 / r * (pi / 2 - std::atan(a / r));
    };
    auto expected = [&](double t) {
        return (5 + len / pi * half_period(0.15) + (42 - 5 - len) + len / pi * half_period(-0.15) +
                (t - 42 - len)) /
               1.01;
    };
    for (double t : {60.0, 179.0, 201.4, 244.0 + 0.4 / 3})
        EXPECT_NEAR(fm::show_time_of_scene(t), expected(t), 1e-6) << t;
    EXPECT_NEAR(fm::show_time_of_scene(242.8 + 1 / 0.75), 241.867, 0.001);
}

TEST(MusicClock, TheFrameDriverKeepsToTheForgesConversion) {
    // The frame driver steps the show clock by the frame's step and the
    // production clock by the shaped step; the music places the picture's
    // moments by the forge's integral of the shaping. At a steady frame rate
    // the two agree to well within a frame over the whole show, so every
    // picture moment on the timeline is shown before the show ends.
    for (int fps : {10, 30, 60, 144}) {
        const double dt = 1.0 / fps;
        double show = 0.0, scene = 0.0, worst = 0.0;
        for (long frame = 1; show <= show_end_time; ++frame) {
            scene += shape_frame_step(scene, dt);
            show += dt;
            if (frame % fps == 0 || show > show_end_time)
                worst = std::max(worst, std::fabs(fm::show_time_of_scene(scene) - show));
        }
        EXPECT_LT(worst, 0.25 * dt) << fps << " frames a second";
    }
    for (const fm::hit_point& h : fm::hit_points())
        EXPECT_LT(h.time, show_end_time) << h.what;
}

// --- mastering --------------------------------------------------------------

namespace {
fm::stereo sine(double amplitude, double seconds, double hz = 997.0) {
    fm::stereo s;
    size_t n = size_t(seconds * fm::sample_rate);
    for (size_t i = 0; i < n; ++i) {
        float v = float(amplitude * std::sin(2 * 3.14159265358979323846 * hz * double(i) / fm::sample_rate));
        s.left.push_back(v);
        s.right.push_back(v);
    }
    return s;
}
} // namespace

TEST(MusicMaster, LoudnessMeterReadsTheReferenceTone) {
    // A 997 Hz tone at -20 dBFS on both channels reads -20 LUFS; the
    // absolute gate leaves silence out, the relative gate a quiet tail.
    fm::stereo tone = sine(0.1, 10);
    EXPECT_NEAR(fm::integrated_loudness(tone.left, tone.right), -20.0, 0.1);
    fm::stereo gapped = tone;
    gapped.left.resize(20 * fm::sample_rate, 0.0f);
    gapped.right.resize(20 * fm::sample_rate, 0.0f);
    EXPECT_NEAR(fm::integrated_loudness(gapped.left, gapped.right), -20.0, 0.1);
    fm::stereo tail = sine(0.001, 10);
    gapped.left.insert(gapped.left.end(), tail.left.begin(), tail.left.end());
    gapped.right.insert(gapped.right.end(), tail.right.begin(), tail.right.end());
    EXPECT_NEAR(fm::integrated_loudness(gapped.left, gapped.right), -20.0, 0.1);
    std::vector<float> silence(fm::sample_rate * 2, 0.0f);
    EXPECT_LE(fm::integrated_loudness(silence, silence), -70.0);
    // Low rumble counts for less than the same level at 1 kHz.
    fm::stereo rumble = sine(0.1, 10, 30.0);
    EXPECT_LT(fm::integrated_loudness(rumble.left, rumble.right), -23.0);
}

TEST(MusicMaster, LimiterHoldsTheCeilingAndSparesQuietPassages) {
    // A quiet tone with one loud burst in the middle.
    fm::stereo s = sine(0.1, 3);
    for (size_t i = fm::sample_rate; i < size_t(1.2 * fm::sample_rate); ++i) {
        s.left[i] *= 12.0f;
        s.right[i] *= 12.0f;
    }
    const fm::stereo before = s;
    fm::limit_peaks(s, 0.5f);
    EXPECT_LE(fm::peak_level(s), 0.5f);
    // Before the burst nothing changes; well after it the gain has recovered.
    for (size_t i = 0; i < size_t(0.99 * fm::sample_rate); ++i)
        ASSERT_EQ(s.left[i], before.left[i]) << i;
    for (size_t i = size_t(2.5 * fm::sample_rate); i < s.left.size(); ++i)
        ASSERT_NEAR(s.left[i], before.left[i], 1e-3) << i;
    // The gain moves smoothly: no step between neighbouring samples of the
    // burst larger than the tone itself could make.
    for (size_t i = fm::sample_rate - 200; i < size_t(1.2 * fm::sample_rate); ++i)
        ASSERT_LT(std::fabs(s.left[i] - s.left[i - 1]), 0.1f) << i;

    fm::stereo mix = sine(0.05, 6);
    fm::master_report r = fm::master_mix(mix, -14.0, -1.5, 1.0);
    EXPECT_NEAR(r.loudness_after, -14.0, 0.3);
    EXPECT_LE(r.peak_after, std::pow(10.0f, -1.5f / 20.0f) + 1e-6f);
    EXPECT_EQ(mix.left.front(), 0.0f);
    EXPECT_EQ(mix.left.back(), 0.0f);
}

TEST(MusicMaster, EncodedLengthIsExactThanksToTheInfoTag) {
    // An odd length, not a whole number of MP3 frames: without the encoder's
    // delay and padding in the info tag the decoder would return more.
    fm::stereo tone = sine(0.3, 2.0);
    tone.left.resize(88201);
    tone.right.resize(88201);
    std::vector<unsigned char> mp3 = fm::encode_mp3(tone, {"Title", "Artist", "Album", "2026"}, 2);
    ASSERT_GT(mp3.size(), 1000u);
    EXPECT_EQ(std::string(mp3.begin(), mp3.begin() + 3), "ID3");
    EXPECT_EQ(std::string(mp3.end() - 128, mp3.end() - 125), "TAG");
    std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("music-encode-test-" + std::to_string(::getpid()) + ".mp3");
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(mp3.data()), std::streamsize(mp3.size()));
    }
    fm::decoded_audio back = fm::decode_mp3_file(path.string());
    std::filesystem::remove(path);
    EXPECT_EQ(back.rate, 44100);
    EXPECT_EQ(back.left.size(), 88201u);
    EXPECT_EQ(back.clipped, 0u);
    EXPECT_NEAR(fm::integrated_loudness(back.left, back.right),
                fm::integrated_loudness(tone.left, tone.right), 0.2);
    EXPECT_THROW(fm::decode_mp3_file(path.string()), std::runtime_error);
}

// --- the composed scores ----------------------------------------------------

TEST(MusicScore, BothVersionsAreWellFormedAndHitEveryAccent) {
    fm::score scores[2] = {fm::compose(1), fm::compose(2)};
    for (int v = 0; v < 2; ++v) {
        const fm::score& s = scores[v];
        EXPECT_DOUBLE_EQ(s.length, fm::piece_length);
        EXPECT_GT(s.notes.size(), 3000u);
        std::set<int> channels;
        for (const fm::note& n : s.notes) {
            ASSERT_GE(n.start, 0.0);
            ASSERT_LT(n.start + n.length, fm::piece_length - 1.0) << "note runs into the fade-out";
            ASSERT_GT(n.length, 0.0);
            ASSERT_TRUE(n.key >= 0 && n.key <= 127 && n.velocity >= 1 && n.velocity <= 127);
            ASSERT_TRUE(n.channel >= 0 && n.channel < 16);
            channels.insert(n.channel);
        }
        EXPECT_GE(channels.size(), 14u) << "melody, harmony, bass, drums and colours all play";
        // Every accent starts a cymbal or drum stroke on the spot.
        for (double a : accents) {
            bool struck = false;
            for (const fm::note& n : s.notes)
                struck = struck || ((n.channel == 9 || n.channel == 15) && std::fabs(n.start - a) < 0.002);
            EXPECT_TRUE(struck) << "version " << v + 1 << " at " << a;
        }
    }
    // The versions are different arrangements: other instruments.
    auto programs = [](const fm::score& s) {
        std::vector<int> p;
        for (const fm::control& c : s.controls)
            if (c.kind == fm::control_kind::program) p.push_back(c.value * 128 + c.number);
        return p;
    };
    EXPECT_NE(programs(scores[0]), programs(scores[1]));
    EXPECT_THROW(fm::compose(3), std::invalid_argument);
}

TEST(MusicScore, AccentListMatchesTheTimeline) {
    std::vector<fm::hit_point> hits = fm::hit_points();
    for (size_t i = 1; i < hits.size(); ++i)
        EXPECT_LT(hits[i - 1].time, hits[i].time);
    for (double a : accents) {
        bool listed = false;
        for (const auto& h : hits)
            listed = listed || std::fabs(h.time - a) < 0.002;
        EXPECT_TRUE(listed) << a;
    }
}

// --- rendering ----------------------------------------------------------------

// libfluidsynth draws its dither noise with rand() while it sets up its
// process-wide tables in the first synthesizer it creates. A slower rand()
// (same values) stretches that set-up, so that a second synthesizer created
// meanwhile on another thread would be sure to find it unfinished.
extern "C" int rand() noexcept {
    static int (*const real)() = reinterpret_cast<int (*)()>(dlsym(RTLD_NEXT, "rand"));
    static std::atomic<unsigned> calls{0};
    if (++calls % 1024 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return real();
}

TEST(MusicRender, TwoRendersAtOnceGiveTheSameSamples) {
    // The two renders must be the first synthesizers of their process: the
    // case runs itself again in a fresh process, whatever ran before here.
    if (!std::getenv("QUORLAXEN_FRESH_RENDER")) {
        const std::string name = "MusicRender.TwoRendersAtOnceGiveTheSameSamples";
        const std::string log = ::testing::TempDir() + "fresh-render-" + std::to_string(getpid()) + ".log";
        const std::string command = "QUORLAXEN_FRESH_RENDER=1 '" +
                                    std::filesystem::read_symlink("/proc/self/exe").string() +
                                    "' --gtest_filter=" + name + " >'" + log + "' 2>&1";
        const int status = std::system(command.c_str());
        std::ifstream in(log);
        const std::string output((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(status, 0) << output;
        EXPECT_NE(output.find("[       OK ] " + name), std::string::npos) << output;
        return;
    }
    // The opening of version 1: every channel's programme, volume, pan and
    // reverb send, and its first notes.
    fm::score s = fm::compose(1);
    s.length = 0.5;
    std::erase_if(s.notes, [](const fm::note& n) { return n.start + n.length > 0.4; });
    ASSERT_FALSE(s.notes.empty());
    const std::string font = QUORLAXEN_SOUNDFONT;
    fm::stereo out[2];
    std::string errors[2];
    std::thread threads[2];
    for (int i = 0; i < 2; ++i)
        threads[i] = std::thread([&, i] {
            try {
                out[i] = fm::render_score(s, font);
            } catch (const std::exception& e) {
                errors[i] = e.what();
            }
        });
    for (auto& t : threads)
        t.join();
    ASSERT_EQ(errors[0] + errors[1], "");
    EXPECT_GT(fm::peak_level(out[0]), 0.01f);
    EXPECT_TRUE(out[0].left == out[1].left && out[0].right == out[1].right)
        << "one of the renders lost its modulators (velocity, volume, pan)";
}

// --- the forged files -------------------------------------------------------

class MusicFiles : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        for (int v = 0; v < 2; ++v) {
            std::string path = music_dir + "/" + files[v];
            if (!std::filesystem::exists(path)) continue;
            audio[v] = fm::decode_mp3_file(path);
        }
    }
    static void TearDownTestSuite() {
        for (auto& a : audio)
            a = {};
    }
    void SetUp() override {
        for (int v = 0; v < 2; ++v)
            ASSERT_FALSE(audio[v].left.empty())
                << music_dir << "/" << files[v] << " missing: build target forge_music";
    }
    static fm::decoded_audio audio[2];
};
fm::decoded_audio MusicFiles::audio[2];

TEST_F(MusicFiles, FormatAndLengthAsTheShowNeeds) {
    for (const auto& a : audio) {
        EXPECT_EQ(a.rate, 44100);
        EXPECT_EQ(a.channels, 2);
        // Longer than the show's 242.5 s, so the clock's last-five-seconds
        // cut-off comes after the show ends; the info tag gives the exact length.
        EXPECT_GE(a.seconds(), 245.0);
        EXPECT_LE(a.seconds(), 250.0);
        EXPECT_NEAR(a.seconds(), fm::piece_length, 1e-6);
    }
}

TEST_F(MusicFiles, LoudButNeverClippedNorSilent) {
    for (const auto& a : audio) {
        EXPECT_EQ(a.clipped, 0u);
        double lufs = fm::integrated_loudness(a.left, a.right);
        EXPECT_NEAR(lufs, -14.0, 1.5);
        // No gap: every quarter second from the first to the final chord's
        // ring-out carries sound.
        std::vector<double> rms = fm::rms_levels(a, 0.25);
        for (size_t i = 1; i < size_t(244.0 / 0.25); ++i)
            ASSERT_GT(rms[i], -40.0) << "silent at " << i * 0.25 << " s";
        // It builds: the opening is well below the trumpets' section and the
        // coda, and the greetings' breakdown dips below its surroundings.
        std::vector<double> sec = fm::rms_levels(a, 1.0);
        auto mean = [&](int from, int to) {
            double p = 0;
            for (int i = from; i < to; ++i)
                p += std::pow(10.0, sec[size_t(i)] / 10);
            return 10 * std::log10(p / (to - from));
        };
        EXPECT_LT(mean(0, 3), mean(43, 79) - 3.0);
        EXPECT_LT(mean(0, 3), mean(230, 241) - 6.0);
        EXPECT_LT(mean(99, 104), mean(106, 120) - 4.0);
    }
}

TEST_F(MusicFiles, AccentsLandOnTheTimeline) {
    std::vector<double> all = accents;
    for (int v = 0; v < 2; ++v) {
        fm::onset_curve curve = fm::onset_strength(audio[v]);
        for (double a : accents) {
            fm::onset_peak p = fm::strongest_onset(curve, a, 0.05);
            fm::onset_peak background = fm::strongest_onset_besides(curve, a, 0.75, all, 0.06);
            EXPECT_GE(p.rise_db, 5.0) << "version " << v + 1 << " at " << a;
            EXPECT_GE(p.rise_db, background.rise_db + 1.5)
                << "version " << v + 1 << " at " << a << ": the accent does not stand out";
        }
    }
}

TEST_F(MusicFiles, TheTwoVersionsDiffer) {
    const auto& a = audio[0];
    const auto& b = audio[1];
    size_t n = std::min(a.left.size(), b.left.size());
    double ab = 0, aa = 0, bb = 0;
    for (size_t i = 0; i < n; ++i) {
        double x = a.left[i] + a.right[i], y = b.left[i] + b.right[i];
        ab += x * y;
        aa += x * x;
        bb += y * y;
    }
    EXPECT_LT(ab / std::sqrt(aa * bb), 0.5) << "the second version is too close to a copy";
}

TEST(MusicForge, OutputIsByteIdenticalFromRunToRun) {
    const std::string forge = std::string(QUORLAXEN_BINARY_DIR) + "/tools/forge/music/forge-music";
    ASSERT_TRUE(std::filesystem::exists(forge)) << forge;
    std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("music-forge-test-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::string cmd = "'" + forge + "' --out '" + dir.string() + "' > /dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    for (const char* f : files) {
        std::vector<unsigned char> again = read_bytes((dir / f).string());
        std::vector<unsigned char> built = read_bytes(music_dir + "/" + f);
        EXPECT_FALSE(again.empty());
        EXPECT_TRUE(again == built) << f << " differs from the build's copy";
    }
    // Nothing but the two files is left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()),
              2);
    std::filesystem::remove_all(dir);
}

TEST(MusicForge, RefusesBadArguments) {
    const std::string forge = std::string(QUORLAXEN_BINARY_DIR) + "/tools/forge/music/forge-music";
    EXPECT_NE(std::system(("'" + forge + "' 2> /dev/null").c_str()), 0);
    EXPECT_NE(std::system(("'" + forge + "' --out /tmp --only 3 2> /dev/null").c_str()), 0);
    EXPECT_NE(
        std::system(
            ("'" + forge + "' --out /nonexistent/dir --soundfont /nonexistent.sf3 > /dev/null 2>&1").c_str()),
        0);
}
