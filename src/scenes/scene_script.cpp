// The scene script, rows 1 to 42: frame prologue, backdrop layers, dot
// fields, doodle sets, title, walkers, trumpets, horn glows, the shape
// animation, trains and tracks; the table of these rows with their windows
// is at the end. Every row reseeds the shared generator before any random
// layout, so the picture is a pure function of T, the sway values, the
// cameras and the resources.
#include "scenes/scene_script.h"

#include "gl/gl.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <iterator>
#include <vector>

#include "math/gl_helpers.h"
#include "math/random.h"
#include "resources/resources.h"
#include "scenes/backdrop_pass.h"
#include "scenes/doodles.h"

// --- shared helpers ---

walker_place walker_at(double T, double speed_draw, double spread_draw, bool mirrored) {
    const double speed = 1.0 + 0.3 * speed_draw;
    walker_place w;
    w.frame = int(std::floor(20.0 * std::max(0.0, speed * 1.6 * (T - 36.0))));
    const int cycle = w.frame / 41;
    w.x = mirrored ? 60.0 * spread_draw - 86.0 + 8.6 * cycle - 5.0 - 40.0
                   : 40.0 * spread_draw - 86.0 + 8.6 * cycle - 5.0;
    w.y = mirrored ? -229.0 : -117.0;
    w.z = mirrored ? 250.0 : 350.0;
    // Mirrored walkers differ in place only: every figure walks forward
    // through its cycle.
    w.scale_x = 15.0f;
    return w;
}

double script_ramp(double T, double start, double rate) { return std::clamp((T - start) * rate, 0.0, 1.0); }
double clamp01(double x) { return std::clamp(x, 0.0, 1.0); }
double scene_far_plane(double T) { return T > 50.0 ? 130000.0 : 5500.0; }
double ease(double x, double k) { return ease_cos(x, k); }

double script_frame::ramp(double start, double rate) const { return script_ramp(T, start, rate); }
double script_frame::envelope(double s1, double r1, double s2, double r2) const {
    return ramp(s1, r1) - ramp(s2, r2);
}
double script_frame::since(double start) const { return std::max(T - start, 0.0); }

double rand01() { return double(show_rand()) / double(show_rand_max); }

void random_dim_colour() {
    double c[3];
    if (show_rand() % 2 == 1) {
        const int kind = show_rand() % 3;
        for (int i = 0; i < 3; ++i)
            c[i] = i == kind ? 1.0 : rand01();
    } else {
        for (double& x : c)
            x = rand01();
    }
    for (double& x : c)
        x = std::pow(x, 1.1) * 0.25;
    glColor3f(float(c[0]), float(c[1]), float(c[2]));
}

void apply_camera(const camera_pose& pose) {
    glLoadIdentity();
    gluLookAt(pose.eye.x, pose.eye.y, pose.eye.z, pose.centre.x, pose.centre.y, pose.centre.z, pose.up.x,
              pose.up.y, pose.up.z);
}

void begin_solid(const camera_pose& camera) {
    glDisable(GL_BLEND);
    glPushMatrix();
    apply_camera(camera);
    glEnable(GL_CULL_FACE);
    glColor3f(0.0f, 0.0f, 0.0f);
}

void end_solid() {
    glPopMatrix();
    glDisable(GL_CULL_FACE);
}

void draw_group(const mesh& model, int k) { draw_quads(model.group_at(k)); }

void apply_sway_camera(const script_frame& frame) {
    glLoadIdentity();
    const double x = 600.0 * frame.sway_x;
    const double y = 600.0 * frame.sway_y;
    gluLookAt(x, y, 520.0, x, y, 0.0, 0.0, 1.0, 0.0);
}

void draw_dot(double x, double y, double size, double squash, int list) {
    glPushMatrix();
    glTranslatef(float(x), float(y), 0.0f);
    glScalef(float(2.0 * size), float(2.0 * size * squash), float(2.0 * size));
    glCallList(list);
    glPopMatrix();
}

dot_view current_dot_view() {
    double projection[16], modelview[16];
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
    dot_view view;
    for (int column = 0; column < 4; ++column)
        for (int row = 0; row < 4; ++row) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k)
                sum += projection[k * 4 + row] * modelview[column * 4 + k];
            view.m[column * 4 + row] = sum;
        }
    return view;
}

namespace {

// Bits of the clip planes (x <= w, -x <= w, y, -y, z, -z) that the point
// lies beyond by more than the margin. The margin scales with the terms
// that cancel, not with their sum, so large translations stay safe.
unsigned planes_beyond(const dot_view& view, double px, double py, double pz) {
    const double* m = view.m;
    double clip[4], magnitude[4];
    for (int row = 0; row < 4; ++row) {
        const double a = m[row] * px, b = m[4 + row] * py, c = m[8 + row] * pz, d = m[12 + row];
        clip[row] = a + b + c + d;
        magnitude[row] = std::abs(a) + std::abs(b) + std::abs(c) + std::abs(d);
    }
    const double w = clip[3];
    unsigned beyond = 0;
    for (int axis = 0; axis < 3; ++axis) {
        const double margin = 1e-4 * (magnitude[axis] + magnitude[3]);
        if (clip[axis] - w > margin) beyond |= 1u << (2 * axis);
        if (-clip[axis] - w > margin) beyond |= 2u << (2 * axis);
    }
    return beyond;
}

} // namespace

bool box_in_view(const dot_view& view, const Vec3& lo, const Vec3& hi) {
    unsigned outside = 0x3f;
    for (int corner = 0; corner < 8 && outside != 0; ++corner)
        outside &= planes_beyond(view, (corner & 1) ? hi.x : lo.x, (corner & 2) ? hi.y : lo.y,
                                 (corner & 4) ? hi.z : lo.z);
    return outside == 0;
}

bool dot_in_view(const dot_view& view, double x, double y, double size, double squash) {
    const double half_x = 2.0 * std::abs(size), half_y = 2.0 * std::abs(size * squash);
    unsigned outside = 0x3f;
    for (int corner = 0; corner < 4 && outside != 0; ++corner)
        outside &= planes_beyond(view, x + ((corner & 1) ? half_x : -half_x),
                                 y + ((corner & 2) ? half_y : -half_y), 0.0);
    return outside == 0;
}

bool dot_covers_a_pixel(const dot_view& view, int width, int height, double x, double y, double size,
                        double squash) {
    const double half_x = 2.0 * std::abs(size), half_y = 2.0 * std::abs(size * squash);
    const double* m = view.m;
    double lo_x = 1e300, hi_x = -1e300, lo_y = 1e300, hi_y = -1e300;
    for (int corner = 0; corner < 4; ++corner) {
        const double px = x + ((corner & 1) ? half_x : -half_x), py = y + ((corner & 2) ? half_y : -half_y);
        const double w = m[3] * px + m[7] * py + m[15];
        if (!(w > 0.0)) return true;
        const double sx = (m[0] * px + m[4] * py + m[12]) / w * 0.5 * width;
        const double sy = (m[1] * px + m[5] * py + m[13]) / w * 0.5 * height;
        lo_x = std::min(lo_x, sx), hi_x = std::max(hi_x, sx);
        lo_y = std::min(lo_y, sy), hi_y = std::max(hi_y, sy);
    }
    return (hi_x - lo_x) * (hi_y - lo_y) >= 1.0;
}

