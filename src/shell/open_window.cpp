// Opening the window: display mode, window, GL context, fixed GL state and
// the whole start-up sequence.
#include "gl/gl.h"

#include "platform/messages.h"
#include "platform/platform.h"
#include "resources/resources.h"
#include "runtime/runtime.h"
#include "shell/shell.h"

namespace shell {
namespace {

// The message of each window-opening step the platform can fail at.
const platform::show_message& window_failure_message(platform::window_failure failure) {
    switch (failure) {
    case platform::window_failure::device_context:
        return platform::messages::device_context;
    case platform::window_failure::pixel_format:
        return platform::messages::find_pixel_format;
    case platform::window_failure::set_pixel_format:
        return platform::messages::set_pixel_format;
    default:
        return platform::messages::window_creation;
    }
}

} // namespace

bool init_gl_state() {
    glShadeModel(GL_SMOOTH);
    glClearColor(0.0f, 0.0f, 0.0f, 0.5f);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    start_up();
    return true;
}

bool open_gl_window(const char* title, int width, int height, int bits, bool fullscreen) {
    platform::platform& p = platform::sys();
    shell_state& s = state();
    show_context& context = the_show_context();
    namespace messages = platform::messages;

    context.settings.fullscreen = fullscreen;
    // The frame driver ends the show itself and releases what opens here.
    runtime().release_window = destroy_gl_window;
    // The windowing system stands where the window class is registered:
    // without it there is nothing to switch or open.
    if (!p.init_windowing()) {
        platform::show_message_box(messages::register_class);
        return false;
    }
    s.has_windowing = true;
    if (fullscreen) {
        if (p.change_display_mode(width, height, bits)) {
            s.display_switched = true;
            p.show_cursor(false);
        } else {
            const int answer = platform::show_message_box(messages::fullscreen_fallback);
            if (answer != platform::id_yes) {
                platform::show_message_box(messages::will_close);
                return false;
            }
            context.settings.fullscreen = false;
        }
    }

    platform::window_request request;
    request.title = title;
    request.fullscreen = context.settings.fullscreen;
    request.x = request.fullscreen ? 0 : 50;
    request.y = request.fullscreen ? 0 : 50;
    request.width = width;
    request.height = height;
    const platform::window_failure failure = p.create_window(request);
    // The steps run in the order of window_failure: those before the one that
    // failed made their part, which is released with the rest.
    s.has_window = failure != platform::window_failure::window;
    s.has_device_context =
        failure == platform::window_failure::none || failure > platform::window_failure::device_context;
    if (failure != platform::window_failure::none) {
        destroy_gl_window();
        platform::show_message_box(window_failure_message(failure));
        return false;
    }
    if (!p.create_gl_context()) {
        destroy_gl_window();
        platform::show_message_box(messages::rendering_context);
        return false;
    }
    s.has_context = true;
    if (!p.make_gl_current(true)) {
        destroy_gl_window();
        platform::show_message_box(messages::activate_context);
        return false;
    }
    p.disable_screen_saver();

    resize_viewport(width, height);
    create_cg_context(context);
    return init_gl_state();
}

} // namespace shell
