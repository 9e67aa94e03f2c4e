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

// Operations write into `out` (which may alias an operand). An operand in
// state 0 gives the valid zero vector (1, 0, 0, 0). add, subtract and cross
// give state 1; scale keeps the operand's state (a scaled unit vector stays
// in state 2 although its length changed).
void add(const Vec3& a, const Vec3& b, Vec3& out);
void subtract(const Vec3& a, const Vec3& b, Vec3& out);
void cross(const Vec3& a, const Vec3& b, Vec3& out);
void scale(const Vec3& a, float s, Vec3& out);
// Squares and sum in single precision.
float length(const Vec3& a);
// Only a vector in state 1 changes: it becomes state 2, of unit length, or
// zero when shorter than 1e-8. States 0 and 2 are left alone.
void normalize(Vec3& v);
// v = Rx(ax) * Ry(ay) * Rz(az) * v, angles in radians; state 1.
void rotate_euler(Vec3& v, double ax, double ay, double az);

// Value forms: sum, difference, cross product (a ^ b), product with a scalar.
Vec3 operator+(const Vec3& a, const Vec3& b);
Vec3 operator-(const Vec3& a, const Vec3& b);
Vec3 operator^(const Vec3& a, const Vec3& b);
Vec3 operator*(const Vec3& a, float s);

inline Vec3 make_vec3(float x, float y, float z) { return Vec3{1, x, y, z}; }

// (1 - ((1 + cos(pi x)) / 2) ^ ((k - 1) / 2 + 1)) ^ k: 0 at x = 0, 1 at x = 1,
// period 2 outside [0, 1]; k = 1 is the plain cosine ease.
double ease_cos(const double* x, const double* k);
inline double ease_cos(double x, double k) { return ease_cos(&x, &k); }
// x + ((x / 2) ^ 2.2 - x) * (1 - clamp(0.3 x, 0, 1)): slow start, equal to x
// from 1 / 0.3 on. Defined for x >= 0.
double response_curve(const double* x);
inline double response_curve(double x) { return response_curve(&x); }
