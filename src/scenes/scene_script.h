// The scene script: one frame of the show as a pure function of the scene
// time. The script is a table of rows, each an element of the show with the
// window of scene time in which it draws, walked in order every frame:
// rows 1 to 42 in scene_script.cpp, rows 43 to 65 in scene_script_rows43.cpp.
// Rows whose window is `always` run in every frame; some only set up state
// (a seed, a reset) for the rows after them.
//
// Shared here: the per-frame record and the small helpers every row builds
// on (envelopes, the shared random draws, camera application, dots, the
// first-field cell formula, doodle command strings, the track-line set).
#pragma once

#include <limits>
#include <span>
#include <string>

#include "math/vec3.h"
#include "resources/show_context.h"
#include "scenes/draw_batch.h"
#include "scenes/scene_assets.h"

// Everything a row reads about the current frame. Filled once by the
// production part before the script runs; rows never change it.
struct script_frame {
    double T = 0.0; // the production's scene time, seconds
    int W = 1280;   // render (view) size in pixels
    int H = 720;
    double sway_x = 0.0; // the camera track's sway
    double sway_y = 0.0;

    // clamp((T - start) * rate, 0, 1): a fade that starts at `start` and
    // lasts 1 / rate seconds.
    double ramp(double start, double rate) const;
    // ramp(s1, r1) - ramp(s2, r2): rises at s1, falls at s2.
    double envelope(double s1, double r1, double s2, double r2) const;
    // max(T - start, 0)
    double since(double start) const;
};

double script_ramp(double T, double start, double rate);
double clamp01(double x);
// The scene's far plane at scene time T: the world grows past the train ride.
double scene_far_plane(double T);
// ease_cos(x, k) with plain arguments.
double ease(double x, double k);

// Shared generator: show_rand() / 32767, 0..1 inclusive.
double rand01();
// Draws 1 + (1 or 3) random numbers as the colour rule does and sets the dim
// colour with glColor3f; rows call it to keep their random order.
void random_dim_colour();

// glLoadIdentity, then gluLookAt(eye, centre, up).
void apply_camera(const camera_pose& pose);

// The usual solid element: unblended, culled, black, through a camera;
// end_solid pops the camera and switches culling off again.
void begin_solid(const camera_pose& camera);
void end_solid();

// Group k of a model in immediate mode.
void draw_group(const mesh& model, int k);
// glLoadIdentity, then a camera straight down -z at z = 520, shifted by
// 600 * sway in x and y.
void apply_sway_camera(const script_frame& frame);

// push; translate (x, y, 0); scale (2 size, 2 size * squash, 2 size);
// call `list`; pop. Colour and blending are the caller's.
void draw_dot(double x, double y, double size, double squash, int list);

// Projection times modelview as the GL holds them now, column-major; read
// once per field so each dot can be tested against the view volume.
struct dot_view {
    double m[16];
};
dot_view current_dot_view();
// False only when the dot draw_dot would draw at (x, y) (the unit polygon
// scaled by 2 size, 2 size squash) lies wholly outside one clip plane of
// `view`, by a margin far above the float rounding of the GL's own
// transform: such a dot produces no fragment, so skipping it leaves the
// picture as it was. Anything near an edge counts as visible.
bool dot_in_view(const dot_view& view, double x, double y, double size, double squash);
// False when the dot draw_dot would draw at (x, y) covers less than one
// pixel of a width x height view: its box on the screen is smaller than a
// pixel. A dot partly behind the eye counts as covering.
bool dot_covers_a_pixel(const dot_view& view, int width, int height, double x, double y, double size,
                        double squash);
// The same test for an axis-aligned box [lo, hi] in the current object
// space: false only when all eight corners lie beyond one clip plane.
bool box_in_view(const dot_view& view, const Vec3& lo, const Vec3& hi);

// The hexagon field of the opening (row 9), generalised for its later
// reprise: rows -25..23 step 2, columns -40..98 step 2, pitch 4.5.
// Per cell the wave is clamp(wave_rate * (T - wave_start) - 0.01 c, 0, 1),
// the dots shrink with 0.15 (T - shrink_start) and the final size factor is
// `size_factor` (0.25 in the opening). Draws black hexagons, consuming ten
// random values per cell in the fixed order. Seeds nothing itself.
struct hexagon_field_params {
    double wave_rate = 0.2;
    double wave_start = 0.0;
    double shrink_start = 23.0;
    double size_factor = 0.25;
};
// The dots are gathered in `dots` and drawn at the end in one call.
void draw_hexagon_field(const script_frame& frame, const hexagon_field_params& params, draw_batch& dots);