dot_cell first_field_cell(double T, double wave, double shrink_start, double size_factor) {
    dot_cell cell;
    cell.u = rand01();
    rand01();
    // Rate first, then phase: each dot pulses at its own speed.
    const double rate1 = rand01();
    const double phase1 = rand01();
    const double s1 = std::sin(phase1 * 1e7 + rate1 * 0.05 * T);
    const double rate2 = rand01();
    const double phase2 = rand01();
    cell.squash = std::clamp(12.0 * std::abs(std::sin(phase2 * 1e7 + rate2 * 0.25 * T)), 0.0, 1.0);
    // A vector and one more value that the layout draws and does not use.
    rand01();
    rand01();
    rand01();
    rand01();
    const double v = clamp01(1.2 * (std::abs(s1) - 0.15 * (T - shrink_start)));
    const double w = clamp01(v * wave);
    cell.size = clamp01(std::pow(1.5 * cell.u * w, 3.0)) * size_factor;
    return cell;
}

void draw_hexagon_field(const script_frame& frame, const hexagon_field_params& params, draw_batch& dots) {
    const double T = frame.T;
    constexpr float black[3] = {0.0f, 0.0f, 0.0f};
    glColor3f(0.0f, 0.0f, 0.0f);
    const dot_view view = current_dot_view();
    for (int r = -25; r < 25; r += 2) {
        for (int c = -40; c < 100; c += 2) {
            const double wave = clamp01(params.wave_rate * (T - params.wave_start) - 0.01 * c);
            dot_cell cell = first_field_cell(T, wave, params.shrink_start, params.size_factor);
            if ((r < -10 || r > 10) && std::sin(0.15 * c) > 0.5) cell.size = 0.0;
            const double x = 4.5 * c - 1.8, y = 4.5 * r;
            if (cell.u >= 0.001 && cell.size > 0.0 && dot_in_view(view, x, y, cell.size, cell.squash))
                add_dot(dots, x, y, cell.size, cell.squash, list_hexagon, black);
        }
    }
    draw_dots(dots);
}

std::string meander_commands(int count, double turn_probability, int direction) {
    std::string commands;
    commands.reserve(count);
    for (int i = 0; i < count; ++i) {
        if (rand01() >= turn_probability) {
            commands += '*';
        } else {
            commands += direction > 0 ? 'l' : 'r';
            direction = -direction;
        }
    }
    return commands;
}

void draw_track_line_set(const script_frame& frame, double t0, int straight, double erase_from,
                         double width) {
    const double run = frame.T - t0;
    for (int k = 0; k < 15; ++k) {
        std::string commands;
        if (k < 2) {
            commands.assign(straight, '*');
        } else {
            commands.assign(7 + 3 * k, '*');
            int direction = k % 2 == 0 ? 1 : -1;
            for (int i = 0; i < 40; ++i) {
                if (rand01() < 0.12) {
                    commands += direction > 0 ? 'l' : 'r';
                    direction = -direction;
                    if (rand01() < 0.06) commands += 'l';
                    if (rand01() < 0.06) commands += 'r';
                } else {
                    commands += '*';
                }
            }
        }
        const double end = k == 0 ? 240.0 * run : (50.0 * rand01() + 150.0) * run;
        const double start =
            erase_from >= 0.0 ? std::min(700.0 * std::max(frame.T - erase_from, 0.0), end) : 0.0;
        draw_track_line(commands, end, width, start);
    }
}

