// The view test that lets dot fields skip dots: a skipped dot must be one
// the GL would have drawn no pixel of, right up to the view's edges.
#include <GL/glew.h>
#include <GL/glu.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "math/gl_helpers.h"
#include "platform/cg_runtime.h"
#include "resources/resources.h"
#include "scenes/backdrop_pass.h"
#include "scenes/doodles.h"
#include "scenes/scene_assets.h"
#include "scenes/scene_script.h"
#include "support/gl_context.h"
#include "support/show_data.h"

namespace {

// The window keeps the size the first drawing test in this program gives
// it (resizing it under Xvfb is not immediate); the dots are drawn into a
// square viewport in its corner.
constexpr int view_size = 256;

class dot_culling : public gl_test {
  protected:
    int width() const override { return 1280; }
    int height() const override { return 1024; }
    void SetUp() override {
        gl_test::SetUp();
        list = glGenLists(1);
        glNewList(list, GL_COMPILE);
        glBegin(GL_TRIANGLE_FAN);
        for (int i = 0; i <= 10; ++i) {
            const double a = i * 2.0 * 3.14159265358979323846 / 10;
            glVertex3d(std::sin(a), std::cos(a), 0.0);
        }
        glEnd();
        glEndList();
        glViewport(0, 0, view_size, view_size);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluPerspective(30.0, 1.0, 0.1, 1000.0);
        glMatrixMode(GL_MODELVIEW);
    }
    void TearDown() override {
        glDeleteLists(list, 1);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
    }

    // Whether drawing the dot alone changes any pixel.
    bool draws_pixels(double x, double y, double size, double squash) {
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT);
        glColor3f(1, 1, 1);
        draw_dot(x, y, size, squash, int(list));
        for (uint8_t value : test_gl::read_rgba(0, 0, view_size, view_size))
            if (value != 0) return true;
        return false;
    }

    GLuint list = 0;
};

// Half the height the camera at z = 100 sees in the plane z = 0.
const double half_view = 100.0 * std::tan(15.0 * 3.14159265358979323846 / 180.0);

TEST_F(dot_culling, SkipsOnlyDotsThatDrawNothingAcrossEveryEdge) {
    glLoadIdentity();
    gluLookAt(0, 0, 100, 0, 0, 0, 0, 1, 0);
    const dot_view view = current_dot_view();
    const double size = 0.5, squash = 0.6; // half extents 1.0 by 0.6
    int skipped = 0, kept = 0;
    // Sweep each edge in steps of a tenth of a pixel's width in the plane.
    const double step = 2.0 * half_view / view_size / 10.0;
    for (int edge = 0; edge < 4; ++edge) {
        const double sign = edge % 2 == 0 ? 1.0 : -1.0;
        const double extent = edge < 2 ? 2.0 * size : 2.0 * size * squash;
        for (int k = -30; k <= 30; ++k) {
            const double offset = sign * (half_view + extent + k * step);
            const double x = edge < 2 ? offset : 3.0, y = edge < 2 ? -2.0 : offset;
            const bool in_view = dot_in_view(view, x, y, size, squash);
            if (!in_view) {
                ++skipped;
                EXPECT_FALSE(draws_pixels(x, y, size, squash)) << "edge " << edge << " step " << k;
            } else {
                ++kept;
            }
            // Any dot overlapping the view by more than a pixel is kept.
            if (k < -10) {
                EXPECT_TRUE(in_view) << "edge " << edge << " step " << k;
            }
        }
    }
    // The margin stays small: dots a few pixels beyond the edge are skipped.
    EXPECT_GT(skipped, 4 * 20);
    EXPECT_GT(kept, 4 * 20);
}

