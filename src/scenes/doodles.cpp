#include "scenes/doodles.h"

#include "gl/gl.h"

#include <algorithm>
#include <cmath>

#include "scenes/scene_script.h"

double bend_offset = 0.0013;

void build_turtle_path(const std::string& commands, int turn_steps, double left, double right, path& out) {
    reset(out);
    out.looped = false;
    Vec3 position = make_vec3(0.0f, 0.0f, 0.0f);
    Vec3 heading = make_vec3(0.3f, 0.0f, 0.0f);
    for (char c : commands) {
        int steps = 0;
        double turn = 0.0;
        if (c == '*') {
            steps = 15;
        } else if (c == 'l') {
            steps = turn_steps;
            turn = left;
        } else if (c == 'r') {
            steps = turn_steps;
            turn = -right;
        } else {
            continue;
        }
        for (int i = 0; i < steps; ++i) {
            add(position, heading, position);
            if (turn != 0.0) rotate_euler(heading, 0.0, 0.0, turn);
            append_point(out, position);
        }
    }
}

namespace {

// Tangent and side of the segment from point s to s + 1; s is kept inside
// the path so that a start on the very last point reads no further.
struct segment_frame {
    Vec3 t;
    Vec3 n;
};

segment_frame frame_of(const path& p, int s) {
    s = std::clamp(s, 0, p.count - 2);
    segment_frame f;
    subtract(p.points[s + 1], p.points[s], f.t);
    normalize(f.t);
    const Vec3 up = make_vec3(0.0f, 0.0f, 1.0f);
    cross(f.t, up, f.n);
    normalize(f.n);
    return f;
}

// The point at position i + f (f in [0, 1]); i + 1 is kept inside the path.
Vec3 point_at(const path& p, int i, double f) {
    const Vec3& a = p.points[i];
    if (f == 0.0 || i + 1 >= p.count) return make_vec3(a.x, a.y, a.z);
    const Vec3& b = p.points[i + 1];
    const float ff = float(f);
    return make_vec3(a.x + (b.x - a.x) * ff, a.y + (b.y - a.y) * ff, a.z + (b.z - a.z) * ff);
}

// Clamped range of a renderer; false when nothing is drawn.
bool clamp_range(const path& p, double& start, double& end, int last, int& i0, int& i1) {
    if (last < 0) return false;
    start = std::clamp(start, 0.0, double(last));
    end = std::clamp(end, 0.0, double(last));
    if (end < start || end < 1.0) return false;
    i0 = int(start);
    i1 = int(end);
    return true;
}

// Whether the piece at `b` with frame `fb` lies on the straight line that
// the piece at `a` with frame `fa` starts: the same side vector, and b no
// further from a's line than a hundred-thousandth of a unit. The steps of a
// straight command keep one heading, so their pieces pass; the steps of a
// turn turn by hundredths of a radian and never do.
bool continues(const Vec3& a, const segment_frame& fa, const Vec3& b, const segment_frame& fb) {
    return std::abs(fa.n.x - fb.n.x) < 2e-6f && std::abs(fa.n.y - fb.n.y) < 2e-6f &&
           std::abs(fa.t.x * (b.y - a.y) - fa.t.y * (b.x - a.x)) < 1e-5f;
}

// p + a n + b t, z dropped.
flat_vertex corner(const Vec3& p, const segment_frame& f, float a, float b) {
    return {p.x + a * f.n.x + b * f.t.x, p.y + a * f.n.y + b * f.t.y};
}

template <class Emit>
void ribbon_core(const path& p, double start, double end, double offset, double half_width,
                 const std::vector<Vec3>* widths, bool merge, Emit&& emit) {
    int i0 = 0, i1 = 0;
    if (p.count < 2 || !clamp_range(p, start, end, p.count - 1, i0, i1)) return;
    const bool per_point = half_width < 0.00001;
    auto width_at = [&](int i, double f) -> double {
        if (!per_point) return half_width;
        if (!widths || widths->empty()) return 0.0;
        const int n = int(widths->size());
        const double a = (*widths)[std::clamp(i, 0, n - 1)].x;
        const double b = (*widths)[std::clamp(i + 1, 0, n - 1)].x;
        return a + (b - a) * f;
    };
    auto pair = [&](const Vec3& at, const segment_frame& fr, double w) {
        const float left = float(w + offset);
        const float right = float(-w + offset);
        emit(corner(at, fr, left, 0.0f));
        emit(corner(at, fr, right, 0.0f));
    };
    const Vec3 first = point_at(p, i0, start - i0);
    const segment_frame first_frame = frame_of(p, i0);
    pair(first, first_frame, width_at(i0, start - i0));
    // With `merge`, a pair that lies on the straight edges from the last
    // pair given to the next one is left out: the strip then covers what
    // its pieces covered, with one quad for a straight stretch. (A constant
    // width only.)
    merge = merge && !per_point;
    Vec3 anchor = first;
    segment_frame anchor_frame = first_frame;
    for (int i = i0 + 1; i <= i1 - 1; ++i) {
        const segment_frame here = frame_of(p, i);
        if (merge) {
            const int next = std::min(i + 1, i1 - 1);
            const segment_frame after = frame_of(p, next);
            if (continues(anchor, anchor_frame, p.points[i], here) &&
                continues(anchor, anchor_frame, p.points[next], after))
                continue;
            anchor = p.points[i];
            anchor_frame = here;
        }
        pair(p.points[i], here, width_at(i, 0.0));
    }
    pair(point_at(p, i1 - 1, end - i1), frame_of(p, i1 - 1), width_at(i1 - 1, end - i1));
}

template <class Emit>
void quad(const Vec3& at, const segment_frame& fr, float a0, float a1, float along, float offset,
          Emit& emit) {
    emit(corner(at, fr, a0 + offset, 0.0f));
    emit(corner(at, fr, a1 + offset, 0.0f));
    emit(corner(at, fr, a1 + offset, along));
    emit(corner(at, fr, a0 + offset, along));
}

// Pieces at every point k = first .. last (a0 to a1 beside the path, `along`
// long): with `merge`, each straight run of pieces, which overlap one
// another, as the one quad that is their union.
template <class Emit>
void piece_run(const path& p, int first, int last, float a0, float a1, float along, float offset, bool merge,
               Emit& emit) {
    for (int k = first; k <= last; ++k) {
        const segment_frame start = frame_of(p, k);
        int end = k;
        while (merge && end + 1 <= last &&
               continues(p.points[k], start, p.points[end + 1], frame_of(p, end + 1)))
            ++end;
        if (end == k) {
            quad(p.points[k], start, a0, a1, along, offset, emit);
            continue;
        }
        const Vec3& a = p.points[k];
        const Vec3& b = p.points[end];
        const segment_frame fb = frame_of(p, end);
        emit(corner(a, start, a0 + offset, 0.0f));
        emit(corner(a, start, a1 + offset, 0.0f));
        emit(corner(b, fb, a1 + offset, along));
        emit(corner(b, fb, a0 + offset, along));
        k = end;
    }
}

template <class Emit>
void track_core(const path& p, double start, double end, double offset, double half_width, bool merge,
                Emit&& emit) {
    int i0 = 0, i1 = 0;
    if (p.count < 3 || !clamp_range(p, start, end, p.count - 2, i0, i1)) return;
    const float w = float(half_width);
    const float o = float(offset);
    const int k0 = i0 + 1;
    for (int k = k0; k < i1; k += 9)
        quad(p.points[k], frame_of(p, k), 1.3f * w, -1.3f * w, 0.8f, o, emit);
    piece_run(p, k0, i1 - 1, 0.65f * w, 0.8f * w, 0.5f, o, merge, emit);
    piece_run(p, k0, i1 - 1, -0.65f * w, -0.8f * w, 0.5f, o, merge, emit);
}

template <class Emit>
void dash_core(const path& p, double start, double end, double offset, double half_width, Emit&& emit) {
    int i0 = 0, i1 = 0;
    if (p.count < 3 || !clamp_range(p, start, end, p.count - 2, i0, i1)) return;
    const float w = float(half_width);
    const int stop = std::max(i1 - 5, 0);
    for (int k = i0 + 1; k < stop; k += 7)
        quad(p.points[k], frame_of(p, k), 0.15f * w, -0.15f * w, 0.8f, float(offset), emit);
}

template <class Emit>
void cut_core(const path& p, double start, double end, double half_width, bool merge, Emit&& emit) {
    int i0 = 0, i1 = 0;
    if (p.count < 3 || !clamp_range(p, start, end, p.count - 2, i0, i1)) return;
    const float w = float(half_width);
    piece_run(p, i0 + 1, i1 - 1, 2.0f * w, 2.1f * w, 0.5f, 0.0f, merge, emit);
}

void gl_vertex(const flat_vertex& v) { glVertex3f(v.x, v.y, 0.0f); }

} // namespace

