// The real show executable under the test's X display, driven as a person
// would: it plays a music file the test encodes, Escape ends it, the capture
// text stays on the clipboard after the process is gone, and the two sound
// failures end with their own messages and exit codes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

using clock_type = std::chrono::steady_clock;

std::string run_command(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

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

// A key press and release sent to one window. A window that closes on the
// press makes xdotool report the release as failed; that is not an error here.
void press(const std::string& window, const char* key) {
    (void)!std::system(("xdotool key --window " + window + " " + key + " >/dev/null 2>&1").c_str());
}

class show_process : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display) GTEST_SKIP() << "needs an X display (the test command starts Xvfb)";
        const fs::path show = QUORLAXEN_SHOW_DIR;
        ASSERT_TRUE(fs::exists(show / "quorlaxen")) << "build the show first";
        char pattern[] = "/tmp/quorlaxen-e2e-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        // A copy of the executable (it finds its folder through its own
        // path) beside the show's data, with music of our own.
        fs::copy_file(show / "quorlaxen", dir / "quorlaxen");
        for (const char* data : {"meshes", "textures", "cgeffects"})
            if (fs::exists(show / data)) fs::create_directory_symlink(fs::absolute(show / data), dir / data);
        fs::create_directory(dir / "music");
    }

    void TearDown() override {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (!dir.empty()) fs::remove_all(dir);
    }

    void add_music() {
        ASSERT_TRUE(make_mp3(dir / "music" / "Zembra - Quorlaxen.mp3")) << "lame could not encode";
        fs::copy_file(dir / "music" / "Zembra - Quorlaxen.mp3", dir / "music" / "Zembra - Quorlaxen2.mp3");
    }

    // Starts the show from another working directory with the given audio driver.
    void launch(const std::string& audio_driver) {
        pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            setenv("SDL_AUDIODRIVER", audio_driver.c_str(), 1);
            setenv("SDL_DISKAUDIOFILE", (dir / "audio.raw").c_str(), 1);
            if (!freopen((dir / "stderr.txt").c_str(), "w", stderr)) _exit(120);
            if (!freopen("/dev/null", "w", stdout)) _exit(120);
            if (chdir("/") != 0) _exit(121);
            execl((dir / "quorlaxen").c_str(), "quorlaxen", static_cast<char*>(nullptr));
            _exit(122);
        }
    }

    bool running() { return pid > 0 && waitpid(pid, &status, WNOHANG) == 0; }

    // Exit code, or -1 when the process had to be killed after `seconds`.
    int wait_exit(double seconds) {
        const auto end = clock_type::now() + std::chrono::duration<double>(seconds);
        while (clock_type::now() < end) {
            const pid_t r = waitpid(pid, &status, WNOHANG);
            if (r == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return -1;
    }

    // Waits until `ready` holds or the process ends; false on timeout or end.
    template <class F> bool wait_for(F ready, double seconds) {
        const auto end = clock_type::now() + std::chrono::duration<double>(seconds);
        while (clock_type::now() < end && running()) {
            if (ready()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

    // The message box with `caption` (found through the window tree: its
    // title is UTF-8, which a name search does not match), answered with Return.
    bool dismiss_box(const std::string& caption, double seconds) {
        std::string id;
        const bool found = wait_for(
            [&] {
                std::istringstream tree(run_command("xwininfo -root -tree 2>/dev/null"));
                for (std::string line; std::getline(tree, line);)
                    if (line.find("\"" + caption + "\"") != std::string::npos) {
                        std::istringstream fields(line);
                        fields >> id;
                        return true;
                    }
                return false;
            },
            seconds);
        if (!found) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(300)); // let it map and draw
        press(id, "Return");
        return true;
    }

    // A window whose name contains `name`, by xdotool's search; empty on timeout.
    std::string find_window(const std::string& name, double seconds) {
        std::string id;
        wait_for(
            [&] {
                std::istringstream out(
                    run_command("xdotool search --onlyvisible --name '" + name + "' 2>/dev/null"));
                return bool(out >> id);
            },
            seconds);
        return id;
    }

    // Runs the settings dialog with its defaults ("Run ..." answers Return),
    // pressing again while the dialog stays up (a press that comes before it
    // takes input is lost). True once the dialog is gone and the show's
    // window is up (or the process has ended).
    bool answer_dialog() {
        const std::string dialog = "Quorlaxen by KVT - 2009", show = "Quorlaxen - KVT 2009";
        for (int attempt = 0; attempt < 20 && running(); ++attempt) {
            if (!find_window(show, 0.5).empty() && find_window(dialog, 0.1).empty()) return true;
            const std::string id = find_window(dialog, 2);
            if (!id.empty()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                press(id, "Return");
            }
        }
        return !running();
    }

    std::string stderr_text() { return read_file(dir / "stderr.txt"); }

    fs::path dir;
    pid_t pid = -1;
    int status = 0;
};

TEST_F(show_process, plays_and_escape_ends_it_leaving_the_capture_text_on_the_clipboard) {
    add_music();
    ASSERT_EQ(std::system("printf before | xclip -selection clipboard -i >/dev/null 2>&1"), 0);
    ASSERT_EQ(run_command("xclip -selection clipboard -o"), "before");

    launch("disk"); // SDL's file-backed driver: what plays lands in audio.raw, at real-time pace
    ASSERT_TRUE(answer_dialog()) << stderr_text();
    const std::string window = find_window("Quorlaxen - KVT 2009", 300);
    ASSERT_FALSE(window.empty()) << "no show window; stderr:\n" << stderr_text();

    // The music plays: non-silent samples reach the audio device.
    const bool sound = wait_for(
        [&] {
            const std::string audio = read_file(dir / "audio.raw");
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

    press(window, "Escape");
    EXPECT_EQ(wait_exit(60), 0) << stderr_text();
    // The process is gone; the (empty) capture text is still on the clipboard.
    EXPECT_EQ(run_command("xclip -selection clipboard -o 2>/dev/null"), "");
}

TEST_F(show_process, missing_music_says_no_sound_file_and_exits_with_0) {
    launch("dummy");
    ASSERT_TRUE(answer_dialog()) << stderr_text();
    ASSERT_TRUE(dismiss_box("Quorlaxen  ", 300)) << "no message box; stderr:\n" << stderr_text();
    EXPECT_EQ(wait_exit(30), 0);
    EXPECT_NE(stderr_text().find("Problem initializing FMod. \nNo sound file."), std::string::npos)
        << stderr_text();
}

TEST_F(show_process, sound_device_that_cannot_open_exits_with_1) {
    add_music();
    launch("no-such-audio-driver");
    ASSERT_TRUE(answer_dialog()) << stderr_text();
    ASSERT_TRUE(dismiss_box("Quorlaxen  ", 300)) << "no message box; stderr:\n" << stderr_text();
    EXPECT_EQ(wait_exit(30), 1);
    EXPECT_NE(stderr_text().find("Problem initializing FMod. \nProgram will now exit."), std::string::npos)
        << stderr_text();
}

} // namespace