namespace {

constexpr float target_clear_colour[4] = {0.0f, 1.0f, 1.0f, 0.0f};

// A paper square of the backdrop, kept for the backdrop's one pass.
void square(scene_assets& part, double angle, double half_width, double half_height, float repeat) {
    add_backdrop_square(part.paper_squares, angle, half_width, half_height, repeat);
}

// --- frame prologue and backdrop ---

void prologue(scene_assets& part, show_context& context, const script_frame& f) {
    glPushMatrix();
    disable_vertex_profile(context);
    disable_fragment_profile(context);

    mark_frame_stage("target clear");
    glClearColor(target_clear_colour[0], target_clear_colour[1], target_clear_colour[2],
                 target_clear_colour[3]);
    // The colour is cleared by the backdrop, or folded into its one pass.
    glClear(GL_DEPTH_BUFFER_BIT);
    mark_frame_stage("backdrop");
    glViewport(0, 0, f.W, f.H);

    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(30.0, double(f.W) / double(std::max(f.H, 1)), 0.1, scene_far_plane(f.T));

    set_sampler_by_name(context, part.program_main + 1, "paper", paper_texture_slot);

    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    reset_draw_state();
    apply_camera(context.context_camera);
    show_srand(23423);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    bind_texture_slot(context, paper_texture_slot);
    glEnable(GL_TEXTURE_2D);
    begin_backdrop(part.paper_squares, target_clear_colour);
}

void stripe_wall(const show_context& context, const script_frame& f) {
    apply_camera(context.context_camera);
    const float e = float(ease(f.envelope(78, 0.1, 88, 0.1), 1));
    if (e == 0.0f) {
        // Stripes of alpha 0 over a blend by source alpha leave every pixel
        // as it is; only the colour the last stripe leaves current remains.
        glColor4f(0.2f, 0.7f, 0.7f, 0.0f);
        return;
    }
    glTranslatef(4000.0f, 0.0f, -680.0f);
    glBegin(GL_QUADS);
    for (int i = 0; i < 200; ++i) {
        if (i % 2 == 0)
            glColor4f(0.7f, 0.4f, 0.4f, 0.8f * e);
        else
            glColor4f(0.2f, 0.7f, 0.7f, 0.8f * e);
        const float z0 = 1000.0f * i - 100000.0f;
        const float z1 = 1000.0f * (i + 1) - 100000.0f;
        glVertex3f(0.0f, -100000.0f, z0);
        glVertex3f(0.0f, 100000.0f, z0);
        glVertex3f(0.0f, 100000.0f, z1);
        glVertex3f(0.0f, -100000.0f, z1);
    }
    glEnd();
}

// Rows 2 to 8: the backdrop layers. Their squares are kept for the
// backdrop's one pass, which draws them when the backdrop is flushed.

// Row 2: the opening's paper, opaque.
void paper_opening(scene_assets& part, show_context&, const script_frame&) {
    glColor3f(0.35f, 0.5f, 0.5f);
    glPushMatrix();
    square(part, 0.0, 640.0, 880.0, 6.0f);
    glPopMatrix();
}

// The translucent layers' alpha, set up by row 3 and read again by row 5.
float translucent_alpha(const script_frame& f) { return float(0.95 * f.envelope(31, 0.2, 69, 0.2)); }

// Row 3: the blending and colour of the translucent layers.
void translucent_setup(scene_assets&, show_context&, const script_frame& f) {
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    const float A = translucent_alpha(f);
    if (f.T > 50)
        glColor4f(0.3f, 0.4f, 0.7f, A);
    else
        glColor4f(0.0f, 0.4f, 1.0f, A);
}

// Row 4.
void paper_swaying(scene_assets& part, show_context&, const script_frame& f) {
    glPushMatrix();
    apply_sway_camera(f);
    square(part, 0.0, 320.0, 440.0, 3.0f);
    glPopMatrix();
}

// Row 5: the wide paper through the context camera.
void paper_wide(scene_assets& part, show_context& context, const script_frame& f) {
    // Once the alpha is back to 0 the square would blend to nothing; the
    // texture coordinate it leaves is replaced by row 6 (T > 70).
    if (!(translucent_alpha(f) > 0.0f || f.T <= 70)) return;
    glPushMatrix();
    apply_camera(context.context_camera);
    square(part, 90.0, 10240.0, 12800.0, 12.0f);
    glPopMatrix();
}

// Row 6: the later paper, swaying, and its fine copy through camera 3.
void paper_late(scene_assets& part, show_context&, const script_frame& f) {
    const double T = f.T;
    glPushMatrix();
    apply_sway_camera(f);
    const double e = ease(f.ramp(69, 0.14), 1);
    const double fr = f.ramp(93, 0.15);
    if (T > 160)
        glColor4f(1.6f, 0.2f, 0.2f, float(0.95 * e));
    else
        glColor4f(float(0.7 * fr), 0.3f, float(0.5 - 0.5 * fr), float(0.95 * e));
    square(part, 0.0, 320.0, 440.0, 3.0f);
    const double g = f.envelope(109, 0.15, 169, 0.18);
    if (g > 0.0001) {
        apply_camera(part.camera_3);
        const double h = ease(f.ramp(152, 0.3), 1);
        glColor4f(float(0.7 - h), 0.5f, float(h), float(g));
        if (g > 1e-6) square(part, 0.0, 320.0, 440.0, 48.0f);
    }
    glPopMatrix();
}

// Row 7: the wall's strips lie between the squares before and after it.
void stripe_wall_row(scene_assets& part, show_context& context, const script_frame& f) {
    flush_backdrop(part.paper_squares);
    glPushMatrix();
    stripe_wall(context, f);
    glPopMatrix();
}

// Row 8: the two huge squares through cameras 1 and 2.
void paper_huge(scene_assets& part, show_context& context, const script_frame& f) {
    bind_texture_slot(context, paper_texture_slot);
    glPushMatrix();
    apply_camera(part.camera_1);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    const float a = float(f.envelope(41, 0.2, 56, 0.23));
    if (f.T > 160)
        glColor4f(0.8f, 0.5f, 0.1f, a);
    else
        glColor4f(0.7f, 0.5f, 0.5f, a);
    if (a > 1e-6) square(part, 0.0, 5600.0, 5600.0, 32.0f);
    const double b = f.ramp(179, 0.2);
    glPushMatrix();
    apply_camera(part.camera_2);
    const double c = ease(f.ramp(232, 0.4), 1);
    glColor4f(0.8f, float(0.2 + 0.4 * c), 0.0f, float(0.95 * b));
    if (b > 1e-6) square(part, 0.0, 5600.0, 5600.0, 1021.44f);
    glPopMatrix();
    glPopMatrix();
}

// After row 8: the backdrop is handed to the renderer (on a software
// renderer it is drawn on the other cores while this thread prepares the
// scene), and the scene's rows start from a known state.
void end_backdrop(scene_assets& part, show_context& context) {
    flush_backdrop(part.paper_squares);
    glFlush();
    mark_frame_stage("scene");
    show_srand(42424242);
    disable_vertex_profile(context);
    disable_fragment_profile(context);
    reset_draw_state();
    glDisable(GL_CULL_FACE);
    glDisable(GL_TEXTURE_2D);
}

// --- dot fields ---

struct dot_centre {
    bool shown;
    float r, g, b;
};

constexpr float black_dot[3] = {0.0f, 0.0f, 0.0f};

// One cell of a dot field at column c, row r: a black dot, then each shown
// centre at half the size of the one before, in its colour.
void draw_field_dot(draw_batch& dots, const dot_view& view, int c, int r, const dot_cell& cell,
                    const dot_centre* centres, int centre_count) {
    const double x = 4.5 * c - 1.8, y = 4.5 * r;
    if (!dot_in_view(view, x, y, cell.size, cell.squash)) {
        // The colour a drawn dot leaves current stays what later rows see.
        dot_centre last{true, 0.0f, 0.0f, 0.0f};
        for (int k = 0; k < centre_count; ++k)
            if (centres[k].shown) last = centres[k];
        const float rgb[3] = {last.r, last.g, last.b};
        leave_colour(dots, rgb);
        return;
    }
    add_dot(dots, x, y, cell.size, cell.squash, list_decagon, black_dot);
    double size = cell.size;
    for (int k = 0; k < centre_count; ++k) {
        const dot_centre& centre = centres[k];
        if (!centre.shown) continue;
        size *= 0.5;
        const float rgb[3] = {centre.r, centre.g, centre.b};
        add_dot(dots, x, y, size, cell.squash, list_decagon, rgb);
    }
}

// Rows 11 and 14: fields in camera 3's world that sweep in from the left.
// Cells of rows -9 to 49 and 128 columns, revealed while the envelope from
// `start` to `end` is up; rows 46 to 49 go after `short_after`. Each cell
// draws its first-field values, then one value per centre colour (shown
// below its chance); a row may hide more cells by its own rule.
struct centre_colour {
    double chance;
    float r, g, b;
};
struct sweep_field {
    double start, end, short_after;
    centre_colour centres[2];
    int centre_count;
    bool (*hidden)(double T, int c, int r); // null: no rule of its own
};

void draw_sweep_field(const script_frame& f, const sweep_field& field, draw_batch& dots) {
    const double T = f.T;
    const double w = f.envelope(field.start, 1, field.end, 1);
    const int first_column = int(std::floor(30.0 * w));
    const double column_end = 128.0 * w;
    const int last_row = T > field.short_after ? 45 : 49;
    const dot_view view = current_dot_view();
    for (int r = -9; r <= 49; ++r) {
        for (int c = 0; c < 128; ++c) {
            const dot_cell cell = first_field_cell(T, 1.0, T, 0.9);
            dot_centre centres[2] = {};
            for (int k = 0; k < field.centre_count; ++k) {
                const centre_colour& colour = field.centres[k];
                centres[k] = {rand01() < colour.chance, colour.r, colour.g, colour.b};
            }
            bool shown = r <= last_row && c >= first_column && c < column_end && cell.size > 0.0;
            if (shown && field.hidden && field.hidden(T, c, r)) shown = false;
            if (!shown) continue;
            draw_field_dot(dots, view, c, r, cell, centres, field.centre_count);
        }
    }
    draw_dots(dots);
}

// Row 11: orange and red centres, scaled 0.1 by row 10; only the left part
// until 129, only the upper right part after 143.
constexpr sweep_field field_row_11 = {
    120, 155,
    149, {{0.1, 1.0f, 0.5f, 0.0f}, {0.3, 1.0f, 0.0f, 0.0f}},
    2,   [](double T, int c, int r) { return (c > 80 && T < 129) || (T > 143 && (c < 80 || r < 0)); }};

// Row 12: the additive glow disc that rises with the finale.
void glow_disc(scene_assets& part, show_context&, const script_frame& f) {
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    glColor3f(0.32f, 0.12f, 0.08f);
    glPushMatrix();
    apply_camera(part.camera_2);
    glTranslatef(0.0f, -0.2f, -32.0f);
    if (f.T > 215) glTranslatef(80.0f, float(0.4 * (f.T - 224.0) - 3.8), 29.0f);
    const double R = f.T > 215 ? 7.0 : 3.0;
    const double pi = 3.14159265358979323846;
    glBegin(GL_TRIANGLE_FAN);
    for (int i = 0; i <= 80; ++i) {
        const double a = i * 2.0 * pi / 80.0;
        glVertex3f(float(std::sin(a) * R), float(std::cos(a) * R), 0.0f);
    }
    glEnd();
    glPopMatrix();
    glDisable(GL_BLEND);
}

// Row 14: blue centres, later and to the upper right of row 11.
constexpr sweep_field field_row_14 = {155, 180, 159, {{0.2, 0.0f, 0.5f, 1.0f}}, 1, nullptr};

// Row 15: a drifting field whose centres light up in a sweeping band.
void drifting_field(scene_assets& part, show_context& context, const script_frame& f) {
    draw_batch& dots = part.dots;
    const double T = f.T;
    glPushMatrix();
    apply_camera(context.context_camera);
    glTranslatef(float((T - 59.0) * 1.2 * 50.0), 0.0f, 0.0f);
    glTranslatef(3858.4995f, -712.0f, -500.0f);
    glScalef(12.0f, 12.0f, 12.0f);
    show_srand(4242415);
    const dot_view view = current_dot_view();
    for (int r = -55; r <= 90; ++r) {
        for (int j = -61; j <= 9; ++j) {
            const dot_cell cell = first_field_cell(T, 1.0, T, 0.9);
            const bool yellow = rand01() < 0.5;
            const bool lit = rand01() < 0.4 && step_noise((T - 67.0 - 0.08 * (j + 60)) * 0.5) <= 0.5;
            if (cell.size <= 0.0) continue;
            const float yellow_rgb[3] = {1.0f, 1.0f, 0.0f}, blue_rgb[3] = {0.3f, 0.8f, 1.0f};
            const float* inner = yellow ? yellow_rgb : blue_rgb;
            if (!dot_in_view(view, 4.5 * j, 4.5 * r, cell.size, cell.squash)) {
                // The colour a drawn dot leaves current stays what later rows see.
                leave_colour(dots, lit ? inner : black_dot);
                continue;
            }
            add_dot(dots, 4.5 * j, 4.5 * r, cell.size, cell.squash, list_decagon, black_dot);
            if (lit) add_dot(dots, 4.5 * j, 4.5 * r, 0.5 * cell.size, cell.squash, list_decagon, inner);
        }
    }
    draw_dots(dots);
    glPopMatrix();
}

// Row 16: the dense opening field of decagons with light centres.
void opening_field(scene_assets& part, show_context& context, const script_frame& f) {
    draw_batch& dots = part.dots;
    const double T = f.T;
    glPushMatrix();
    apply_camera(context.context_camera);
    show_srand(4242416);
    const dot_view view = current_dot_view();
    for (int r = -25; r <= 24; ++r) {
        for (int c = -40; c <= 119; ++c) {
            const double wave = clamp01(0.2 * T - 0.01 * c);
            const dot_cell cell = first_field_cell(T, wave, 23.0, 0.25);
            const bool inner = rand01() < 0.5;
            const double blue = inner ? 2.0 * rand01() : 0.0;
            if (cell.u < 0.001 || cell.size <= 0.0) continue;
            const float light[3] = {1.0f, 1.0f, float(blue)};
            if (!dot_in_view(view, 4.5 * c, 4.5 * r, cell.size, cell.squash)) {
                // The colour a drawn dot leaves current stays what later rows see.
                leave_colour(dots, inner ? light : black_dot);
                continue;
            }
            add_dot(dots, 4.5 * c, 4.5 * r, cell.size, cell.squash, list_decagon, black_dot);
            if (inner) add_dot(dots, 4.5 * c, 4.5 * r, 0.5 * cell.size, cell.squash, list_decagon, light);
        }
    }
    draw_dots(dots);
    glPopMatrix();
}

// Row 22: the field that wakes up after the cut to camera 1 and empties
// from the top rows down.
void emptying_field(scene_assets& part, show_context& context, const script_frame& f) {
    draw_batch& dots = part.dots;
    const double T = f.T;
    show_srand(4242343);
    const double env = f.envelope(42, 1, 54, 1);
    if (env <= 0.0001) return;
    glPushMatrix();
    apply_camera(context.context_camera);
    const double last_row = 10.0 * env;
    const dot_view view = current_dot_view();
    for (int r = -30; r <= last_row; ++r) {
        for (int c = -51; c <= 39; ++c) {
            const double wave = clamp01(T - 43.0 - 3.0 * rand01());
            const dot_cell cell = first_field_cell(T, wave, T, 0.75);
            const bool inner = rand01() < 0.5;
            const double blue = inner ? 2.0 * rand01() : 0.0;
            if (cell.size <= 0.0) continue;
            // Once the rows empty only their outer dots go; the light centre stays.
            const bool outer = !((r >= -9 && T > 47) || (r >= -29 && T > 51));
            const float light[3] = {1.0f, 1.0f, float(blue)};
            if (!dot_in_view(view, 4.5 * c, 4.5 * r, cell.size, cell.squash)) {
                // The colour a drawn dot leaves current stays what later rows see.
                if (inner)
                    leave_colour(dots, light);
                else if (outer)
                    leave_colour(dots, black_dot);
                continue;
            }
            if (outer) add_dot(dots, 4.5 * c, 4.5 * r, cell.size, cell.squash, list_decagon, black_dot);
            if (inner) add_dot(dots, 4.5 * c, 4.5 * r, 0.5 * cell.size, cell.squash, list_decagon, light);
        }
    }
    draw_dots(dots);
    glPopMatrix();
}

// --- doodle sets ---

// Rows 17 and 20: twenty meanders, one a row of the grid, that grow from
// the left through the context camera, multiplied into the picture: odd
// ones in one colour, even ones in another.
struct meander_set {
    unsigned seed;
    double x_offset;         // added to each meander's random column
    int length;              // characters of the command string
    double turn_probability; // of each character
    double start;            // scene time the growth counts from
    float odd_colour[3], even_colour[3];
};

template <const meander_set& set> void meanders(scene_assets&, show_context& context, const script_frame& f) {
    glPushMatrix();
    apply_camera(context.context_camera);
    show_srand(set.seed);
    glEnable(GL_BLEND);
    glBlendFunc(GL_DST_COLOR, GL_ONE);
    for (int i = 0; i < 20; ++i) {
        glPushMatrix();
        glTranslatef(float(4.5 * std::floor(15.0 * rand01()) + set.x_offset), float(4.5 * (i - 10)), 0.0f);
        const std::string commands = meander_commands(set.length, set.turn_probability, i % 2 == 0 ? 1 : -1);
        random_dim_colour();
        const double speed = rand01() + 1.0;
        const double end = speed * 30.0 * (f.T - set.start) - 500.0 * rand01();
        glEnable(GL_DEPTH_TEST);
        glTranslatef(0.0f, 0.0f, float(-0.2 * (i % 8)));
        glColor3fv(i % 2 == 1 ? set.odd_colour : set.even_colour);
        draw_doodle(commands, end, 0.6);
        glPopMatrix();
    }
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glPopMatrix();
}

// Row 17: white and pale yellow meanders of the opening.
constexpr meander_set doodles_row_17 = {4234234, 0.0, 40, 0.04, 0.0, {1.0f, 1.0f, 1.0f}, {1.0f, 1.0f, 0.5f}};

// Rows 18 and 19: small glowing meanders with a thin black line over them,
// in camera 3's world.
struct glow_doodle_set {
    unsigned seed;
    double start; // window start: count, glow and line times follow it
    double end;   // the count envelope falls here
    int characters;
    double x0, y0;
    float glow_even[3];
    float glow_odd[3];
};

template <const glow_doodle_set& set>
void glow_doodles(scene_assets& part, show_context&, const script_frame& f) {
    glPushMatrix();
    apply_camera(part.camera_3);
    glScalef(0.05f, 0.05f, 0.05f);
    show_srand(set.seed);
    const double count = 12.0 * f.envelope(set.start, 1, set.end, 1);
    const double T = f.T;
    const double line_time = T - (set.start - 119.0);
    for (int i = 0; i < count; ++i) {
        glPushMatrix();
        glTranslatef(float(36.0 * std::floor(15.0 * rand01()) + set.x0), float(18.0 * (i - 10) + set.y0),
                     0.0f);
        const std::string commands = meander_commands(set.characters, 0.04, i % 2 == 0 ? 1 : -1);
        random_dim_colour();
        const double speed = rand01() + 1.0;
        const double line_end = (speed * 12.0 * line_time - 500.0 * rand01()) * f.ramp(set.start + 1.0, 1);
        glTranslatef(0.0f, 0.0f, float(-0.2 * (i % 8)));
        glEnable(GL_DEPTH_TEST);
        if (T > set.start + 6.6) {
            glEnable(GL_BLEND);
            glBlendFunc(GL_DST_COLOR, GL_ONE);
            const float* c = i % 2 == 1 ? set.glow_odd : set.glow_even;
            glColor3f(c[0], c[1], c[2]);
            draw_doodle(commands, 60.0 * (T - set.start), 0.6);
        }
        if (T > set.start + 4.6 || i == 3) {
            glDisable(GL_BLEND);
            glEnable(GL_DEPTH_TEST);
            glColor3f(0.0f, 0.0f, 0.0f);
            draw_doodle(commands, line_end, 0.1);
        }
        glPopMatrix();
    }
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glPopMatrix();
}

// Row 20: cyan and orange meanders, further right and more winding.
constexpr meander_set doodles_row_20 = {4234220, 90.0, 30, 0.14, 2.0, {0.0f, 1.0f, 1.0f}, {1.0f, 0.5f, 0.0f}};

// Row 21: the railway yard the train of row 40 runs on.
void track_lines(scene_assets&, show_context& context, const script_frame& f) {
    glPushMatrix();
    apply_camera(context.context_camera);
    show_srand(4234234);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glColor3f(0.0f, 0.0f, 0.0f);
    glTranslatef(399.0f, -417.8f, 50.0f);
    glScalef(3.0f, 3.0f, 3.0f);
    draw_track_line_set(f, 52.0, 79, 58.0, 0.5);
    glPopMatrix();
}

// Row 25: a swarm of long meanders in three colours below the trumpets.
void coloured_doodles(scene_assets&, show_context& context, const script_frame& f) {
    const double T = f.T;
    glPushMatrix();
    apply_camera(context.context_camera);
    show_srand(4242414);
    const double count = 120.0 * f.envelope(43.2, 0.5, 53.2, 1.0);
    const double fade = f.ramp(43.4, 0.6);
    constexpr float kinds[3][3] = {{0.45f, 0.45f, 0.45f}, {1.0f, 0.55f, 0.7f}, {0.7f, 1.0f, 0.3f}};
    for (int i = 0; i < count; ++i) {
        const double x = -72.0 + 4.5 * (std::floor(40.0 * rand01()) - 20.0);
        const double y = -225.0 + 4.5 * (std::floor(30.0 * rand01()) - 15.0);
        const std::string commands = meander_commands(50, 0.06, i % 2 == 0 ? 1 : -1);
        const int kind = int(std::floor(3.0 * rand01())) % 3;
        const double speed = rand01() + 1.0;
        const double end = std::min(2.5 * (speed * 30.0 * (T - 44.0) - 500.0 * rand01() + 90.0), 380.0);
        if ((kind == 0 && T > 52.0) || (kind == 1 && T > 52.7)) continue;
        glPushMatrix();
        glTranslatef(float(x), float(y), 0.0f);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glColor4f(kinds[kind][0], kinds[kind][1], kinds[kind][2], float(fade));
        draw_doodle(commands, end, 0.6);
        glPopMatrix();
    }
    glDisable(GL_BLEND);
    glPopMatrix();
}

// --- meshes ---

void title_line(scene_assets& part, show_context& context, const script_frame& f, int group, double x,
                double y, double alpha) {
    glPushMatrix();
    apply_camera(context.context_camera);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_CULL_FACE);
    glColor4f(0.0f, 0.0f, 0.0f, float(alpha));
    glTranslatef(float(x), float(y), 0.0f);
    glScalef(8.0f, 8.0f, 0.0f);
    draw_group(part.quorlaxen, group);
    glDisable(GL_CULL_FACE);
    glDisable(GL_BLEND);
    glPopMatrix();
}

