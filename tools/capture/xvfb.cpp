#include "xvfb.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

namespace capture {
namespace {

pid_t server = -1;

} // namespace

bool on_path(const char* program) {
    const char* path = std::getenv("PATH");
    for (const char* start = path ? path : ""; *start;) {
        const char* end = std::strchr(start, ':');
        const size_t length = end ? size_t(end - start) : std::strlen(start);
        const std::string candidate = std::string(start, length) + "/" + program;
        if (length > 0 && access(candidate.c_str(), X_OK) == 0) return true;
        if (!end) break;
        start = end + 1;
    }
    return false;
}

bool start_xvfb(int width, int height, std::string& error) {
    if (!on_path("Xvfb"))
        return error = "Xvfb is not installed (the xvfb package); the capture draws on it", false;
    int fds[2];
    if (pipe(fds) != 0) return error = "cannot make a pipe for Xvfb", false;
    // The window sits at (50, 50): leave room for it on the screen.
    const std::string screen = std::to_string(std::max(width + 100, 1024)) + "x" +
                               std::to_string(std::max(height + 100, 768)) + "x24";
    const std::string fd = std::to_string(fds[1]);
    server = fork();
    if (server < 0) return error = "cannot start Xvfb", false;
    if (server == 0) {
        // The server goes when the capture goes, however it ends.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        close(fds[0]);
        const int null = open("/dev/null", O_RDWR);
        if (null >= 0) {
            dup2(null, 0);
            dup2(null, 1);
            dup2(null, 2);
        }
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp",
               "-noreset", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    // Xvfb writes the display number it took once it accepts connections.
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    while (number.find('\n') == std::string::npos) {
        if (poll(&p, 1, 20000) <= 0) break;
        char buffer[32];
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n <= 0) break;
        number.append(buffer, size_t(n));
    }
    close(fds[0]);
    while (!number.empty() && (number.back() == '\n' || number.back() == ' '))
        number.pop_back();
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) {
        stop_xvfb();
        return error = "cannot start Xvfb (is the xvfb package installed?)", false;
    }
    setenv("DISPLAY", (":" + number).c_str(), 1);
    unsetenv("WAYLAND_DISPLAY");
    setenv("SDL_VIDEODRIVER", "x11", 1);
    return true;
}

void stop_xvfb() {
    if (server <= 0) return;
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
    server = -1;
}

} // namespace capture
