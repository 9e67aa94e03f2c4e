// part_start::render: clock shaping, camera choreography, the scene, and the
// post-processing into the (possibly letterboxed) window.
#include "parts/part_start_render.h"
#include "resources/resources.h"

#include "gl/gl.h"

#include <algorithm>
#include <cmath>

#include "math/gl_helpers.h"
#include "parts/parts.h"
#include "scenes/scene_times.h"

namespace {

constexpr double pi = 3.14159265358979323846;

double ramp(double T, double a, double r) { return std::clamp((T - a) * r, 0.0, 1.0); }
double pos(double T, double a) { return std::max(T - a, 0.0); }
double ease(double x, double k) { return ease_cos(x, k); }
double resp(double x) { return response_curve(x); }

Vec3 v3(double x, double y, double z) { return make_vec3(float(x), float(y), float(z)); }

camera_pose pose(const Vec3& eye, const Vec3& centre, const Vec3& up) { return camera_pose{eye, centre, up}; }

// Each vector moves toward the pose's by w.
void lerp(camera_pose& cam, const camera_pose& target, double w) {
    const float wf = float(w);
    for (auto member : {&camera_pose::eye, &camera_pose::centre, &camera_pose::up}) {
        Vec3 d;
        subtract(target.*member, cam.*member, d);
        scale(d, wf, d);
        add(cam.*member, d, cam.*member);
    }
}

void direct_context_camera(double T, frame_cameras& c) {
    const double X = 70.0 * ease(ramp(T, 5, 0.1), 2) - 20.0 + 48.0 * ease(ramp(T, 25, 0.2), 1);
    const double s = std::sin(pi * ramp(T, 12, 0.05));
    camera_pose& cam = c.context_camera;
    cam = pose(v3(10.0 * T, -24.0 * s, 340.0 + X), v3(10.0 * T, -24.0 * s, 0.0), v3(0, 1, 0));

    c.anchor_1 = make_vec3(float(230.0 + 130.0 * pos(T, 29)), -34.2f, 0.0f);
    const Vec3& a1 = c.anchor_1;

    {
        const double x = 350.0 + 18.0 * (T - 28.0);
        lerp(cam, pose(v3(x, -36, 575), v3(x, -36, 0), v3(0.15, 1, 0)), ease(ramp(T, 28, 0.25), 1));
    }
    {
        const double theta = 1.8 - 0.5 * T;
        const double lift = 34.0 + 30.0 * ease(std::clamp((T - 35.0) * 0.5, 0.0, 1.0), 1);
        lerp(cam,
             pose(a1 + v3(90.0 * std::sin(theta), lift, 90.0 * std::cos(theta)), a1 + v3(0, 36, 0),
                  v3(0, 1, 0.2)),
             ease(ramp(T, 29, 0.3), 2));
    }
    lerp(cam, pose(a1 + v3(0, 0, 540), a1, v3(0, 1, 0)), ease(ramp(T, 36, 0.2), 1));
    lerp(cam, pose(a1 + v3(0, 0, 3600), a1, v3(0.2, 1, 0)), ease(ramp(T, 39.5, 0.2), 1));
    lerp(cam, pose(a1 + v3(0, -1460, 500), a1 + v3(0, -1460, 0), make_vec3(-0.3f, 1.0f, 0.0f)),
         ease(std::clamp((T - 43.5 + 2.6) * 0.38, 0.0, 1.0), 1));
}

void direct_camera_1(double T, frame_cameras& c) {
    const double v = pos(T, 42);
    camera_pose& cam = c.camera_1;
    cam = pose(v3(0, -30.0 * v, 500), v3(0, -30.0 * v, 0), v3(0, 1, 0));

    c.anchor_2 = v3(3940, 1388.0 + 1400.0 * (T - 70.0), 100);
    const Vec3& a2 = c.anchor_2;

    {
        const double x = 370.0 + 120.0 * (T - 52.0);
        lerp(cam, pose(v3(x, -380, 700.0 + 280.0 * ease(ramp(T, 53, 0.3), 1)), v3(x, -380, 0), v3(0, 1, 0)),
             ease(std::clamp((T - 52.0 + 1.8) * 0.28, 0.0, 1.0), 1));
    }
    {
        const double x = 2000.0 + 110.0 * (T - 58.0);
        lerp(cam,
             pose(v3(x, -1060, 3400.0 + 1500.0 * ease(ramp(T, 60, 0.3), 2)), v3(x, -1060, 0), v3(-1, 0, 0)),
             ease(ramp(T, 57, 0.18), 1));
    }
    {
        const double y = 3740.0 + 780.0 * (T - 70.0);
        lerp(cam, pose(v3(3700, y, 4400), v3(3700, y, 0), v3(-1, 0, 0)), ease(ramp(T, 66, 0.17), 1));
    }
    {
        const double e = ease(ramp(T, 79, 0.15), 1);
        const double u = -0.35 * T - 0.8;
        lerp(cam,
             pose(a2 + v3(100.0 * e - 200.0, 1000.0 * std::sin(u), 700.0 * std::cos(u)),
                  a2 + v3(100.0 * e - 100.0, 0, 0), v3(-1, 0, 0.2)),
             ease(ramp(T, 70, 0.15), 1));
    }
    {
        const Vec3 eye = v3(3240.0 + 50.0 * pos(T, 85), 23388, 760);
        lerp(cam, pose(eye, eye + v3(200, 1500, 2.0 * pos(T, 88)), v3(-1, 0, 0.2 - 0.02 * pos(T, 88))),
             ease(ramp(T, 85, 0.25), 1));
    }
    lerp(cam, pose(a2 + v3(0, 0, 18560), a2, v3(-1, 0, 0)), ease(ramp(T, 93, 0.2), 2));
}

// f of camera_3's second blend, shared with camera_2's height.
double lift_f(double T) { return 1.7 * ease(ramp(T, 186, 0.23), 1); }

void direct_camera_3(double T, const Vec3& sa, frame_cameras& c) {
    const double x3 = 0.6 * pos(T, 95) + resp(std::max((T - 117.0) * 0.5, 0.0)) -
                      4.0 * resp(std::max((T - 168.0) * 0.2, 0.0));
    const double y3 =
        3.64 * resp(std::max((T - 122.0) * 0.3, 0.0)) - 3.64 * resp(std::max((T - 137.0) * 0.3, 0.0)) +
        3.08 * resp(std::max((T - 144.0) * 0.2, 0.0)) - 5.28 * resp(std::max((T - 164.0) * 0.3, 0.0));
    const double z3 = 16.0 - 1.2 * (ease(ramp(T, 138, 0.2), 1) - 7.0 * ease(ramp(T, 148, 0.15), 1) -
                                    5.4 * ease(ramp(T, 168, 0.15), 1));
    camera_pose& cam = c.camera_3;
    cam = pose(v3(x3, y3, z3), v3(x3, y3, 0), v3(0, 1, 0));
    {
        const double u = 0.5 * T + 0.2;
        lerp(cam,
             pose(sa + v3(20.0 * std::sin(u), -1.2, 20.0 * std::cos(u)), sa + v3(0, -0.8, 0), v3(0, 1, 0)),
             ease(std::clamp((T - 177.0 + 1.2) * 0.2, 0.0, 1.0), 2));
    }
    {
        const double f = lift_f(T);
        lerp(cam, pose(sa + v3(0, 0.1 + 6.0 * f, -54), sa + v3(0, 6.0 * f - 1.2, 0), v3(0, 1, -1.6)),
             ease(ramp(T, 179, 0.23), 1));
    }
}

void direct_camera_2(double T, frame_cameras& c) {
    const double b = (T - 184.0) + 4.32 * resp(std::max((T - 210.0) * 0.5, 0.0)) +
                     3.6 * resp(std::max((T - 235.0) * 0.25, 0.0));
    const double f = lift_f(T);
    const double e3 = 3.0 * ease(ramp(T, 208, 0.1), 1);
    const double e4 = ease(std::clamp((T - 220.0 - 11.2) * 0.3, 0.0, 1.0), 1);
    const float y = float(1.1 * f + e3);
    camera_pose& cam = c.camera_2;
    cam = pose(v3(b, y, 10.0 + 2.0 * e3 + 7.5 * e4), v3(b, y, 0), v3(0, 1, 0));

    // The third shot pushes the anchor on.
    const double shot = gun_shot_times[2];
    c.anchor_3 = v3(39.6 + ease(std::clamp(5.5 * (T - shot), 0.0, 1.0), 2) + 3.0 * pos(T, shot), 3.65, 0);

    const double h = ease(ramp(T, 215, 0.3) - ramp(T, 228.6, 0.4), 1);
    const camera_pose moved = pose(cam.eye + v3(4, -2, -10), cam.centre + v3(4, -2, 0), cam.up);
    lerp(cam, moved, ease(ramp(T, 236, 0.45) - ramp(T, 238.5, 0.3), 1));

    cam.up.x += float(0.07 * h * std::sin(0.34776 * T) * std::sin(0.21924 * T));
    const float shake = float(-1.2 * h * std::sin(0.40848 * T) * std::sin(0.38628 * T));
    cam.eye.y += shake;
    cam.centre.y += shake;
}

// eye and centre of `cam` moved by d (added, or taken away with sign -1).
void shift(camera_pose& cam, const Vec3& d, int sign) {
    if (sign > 0) {
        add(cam.eye, d, cam.eye);
        add(cam.centre, d, cam.centre);
    } else {
        subtract(cam.eye, d, cam.eye);
        subtract(cam.centre, d, cam.centre);
    }
}

// The view's texture into the window: full width and, vertically, the
// centred band of the view's height, so a taller window keeps the black
// bands of the window's clear. Additive over that clear. Leaves the matrix
// pushed by the caller's frame as it found it.
void present_view(show_context& context, int texture_slot) {
    const show_settings& view = context.settings;
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    glPushMatrix();
    glViewport(0, 0, view.window_width, view.window_height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_TEXTURE_2D);
    bind_texture_slot(context, texture_slot);
    glColor3f(1.0f, 1.0f, 1.0f);
    const double angle = 0.0;
    const double half_width = 1.0;
    const double half_height =
        view.window_height > 0 ? double(view.view_height) / double(view.window_height) : 1.0;
    draw_textured_square(&angle, &half_width, &half_height, true, 1.0f);
    glPopMatrix();
}

} // namespace