// Row 26: the searchlight beam and the machine that drives at anchor 1.
void beam_and_machine(scene_assets& part, show_context& context, const script_frame& f) {
    const double T = f.T;
    if (T < 31) {
        glPushMatrix();
        apply_camera(context.context_camera);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE);
        glDisable(GL_TEXTURE_2D);
        glDisable(GL_CULL_FACE);
        const double e = ease(f.ramp(21, 0.2), 1);
        const double a = 0.6 * clamp01(step_noise(f.ramp(24.0, 0.15) + 0.05));
        glColor4f(0.0f, float(0.5 * e), float(e), float(a));
        glTranslatef(200.0f, -50.0f, 220.0f);
        glRotatef(float(56.0 * clamp01(0.068 * (T - 10.0)) - 20.0), 0.0f, 0.0f, 1.0f);
        glScalef(-8.0f, -8.0f, 8.0f);
        glRotatef(90.0f, 1.0f, 0.0f, 0.0f);
        glScalef(1.0f, 0.0f, 1.0f);
        part.kwnos.draw();
        glDisable(GL_BLEND);
        glPopMatrix();
    }

    const Vec3& a1 = part.anchor_1;
    begin_solid(context.context_camera);
    glTranslatef(a1.x, a1.y, a1.z);
    // The profile (the model's y-z plane) faces the camera above; the machine
    // turns a little toward the orbiting camera and back for the view from
    // above.
    glRotatef(float(-90.0 + 30.0 * ease(f.ramp(31, 0.25), 1) - 30.0 * ease(f.ramp(36, 0.4), 1)), 0.0f, 1.0f,
              0.0f);
    glScalef(25.0f, 25.0f, 25.0f);
    if (T > 29.4 && T < 42) {
        glPushMatrix();
        const model_point& wheel = cycle2_flywheel_pivot;
        glTranslatef(0.0f, float(wheel.y), float(wheel.z));
        glRotatef(float(780.0 * response_curve(std::max(T - 29.5, 0.0))), 1.0f, 0.0f, 0.0f);
        glTranslatef(0.0f, float(-wheel.y), float(-wheel.z));
        draw_group(part.cycle2, 1);
        glPopMatrix();

        glPushMatrix();
        const model_point& lever = cycle2_lever_pivot;
        glTranslatef(0.0f, float(lever.y), float(lever.z));
        glRotatef(float(25.0 * std::sin(2.0 * 3.14159265358979 * 1.3 * (T - 29.4))), 1.0f, 0.0f, 0.0f);
        glTranslatef(0.0f, float(-lever.y), float(-lever.z));
        draw_group(part.cycle2, 0);
        glPopMatrix();

        glPushMatrix();
        glTranslatef(0.0f, float(0.25 * std::sin(2.0 * 3.14159265358979 * 2.6 * (T - 29.4))), 0.0f);
        draw_group(part.cycle2, 2);
        glPopMatrix();
    }
    if (T > 37 && T < 42) {
        glPushMatrix();
        // Catches up from behind (the machine drives toward +x).
        glTranslatef(0.0f, 0.0f, float(4.0 + 10.0 * (1.0 - ease(f.ramp(37, 0.4), 1))));
        glRotatef(90.0f, 0.0f, 1.0f, 0.0f); // its own profile (x-y plane) to the camera
        glScalef(1.5f, 1.5f, 0.6f);
        part.truck.draw();
        glPopMatrix();
    }
    if (T < 39.55) part.side.draw();
    end_solid();
}