TEST_F(dot_culling, KeepsDotsInViewAndSkipsFieldsBehindTheCamera) {
    glLoadIdentity();
    gluLookAt(0, 0, 100, 0, 0, 0, 0, 1, 0);
    const dot_view facing = current_dot_view();
    EXPECT_TRUE(dot_in_view(facing, 0.0, 0.0, 0.5, 1.0));
    // A dot with no height (squash 0) in view is still a dot the GL is given.
    EXPECT_TRUE(dot_in_view(facing, 1.0, 1.0, 0.5, 0.0));
    // A large dot whose centre is off to the side but which covers the view.
    EXPECT_TRUE(dot_in_view(facing, 3.0 * half_view, 0.0, 2.0 * half_view, 1.0));
    EXPECT_FALSE(dot_in_view(facing, 3.0 * half_view, 0.0, 0.5, 1.0));

    // Looking away from the plane: every dot lies behind the near plane.
    glLoadIdentity();
    gluLookAt(0, 0, 100, 0, 0, 200, 0, 1, 0);
    const dot_view away = current_dot_view();
    EXPECT_FALSE(dot_in_view(away, 0.0, 0.0, 0.5, 1.0));
    EXPECT_FALSE(draws_pixels(0.0, 0.0, 0.5, 1.0));
}

} // namespace

namespace {

TEST_F(dot_culling, BoxesAreSkippedOnlyWhenAllCornersLieBeyondOnePlane) {
    glLoadIdentity();
    gluLookAt(0, 0, 100, 0, 0, 0, 0, 1, 0);
    const dot_view view = current_dot_view();
    const double h = half_view;
    auto box = [&](double x0, double y0, double z0, double x1, double y1, double z1) {
        return box_in_view(view, make_vec3(float(x0), float(y0), float(z0)),
                           make_vec3(float(x1), float(y1), float(z1)));
    };
    EXPECT_TRUE(box(-1, -1, -1, 1, 1, 1));
    // Off each side, and straddling the right edge.
    EXPECT_FALSE(box(h + 1, -1, -1, h + 3, 1, 1));
    EXPECT_FALSE(box(-h - 3, -1, -1, -h - 1, 1, 1));
    EXPECT_FALSE(box(-1, h + 1, -1, 1, h + 3, 1));
    EXPECT_TRUE(box(h - 0.1, -1, -1, h + 3, 1, 1));
    // Deep behind the camera. (Near the far plane the margin, which grows
    // with depth, keeps boxes: it is not tested there.)
    EXPECT_FALSE(box(-1, -1, 150, 1, 1, 160));
    // Not beyond any single plane though every corner is outside the view:
    // a long box crossing the view diagonally is drawn.
    EXPECT_TRUE(box(-3 * h, -3 * h, -1, 3 * h, 3 * h, 1));
    // The box is transformed with the matrix in place.
    glTranslatef(float(h + 10), 0, 0);
    EXPECT_FALSE(box_in_view(current_dot_view(), make_vec3(-1, -1, -1), make_vec3(1, 1, 1)));
    glTranslatef(-10, 0, 0);
    EXPECT_TRUE(box_in_view(current_dot_view(), make_vec3(-1, -1, -1), make_vec3(1, 1, 1)));
}

} // namespace

