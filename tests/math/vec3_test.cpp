// Vec3 arithmetic and its state flag, the rotation and the easing curves.
#include <gtest/gtest.h>

#include <cmath>

#include "math/vec3.h"

namespace {

constexpr double pi = 3.14159265358979323846;
const Vec3 unset{0, 5.0f, 6.0f, 7.0f};

void expect_vec(const Vec3& v, int state, float x, float y, float z, float tolerance = 0.0f) {
    EXPECT_EQ(v.state, state);
    EXPECT_NEAR(v.x, x, tolerance);
    EXPECT_NEAR(v.y, y, tolerance);
    EXPECT_NEAR(v.z, z, tolerance);
}

TEST(vec3, arithmetic_gives_state_1) {
    const Vec3 a{2, 1.0f, 2.0f, 3.0f}, b{1, 4.0f, -5.0f, 6.0f};
    expect_vec(a + b, 1, 5.0f, -3.0f, 9.0f);
    expect_vec(a - b, 1, -3.0f, 7.0f, -3.0f);
    expect_vec(a ^ b, 1, 2 * 6 - 3 * -5, 3 * 4 - 1 * 6, 1 * -5 - 2 * 4);
    Vec3 out{0, 9, 9, 9};
    cross(make_vec3(1, 0, 0), make_vec3(0, 1, 0), out);
    expect_vec(out, 1, 0, 0, 1);
}

TEST(vec3, unset_operand_gives_the_valid_zero_vector) {
    const Vec3 b = make_vec3(1, 2, 3);
    for (const Vec3& r : {unset + b, b + unset, unset - b, b - unset, unset ^ b, b ^ unset, unset * 3.0f})
        expect_vec(r, 1, 0, 0, 0);
}

TEST(vec3, results_may_alias_an_operand) {
    Vec3 a = make_vec3(1, 2, 3);
    add(a, a, a);
    expect_vec(a, 1, 2, 4, 6);
    Vec3 c = make_vec3(0, 1, 0);
    cross(c, make_vec3(0, 0, 1), c);
    expect_vec(c, 1, 1, 0, 0);
}

TEST(vec3, scale_keeps_the_state) {
    Vec3 unit = make_vec3(0, 3, 4);
    normalize(unit);
    const Vec3 doubled = unit * 2.0f;
    expect_vec(doubled, 2, 0.0f, 1.2f, 1.6f, 1e-6f);
    expect_vec(make_vec3(1, 1, 1) * -1.0f, 1, -1, -1, -1);
}

TEST(vec3, normalize_only_touches_state_1) {
    Vec3 zero = make_vec3(0, 0, 0);
    normalize(zero);
    expect_vec(zero, 2, 0, 0, 0);

    Vec3 v = make_vec3(3, 0, 4);
    normalize(v);
    expect_vec(v, 2, 0.6f, 0.0f, 0.8f, 1e-7f);
    const Vec3 once = v;
    normalize(v); // a second call is free
    EXPECT_EQ(v.x, once.x);
    EXPECT_EQ(v.z, once.z);

    Vec3 tiny = make_vec3(1e-9f, 0, 0);
    normalize(tiny);
    expect_vec(tiny, 2, 0, 0, 0);

    Vec3 u = unset;
    normalize(u);
    expect_vec(u, 0, 5, 6, 7);

    Vec3 flagged{2, 3, 0, 4}; // claims unit length: left alone
    normalize(flagged);
    expect_vec(flagged, 2, 3, 0, 4);
}

TEST(vec3, length_is_single_precision) {
    EXPECT_EQ(length(make_vec3(3, 4, 12)), 13.0f);
    const Vec3 big = make_vec3(16777217.0f, 0, 0); // rounds to 2^24 as a float
    EXPECT_EQ(length(big), 16777216.0f);
}

TEST(rotate_euler, zero_angles_keep_the_vector) {
    Vec3 v{2, 1.5f, -2.0f, 0.25f};
    rotate_euler(v, 0, 0, 0);
    expect_vec(v, 1, 1.5f, -2.0f, 0.25f);
}

TEST(rotate_euler, single_axis_turns) {
    Vec3 v = make_vec3(1, 0, 0);
    rotate_euler(v, 0, 0, pi / 2);
    expect_vec(v, 1, 0, 1, 0, 1e-6f); // row 1 gives x * sz
    Vec3 w = make_vec3(0, 1, 0);
    rotate_euler(w, pi / 2, 0, 0);
    expect_vec(w, 1, 0, 0, 1, 1e-6f);
    Vec3 u = make_vec3(0, 0, 1);
    rotate_euler(u, 0, pi / 2, 0);
    expect_vec(u, 1, 1, 0, 0, 1e-6f);
}

TEST(rotate_euler, order_is_x_then_y_then_z_applied_right_to_left) {
    // R = Rx * Ry * Rz: z first. (1,0,0) -> Rz(90) -> (0,1,0) -> Ry(90) keeps -> Rx(90) -> (0,0,1).
    Vec3 v = make_vec3(1, 0, 0);
    rotate_euler(v, pi / 2, pi / 2, pi / 2);
    expect_vec(v, 1, 0, 0, 1, 1e-6f);
    EXPECT_NEAR(length(v), 1.0f, 1e-6f);
}

TEST(easing, ease_cos_ends_and_midpoint) {
    for (double k : {1.0, 2.0, 3.5}) {
        EXPECT_NEAR(ease_cos(0.0, k), 0.0, 1e-12) << k;
        EXPECT_NEAR(ease_cos(1.0, k), 1.0, 1e-12) << k;
    }
    EXPECT_NEAR(ease_cos(0.5, 1.0), 0.5, 1e-12);
    for (double x : {0.1, 0.3, 0.8})
        EXPECT_NEAR(ease_cos(x, 1.0), (1 - std::cos(pi * x)) / 2, 1e-12);
    // Larger k starts slower.
    EXPECT_LT(ease_cos(0.2, 2.0), ease_cos(0.2, 1.0));
    // Period 2 outside [0, 1].
    EXPECT_NEAR(ease_cos(2.3, 2.0), ease_cos(0.3, 2.0), 1e-12);
    EXPECT_NEAR(ease_cos(1.5, 1.0), 0.5, 1e-12);
    const double x = 0.4, k = 2.0;
    EXPECT_EQ(ease_cos(&x, &k), ease_cos(0.4, 2.0));
}

TEST(easing, response_curve_blends_into_identity) {
    EXPECT_EQ(response_curve(0.0), 0.0);
    EXPECT_DOUBLE_EQ(response_curve(4.0), 4.0);
    EXPECT_DOUBLE_EQ(response_curve(1.0 / 0.3), 1.0 / 0.3);
    EXPECT_NEAR(response_curve(1.0), 1.0 + (std::pow(0.5, 2.2) - 1.0) * 0.7, 1e-12);
    double previous = 0.0;
    for (double x = 0.05; x < 4.0; x += 0.05) {
        EXPECT_GT(response_curve(x), previous) << x;
        previous = response_curve(x);
    }
}

} // namespace
