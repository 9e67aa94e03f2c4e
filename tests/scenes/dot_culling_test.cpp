// The view test that lets dot fields skip dots: a skipped dot must be one
// the GL would have drawn no pixel of, right up to the view's edges.
#include <GL/glew.h>
#include <GL/glu.h>

#include <cmath>
#include <vector>

#include "scenes/scene_script.h"
#include "support/gl_context.h"

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
        dots.push_back({-20.0 + 0.7 * i, 8.0 * std::sin(0.4 * i), 0.4 + 0.05 * (i % 9), 0.3 + 0.01 * i, i % 3});

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
