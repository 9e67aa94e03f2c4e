// Catmull-Rom paths over Vec3 control points, and the recorded camera track.
#pragma once

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
