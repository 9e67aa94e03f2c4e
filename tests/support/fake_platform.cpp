#include "support/fake_platform.h"

#include <algorithm>

#include "parts/parts.h" // the production part is deleted through its base
#include "runtime/runtime.h"
#include "shell/shell.h"

namespace fake {
namespace {

fake_state current;

void note(const char* name) { current.calls.emplace_back(name); }

platform::platform make_fake() {
    platform::platform p = platform::null_platform();
    p.perf_counter = [] { return current.counter; };
    p.perf_frequency = [] { return current.frequency; };
    p.cursor_pos = [](int* x, int* y) { *x = current.cursor_x, *y = current.cursor_y; };
    p.message_box = [](const char* text, const char* caption, unsigned style) {
        current.boxes.push_back({text, caption, style});
        note("message_box");
        if (current.answers.empty()) return int(platform::id_ok);
        const int answer = current.answers.front();
        current.answers.pop_front();
        return answer;
    };
    p.set_clipboard_text = [](const std::string& text) {
        note("set_clipboard_text");
        if (current.clipboard_ok) current.clipboard.push_back(text);
        return current.clipboard_ok;
    };
    p.change_display_mode = [](int, int, int) {
        note("change_display_mode");
        return current.change_mode_ok;
    };
    p.restore_display_mode = [] { note("restore_display_mode"); };
    p.show_cursor = [](bool show) { note(show ? "show_cursor" : "hide_cursor"); };
    p.init_windowing = [] {
        note("init_windowing");
        return current.windowing_ok;
    };
    p.create_window = [](const platform::window_request& r) {
        note("create_window");
        current.last_request = r;
        return current.window_failure;
    };
    p.create_gl_context = [] {
        note("create_gl_context");
        return current.create_context_ok;
    };
    p.make_gl_current = [](bool on) {
        note(on ? "make_current" : "release_current");
        return current.make_current_ok;
    };
    p.delete_gl_context = [] {
        note("delete_gl_context");
        return current.delete_context_ok;
    };
    p.release_device_context = [] {
        note("release_device_context");
        return current.release_dc_ok;
    };
    p.destroy_window = [] {
        note("destroy_window");
        return current.destroy_window_ok;
    };
    p.close_windowing = [] {
        note("close_windowing");
        return current.close_windowing_ok;
    };
    p.swap_buffers = [] { ++current.swaps; };
    p.peek_message = [](platform::message* out) {
        if (current.script.empty()) {
            *out = platform::message{platform::wm_quit, current.end_code, 0};
            return true;
        }
        std::optional<platform::message> next = current.script.front();
        current.script.pop_front();
        if (!next) return false;
        *out = *next;
        return true;
    };
    p.post_quit_message = [](int code) {
        current.posted_quits.push_back(code);
        // Like the real queue: the quit comes before the rest of the script.
        current.script.push_front(platform::message{platform::wm_quit, uint64_t(code), 0});
    };
    p.sound_init = [](int, int) {
        note("sound_init");
        return current.sound_init_ok;
    };
    p.sound_load = [](const char* name) {
        current.calls.push_back(std::string("sound_load ") + name);
        const auto& missing = current.missing_files;
        return std::find(missing.begin(), missing.end(), name) != missing.end() ? 0 : current.load_result;
    };
    p.sound_set_loop = [](int, bool loop) { note(loop ? "loop_on" : "loop_off"); };
    p.sound_enable_spectrum = [](bool on) { note(on ? "spectrum_on" : "spectrum_off"); };
    p.sound_play = [](int) { note("sound_play"); };
    p.sound_set_position = [](int, uint32_t pos) {
        note("sound_set_position");
        current.sound_position = pos;
    };
    p.sound_position = [](int) { return current.sound_position; };
    p.sound_frequency = [](int) { return current.sound_frequency; };
    p.sound_sample_length = [](int) { return current.sound_length; };
    p.sound_spectrum = []() -> const float* { return current.spectrum; };
    p.sound_set_volume = [](int v) { current.volume = v; };
    p.sound_close = [] { note("sound_close"); };
    p.exit_process = [](int code) -> void {
        note("exit_process");
        throw process_exit{code};
    };
    return p;
}

} // namespace

bool fake_state::called(const std::string& name) const {
    return std::find(calls.begin(), calls.end(), name) != calls.end();
}

fake_state& state() { return current; }

scoped_platform::scoped_platform() : saved_(platform::sys()) {
    current = fake_state{};
    shell::state() = shell::shell_state{};
    runtime() = runtime_state{};
    runtime().release_window = shell::destroy_gl_window;
    the_show_context().settings = show_settings{};
    the_show_context().texture_base = 0;
    platform::sys() = make_fake();
}

scoped_platform::~scoped_platform() {
    delete runtime().production;
    runtime().production = nullptr;
    platform::sys() = saved_;
}

} // namespace fake
