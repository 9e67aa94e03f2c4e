// The two-pass flattened glow of a mesh, driven by the fragment program's
// "ttime".
#include "gl/gl.h"

#include <algorithm>
#include <cmath>

#include "math/gl_helpers.h"
#include "resources/resources.h"
#include "scenes/scene_script.h"

namespace {

// The window rectangle (x, y, width, height) that holds every pixel the
// glow's two groups can reach once flattened onto the x-z footprint under
// the current matrices, with a margin; false when it cannot be bounded (a
// corner behind the eye).
bool footprint_pixels(const mesh& model, int box[4]) {
    float lo_x = 0, hi_x = 0, lo_z = 0, hi_z = 0;
    bool any = false;
    for (int k = 0; k < 2; ++k)
        for (const quad& q : model.group_at(k))
            for (const Vec3& v : q.corners) {
                if (!any) {
                    lo_x = hi_x = v.x;
                    lo_z = hi_z = v.z;
                    any = true;
                }
                lo_x = std::min(lo_x, v.x), hi_x = std::max(hi_x, v.x);
                lo_z = std::min(lo_z, v.z), hi_z = std::max(hi_z, v.z);
            }
    if (!any) return false;
    double projection[16], modelview[16];
    int viewport[4];
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
    glGetIntegerv(GL_VIEWPORT, viewport);
    double min_x = 1e300, max_x = -1e300, min_y = 1e300, max_y = -1e300;
    for (int corner = 0; corner < 4; ++corner) {
        // The flattening turns (x, y, z) into (x, -z, 0).
        const double p[4] = {(corner & 1) ? hi_x : lo_x, -double((corner & 2) ? hi_z : lo_z), 0.0, 1.0};
        double eye[4], clip[4];
        for (int r = 0; r < 4; ++r)
            eye[r] =
                modelview[r] * p[0] + modelview[4 + r] * p[1] + modelview[8 + r] * p[2] + modelview[12 + r];
        for (int r = 0; r < 4; ++r)
            clip[r] = projection[r] * eye[0] + projection[4 + r] * eye[1] + projection[8 + r] * eye[2] +
                      projection[12 + r] * eye[3];
        if (!(clip[3] > 1e-6)) return false;
        const double x = viewport[0] + (clip[0] / clip[3] + 1.0) * 0.5 * viewport[2];
        const double y = viewport[1] + (clip[1] / clip[3] + 1.0) * 0.5 * viewport[3];
        min_x = std::min(min_x, x), max_x = std::max(max_x, x);
        min_y = std::min(min_y, y), max_y = std::max(max_y, y);
    }
    const double x0 = std::max(std::floor(min_x) - 2.0, double(viewport[0]));
    const double y0 = std::max(std::floor(min_y) - 2.0, double(viewport[1]));
    const double x1 = std::min(std::ceil(max_x) + 2.0, double(viewport[0] + viewport[2]));
    const double y1 = std::min(std::ceil(max_y) + 2.0, double(viewport[1] + viewport[3]));
    box[0] = int(x0);
    box[1] = int(y0);
    box[2] = int(std::max(x1 - x0, 0.0));
    box[3] = int(std::max(y1 - y0, 0.0));
    return true;
}

} // namespace

void ttime_glow(show_context& context, mesh& model, int program, const float second_colour[3],
                const float first_colour[3], bool clear_alpha, double ttime_first, double ttime_second) {
    if (clear_alpha) {
        mark_frame_stage("glow clear");
        // Only the two draws below read the alpha they clear, and only
        // where they draw: the clear is kept to the footprint's pixels.
        int box[4];
        const bool boxed = footprint_pixels(model, box);
        glPushAttrib(GL_SCISSOR_BIT);
        if (boxed) {
            glEnable(GL_SCISSOR_TEST);
            glScissor(box[0], box[1], box[2], box[3]);
        }
        glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_TRUE);
        glClear(GL_COLOR_BUFFER_BIT);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glPopAttrib();
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

void model_glow(scene_assets& assets, show_context& context, mesh& model, double first, double second) {
    constexpr float light[3] = {1.0f, 0.55f, 0.15f};
    constexpr float dark[3] = {0.0f, 0.0f, 0.0f};
    glDisable(GL_CULL_FACE);
    ttime_glow(context, model, assets.program_main, dark, light, true, first, second);
    reset_draw_state();
    glDisable(GL_TEXTURE_2D);
}
