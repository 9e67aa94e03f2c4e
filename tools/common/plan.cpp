#include <algorithm>
#include <cmath>

#include "common.h"
#include "parts/part_start_render.h"

namespace tools {
namespace {

// The production's clock shaping is linear in the step: factor at scene time T.
double shaping(double T) { return shape_frame_step(T, 1.0); }

// Scene time x from which one step of dt lands on `target`.
double scene_before(double target, double dt) {
    double x = target - dt;
    for (int i = 0; i < 20; ++i)
        x = target - dt * shaping(x);
    return x;
}

} // namespace

double scene_at(double show_time, double dt) {
    double scene = 0.0, t = 0.0;
    while (t + dt <= show_time + 1e-12) {
        scene += shape_frame_step(scene, dt);
        t += dt;
    }
    if (show_time > t) scene += shape_frame_step(scene, show_time - t);
    return scene;
}

double show_at(double scene_target, double dt) {
    double scene = 0.0, t = 0.0;
    while (true) {
        const double next = scene + shape_frame_step(scene, dt);
        if (next >= scene_target) return t + dt * (scene_target - scene) / (next - scene);
        scene = next;
        t += dt;
    }
}

// (The generator's seed is taken from the show time in microseconds,
// truncated: the same frame must come from the same number.)
double on_grid(double t, int fps) {
    const double frames = t * fps;
    const double whole = std::nearbyint(frames);
    return std::fabs(frames - whole) < 1e-6 ? whole / fps : t;
}

std::vector<double> range_times(double from, double to, int fps) {
    const double first = on_grid(from, fps);
    const double steps = (to - first) * fps;
    long count = to >= show_length ? long(std::floor(steps + 1e-6)) + 1 : long(std::ceil(steps - 1e-6));
    count = std::max(count, 1L);
    const double first_frame = first * fps;
    const bool grid = first_frame == std::nearbyint(first_frame);
    std::vector<double> times;
    for (long i = 0; i < count; ++i)
        times.push_back(grid ? (first_frame + double(i)) / fps : first + double(i) / fps);
    return times;
}

segment show_time_segment(const std::vector<double>& times, int fps) {
    const double dt = 1.0 / fps;
    segment s;
    const double warm = std::max(on_grid(times.front() - dt, fps), 0.0);
    s.start_show = std::max(on_grid(warm - dt, fps), 0.0);
    s.start_scene = scene_at(s.start_show, dt);
    s.frames.push_back({warm, false});
    for (double t : times)
        s.frames.push_back({t, true, t, false});
    return s;
}

// At the very start the clock runs from 0 in one shortened step instead.
segment scene_time_segment(double scene, int fps) {
    const double dt = 1.0 / fps;
    const double x1 = scene_before(scene, dt);
    const double x0 = scene_before(x1, dt);
    segment s;
    if (x0 >= 0.0) {
        s.start_scene = x0;
        s.start_show = show_at(x0, dt);
        s.frames = {{s.start_show + dt, false}, {s.start_show + 2 * dt, true, scene, true}};
    } else {
        s.frames = {{0.0, false}, {scene / shaping(0.0), true, scene, true}};
    }
    return s;
}

void keep_inside_show(segment& s) {
    for (planned_frame& f : s.frames)
        f.show_time = std::min(f.show_time, show_length - 1e-7);
}

} // namespace tools