double sway_factor(double T) {
    if (T < 27) return 0.5;
    if (T < 38) return 1.5;
    if (T < 75) return 0.6;
    if (T < 88) return 1.6;
    if (T < 170) return 0.8;
    if (T < 215) return 0.3;
    return 0.6;
}

bool track_index(double T, size_t point_count, uint32_t& index) {
    if (point_count < 2) return false;
    // The 32-bit value of the truncated replay position; kept inside the
    // int32 range so that a far-off T cannot overflow the conversion.
    const double at = std::trunc(35.0 * T + (T > 70.0 ? 340.0 : 0.0));
    const int32_t value = int32_t(std::clamp(at, -2147483648.0, 2147483647.0));
    index = uint32_t(value) % uint32_t(point_count - 1);
    return true;
}

float jitter_amount(double T) {
    return float(0.3 + 0.3 * (30.0 * ramp(T, 70, 0.3) + 10.0 * ramp(T, 62, 0.3) - 40.0 * ramp(T, 85, 0.4)));
}

void direct_cameras_without_jitter(double T, const Vec3& script_anchor, frame_cameras& out) {
    direct_context_camera(T, out);
    direct_camera_1(T, out);
    direct_camera_3(T, script_anchor, out);
    direct_camera_2(T, out);
    if (T > camera_hand_over_time) out.context_camera = out.camera_1;
}

