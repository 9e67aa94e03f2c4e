// Turtle paths, the renderers' vertices and step_noise.
#include <gtest/gtest.h>

#include <cmath>

#include "math/random.h"
#include "scenes/doodles.h"
#include "scenes/scene_script.h"

namespace {

path doodle_path(const std::string& commands) {
    path p;
    build_turtle_path(commands, doodle_turn_steps, doodle_turn, doodle_turn, p);
    return p;
}

path straight_path(int stars) { return doodle_path(std::string(stars, '*')); }

} // namespace

TEST(turtle, star_is_fifteen_steps_along_x) {
    const path p = doodle_path("*");
    ASSERT_EQ(p.count, 15);
    ASSERT_EQ(p.points.size(), 15u);
    EXPECT_FALSE(p.looped);
    for (int i = 0; i < 15; ++i) {
        EXPECT_NEAR(p.points[i].x, 0.3 * (i + 1), 1e-5);
        EXPECT_EQ(p.points[i].y, 0.0f);
    }
}

TEST(turtle, left_turn_of_the_doodle_is_a_half_circle) {
    const path p = doodle_path("l*");
    ASSERT_EQ(p.count, 47 + 15);
    const Vec3& last = p.points[46];
    EXPECT_NEAR(last.x, 0.30, 0.01);
    EXPECT_NEAR(last.y, 8.97, 0.01);
    // The heading after the turn shows in the first straight step.
    const double dx = p.points[47].x - last.x;
    const double dy = p.points[47].y - last.y;
    EXPECT_NEAR(std::atan2(dy, dx), M_PI, 0.0002 + std::abs(M_PI - 47 * 0.06684));
    EXPECT_NEAR(std::hypot(dx, dy), 0.3, 1e-5);
}

TEST(turtle, right_turn_mirrors_left_and_other_bytes_are_skipped) {
    const path l = doodle_path("l");
    const path r = doodle_path("x r?");
    ASSERT_EQ(r.count, 47);
    for (int i = 0; i < 47; ++i) {
        EXPECT_NEAR(r.points[i].x, l.points[i].x, 1e-5);
        EXPECT_NEAR(r.points[i].y, -l.points[i].y, 1e-5);
    }
}

TEST(turtle, track_turns_are_quarter_turns_of_23_steps) {
    path p;
    build_turtle_path("l", track_turn_steps, track_turn_left, track_turn_right, p);
    ASSERT_EQ(p.count, 23);
    path bent;
    build_turtle_path("l", track_turn_steps, track_turn_left + 0.0013, track_turn_right, bent);
    // The bent turn is tighter: its end lies further round the circle.
    EXPECT_LT(bent.points[22].x, p.points[22].x);
}

TEST(turtle, empty_commands_give_an_empty_path) {
    path p = doodle_path("****");
    build_turtle_path("", doodle_turn_steps, doodle_turn, doodle_turn, p);
    EXPECT_EQ(p.count, 0);
    EXPECT_TRUE(p.points.empty());
    std::vector<flat_vertex> out;
    ribbon_vertices(p, 0, 10, 0, 1, nullptr, out);
    track_vertices(p, 0, 10, 0, 1, out);
    dash_vertices(p, 0, 10, 0, 1, out);
    cut_vertices(p, 0, 10, 0, 1, out);
    EXPECT_TRUE(out.empty());
}

TEST(ribbon, equal_start_and_end_give_two_pairs_one_point_apart) {
    const path p = straight_path(1); // 15 points on the x axis
    std::vector<flat_vertex> out;
    ribbon_vertices(p, 2.5, 2.5, 0.0, 1.0, nullptr, out);
    ASSERT_EQ(out.size(), 4u);
    // Position 2.5 lies at x = 0.3 * 3.5; position 1.5 at 0.3 * 2.5. The side
    // of a path along +x is -y.
    EXPECT_NEAR(out[0].x, 1.05, 1e-5);
    EXPECT_NEAR(out[0].y, -1.0, 1e-5);
    EXPECT_NEAR(out[1].x, 1.05, 1e-5);
    EXPECT_NEAR(out[1].y, 1.0, 1e-5);
    EXPECT_NEAR(out[2].x, 0.75, 1e-5);
    EXPECT_NEAR(out[3].x, 0.75, 1e-5);
}

