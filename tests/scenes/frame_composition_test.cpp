// Clock shaping, camera choreography, track jitter and sway values of the
// frame composition, checked at the edges of their time windows.
#include <gtest/gtest.h>

#include <cmath>

#include "parts/part_start_render.h"

namespace {

void expect_vec(const Vec3& v, double x, double y, double z, double tolerance = 1e-3) {
    EXPECT_NEAR(v.x, x, tolerance);
    EXPECT_NEAR(v.y, y, tolerance);
    EXPECT_NEAR(v.z, z, tolerance);
}

void expect_same_pose(const camera_pose& a, const camera_pose& b) {
    for (auto m : {&camera_pose::eye, &camera_pose::centre, &camera_pose::up}) {
        EXPECT_FLOAT_EQ((a.*m).x, (b.*m).x);
        EXPECT_FLOAT_EQ((a.*m).y, (b.*m).y);
        EXPECT_FLOAT_EQ((a.*m).z, (b.*m).z);
    }
}

camera_track track_of(int n) {
    camera_track track;
    for (int i = 0; i < n; ++i) {
        track.raw_points.push_back(make_vec3(float(10 + i), float(-20 - 2 * i), float(5 + i)));
        track.values_a.push_back(3.0 * i);
        track.values_b.push_back(0.0);
    }
    return track;
}

} // namespace

TEST(clock_shaping, runs_one_percent_fast_before_the_first_bump) {
    for (double T : {0.0, 1.0, 4.999, 5.0})
        EXPECT_DOUBLE_EQ(shape_frame_step(T, 0.02), 0.02 * 1.01) << T;
}

TEST(clock_shaping, peaks_in_the_middle_of_each_bump) {
    // clamp((8.33 - 5) * 0.15) = 0.4995: the sine is 1 to within 5e-6.
    EXPECT_NEAR(shape_frame_step(8.33, 1.0), 1.01 * 1.15, 1e-6);
    EXPECT_NEAR(shape_frame_step(45.33, 1.0), 1.01 * 0.85 * (1 + 0.15 * std::sin(M_PI * 1.0)), 1e-6);
    // Between the bumps both sines are back to zero.
    EXPECT_NEAR(shape_frame_step(30.0, 1.0), 1.01, 1e-12);
    EXPECT_NEAR(shape_frame_step(100.0, 1.0), 1.01, 1e-12);
}

