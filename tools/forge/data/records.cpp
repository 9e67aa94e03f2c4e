#include "records.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "geometry.h"

namespace forge {

namespace {

constexpr double pi = 3.14159265358979323846;

// Values are written byte by byte, little-endian, whatever the host's byte
// order, so the files never depend on the machine or on struct padding.
void put_bytes(std::string& out, const void* data, size_t n) {
    out.append(static_cast<const char*>(data), n);
}
void put_i32(std::string& out, int32_t v) {
    uint32_t u = static_cast<uint32_t>(v);
    char b[4] = {char(u & 0xFF), char((u >> 8) & 0xFF), char((u >> 16) & 0xFF), char((u >> 24) & 0xFF)};
    put_bytes(out, b, 4);
}
void put_i16(std::string& out, int16_t v) {
    uint16_t u = static_cast<uint16_t>(v);
    char b[2] = {char(u & 0xFF), char((u >> 8) & 0xFF)};
    put_bytes(out, b, 2);
}
void put_f32(std::string& out, float v) {
    uint32_t u;
    std::memcpy(&u, &v, 4);
    put_i32(out, static_cast<int32_t>(u));
}
void put_f64(std::string& out, double v) {
    uint64_t u;
    std::memcpy(&u, &v, 8);
    put_i32(out, static_cast<int32_t>(u & 0xFFFFFFFFu));
    put_i32(out, static_cast<int32_t>(u >> 32));
}

// One axis of hand-held motion: slow drift, breathing and a fine tremor.
// Every component repeats a whole number of times over the track, so the
// replay wraps without a jump.
struct wobble {
    int cycles;       // repeats per track length
    double amplitude; // track units
    double phase;
};

double sway(const std::vector<wobble>& parts, double position) {
    double v = 0;
    for (const wobble& w : parts)
        v += w.amplitude * std::sin(2 * pi * w.cycles * position + w.phase);
    return v;
}

} // namespace

std::string camera_track_file() {
    // One track period is track_records - 1 records (the last repeats the
    // first); 35 records are one second of replay, so `cycles` / 260 s is
    // the frequency: 23 cycles ~ 0.09 Hz drift, 300 cycles ~ 1.15 Hz sway,
    // 1100 ~ 4.2 Hz tremor. Amplitudes in track units: the show moves its
    // main camera by 0.009 of them (about one unit per hundred), which reads
    // as a held camera at 300-400 units from the picture.
    const std::vector<wobble> x_parts = {{23, 62, 0.3}, {61, 38, 1.9}, {137, 21, 4.1},
                                         {301, 9, 0.7}, {523, 4, 2.6}, {1103, 1.2, 5.0}};
    const std::vector<wobble> y_parts = {{19, 55, 2.2},  {53, 41, 0.4},   {149, 19, 3.3},
                                         {277, 10, 1.1}, {587, 3.5, 4.4}, {1201, 1.1, 0.9}};
    const std::vector<wobble> z_parts = {{11, 24, 1.0}, {41, 12, 2.8}, {211, 4, 0.2}};
    const std::vector<wobble> roll_parts = {{17, 8, 0.6}, {67, 5, 3.9}, {229, 2, 1.7}};
    std::string out;
    const int period = track_records - 1;
    for (int i = 0; i < track_records; ++i) {
        double s = double(i % period) / period;
        put_f32(out, static_cast<float>(sway(x_parts, s)));
        put_f32(out, static_cast<float>(sway(y_parts, s)));
        put_f32(out, static_cast<float>(sway(z_parts, s)));
        put_f64(out, sway(roll_parts, s)); // value a: the roll that tilts the up vector
        put_f64(out, (i % period) / 35.0); // value b: recording time, seconds
    }
    return out;
}

namespace {

// The outline animation: a trumpet player dancing in place. Drawn in screen
// terms (u right, v up, about +-0.8); the show turns the file's frame so that
// file +x is up and file -y is right, so points are stored as (v, -u).
struct figure_pose {
    std::vector<std::pair<double, polygon>> parts; // depth order, outline
};

p2 rot(p2 p, p2 c, double a) {
    double s = std::sin(a), co = std::cos(a);
    return {c.x + co * (p.x - c.x) - s * (p.y - c.y), c.y + s * (p.x - c.x) + co * (p.y - c.y)};
}

polygon limb(p2 a, p2 b, double w0, double w1) {
    // A tapered limb with rounded ends, as one outline.
    polygon p;
    double dx = b.x - a.x, dy = b.y - a.y, base = std::atan2(dy, dx);
    for (int i = 0; i <= 8; ++i) {
        double t = base + pi / 2 + pi * i / 8;
        p.push_back({a.x + w0 / 2 * std::cos(t), a.y + w0 / 2 * std::sin(t)});
    }
    for (int i = 0; i <= 8; ++i) {
        double t = base - pi / 2 + pi * i / 8;
        p.push_back({b.x + w1 / 2 * std::cos(t), b.y + w1 / 2 * std::sin(t)});
    }
    return p;
}

figure_pose dancer(double phase) {
    // phase in [0, 1): the loop. Four bounces, two sways, one trumpet swing.
    double bounce = 0.5 - 0.5 * std::cos(2 * pi * 4 * phase);
    double sway_a = std::sin(2 * pi * 2 * phase);
    double swing = std::sin(2 * pi * phase);
    double step = std::sin(2 * pi * 2 * phase);
    figure_pose f;
    double hip_y = -0.12 - 0.06 * bounce;
    p2 hip{0.03 * sway_a, hip_y};
    p2 neck{hip.x + 0.05 * sway_a, hip.y + 0.48};
    p2 head{neck.x + 0.03 * sway_a, neck.y + 0.15};
    // Legs: the knees bend with the bounce, the feet step in turn.
    for (int side = 0; side < 2; ++side) {
        double sgn = side ? 1 : -1;
        double lift = std::max(0.0, sgn * step) * 0.07;
        p2 foot{sgn * 0.16 + 0.04 * sgn * step, -0.72 + lift};
        p2 hip_j{hip.x + sgn * 0.07, hip.y};
        double knee_out = 0.05 + 0.07 * bounce;
        p2 knee{(hip_j.x + foot.x) / 2 + sgn * knee_out, (hip_j.y + foot.y) / 2};
        f.parts.push_back({1, limb(hip_j, knee, 0.13, 0.11)});
        f.parts.push_back({1, limb(knee, foot, 0.11, 0.08)});
        f.parts.push_back({1, limb(foot, {foot.x + sgn * 0.1, foot.y - 0.01}, 0.07, 0.06)});
    }
    // Torso and coat tails.
    polygon torso{{hip.x - 0.13, hip.y - 0.02},
                  {hip.x + 0.13, hip.y - 0.02},
                  {neck.x + 0.15, neck.y - 0.02},
                  {neck.x - 0.15, neck.y - 0.02}};
    f.parts.push_back({2, torso});
    f.parts.push_back(
        {2, {{hip.x - 0.13, hip.y}, {hip.x - 0.04, hip.y}, {hip.x - 0.2 - 0.04 * sway_a, hip.y - 0.2}}});
    // Head, hat with brim.
    f.parts.push_back({3, circle(head, 0.1, 20)});
    double tilt = -0.25 + 0.2 * swing;
    polygon hat = {{-0.09, 0.06}, {0.09, 0.06}, {0.08, 0.2}, {-0.08, 0.2}};
    polygon brim = {{-0.15, 0.05}, {0.15, 0.05}, {0.15, 0.08}, {-0.15, 0.08}};
    f.parts.push_back({3, transformed(hat, head.x, head.y, tilt * 0.5)});
    f.parts.push_back({3, transformed(brim, head.x, head.y, tilt * 0.5)});
    // Trumpet held at the mouth, swinging up and down.
    double aim = 0.15 + 0.35 * swing;
    p2 mouth{head.x + 0.08, head.y - 0.03};
    p2 bell_end = rot({mouth.x + 0.55, mouth.y}, mouth, aim);
    p2 valve_pt = rot({mouth.x + 0.25, mouth.y}, mouth, aim);
    f.parts.push_back({4, limb(mouth, bell_end, 0.035, 0.035)});
    polygon bell = {{0.0, -0.02}, {0.0, 0.02}, {0.16, 0.11}, {0.16, -0.11}};
    f.parts.push_back(
        {4, transformed(bell, bell_end.x - 0.12 * std::cos(aim), bell_end.y - 0.12 * std::sin(aim), aim)});
    polygon valves = {{-0.07, -0.02}, {0.07, -0.02}, {0.07, 0.1}, {-0.07, 0.1}};
    f.parts.push_back({4, transformed(valves, valve_pt.x, valve_pt.y, aim)});
    // Arms from the shoulders to the valves and the leadpipe.
    p2 shoulder_r{neck.x + 0.12, neck.y - 0.05}, shoulder_l{neck.x - 0.12, neck.y - 0.05};
    p2 hand_r = rot({valve_pt.x, valve_pt.y + 0.06}, valve_pt, 0);
    p2 hand_l = rot({mouth.x + 0.12, mouth.y - 0.02}, mouth, aim);
    p2 elbow_r{(shoulder_r.x + hand_r.x) / 2 + 0.04, std::min(shoulder_r.y, hand_r.y) - 0.12};
    p2 elbow_l{(shoulder_l.x + hand_l.x) / 2 - 0.05, std::min(shoulder_l.y, hand_l.y) - 0.14};
    f.parts.push_back({5, limb(shoulder_l, elbow_l, 0.09, 0.075)});
    f.parts.push_back({5, limb(elbow_l, hand_l, 0.075, 0.06)});
    f.parts.push_back({5, limb(shoulder_r, elbow_r, 0.09, 0.075)});
    f.parts.push_back({5, limb(elbow_r, hand_r, 0.075, 0.06)});
    return f;
}

void put_shape(std::string& out, const std::vector<std::pair<double, polygon>>& parts) {
    put_i32(out, static_cast<int32_t>(parts.size()));
    for (const auto& [depth, outline] : parts) {
        put_i32(out, static_cast<int32_t>(outline.size()));
        put_f64(out, depth);
        for (p2 p : outline) {
            // Screen (u, v) to file (v, -u), 30000 file units to one unit.
            double fx = std::round(p.y * 30000), fy = std::round(-p.x * 30000);
            put_i16(out, static_cast<int16_t>(std::clamp(fx, -32767.0, 32767.0)));
            put_i16(out, static_cast<int16_t>(std::clamp(fy, -32767.0, 32767.0)));
        }
    }
}

} // namespace

std::string outline_shape_file() {
    std::string out;
    put_i32(out, shape_frames);
    put_i32(out, 120); // reserved: the playback rate the animation is drawn for
    put_i32(out, 0);   // reserved
    put_i32(out, shape_count);
    for (int k = 0; k < shape_frames; ++k) {
        figure_pose f = dancer(double(k) / shape_frames);
        // Shape 0: the dancer's shadow, the figure squashed onto the floor.
        std::vector<std::pair<double, polygon>> shadow;
        for (const auto& [depth, outline] : f.parts) {
            polygon s;
            for (p2 p : outline)
                s.push_back({p.x + 0.35 * (p.y + 0.72), -0.74 - 0.18 * (p.y + 0.72)});
            shadow.push_back({0, s});
        }
        put_shape(out, shadow);
        put_shape(out, f.parts);
    }
    return out;
}

} // namespace forge
