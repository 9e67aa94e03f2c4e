// The native sound stand-in on SDL's dummy audio driver: whole-file decode,
// length and frequency, the playing position, the spectrum of what plays,
// the master volume, and files it must refuse.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>

#include "platform/platform.h"

namespace fs = std::filesystem;

namespace {

// `seconds` of a sine at `hz`, amplitude `level` (full scale 1), 44.1 kHz
// stereo, encoded by lame into `mp3`; silent for its first `silent` frames.
bool encode_tone(const fs::path& mp3, double seconds, double hz, double level, int silent = 0) {
    const fs::path raw = mp3.string() + ".raw";
    const int rate = 44100, frames = int(seconds * rate);
    {
        std::ofstream out(raw, std::ios::binary);
        for (int i = 0; i < frames; ++i) {
            const double a = i < silent ? 0.0 : level;
            const int16_t v = int16_t(std::lround(32767 * a * std::sin(2 * M_PI * hz * i / rate)));
            out.write(reinterpret_cast<const char*>(&v), 2);
            out.write(reinterpret_cast<const char*>(&v), 2);
        }
    }
    const std::string command =
        "lame --quiet -r -s 44.1 --bitwidth 16 --signed --little-endian -m s -b 192 '" + raw.string() +
        "' '" + mp3.string() + "'";
    const bool ok = std::system(command.c_str()) == 0;
    fs::remove(raw);
    return ok && fs::exists(mp3);
}

// Polls `ok` until it holds; false when it still does not after `seconds`.
// A deadline this long is met by any machine, however loaded; what is
// judged is the condition, not how soon it came.
template <class F> bool becomes(F ok, double seconds = 20.0) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!ok()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

class native_sound : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        folder = fs::temp_directory_path() / ("quorlaxen-sound-" + std::to_string(getpid()));
        fs::create_directories(folder);
        ASSERT_TRUE(encode_tone(folder / "tone.mp3", 3.0, 1033.59375, 0.5)); // bin 24 of a 1024-point FFT
        ASSERT_TRUE(encode_tone(folder / "late_tone.mp3", 1.5, 1033.59375, 0.5, late_tone_start));
    }
    static void TearDownTestSuite() { fs::remove_all(folder); }
    void SetUp() override { ASSERT_TRUE(p.sound_init(44100, 32)); }
    void TearDown() override { p.sound_close(); }

    static constexpr int late_tone_start = 22050; // frames of silence first
    static fs::path folder;
    const platform::platform& p = platform::native_platform();
};
fs::path native_sound::folder;

TEST_F(native_sound, decodes_the_whole_file_at_its_own_rate) {
    const int sample = p.sound_load((folder / "tone.mp3").c_str());
    ASSERT_NE(sample, 0);
    // LAME's info tag lets the decoder drop the encoder delay and padding.
    EXPECT_EQ(p.sound_sample_length(sample), 3u * 44100u);
    p.sound_play(sample);
    p.sound_set_position(0, 0);
    EXPECT_EQ(p.sound_frequency(0), 44100);
}