void direct_cameras(double T, const Vec3& script_anchor, const camera_track& track, frame_cameras& out) {
    direct_cameras_without_jitter(T, script_anchor, out);
    out.track_sway_x = 0.0;
    out.track_sway_y = 0.0;

    uint32_t index = 0;
    if (!track_index(T, track.raw_points.size(), index)) return;
    const Vec3& p = track.raw_points[index];
    const double q = index < track.values_a.size() ? track.values_a[index] : 0.0;
    const float tilt = float(0.02 * std::sin(q * 1.7188733853924696 * 0.03));
    const float amount = jitter_amount(T);

    shift(out.context_camera, p * float(0.03 * amount), +1);
    out.context_camera.up.x += tilt;
    shift(out.camera_1, p * float(0.03 * amount), -1);
    out.camera_1.up.z -= tilt;
    shift(out.camera_3, p * float(0.1 * 0.03 * amount), -1);
    out.camera_3.up.x -= tilt;
    shift(out.camera_2, p * float(0.1 * amount * 0.03 * (ramp(T, 222, 0.5) + 0.2)), -1);
    out.camera_2.up.x -= tilt;

    const double s = sway_factor(T);
    out.track_sway_x = p.x * 0.0001 * 3.0 * s * 1.5;
    out.track_sway_y = p.y * 0.0001 * 3.0 * s * 1.5;
}

