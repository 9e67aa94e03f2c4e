// The start-up sequence: everything the frames need, run once inside the
// window's creation with the context current. The loading screen goes up
// before the long load; the music starts only once the show can follow it.
#include "gl/gl.h"

#include <cstring>
#include <string>

#include "math/gl_helpers.h"
#include "parts/parts.h"
#include "platform/messages.h"
#include "platform/platform.h"
#include "runtime/runtime.h"

void start_up() {
    runtime_state& rt = runtime();
    show_context& context = the_show_context();
    platform::platform& sys = platform::sys();

    // Extension entry points (framebuffers, multisampling, blits, draw
    // buffers); without them the targets below simply stay unmade. GLEW
    // loads the GL entry points before its window-system ones, so a context
    // made through EGL with no X display has them all although glewInit
    // then reports GLEW_ERROR_NO_GLX_DISPLAY: its result is not a verdict.
    glewExperimental = GL_TRUE;
    glewInit();
    glGetError(); // glewInit's probing may leave an error behind
    // Windows's own OpenGL 1.1 (no driver from the card's maker, some
    // virtual machines) has none of it: say so rather than call through a
    // null entry point.
    if (!gl_has_framebuffer_objects()) {
        const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
        const std::string text = std::string(platform::messages::old_opengl_text) +
                                 (version ? version : "none") +
                                 ".\nInstall the graphics driver of the card's maker.";
        platform::show_message_box(platform::messages::old_opengl, text.c_str());
        sys.exit_process(0);
    }

    // Off-screen targets from the view size: full (multisampled when
    // antialiased), quarter and half, the sizes truncated.
    const int width = context.settings.view_width;
    const int height = context.settings.view_height;
    create_render_target(context, 0, width, height, context.settings.antialiased ? 4 : 0);
    create_render_target(context, 1, width / 4, height / 4, 0);
    create_render_target(context, 2, width / 2, height / 2, 0);

    set_linear_filtering();
    rt.debug_text.clear();
    context.texture_base = 0;

    // The load starts here; the clocks are reset once it is over, so this
    // reading only moves the timer's last counter.
    timer_read();

    // Loading screen: drawn once with its own record, then shown.
    rt.loading_record = new frame_record();
    context.current_record = rt.loading_record;
    part_loader* loader = new part_loader();
    rt.loader = loader;
    loader->init(context);
    double no_step = 0.0;
    loader->render(&no_step, context, rt.loading_record);
    sys.swap_buffers();

    // The production part and its long load.
    part_start* production = new part_start();
    rt.production = production;
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    sys.swap_buffers();
    production->init(context);
    production->initialised = 1;

    start_sound();

    timer_reset();
    rt.last_reading = timer_read();

    schedule_init(rt.schedule);

    rt.show_time = 0.0;
    frame_record& record = rt.record;
    record.picked_point[0] = record.picked_point[1] = record.picked_point[2] = 0.0;
    record.key_offset_x = 0.0;
    record.key_offset_y = 0.0;
    std::memset(record.flags_a, 0, sizeof record.flags_a);
    std::memset(record.flags_b, 0, sizeof record.flags_b);
    record.flags_a[0] = 1;
}
