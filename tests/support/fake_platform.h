// A scripted stand-in for platform::sys(): counter and sound position set by
// the test, message boxes and clipboard texts recorded, messages fed from a
// script, and an exit that throws `fake::process_exit` so the test can look
// at the state the exit left behind.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace fake {

struct process_exit {
    int code;
};

struct box {
    std::string text;
    std::string caption;
    unsigned style;
};

struct fake_state {
    // Timer: perf_counter returns `counter` as it stands.
    int64_t counter = 0;
    int64_t frequency = 1000000;
    int cursor_x = 400, cursor_y = 300;

    // Messages: each peek takes the front; an empty optional is an idle pass
    // (no message). When the script runs out, peek hands out wm_quit with
    // `end_code`, so a message loop under test always ends.
    std::deque<std::optional<platform::message>> script;
    uint64_t end_code = 99;
    std::vector<int> posted_quits;

    // Message boxes: recorded; answers taken from the front (id_ok when empty).
    std::vector<box> boxes;
    std::deque<int> answers;

    std::vector<std::string> clipboard;
    bool clipboard_ok = true;

    // Window and context.
    bool windowing_ok = true, change_mode_ok = true, create_context_ok = true;
    platform::window_failure window_failure = platform::window_failure::none;
    bool make_current_ok = true, delete_context_ok = true, release_dc_ok = true, destroy_window_ok = true,
         close_windowing_ok = true;
    platform::window_request last_request;
    int swaps = 0;

    // Sound.
    bool sound_init_ok = true;
    int load_result = 1;
    std::vector<std::string> missing_files; // sound_load gives 0 for these names
    uint32_t sound_position = 0;
    int sound_frequency = 44100;
    uint32_t sound_length = 0;
    float spectrum[512] = {};
    int volume = 255;

    // Every call worth an order check, by name ("sound_close", "destroy_window", ...).
    std::vector<std::string> calls;
    bool called(const std::string& name) const;
};

fake_state& state();

// While alive: sys() is the fake table, and the fake, shell and runtime
// state start fresh. The previous table comes back afterwards, and the
// runtime's production part, if one is left, is deleted (create it with new,
// as the start-up sequence does).
class scoped_platform {
  public:
    scoped_platform();
    ~scoped_platform();
    scoped_platform(const scoped_platform&) = delete;
    scoped_platform& operator=(const scoped_platform&) = delete;

  private:
    platform::platform saved_;
};

inline platform::message msg(unsigned id, uint64_t wparam = 0, int64_t lparam = 0) {
    return platform::message{id, wparam, lparam};
}

} // namespace fake
