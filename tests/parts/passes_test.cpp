// Full-screen passes and the glow pass in a real context, with small test
// programs whose output shows which sampler read which texture.
#include <string>

#include "parts/parts.h"
#include "parts_support.h"
#include "resources/resources.h"
#include "support/gl_context.h"

using namespace parts_test;

namespace {

constexpr int size = 32;
constexpr int target = 1;
constexpr int target_slot = 2; // the texture on the target's attachment 0

const char* two_source = R"(#version 120
uniform sampler2D decal;
uniform sampler2D decal2;
void main() {
    vec4 a = texture2D(decal, gl_TexCoord[0].st);
    vec4 b = texture2D(decal2, gl_TexCoord[0].st);
    gl_FragColor = vec4(a.r, b.g, 0.0, 1.0);
}
)";

const char* three_source = R"(#version 120
uniform sampler2D decal;
uniform sampler2D decal2;
uniform sampler2D decal3;
void main() {
    vec2 st = gl_TexCoord[0].st;
    gl_FragColor = vec4(texture2D(decal, st).r, texture2D(decal2, st).g, texture2D(decal3, st).b, 1.0);
}
)";

// Adds a fixed step of red to its source: passes stack up.
const char* one_source = R"(#version 120
uniform sampler2D decal;
void main() { gl_FragColor = texture2D(decal, gl_TexCoord[0].st) + vec4(0.25, 0.0, 0.0, 1.0); }
)";

// The glow test program: the current colour where t (= model x) is below
// ttime / 10, with that reveal as alpha.
const char* glow = R"(#version 120
uniform sampler2D texture;
uniform float ttime;
void main() {
    float shown = gl_TexCoord[0].t * 10.0 < ttime ? 1.0 : 0.0;
    gl_FragColor = vec4(gl_Color.rgb * shown, shown);
}
)";

class passes : public gl_test {
  protected:
    void SetUp() override {
        gl_test::SetUp();
        reset_runtime();
        context = new_context();
        create_cg_context(*context);
        solid_texture(*context, target_slot, 0, 0, 0, 255, size, size);
        create_render_target(*context, target, size, size, 0);
        attach_target_texture(*context, target, 0, target_slot);
        bind_window_framebuffer();
    }
    void TearDown() override {
        reset_runtime();
        bind_window_framebuffer();
    }

    void load(const char* name, const char* source, int slot) {
        std::string file = write_file(name, source);
        ::testing::internal::CaptureStdout();
        setup_fragment_effect(*context, file.c_str(), slot);
        ::testing::internal::GetCapturedStdout();
    }

    // The centre of the target's texture.
    test_gl::rgba result() {
        std::vector<uint8_t> pixels(size * size * 4);
        glBindTexture(GL_TEXTURE_2D, texture_name_of_slot(*context, target_slot));
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        glBindTexture(GL_TEXTURE_2D, 0);
        size_t i = (size_t(size / 2) * size + size / 2) * 4;
        return {pixels[i], pixels[i + 1], pixels[i + 2], pixels[i + 3]};
    }

    std::unique_ptr<show_context> context;
};

} // namespace

TEST_F(passes, two_source_pass_reads_both_samplers) {
    load("pass2_fp", two_source, 5031);
    solid_texture(*context, 20, 200, 40, 0);
    solid_texture(*context, 21, 30, 100, 0);
    // A different texture on unit 0 must not leak into the samplers.
    solid_texture(*context, 22, 255, 255, 255);
    bind_texture_slot(*context, 22);

    run_fullscreen_pass(*context, 5031, target, 1, size, size, 20, 21, -1, -1);
    GLint unit0 = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &unit0);
    EXPECT_EQ(GLuint(unit0), texture_name_of_slot(*context, 22));
    test_gl::rgba p = result();
    EXPECT_TRUE(near(p.r, 200) && near(p.g, 100) && p.b == 0)
        << int(p.r) << " " << int(p.g) << " " << int(p.b);
    GLint framebuffer = -1;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
    EXPECT_EQ(framebuffer, 0);
    EXPECT_FALSE(cg_runtime::profile_enabled(context->fragment_profile));
    EXPECT_FALSE(cg_runtime::profile_enabled(context->vertex_profile));
    EXPECT_EQ(cg_runtime::active_gl_program(), 0u);
    EXPECT_EQ(context->cg_parameters[5031 * 16 + 7],
              cgGetNamedParameter(context->cg_programs[5031], "decal"));
    EXPECT_EQ(context->cg_parameters[5031 * 16 + 8],
              cgGetNamedParameter(context->cg_programs[5031], "decal2"));
}

