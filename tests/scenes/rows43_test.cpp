// The motions of scene rows 43 to 65, and the rows drawn into a real GL
// context: the telos halves read back, the matrix stack and GL errors over
// every row's window, and the same picture for the same time.
#include <gtest/gtest.h>

#include <GL/glew.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "math/random.h"
#include "parts/parts.h"
#include "scenes/scene_script.h"
#include "scenes/scene_script_rows43.h"
#include "scenes/scene_times.h"
#include "support/gl_context.h"

namespace {

TEST(telos_halves, closing_halves_sit_20_apart_until_242_8_and_meet_from_244_14) {
    EXPECT_NEAR(telos_offset_closing(238.5), -20.0, 1e-9);
    EXPECT_NEAR(telos_offset_closing(242.8), -20.0, 1e-9);
    const double mid = telos_offset_closing(243.5);
    EXPECT_GT(mid, -20.0);
    EXPECT_LT(mid, 0.0);
    EXPECT_NEAR(telos_offset_closing(244.14), 0.0, 1e-12);
    EXPECT_NEAR(telos_offset_closing(250.0), 0.0, 1e-12);
    // Closing only ever moves the halves inwards.
    for (double T = 242.8; T < 244.2; T += 0.05)
        EXPECT_LE(telos_offset_closing(T), telos_offset_closing(T + 0.05));
}

TEST(telos_halves, opening_halves_part_steadily_to_where_the_closing_ones_start) {
    // Together until the motion starts, then only ever further apart, and
    // by the end of row 65's window (T = 5) where the closing halves wait.
    EXPECT_NEAR(telos_offset_opening(-1.6), 0.0, 1e-12);
    for (double T = -1.6; T < 5.0; T += 0.05)
        EXPECT_GE(telos_offset_opening(T), telos_offset_opening(T + 0.05)) << T;
    EXPECT_LT(telos_offset_opening(1.7), -5.0); // half way there at half the time
    EXPECT_GT(telos_offset_opening(1.7), -15.0);
    EXPECT_NEAR(telos_offset_opening(5.0), telos_offset_closing(238.0), 0.05);
}

TEST(boat_anchor, is_the_riding_boat_until_185_then_sinks_by_0_7) {
    for (double T : {170.5, 180.0, 185.0}) {
        const Vec3 a = boat_anchor(T), b = riding_boat_place(T);
        EXPECT_EQ(a.state, 1);
        EXPECT_FLOAT_EQ(a.x, b.x);
        EXPECT_FLOAT_EQ(a.y, b.y);
        EXPECT_FLOAT_EQ(a.z, b.z);
    }
    EXPECT_NEAR(boat_anchor(185.5).y, riding_boat_place(185.5).y - 0.35, 1e-5);
    EXPECT_NEAR(boat_anchor(200.0).y, riding_boat_place(200.0).y - 0.7, 1e-5);
}

TEST(sea, rises_from_far_below_rests_and_sinks_again_after_185) {
    // Far below before it rises, up smoothly (no step larger than a frame's
    // worth of a fast rise), at rest until 185, then going down again.
    EXPECT_GT(sea_drop(172.0), 20.0 * sea_drop(180.0));
    for (double T = 170.0; T < 177.2; T += 0.01) {
        EXPECT_GE(sea_drop(T), sea_drop(T + 0.01)) << T;
        EXPECT_LT(sea_drop(T) - sea_drop(T + 0.01), 5.0) << T;
    }
    for (double T = 177.2; T <= 185.0; T += 0.1)
        EXPECT_NEAR(sea_drop(T), sea_drop(185.0), 1e-9) << T;
    for (double T = 185.0; T < 195.0; T += 0.1)
        EXPECT_LT(sea_drop(T), sea_drop(T + 0.1)) << T;
}

TEST(razors, cuts_step_0_1_from_their_start_and_repeat_for_the_same_seed) {
    const razor_set& set = razor_set_of_row(43);
    path first, again;
    for (int k = 0; k < 3; ++k) {
        show_srand(set.seed);
        for (int j = 0; j <= k; ++j)
            build_razor_cut(set, j, first);
        show_srand(set.seed);
        for (int j = 0; j <= k; ++j)
            build_razor_cut(set, j, again);
        ASSERT_EQ(first.count, again.count);
        ASSERT_GE(first.count, 500);
        EXPECT_FALSE(first.looped);
        EXPECT_NEAR(first.points[0].x, 25.8 + k, 1e-5);
        EXPECT_NEAR(first.points[0].y, 4.1, 1e-5);
        for (int i = 1; i < first.count; ++i) {
            const Vec3 d = first.points[size_t(i)] - first.points[size_t(i - 1)];
            ASSERT_NEAR(length(d), 0.1, 1e-4) << "cut " << k << " point " << i;
            ASSERT_EQ(first.points[size_t(i)].x, again.points[size_t(i)].x);
        }
    }
}

TEST(razors, cut_0_curls_round_while_cut_1_runs_straight_between_bends) {
    const razor_set& set = razor_set_of_row(43);
    path cut0, cut1;
    show_srand(set.seed);
    build_razor_cut(set, 0, cut0);
    build_razor_cut(set, 1, cut1);
    // Over 500 steps of -0.02 rad cut 0 turns ten radians clockwise plus its
    // bends; cut 1 stops turning after step 100, so it ends far away.
    const Vec3 end0 = cut0.points.back(), end1 = cut1.points.back();
    const double span0 = std::hypot(end0.x - cut0.points[0].x, end0.y - cut0.points[0].y);
    const double span1 = std::hypot(end1.x - cut1.points[0].x, end1.y - cut1.points[0].y);
    EXPECT_LT(span0, 20.0);
    EXPECT_GT(span1, 20.0);
}

TEST(razors, move_19_points_a_second_each_0_2_s_after_the_last) {
    const razor_set& set = razor_set_of_row(43);
    EXPECT_EQ(razor_position(set, 0, set.grow_start), 0.0);
    for (double T = set.grow_start + 0.5; T < set.to; T += 0.5) {
        EXPECT_NEAR(razor_position(set, 0, T + 1.0) - razor_position(set, 0, T), 19.0, 1e-9) << T;
        for (int k = 1; k < 5; ++k)
            EXPECT_NEAR(razor_position(set, k, T + 0.2 * k), razor_position(set, 0, T), 1e-9) << k;
    }
    // Cuts come in over the window's first second, up to the set's count,
    // and its later count after 150 (rows 43 and 44 thin out).
    EXPECT_EQ(razor_cut_count(set, set.from), 0.0);
    EXPECT_NEAR(razor_cut_count(set, set.from + 1.0), set.count, 1e-9);
    for (double T = set.from; T < set.from + 1.0; T += 0.05)
        EXPECT_LT(razor_cut_count(set, T), razor_cut_count(set, T + 0.05)) << T;
    EXPECT_NEAR(razor_cut_count(set, 151.0), set.later_count, 1e-9);
    EXPECT_LT(set.later_count, set.count);
}

TEST(trombones, rise_without_a_jump_and_fall_in_a_window) {
    // Each trombone holds its height, then rises, never back and never by a
    // jump, over its window (rows 47 and 48).
    for (auto height : {trombone_47_height, trombone_48_height}) {
        EXPECT_EQ(height(150.0), height(168.0));
        EXPECT_GT(height(186.0), height(168.0) + 1.0);
        for (double T = 145.0; T < 187.0; T += 0.01) {
            EXPECT_LE(height(T), height(T + 0.01)) << T;
            EXPECT_LT(height(T + 0.01) - height(T), 0.05) << T;
        }
    }
    // The falling ones: none before 145 nor after 166, eight at their height
    // in between, coming and going over a second.
    EXPECT_EQ(falling_trombone_count(144.9), 0.0);
    EXPECT_EQ(falling_trombone_count(166.1), 0.0);
    for (double T = 146.0; T <= 165.0; T += 0.5)
        EXPECT_NEAR(falling_trombone_count(T), 8.0, 1e-12) << T;
}

TEST(greetings_and_wheels, leave_in_turn_except_the_ones_that_stay) {
    for (int k = 0; k < 15; ++k) {
        EXPECT_TRUE(greeting_shown(k, 100.0)) << k;
        EXPECT_EQ(greeting_shown(k, 123.4), k == 6 || k == 11) << k;
    }
    EXPECT_TRUE(greeting_shown(14, 122.5)); // the last to leave
    EXPECT_FALSE(greeting_shown(0, 110.1));
    EXPECT_TRUE(greeting_shown(1, 110.1));

    EXPECT_NEAR(falling_wheel_count(42.25), 4.0, 1e-12);
    EXPECT_TRUE(falling_wheel_shown(3, 48.9));
    EXPECT_FALSE(falling_wheel_shown(3, 49.0));
    EXPECT_TRUE(falling_wheel_shown(0, 51.0));
    EXPECT_TRUE(falling_wheel_shown(7, 51.0));
    EXPECT_FALSE(falling_wheel_shown(5, 51.0));
}

TEST(wave_band, stays_a_small_wave_and_rises_into_place) {
    for (double T : {184.0, 200.0, 218.9})
        for (int i = -100; i < 1000; i += 37)
            EXPECT_LE(std::abs(wave_band_height(i, T)), 0.25) << T << " " << i;
    EXPECT_NEAR(wave_band_lift(183.5), -0.3, 1e-12);
    EXPECT_NEAR(wave_band_lift(190.0), 0.1, 1e-12);
    EXPECT_NE(wave_band_height(10, 200.0), wave_band_height(10, 200.1));
}

TEST(finale, gun_slides_up_and_kicks_once_at_each_shot) {
    // Up from below the frame, then in place.
    EXPECT_LT(gun_height(192.0), gun_height(195.0) - 4.0);
    for (double T = 195.0; T < 230.0; T += 0.5)
        EXPECT_EQ(gun_height(T), gun_height(195.0)) << T;
    // At rest but for one full kick just after each shot, over within a second.
    for (double shot : gun_shot_times) {
        EXPECT_EQ(gun_recoil(shot - 0.1), 0.0) << shot;
        double peak = 0.0;
        for (double T = shot; T < shot + 0.5; T += 0.01)
            peak = std::max(peak, gun_recoil(T));
        EXPECT_NEAR(peak, 1.0, 0.01) << shot;
        EXPECT_NEAR(gun_recoil(shot + 1.0), 0.0, 1e-12) << shot;
    }
}

TEST(finale, rotor_spins_up_from_213_4_to_a_steady_speed) {
    EXPECT_EQ(rotor_angle(200.0), 0.0);
    EXPECT_EQ(rotor_angle(213.4), 0.0);
    const double early = rotor_angle(213.9) - rotor_angle(213.8);
    const double later = rotor_angle(216.0) - rotor_angle(215.9);
    const double steady = rotor_angle(220.1) - rotor_angle(220.0);
    EXPECT_GT(early, 0.0);
    EXPECT_GT(later, early);
    EXPECT_NEAR(steady, rotor_angle(225.1) - rotor_angle(225.0), 1e-6);
    EXPECT_NEAR(steady, 180.0 * 6.0 * 0.1, 1e-6);
}

TEST(finale, bicycle_rides_3_5_a_second_and_turns_96_degrees_a_second) {
    for (double T = 235.1; T < 242.958; T += 0.5) {
        EXPECT_NEAR(bicycle_x(T + 1.0) - bicycle_x(T), 3.5, 1e-9) << T;
        EXPECT_NEAR(bicycle_wheel_angle(T + 1.0) - bicycle_wheel_angle(T), 96.0, 1e-9) << T;
    }
}

// --- drawn ---

// A unit-square "mesh" of one group, centred at the origin, 2 * half wide.
void square_mesh(mesh& m, float half) {
    quad q;
    const float xs[4] = {-half, half, half, -half}, ys[4] = {-half, -half, half, half};
    for (int i = 0; i < 4; ++i)
        q.corners[i] = make_vec3(xs[i], ys[i], 0.0f);
    m.groups.assign(1, mesh_group{q});
    m.list_name = -1;
    m.loaded = true;
}

class rows43_gl : public gl_test {
  protected:
    void SetUp() override {
        gl_test::SetUp();
        part = std::make_unique<part_start>();
        square_mesh(part->telos, 2.0f);
        glClearColor(1, 1, 1, 1);
    }

