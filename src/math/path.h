// Catmull-Rom paths over Vec3 control points, and the recorded camera track.
#pragma once

#include <cstddef>
#include <vector>

#include "math/vec3.h"

struct path {
    std::vector<Vec3> points; // the only array that evaluation reads
    std::vector<Vec3> points_b;
    std::vector<Vec3> points_c;
    int mode = 3;
    bool looped = true;
    int count = 0;
    double length = 0;
};

struct camera_track {
    std::vector<Vec3> raw_points;
    std::vector<double> values_a;
    std::vector<double> values_b;
    path position_path;
    path values_a_path;
    path values_b_path;
};

// --- operations ---

// The curve at parameter u: integer u hits control point u. Writes x, y, z of
// `out` and keeps its state, except where an open path is clamped at its ends
// (u < 0 or u > count), which copies the whole end point. A path too short to
// evaluate (looped with fewer than 3 points, open with none) gives x = y = z = 0.
void evaluate(const path& p, float u, Vec3& out);
// The same, starting from the scratch value (1, 0, 0, 0).
Vec3 evaluate(const path& p, float u);

// Appends one control point to all three arrays and counts it.
void append_point(path& p, const Vec3& point);

// Clears the arrays; count = 0, mode = 3, length = 0; `looped` stays.
void reset(path& p);

// dst = src (arrays, count, mode, looped).
void copy(path& dst, const path& src);

// Replaces the control points by new_count points at equal arc-length spacing
// along the current curve, measured over `subdivisions` chords per segment.
// Does nothing below 4 control points or without subdivisions.
void resample(path& p, int new_count, int subdivisions);

// Reads the 28-byte track records of a file and builds the three smoothed,
// evenly spaced paths. Returns nonzero on success, 0 when the file cannot be
// opened (the track is then left as it was).
int load_camera_track(camera_track& track, const char* file_name);
// The same from bytes already in memory (a trailing partial record is ignored).
void load_camera_track_bytes(camera_track& track, const unsigned char* data, size_t size);

// Bytes per record of the track file: float32 x, y, z, float64 a, b.
constexpr size_t camera_track_record_size = 28;
