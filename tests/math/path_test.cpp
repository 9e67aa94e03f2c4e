#include "math/path.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

path make_path(const std::vector<Vec3>& points, bool looped) {
    path p;
    p.looped = looped;
    for (const Vec3& v : points)
        append_point(p, v);
    return p;
}

std::vector<Vec3> five_points() {
    return {{1, 0, 0, 0}, {1, 1, 2, 0}, {1, 3, 1, 1}, {1, 4, 4, -1}, {1, 6, 5, 2}};
}

void expect_same(const Vec3& a, const Vec3& b, float tolerance = 0.0f) {
    EXPECT_NEAR(a.x, b.x, tolerance);
    EXPECT_NEAR(a.y, b.y, tolerance);
    EXPECT_NEAR(a.z, b.z, tolerance);
}

float distance(const Vec3& a, const Vec3& b) {
    return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z));
}

std::string write_file(const char* name, const std::vector<unsigned char>& bytes) {
    std::string file = testing::TempDir() + std::to_string(getpid()) + "_" + name;
    std::FILE* f = std::fopen(file.c_str(), "wb");
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return file;
}

void put_record(std::vector<unsigned char>& out, float x, float y, float z, double a, double b) {
    unsigned char rec[28];
    std::memcpy(rec, &x, 4);
    std::memcpy(rec + 4, &y, 4);
    std::memcpy(rec + 8, &z, 4);
    std::memcpy(rec + 12, &a, 8);
    std::memcpy(rec + 20, &b, 8);
    out.insert(out.end(), rec, rec + 28);
}

} // namespace

TEST(path_evaluate, open_path_hits_and_clamps_its_ends) {
    auto pts = five_points();
    path p = make_path(pts, false);
    expect_same(evaluate(p, 0.0f), pts[0]);
    expect_same(evaluate(p, 4.0f), pts[4]);
    expect_same(evaluate(p, -1.0f), pts[0]);
    expect_same(evaluate(p, 7.0f), pts[4]);
    for (int k = 0; k < 5; ++k)
        expect_same(evaluate(p, static_cast<float>(k)), pts[k]);

    Vec3 mid = evaluate(p, 2.5f);
    EXPECT_GT(mid.x, pts[2].x);
    EXPECT_LT(mid.x, pts[3].x);
}

TEST(path_evaluate, open_end_clamp_copies_the_whole_record) {
    auto pts = five_points();
    pts[4].state = 2;
    path p = make_path(pts, false);
    Vec3 out{7, 9, 9, 9};
    evaluate(p, 5.5f, out);
    EXPECT_EQ(out.state, 2);
    expect_same(out, pts[4]);

    // Inside the curve the caller's state stays.
    out.state = 7;
    evaluate(p, 1.5f, out);
    EXPECT_EQ(out.state, 7);
}

TEST(path_evaluate, looped_path_wraps_around) {
    auto pts = five_points();
    path p = make_path(pts, true);
    expect_same(evaluate(p, 5.0f), pts[0]);
    expect_same(evaluate(p, -1.0f), pts[4], 1e-3f);
    for (int k = 0; k < 5; ++k)
        expect_same(evaluate(p, static_cast<float>(k)), pts[k]);

    // Between the last point and the first the curve closes the loop.
    Vec3 closing = evaluate(p, 4.5f);
    EXPECT_LT(closing.x, pts[4].x);
    EXPECT_GT(closing.x, pts[0].x);
    // Whole turns land on the same point.
    expect_same(evaluate(p, 1.25f), evaluate(p, 11.25f), 1e-3f);
}

TEST(path_evaluate, straight_line_is_reproduced_at_constant_speed) {
    std::vector<Vec3> line;
    for (int k = 0; k < 12; ++k)
        line.push_back({1, 2.0f * k, -1.0f * k, 0.5f * k});
    path p = make_path(line, false);
    // The end segments repeat their end points; the interior ones are linear.
    for (float u = 1.0f; u <= 10.0f; u += 0.125f) {
        Vec3 v = evaluate(p, u);
        EXPECT_NEAR(v.x, 2.0f * u, 1e-4f) << u;
        EXPECT_NEAR(v.y, -1.0f * u, 1e-4f) << u;
        EXPECT_NEAR(v.z, 0.5f * u, 1e-4f) << u;
    }
}

