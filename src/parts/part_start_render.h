// The frame composition's pure pieces, as plain functions of the scene time
// so that they can be checked without a GL context: the clock shaping, the
// camera choreography with its hand-held jitter, and the sway values.
#pragma once

#include <cstdint>

#include "math/path.h"
#include "math/vec3.h"
#include "parts/show_clock.h"

// Sway factor by T: 0.5, then 1.5 from 27, 0.6 from 38, 1.6 from 75, 0.8
// from 88, 0.3 from 170, 0.6 from 215 (each boundary belongs to the upper
// interval).
double sway_factor(double T);

// Index into a track of `point_count` points replayed at 35 points a second
// (340 points ahead once T passes 70), wrapping modulo point_count - 1.
// False for a track of fewer than two points.
bool track_index(double T, size_t point_count, uint32_t& index);

// 0.3 + 0.3 (30 ramp(70, 0.3) + 10 ramp(62, 0.3) - 40 ramp(85, 0.4))
float jitter_amount(double T);

// Every camera and anchor of one frame.
struct frame_cameras {
    camera_pose context_camera;
    camera_pose camera_1, camera_2, camera_3;
    Vec3 anchor_1, anchor_2, anchor_3;
    double track_sway_x = 0.0;
    double track_sway_y = 0.0;
};

// Base poses, eased blends, the copy of camera_1 into the context camera
// after T = 43.2, then the track jitter and sways. `script_anchor` is the
// value the scene script left in the previous frame. A track of fewer than
// two points adds no jitter and gives zero sways.
void direct_cameras(double T, const Vec3& script_anchor, const camera_track& track, frame_cameras& out);

// The same without the jitter and sway step (what the jitter is added to).
void direct_cameras_without_jitter(double T, const Vec3& script_anchor, frame_cameras& out);