namespace {

// A batch must give the picture of the same dots drawn one by one through
// the list: same places and sizes, overlaps in the order added, and the
// colour of the last dot left current.
TEST_F(dot_culling, ABatchDrawsWhatTheDotsDrawOneByOne) {
    glLoadIdentity();
    gluLookAt(0, 0, 100, 0, 0, 0, 0, 1, 0);
    const float colours[3][3] = {{0, 0, 0}, {1, 0.5f, 0}, {0.2f, 0.7f, 1}};
    struct dot {
        double x, y, size, squash;
        int colour;
    };
    std::vector<dot> dots;
    for (int i = 0; i < 60; ++i)
        dots.push_back(
            {-20.0 + 0.7 * i, 8.0 * std::sin(0.4 * i), 0.4 + 0.05 * (i % 9), 0.3 + 0.01 * i, i % 3});

    glClearColor(0.5f, 0.5f, 0.5f, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    for (const dot& d : dots) {
        glColor3fv(colours[d.colour]);
        draw_dot(d.x, d.y, d.size, d.squash, int(list));
    }
    const std::vector<uint8_t> one_by_one = test_gl::read_rgba(0, 0, view_size, view_size);

    glClear(GL_COLOR_BUFFER_BIT);
    glColor3f(1, 1, 1);
    draw_batch batch;
    reserve_batch(batch, 0);
    for (const dot& d : dots)
        add_dot(batch, d.x, d.y, d.size, d.squash, list_decagon, colours[d.colour]);
    draw_dots(batch);
    const std::vector<uint8_t> batched = test_gl::read_rgba(0, 0, view_size, view_size);

    size_t differing = 0, covered = 0;
    for (size_t i = 0; i < batched.size(); i += 4) {
        differing += std::abs(int(batched[i]) - int(one_by_one[i])) > 2 ||
                     std::abs(int(batched[i + 1]) - int(one_by_one[i + 1])) > 2 ||
                     std::abs(int(batched[i + 2]) - int(one_by_one[i + 2])) > 2;
        covered += one_by_one[i] != 128 || one_by_one[i + 1] != 128;
    }
    EXPECT_GT(covered, size_t(2000));
    // The transform is rounded differently: an edge pixel here and there.
    EXPECT_LT(differing, covered / 200);
    float current[4];
    glGetFloatv(GL_CURRENT_COLOR, current);
    EXPECT_FLOAT_EQ(current[0], colours[dots.back().colour][0]);
    EXPECT_FLOAT_EQ(current[2], colours[dots.back().colour][2]);
    EXPECT_TRUE(batch.indices.empty());
}

} // namespace

namespace {

// The renderers give each straight stretch as one quad; what they cover
// must stay what the piece-a-point vertices cover.
TEST_F(dot_culling, RenderersCoverWhatTheirPiecesCover) {
    glLoadIdentity();
    gluLookAt(20, 5, 60, 20, 5, 0, 0, 1, 0);
    path p;
    build_turtle_path("***l**r*****r*l***", track_turn_steps, track_turn_left, track_turn_right, p);
    auto differing = [&](auto draw, auto vertices, GLenum mode) {
        glClearColor(1, 1, 1, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glColor3f(0, 0, 0);
        draw();
        const std::vector<uint8_t> drawn = test_gl::read_rgba(0, 0, view_size, view_size);
        glClear(GL_COLOR_BUFFER_BIT);
        glColor3f(0, 0, 0);
        std::vector<flat_vertex> pieces;
        vertices(pieces);
        glBegin(mode);
        for (const flat_vertex& v : pieces)
            glVertex3f(v.x, v.y, 0.0f);
        glEnd();
        const std::vector<uint8_t> expected = test_gl::read_rgba(0, 0, view_size, view_size);
        size_t differ = 0, inked = 0;
        for (size_t i = 0; i < drawn.size(); i += 4) {
            differ += std::abs(int(drawn[i]) - int(expected[i])) > 2;
            inked += expected[i] < 128;
        }
        EXPECT_GT(inked, size_t(300));
        return differ;
    };
    EXPECT_LE(differing([&] { draw_ribbon(p, 3.5, 300.0, 0.0, 1.0, nullptr); },
                        [&](auto& out) { ribbon_vertices(p, 3.5, 300.0, 0.0, 1.0, nullptr, out); },
                        GL_QUAD_STRIP),
              size_t(2));
    EXPECT_LE(differing([&] { draw_track(p, 2.0, 290.5, 0.0, 1.0); },
                        [&](auto& out) { track_vertices(p, 2.0, 290.5, 0.0, 1.0, out); }, GL_QUADS),
              size_t(2));
    EXPECT_LE(differing([&] { draw_cut(p, 0.0, 280.0, 0.0, 1.0); },
                        [&](auto& out) { cut_vertices(p, 0.0, 280.0, 0.0, 1.0, out); }, GL_QUADS),
              size_t(2));
}

} // namespace

namespace {

// The backdrop pass as the set-up makes it: its programs in a show context
// of its own, from the cgeffects folder under `folder` (the show's source
// unless a test writes its own), with the set-up's report lines kept; and a
// noise paper texture bound on unit 0.
struct backdrop_rig {
    struct square {
        double eye_z, angle, half;
        float repeat, colour[4];
        bool blend;
    };