void ribbon_vertices(const path& p, double start, double end, double offset, double half_width,
                     const std::vector<Vec3>* widths, std::vector<flat_vertex>& out) {
    ribbon_core(p, start, end, offset, half_width, widths, false,
                [&](const flat_vertex& v) { out.push_back(v); });
}

void track_vertices(const path& p, double start, double end, double offset, double half_width,
                    std::vector<flat_vertex>& out) {
    track_core(p, start, end, offset, half_width, false, [&](const flat_vertex& v) { out.push_back(v); });
}

void dash_vertices(const path& p, double start, double end, double offset, double half_width,
                   std::vector<flat_vertex>& out) {
    dash_core(p, start, end, offset, half_width, [&](const flat_vertex& v) { out.push_back(v); });
}

void cut_vertices(const path& p, double start, double end, double offset, double half_width,
                  std::vector<flat_vertex>& out) {
    cut_core(p, start, end, half_width, false, [&](const flat_vertex& v) { out.push_back(v); });
}

void draw_ribbon(const path& p, double start, double end, double offset, double half_width,
                 const std::vector<Vec3>* widths) {
    glBegin(GL_QUAD_STRIP);
    ribbon_core(p, start, end, offset, half_width, widths, true, gl_vertex);
    glEnd();
}

void draw_track(const path& p, double start, double end, double offset, double half_width) {
    glDisable(GL_BLEND);
    glColor3f(0.0f, 0.0f, 0.0f);
    glBegin(GL_QUADS);
    track_core(p, start, end, offset, half_width, true, gl_vertex);
    glEnd();
}