TEST(path_evaluate, paths_too_short_give_the_zero_vector) {
    Vec3 out{1, 5, 5, 5};
    path empty_open = make_path({}, false);
    evaluate(empty_open, 0.5f, out);
    expect_same(out, Vec3{1, 0, 0, 0});

    path two_looped = make_path({{1, 1, 1, 1}, {1, 2, 2, 2}}, true);
    out = Vec3{1, 5, 5, 5};
    evaluate(two_looped, 1.0f, out);
    expect_same(out, Vec3{1, 0, 0, 0});

    // One point on an open path is a constant curve.
    path one_open = make_path({{1, 3, 4, 5}}, false);
    expect_same(evaluate(one_open, 0.7f), Vec3{1, 3, 4, 5});

    // A count larger than the array is not trusted past the array.
    path lying = make_path({{1, 1, 0, 0}, {1, 2, 0, 0}}, true);
    lying.count = 1000;
    expect_same(evaluate(lying, 500.0f), Vec3{1, 0, 0, 0});
}

TEST(path_evaluate, odd_parameters_stay_inside_the_points) {
    path p = make_path(five_points(), true);
    expect_same(evaluate(p, std::nanf("")), Vec3{1, 0, 0, 0});
    expect_same(evaluate(p, INFINITY), Vec3{1, 0, 0, 0});
    // Far below the wrap offset the index still wraps into the points.
    Vec3 far = evaluate(p, -1.0e6f);
    EXPECT_TRUE(std::isfinite(far.x) && std::isfinite(far.y) && std::isfinite(far.z));

    path q = make_path(five_points(), false);
    expect_same(evaluate(q, -1.0e30f), five_points()[0]);
    expect_same(evaluate(q, 1.0e30f), five_points()[4]);
}

TEST(path_evaluate, long_paths_index_beyond_sixteen_bits) {
    std::vector<Vec3> line;
    for (int k = 0; k < 40000; ++k)
        line.push_back({1, static_cast<float>(k), 0, 0});
    path p = make_path(line, true);
    EXPECT_NEAR(evaluate(p, 35000.5f).x, 35000.5f, 1e-2f);
    // At the wrap the whole-turn offset is far beyond float precision; the
    // result is still one of the points.
    Vec3 wrapped = evaluate(p, 39999.0f);
    EXPECT_GE(wrapped.x, 0.0f);
    EXPECT_LE(wrapped.x, 39999.0f);
}

TEST(path_ops, reset_and_copy) {
    path src = make_path(five_points(), false);
    src.mode = 7;
    path dst = make_path({{1, 9, 9, 9}}, true);
    dst.length = 12.0;
    copy(dst, src);
    EXPECT_EQ(dst.count, 5);
    EXPECT_EQ(dst.mode, 7);
    EXPECT_FALSE(dst.looped);
    EXPECT_EQ(dst.points.size(), 5u);
    EXPECT_EQ(dst.points_b.size(), 5u);
    EXPECT_EQ(dst.points_c.size(), 5u);
    EXPECT_EQ(dst.length, 0.0);
    expect_same(dst.points[0], five_points()[0]);

    reset(dst);
    EXPECT_EQ(dst.count, 0);
    EXPECT_EQ(dst.mode, 3);
    EXPECT_FALSE(dst.looped); // looped is not reset
    EXPECT_TRUE(dst.points.empty() && dst.points_b.empty() && dst.points_c.empty());
}