    void draw_at(double T) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluPerspective(30.0, 1.0, 0.1, 5500.0);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        script_frame f;
        f.T = T;
        f.W = f.H = 256;
        draw_script_rows_43_to_65(*part, the_show_context(), f);
    }

    // Window position of a point seen by the telos camera with up (up_x, 1, 0).
    static void project(double x, double y, float up_x, double* wx, double* wy) {
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glLoadIdentity();
        gluLookAt(0, 0, 30, 0, 0, 0, up_x, 1, 0);
        GLdouble model[16], proj[16];
        GLint view[4];
        glGetDoublev(GL_MODELVIEW_MATRIX, model);
        glGetDoublev(GL_PROJECTION_MATRIX, proj);
        glGetIntegerv(GL_VIEWPORT, view);
        glPopMatrix();
        double wz = 0;
        gluProject(x, y, 0.0, model, proj, view, wx, wy, &wz);
    }

    bool black_at(double wx, double wy) {
        const test_gl::rgba p = test_gl::pixel(int(wx), int(wy));
        return p.r < 40 && p.g < 40 && p.b < 40;
    }

    std::unique_ptr<part_start> part;
};

TEST_F(rows43_gl, opening_halves_at_t_2_stand_apart_and_leave_the_middle_open) {
    draw_at(2.0);
    const double d = telos_offset_opening(2.0);
    double wx, wy;
    project(d, 1.0, -1.0f, &wx, &wy);
    EXPECT_TRUE(black_at(wx, wy)) << "first half at " << wx << ", " << wy;
    project(-d, 0.0, -1.0f, &wx, &wy);
    EXPECT_TRUE(black_at(wx, wy)) << "mirrored half at " << wx << ", " << wy;
    project(0.0, 0.5, -1.0f, &wx, &wy);
    EXPECT_FALSE(black_at(wx, wy)) << "the middle is open";
}