TEST(sway_factor, boundaries_belong_to_the_upper_interval) {
    EXPECT_EQ(sway_factor(26.999), 0.5);
    EXPECT_EQ(sway_factor(27.0), 1.5);
    EXPECT_EQ(sway_factor(38.0), 0.6);
    EXPECT_EQ(sway_factor(75.0), 1.6);
    EXPECT_EQ(sway_factor(88.0), 0.8);
    EXPECT_EQ(sway_factor(170.0), 0.3);
    EXPECT_EQ(sway_factor(214.999), 0.3);
    EXPECT_EQ(sway_factor(215.0), 0.6);
    EXPECT_EQ(sway_factor(300.0), 0.6);
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

TEST(jitter_amount, follows_its_three_ramps) {
    EXPECT_FLOAT_EQ(jitter_amount(0.0), 0.3f);
    EXPECT_FLOAT_EQ(jitter_amount(80.0), float(0.3 + 0.3 * 40.0));
    EXPECT_FLOAT_EQ(jitter_amount(100.0), 0.3f);
}

TEST(context_camera, is_the_base_pose_below_28) {
    frame_cameras c;
    const double T = 20.0;
    direct_cameras_without_jitter(T, Vec3{}, c);
    // X = 70 ease(1, 2) - 20 + 48 ease(0, 1) = 50; s = sin(pi * 0.4).
    const double s = std::sin(M_PI * 0.4);
    expect_vec(c.context_camera.eye, 200.0, -24.0 * s, 390.0);
    expect_vec(c.context_camera.centre, 200.0, -24.0 * s, 0.0);
    expect_vec(c.context_camera.up, 0.0, 1.0, 0.0, 1e-7);
}

TEST(context_camera, first_blend_weight_is_zero_at_28_and_full_at_32) {
    frame_cameras at28, at32;
    direct_cameras_without_jitter(28.0, Vec3{}, at28);
    expect_vec(at28.context_camera.eye, 280.0, -24.0 * std::sin(M_PI * 0.8),
               340.0 + 50.0 + 48.0 * 0.5 * (1 - std::cos(M_PI * 0.6)));
    direct_cameras_without_jitter(32.0, Vec3{}, at32);
    // Blend 1 is complete at 32, blend 2 (from 29, 0.3) is under way.
    EXPECT_GT(at32.context_camera.up.z, 0.0f);
}

TEST(context_camera, copies_camera_1_only_above_43_2) {
    frame_cameras at, above;
    direct_cameras_without_jitter(43.2, Vec3{}, at);
    EXPECT_NE(at.context_camera.eye.x, at.camera_1.eye.x);
    direct_cameras_without_jitter(43.2001, Vec3{}, above);
    expect_same_pose(above.context_camera, above.camera_1);
}

TEST(cameras, anchors_follow_their_formulas) {
    frame_cameras c;
    direct_cameras_without_jitter(31.0, Vec3{}, c);
    expect_vec(c.anchor_1, 230.0 + 130.0 * 2.0, -34.2, 0.0);
    EXPECT_EQ(c.anchor_1.state, 1);
    direct_cameras_without_jitter(80.0, Vec3{}, c);
    expect_vec(c.anchor_2, 3940.0, 1388.0 + 14000.0, 100.0);
    direct_cameras_without_jitter(220.0, Vec3{}, c);
    expect_vec(c.anchor_3, 39.6 + 1.0 + 3.0 * 5.6, 3.65, 0.0);
}

TEST(cameras, camera_1_base_sinks_after_42) {
    frame_cameras c;
    direct_cameras_without_jitter(45.0, Vec3{}, c);
    expect_vec(c.camera_1.eye, 0.0, -90.0, 500.0);
    expect_vec(c.camera_1.centre, 0.0, -90.0, 0.0);
}

TEST(cameras, camera_3_orbits_the_script_anchor_late) {
    frame_cameras c;
    const Vec3 anchor = make_vec3(100.0f, 20.0f, 5.0f);
    // At 182 blend 1 (k = 2) is full and blend 2 is at ease(0.69, 1).
    direct_cameras_without_jitter(200.0, anchor, c);
    // Blend 2 is complete by 183.4, f = 1.7 from 190.4.
    expect_vec(c.camera_3.eye, 100.0, 20.0 + 0.1 + 6.0 * 1.7, 5.0 - 54.0, 2e-3);
    expect_vec(c.camera_3.up, 0.0, 1.0, -1.6, 1e-5);
}

TEST(cameras, camera_2_is_shaken_only_inside_its_envelope) {
    frame_cameras before, during;
    direct_cameras_without_jitter(200.0, Vec3{}, before);
    EXPECT_FLOAT_EQ(before.camera_2.up.x, 0.0f);
    EXPECT_FLOAT_EQ(before.camera_2.eye.y, before.camera_2.centre.y);
    direct_cameras_without_jitter(220.0, Vec3{}, during);
    EXPECT_NE(during.camera_2.up.x, 0.0f);
}

TEST(track_jitter, moves_the_cameras_by_the_replayed_point) {
    const camera_track track = track_of(101);
    const double T = 1.0; // index 35
    frame_cameras plain, jittered;
    direct_cameras_without_jitter(T, Vec3{}, plain);
    direct_cameras(T, Vec3{}, track, jittered);
    const Vec3 p = track.raw_points[35];
    const double k = 0.03 * 0.3;
    const double tilt = 0.02 * std::sin(105.0 * 1.7188733853924696 * 0.03);
    expect_vec(jittered.context_camera.eye, plain.context_camera.eye.x + p.x * k,
               plain.context_camera.eye.y + p.y * k, plain.context_camera.eye.z + p.z * k);
    EXPECT_NEAR(jittered.context_camera.up.x, tilt, 1e-6);
    expect_vec(jittered.camera_1.centre, plain.camera_1.centre.x - p.x * k, plain.camera_1.centre.y - p.y * k,
               plain.camera_1.centre.z - p.z * k);
    EXPECT_NEAR(jittered.camera_1.up.z, -tilt, 1e-6);
    expect_vec(jittered.camera_3.eye, plain.camera_3.eye.x - p.x * k * 0.1,
               plain.camera_3.eye.y - p.y * k * 0.1, plain.camera_3.eye.z - p.z * k * 0.1);
    const double k2 = 0.1 * 0.3 * 0.03 * 0.2;
    expect_vec(jittered.camera_2.eye, plain.camera_2.eye.x - p.x * k2, plain.camera_2.eye.y - p.y * k2,
               plain.camera_2.eye.z - p.z * k2);
    EXPECT_NEAR(jittered.track_sway_x, p.x * 0.0001 * 3 * 0.5 * 1.5, 1e-12);
    EXPECT_NEAR(jittered.track_sway_y, p.y * 0.0001 * 3 * 0.5 * 1.5, 1e-12);
}

TEST(track_jitter, above_43_2_context_is_camera_1_before_its_jitter_plus_jitter) {
    const camera_track track = track_of(50);
    frame_cameras plain, jittered;
    direct_cameras_without_jitter(50.0, Vec3{}, plain);
    direct_cameras(50.0, Vec3{}, track, jittered);
    uint32_t index = 0;
    ASSERT_TRUE(track_index(50.0, 50, index));
    const Vec3 p = track.raw_points[index];
    const double k = 0.03 * jitter_amount(50.0);
    EXPECT_NEAR(jittered.context_camera.eye.y, plain.camera_1.eye.y + p.y * k, 1e-3);
    EXPECT_NEAR(jittered.camera_1.eye.y, plain.camera_1.eye.y - p.y * k, 1e-3);
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