// Glow reveal of the horn: orange light first, then the black silhouette
// over what the light has not reached.
void trumpet_with_valves(scene_assets& part, double T, double phi) {
    part.trumpet2.draw();
    for (int k = 0; k < 3; ++k) {
        glPushMatrix();
        glTranslatef(0.0f, 0.0f, float(0.6 * clamp01(3.0 * std::sin((3.0 * k + 7.0) * phi * T))));
        draw_group(part.trumpet_plhktra, k);
        glPopMatrix();
    }
}

// Rows 30 and 31: the walk cycle of man3, 41 frames at 20 per second.
void walkers(scene_assets& part, const script_frame& f, unsigned seed, int count, bool mirrored) {
    show_srand(seed);
    for (int i = 0; i < count; ++i) {
        const double speed = rand01();
        const double spread = rand01();
        const walker_place w = walker_at(f.T, speed, spread, mirrored);
        glPushMatrix();
        glTranslatef(float(w.x), float(w.y), float(w.z));
        glScalef(w.scale_x, 15.0f, 0.0f);
        draw_group(part.man3, w.frame % 41 + 1);
        glPopMatrix();
    }
}

// Row 37: the crowd walking up the far plain.
void crowd(scene_assets& part, show_context& context, const script_frame& f) {
    const double T = f.T;
    show_srand(42424337);
    const double count = 25.0 * f.envelope(84, 0.45, 96, 0.5);
    if (count <= 0.0) return;
    begin_solid(context.context_camera);
    for (int i = 0; i < count; ++i) {
        const double x = (2.0 * rand01() - 1.0) * 1800.0 + 1160.0;
        const double offset = 180.0 * rand01();
        const double speed = 1.0 + 0.3 * rand01();
        const double a = speed * (offset + T - 86.0);
        const int frame = int(std::floor(20.0 * 0.8 * std::max(a, 0.0)));
        glPushMatrix();
        glTranslatef(float(3988.4995 + x), float(2788.0 + 24000.0 + 88.0 * (frame / 41)), 10.0f);
        glRotatef(90.0f, 0.0f, 0.0f, 1.0f);
        glScalef(150.0f, 150.0f, 150.0f);
        glDisable(GL_BLEND);
        glColor3f(0.0f, 0.0f, 0.0f);
        draw_group(part.man3, frame % 41 + 1);
        if (T < 92.5) {
            glScalef(1.0f, -1.3f, 1.0f);
            glEnable(GL_BLEND);
            glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
            glColor4f(0.0f, 0.0f, 0.0f, float(0.06 * (1.0 - f.ramp(91.5, 1))));
            draw_group(part.man3, frame % 41 + 1);
            glDisable(GL_BLEND);
        }
        glPopMatrix();
    }
    end_solid();
}

