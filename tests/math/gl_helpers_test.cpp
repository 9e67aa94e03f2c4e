// The drawing helpers in a real context, checked by reading pixels back.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include "math/gl_helpers.h"
#include "support/gl_context.h"

namespace {

// A 2x1 texture: left texel red, right texel blue, nearest filtering.
class square_helper : public gl_test {
  protected:
    void SetUp() override {
        gl_test::SetUp();
        const uint8_t texels[] = {255, 0, 0, 255, 0, 0, 255, 255};
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_2D, texture);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 2, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
        glEnable(GL_TEXTURE_2D);
        // Orthographic view: one unit = 64 pixels, origin at the centre.
        glMatrixMode(GL_PROJECTION);
        glOrtho(-2, 2, -2, 2, -10, 10);
        glMatrixMode(GL_MODELVIEW);
    }
    void TearDown() override {
        glDisable(GL_TEXTURE_2D);
        glDeleteTextures(1, &texture);
    }
    void square(double angle, double hw, double hh, bool billboard, float repeat) {
        glPushMatrix();
        draw_textured_square(&angle, &hw, &hh, billboard, repeat);
        glPopMatrix();
    }
    // Counts of red and blue pixels in a row of the picture.
    static std::pair<int, int> row_colours(int y) {
        int red = 0, blue = 0;
        const auto row = test_gl::read_rgba(0, y, 256, 1);
        for (int x = 0; x < 256; ++x) {
            red += row[4 * x] > 200 && row[4 * x + 2] < 50;
            blue += row[4 * x + 2] > 200 && row[4 * x] < 50;
        }
        return {red, blue};
    }
    GLuint texture = 0;
};

TEST_F(square_helper, covers_the_half_size_with_left_red_right_blue) {
    square(0, 1, 0.5, false, 1.0f);
    EXPECT_EQ(row_colours(128), std::make_pair(64, 64)); // 2 units wide
    EXPECT_EQ(test_gl::pixel(100, 128).r, 255);
    EXPECT_EQ(test_gl::pixel(156, 128).b, 255);
    EXPECT_EQ(test_gl::pixel(128, 128 + 40).a, 0); // 0.5 high: nothing 40 pixels up
    EXPECT_EQ(test_gl::pixel(128, 128 + 28).r + test_gl::pixel(128, 128 + 28).b, 255);
}

TEST_F(square_helper, negative_half_width_mirrors_at_the_same_size) {
    square(0, -1, 1, false, 1.0f);
    EXPECT_EQ(row_colours(128), std::make_pair(64, 64));
    EXPECT_EQ(test_gl::pixel(100, 128).b, 255);
    EXPECT_EQ(test_gl::pixel(156, 128).r, 255);
}

TEST_F(square_helper, billboard_ignores_rotation_and_scale_but_keeps_position) {
    glTranslatef(0.5f, 0, 0);
    glRotatef(90, 0, 0, 1);
    glScalef(0.25f, 3.0f, 1.0f);
    square(0, 1, 1, true, 1.0f);
    // Same as an unrotated 2x2 square centred 32 pixels right of the middle.
    EXPECT_EQ(row_colours(128), std::make_pair(64, 64));
    EXPECT_EQ(test_gl::pixel(140, 128).r, 255);
    EXPECT_EQ(test_gl::pixel(180, 128).b, 255);
    EXPECT_EQ(test_gl::pixel(90, 128).a, 0);
}

TEST_F(square_helper, without_billboard_the_square_follows_the_rotation) {
    glRotatef(90, 0, 0, 1);
    square(0, 1, 0.5, false, 1.0f);
    // Turned a quarter: 2 units tall and 1 wide; red now at the bottom.
    EXPECT_EQ(row_colours(128).first + row_colours(128).second, 64);
    EXPECT_EQ(test_gl::pixel(128, 100).r, 255);
    EXPECT_EQ(test_gl::pixel(128, 156).b, 255);
}

TEST_F(square_helper, angle_turns_the_square_in_degrees) {
    square(180, 1, 1, false, 1.0f);
    EXPECT_EQ(test_gl::pixel(100, 128).b, 255);
    EXPECT_EQ(test_gl::pixel(156, 128).r, 255);
}

TEST_F(square_helper, repeat_tiles_the_texture) {
    square(0, 1, 1, false, 2.0f);
    // Two red-blue pairs across: red, blue, red, blue in quarters of 32 pixels.
    EXPECT_EQ(test_gl::pixel(80, 128).r, 255);
    EXPECT_EQ(test_gl::pixel(112, 128).b, 255);
    EXPECT_EQ(test_gl::pixel(144, 128).r, 255);
    EXPECT_EQ(test_gl::pixel(176, 128).b, 255);
}

class helpers : public gl_test {};

TEST_F(helpers, place_with_basis_keeps_translation_and_sets_axes) {
    glRotatef(30, 1, 0, 0); // a camera rotation, discarded by the basis
    glTranslatef(1, 2, 3);
    place_with_basis(make_vec3(1, 0, 0), make_vec3(0, 2, 0), make_vec3(-1, 0, 0), make_vec3(0, 0, 3));
    float m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    EXPECT_FLOAT_EQ(m[0], 0);
    EXPECT_FLOAT_EQ(m[1], 2);
    EXPECT_FLOAT_EQ(m[4], -1);
    EXPECT_FLOAT_EQ(m[10], 3);
    // Translation: the rotated (1,2,3) plus the rotated (1,0,0).
    float r[16];
    glPushMatrix();
    glLoadIdentity();
    glRotatef(30, 1, 0, 0);
    glTranslatef(2, 2, 3);
    glGetFloatv(GL_MODELVIEW_MATRIX, r);
    glPopMatrix();
    EXPECT_NEAR(m[12], r[12], 1e-5);
    EXPECT_NEAR(m[13], r[13], 1e-5);
    EXPECT_NEAR(m[14], r[14], 1e-5);
}

TEST_F(helpers, reset_state_and_texgen) {
    glEnable(GL_BLEND);
    glEnable(GL_LIGHTING);
    glEnable(GL_FOG);
    glColor4f(0.2f, 0.3f, 0.4f, 0.5f);
    reset_draw_state();
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    EXPECT_FALSE(glIsEnabled(GL_FOG));
    float c[4];
    glGetFloatv(GL_CURRENT_COLOR, c);
    EXPECT_EQ(c[0] + c[1] + c[2] + c[3], 4.0f);

    set_object_linear_texgen(1, 2, 3, 4, 5, 6, 7, 8);
    float t[4], s[4];
    glGetTexGenfv(GL_T, GL_OBJECT_PLANE, t);
    glGetTexGenfv(GL_S, GL_OBJECT_PLANE, s);
    EXPECT_EQ(t[0], 1.0f);
    EXPECT_EQ(t[3], 4.0f);
    EXPECT_EQ(s[0], 5.0f);
    EXPECT_EQ(s[3], 8.0f);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_GEN_S));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_GEN_T));
    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);
}

} // namespace
