// The render-target table in a real context: multisampled drawing resolved
// into a texture and shown, the plain copy without samples, and the clamping
// of every index and count.
#include <vector>

#include "parts/parts.h"
#include "parts_support.h"
#include "resources/resources.h"
#include "support/gl_context.h"

using namespace parts_test;

namespace {

constexpr int size = 64;

class render_targets : public gl_test {
  protected:
    void SetUp() override {
        gl_test::SetUp();
        context = new_context();
        while (glGetError() != GL_NO_ERROR) {
        }
    }
    void TearDown() override { bind_window_framebuffer(); }

    // A target of size x size with a black texture in `slot` on attachment 0.
    void make_target(int index, int samples, int slot) {
        solid_texture(*context, slot, 0, 0, 0, 255, size, size);
        create_render_target(*context, index, size, size, samples);
        attach_target_texture(*context, index, 0, slot);
    }

    // The lower-left half-triangle of the target in red.
    void draw_triangle() {
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glColor3f(1, 0, 0);
        glBegin(GL_TRIANGLES);
        glVertex2f(-1, -1);
        glVertex2f(1, -1);
        glVertex2f(-1, 1);
        glEnd();
        glClearColor(0, 0, 0, 0);
    }

    std::vector<uint8_t> texture_pixels(int slot) {
        std::vector<uint8_t> out(size * size * 4);
        glBindTexture(GL_TEXTURE_2D, texture_name_of_slot(*context, slot));
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
        glBindTexture(GL_TEXTURE_2D, 0);
        return out;
    }

    // Red values strictly between 0 and 255 in the texture: edge pixels that
    // only multisampling blends.
    int blended_pixels(int slot) {
        auto pixels = texture_pixels(slot);
        int count = 0;
        for (size_t i = 0; i < pixels.size(); i += 4)
            count += pixels[i] > 10 && pixels[i] < 245;
        return count;
    }

    std::unique_ptr<show_context> context;
};

GLint bound_framebuffer(GLenum which = GL_DRAW_FRAMEBUFFER_BINDING) {
    GLint name = -1;
    glGetIntegerv(which, &name);
    return name;
}

} // namespace

TEST_F(render_targets, multisampled_target_resolves_into_its_texture_and_shows) {
    make_target(0, 4, 0);
    bind_render_target(*context, 0, 1);
    glViewport(0, 0, size, size);
    draw_triangle();
    resolve_render_target(*context, 0, size, size, 1, false);
    EXPECT_EQ(bound_framebuffer(), GLint(context->targets[0].resolve_framebuffer));
    bind_window_framebuffer();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    EXPECT_GT(blended_pixels(0), size / 2) << "the diagonal edge is antialiased";

    // Shown in the window through the texture.
    glViewport(0, 0, 256, 256);
    glEnable(GL_TEXTURE_2D);
    bind_texture_slot(*context, 0);
    glColor3f(1, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    full_view_square();
    glDisable(GL_TEXTURE_2D);
    EXPECT_EQ(test_gl::pixel(30, 30).r, 255);
    EXPECT_EQ(test_gl::pixel(30, 30).g, 0);
    EXPECT_EQ(test_gl::pixel(220, 220).r, 0);
}

TEST_F(render_targets, without_samples_the_resolve_is_a_plain_copy) {
    make_target(1, 0, 2);
    bind_render_target(*context, 1, 1);
    glViewport(0, 0, size, size);
    draw_triangle();
    resolve_render_target(*context, 1, size, size, 1, false);
    bind_window_framebuffer();
    EXPECT_EQ(blended_pixels(2), 0);
    auto pixels = texture_pixels(2);
    EXPECT_EQ(pixels[0], 255);                   // lower-left corner
    EXPECT_EQ(pixels[(size * size - 1) * 4], 0); // upper-right corner
}

TEST_F(render_targets, both_colour_buffers_resolve_into_their_attachments) {
    make_target(2, 4, 3);
    solid_texture(*context, 4, 0, 0, 0, 255, size, size);
    attach_target_texture(*context, 2, 1, 4);
    bind_render_target(*context, 2, 2);
    glViewport(0, 0, size, size);
    glClearColor(0, 1, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT); // clears both draw buffers
    glClearColor(0, 0, 0, 0);
    resolve_render_target(*context, 2, size, size, 2, false);
    bind_window_framebuffer();
    EXPECT_EQ(texture_pixels(3)[1], 255);
    EXPECT_EQ(texture_pixels(4)[1], 255);
}

TEST_F(render_targets, indices_and_counts_are_clamped_into_the_table) {
    create_render_target(*context, 20, 8, 8, 0);  // lands in 15
    create_render_target(*context, -3, 8, 8, 64); // lands in 0; more samples than GL offers
    EXPECT_NE(context->targets[15].draw_framebuffer, 0u);
    EXPECT_NE(context->targets[0].draw_framebuffer, 0u);

    bind_render_target(*context, 20, 0);
    EXPECT_EQ(bound_framebuffer(), GLint(context->targets[15].draw_framebuffer));
    GLint buffer = 0;
    glGetIntegerv(GL_DRAW_BUFFER0, &buffer);
    EXPECT_EQ(buffer, GL_COLOR_ATTACHMENT0);
    glGetIntegerv(GL_DRAW_BUFFER1, &buffer);
    EXPECT_EQ(buffer, GL_NONE);

    bind_render_target(*context, -3, 5);
    EXPECT_EQ(bound_framebuffer(), GLint(context->targets[0].draw_framebuffer));
    glGetIntegerv(GL_DRAW_BUFFER2, &buffer);
    EXPECT_EQ(buffer, GL_COLOR_ATTACHMENT2);

    // The indices left unclamped by the callers' contract are clamped too.
    solid_texture(*context, 7, 0, 0, 0, 255, 8, 8);
    attach_target_texture(*context, 99, 7, 7); // target 15, attachment 2
    GLint attached = 0;
    glBindFramebuffer(GL_FRAMEBUFFER, context->targets[15].resolve_framebuffer);
    glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT2,
                                          GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME, &attached);
    EXPECT_EQ(GLuint(attached), texture_name_of_slot(*context, 7));
    resolve_render_target(*context, -8, 8, 8, 9, false);
    EXPECT_EQ(bound_framebuffer(GL_READ_FRAMEBUFFER_BINDING), GLint(context->targets[0].draw_framebuffer));
    resolve_render_target(*context, 1000, 8, 8, -2, false);
    EXPECT_EQ(bound_framebuffer(GL_READ_FRAMEBUFFER_BINDING), GLint(context->targets[15].draw_framebuffer));

    // Texture slots outside the table name no texture.
    EXPECT_EQ(texture_name_of_slot(*context, -1), 0u);
    EXPECT_EQ(texture_name_of_slot(*context, show_context::texture_slot_count), 0u);
}

TEST_F(render_targets, binding_before_any_target_exists_draws_into_the_window) {
    bind_render_target(*context, 3, 1);
    EXPECT_EQ(bound_framebuffer(), 0);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    glColor3f(0, 0, 1);
    full_view_square();
    EXPECT_EQ(test_gl::pixel(128, 128).b, 255);
}