void shape_frame(scene_assets& part, const script_frame& f) {
    glDisable(GL_CULL_FACE);
    glColor3f(0.0f, 0.0f, 0.0f);
    const long frame = long(std::floor(120.0 * f.T + 464.0)) % 800;
    glCallList(GLuint(list_shape_base + 1 + 2 * frame));
}

// The box around every corner of the group; false for a group with none.
bool group_bounds(const mesh_group& group, Vec3& lo, Vec3& hi) {
    bool any = false;
    for (const quad& q : group)
        for (const Vec3& v : q.corners) {
            if (!any) {
                lo = hi = v;
                any = true;
            }
            lo = make_vec3(std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z));
            hi = make_vec3(std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z));
        }
    return any;
}

// How far the train of row 41 and the tracks of row 42 have grown out of
// the plane.
double train_growth(double T) { return ease(clamp01(0.8 * (T - 74.4)), 2); }

// Row 42: the line laid ahead of the train (which runs along +y from
// anchor 2's start at 28 units of this frame per second), and a parallel
// line that slides aside.
void track_copies(scene_assets& part, show_context& context, const script_frame& f) {
    const double T = f.T;
    const double v = train_growth(T);
    const double laid = ease(f.ramp(68, 0.5), 1) * (1.0 - f.ramp(113, 1));
    if (laid <= 0.0) return;
    const double train = 28.0 * (T - 70.0);
    const double spacing = 1.0 + 0.4 * ease(f.ramp(100, 0.25), 1);
    // The line from its start at anchor 2's origin to 60 laid units ahead of
    // the train, and the same line slid aside; a piece is left out only
    // where it lies outside the view.
    const int last = int(std::floor((train + 60.0 * laid) / spacing));
    const double aside = -30.0 * ease(f.envelope(76, 0.2, 95, 0.2), 1);
    // A piece is the tracks model turned 90 degrees about z, then about y,
    // and moved to (x, y, 0): gathered into one draw, and left out when it
    // lies wholly outside the view.
    const mesh_group& turned = part.track_piece;
    Vec3 lo = make_vec3(0.0f, 0.0f, 0.0f), hi = lo;
    const bool bounded = group_bounds(turned, lo, hi);
    dot_view view;
    auto piece = [&](double x, double y) {
        const float px = float(x), py = float(y);
        if (bounded && !box_in_view(view, lo + make_vec3(px, py, 0.0f), hi + make_vec3(px, py, 0.0f))) return;
        add_quads(part.dots, turned, px, py, 0.0f);
    };
    begin_solid(context.context_camera);
    glTranslatef(3940.0f, 1388.0f, 100.0f);
    glScalef(50.0f, 50.0f, float(50.0 * v));
    view = current_dot_view();
    for (int k = 0; k <= last; ++k)
        piece(0.0, k * spacing);
    if (aside < 0.0)
        for (int k = 0; k <= last; ++k)
            piece(aside, k * spacing);
    draw_quad_batch(part.dots);
    end_solid();
}

} // namespace