TEST(ribbon, covers_whole_points_between_and_stops_one_behind_end) {
    const path p = straight_path(1);
    std::vector<flat_vertex> out;
    ribbon_vertices(p, 0.5, 6.25, 0.5, 1.0, nullptr, out);
    // First pair, whole points 1..5, last pair.
    ASSERT_EQ(out.size(), 2u * 7u);
    EXPECT_NEAR(out[0].x, 0.3 * 1.5, 1e-5);
    EXPECT_NEAR(out[2].x, 0.3 * 2, 1e-5);
    EXPECT_NEAR(out.back().x, 0.3 * 6.25, 1e-5);
    // The offset moves both sides along the side vector (-y).
    EXPECT_NEAR(out[0].y, -1.5, 1e-5);
    EXPECT_NEAR(out[1].y, 0.5, 1e-5);
}

TEST(ribbon, clamps_positions_and_rejects_short_or_reversed_ranges) {
    const path p = straight_path(1);
    std::vector<flat_vertex> out;
    ribbon_vertices(p, 0, 0.99, 0, 1, nullptr, out);
    EXPECT_TRUE(out.empty());
    ribbon_vertices(p, 5, 4, 0, 1, nullptr, out);
    EXPECT_TRUE(out.empty());
    ribbon_vertices(p, -3, 1000, 0, 1, nullptr, out);
    ASSERT_FALSE(out.empty());
    EXPECT_NEAR(out[0].x, 0.3, 1e-5);
    EXPECT_NEAR(out.back().x, 0.3 * 14, 1e-5); // end clamped to 14, last pair at 13 + 1
    // A start on the very last point still finds a segment.
    out.clear();
    ribbon_vertices(p, 14, 14, 0, 1, nullptr, out);
    ASSERT_EQ(out.size(), 4u);
    EXPECT_NEAR(out[0].x, 0.3 * 15, 1e-5);
}

TEST(ribbon, per_point_widths_when_half_width_is_zero) {
    const path p = straight_path(1);
    std::vector<Vec3> widths(15);
    for (int i = 0; i < 15; ++i)
        widths[i] = make_vec3(float(i), 0, 0);
    std::vector<flat_vertex> out;
    ribbon_vertices(p, 2.5, 4, 0, 0.0, &widths, out);
    ASSERT_EQ(out.size(), 6u);
    EXPECT_NEAR(out[0].y, -2.5, 1e-5);
    EXPECT_NEAR(out[2].y, -3.0, 1e-5);
    // Missing widths draw a zero-width ribbon rather than reading past them.
    std::vector<Vec3> short_widths(2, make_vec3(1, 0, 0));
    out.clear();
    ribbon_vertices(p, 0, 14, 0, 0.0, &short_widths, out);
    EXPECT_NEAR(out[out.size() - 2].y, -1.0, 1e-5);
}

TEST(track, ties_every_ninth_point_then_two_rails) {
    const path p = straight_path(2); // 30 points
    std::vector<flat_vertex> out;
    track_vertices(p, 0, 28, 0, 1.0, out);
    // Ties at 1, 10, 19; rails at 1..27 on each side.
    ASSERT_EQ(out.size(), 4u * (3 + 27 + 27));
    // First tie: 1.3 w either side, 0.8 long.
    EXPECT_NEAR(out[0].y, -1.3, 1e-5);
    EXPECT_NEAR(out[1].y, 1.3, 1e-5);
    EXPECT_NEAR(out[2].x - out[1].x, 0.8, 1e-5);
    // First piece of the left rail, between 0.65 w and 0.8 w.
    EXPECT_NEAR(out[12].y, -0.65, 1e-5);
    EXPECT_NEAR(out[13].y, -0.8, 1e-5);
    // End is clamped to count - 2.
    std::vector<flat_vertex> clamped;
    track_vertices(p, 0, 1000, 0, 1.0, clamped);
    EXPECT_EQ(clamped.size(), out.size());
}

TEST(dashes_and_cut, spacing_and_side) {
    const path p = straight_path(2);
    std::vector<flat_vertex> dashes;
    dash_vertices(p, 0, 28, 0, 1.0, dashes);
    // k = 1, 8, 15, 22 while k < 23.
    ASSERT_EQ(dashes.size(), 16u);
    EXPECT_NEAR(dashes[4].x - dashes[0].x, 0.3 * 7, 1e-5);
    std::vector<flat_vertex> cut;
    cut_vertices(p, 0, 28, 5.0, 1.0, cut);
    ASSERT_EQ(cut.size(), 4u * 27);
    EXPECT_NEAR(cut[0].y, -2.0, 1e-5); // offset has no effect
    EXPECT_NEAR(cut[1].y, -2.1, 1e-5);
}

