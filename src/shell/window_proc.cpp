// The window procedure: keys, buttons, wheel, activity, size, and the
// middle-button capture text.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "runtime/runtime.h"
#include "shell/shell.h"

namespace shell {
namespace {

constexpr int64_t alt_context_bit = int64_t(1) << 29; // lparam of a key message: Alt was held

// Records the picked point and the camera values the last frame left.
void debug_capture() {
    runtime_state& rt = runtime();
    frame_record& record = rt.record;
    const Vec3& eye = the_show_context().context_camera.eye;
    const double* pp = record.picked_point;

    record.points.push_back(Vec3{1, float(pp[0]), float(pp[1]), float(pp[2])});

    std::string& text = rt.debug_text;
    text += "Cam :" + format_number(record.mouse_x) + "," + format_number(record.mouse_y) + "," +
            format_number(record.wheel) + "  \n";
    text +=
        "Pnt :" + format_number(pp[0]) + "," + format_number(pp[1]) + "," + format_number(pp[2]) + "  \n \n";
    text +=
        "MCr :" + format_number(eye.x) + "," + format_number(eye.y) + "," + format_number(eye.z) + "  \n \n";
}

} // namespace

std::string format_number(double value) {
    // Six significant digits; a whole number in fixed notation keeps its
    // decimal point ("12."), as the capture text always showed it.
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.6g", value);
    if (std::isfinite(value) && !std::strpbrk(buffer, ".e")) std::strcat(buffer, ".");
    return buffer;
}

int64_t default_window_proc(unsigned message, uint64_t wparam, int64_t lparam) {
    // The arrows move once per message that comes this way (mouse moves,
    // buttons, ...), not once per frame.
    const input_state& s = runtime().input;
    runtime_state& rt = runtime();
    const double step = rt.frame_step;
    if (s.key_down[platform::vk_up]) rt.record.key_offset_y += 1.5 * step;
    if (s.key_down[platform::vk_down]) rt.record.key_offset_y -= 1.5 * step;
    if (s.key_down[platform::vk_left]) rt.record.key_offset_x -= step;
    if (s.key_down[platform::vk_right]) rt.record.key_offset_x += step;

    // Alt+F4 closes the window, as the system's default handling does.
    if (message == platform::wm_syskeydown && wparam == platform::vk_f4 && (lparam & alt_context_bit))
        return window_proc(platform::wm_close, 0, 0);
    return 0;
}

int64_t window_proc(unsigned message, uint64_t wparam, int64_t lparam) {
    input_state& s = runtime().input;
    switch (message) {
    case platform::wm_activate:
        s.window_active = ((wparam >> 16) & 0xFFFF) == 0;
        return 0;
    case platform::wm_size:
        resize_viewport(int(lparam & 0xFFFF), int((lparam >> 16) & 0xFFFF));
        return 0;
    case platform::wm_close:
        platform::sys().post_quit_message(0);
        return 0;
    case platform::wm_keydown:
        if (wparam < 256) s.key_down[wparam] = 1;
        if (wparam == platform::vk_escape) s.escape_pressed = true;
        return 0;
    case platform::wm_keyup:
        if (wparam < 256) s.key_down[wparam] = 0;
        return 0;
    case platform::wm_syscommand:
        // Keeps the screen saver and monitor power-saving off.
        if (wparam == platform::sc_screensave || wparam == platform::sc_monitorpower) return 0;
        break;
    case platform::wm_lbuttondown:
        s.left_button = true;
        break;
    case platform::wm_lbuttonup:
        s.left_button = false;
        break;
    case platform::wm_rbuttondown:
        s.right_button = true;
        break;
    case platform::wm_rbuttonup:
        s.right_button = false;
        break;
    case platform::wm_mbuttondown:
        debug_capture();
        break;
    case platform::wm_mousewheel:
        s.wheel += int16_t(uint16_t((wparam >> 16) & 0xFFFF)) / 600.0;
        return 0;
    default:
        break;
    }
    return default_window_proc(message, wparam, lparam);
}

bool copy_to_clipboard(const std::string& text) { return platform::sys().set_clipboard_text(text); }

} // namespace shell