namespace {

// --- rows 9 to 42, each as the table calls it ---

void first_field(scene_assets& part, show_context& context, const script_frame& f) {
    glPushMatrix();
    apply_camera(context.context_camera);
    draw_hexagon_field(f, hexagon_field_params{}, part.dots);
    glPopMatrix();
}

// Rows 10 and 13: the fields of rows 11 and 14 start from this seed, each
// whether or not the one before it drew.
void field_seed(scene_assets&, show_context&, const script_frame&) { show_srand(42424242); }
void field_seed_and_reset(scene_assets&, show_context&, const script_frame&) {
    show_srand(42424242);
    reset_draw_state();
}

void orange_field(scene_assets& part, show_context&, const script_frame& f) {
    glPushMatrix();
    apply_camera(part.camera_3);
    glScalef(0.1f, 0.1f, 0.1f);
    draw_sweep_field(f, field_row_11, part.dots);
    glPopMatrix();
}

void blue_field(scene_assets& part, show_context&, const script_frame& f) {
    glPushMatrix();
    apply_camera(part.camera_3);
    glTranslatef(18.0f, 10.0f, 0.0f);
    glScalef(0.15f, 0.15f, 0.15f);
    draw_sweep_field(f, field_row_14, part.dots);
    glPopMatrix();
}

constexpr glow_doodle_set glowing_doodles_18 = {
    4234246, 119, 149, 40, 284.5, 266, {1.0f, 0.5f, 0.0f}, {1.0f, 0.0f, 0.0f}};
constexpr glow_doodle_set glowing_doodles_19 = {
    4234246, 152, 180, 60, 888.1, 659, {1.0f, 0.6f, 0.6f}, {0.2f, 0.4f, 0.4f}};
void title_first_line(scene_assets& part, show_context& context, const script_frame& f) {
    title_line(part, context, f, 0, 26.5, -1.52, f.envelope(1, 0.45, 8, 0.25));
}
void title_second_line(scene_assets& part, show_context& context, const script_frame& f) {
    title_line(part, context, f, 1, 13.2, -46.786, f.envelope(3, 0.45, 10, 0.25));
}
void horn_glow_opening(scene_assets& part, show_context& context, const script_frame& f) {
    const double T = f.T;
    glPushMatrix();
    apply_camera(context.context_camera);
    glTranslatef(200.0f, -50.0f, 220.0f);
    glRotatef(float(56.0 * clamp01(0.068 * (T - 10.0)) - 20.0), 0.0f, 0.0f, 1.0f);
    glScalef(-8.0f, -8.0f, 8.0f);
    const double g = 7.0 * ease(f.ramp(12, 0.1), 1) - 3.0;
    model_glow(part, context, part.horn, 10.0 * g - 3.0, 10.0 * g);
    glPopMatrix();
}

void horn_glow_sliding(scene_assets& part, show_context& context, const script_frame& f) {
    const double T = f.T;
    glPushMatrix();
    apply_camera(part.camera_1);
    glTranslatef(0.0f, float(60.0 - 70.0 * (T - 42.0)), 300.0f);
    glRotatef(float((0.6 * T + 4.0) * 56.0 - 20.0), 0.0f, 0.0f, 1.0f);
    glScalef(-8.0f, -8.0f, 8.0f);
    const double g = 7.0 * ease(f.ramp(41.5, 0.4), 1) - 3.0;
    model_glow(part, context, part.horn, 10.0 * g - 3.0, 10.0 * g);
    glPopMatrix();
}

void trumpet_high(scene_assets& part, show_context&, const script_frame& f) {
    begin_solid(part.camera_1);
    glTranslatef(0.0f, -160.0f, 350.0f);
    glScalef(10.0f, 10.0f, 10.0f);
    glRotatef(90.0f, 1.0f, 0.0f, 0.0f);
    trumpet_with_valves(part, f.T, 0.3);
    end_solid();
}

void walkers_row_30(scene_assets& part, show_context&, const script_frame& f) {
    begin_solid(part.camera_1);
    walkers(part, f, 4243030, 5, false);
    end_solid();
}

void walkers_row_31(scene_assets& part, show_context&, const script_frame& f) {
    begin_solid(part.camera_1);
    walkers(part, f, 4243031, 6, true);
    end_solid();
}

void trumpet_mirrored(scene_assets& part, show_context&, const script_frame& f) {
    begin_solid(part.camera_1);
    glTranslatef(0.0f, -270.0f, 250.0f);
    glScalef(-10.0f, 10.0f, 10.0f);
    trumpet_with_valves(part, f.T, 0.4);
    end_solid();
}

void trumpet_large(scene_assets& part, show_context&, const script_frame& f) {
    begin_solid(part.camera_1);
    glTranslatef(104.0f, -500.0f, 50.0f);
    glScalef(30.0f, 30.0f, 30.0f);
    trumpet_with_valves(part, f.T, 0.25);
    end_solid();
}

// Row 34: the horn glowing on the plain.
void horn_glow_plain(scene_assets& part, show_context& context, const script_frame& f) {
    glPushMatrix();
    apply_camera(context.context_camera);
    glTranslatef(2054.0f, -870.0f, 100.0f);
    glScalef(60.0f, 60.0f, 60.0f);
    glRotatef(90.8f, 0.0f, 0.0f, 1.0f);
    glRotatef(float(-30.0 * ease(f.ramp(58, 0.2), 1)), 0.0f, 0.0f, 1.0f);
    const double g = 7.0 * ease(f.ramp(55.5, 0.3), 1) - 3.0;
    model_glow(part, context, part.horn, 10.0 * g - 3.0, 10.0 * g);
    glPopMatrix();
}

void trumpet_giant(scene_assets& part, show_context& context, const script_frame& f) {
    begin_solid(context.context_camera);
    glTranslatef(3694.0f, -1011.0f, 2400.0f);
    glScalef(200.0f, 200.0f, 200.0f);
    glRotatef(90.8f, 0.0f, 0.0f, 1.0f);
    glRotatef(90.0f, 1.0f, 0.0f, 0.0f);
    trumpet_with_valves(part, f.T, 0.35);
    end_solid();
}

void flute_giant(scene_assets& part, show_context& context, const script_frame&) {
    begin_solid(context.context_camera);
    glTranslatef(3858.4995f, 1388.0f, 100.0f);
    glScalef(340.0f, -340.0f, 340.0f);
    glRotatef(90.0f, 0.0f, 0.0f, 1.0f);
    glRotatef(90.0f, 1.0f, 0.0f, 0.0f);
    part.flute.draw();
    end_solid();
}

// Rows 38 and 39: the outline-shape animation.
void shapes_first(scene_assets& part, show_context& context, const script_frame& f) {
    glPushMatrix();
    apply_camera(context.context_camera);
    glTranslatef(3613.0334f, -1708.0f, 100.0f);
    glScalef(-1040.0f, -800.0f, 800.0f);
    shape_frame(part, f);
    glPopMatrix();
}

void shapes_second(scene_assets& part, show_context& context, const script_frame& f) {
    glPushMatrix();
    apply_camera(context.context_camera);
    glTranslatef(4670.4995f, 4028.0f, 100.0f);
    glScalef(0.85f, 0.85f, 0.85f);
    glScalef(-1040.0f, 800.0f, 800.0f);
    shape_frame(part, f);
    glPopMatrix();
}

// Rows 40 to 42: trains and tracks.
void train_on_track_lines(scene_assets& part, show_context& context, const script_frame& f) {
    begin_solid(context.context_camera);
    glTranslatef(float(170.0 * (std::max(f.T - 50.0, 0.0) - 1.0) + 104.0), -417.8f, 50.0f);
    glScalef(5.0f, 5.0f, 0.0f);
    glRotatef(90.0f, 0.0f, 1.0f, 0.0f);
    part.train.draw();
    end_solid();
}

void growing_train(scene_assets& part, show_context& context, const script_frame& f) {
    begin_solid(context.context_camera);
    glTranslatef(part.anchor_2.x, part.anchor_2.y, part.anchor_2.z);
    glScalef(50.0f, 50.0f, float(50.0 * train_growth(f.T)));
    glRotatef(90.0f, 0.0f, 0.0f, 1.0f);
    glRotatef(90.0f, 0.0f, 1.0f, 0.0f);
    part.train.draw();
    end_solid();
}

// Rows 1 to 8; the backdrop is flushed after the last of them.
constexpr script_row backdrop_rows[] = {
    {"1", always, prologue},
    {"2", before(30.53), paper_opening},
    {"3", always, translucent_setup},
    {"4", closed_open(30.53, 50.0), paper_swaying},
    {"5", open_closed(50.0, 80.0), paper_wide},
    {"6", after(70.0), paper_late},
    {"7", between(68.0, 99.0), stripe_wall_row},
    {"8", after(41.0), paper_huge},
};

constexpr script_row rows_9_to_42[] = {
    {"9", before(33.0), first_field},
    {"10", always, field_seed_and_reset},
    {"11", between(121.0, 157.0), orange_field},
    {"12", after(155.0), glow_disc},
    {"13", always, field_seed},
    {"14", after(156.0), blue_field},
    {"15", between(56.0, 73.0), drifting_field},
    {"16", before(33.0), opening_field},
    {"17", before(35.0), meanders<doodles_row_17>},
    {"18", between(119.0, 150.0), glow_doodles<glowing_doodles_18>},
    {"19", between(152.0, 181.0), glow_doodles<glowing_doodles_19>},
    {"20", before(36.0), meanders<doodles_row_20>},
    {"21", between(51.0, 62.0), track_lines},
    {"22", always, emptying_field},
    {"23", before(18.0), title_first_line},
    {"24", before(19.0), title_second_line},
    {"25", before(54.0), coloured_doodles},
    {"26", before(46.0), beam_and_machine},
    {"27", before(32.0), horn_glow_opening},
    {"28", between(41.0, 47.0), horn_glow_sliding},
    {"29", between(43.0, 50.0), trumpet_high},
    {"30", between(44.0, 47.2), walkers_row_30},
    {"31", between(47.2, 52.0), walkers_row_31},
    {"32", between(45.0, 54.0), trumpet_mirrored},
    {"33", between(46.0, 58.0), trumpet_large},
    {"34", between(55.0, 70.0), horn_glow_plain},
    {"35", between(60.0, 71.0), trumpet_giant},
    {"36", between(60.0, 74.0), flute_giant},
    {"37", always, crowd},
    {"38", between(63.2, 68.5), shapes_first},
    {"39", between(70.0, 75.0), shapes_second},
    {"40", between(52.5, 59.3), train_on_track_lines},
    {"41", between(70.0, 115.0), growing_train},
    {"42", always, track_copies},
};

} // namespace