// One random cell of the first-field family, random order: u, one discarded
// value, rate and phase of s1, rate and phase of q, a vector's three values,
// one more discarded value. `wave` is the cell's p.
struct dot_cell {
    double u = 0.0;      // first draw: size seed
    double size = 0.0;   // clamp((1.5 u w)^3, 0, 1) * size_factor
    double squash = 0.0; // q, the y scale
};
dot_cell first_field_cell(double T, double wave, double shrink_start, double size_factor);

// A meander of `count` characters: per character one rand01(); below
// `turn_probability` a turn ('l' when the direction is +1, 'r' when -1) and
// the direction flips, else '*'.
std::string meander_commands(int count, double turn_probability, int direction);

// The railway yard: 15 draw_track_line strokes from one origin (all in the
// current matrix), seeded by the caller. Strokes 0 and 1 are `straight`
// stars; stroke k >= 2 is 7 + 3k stars then 40 random characters (turns
// with probability 0.12, each maybe followed by an extra 'l' then 'r').
// End 240 (T - t0) for stroke 0, (50 rand01() + 150) (T - t0) otherwise;
// with `erase_from` >= 0 the start is min(700 max(T - erase_from, 0), end).
void draw_track_line_set(const script_frame& frame, double t0, int straight, double erase_from, double width);

// Rows 30 and 31: a walker of man3 from its two random draws (speed, then
// spread). `frame` counts walk-cycle frames at 20 a second (group
// frame % 41 + 1); the place moves on 8.6 units each full cycle, over which
// the model's frames carry the figure the same 8.6 units forward (0.573 in
// model units at scale 15).
struct walker_place {
    double x = 0.0, y = 0.0, z = 0.0;
    float scale_x = 15.0f;
    int frame = 0;
};
walker_place walker_at(double T, double speed_draw, double spread_draw, bool mirrored);

// --- the table of rows ---

// The scene times at which a row draws: from `from` to `to`, each end open
// unless marked closed; an infinite end leaves that side unbounded.
struct row_window {
    double from = -std::numeric_limits<double>::infinity();
    double to = std::numeric_limits<double>::infinity();
    bool from_closed = false;
    bool to_closed = false;

    constexpr bool contains(double T) const {
        return (from_closed ? T >= from : T > from) && (to_closed ? T <= to : T < to);
    }
    constexpr bool always() const {
        return from == -std::numeric_limits<double>::infinity() &&
               to == std::numeric_limits<double>::infinity();
    }
};
constexpr row_window always{};
constexpr row_window before(double t) { return {-std::numeric_limits<double>::infinity(), t}; } // T < t
constexpr row_window after(double t) { return {t}; }                                            // T > t
constexpr row_window between(double from, double to) { return {from, to}; }                     // open
constexpr row_window closed_open(double from, double to) { return {from, to, true, false}; } // from <= T < to
constexpr row_window open_closed(double from, double to) { return {from, to, false, true}; } // from < T <= to

using row_draw = void (*)(scene_assets& assets, show_context& context, const script_frame& frame);

struct script_row {
    const char* row; // its number in the script: "1" ... "65", "63a" ...
    row_window window;
    row_draw draw;
};

// Draws each of `rows`, in order, whose window holds the frame's T.
void draw_rows(std::span<const script_row> rows, scene_assets& assets, show_context& context,
               const script_frame& frame);

// Every row of the script, in drawing order.
std::span<const script_row> scene_script_rows();
// The rows 43 to 65, in their order; defined with those rows.
std::span<const script_row> script_rows_43_to_65();

// The numbers of the rows with a window of their own that draw at T (the
// rows that run in every frame left out), separated by spaces.
std::string drawing_rows(double T);

// Every element of the show in its time window, for one frame: the rows in
// order, the backdrop flushed after row 8, the GL state put back at the end.
void draw_scene_script(scene_assets& assets, show_context& context, const script_frame& frame);

// The rows 43 to 65 alone, as the whole script runs them after row 42 in
// the same matrix and GL state; the draw state reset after the last.
void draw_script_rows_43_to_65(scene_assets& assets, show_context& context, const script_frame& frame);

// A model's glow as the rows draw it: warm light, then dark, through the
// main program's fragment stage, culling and texturing off afterwards.
void model_glow(scene_assets& assets, show_context& context, mesh& model, double first, double second);

// Two-pass flattened glow of a two-group mesh driven by "ttime".
void ttime_glow(show_context& context, mesh& model, int program, const float second_colour[3],
                const float first_colour[3], bool clear_alpha, double ttime_first, double ttime_second);

// --- where a frame's time goes (the show benchmark) ---
// Null in the show. A benchmark sets it to be told, in drawing order, where
// each stage of a frame begins: "window clear", "target clear", "backdrop",
// "scene", "glow clear" (and "scene" again after it), "resolve", "bend",
// "present", and "end" after the frame's last call.
extern void (*frame_stage_mark)(const char* stage);
inline void mark_frame_stage(const char* stage) {
    if (frame_stage_mark) frame_stage_mark(stage);
}
