#include "platform/platform.h"

#include <cstdio>
#include <cstdlib>

namespace platform {
namespace {

const float silent_spectrum[512] = {};

platform make_null() {
    platform p{};
    p.perf_counter = [] { return int64_t(0); };
    p.perf_frequency = [] { return int64_t(1000000); };
    p.cursor_pos = [](int* x, int* y) { *x = 400, *y = 300; };
    p.message_box = [](const char* text, const char* caption, unsigned) {
        std::fprintf(stderr, "%s: %s\n", caption, text);
        return int(id_ok);
    };
    p.set_clipboard_text = [](const std::string&) { return false; };
    p.enum_display_mode = [](int, display_mode_info*) { return false; };
    p.change_display_mode = [](int, int, int) { return false; };
    p.restore_display_mode = [] {};
    p.show_cursor = [](bool) {};
    p.init_windowing = [] { return false; };
    p.create_window = [](const window_request&) { return window_failure::window; };
    p.create_gl_context = [] { return false; };
    p.make_gl_current = [](bool) { return true; };
    p.delete_gl_context = [] { return true; };
    p.release_device_context = [] { return true; };
    p.destroy_window = [] { return true; };
    p.close_windowing = [] { return true; };
    p.swap_buffers = [] {};
    p.disable_screen_saver = [] {};
    p.set_window_title = [](const char*) {};
    p.peek_message = [](message*) { return false; };
    p.post_quit_message = [](int) {};
    p.sound_init = [](int, int) { return true; };
    p.sound_preload = [](const char*) {};
    p.sound_load = [](const char*) { return 0; };
    p.sound_set_loop = [](int, bool) {};
    p.sound_enable_spectrum = [](bool) {};
    p.sound_play = [](int) {};
    p.sound_set_position = [](int, uint32_t) {};
    p.sound_set_paused = [](int, bool) {};
    p.sound_position = [](int) { return uint32_t(0); };
    p.sound_frequency = [](int) { return 44100; };
    p.sound_sample_length = [](int) { return uint32_t(0); };
    p.sound_spectrum = []() -> const float* { return silent_spectrum; };
    p.sound_set_volume = [](int) {};
    p.sound_close = [] {};
    p.enter_executable_folder = [](const char*) {};
    p.exit_process = [](int code) { std::exit(code); };
    p.run_dialog = [](const dialog_template&, dialog_proc, void*) { return dialog_unavailable; };
    return p;
}

} // namespace

const platform& null_platform() {
    static const platform p = make_null();
    return p;
}

platform& sys() {
    static platform current = native_platform();
    return current;
}

} // namespace platform
