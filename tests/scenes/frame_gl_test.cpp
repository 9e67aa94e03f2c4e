// Frames read back from a real context: the letterboxed present, doodles
// that have not started, and frames that depend on T alone.
#include <GL/glew.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "parts/part_start_render.h"
#include "parts/parts.h"
#include "resources/resources.h"
#include "scenes/doodles.h"
#include "scenes/scene_script.h"
#include "support/gl_context.h"

namespace {

// The two dot lists of the scene set-up.
void build_dot_lists() {
    const double pi = 3.14159265358979323846;
    for (int list : {list_decagon, list_hexagon}) {
        const int sides = list == list_decagon ? 10 : 6;
        glNewList(list, GL_COMPILE);
        glBegin(GL_TRIANGLE_FAN);
        for (int i = 0; i <= sides; ++i) {
            const double a = i * 2.0 * pi / sides;
            glVertex3f(float(std::sin(a)), float(std::cos(a)), 0.0f);
        }
        glEnd();
        glEndList();
    }
}

// A production part with its render targets, textures and dot lists, but
// no data files but the bend program: meshes are empty, so the frame is the
// backdrop, the dot fields and the doodles.
struct bare_show {
    std::unique_ptr<show_context> context = std::make_unique<show_context>();
    std::unique_ptr<part_start> part = std::make_unique<part_start>();

    bare_show(int window_width, int window_height, int view_width, int view_height) {
        show_settings& s = context->settings;
        s.window_width = window_width;
        s.window_height = window_height;
        s.view_width = view_width;
        s.view_height = view_height;
        create_cg_context(*context);
        setup_fragment_effect(*context, QUORLAXEN_SOURCE_DIR "/data/cgeffects/fragment_bend3",
                              part->program_bend);
        create_render_target(*context, 0, view_width, view_height, 4);
        create_render_target(*context, 1, view_width / 4, view_height / 4, 0);
        create_render_target(*context, 2, view_width / 2, view_height / 2, 0);
        make_noise_texture(*context, part->target_quarter, view_width / 4, view_height / 4);
        make_noise_texture(*context, part->target_half, view_width / 2, view_height / 2);
        make_noise_texture(*context, part->target_full_a, view_width, view_height);
        make_noise_texture(*context, part->target_full_b, view_width, view_height);
        attach_target_texture(*context, 0, 0, part->target_full_a);
        attach_target_texture(*context, 0, 1, part->target_full_b);
        attach_target_texture(*context, 1, 0, part->target_quarter);
        attach_target_texture(*context, 2, 0, part->target_half);
        build_dot_lists();
        bind_window_framebuffer();
    }

    // One frame at exactly T (a zero step keeps the clock where it is).
    void render_at(double T) {
        part->scene_time = T;
        double step = 0.0;
        frame_record record;
        part->render(&step, *context, &record);
    }
};

bool black(const uint8_t* p) { return p[0] == 0 && p[1] == 0 && p[2] == 0; }

class letterbox_gl : public gl_test {
  protected:
    int width() const override { return 1280; }
    int height() const override { return 1024; }
};

class frame_gl : public gl_test {
  protected:
    int width() const override { return 320; }
    int height() const override { return 180; }
};

} // namespace

TEST_F(letterbox_gl, a_16_9_view_in_a_taller_window_leaves_black_bands) {
    bare_show show(1280, 1024, 1280, 720);
    show.render_at(10.0);
    const std::vector<uint8_t> pixels = test_gl::read_rgba(0, 0, 1280, 1024);
    auto at = [&](int x, int y) { return &pixels[(size_t(y) * 1280 + x) * 4]; };
    for (int y : {0, 75, 151, 872, 950, 1023})
        for (int x : {0, 640, 1279})
            EXPECT_TRUE(black(at(x, y))) << x << "," << y;
    // The band holds the picture: the backdrop is nowhere black.
    for (int y : {152, 512, 871})
        for (int x : {0, 640, 1279})
            EXPECT_FALSE(black(at(x, y))) << x << "," << y;
}

TEST_F(letterbox_gl, the_first_frame_after_start_up_clears_the_window_too) {
    bare_show show(1280, 1024, 1280, 720);
    // What the start-up leaves: white on the window from the loading screen
    // and a resolve framebuffer still bound.
    glClearColor(1, 1, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glBindFramebuffer(GL_FRAMEBUFFER, show.context->targets[2].resolve_framebuffer);
    while (glGetError() != GL_NO_ERROR) {
    }
    show.render_at(10.0);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    for (int y : {0, 151, 872, 1023}) {
        const test_gl::rgba p = test_gl::pixel(640, y);
        EXPECT_TRUE(p.r == 0 && p.g == 0 && p.b == 0) << y;
    }
}

TEST_F(frame_gl, a_view_equal_to_the_window_covers_it) {
    bare_show show(320, 180, 320, 180);
    show.render_at(10.0);
    const std::vector<uint8_t> pixels = test_gl::read_rgba(0, 0, 320, 180);
    int blacks = 0;
    for (int y : {0, 179})
        for (int x = 0; x < 320; ++x)
            blacks += black(&pixels[(size_t(y) * 320 + x) * 4]);
    EXPECT_EQ(blacks, 0);
}

TEST_F(frame_gl, two_frames_at_the_same_time_are_identical) {
    bare_show show(320, 180, 320, 180);
    for (double T : {3.0, 20.0, 44.0}) {
        show.render_at(T);
        const std::vector<uint8_t> first = test_gl::read_rgba(0, 0, 320, 180);
        show.render_at(T + 0.5);
        const std::vector<uint8_t> other = test_gl::read_rgba(0, 0, 320, 180);
        show.render_at(T);
        const std::vector<uint8_t> again = test_gl::read_rgba(0, 0, 320, 180);
        EXPECT_EQ(first, again) << T;
        EXPECT_NE(first, other) << T; // the picture does move with T
    }
}

// Whole frames at both ends and the middle of every row's window.
TEST_F(frame_gl, every_rows_window_leaves_the_matrix_stacks_as_found) {
    bare_show show(320, 180, 320, 180);
    while (glGetError() != GL_NO_ERROR) {
    }
    GLint model_depth = 0, projection_depth = 0;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &model_depth);
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &projection_depth);
    for (const script_row& row : scene_script_rows()) {
        if (row.window.always()) continue;
        const double from = std::max(row.window.from, 0.0), to = std::min(row.window.to, 245.0);
        for (double T : {from + 1e-3, 0.5 * (from + to), to - 1e-3}) {
            show.render_at(T);
            GLint depth = 0;
            glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
            EXPECT_EQ(depth, model_depth) << "row " << row.row << ", T = " << T;
            glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &depth);
            EXPECT_EQ(depth, projection_depth) << "row " << row.row << ", T = " << T;
            GLint framebuffer = -1;
            glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &framebuffer);
            EXPECT_EQ(framebuffer, 0) << "row " << row.row << ", T = " << T;
            EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR)) << "row " << row.row << ", T = " << T;
        }
    }
}