    std::unique_ptr<show_context> context = std::make_unique<show_context>();
    backdrop_pass made;
    std::string report;
    GLuint texture = 0;

    explicit backdrop_rig(const std::filesystem::path& folder = QUORLAXEN_SOURCE_DIR "/data") {
        reset_runtime();
        create_cg_context(*context);
        {
            show_data::scoped_directory in(folder);
            testing::internal::CaptureStdout();
            create_backdrop_pass(*context, made);
            report = testing::internal::GetCapturedStdout();
        }
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        std::vector<uint8_t> noise(64 * 64 * 3);
        uint32_t state = 1;
        for (uint8_t& b : noise)
            b = uint8_t((state = state * 214013u + 2531011u) >> 24);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glTexImage2D(GL_TEXTURE_2D, 0, 3, 64, 64, 0, GL_RGB, GL_UNSIGNED_BYTE, noise.data());
        glEnable(GL_TEXTURE_2D);
    }
    ~backdrop_rig() {
        glDisable(GL_TEXTURE_2D);
        glDeleteTextures(1, &texture);
        reset_runtime();
    }
    backdrop_rig(const backdrop_rig&) = delete;
    backdrop_rig& operator=(const backdrop_rig&) = delete;

    // Both stages disabled and unbound (other tests of this program use
    // the runtime too).
    static void reset_runtime() {
        cgGLDisableProfile(CG_PROFILE_GLSLV);
        cgGLDisableProfile(CG_PROFILE_GLSLF);
        cgGLUnbindProgram(CG_PROFILE_GLSLV);
        cgGLUnbindProgram(CG_PROFILE_GLSLF);
    }

    // Element k of the "colours" a run of `count` squares last drew with:
    // set only when the run was drawn in one pass.
    std::vector<float> colour_drawn(int count, int k) const {
        const GLuint program =
            cg_runtime::gl_program_of(context->cg_programs[backdrop_program_slot + count - 2]);
        std::vector<float> out(4, -1.0f);
        const GLint location = glGetUniformLocation(program, ("colours[" + std::to_string(k) + "]").c_str());
        if (program && location >= 0) glGetUniformfv(program, location, out.data());
        return out;
    }

    // The squares drawn one by one as draw_textured_square draws them, or
    // kept for a copy of the pass and flushed; the view read back.
    std::vector<uint8_t> draw(const std::vector<square>& squares, bool one_pass) {
        const float clear[4] = {0.0f, 1.0f, 1.0f, 0.0f};
        glClearColor(clear[0], clear[1], clear[2], clear[3]);
        glClear(GL_COLOR_BUFFER_BIT);
        backdrop_pass pass = made;
        if (one_pass) begin_backdrop(pass, clear);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        for (const square& s : squares) {
            glLoadIdentity();
            gluLookAt(3, 1, s.eye_z, 3, 1, 0, 0.2, 1, 0);
            glColor4fv(s.colour);
            if (s.blend)
                glEnable(GL_BLEND);
            else
                glDisable(GL_BLEND);
            glPushMatrix();
            if (one_pass) {
                add_backdrop_square(pass, s.angle, s.half, s.half, s.repeat);
            } else {
                const double half = s.half;
                draw_textured_square(&s.angle, &half, &half, false, s.repeat);
            }
            glPopMatrix();
        }
        if (one_pass) flush_backdrop(pass);
        glDisable(GL_BLEND);
        return test_gl::read_rgba(0, 0, view_size, view_size);
    }

