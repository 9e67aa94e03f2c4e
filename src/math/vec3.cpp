#include "math/vec3.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr Vec3 valid_zero{1, 0.0f, 0.0f, 0.0f};
constexpr double pi = 3.14159265358979323846;
} // namespace

void add(const Vec3& a, const Vec3& b, Vec3& out) {
    if (a.state == 0 || b.state == 0) {
        out = valid_zero;
        return;
    }
    out = Vec3{1, a.x + b.x, a.y + b.y, a.z + b.z};
}

void subtract(const Vec3& a, const Vec3& b, Vec3& out) {
    if (a.state == 0 || b.state == 0) {
        out = valid_zero;
        return;
    }
    out = Vec3{1, a.x - b.x, a.y - b.y, a.z - b.z};
}

void cross(const Vec3& a, const Vec3& b, Vec3& out) {
    if (a.state == 0 || b.state == 0) {
        out = valid_zero;
        return;
    }
    out = Vec3{1, a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

void scale(const Vec3& a, float s, Vec3& out) {
    if (a.state == 0) {
        out = valid_zero;
        return;
    }
    out = Vec3{a.state, a.x * s, a.y * s, a.z * s};
}

float length(const Vec3& a) {
    const float sum = a.x * a.x + a.y * a.y + a.z * a.z;
    return std::sqrt(sum);
}

void normalize(Vec3& v) {
    if (v.state != 1) return;
    const float len = length(v);
    v.state = 2;
    if (len < 1e-8f) {
        v.x = v.y = v.z = 0.0f;
        return;
    }
    const float inv = 1.0f / len;
    v.x *= inv;
    v.y *= inv;
    v.z *= inv;
}

void rotate_euler(Vec3& v, double ax, double ay, double az) {
    const float cx = float(std::cos(ax)), sx = float(std::sin(ax));
    const float cy = float(std::cos(ay)), sy = float(std::sin(ay));
    const float cz = float(std::cos(az)), sz = float(std::sin(az));
    const float r[3][3] = {
        {cy * cz, -cy * sz, sy},
        {cx * sz + sx * sy * cz, cx * cz - sx * sy * sz, -sx * cy},
        {sx * sz - cx * sy * cz, sx * cz + cx * sy * sz, cx * cy},
    };
    const float x = v.x, y = v.y, z = v.z;
    v = Vec3{1, r[0][0] * x + r[0][1] * y + r[0][2] * z, r[1][0] * x + r[1][1] * y + r[1][2] * z,
             r[2][0] * x + r[2][1] * y + r[2][2] * z};
}

Vec3 operator+(const Vec3& a, const Vec3& b) {
    Vec3 out;
    add(a, b, out);
    return out;
}

Vec3 operator-(const Vec3& a, const Vec3& b) {
    Vec3 out;
    subtract(a, b, out);
    return out;
}

Vec3 operator^(const Vec3& a, const Vec3& b) {
    Vec3 out;
    cross(a, b, out);
    return out;
}

Vec3 operator*(const Vec3& a, float s) {
    Vec3 out;
    scale(a, s, out);
    return out;
}

double ease_cos(const double* x, const double* k) {
    const double half = (1.0 + std::cos(pi * *x)) / 2.0;
    return std::pow(1.0 - std::pow(half, (*k - 1.0) / 2.0 + 1.0), *k);
}

double response_curve(const double* x) {
    const double a = std::pow(*x / 2.0, 2.2);
    const double w = std::clamp(0.3 * *x, 0.0, 1.0);
    return *x + (a - *x) * (1.0 - w);
}
