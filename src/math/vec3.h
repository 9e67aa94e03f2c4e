// Three single-precision coordinates with a small state flag in front:
// 0 = unset, 1 = valid, 2 = valid and of unit length. 16 bytes, contiguous
// in arrays.
#pragma once

#include <cstdint>

struct Vec3 {
    int32_t state = 1;
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
};
static_assert(sizeof(Vec3) == 16, "Vec3 is four 32-bit words");

// eye, centre, up; applied with gluLookAt.
struct camera_pose {
    Vec3 eye;
    Vec3 centre;
    Vec3 up;
};