    // Pixels more than 2 levels apart between the squares drawn one by one
    // and through the pass.
    size_t differing(const std::vector<square>& squares) {
        const std::vector<uint8_t> a = draw(squares, false), b = draw(squares, true);
        size_t n = 0;
        for (size_t i = 0; i < a.size(); i += 4)
            n += std::abs(a[i] - b[i]) > 2 || std::abs(a[i + 1] - b[i + 1]) > 2 ||
                 std::abs(a[i + 2] - b[i + 2]) > 2;
        return n;
    }
};

const size_t view_pixels = size_t(view_size) * view_size;

// Three blended squares that each cover the view, through different
// cameras, one with a colour above 1: a run the pass draws in one go.
const std::vector<backdrop_rig::square> covering_run = {{60, 90, 300, 12, {1.6f, 0.2f, 0.2f, 0.7f}, true},
                                                        {40, 0, 100, 3, {0.35f, 0.5f, 0.5f, 0.8f}, true},
                                                        {25, 10, 50, 48, {0.3f, 0.4f, 0.7f, 0.5f}, true}};

// The backdrop's squares in one pass give what they give drawn one by one:
// blended squares through different cameras, a colour above 1 (clamped as
// fixed function clamps it); and runs the pass leaves to the squares one by
// one: a replacing square (in any order) and a square that does not cover
// the view.
TEST_F(dot_culling, BackdropSquaresInOnePassMatchThemOneByOne) {
    backdrop_rig rig;
    EXPECT_LT(rig.differing(covering_run), view_pixels / 1000);
    // It was drawn in one pass, with every square's colour.
    EXPECT_EQ(rig.colour_drawn(3, 0), (std::vector<float>{1.0f, 0.2f, 0.2f, 0.7f}));
    EXPECT_EQ(rig.colour_drawn(3, 2), (std::vector<float>{0.3f, 0.4f, 0.7f, 0.5f}));

    EXPECT_LT(rig.differing({{40, 0, 100, 3, {0.35f, 0.5f, 0.5f, 1}, false},
                             {60, 90, 300, 12, {1.6f, 0.2f, 0.2f, 0.7f}, true},
                             {25, 10, 50, 48, {0.3f, 0.4f, 0.7f, 0.5f}, true}}),
              view_pixels / 1000);
    // A replacing square between blended ones hides what is under it.
    EXPECT_LT(rig.differing({{60, 90, 300, 12, {1.6f, 0.2f, 0.2f, 0.7f}, true},
                             {40, 0, 100, 3, {0.35f, 0.5f, 0.5f, 1}, false},
                             {25, 10, 50, 48, {0.3f, 0.4f, 0.7f, 0.5f}, true}}),
              view_pixels / 1000);
    // The last square covers only part of the view.
    EXPECT_LT(rig.differing({{60, 0, 200, 3, {0, 0.4f, 1, 0.9f}, true},
                             {100, 0, 5, 2, {0.8f, 0.5f, 0.1f, 0.6f}, true}}),
              view_pixels / 1000);
}

// The one pass draws through the shading runtime and puts back what it had:
// profiles enabled or not, the bound programs and the GL program in use (its
// own stays bound between its callers' calls). A vertex program enabled
// meanwhile does not pair with the pass's program.
TEST_F(dot_culling, BackdropPassPutsBackTheBoundProgram) {
    backdrop_rig rig;
    show_context& context = *rig.context;
    const std::string vertex = testing::TempDir() + "backdrop_red_vp";
    const std::string fragment = testing::TempDir() + "backdrop_white_fp";
    std::ofstream(vertex)
        << "void main() { gl_Position = ftransform(); gl_FrontColor = vec4(1, 0, 0, 1); }\n";
    std::ofstream(fragment) << "void main() { gl_FragColor = vec4(1.0); }\n";
    testing::internal::CaptureStdout();
    load_vertex_program_file(context, vertex.c_str(), 1);
    load_fragment_program_file(context, fragment.c_str(), 2);
    testing::internal::GetCapturedStdout();

    const std::vector<uint8_t> alone = rig.draw(covering_run, true);
    bind_program(context, 1);
    bind_program(context, 2);
    enable_vertex_profile(context);
    enable_fragment_profile(context);
    const unsigned pair = cg_runtime::active_gl_program();
    ASSERT_NE(pair, 0u);
    EXPECT_TRUE(rig.draw(covering_run, true) == alone) << "drawn with the vertex program";
    EXPECT_TRUE(cg_runtime::profile_enabled(context.vertex_profile));
    EXPECT_TRUE(cg_runtime::profile_enabled(context.fragment_profile));
    EXPECT_EQ(cg_runtime::bound_program(context.vertex_profile), context.cg_programs[1]);
    EXPECT_EQ(cg_runtime::bound_program(context.fragment_profile), context.cg_programs[2]);
    EXPECT_EQ(cg_runtime::active_gl_program(), pair);
    GLint in_use = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &in_use);
    EXPECT_EQ(GLuint(in_use), pair);

