// resize_viewport, reached through the window procedure's size message.
#include <GL/glew.h>
#include <gtest/gtest.h>

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
    const double f = 1.0 / std::tan(45.0 / 2.0 * M_PI / 180.0);
    EXPECT_NEAR(p[5], f, 1e-5);
    EXPECT_NEAR(p[0], f / 2.0, 1e-5); // aspect 2
    // Near 0.1 and far 100: depth terms of gluPerspective.
    EXPECT_NEAR(p[10], -(100.0 + 0.1) / (100.0 - 0.1), 1e-5);
    EXPECT_NEAR(p[14], -2.0 * 100.0 * 0.1 / (100.0 - 0.1), 1e-5);
    EXPECT_EQ(m[12], 0.0f); // model-view back to identity
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
