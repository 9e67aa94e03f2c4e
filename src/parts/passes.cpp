// Full-screen shader passes over the render targets.
#include "gl/gl.h"

#include <algorithm>
#include <cmath>

#include "math/gl_helpers.h"
#include "parts/parts.h"
#include "platform/cg_runtime.h"
#include "resources/resources.h"

namespace {

// Parameter slots of the pass samplers.
constexpr int decal_slot = 7;
constexpr int decal2_slot = 8;
constexpr int decal3_slot = 9;

void set_sampler(show_context& context, int program, int parameter_slot, const char* name, int texture_slot) {
    CGparameter parameter = lookup_parameter(context, program, parameter_slot, name);
    cgGLSetTextureParameter(parameter, texture_name_of_slot(context, texture_slot));
    cgGLEnableTextureParameter(parameter);
}

// Binds the pass's program and its sources and draws the square that covers
// the viewport: two-source form when tex_b >= 0 ("decal", "decal2", and
// "decal3" when tex_c >= 0), else the one-source form with "decal" alone.
void draw_pass_square(show_context& context, int program, int primary, int tex_b, int tex_c) {
    for (GLenum mode : {GL_PROJECTION, GL_TEXTURE, GL_MODELVIEW}) {
        glMatrixMode(mode);
        glLoadIdentity();
    }
    glColor3f(1, 1, 1);
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);

    // A slot of -1 binds no texture.
    if (tex_b >= 0) {
        disable_vertex_profile(context);
        enable_fragment_profile(context);
        bind_program(context, program);
        set_sampler(context, program, decal_slot, "decal", primary);
        set_sampler(context, program, decal2_slot, "decal2", tex_b);
        if (tex_c >= 0) set_sampler(context, program, decal3_slot, "decal3", tex_c);
    } else {
        disable_fragment_profile(context);
        enable_fragment_profile(context);
        bind_program(context, program);
        set_sampler(context, program, decal_slot, "decal", primary);
    }

    const double angle = 0.0, half_size = 1.0;
    draw_textured_square(&angle, &half_size, &half_size, true, 1.0f);
}

} // namespace

void run_fullscreen_pass(show_context& context, int program, int target, int passes, int width, int height,
                         int tex_a, int tex_b, int tex_extra, int tex_c) {
    for (int pass = 0; pass < passes; ++pass) {
        enable_fragment_profile(context);
        enable_vertex_profile(context);
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();

        glViewport(0, 0, width, height);
        bind_render_target(context, target, 1);
        // Later passes read tex_b.
        draw_pass_square(context, program, pass == 0 ? tex_a : tex_b, tex_b, tex_c);

        glPopMatrix();
        resolve_render_target(context, target, width, height, 1, false);
        bind_window_framebuffer();
    }
    disable_fragment_profile(context);
    disable_vertex_profile(context);
}

void run_pass_into_window(show_context& context, int program, int x, int y, int width, int height, int tex_a,
                          int tex_b) {
    enable_fragment_profile(context);
    enable_vertex_profile(context);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    bind_window_framebuffer();
    glViewport(x, y, width, height);
    draw_pass_square(context, program, tex_a, tex_b, -1);
    glPopMatrix();
    disable_fragment_profile(context);
    disable_vertex_profile(context);
}
