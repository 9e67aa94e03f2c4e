#include "platform/platform.h"
#include "runtime/runtime.h"
#include "shell/shell.h"

namespace shell {

int message_step() {
    platform::platform& p = platform::sys();
    input_state& s = runtime().input;
    platform::message m;
    while (p.peek_message(&m)) {
        if (m.id == platform::wm_quit) return int(m.wparam);
        window_proc(m.id, m.wparam, m.lparam);
    }
    if (s.window_active) run_frame();
    // Escape counts while minimised too; the fade runs once frames resume.
    // A press and release that both arrive during one slow frame still
    // counts: the key-down is remembered until this pass.
    if ((s.key_down[platform::vk_escape] || s.escape_pressed) && !s.quitting) {
        s.quitting = true;
        s.quit_start_time = runtime().show_time;
    }
    s.escape_pressed = false;
    p.swap_buffers();
    // A held F1 reaches one frame per key-down message (auto-repeat), no more.
    s.key_down[platform::vk_f1] = 0;
    return -1;
}

int message_loop() {
    for (;;)
        if (const int code = message_step(); code >= 0) return code;
}

} // namespace shell
