// Opening the window: display mode, window, GL context, fixed GL state and
// the whole start-up sequence.
#include <GL/glew.h>

#include "platform/platform.h"
#include "resources/resources.h"
#include "runtime/runtime.h"
#include "shell/shell.h"

namespace shell {
namespace {

// The message of each window-opening step the platform can fail at.
const char* window_failure_text(platform::window_failure failure) {
    switch (failure) {
    case platform::window_failure::device_context:
        return "Can't Create A GL Device Context.";
    case platform::window_failure::pixel_format:
        return "Can't Find A Suitable PixelFormat (1).";
    case platform::window_failure::set_pixel_format:
        return "Can't Set The PixelFormat(2).";
    default:
        return "Window Creation Error.";
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
    constexpr unsigned error_style = platform::mb_ok | platform::mb_iconexclamation;

    context.settings.fullscreen = fullscreen;
    // The windowing system stands where the window class is registered:
    // without it there is nothing to switch or open.
    if (!p.init_windowing()) {
        p.message_box("Failed To Register The Window Class.", "ERROR", error_style);
        return false;
    }
    if (fullscreen) {
        if (p.change_display_mode(width, height, bits)) {
            s.display_switched = true;
            p.show_cursor(false);
        } else {
            const int answer = p.message_box("The Requested Fullscreen Mode Is Not Supported By\nYour Video "
                                             "Card. Use Windowed Mode Instead?",
                                             "KVT GL ;-)", platform::mb_yesno | platform::mb_iconexclamation);
            if (answer != platform::id_yes) {
                p.message_box("Program Will Now Close.", "ERROR", platform::mb_ok | platform::mb_iconstop);
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
    if (const platform::window_failure failure = p.create_window(request);
        failure != platform::window_failure::none) {
        destroy_gl_window();
        p.message_box(window_failure_text(failure), "ERROR", error_style);
        return false;
    }
    s.has_window = true;
    if (!p.create_gl_context()) {
        destroy_gl_window();
        p.message_box("Can't Create A GL Rendering Context.", "ERROR", error_style);
        return false;
    }
    s.has_context = true;
    if (!p.make_gl_current(true)) {
        destroy_gl_window();
        p.message_box("Can't Activate The GL Rendering Context.", "ERROR", error_style);
        return false;
    }
    p.disable_screen_saver();

    resize_viewport(width, height);
    create_cg_context(context);
    return init_gl_state();
}

} // namespace shell