TEST_F(rows43_gl, closing_halves_cover_the_middle_once_they_meet) {
    draw_at(241.0);
    double wx, wy;
    project(0.0, 0.5, 1.0f, &wx, &wy);
    EXPECT_FALSE(black_at(wx, wy));
    draw_at(244.5);
    EXPECT_TRUE(black_at(wx, wy));
}

// The anchor camera 3 follows is where the riding boat is drawn: seen from
// beside it, the anchor's pixel is the boat's, and a little above the boat
// there is nothing.
TEST_F(rows43_gl, the_anchor_camera_3_follows_lies_on_the_riding_boat) {
    square_mesh(part->boat, 2.0f);
    for (double T : {171.0, 176.0, 184.5}) {
        const Vec3 anchor = boat_anchor(T);
        part->camera_3.eye = make_vec3(anchor.x + 5.0f, anchor.y, anchor.z + 3.0f);
        part->camera_3.centre = anchor;
        part->camera_3.up = make_vec3(0, 1, 0);
        draw_at(T);
        double wx, wy, wz;
        GLdouble model[16], projection[16];
        GLint view[4];
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        gluLookAt(anchor.x + 5.0, anchor.y, anchor.z + 3.0, anchor.x, anchor.y, anchor.z, 0, 1, 0);
        glGetDoublev(GL_MODELVIEW_MATRIX, model);
        glGetDoublev(GL_PROJECTION_MATRIX, projection);
        glGetIntegerv(GL_VIEWPORT, view);
        gluProject(anchor.x, anchor.y, anchor.z, model, projection, view, &wx, &wy, &wz);
        EXPECT_TRUE(black_at(wx, wy)) << "T = " << T << ": the boat at the anchor";
        gluProject(anchor.x, anchor.y + 1.0, anchor.z, model, projection, view, &wx, &wy, &wz);
        EXPECT_FALSE(black_at(wx, wy)) << "T = " << T << ": above the boat";
    }
}

