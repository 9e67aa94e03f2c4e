// Catmull-Rom evaluation, arc-length resampling and the camera-track loader.
#include "math/path.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

// Floor modulo: always in [0, n) for n > 0, whatever the sign of h.
int64_t wrap(int64_t h, int64_t n) {
    int64_t r = h % n;
    return r < 0 ? r + n : r;
}

int64_t clamp_index(int64_t k, int64_t n) { return std::clamp<int64_t>(k, 0, n - 1); }

// Length of a - b: squares and their sum in single precision.
float distance(const Vec3& a, const Vec3& b) {
    float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    float sum = dx * dx + dy * dy + dz * dz;
    return std::sqrt(sum);
}

// One coordinate of the Hermite form of the segment P1..P2; the tangents and
// t squared are rounded to float, the rest is carried in double.
float hermite(float p0, float p1, float p2, float p3, float t, float t2) {
    float m1 = static_cast<float>((static_cast<double>(p2) - p0) * 0.5);
    float m2 = static_cast<float>((static_cast<double>(p3) - p1) * 0.5);
    double a = 2.0 * p1 - 2.0 * p2 + m1 + m2;
    double b = 3.0 * p2 - 3.0 * p1 - 2.0 * m1 - m2;
    return static_cast<float>(p1 + static_cast<double>(m1) * t + (a * t + b) * t2);
}