TEST(path_resample, fewer_than_four_points_or_no_subdivisions_do_nothing) {
    path p = make_path({{1, 0, 0, 0}, {1, 1, 0, 0}, {1, 2, 1, 0}}, false);
    resample(p, 10, 3);
    EXPECT_EQ(p.count, 3);
    EXPECT_EQ(p.points.size(), 3u);

    path q = make_path(five_points(), false);
    resample(q, 10, 0);
    EXPECT_EQ(q.count, 5);
}

TEST(path_resample, gives_equal_arc_length_spacing) {
    // An open spiral arc whose control points crowd towards its start.
    auto curve = [](double s) {
        double a = 3.0 * s, r = 5.0 + 3.0 * s;
        return Vec3{1, static_cast<float>(r * std::cos(a)), static_cast<float>(r * std::sin(a)), 0};
    };
    path p;
    p.looped = false;
    p.mode = 1;
    for (int k = 0; k < 16; ++k)
        append_point(p, curve(std::pow(k / 15.0, 1.8)));

    // The curve before resampling, densely, with its running arc length. Its
    // parameter runs to the point count: past the last point an open curve
    // runs out along its end tangent and back, and that stretch counts too.
    const int dense = 200000;
    std::vector<Vec3> samples(dense + 1);
    std::vector<double> arc(dense + 1, 0.0);
    for (int s = 0; s <= dense; ++s) {
        samples[s] = evaluate(p, static_cast<float>(16.0 * s / dense));
        if (s) arc[s] = arc[s - 1] + distance(samples[s - 1], samples[s]);
    }

    const int n = 60;
    resample(p, n, 8);
    ASSERT_EQ(p.count, n);
    EXPECT_EQ(p.points.size(), size_t(n));
    EXPECT_EQ(p.points_b.size(), size_t(n));
    EXPECT_EQ(p.points_c.size(), size_t(n));
    EXPECT_EQ(p.mode, 3);
    EXPECT_FALSE(p.looped);

    // Where each new point lies along the old curve, measured by arc length.
    std::vector<double> position(n);
    int s = 0;
    for (int j = 0; j < n; ++j) {
        double best = 1e9;
        for (int t = s; t <= dense; ++t) {
            double d = distance(samples[t], p.points[j]);
            if (d < best) best = d, s = t;
            if (d > best + 1.0) break;
        }
        ASSERT_LT(best, 1e-3) << j;
        position[j] = arc[s];
    }
    // Equal steps from the start (eight chords per segment measure the arc
    // to within a percent or two), up to the last control point: beyond
    // it the way out and the way back cannot be told apart by position.
    const double step = arc[dense] / n;
    const double last_point = arc[dense * 15 / 16];
    EXPECT_NEAR(position[0], 0.0, 1e-6);
    int checked = 0;
    for (int j = 1; j < n && position[j] < last_point; ++j, ++checked)
        EXPECT_NEAR(position[j] - position[j - 1], step, step * 0.02) << j;
    EXPECT_GT(checked, 45);
}

TEST(camera_track, missing_file_returns_zero_and_changes_nothing) {
    camera_track track;
    track.values_a = {1.0, 2.0};
    EXPECT_EQ(load_camera_track(track, "no/such/dir/try1.sav"), 0);
    EXPECT_EQ(track.values_a.size(), 2u);
}

TEST(camera_track, empty_file_gives_empty_arrays_and_paths) {
    camera_track track;
    track.values_a = {1.0};
    std::string file = write_file("empty.sav", {});
    EXPECT_NE(load_camera_track(track, file.c_str()), 0);
    EXPECT_TRUE(track.raw_points.empty());
    EXPECT_TRUE(track.values_a.empty());
    EXPECT_TRUE(track.values_b.empty());
    EXPECT_EQ(track.position_path.count, 0);
    EXPECT_EQ(track.values_a_path.count, 0);
    EXPECT_EQ(track.values_b_path.count, 0);
}

