// The window's viewport and its release.
#include <GL/glew.h>
#include <GL/glu.h>

#include "platform/platform.h"
#include "runtime/show_context.h"
#include "shell/shell.h"

namespace shell {

void resize_viewport(int width, int height) {
    if (height == 0) height = 1;
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, double(width) / double(height), double(0.1f), 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void destroy_gl_window() {
    platform::platform& p = platform::sys();
    shell_state& s = state();
    constexpr const char* caption = "SHUTDOWN ERROR";
    constexpr unsigned style = platform::mb_ok | platform::mb_iconinformation;

    if (the_show_context().settings.fullscreen && s.display_switched) {
        p.restore_display_mode();
        p.show_cursor(true);
        s.display_switched = false;
    }
    // Each release is tried and reported on its own; handles are forgotten
    // either way, so a second call releases nothing twice.
    if (s.has_context) {
        if (!p.make_gl_current(false)) p.message_box("Release Of DC And RC Failed.", caption, style);
        if (!p.delete_gl_context()) p.message_box("Release Rendering Context Failed.", caption, style);
        s.has_context = false;
    }
    if (s.has_window) {
        if (!p.destroy_window()) p.message_box("Could Not Release hWnd.", caption, style);
        s.has_window = false;
    }
}

} // namespace shell