TEST_F(frame_gl, a_doodle_before_its_start_draws_nothing) {
    build_dot_lists();
    glClearColor(1, 1, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-10, 30, -10, 12.5, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glColor3f(0, 0, 0);
    draw_doodle("****l**", 0.0005, 0.6);
    std::vector<uint8_t> pixels = test_gl::read_rgba(0, 0, 320, 180);
    int dark = 0;
    for (size_t i = 0; i < pixels.size(); i += 4)
        dark += pixels[i] < 128;
    EXPECT_EQ(dark, 0);

    // The same stroke grown to point 30 does draw (ribbon and pen dots).
    glColor3f(0, 0, 0);
    draw_doodle("****l**", 30.0, 0.6);
    pixels = test_gl::read_rgba(0, 0, 320, 180);
    for (size_t i = 0; i < pixels.size(); i += 4)
        dark += pixels[i] < 128;
    EXPECT_GT(dark, 100);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
}

TEST_F(frame_gl, far_plane_jumps_as_T_passes_50) {
    bare_show show(320, 180, 320, 180);
    auto far_at = [&](double T) {
        show.part->scene_time = T;
        draw_scene_script(*show.part, *show.context,
                          show.part->script_frame_now(*show.context)); // leaves its projection behind
        GLfloat m[16];
        glGetFloatv(GL_PROJECTION_MATRIX, m);
        EXPECT_NEAR(m[5] / m[0], 320.0 / 180.0, 1e-4); // aspect of the view
        // gluPerspective: m[10] = (f + n) / (n - f), m[14] = 2 f n / (n - f).
        return double(m[14]) / (double(m[10]) + 1.0);
    };
    // The frame draws with the script's far plane, which grows past 50.
    EXPECT_NEAR(far_at(49.9), scene_far_plane(49.9), scene_far_plane(49.9) * 1e-3);
    EXPECT_NEAR(far_at(50.1), scene_far_plane(50.1), scene_far_plane(50.1) * 2e-2);
    EXPECT_GT(scene_far_plane(50.1), 10.0 * scene_far_plane(49.9));
}

// The blue field (scene time 93 to 124) in a 21:9 view: dots are left out
// only outside the view or under a pixel, so the field reaches both edges
// of a view wider than 16:9 as densely as its middle.
TEST_F(letterbox_gl, the_blue_field_fills_a_21_9_view_to_its_edges) {
    const int view_height = 548; // 1280 / 548 = 21:9
    bare_show show(1280, 1024, 1280, view_height);
    show.render_at(110.0);
    const int band = (1024 - view_height) / 2;
    const std::vector<uint8_t> pixels = test_gl::read_rgba(0, band, 1280, view_height);
    auto dark_share = [&](int x0, int x1) {
        int dark = 0, all = 0;
        for (int y = 0; y < view_height; ++y)
            for (int x = x0; x < x1; ++x) {
                const uint8_t* p = &pixels[(size_t(y) * 1280 + x) * 4];
                dark += p[0] < 50 && p[1] < 50 && p[2] < 50;
                ++all;
            }
        return double(dark) / all;
    };
    const double middle = dark_share(600, 680);
    EXPECT_GT(middle, 0.02);
    EXPECT_GT(dark_share(0, 80), 0.5 * middle);
    EXPECT_GT(dark_share(1200, 1280), 0.5 * middle);
}

// Row 22 empties from the top rows down after T = 47: their black outer
// dots go and the light centres stay.
TEST_F(letterbox_gl, the_emptied_rows_keep_their_light_centres) {
    bare_show show(1280, 1024, 1280, 720);
    auto count = [&](double T) {
        show.render_at(T);
        const std::vector<uint8_t> pixels = test_gl::read_rgba(0, 152, 1280, 720);
        int light = 0, dark = 0;
        for (size_t i = 0; i < pixels.size(); i += 4) {
            light += pixels[i] > 200 && pixels[i + 1] > 200;
            dark += pixels[i] < 40 && pixels[i + 1] < 40 && pixels[i + 2] < 40;
        }
        return std::make_pair(light, dark);
    };
    const auto before = count(46.95), after = count(47.05);
    EXPECT_GT(before.first, 500);
    EXPECT_LT(after.second, before.second);        // outer dots went
    EXPECT_GT(after.first, before.first * 8 / 10); // centres stayed
}