void part_start::render(double* frame_step, show_context& context, frame_record* record) {
    // Every frame ends with the window bound, but the start-up leaves a
    // resolve framebuffer bound before the first one: without this, the
    // first frame would clear that target instead of the window, and the
    // attribute pop at the end would hand the window an off-screen draw
    // buffer.
    bind_window_framebuffer();
    mark_frame_stage("window clear");
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    context.current_record = record;
    if (record) frame_record_copy = *record;
    // The developer's mouse controls do not steer the show.
    frame_record_copy.mouse_x = 0.0;
    frame_record_copy.mouse_y = 0.0;
    frame_record_copy.wheel = 0.0;

    *frame_step = shape_frame_step(scene_time, *frame_step);
    step_scaled = *frame_step;
    frame_count += 1;
    scene_time += *frame_step;
    const double T = scene_time;

    glPushMatrix();
    // The bend pass below writes every pixel of the view's band; the window
    // needs its black clear only where the band leaves some of it uncovered.
    const show_settings& view = context.settings;
    const int margin = view.window_height - view.view_height;
    const bool into_window = view.view_width == view.window_width && margin % 2 == 0;
    if (!into_window || margin != 0) {
        glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    // Only the first colour attachment is ever resolved and read; a second
    // draw buffer would double every sample's blend and store for nothing.
    bind_render_target(context, 0, 1);

    frame_cameras cams;
    direct_cameras(T, script_anchor, track, cams);
    context.context_camera = cams.context_camera;
    camera_1 = cams.camera_1;
    camera_2 = cams.camera_2;
    camera_3 = cams.camera_3;
    anchor_1 = cams.anchor_1;
    anchor_2 = cams.anchor_2;
    anchor_3 = cams.anchor_3;
    track_sway_x = cams.track_sway_x;
    track_sway_y = cams.track_sway_y;

    draw_scene_script(*this, context, script_frame_now(context));

    mark_frame_stage("resolve");
    resolve_render_target(context, 0, view.view_width, view.view_height, 1, false);
    bind_window_framebuffer();
    glDisable(GL_DEPTH_TEST);

    mark_frame_stage("bend");

    const double alpha = 0.1;
    set_float_by_name(context, program_bend, "alpha", &alpha);
    set_float_by_name(context, program_bend, "RightV", &track_sway_x);
    set_float_by_name(context, program_bend, "UpV", &track_sway_y);
    // The bend's output is the picture: where the view's band in the window
    // starts on a whole pixel (always, but for a letterbox of odd margin) it
    // goes straight into the window, one sample a pixel. The square of
    // present_view would copy it there texel for texel over a black window;
    // drawing it into target 0 instead would write every sample of the
    // multisampled buffer and resolve them all back to the same value.
    if (into_window) {
        run_pass_into_window(context, program_bend, 0, margin / 2, view.view_width, view.view_height,
                             target_full_a, target_full_a);
        mark_frame_stage("present");
    } else {
        run_fullscreen_pass(context, program_bend, 0, 1, view.view_width, view.view_height, target_full_a,
                            target_full_a, target_half, -1);
        mark_frame_stage("present");
        present_view(context, target_full_a);
    }

    glPopMatrix();
    glPopAttrib();
    glDisable(GL_BLEND);
    glFlush();
    mark_frame_stage("end");
}

script_frame part_start::script_frame_now(const show_context& context) const {
    script_frame f;
    f.T = scene_time;
    f.W = context.settings.view_width;
    f.H = context.settings.view_height;
    f.sway_x = track_sway_x;
    f.sway_y = track_sway_y;
    return f;
}

void draw_floor_frame(part_start& part, show_context& context) {
    const show_settings& view = context.settings;
    bind_window_framebuffer();
    mark_frame_stage("window clear");
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glPushMatrix();
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    bind_render_target(context, 0, 1);
    mark_frame_stage("target clear");
    glClearColor(0.0f, 1.0f, 1.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    mark_frame_stage("resolve");
    resolve_render_target(context, 0, view.view_width, view.view_height, 1, false);
    bind_window_framebuffer();
    glDisable(GL_DEPTH_TEST);
    mark_frame_stage("present");
    present_view(context, part.target_full_a);
    glPopMatrix();
    glPopAttrib();
    glDisable(GL_BLEND);
    glFlush();
    mark_frame_stage("end");
}