TEST(camera_track, trailing_partial_record_is_ignored) {
    std::vector<unsigned char> bytes;
    put_record(bytes, 1.5f, -2.0f, 3.25f, 0.125, -7.5);
    put_record(bytes, 2.5f, -3.0f, 4.25f, 0.25, -8.5);
    put_record(bytes, 3.5f, -4.0f, 5.25f, 0.5, -9.5);
    for (int k = 0; k < 27; ++k)
        bytes.push_back(0xFF);
    camera_track track;
    std::string file = write_file("partial.sav", bytes);
    ASSERT_NE(load_camera_track(track, file.c_str()), 0);
    ASSERT_EQ(track.raw_points.size(), 3u);
    EXPECT_EQ(track.raw_points[2].state, 1);
    EXPECT_EQ(track.raw_points[2].x, 3.5f);
    EXPECT_EQ(track.raw_points[2].y, -4.0f);
    EXPECT_EQ(track.raw_points[2].z, 5.25f);
    // Three points are too few to resample: the values stay as read (as floats).
    ASSERT_EQ(track.values_a.size(), 3u);
    EXPECT_EQ(track.values_a[1], 0.25);
    EXPECT_EQ(track.values_b[2], -9.5);
    EXPECT_EQ(track.position_path.count, 3);
}

TEST(camera_track, short_track_smooths_without_reading_past_its_values) {
    // 7 records: a twentieth rounds to 0 points, so the value smoothing has
    // nothing to hand back and the values stay as recorded.
    std::vector<unsigned char> bytes;
    for (int k = 0; k < 7; ++k)
        put_record(bytes, float(k), 0, 0, k * 0.5, k * 0.25);
    camera_track track;
    load_camera_track_bytes(track, bytes.data(), bytes.size());
    ASSERT_EQ(track.values_b.size(), 7u);
    EXPECT_EQ(track.values_b[6], 1.5);
    EXPECT_EQ(track.values_b_path.count, 0);
    EXPECT_EQ(track.position_path.count, 1); // a fifth of 7, then too few to grow back
}

TEST(camera_track, recorded_loop_becomes_n_evenly_spaced_smooth_points) {
    // 350 records (ten seconds) around an ellipse, recorded at uneven speed,
    // with constant values.
    const int n = 350;
    std::vector<unsigned char> bytes;
    for (int k = 0; k < n; ++k) {
        double a = 2 * M_PI * (k + 8 * std::sin(2 * M_PI * k / n)) / n;
        put_record(bytes, float(4 * std::cos(a)), float(2 * std::sin(a)), 1.0f, 0.75, -0.25);
    }
    camera_track track;
    load_camera_track_bytes(track, bytes.data(), bytes.size());
    ASSERT_EQ(track.raw_points.size(), size_t(n));
    ASSERT_EQ(track.position_path.count, n);
    EXPECT_TRUE(track.position_path.looped);
    ASSERT_EQ(track.values_a_path.count, n);
    ASSERT_EQ(track.values_b_path.count, n);

    // Even spacing away from the wrap (where the whole-turn offset rounds
    // the local parameter to quarters of a segment at this length).
    double lo = 1e9, hi = 0;
    for (int k = 0; k + 1 < n; ++k) {
        EXPECT_NEAR(track.position_path.points[k].z, 1.0f, 1e-4f);
        if (k < 20 || k > n - 20) continue;
        double d = distance(track.position_path.points[k], track.position_path.points[k + 1]);
        lo = std::min(lo, d);
        hi = std::max(hi, d);
    }
    EXPECT_LT((hi - lo) / hi, 0.02);

    // Constant values stay constant. The value paths are looped too, so
    // their arc length includes the way back from the last index to 0:
    // point k lies near index 2k on the way out.
    for (int k = 0; k < n; ++k) {
        EXPECT_NEAR(track.values_a[k], 0.75, 1e-4) << k;
        EXPECT_NEAR(track.values_b[k], -0.25, 1e-4) << k;
    }
    EXPECT_GT(track.values_a_path.points[100].x, 180.0f);
    EXPECT_LT(track.values_a_path.points[100].x, 220.0f);
}