    // As the script leaves the runtime before the backdrop: both disabled,
    // no fragment program bound.
    disable_vertex_profile(context);
    disable_fragment_profile(context);
    rig.draw(covering_run, true);
    EXPECT_FALSE(cg_runtime::profile_enabled(context.vertex_profile));
    EXPECT_FALSE(cg_runtime::profile_enabled(context.fragment_profile));
    EXPECT_EQ(cg_runtime::bound_program(context.fragment_profile), nullptr);
    glGetIntegerv(GL_CURRENT_PROGRAM, &in_use);
    EXPECT_EQ(in_use, 0);
    EXPECT_EQ(cg_runtime::active_gl_program(), 0u);
}

// A backdrop source that does not compile is reported as every program is,
// listing included, and the backdrop is still drawn: square by square.
TEST_F(dot_culling, BackdropSourceThatDoesNotCompileIsReportedAndDrawnSquareBySquare) {
    const std::filesystem::path folder = show_data::private_folder("broken_backdrop");
    std::ifstream in(QUORLAXEN_SOURCE_DIR "/data/cgeffects/backdrop_squares");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t at = text.find("gl_FragColor = dst;");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 19, "gl_FragColor = undeclared_thing;");
    ASSERT_TRUE(show_data::write_bytes(folder / "cgeffects/backdrop_squares", text));
    {
        backdrop_rig rig(folder);
        EXPECT_NE(rig.report.find("cgeffects/backdrop_squares: fragment program: "), std::string::npos)
            << rig.report;
        EXPECT_NE(rig.report.find("undeclared_thing"), std::string::npos);
        size_t reports = 0;
        for (size_t k = 0; (k = rig.report.find(" FP -- \ncgeffects/backdrop_squares\n0\nCG_NO_ERROR\n",
                                                k)) != std::string::npos;
             ++k)
            ++reports;
        EXPECT_EQ(reports, size_t(backdrop_max_squares - 1));
        EXPECT_LT(rig.differing(covering_run), view_pixels / 1000);
    }
    std::filesystem::remove_all(folder);
}

// The viewer's reload of the source compiles the pass's programs again, each
// with its own defines, and the pass draws with the new code.
TEST_F(dot_culling, BackdropProgramsReloadWithTheirDefines) {
    const std::filesystem::path folder = show_data::private_folder("reloaded_backdrop");
    std::ifstream in(QUORLAXEN_SOURCE_DIR "/data/cgeffects/backdrop_squares");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::filesystem::path file = folder / "cgeffects/backdrop_squares";
    ASSERT_TRUE(show_data::write_bytes(file, text));
    {
        backdrop_rig rig(folder);
        const size_t at = text.find("gl_FragColor = dst;");
        ASSERT_NE(at, std::string::npos);
        text.replace(at, 19, "gl_FragColor = vec4(float(SQUARES) / 8.0, float(BLENDED) / 64.0, 0.0, 1.0);");
        ASSERT_TRUE(show_data::write_bytes(file, text));
        effect_reload r;
        {
            show_data::scoped_directory here(folder);
            r = reload_effect_file(*rig.context, "cgeffects/backdrop_squares");
        }
        EXPECT_EQ(r.programs, backdrop_max_squares - 1);
        EXPECT_EQ(r.failed, 0) << r.listing;
        // Three squares, all blended: 3 / 8 and 7 / 64.
        const std::vector<uint8_t> pixels = rig.draw(covering_run, true);
        const uint8_t* centre = &pixels[4 * (view_size / 2 * view_size + view_size / 2)];
        EXPECT_NEAR(centre[0], 96, 1);
        EXPECT_NEAR(centre[1], 28, 1);
        EXPECT_EQ(centre[2], 0);
    }
    std::filesystem::remove_all(folder);
}

// The backdrop clears the target's colour itself: with no square kept, the
// flush leaves the clear colour; a run after something drawn outside the
// pass blends over that drawing, not over the clear.
TEST_F(dot_culling, BackdropClearsTheTargetAndALaterRunDrawsOverWhatIsThere) {
    const float clear[4] = {0.0f, 1.0f, 1.0f, 0.0f};
    backdrop_rig rig;
    backdrop_pass pass = rig.made;
    auto centre = [] { return test_gl::read_rgba(view_size / 2, view_size / 2, 1, 1); };

    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    begin_backdrop(pass, clear);
    flush_backdrop(pass);
    EXPECT_EQ(centre(), (std::vector<uint8_t>{0, 255, 255, 0}));

    glClear(GL_COLOR_BUFFER_BIT);
    begin_backdrop(pass, clear);
    flush_backdrop(pass);
    // Black over the whole view, then two squares that blend to nothing.
    glLoadIdentity();
    glTranslatef(0, 0, -10);
    glColor4f(0, 0, 0, 1);
    glRectf(-100, -100, 100, 100);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(1, 1, 1, 0);
    for (int k = 0; k < 2; ++k) {
        glLoadIdentity();
        gluLookAt(0, 0, 40, 0, 0, 0, 0, 1, 0);
        glPushMatrix();
        add_backdrop_square(pass, 0.0, 100.0, 100.0, 3.0f);
        glPopMatrix();
    }
    flush_backdrop(pass);
    glDisable(GL_BLEND);
    EXPECT_EQ(centre(), (std::vector<uint8_t>{0, 0, 0, 255}));
}

} // namespace

