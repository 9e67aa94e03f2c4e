// Helpers for tests that run the real programs: a child process with its
// own environment and standard error, waits with a time limit, shell
// commands and their output, X windows found by name and sent keys, the
// clipboard, and a copy of the show folder beside the show's data.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace e2e {

namespace fs = std::filesystem;
using clock_type = std::chrono::steady_clock;

// Window names of the settings dialog and of the show.
constexpr const char* dialog_name = "Quorlaxen by KVT - 2009";
constexpr const char* show_name = "Quorlaxen - KVT 2009";

// True when the test runs with an X display to use. The first call starts an
// X server for this test process alone (each case runs in a process of its
// own) and points DISPLAY at it: a window that another test opens on a
// shared display takes the keyboard focus, and keys typed meanwhile go to
// it. Without Xvfb the display the test was given is used.
bool has_display();

// A fresh folder under /tmp named after `prefix`; empty when none could be made.
fs::path temp_dir(const std::string& prefix);

std::string file_text(const fs::path& path);

// `s` in single quotes, for a shell command.
std::string quoted(const std::string& s);

// What a shell command writes on its standard output.
std::string output_of(const std::string& command);

// A program run to its end.
struct result {
    int code = -1; // its exit code, or -1 when it did not exit normally
    std::string out, err;
};

// Runs the shell `command` in `dir`; its output and errors pass through
// out.txt and err.txt there.
result run_in(const fs::path& dir, const std::string& command);

// A started child process.
struct process {
    pid_t pid = -1;     // -1 once it has ended and been reaped
    int exit_code = -1; // once ended: its exit code, or 128 + the signal that ended it
};

// Starts `program` with `env` added to its environment, standard error into
// `stderr_file` and standard output to /dev/null, in `working_dir` (the
// test's own when empty), in a process group of its own, so that stop()
// also ends the children it starts (a message box is drawn by a forked
// child that would otherwise outlive a killed show and its test).
process start(const fs::path& program, const std::vector<std::pair<std::string, std::string>>& env,
              const fs::path& stderr_file, const fs::path& working_dir = {});

// The same with command-line arguments, standard output into `stdout_file`
// (/dev/null when empty), in the test's own working directory.
process start_with_args(const fs::path& program, const std::vector<std::string>& args,
                        const std::vector<std::pair<std::string, std::string>>& env,
                        const fs::path& stderr_file, const fs::path& stdout_file = {});

// Whether it still runs; an ended process is reaped and its exit code kept.
bool running(process& p);

// Exit code, or -1 when it had not ended after `seconds`. `each_poll` runs
// between looks, while it still runs.
int wait_exit(process& p, double seconds, const std::function<void()>& each_poll = {});

// Kills it with its process group and reaps it.
void stop(process& p);

// Polls `ready` every `poll_ms` while the process runs; false on timeout or
// when the process ends first.
template <class F> bool wait_for(process& p, F ready, double seconds, int poll_ms = 100) {
    const auto end = clock_type::now() + std::chrono::duration<double>(seconds);
    while (clock_type::now() < end && running(p)) {
        if (ready()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(poll_ms));
    }
    return false;
}

// The first window whose name matches, by xdotool's search, or "".
std::string window_named(const std::string& name, bool only_visible = false);

// A window whose name is exactly `name`, found in the window tree, or "".
// Message boxes are found this way: their UTF-8 titles escape xdotool's
// name search.
std::string window_in_tree(const std::string& name);

// `window_named` polled while the process runs; "" on timeout.
std::string wait_for_window(process& p, const std::string& name, double seconds, bool only_visible = false);

// Whether the window is mapped and all its ancestors are (it can take the
// keyboard focus and receive keys).
bool viewable(const std::string& window);

// Keys typed into one window as a keyboard would: once the window is
// viewable it gets the input focus, then each key goes down and up through
// the XTEST keyboard. False when the window never became viewable or
// xdotool failed.
//
// Not `xdotool key --window`: it presses through XTEST when the window has
// the focus but releases by XSendEvent, so a key that closes the window
// (Return, Escape, Alt+F4) fails on release and stays held down on the
// server, which then repeats it into whatever window takes the focus next.
bool press(const std::string& window, const std::string& keys, int delay_ms = 0);

// Waits for the settings dialog to be viewable; its window, or "" on timeout.
std::string wait_for_dialog(process& p, double seconds);

// Waits for the message box titled `caption` and answers it with Return;
// false when none came or the key could not be typed.
bool answer_box(process& p, const std::string& caption, double seconds);

// Ends a test's use of the shared display: notes keys still held down (a
// held key repeats into the next window that takes the focus), stops `p`
// with its group, then notes windows still viewable (given a few seconds to
// go: the server drops a client's windows some time after it has gone).
// Empty when clean. What is found is cleared, so that one faulty test does
// not make the next ones fail.
std::string leave_desktop(process& p);

// The clipboard's text, and setting it; false when xclip failed. xclip
// serves the selection from a process it forks, which takes the selection
// a moment after the command returns (later still on a busy machine):
// set_clipboard waits until the text reads back, and a test that expects
// another process's text waits with clipboard_becomes.
std::string clipboard();
bool set_clipboard(const std::string& text);
// Whether the clipboard reads `text` within `seconds`.
bool clipboard_becomes(const std::string& text, double seconds);

// A copy of `program` from the show folder `show` made in `dir`, beside the
// show's data: the folders in `linked` as links to the show's, those in
// `file_by_file` as folders of links to each file (so that one file can be
// taken away), all but `leave_out` (a path relative to the show folder).
// Folders the show lacks are skipped.
void copy_show(const fs::path& show, const fs::path& dir, const std::string& program,
               std::initializer_list<const char*> linked, std::initializer_list<const char*> file_by_file,
               const fs::path& leave_out = {});

} // namespace e2e
