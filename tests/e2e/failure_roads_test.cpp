// The real show under the test's X display, as a person meets it: the
// dialog answered with Return, each broken or missing data file ending the
// show with its own message box and exit code 0, the running show changing
// its picture, and Alt+F4 ending it with 0 without touching the clipboard.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace {

using clock_type = std::chrono::steady_clock;

std::string output_of(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[65536];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}

std::string file_text(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class show_roads : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display) GTEST_SKIP() << "needs an X display (the test command starts Xvfb)";
        show = QUORLAXEN_SHOW_DIR;
        ASSERT_TRUE(fs::exists(show / "quorlaxen")) << "build the show first";
        ASSERT_TRUE(fs::exists(show / "textures" / "loading.jpg")) << "forge the data first";
        char pattern[] = "/tmp/quorlaxen-roads-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        // The executable finds its data beside itself: a copy with the
        // show's folders linked file by file, so that one can be taken away.
        fs::copy_file(show / "quorlaxen", dir / "quorlaxen");
        for (const char* data : {"meshes", "music"})
            fs::create_directory_symlink(show / data, dir / data);
        for (const char* data : {"textures", "cgeffects"}) {
            fs::create_directory(dir / data);
            for (const auto& entry : fs::directory_iterator(show / data))
                fs::create_symlink(entry.path(), dir / data / entry.path().filename());
        }
    }

    void TearDown() override {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (!dir.empty()) fs::remove_all(dir);
    }

    void launch() {
        pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            setenv("SDL_AUDIODRIVER", "dummy", 1);
            if (!freopen((dir / "stderr.txt").c_str(), "w", stderr)) _exit(120);
            if (!freopen("/dev/null", "w", stdout)) _exit(120);
            if (chdir("/") != 0) _exit(121);
            execl((dir / "quorlaxen").c_str(), "quorlaxen", static_cast<char*>(nullptr));
            _exit(122);
        }
    }

    bool running() { return pid > 0 && waitpid(pid, &status, WNOHANG) == 0; }

    int wait_exit(double seconds) {
        const auto end = clock_type::now() + std::chrono::duration<double>(seconds);
        while (clock_type::now() < end) {
            if (waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return -1;
    }

    template <class F> bool wait_for(F ready, double seconds) {
        const auto end = clock_type::now() + std::chrono::duration<double>(seconds);
        while (clock_type::now() < end && running()) {
            if (ready()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

    // A window by name; message boxes are found in the window tree (their
    // UTF-8 titles escape xdotool's name search).
    std::string find_in_tree(const std::string& quoted_name, double seconds) {
        std::string id;
        wait_for(
            [&] {
                std::istringstream tree(output_of("xwininfo -root -tree 2>/dev/null"));
                for (std::string line; std::getline(tree, line);)
                    if (line.find(quoted_name) != std::string::npos) {
                        std::istringstream(line) >> id;
                        return true;
                    }
                return false;
            },
            seconds);
        return id;
    }

    std::string find_window(const std::string& name, double seconds) {
        std::string id;
        wait_for(
            [&] {
                return bool(
                    std::istringstream(output_of("xdotool search --name '" + name + "' 2>/dev/null")) >> id);
            },
            seconds);
        return id;
    }

    void key(const std::string& window, const char* keys) {
        (void)!std::system(("xdotool key --window " + window + " " + keys + " >/dev/null 2>&1").c_str());
    }

    bool answer_dialog() {
        const std::string dialog = find_window("Quorlaxen by KVT - 2009", 60);
        if (dialog.empty()) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        key(dialog, "Return");
        return true;
    }

    // Runs the show to the message box with `caption`, answers it and
    // returns the exit code; the box's text is checked on standard error.
    int failure_road(const std::string& caption, const std::string& text) {
        launch();
        EXPECT_TRUE(answer_dialog()) << stderr_text();
        const std::string box = find_in_tree("\"" + caption + "\"", 300);
        EXPECT_FALSE(box.empty()) << "no message box \"" << caption << "\"; stderr:\n" << stderr_text();
        if (box.empty()) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        key(box, "Return");
        const int code = wait_exit(60);
        EXPECT_NE(stderr_text().find(caption + ": " + text + "\n"), std::string::npos) << stderr_text();
        return code;
    }

    // The show window's pixels, read from the X server.
    std::string grab(const std::string& window) {
        return output_of("ffmpeg -loglevel error -f x11grab -window_id " + window + " -i " +
                         std::getenv("DISPLAY") + " -frames:v 1 -f rawvideo -pix_fmt rgb24 - 2>/dev/null");
    }

    std::string stderr_text() { return file_text(dir / "stderr.txt"); }

    fs::path show, dir;
    pid_t pid = -1;
    int status = 0;
};

TEST_F(show_roads, missing_loading_image_ends_with_the_jpg_box_and_0_before_the_loading_screen) {
    fs::remove(dir / "textures" / "loading.jpg");
    EXPECT_EQ(failure_road("Jpg", "textures/loading.jpg"), 0);
    EXPECT_TRUE(find_window("Quorlaxen - KVT 2009", 0.1).empty());
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
    ASSERT_EQ(std::system("printf untouched | xclip -selection clipboard -i >/dev/null 2>&1"), 0);
    launch();
    ASSERT_TRUE(answer_dialog()) << stderr_text();
    const std::string window = find_window("Quorlaxen - KVT 2009", 300);
    ASSERT_FALSE(window.empty()) << "no show window; stderr:\n" << stderr_text();

    // Several seconds of the show: the picture keeps changing.
    std::set<std::string> pictures;
    const auto end = clock_type::now() + std::chrono::seconds(8);
    while (clock_type::now() < end && running()) {
        const std::string picture = grab(window);
        if (picture.size() > 1000) pictures.insert(picture);
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    }
    ASSERT_TRUE(running()) << stderr_text();
    EXPECT_GE(pictures.size(), 3u) << "the window's picture did not change";

    key(window, "alt+F4");
    EXPECT_EQ(wait_exit(60), 0) << stderr_text();
    EXPECT_EQ(output_of("xclip -selection clipboard -o 2>/dev/null"), "untouched");
}

} // namespace