TEST_F(rows43_gl, every_window_keeps_the_matrix_stacks_and_raises_no_gl_error) {
    // Cameras that look at the plane z = 0 from in front.
    for (camera_pose* c : {&part->camera_1, &part->camera_2, &part->camera_3}) {
        c->eye = make_vec3(30, 5, 16);
        c->centre = make_vec3(30, 5, 0);
        c->up = make_vec3(0, 1, 0);
    }
    while (glGetError() != GL_NO_ERROR) {
    }
    GLint model_depth = 0, proj_depth = 0;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &model_depth);
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &proj_depth);
    // Times inside every row's window: both ends and the middle, the open
    // side of an unbounded window taken at the show's start or end.
    row_window boat_row;
    std::vector<double> times;
    for (const script_row& row : script_rows_43_to_65()) {
        if (std::string(row.row) == "59") boat_row = row.window;
        const double from = std::max(row.window.from, 0.0), to = std::min(row.window.to, 245.0);
        for (double T : {from, 0.5 * (from + to), to})
            if (row.window.contains(T)) times.push_back(T);
        for (double T : {from + 1e-3, to - 1e-3})
            if (row.window.contains(T)) times.push_back(T);
    }
    ASSERT_FALSE(boat_row.always());
    for (double T : times) {
        const Vec3 before = part->script_anchor;
        draw_at(T);
        GLint depth = 0;
        glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
        EXPECT_EQ(depth, model_depth) << "T = " << T;
        glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &depth);
        EXPECT_EQ(depth, proj_depth) << "T = " << T;
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR)) << "T = " << T;
        // Only the third boat's row moves the anchor camera_3 follows.
        const float expected = boat_row.contains(T) ? boat_anchor(T).x : before.x;
        EXPECT_FLOAT_EQ(part->script_anchor.x, expected) << "T = " << T;
    }
}

TEST_F(rows43_gl, razor_cuts_are_drawn_and_the_same_time_gives_the_same_picture) {
    part->camera_3.eye = make_vec3(27.5f, 2.0f, 16.0f);
    part->camera_3.centre = make_vec3(27.5f, 2.0f, 0.0f);
    part->camera_3.up = make_vec3(0, 1, 0);
    draw_at(135.0);
    const std::vector<uint8_t> first = test_gl::read_rgba(0, 0, 256, 256);
    draw_at(140.0);
    draw_at(135.0);
    const std::vector<uint8_t> again = test_gl::read_rgba(0, 0, 256, 256);
    EXPECT_EQ(first, again);
    size_t dark = 0;
    for (size_t i = 0; i < first.size(); i += 4)
        dark += first[i] < 240;
    EXPECT_GT(dark, 50u) << "cut lines and their shaded strips are visible";
}

} // namespace