void draw_rows(std::span<const script_row> rows, scene_assets& part, show_context& context,
               const script_frame& f) {
    for (const script_row& row : rows)
        if (row.window.contains(f.T)) row.draw(part, context, f);
}

std::span<const script_row> scene_script_rows() {
    static const std::vector<script_row> rows = [] {
        std::vector<script_row> all(std::begin(backdrop_rows), std::end(backdrop_rows));
        all.insert(all.end(), std::begin(rows_9_to_42), std::end(rows_9_to_42));
        const std::span<const script_row> late = script_rows_43_to_65();
        all.insert(all.end(), late.begin(), late.end());
        return all;
    }();
    return rows;
}

std::string drawing_rows(double T) {
    std::string out;
    for (const script_row& row : scene_script_rows()) {
        if (row.window.always() || !row.window.contains(T)) continue;
        if (!out.empty()) out += ' ';
        out += row.row;
    }
    return out;
}

void draw_scene_script(scene_assets& part, show_context& context, const script_frame& f) {
    draw_rows(backdrop_rows, part, context, f);
    end_backdrop(part, context);
    draw_rows(rows_9_to_42, part, context, f);
    draw_script_rows_43_to_65(part, context, f);

    disable_vertex_profile(context);
    disable_fragment_profile(context);
    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);
    glPopMatrix();
}

void (*frame_stage_mark)(const char* stage) = nullptr;
