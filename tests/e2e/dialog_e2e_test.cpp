// The settings dialog of the real show executable under the test's X
// display, answered from the keyboard as a person would: "Quit" and Escape
// end the program with exit code 0 before its window opens; "Run ..." opens
// the window at the size listed in the dialog.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

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

// The first window whose name matches, or "".
std::string find_window(const std::string& name) {
    std::istringstream out(run_command("xdotool search --name '" + name + "' 2>/dev/null"));
    std::string id;
    out >> id;
    return id;
}

constexpr const char* dialog_name = "Quorlaxen by KVT - 2009";
constexpr const char* show_name = "Quorlaxen - KVT 2009";

class settings_dialog_e2e : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display) GTEST_SKIP() << "needs an X display (the test command starts Xvfb)";
        exe = fs::path(QUORLAXEN_SHOW_DIR) / "quorlaxen";
        ASSERT_TRUE(fs::exists(exe)) << "build the show first";
        char pattern[] = "/tmp/quorlaxen-dialog-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }

    void TearDown() override {
        if (pid > 0) {
            kill(-pid, SIGKILL); // the show and any message-box child
            waitpid(pid, nullptr, 0);
        }
        if (!dir.empty()) fs::remove_all(dir);
    }

    void launch() {
        pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            setpgid(0, 0);
            setenv("SDL_AUDIODRIVER", "dummy", 1);
            if (!freopen((dir / "stderr.txt").c_str(), "w", stderr)) _exit(120);
            if (!freopen("/dev/null", "w", stdout)) _exit(120);
            execl(exe.c_str(), "quorlaxen", static_cast<char*>(nullptr));
            _exit(122);
        }
        setpgid(pid, pid);
    }

    bool running() { return pid > 0 && waitpid(pid, &status, WNOHANG) == 0; }

    // Polls `ready` every 50 ms while the process runs; false on timeout.
    template <class F> bool wait_for(F ready, double seconds) {
        const auto end = clock_type::now() + std::chrono::duration<double>(seconds);
        while (clock_type::now() < end && running()) {
            if (ready()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    std::string wait_for_dialog() {
        std::string id;
        wait_for([&] { return !(id = find_window(dialog_name)).empty(); }, 120);
        // Let it map, draw and take the keyboard.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        return id;
    }

    // Typed into the window. xdotool's exit status is not checked: a key
    // that closes the dialog leaves its key release aimed at a window that
    // is gone, which xdotool reports as an error.
    void keys(const std::string& window, const std::string& names) {
        const int rc =
            std::system(("xdotool key --delay 80 --window " + window + " " + names + " 2>/dev/null").c_str());
        (void)rc;
    }

    // Waits for the process to end, watching that the show's window never
    // appears meanwhile. Exit code, or -1 when it did not end in time.
    int wait_exit_without_show_window(double seconds, bool& show_window_seen) {
        show_window_seen = false;
        const auto end = clock_type::now() + std::chrono::duration<double>(seconds);
        while (clock_type::now() < end) {
            if (waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            if (!find_window(show_name).empty()) show_window_seen = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return -1;
    }

    std::string stderr_text() {
        std::ifstream in(dir / "stderr.txt");
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    fs::path exe, dir;
    pid_t pid = -1;
    int status = 0;
};

TEST_F(settings_dialog_e2e, quit_reached_with_tab_and_enter_ends_with_0_before_any_window_opens) {
    launch();
    const std::string dialog = wait_for_dialog();
    ASSERT_FALSE(dialog.empty()) << "no settings dialog; stderr:\n" << stderr_text();
    // The focus starts on "Run ..."; one Tab reaches "Quit".
    keys(dialog, "Tab Return");
    bool show_window_seen = true;
    EXPECT_EQ(wait_exit_without_show_window(30, show_window_seen), 0) << stderr_text();
    EXPECT_FALSE(show_window_seen);
    EXPECT_TRUE(find_window(dialog_name).empty());
}

TEST_F(settings_dialog_e2e, escape_quits_like_the_quit_button) {
    launch();
    const std::string dialog = wait_for_dialog();
    ASSERT_FALSE(dialog.empty()) << "no settings dialog; stderr:\n" << stderr_text();
    keys(dialog, "Escape");
    bool show_window_seen = true;
    EXPECT_EQ(wait_exit_without_show_window(30, show_window_seen), 0) << stderr_text();
    EXPECT_FALSE(show_window_seen);
}

TEST_F(settings_dialog_e2e, run_with_windowed_ticked_opens_a_window_of_the_listed_size) {
    std::istringstream screen(run_command("xdotool getdisplaygeometry"));
    int screen_w = 0, screen_h = 0;
    screen >> screen_w >> screen_h;
    ASSERT_GT(screen_w, 0);

    launch();
    const std::string dialog = wait_for_dialog();
    ASSERT_FALSE(dialog.empty()) << "no settings dialog; stderr:\n" << stderr_text();
    // Tab past "Quit" and "Antialiased" to "Windowed", tick it with Space,
    // then Enter runs with the preselected line (the screen's one mode).
    keys(dialog, "Tab Tab Tab space Return");
    std::string window;
    ASSERT_TRUE(wait_for([&] { return !(window = find_window(show_name)).empty(); }, 120))
        << "no show window; stderr:\n"
        << stderr_text();
    EXPECT_TRUE(find_window(dialog_name).empty()) << "the dialog has closed";
    const std::string geometry = run_command("xdotool getwindowgeometry " + window);
    EXPECT_NE(geometry.find("Geometry: " + std::to_string(screen_w) + "x" + std::to_string(screen_h)),
              std::string::npos)
        << geometry;
    // "Windowed" took effect: a window at (50, 50), not a full screen at (0, 0).
    EXPECT_NE(geometry.find("Position: 50,50"), std::string::npos) << geometry;
}

} // namespace