void draw_dashes(const path& p, double start, double end, double offset, double half_width) {
    glDisable(GL_BLEND);
    glBegin(GL_QUADS);
    dash_core(p, start, end, offset, half_width, gl_vertex);
    glEnd();
}

void draw_cut(const path& p, double start, double end, double offset, double half_width) {
    glDisable(GL_BLEND);
    glBegin(GL_QUADS);
    cut_core(p, start, end, half_width, true, gl_vertex);
    glEnd();
}

namespace {

// A filled decagon of radius 2 at position u of the path, just behind the
// stroke.
void pen_dot(const path& p, double u) {
    Vec3 at;
    evaluate(p, float(u), at);
    glPushMatrix();
    glTranslatef(at.x, at.y, -0.25f);
    glScalef(2.0f, 2.0f, 2.0f);
    glCallList(list_decagon);
    glPopMatrix();
}

} // namespace

void draw_doodle(std::string commands, double end, double width) {
    glPushMatrix();
    path p;
    build_turtle_path(commands, doodle_turn_steps, doodle_turn, doodle_turn, p);
    if (end > 0.001) {
        draw_ribbon(p, 0.0, end, 0.0, 2.1 * width, nullptr);
        if (p.count > 0) {
            // The tip sits on the last point once the stroke has fully grown
            // (the spline would otherwise overshoot past the end).
            pen_dot(p, std::min(end, double(p.count - 1)));
            pen_dot(p, 0.0);
        }
        glDisable(GL_DEPTH_TEST);
        glColor3f(0.0f, 0.0f, 0.0f);
        glDisable(GL_BLEND);
    }
    glPopMatrix();
}

void draw_road(std::string commands, double end, double width, double start) {
    glPushMatrix();
    path p;
    build_turtle_path(commands, track_turn_steps, track_turn_left, track_turn_right, p);
    glDisable(GL_BLEND);
    if (end > 0.001) {
        glColor3f(0.0f, 0.0f, 0.0f);
        draw_ribbon(p, start, end, 0.0, 2.1 * width, nullptr);
        glColor3f(1.0f, 1.0f, 1.0f);
        draw_dashes(p, start, end, 0.0, 2.1 * width);
    }
    glPopMatrix();
}

void draw_track_line(std::string commands, double end, double width, double start) {
    glPushMatrix();
    path p;
    build_turtle_path(commands, track_turn_steps, track_turn_left, track_turn_right, p);
    glDisable(GL_BLEND);
    if (end > 0.001) draw_track(p, start, end, 0.0, 2.1 * width);
    glPopMatrix();
}

void draw_bent_track_line(std::string commands, double end, double width, double start) {
    glPushMatrix();
    path p;
    build_turtle_path(commands, track_turn_steps, bend_offset + track_turn_left,
                      bend_offset + 0.06684 - 0.000001, p);
    glDisable(GL_BLEND);
    if (end > 0.001) {
        glColor3f(0.0f, 0.0f, 0.0f);
        glColor3f(1.0f, 1.0f, 1.0f);
        draw_track(p, start, end, 0.0, 2.1 * width);
    }
    glPopMatrix();
}

double step_noise(double x) {
    x = std::clamp(x, 0.0, 1.0);
    double sum = 0.0;
    for (int i = 0; i < 20; ++i)
        sum += std::sin(13.2 * i);
    const double c = 24.4 * x * x + 6.0 * sum;
    const double s = std::sin(c) >= 0.0 ? 1.0 : 0.0;
    const double d = 1.0 - x + s;
    return 1.0 - d * d;
}
