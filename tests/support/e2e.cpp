#include "support/e2e.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "capture/xvfb.h"

namespace e2e {

bool has_display() {
    static const bool ready = [] {
        std::string error;
        // A 1920x1080 screen, as the test command's own server has.
        if (capture::on_path("Xvfb") && capture::start_xvfb(1820, 980, error)) {
            std::atexit(capture::stop_xvfb);
            return true;
        }
        if (!error.empty()) std::fprintf(stderr, "own X server: %s\n", error.c_str());
        const char* display = std::getenv("DISPLAY");
        return display && *display;
    }();
    return ready;
}

fs::path temp_dir(const std::string& prefix) {
    std::string pattern = "/tmp/" + prefix + "-XXXXXX";
    if (!mkdtemp(pattern.data())) return {};
    return pattern;
}

std::string file_text(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string quoted(const std::string& s) { return "'" + s + "'"; }

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

result run_in(const fs::path& dir, const std::string& command) {
    result r;
    const std::string line = "cd " + quoted(dir.string()) + " && " + command + " >" +
                             quoted((dir / "out.txt").string()) + " 2>" + quoted((dir / "err.txt").string());
    const int status = std::system(line.c_str());
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = file_text(dir / "out.txt");
    r.err = file_text(dir / "err.txt");
    return r;
}

namespace {

// Forks `program` with `args` in a process group of its own (so a kill takes
// whatever it starts too), standard error to `stderr_file`, standard output
// to `stdout_file` or nowhere.
process spawn(const fs::path& program, const std::vector<std::string>& args,
              const std::vector<std::pair<std::string, std::string>>& env, const fs::path& stderr_file,
              const fs::path& stdout_file, const fs::path& working_dir) {
    std::vector<std::string> words = {program.filename().string()};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    process p;
    p.pid = fork();
    if (p.pid == 0) {
        setpgid(0, 0);
        for (const auto& [name, value] : env)
            setenv(name.c_str(), value.c_str(), 1);
        if (!freopen(stderr_file.c_str(), "w", stderr)) _exit(120);
        if (!freopen(stdout_file.empty() ? "/dev/null" : stdout_file.c_str(), "w", stdout)) _exit(120);
        if (!working_dir.empty() && chdir(working_dir.c_str()) != 0) _exit(121);
        execv(program.c_str(), argv.data());
        _exit(122);
    }
    // Set from both sides: whichever runs first, the group exists before a kill.
    if (p.pid > 0) setpgid(p.pid, p.pid);
    return p;
}

} // namespace

process start(const fs::path& program, const std::vector<std::pair<std::string, std::string>>& env,
              const fs::path& stderr_file, const fs::path& working_dir) {
    return spawn(program, {}, env, stderr_file, {}, working_dir);
}

process start_with_args(const fs::path& program, const std::vector<std::string>& args,
                        const std::vector<std::pair<std::string, std::string>>& env,
                        const fs::path& stderr_file, const fs::path& stdout_file) {
    return spawn(program, args, env, stderr_file, stdout_file, {});
}

bool running(process& p) {
    if (p.pid <= 0) return false;
    int status = 0;
    const pid_t r = waitpid(p.pid, &status, WNOHANG);
    if (r == 0) return true;
    if (r == p.pid) p.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    p.pid = -1;
    return false;
}

int wait_exit(process& p, double seconds, const std::function<void()>& each_poll) {
    const auto end = clock_type::now() + std::chrono::duration<double>(seconds);
    while (clock_type::now() < end) {
        if (!running(p)) return p.exit_code;
        if (each_poll) each_poll();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return -1;
}

void stop(process& p) {
    if (p.pid <= 0) return;
    kill(-p.pid, SIGKILL);
    waitpid(p.pid, nullptr, 0);
    p.pid = -1;
}

std::string window_named(const std::string& name, bool only_visible) {
    std::istringstream out(output_of(std::string("xdotool search ") + (only_visible ? "--onlyvisible " : "") +
                                     "--name " + quoted(name) + " 2>/dev/null"));
    std::string id;
    out >> id;
    return id;
}

std::string window_in_tree(const std::string& name) {
    std::istringstream tree(output_of("xwininfo -root -tree 2>/dev/null"));
    for (std::string line; std::getline(tree, line);)
        if (line.find("\"" + name + "\"") != std::string::npos) {
            std::string id;
            std::istringstream(line) >> id;
            return id;
        }
    return {};
}

std::string wait_for_window(process& p, const std::string& name, double seconds, bool only_visible) {
    std::string id;
    wait_for(
        p, [&] { return !(id = window_named(name, only_visible)).empty(); }, seconds);
    return id;
}

bool viewable(const std::string& window) {
    return output_of("xwininfo -id " + window + " 2>/dev/null").find("Map State: IsViewable") !=
           std::string::npos;
}

bool press(const std::string& window, const std::string& keys, int delay_ms) {
    const auto end = clock_type::now() + std::chrono::seconds(10);
    while (!viewable(window)) {
        if (clock_type::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const std::string delay = delay_ms > 0 ? "--delay " + std::to_string(delay_ms) + " " : "";
    return std::system(("timeout 10 xdotool windowfocus --sync " + window + " key " + delay + keys +
                        " >/dev/null 2>&1")
                           .c_str()) == 0;
}

std::string wait_for_dialog(process& p, double seconds) {
    return wait_for_window(p, dialog_name, seconds, true);
}

bool answer_box(process& p, const std::string& caption, double seconds) {
    std::string id;
    if (!wait_for(
            p, [&] { return !(id = window_in_tree(caption)).empty(); }, seconds))
        return false;
    return press(id, "Return");
}

std::string leave_desktop(process& p) {
    std::string found;
    if (Display* display = XOpenDisplay(nullptr)) {
        char keys[32];
        XQueryKeymap(display, keys);
        for (int code = 8; code < 256; ++code)
            if (keys[code / 8] & (1 << (code % 8))) {
                const char* name = XKeysymToString(XkbKeycodeToKeysym(display, KeyCode(code), 0, 0));
                found += std::string("key held: ") + (name ? name : std::to_string(code)) + "\n";
                if (name)
                    (void)!std::system(("xdotool keyup " + std::string(name) + " >/dev/null 2>&1").c_str());
            }
        XCloseDisplay(display);
    }
    stop(p);
    std::string windows;
    for (int i = 0; i < 100; ++i) {
        windows = output_of("xdotool search --onlyvisible --name . 2>/dev/null");
        if (windows.empty()) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::istringstream ids(windows);
    for (std::string id; ids >> id;) {
        found += "window left: " + id + " " + output_of("xdotool getwindowname " + id + " 2>/dev/null");
        (void)!std::system(("xdotool windowkill " + id + " >/dev/null 2>&1").c_str());
    }
    return found;
}

std::string clipboard() { return output_of("xclip -selection clipboard -o 2>/dev/null"); }

bool clipboard_becomes(const std::string& text, double seconds) {
    const auto end = clock_type::now() + std::chrono::duration<double>(seconds);
    while (clipboard() != text) {
        if (clock_type::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

bool set_clipboard(const std::string& text) {
    return std::system(
               ("printf %s " + quoted(text) + " | xclip -selection clipboard -i >/dev/null 2>&1").c_str()) ==
               0 &&
           clipboard_becomes(text, 10);
}

void copy_show(const fs::path& show_dir, const fs::path& dir, const std::string& program,
               std::initializer_list<const char*> linked, std::initializer_list<const char*> file_by_file,
               const fs::path& leave_out) {
    const fs::path show = fs::absolute(show_dir);
    fs::copy_file(show / program, dir / program);
    for (const char* data : linked)
        if (fs::exists(show / data)) fs::create_directory_symlink(show / data, dir / data);
    for (const char* data : file_by_file) {
        if (!fs::exists(show / data)) continue;
        fs::create_directory(dir / data);
        for (const auto& entry : fs::directory_iterator(show / data))
            if (fs::path(data) / entry.path().filename() != leave_out)
                fs::create_symlink(entry.path(), dir / data / entry.path().filename());
    }
}

} // namespace e2e
