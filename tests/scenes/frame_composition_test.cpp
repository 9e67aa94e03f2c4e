// Clock shaping, camera choreography, track jitter and sway values of the
// frame composition: properties over the whole show, and where the cameras
// put the elements the scene script draws at the anchors.
#include <GL/glew.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "parts/part_start_render.h"
#include "scenes/scene_script.h"
#include "scenes/scene_script_rows43.h"
#include "scenes/scene_times.h"
#include "support/gl_context.h"

namespace {

bool same_vec(const Vec3& a, const Vec3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

void expect_same_pose(const camera_pose& a, const camera_pose& b) {
    EXPECT_TRUE(same_vec(a.eye, b.eye) && same_vec(a.centre, b.centre) && same_vec(a.up, b.up));
}

// Equal to within the float rounding of positions `reach` units out.
bool near(const Vec3& a, const Vec3& b, double reach) { return length(a - b) <= 1e-5 + 1e-6 * reach; }

// What the scene script leaves for camera_3: the boat it rides with, stored
// one frame earlier while the boat is drawn.
Vec3 script_anchor_at(double T) { return boat_anchor(std::clamp(T - 1.0 / 60.0, 170.0, 210.55)); }

camera_track track_of(int n) {
    camera_track track;
    for (int i = 0; i < n; ++i) {
        track.raw_points.push_back(make_vec3(float(10 + i), float(-20 - 2 * i), float(5 + i)));
        track.values_a.push_back(3.0 * i);
    }
    return track;
}

using camera_of = camera_pose frame_cameras::*;
const camera_of all_cameras[] = {&frame_cameras::context_camera, &frame_cameras::camera_1,
                                 &frame_cameras::camera_2, &frame_cameras::camera_3};

// The cameras with and without the track's jitter (no script anchor).
struct jittered_frame {
    frame_cameras plain, moved;
    jittered_frame(double T, const camera_track& track) {
        direct_cameras_without_jitter(T, Vec3{}, plain);
        direct_cameras(T, Vec3{}, track, moved);
    }
    Vec3 eye_shift(camera_of c) const { return (moved.*c).eye - (plain.*c).eye; }
    double reach(camera_of c) const { return std::max(length((moved.*c).eye), length((moved.*c).centre)); }
};

} // namespace

// --- the clock shaping ---

TEST(clock_shaping, advances_in_proportion_to_the_step_and_bumps_only_inside_its_windows) {
    // The capture and the data forge scale one factor per scene time; it is
    // raised from 5 to 11.67, lowered from 42 to 48.67, steady elsewhere.
    const double steady = shape_frame_step(0.0, 1.0);
    for (double T = 0.0; T < 260.0; T += 0.01) {
        const double rate = shape_frame_step(T, 1.0);
        for (double dt : {1.0 / 144.0, 1.0 / 30.0, 0.25})
            ASSERT_NEAR(shape_frame_step(T, dt), dt * rate, 1e-15) << T;
        if (T > 5.01 && T < 11.66) {
            ASSERT_GT(rate, steady) << T;
        } else if (T > 42.01 && T < 48.66) {
            ASSERT_LT(rate, steady) << T;
            ASSERT_GT(rate, 0.0) << T;
        } else if ((T < 4.99 || T > 11.68) && (T < 41.99 || T > 48.68)) {
            ASSERT_EQ(rate, steady) << T;
        }
    }
    EXPECT_GT(steady, 1.0);
}

// --- sway and track replay ---

// The sway's strength holds for whole stretches of the show: it changes at
// a few whole seconds, and a time on a change already has the new strength.
TEST(sway_factor, changes_at_a_few_whole_seconds_each_of_which_belongs_to_the_later_stretch) {
    int changes = 0;
    for (int ms = 1; ms <= 300000; ++ms) {
        const double before = sway_factor((ms - 1) / 1000.0), now = sway_factor(ms / 1000.0);
        ASSERT_GT(now, 0.0);
        ASSERT_LT(now, 2.0);
        if (now == before) continue;
        ++changes;
        ASSERT_EQ(ms % 1000, 0) << "a change inside a second, at " << ms / 1000.0;
        const double at = ms / 1000.0;
        EXPECT_EQ(sway_factor(at), sway_factor(at + 0.5)) << at;
        EXPECT_NE(sway_factor(std::nextafter(at, 0.0)), sway_factor(at)) << at;
    }
    EXPECT_GE(changes, 3);
    EXPECT_LE(changes, 10);
}

TEST(track_index, replays_at_35_points_a_second_and_skips_after_70) {
    uint32_t index = 99;
    EXPECT_FALSE(track_index(10.0, 0, index));
    EXPECT_FALSE(track_index(10.0, 1, index));
    ASSERT_TRUE(track_index(1.0, 101, index));
    EXPECT_EQ(index, 35u);
    ASSERT_TRUE(track_index(70.0, 101, index)); // 2450, no skip yet
    EXPECT_EQ(index, 50u);
    ASSERT_TRUE(track_index(70.001, 101, index)); // trunc(2450.035 + 340)
    EXPECT_EQ(index, 90u);
    ASSERT_TRUE(track_index(0.0, 2, index));
    EXPECT_EQ(index, 0u);
}

// --- the choreography over the whole show ---

// Every millisecond of the show: gluLookAt gets the eye apart from the
// centre and an up vector away from the view, and no camera, anchor or
// jitter amount jumps but the context camera taking camera_1's pose above
// 43.2. Moves are
// bounded by the scale of their world (thousands of units up to the train
// ride, tens in the finale), up vectors by a turn the eye could follow.
TEST(cameras, stay_well_formed_and_move_continuously_but_for_the_hand_over_at_43_2) {
    const std::pair<camera_of, double> cameras[] = {{&frame_cameras::context_camera, 25.0},
                                                    {&frame_cameras::camera_1, 25.0},
                                                    {&frame_cameras::camera_2, 0.25},
                                                    {&frame_cameras::camera_3, 0.25}};
    const std::pair<Vec3 frame_cameras::*, double> anchors[] = {
        {&frame_cameras::anchor_1, 25.0}, {&frame_cameras::anchor_2, 25.0}, {&frame_cameras::anchor_3, 0.25}};
    std::vector<double> cuts;
    frame_cameras before;
    direct_cameras_without_jitter(0.0, script_anchor_at(0.0), before);
    for (int ms = 1; ms <= 245000; ++ms) {
        const double T = ms / 1000.0;
        frame_cameras now;
        direct_cameras_without_jitter(T, script_anchor_at(T), now);
        for (const auto& [camera, move] : cameras) {
            const camera_pose &p = now.*camera, &q = before.*camera;
            const Vec3 view = p.centre - p.eye;
            ASSERT_GT(length(view), 1.0) << T;
            ASSERT_GT(length(view ^ p.up), 0.2 * length(view) * length(p.up)) << "up along the view at " << T;
            const bool jump = length(p.eye - q.eye) > move || length(p.centre - q.centre) > move ||
                              length(p.up - q.up) > 0.01;
            ASSERT_FALSE(jump && camera != &frame_cameras::context_camera) << "camera jumps at " << T;
            if (jump) cuts.push_back(T);
        }
        for (const auto& [anchor, move] : anchors)
            ASSERT_LE(length(now.*anchor - before.*anchor), move) << "anchor jumps at " << T;
        ASSERT_LE(std::fabs(jitter_amount(T) - jitter_amount(T - 0.001)), 0.05) << T;
        before = now;
    }
    ASSERT_EQ(cuts.size(), 1u);
    EXPECT_NEAR(cuts[0], camera_hand_over_time, 0.001);
    direct_cameras_without_jitter(camera_hand_over_time + 0.0001, Vec3{}, before);
    expect_same_pose(before.context_camera, before.camera_1);
}

// --- the elements the script draws at the anchors, on the screen ---

class anchors_on_screen : public gl_test {
  protected:
    // Every 50 ms of [from, to], the point `where` picks lies inside the view
    // of `camera` under the scene's perspective (30 degrees high, 16:9, the
    // scene's far plane at T), in front of the eye.
    template <typename Point> void expect_in_view(double from, double to, camera_of camera, Point where) {
        for (double T = from; T <= to; T += 0.05) {
            frame_cameras c;
            direct_cameras_without_jitter(T, script_anchor_at(T), c);
            double modelview[16], projection[16], x = 0.0, y = 0.0, z = 0.0;
            glMatrixMode(GL_PROJECTION);
            glLoadIdentity();
            gluPerspective(30.0, 16.0 / 9.0, 0.1, scene_far_plane(T));
            glGetDoublev(GL_PROJECTION_MATRIX, projection);
            glMatrixMode(GL_MODELVIEW);
            apply_camera(c.*camera);
            glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
            const GLint viewport[4] = {-1, -1, 2, 2};
            const Vec3 p = where(c, T);
            ASSERT_TRUE(gluProject(p.x, p.y, p.z, modelview, projection, viewport, &x, &y, &z));
            EXPECT_TRUE(std::fabs(x) < 1.0 && std::fabs(y) < 1.0 && z > 0.0 && z < 1.0) << "off at " << T;
        }
    }
};

TEST_F(anchors_on_screen, while_the_element_there_is_the_subject) {
    auto at = [](Vec3 frame_cameras::*anchor) {
        return [=](const frame_cameras& c, double) { return c.*anchor; };
    };
    // The machine while the context camera circles it, and looks down on it.
    expect_in_view(29.5, 31.0, &frame_cameras::context_camera, at(&frame_cameras::anchor_1));
    expect_in_view(38.0, 41.3, &frame_cameras::context_camera, at(&frame_cameras::anchor_1));
    // The train on the ride along it, then from high above.
    expect_in_view(70.0, 93.5, &frame_cameras::context_camera, at(&frame_cameras::anchor_2));
    expect_in_view(98.0, 115.0, &frame_cameras::context_camera, at(&frame_cameras::anchor_2));
    // The boat camera_3 rides with, and the finale's helicopter.
    expect_in_view(180.0, 210.5, &frame_cameras::camera_3,
                   [](const frame_cameras&, double T) { return boat_anchor(T); });
    expect_in_view(214.0, 232.0, &frame_cameras::camera_2, at(&frame_cameras::anchor_3));
}

// --- the track's jitter and sway ---

TEST(track_jitter, moves_each_camera_along_the_replayed_point_alone) {
    // Still tracks (and no tilt) with one point out of place, p or 2 p.
    camera_track once, twice;
    once.raw_points.assign(101, make_vec3(0.0f, 0.0f, 0.0f));
    twice.raw_points = once.raw_points;
    const Vec3 p = make_vec3(40.0f, -70.0f, 25.0f);
    once.raw_points[35] = p;
    twice.raw_points[35] = p * 2.0f;
    for (double T : {1.03, 46.0}) { // points 36 and 10
        const jittered_frame f(T, twice);
        for (camera_of camera : all_cameras)
            expect_same_pose(f.moved.*camera, f.plain.*camera);
        EXPECT_TRUE(f.moved.track_sway_x == 0.0 && f.moved.track_sway_y == 0.0) << T;
    }
    std::vector<double> gains;
    for (double T : {1.0, 61.0}) { // point 35, before and after the hand-over at 43.2
        const jittered_frame f(T, once), f2(T, twice);
        for (camera_of camera : all_cameras) {
            const Vec3 shift = f.eye_shift(camera);
            EXPECT_GT(length(shift), 0.0f) << T;
            EXPECT_NEAR(length(shift ^ p), 0.0, 1e-3 * length(p) * length(shift)) << T;
            // Moved, not turned, and twice as far for twice the point.
            EXPECT_TRUE(near((f.moved.*camera).centre - (f.plain.*camera).centre, shift, f.reach(camera)))
                << T;
            EXPECT_TRUE(near(f2.eye_shift(camera), shift * 2.0f, f2.reach(camera))) << T;
        }
        EXPECT_TRUE(near(f.eye_shift(&frame_cameras::camera_1),
                         f.eye_shift(&frame_cameras::context_camera) * -1.0f,
                         f.reach(&frame_cameras::context_camera)))
            << T;
        // The sways: one gain for both axes, in proportion to the sway factor.
        gains.push_back(f.moved.track_sway_x / p.x / sway_factor(T));
        EXPECT_NEAR(f.moved.track_sway_y / p.y / sway_factor(T), gains.back(), 1e-12);
        EXPECT_NEAR(f2.moved.track_sway_x, 2.0 * f.moved.track_sway_x, 1e-12);
    }
    EXPECT_GT(gains[0], 0.0);
    EXPECT_NE(sway_factor(1.0), sway_factor(61.0));
    EXPECT_NEAR(gains[1], gains[0], 1e-12);
}

TEST(track_jitter, a_track_of_fewer_than_two_points_adds_nothing) {
    for (int n : {0, 1}) {
        const camera_track track = track_of(n);
        frame_cameras plain, jittered;
        direct_cameras_without_jitter(100.0, Vec3{}, plain);
        jittered.track_sway_x = jittered.track_sway_y = 7.0;
        direct_cameras(100.0, Vec3{}, track, jittered);
        expect_same_pose(jittered.context_camera, plain.context_camera);
        expect_same_pose(jittered.camera_2, plain.camera_2);
        EXPECT_EQ(jittered.track_sway_x, 0.0);
        EXPECT_EQ(jittered.track_sway_y, 0.0);
    }
}

TEST(track_jitter, short_values_array_reads_no_further_than_it_holds) {
    camera_track track = track_of(10);
    track.values_a.resize(2);
    frame_cameras c;
    direct_cameras(3.0, Vec3{}, track, c); // index 105 mod 9 = 6, beyond values_a
    EXPECT_NEAR(c.context_camera.up.x, 0.0, 1e-7);
}
