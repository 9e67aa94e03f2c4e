#include "gl/gl.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "math/gl_helpers.h"
#include "math/random.h"
#include "parts/parts.h"
#include "platform/platform.h"
#include "resources/resources.h"
#include "runtime/runtime.h"

namespace {

constexpr double fade_rate = 100002.5; // Escape fade, per second

// The show time in microseconds, truncated; its low 32 bits seed the generator.
uint32_t seed_from_time(double show_time) {
    const double micro = show_time * 1000000.0;
    if (!(std::fabs(micro) < 9.0e18)) return 0; // out of int64 range (never in a show)
    return uint32_t(uint64_t(int64_t(micro)));
}

// The Escape fade's square, drawn into the window's framebuffer over the frame.
void draw_fade_overlay(show_context& context, double v) {
    glViewport(0, 0, context.settings.view_width, context.settings.view_height);
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    for (GLenum mode : {GL_PROJECTION, GL_TEXTURE, GL_MODELVIEW}) {
        glMatrixMode(mode);
        glLoadIdentity();
    }
    // The square lies 3 units in front of the eye: under the window's own
    // 45-degree perspective it covers the view, where an identity projection
    // would clip it away.
    const int height = std::max(context.settings.view_height, 1);
    glMatrixMode(GL_PROJECTION);
    gluPerspective(45.0, double(context.settings.view_width) / double(height), double(0.1f), 100.0);
    glMatrixMode(GL_MODELVIEW);
    glDisable(GL_CULL_FACE);
    glPushMatrix();
    reset_draw_state();
    glLoadIdentity();
    gluLookAt(0, 3, 0, 0, 0, 0, 0, 0, 1);
    glScalef(1.0f, 1.0f, 0.7f);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_BLEND);
    disable_vertex_profile(context);
    disable_fragment_profile(context);
    glColor3d(v, v, v);
    glDisable(GL_TEXTURE_2D);
    const double angle = 0.0, half = 50.0;
    draw_textured_square(&angle, &half, &half, true, 1.0f);
    glPopMatrix();
    glPopAttrib();
    glFlush();
}

} // namespace

void end_show() {
    platform::platform& p = platform::sys();
    runtime_state& rt = runtime();
    p.sound_close();
    if (rt.release_window) rt.release_window();
    delete rt.production;
    rt.production = nullptr;
    p.exit_process(0);
    std::abort(); // exit_process never comes back
}

void run_frame() {
    platform::platform& p = platform::sys();
    runtime_state& rt = runtime();
    input_state& sh = rt.input;
    show_context& context = the_show_context();
    frame_record& record = rt.record;

    int cursor_x = 0, cursor_y = 0;
    p.cursor_pos(&cursor_x, &cursor_y);

    // Two readings: the time between them is lost, as the clock always did.
    rt.frame_step = timer_read() - rt.last_reading;
    rt.last_reading = timer_read();
    if (rt.frame_step < 0.0) rt.frame_step = 0.0;

    // Every random number a part draws depends only on the show time.
    show_srand(seed_from_time(rt.show_time));
    for (int i = 0; i < 50; ++i)
        show_rand();

    // Music clock: close a tenth of the gap to the music each frame, except
    // in the music's last five seconds (for good) and above 240 s. A channel
    // that reports no frequency leaves this frame on the timer alone.
    const int frequency = p.sound_frequency(0);
    if (frequency > 0) {
        rt.music_time = double(p.sound_position(0)) / double(frequency);
        const double music_length = double(p.sound_sample_length(rt.music_sample)) / double(frequency);
        if (rt.music_time > music_length - sync_tail) {
            rt.sync_enabled = false;
        } else if (rt.sync_enabled && rt.show_time <= sync_last_time) {
            rt.frame_step += (rt.music_time - rt.show_time) * double(0.1f);
        }
    }

    record.left_button = sh.left_button ? 1 : 0;
    record.right_button = sh.right_button ? 1 : 0;
    record.mouse_x = (cursor_x - 400.0) * 7.0 / 400.0;
    record.mouse_y = (cursor_y - 300.0) * 7.0 / 300.0;
    record.wheel = sh.wheel;

    record.cue = schedule_lookup(rt.schedule, rt.show_time);

    context.texture_base = 0;
    rt.show_time += rt.frame_step;
    record.time = rt.show_time;

    if (const float* spectrum = p.sound_spectrum())
        std::memcpy(record.spectrum, spectrum, sizeof record.spectrum);

    glBlendFunc(GL_ONE, GL_ONE);

    for (int k = 0; k < 256; ++k)
        record.keys[k] = sh.key_down[k];

    if (rt.production) rt.production->render(&rt.frame_step, context, &record);

    if (rt.show_time > show_end_time) end_show();

    if (sh.quitting) {
        const double elapsed = rt.show_time - sh.quit_start_time;
        const double v = std::clamp(elapsed * fade_rate, 0.0, 1.0);
        const double w = std::clamp(elapsed * 5.0 * fade_rate, 0.0, 1.0);
        record.params[10] = 1.0 - w;
        p.sound_set_volume(int(255.0 - 255.0 * v));
        draw_fade_overlay(context, v);
        if (v > 0.999) {
            p.set_clipboard_text(rt.debug_text);
            end_show();
        }
    }
}
