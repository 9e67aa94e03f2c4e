// The native window roads against X servers of their own: a full-screen
// size the display does not keep is refused and changes nothing, the size
// it has is kept for the window, and the failing steps are told apart (no
// windowing system, no GL on the display). Each case
// runs in a fresh process, so SDL starts there against that server alone.
#include <SDL.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

using platform::window_failure;

// Starts Xvfb with `server_args` on a free display, points DISPLAY at it,
// runs `body` and ends the process with body's result as its exit code.
[[noreturn]] void run_on_private_x_server(const std::vector<std::string>& server_args,
                                          const std::function<int()>& body) {
    int fds[2];
    if (pipe(fds) != 0) std::_Exit(90);
    const pid_t server = fork();
    if (server == 0) {
        close(fds[0]);
        std::vector<std::string> args = {"Xvfb", "-displayfd", std::to_string(fds[1]), "-nolisten", "tcp"};
        args.insert(args.end(), server_args.begin(), server_args.end());
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execvp("Xvfb", argv.data());
        _exit(127);
    }
    close(fds[1]);
    std::string number;
    pollfd ready{fds[0], POLLIN, 0};
    char c = 0;
    while (poll(&ready, 1, 20000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n')
        number += c;
    if (number.empty()) std::_Exit(91); // the server did not come up
    setenv("DISPLAY", (":" + number).c_str(), 1);
    setenv("SDL_VIDEODRIVER", "x11", 1);
    const int code = body();
    SDL_Quit();
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
    std::_Exit(code);
}

platform::window_request request(int width, int height, bool fullscreen) {
    platform::window_request r;
    r.title = "native window test";
    r.x = r.y = fullscreen ? 0 : 50;
    r.width = width;
    r.height = height;
    r.fullscreen = fullscreen;
    return r;
}

bool display_is(int width, int height) {
    SDL_DisplayMode mode{};
    return SDL_GetCurrentDisplayMode(0, &mode) == 0 && mode.w == width && mode.h == height;
}

class native_window : public ::testing::Test {
  protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
    const platform::platform& p = platform::native_platform();
};

TEST_F(native_window, full_screen_answers_with_the_mode_the_display_is_in_afterwards) {
    EXPECT_EXIT(
        run_on_private_x_server({"-screen", "0", "800x600x24"},
                                [&] {
                                    if (!p.init_windowing()) return 1;
                                    // The server keeps its one mode: another size is refused
                                    // and leaves neither a switch nor a window behind.
                                    if (p.change_display_mode(640, 480, 32)) return 2;
                                    if (!display_is(800, 600)) return 3;
                                    if (p.create_window(request(640, 480, false)) != window_failure::none)
                                        return 4;
                                    p.destroy_window();
                                    // Its own size is kept, and the window that switched
                                    // is the show's full-screen window.
                                    if (!p.change_display_mode(800, 600, 32)) return 5;
                                    if (!display_is(800, 600)) return 6;
                                    if (p.create_window(request(800, 600, true)) != window_failure::none)
                                        return 7;
                                    p.restore_display_mode();
                                    p.destroy_window();
                                    return 0;
                                }),
        ::testing::ExitedWithCode(0), "");
}

TEST_F(native_window, a_display_without_gl_fails_at_the_device_context) {
    EXPECT_EXIT(run_on_private_x_server({"-screen", "0", "640x480x24", "-extension", "GLX"},
                                        [&] {
                                            if (!p.init_windowing()) return 1;
                                            return 10 + int(p.create_window(request(320, 240, false)));
                                        }),
                ::testing::ExitedWithCode(10 + int(window_failure::device_context)), "");
}

TEST_F(native_window, no_windowing_system_fails_the_first_step) {
    EXPECT_EXIT(
        {
            setenv("DISPLAY", ":9987", 1); // no server there
            setenv("SDL_VIDEODRIVER", "x11", 1);
            std::_Exit(p.init_windowing() ? 1 : 0);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
