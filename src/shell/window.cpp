// The window's viewport and its release.
#include "gl/gl.h"

#include "platform/messages.h"
#include "platform/platform.h"
#include "resources/show_context.h"
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

    if (the_show_context().settings.fullscreen && s.display_switched) {
        p.restore_display_mode();
        p.show_cursor(true);
        s.display_switched = false;
    }
    // Each release is tried and reported on its own; handles are forgotten
    // either way, so a second call releases nothing twice.
    if (s.has_context) {
        if (!p.make_gl_current(false)) platform::show_message_box(platform::messages::release_dc_rc);
        if (!p.delete_gl_context()) platform::show_message_box(platform::messages::release_rc);
        s.has_context = false;
    }
    if (s.has_device_context) {
        if (!p.release_device_context())
            platform::show_message_box(platform::messages::release_device_context);
        s.has_device_context = false;
    }
    if (s.has_window) {
        if (!p.destroy_window()) platform::show_message_box(platform::messages::release_window);
        s.has_window = false;
    }
    if (s.has_windowing) {
        if (!p.close_windowing()) platform::show_message_box(platform::messages::unregister_class);
        s.has_windowing = false;
    }
}

} // namespace shell