TEST_F(native_sound, position_advances_at_playback_pace_and_stops_at_the_end) {
    const int sample = p.sound_load((folder / "tone.mp3").c_str());
    p.sound_set_loop(sample, false);
    p.sound_play(sample);
    p.sound_set_position(0, 0);
    uint32_t first = 0;
    ASSERT_TRUE(becomes([&] { return (first = p.sound_position(0)) > 0; }));
    // Half a second of samples, never faster than the wall clock (the dummy
    // driver runs about 1 % fast; a little slack for the device's buffer).
    const auto from = std::chrono::steady_clock::now();
    uint32_t second = first;
    EXPECT_TRUE(becomes([&] { return (second = p.sound_position(0)) - first >= 22050u; }));
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
    EXPECT_LE(second - first, wall * 44100.0 * 1.05 + 4096.0) << "in " << wall << " s";

    p.sound_set_position(0, 3 * 44100 - 100);
    EXPECT_TRUE(becomes([&] { return p.sound_position(0) == 3u * 44100u; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(p.sound_position(0), 3u * 44100u); // played once, then stays at the end
}

// The device still holds what was mixed last: the position and the spectrum
// follow the sample being heard, which the counter carries forward smoothly.
// Time is measured from the last read before playback reached the device,
// so a position at the mixer's read head (a whole buffer ahead) shows.
TEST_F(native_sound, position_and_spectrum_follow_the_heard_sample_smoothly_and_never_back) {
    using clock = std::chrono::steady_clock;
    auto seconds = [](clock::duration d) { return std::chrono::duration<double>(d).count(); };
    // Read until the tone has played a while. The reads that can only have
    // heard the silence before it must be a few: a machine too loaded to read
    // that often gets another try, from a fresh start.
    int moving_reads = 0, silent_checks = 0;
    for (int attempt = 0; attempt < 5 && silent_checks <= 5; ++attempt) {
        if (attempt > 0) {
            p.sound_close();
            ASSERT_TRUE(p.sound_init(44100, 32));
        }
        const int sample = p.sound_load((folder / "late_tone.mp3").c_str());
        ASSERT_NE(sample, 0);
        p.sound_enable_spectrum(true);
        p.sound_play(sample);
        p.sound_set_position(0, 0);

        clock::time_point not_yet = clock::now(); // before this, nothing had reached the device
        clock::time_point previous_read = not_yet;
        const clock::time_point deadline = not_yet + std::chrono::seconds(20);
        uint32_t previous = 0;
        moving_reads = silent_checks = 0;
        while (previous < late_tone_start + 4410 && clock::now() < deadline) {
            const auto before = clock::now();
            const uint32_t position = p.sound_position(0);
            const float tone = p.sound_spectrum()[24];
            const auto after = clock::now();
            if (position == 0) {
                not_yet = before;
            } else {
                // Played frames since the device began, at the dummy driver's
                // pace (about 1 % fast), with a little slack.
                const double bound = seconds(after - not_yet) * 44100.0 * 1.02 + 300.0;
                EXPECT_LE(position, bound) << "ahead of what can have been heard";
                EXPECT_GE(position, previous) << "moved backwards";
                EXPECT_LE(position - previous, seconds(after - previous_read) * 44100.0 * 1.05 + 300.0)
                    << "moved in a jump";
                if (bound < late_tone_start - 700) {
                    EXPECT_LT(tone, 0.05f) << "the spectrum hears the tone before it plays, at " << position;
                    ++silent_checks;
                }
                ++moving_reads;
            }
            previous = position;
            previous_read = before;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ASSERT_GE(previous, uint32_t(late_tone_start + 4410)) << "playback never reached the tone";
    }
    EXPECT_GT(moving_reads, 20);
    EXPECT_GT(silent_checks, 5);
    EXPECT_GT(p.sound_spectrum()[24], 0.2f); // the tone is heard by now
}

TEST_F(native_sound, spectrum_peaks_at_the_tone_and_follows_the_volume) {
    const int sample = p.sound_load((folder / "tone.mp3").c_str());
    p.sound_set_loop(sample, true); // still playing whenever the volume is judged
    p.sound_enable_spectrum(true);
    p.sound_play(sample);
    // Heard for longer than the spectrum's window.
    ASSERT_TRUE(becomes([&] { return p.sound_position(0) > 8192u; })) << "the tone never plays";
    const float* s = p.sound_spectrum();
    int peak = 0;
    for (int k = 1; k < 512; ++k)
        if (s[k] > s[peak]) peak = k;
    EXPECT_EQ(peak, 24);
    EXPECT_NEAR(s[peak], 0.5f, 0.1f); // magnitudes normalised: amplitude 0.5 reads about 0.5
    for (int k = 0; k < 512; ++k) {
        EXPECT_GE(s[k], 0.0f);
        EXPECT_LE(s[k], 1.0f);
    }
    EXPECT_LT(s[100], 0.01f);

    p.sound_set_volume(0);
    EXPECT_TRUE(becomes([&] { return p.sound_spectrum()[24] < 0.01f; })) << p.sound_spectrum()[24];
}

TEST_F(native_sound, refuses_missing_empty_and_foreign_files) {
    EXPECT_EQ(p.sound_load((folder / "no such file.mp3").c_str()), 0);
    std::ofstream(folder / "empty.mp3").close();
    EXPECT_EQ(p.sound_load((folder / "empty.mp3").c_str()), 0);
    {
        std::ofstream text(folder / "text.mp3");
        for (int i = 0; i < 2000; ++i)
            text << "not an mp3 at all ";
    }
    EXPECT_EQ(p.sound_load((folder / "text.mp3").c_str()), 0);
    // Reading a channel with nothing on it is harmless.
    EXPECT_EQ(p.sound_position(0), 0u);
    EXPECT_GT(p.sound_frequency(0), 0);
    EXPECT_EQ(p.sound_sample_length(42), 0u);
}

// Files decoded ahead load as if read then; one that cannot be read still
// fails, and a file dropped from the background decode still loads.
TEST_F(native_sound, preloaded_files_load_as_decoded_and_unreadable_ones_still_fail) {
    const std::string missing = (folder / "not there.mp3").string();
    const std::string tone = (folder / "tone.mp3").string(), late = (folder / "late_tone.mp3").string();
    for (const std::string& name : {missing, tone, late})
        p.sound_preload(name.c_str());
    EXPECT_EQ(p.sound_load(missing.c_str()), 0);
    const int first = p.sound_load(tone.c_str());
    ASSERT_NE(first, 0);
    EXPECT_EQ(p.sound_sample_length(first), 3u * 44100u);
    const int second = p.sound_load(late.c_str()); // dropped by the load above: decoded now
    ASSERT_NE(second, 0);
    EXPECT_EQ(p.sound_sample_length(second), 44100u * 3u / 2u);

    // Closing ends a decode under way; the next start is clean.
    p.sound_preload(tone.c_str());
    p.sound_close();
    ASSERT_TRUE(p.sound_init(44100, 32));
    p.sound_preload(tone.c_str());
    EXPECT_EQ(p.sound_sample_length(p.sound_load(tone.c_str())), 3u * 44100u);
}

TEST(native_sound_device, unknown_driver_fails_to_start) {
    setenv("SDL_AUDIODRIVER", "no-such-audio-driver", 1);
    EXPECT_FALSE(platform::native_platform().sound_init(44100, 32));
    setenv("SDL_AUDIODRIVER", "dummy", 1);
}

} // namespace
