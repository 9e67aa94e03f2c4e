// resize_viewport, reached through the window procedure's size message.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "shell/shell.h"
#include "support/gl_context.h"

namespace {

class viewport : public gl_test {};

int64_t size_lparam(int w, int h) { return int64_t(w) | (int64_t(h) << 16); }

TEST_F(viewport, size_message_sets_viewport_and_45_degree_projection) {
    glMatrixMode(GL_MODELVIEW);
    glTranslatef(1, 2, 3);
    shell::window_proc(platform::wm_size, 0, size_lparam(200, 100));
    GLint vp[4];
    glGetIntegerv(GL_VIEWPORT, vp);
    EXPECT_EQ(vp[2], 200);
    EXPECT_EQ(vp[3], 100);
    float p[16], m[16];
    glGetFloatv(GL_PROJECTION_MATRIX, p);
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    // Where points land in the window: the top edge 22.5 degrees above the
    // view axis, the right edge twice as far out (aspect 2) at any distance;
    // the near plane at 0.1 and the far one at 100 give depths 0 and 1. The
    // model-view is back to identity (the translation above is gone).
    auto window_of = [&](double x, double y, double z) {
        const double v[4] = {x, y, z, 1.0};
        double eye[4] = {}, clip[4] = {};
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                eye[r] += m[c * 4 + r] * v[c];
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                clip[r] += p[c * 4 + r] * eye[c];
        return std::array<double, 3>{vp[0] + (clip[0] / clip[3] + 1.0) / 2.0 * vp[2],
                                     vp[1] + (clip[1] / clip[3] + 1.0) / 2.0 * vp[3],
                                     (clip[2] / clip[3] + 1.0) / 2.0};
    };
    const double rise = std::tan(22.5 * M_PI / 180.0);
    for (double d : {1.0, 10.0, 50.0}) {
        EXPECT_NEAR(window_of(0.0, rise * d, -d)[1], 100.0, 1e-3) << d;
        EXPECT_NEAR(window_of(2.0 * rise * d, 0.0, -d)[0], 200.0, 1e-3) << d;
        EXPECT_NEAR(window_of(0.0, 0.0, -d)[0], 100.0, 1e-3) << d;
    }
    EXPECT_NEAR(window_of(0.0, 0.0, -0.1)[2], 0.0, 1e-4);
    EXPECT_NEAR(window_of(0.0, 0.0, -100.0)[2], 1.0, 1e-4);
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
}

TEST_F(viewport, zero_height_keeps_a_valid_projection) {
    shell::resize_viewport(640, 0);
    float p[16];
    glGetFloatv(GL_PROJECTION_MATRIX, p);
    for (float v : p)
        EXPECT_TRUE(std::isfinite(v));
    const double f = 1.0 / std::tan(45.0 / 2.0 * M_PI / 180.0);
    EXPECT_NEAR(p[0], f / 640.0, 1e-7); // aspect = width / 1
    GLint vp[4];
    glGetIntegerv(GL_VIEWPORT, vp);
    EXPECT_EQ(vp[3], 1);
}

} // namespace