namespace {

// A dot is left out for its size only when it covers less than a pixel of
// the view it is drawn in: the same dot counts at a wider view.
TEST_F(dot_culling, SubPixelDotsDependOnTheViewSize) {
    glLoadIdentity();
    gluLookAt(0, 0, 100, 0, 0, 0, 0, 1, 0);
    const dot_view view = current_dot_view();
    // Units per pixel at 256 pixels across.
    const double unit = 2.0 * half_view / 256.0;
    // Half extent 2 size: a box of 1.2 x 1.2 pixels, then 0.6 x 0.6.
    EXPECT_TRUE(dot_covers_a_pixel(view, 256, 256, 0.0, 0.0, 0.3 * unit, 1.0));
    EXPECT_FALSE(dot_covers_a_pixel(view, 256, 256, 0.0, 0.0, 0.15 * unit, 1.0));
    EXPECT_TRUE(dot_covers_a_pixel(view, 1024, 1024, 0.0, 0.0, 0.15 * unit, 1.0));
    // A flat dot covers nothing; one behind the eye is never judged small.
    EXPECT_FALSE(dot_covers_a_pixel(view, 256, 256, 0.0, 0.0, 10.0 * unit, 0.0));
    glLoadIdentity();
    gluLookAt(0, 0, 100, 0, 0, 200, 0, 1, 0);
    EXPECT_TRUE(dot_covers_a_pixel(current_dot_view(), 256, 256, 0.0, 0.0, 0.01 * unit, 1.0));
}

} // namespace
