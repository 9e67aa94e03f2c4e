#include "support/pulse_server.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "support/e2e.h"

namespace e2e {

namespace {

// Whether a client can connect to the unix socket at `path`.
bool answers(const fs::path& path) {
    const int s = socket(AF_UNIX, SOCK_STREAM, 0);
    if (s < 0) return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    const bool ok = connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(s);
    return ok;
}

} // namespace

pulse_server::pulse_server() {
    if (output_of("command -v pulseaudio").empty()) {
        error_ = "no pulseaudio (Debian package pulseaudio)";
        return;
    }
    dir_ = temp_dir("quorlaxen-pulse");
    if (dir_.empty()) {
        error_ = "no folder for the server";
        return;
    }
    const std::string script = std::string(QUORLAXEN_SOURCE_DIR) + "/tests/sound/pulse-server.sh";
    const fs::path log_file = dir_.string() + ".log";
    pid_ = fork();
    if (pid_ == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM); // gone with the test, however it ends
        setpgid(0, 0);
        if (!freopen(log_file.c_str(), "w", stderr) || !freopen("/dev/null", "w", stdout)) _exit(120);
        execl("/bin/bash", "bash", script.c_str(), dir_.c_str(), static_cast<char*>(nullptr));
        _exit(122);
    }
    const fs::path socket_file = dir_ / "pulse" / "native";
    const auto end = clock_type::now() + std::chrono::seconds(20);
    while (clock_type::now() < end && !answers(socket_file)) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (!answers(socket_file)) error_ = "the server did not start:\n" + log();
}

pulse_server::~pulse_server() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        const auto end = clock_type::now() + std::chrono::seconds(5);
        while (waitpid(pid_, nullptr, WNOHANG) == 0) {
            if (clock_type::now() > end) {
                kill(pid_, SIGKILL);
                waitpid(pid_, nullptr, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    if (!dir_.empty()) {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
        fs::remove(dir_.string() + ".log", ignored);
    }
}

std::string pulse_server::log() const { return file_text(dir_.string() + ".log"); }

} // namespace e2e