TEST_F(passes, three_source_pass_reads_the_third_sampler) {
    load("pass3_fp", three_source, 5040);
    solid_texture(*context, 20, 200, 0, 0);
    solid_texture(*context, 21, 0, 100, 0);
    solid_texture(*context, 23, 0, 0, 50);
    run_fullscreen_pass(*context, 5040, target, 1, size, size, 20, 21, 5, 23);
    test_gl::rgba p = result();
    EXPECT_TRUE(near(p.r, 200) && near(p.g, 100) && near(p.b, 50))
        << int(p.r) << " " << int(p.g) << " " << int(p.b);
}

TEST_F(passes, later_passes_read_the_second_source) {
    // The pass reads its own target texture as the second source: each pass
    // adds a quarter of red to the last one's result.
    load("pass_chain_fp", two_source, 5050);
    solid_texture(*context, 20, 10, 0, 0);
    load("pass_add_fp", one_source, 5051);
    run_fullscreen_pass(*context, 5051, target, 1, size, size, 20, -1, -1, -1);
    EXPECT_TRUE(near(result().r, 10 + 64));
    // Two-source form over the target texture itself: pass 0 reads tex_a,
    // pass 1 reads tex_b (the result of pass 0) as its primary source.
    solid_texture(*context, 21, 90, 0, 0);
    run_fullscreen_pass(*context, 5050, target, 2, size, size, 21, target_slot, -1, -1);
    // pass 0: (90, g of old result = 0); pass 1: r of pass 0's result = 90.
    EXPECT_TRUE(near(result().r, 90));
}

TEST_F(passes, zero_passes_draw_nothing_and_disable_both_profiles) {
    load("pass_zero_fp", two_source, 5060);
    solid_texture(*context, 20, 255, 255, 255);
    bind_program(*context, 5060);
    enable_vertex_profile(*context);
    enable_fragment_profile(*context);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    run_fullscreen_pass(*context, 5060, target, 0, size, size, 20, 20, -1, -1);
    run_fullscreen_pass(*context, 5060, target, -4, size, size, 20, 20, -1, -1);
    test_gl::rgba p = result();
    EXPECT_EQ(p.r, 0);
    EXPECT_EQ(p.g, 0);
    EXPECT_FALSE(cg_runtime::profile_enabled(context->fragment_profile));
    EXPECT_FALSE(cg_runtime::profile_enabled(context->vertex_profile));
    EXPECT_EQ(cg_runtime::bound_program(context->fragment_profile), nullptr);
    EXPECT_EQ(cg_runtime::active_gl_program(), 0u);
}

TEST_F(passes, glow_reveals_by_ttime_and_keeps_the_first_draw) {
    load("glow_fp", glow, 5003);
    // Two groups: a strip x 0..1 along the model's x-z footprint each.
    std::string text = "o first\nv 0 0 -1\nv 1 0 -1\nv 1 0 1\nv 0 0 1\nf 1// 2// 3// 4//\n"
                       "o second\nv 0 0 -1\nv 1 0 -1\nv 1 0 1\nv 0 0 1\nf 5// 6// 7// 8//\n";
    mesh strip;
    strip.load_text(text.data(), text.size(), -1);

    glViewport(0, 0, 256, 256);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(0, 0, 0, 0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glTranslatef(-1, 0, 0);
    glScalef(2, 1, 1); // model x 0..1 covers the view
    const float second[3] = {0, 0, 1};
    const float first[3] = {1, 0, 0};
    // First draw reveals x < 0.5 in red (alpha 1 there), the second x < 0.8
    // in blue, only where the first left alpha 0.
    ttime_glow(*context, strip, 5002, second, first, true, 5.0, 8.0);
    glPopMatrix();

    test_gl::rgba left = test_gl::pixel(64, 128);    // x = 0.25
    test_gl::rgba middle = test_gl::pixel(166, 128); // x = 0.65
    test_gl::rgba right = test_gl::pixel(240, 128);  // x = 0.94
    EXPECT_TRUE(left.r == 255 && left.b == 0) << int(left.r) << " " << int(left.b);
    EXPECT_TRUE(middle.r == 0 && middle.b == 255) << int(middle.r) << " " << int(middle.b);
    EXPECT_TRUE(right.r == 0 && right.b == 0) << int(right.r) << " " << int(right.b);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_T));
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(cg_runtime::profile_enabled(context->fragment_profile));
    EXPECT_EQ(cg_runtime::active_gl_program(), 0u);
    glDisable(GL_BLEND);
}