TEST(step_noise, values_of_the_mask) {
    EXPECT_NEAR(step_noise(0.4), 0.64, 1e-12);
    EXPECT_NEAR(step_noise(0.6), -0.96, 1e-12);
    EXPECT_NEAR(step_noise(0.7), 0.91, 1e-12);
    EXPECT_EQ(step_noise(1.0), 1.0);
    for (double x : {0.0, -0.5, -100.0})
        EXPECT_EQ(step_noise(x), 0.0) << x;
    for (double x : {1.0, 1.5, 100.0})
        EXPECT_EQ(step_noise(x), 1.0) << x;
}

TEST(script_helpers, meander_turns_alternate) {
    show_srand(7);
    const std::string commands = meander_commands(400, 0.3, -1);
    ASSERT_EQ(commands.size(), 400u);
    char expected = 'r';
    int turns = 0;
    for (char c : commands) {
        if (c == '*') continue;
        EXPECT_EQ(c, expected);
        expected = expected == 'l' ? 'r' : 'l';
        ++turns;
    }
    EXPECT_GT(turns, 60);
    EXPECT_LT(turns, 180);
}

TEST(script_helpers, field_cell_draws_ten_values_in_a_fixed_order) {
    show_srand(99);
    const dot_cell a = first_field_cell(10.0, 1.0, 23.0, 0.25);
    const int after = show_rand();
    show_srand(99);
    for (int i = 0; i < 10; ++i)
        show_rand();
    EXPECT_EQ(show_rand(), after);
    show_srand(99);
    EXPECT_DOUBLE_EQ(rand01(), a.u);
    // The same seed gives the same cell; the size stays inside its factor.
    show_srand(99);
    const dot_cell b = first_field_cell(10.0, 1.0, 23.0, 0.25);
    EXPECT_EQ(a.size, b.size);
    EXPECT_GE(a.size, 0.0);
    EXPECT_LE(a.size, 0.25);
    // No wave, no dot.
    show_srand(99);
    EXPECT_EQ(first_field_cell(10.0, 0.0, 23.0, 0.25).size, 0.0);
}

TEST(script_helpers, ramps_and_envelopes) {
    script_frame f;
    f.T = 36.0;
    EXPECT_DOUBLE_EQ(f.ramp(31, 0.2), 1.0);
    EXPECT_DOUBLE_EQ(0.95 * f.envelope(31, 0.2, 69, 0.2), 0.95);
    f.T = 31.0;
    EXPECT_DOUBLE_EQ(f.envelope(31, 0.2, 69, 0.2), 0.0);
    f.T = 70.0;
    EXPECT_NEAR(0.95 * f.envelope(31, 0.2, 69, 0.2), 0.76, 1e-12);
    f.T = 74.0;
    EXPECT_DOUBLE_EQ(f.envelope(31, 0.2, 69, 0.2), 0.0);
    EXPECT_DOUBLE_EQ(f.since(80), 0.0);
    EXPECT_DOUBLE_EQ(f.since(70), 4.0);
}

// Each walker moves on continuously: the model's frames carry the figure
// 0.58 model units forward over a cycle, and the place moves 8.6 units at
// the wrap, so the figure's world x only ever takes small steps forward.
TEST(script_helpers, walkers_move_forward_continuously_across_a_cycle_wrap) {
    for (const bool mirrored : {false, true}) {
        double last = 0.0;
        bool first = true;
        // Frames at 20 a second: step the time so every frame is seen.
        for (double T = 47.0; T < 52.0; T += 0.01) {
            const walker_place w = walker_at(T, 0.5, 0.3, mirrored);
            const double x = w.x + w.scale_x * 0.58 * double(w.frame % 41) / 41.0;
            if (!first) {
                EXPECT_GE(x - last, -1e-9) << "T " << T << (mirrored ? " mirrored" : "");
                EXPECT_LT(x - last, 1.0) << "T " << T << (mirrored ? " mirrored" : "");
            }
            first = false;
            last = x;
        }
    }
}
