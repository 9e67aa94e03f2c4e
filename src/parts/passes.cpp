// Full-screen shader passes over the render targets, and the two-pass
// flattened glow of a mesh.
#include <GL/glew.h>

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

} // namespace

namespace {

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

void ttime_glow(show_context& context, mesh& model, int program, const float second_colour[3],
                const float first_colour[3], bool clear_alpha, double ttime_first, double ttime_second) {
    if (clear_alpha) {
        mark_frame_stage("glow clear");
        glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_TRUE);
        glClear(GL_COLOR_BUFFER_BIT);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        mark_frame_stage("scene");
    }
    glDisable(GL_DEPTH_TEST);
    // t = x, s = y + z in object space.
    set_object_linear_texgen(1, 0, 0, 0, 0, 1, 1, 0);
    // Flatten onto the x-z footprint, facing the viewer in the plane z = 0.
    glRotatef(90, 1, 0, 0);
    glScalef(1, 0, 1);

    const int fragment = program + 1;
    bind_program(context, fragment);
    set_float_by_name(context, fragment, "ttime", &ttime_first);
    glEnable(GL_BLEND);
    glEnable(GL_MULTISAMPLE);
    glBlendFunc(GL_ONE, GL_ONE);
    glColor4f(first_colour[0], first_colour[1], first_colour[2], 1);
    enable_fragment_profile(context);
    draw_quads(model.group_at(0));

    enable_fragment_profile(context);
    set_float_by_name(context, fragment, "ttime", &ttime_second);
    glBlendFunc(GL_ONE_MINUS_DST_ALPHA, GL_DST_ALPHA);
    glColor4f(second_colour[0], second_colour[1], second_colour[2], 0);
    draw_quads(model.group_at(1));

    disable_fragment_profile(context);
    disable_vertex_profile(context);
    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);
}