float read_f32(const unsigned char* p) {
    uint32_t bits = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

double read_f64(const unsigned char* p) {
    uint64_t bits = 0;
    for (int k = 7; k >= 0; --k)
        bits = bits << 8 | p[k];
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

// Two resampling passes (down to `coarse` points, back up to n) turn one
// recorded series into a smooth, evenly spaced one; the result lands in `dst`.
void smooth_into(path& dst, path& temp, int coarse, int n) {
    resample(temp, coarse, 3);
    resample(temp, n, 3);
    copy(dst, temp);
}

// A series of recorded values as the points (k, value, 0) of a looped path,
// smoothed; the values are replaced by the smoothed curve's heights where the
// smoothing left a point for them.
void smooth_values(std::vector<double>& values, path& dst, int divisor) {
    int n = static_cast<int>(values.size());
    path temp;
    for (int k = 0; k < n; ++k)
        append_point(temp, Vec3{1, static_cast<float>(k), static_cast<float>(values[k]), 0});
    smooth_into(dst, temp, n / divisor, n);
    int kept = std::min(n, std::min(temp.count, static_cast<int>(temp.points.size())));
    for (int k = 0; k < kept; ++k)
        values[k] = temp.points[k].y;
}

} // namespace

void evaluate(const path& p, float u, Vec3& out) {
    // Evaluation trusts `count`, but never reads past the array.
    const int64_t n = std::min<int64_t>(p.count, static_cast<int64_t>(p.points.size()));
    const bool too_short = p.looped ? n < 3 : n < 1;
    if (too_short || std::isnan(u) || (p.looped && std::isinf(u))) {
        out.x = out.y = out.z = 0.0f;
        return;
    }

    int64_t i = 0;
    int64_t h = 0;
    float t = 0.0f;
    if (u > 2.0f && u < static_cast<float>(n - 2)) {
        i = static_cast<int64_t>(u);
        h = i;
        t = u - static_cast<float>(i);
    } else if (p.looped) {
        // Shifting by whole turns keeps the wrap on non-negative numbers; the
        // rounding to float makes t coarser far from the origin.
        float shifted = static_cast<float>(static_cast<double>(u) + 10000.0 * static_cast<double>(n));
        double whole = std::trunc(static_cast<double>(shifted));
        t = static_cast<float>(shifted - whole);
        double turns = std::fmod(whole, static_cast<double>(n)); // exact, |turns| < n
        i = wrap(static_cast<int64_t>(turns), n);
        h = i;
    } else {
        double whole = std::trunc(static_cast<double>(u));
        t = static_cast<float>(static_cast<double>(u) - whole);
        if (u > static_cast<float>(n)) t = 1.0f;
        if (u < 0.0f) t = 0.0f;
        i = static_cast<int64_t>(std::clamp(whole, 0.0, static_cast<double>(n - 1)));
        h = i;
    }

    int64_t k0, k1, k2, k3;
    if (p.looped) {
        if (i > 0 && i < n - 2) {
            k0 = i - 1, k1 = i, k2 = i + 1, k3 = i + 2;
        } else if (i == 0) {
            k0 = wrap(h - 1, n), k1 = 0, k2 = 1, k3 = 2;
        } else {
            k0 = i - 1, k1 = i, k2 = wrap(i + 1, n), k3 = wrap(i + 2, n);
        }
    } else {
        k0 = clamp_index(i - 1, n), k1 = clamp_index(i, n), k2 = clamp_index(i + 1, n),
        k3 = clamp_index(i + 2, n);
    }

    const Vec3& p0 = p.points[k0];
    const Vec3& p1 = p.points[k1];
    const Vec3& p2 = p.points[k2];
    const Vec3& p3 = p.points[k3];
    const float t2 = t * t;
    out.x = hermite(p0.x, p1.x, p2.x, p3.x, t, t2);
    out.y = hermite(p0.y, p1.y, p2.y, p3.y, t, t2);
    out.z = hermite(p0.z, p1.z, p2.z, p3.z, t, t2);

    if (!p.looped) {
        if (u > static_cast<float>(n)) out = p.points[n - 1];
        if (u < 0.0f) out = p.points[0];
    }
}

Vec3 evaluate(const path& p, float u) {
    Vec3 out{1, 0.0f, 0.0f, 0.0f};
    evaluate(p, u, out);
    return out;
}

void append_point(path& p, const Vec3& point) {
    p.points.push_back(point);
    p.points_b.push_back(point);
    p.points_c.push_back(point);
    ++p.count;
}

void reset(path& p) {
    p.points.clear();
    p.points_b.clear();
    p.points_c.clear();
    p.count = 0;
    p.mode = 3;
    p.length = 0.0;
}

void copy(path& dst, const path& src) {
    if (&dst == &src) return;
    reset(dst);
    dst.count = src.count;
    dst.mode = src.mode;
    dst.looped = src.looped;
    dst.points.insert(dst.points.end(), src.points.begin(), src.points.end());
    dst.points_b.insert(dst.points_b.end(), src.points_b.begin(), src.points_b.end());
    dst.points_c.insert(dst.points_c.end(), src.points_c.begin(), src.points_c.end());
}

void resample(path& p, int new_count, int subdivisions) {
    if (p.count < 4 || subdivisions <= 0 || new_count < 0) return;

    // Cumulative chord lengths over `subdivisions` chords per segment.
    const int64_t chords = static_cast<int64_t>(subdivisions) * p.count;
    std::vector<float> table(static_cast<size_t>(chords) + 1);
    table[0] = 0.0f;
    Vec3 previous = evaluate(p, 0.0f);
    for (int64_t k = 0; k < chords; ++k) {
        Vec3 next = evaluate(p, static_cast<float>(static_cast<double>(k + 1) / subdivisions));
        table[k + 1] = table[k] + distance(next, previous);
        previous = next;
    }
    const float total = table[chords];

    path temp;
    temp.looped = false;
    temp.mode = 1;
    temp.points.reserve(new_count);
    for (int j = 0; j < new_count; ++j) {
        float d = static_cast<float>(j) / static_cast<float>(new_count) * total;
        // First chord whose end reaches d; the table never decreases, so this
        // is also the first chord with table[k] <= d <= table[k + 1]. A table
        // spoiled by non-finite points falls back to the last chord.
        auto end = std::lower_bound(table.begin() + 1, table.end(), d);
        int64_t k = end == table.end() ? chords - 1 : (end - table.begin()) - 1;
        float segment = table[k + 1] - table[k];
        if (!(segment > 0.001f)) segment = 0.001f;
        float u = static_cast<float>((static_cast<double>(k) + (d - table[k]) / segment) / subdivisions);
        append_point(temp, evaluate(p, u));
    }

    reset(p);
    p.points.reserve(new_count);
    for (int j = 0; j < new_count; ++j)
        append_point(p, evaluate(temp, static_cast<float>(j)));
}

void load_camera_track_bytes(camera_track& track, const unsigned char* data, size_t size) {
    track.raw_points.clear();
    track.values_b.clear();
    track.values_a.clear();
    // Whole records only; the index arithmetic of the paths is int.
    size_t records = std::min<size_t>(size / camera_track_record_size, 1u << 24);
    track.raw_points.reserve(records);
    track.values_a.reserve(records);
    track.values_b.reserve(records);
    for (size_t r = 0; r < records; ++r) {
        const unsigned char* rec = data + r * camera_track_record_size;
        track.raw_points.push_back(Vec3{1, read_f32(rec), read_f32(rec + 4), read_f32(rec + 8)});
        track.values_a.push_back(read_f64(rec + 12));
        track.values_b.push_back(read_f64(rec + 20));
    }

    const int n = static_cast<int>(records);
    path positions; // default: looped, so the closing segment counts too
    for (const Vec3& point : track.raw_points)
        append_point(positions, point);
    smooth_into(track.position_path, positions, n / 5, n);

    smooth_values(track.values_b, track.values_b_path, 20);
    smooth_values(track.values_a, track.values_a_path, 10);
}

int load_camera_track(camera_track& track, const char* file_name) {
    std::FILE* file = std::fopen(file_name, "rb");
    if (!file) return 0;
    std::vector<unsigned char> bytes;
    unsigned char buffer[1 << 16];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + got);
    std::fclose(file);
    load_camera_track_bytes(track, bytes.data(), bytes.size());
    return 1;
}
