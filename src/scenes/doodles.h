// Pen strokes grown along turtle paths: a command string of '*', 'l' and 'r'
// becomes an open path of closely spaced points on z = 0, and flat renderers
// draw a ribbon, a railway track, centre dashes or a cut along it between a
// start and an end position measured in path points (position k + f lies f
// of the way from point k to point k + 1). Nothing is cached: callers
// rebuild every path every frame.
#pragma once

#include <string>
#include <vector>

#include "math/path.h"
#include "math/vec3.h"

// Extra turn per step of draw_bent_track_line, radians. The scene script
// stores 0.0013 before each stroke; the generator only reads it.
extern double bend_offset;

// Turtle: position (0, 0, 0), heading (0.3, 0, 0). Per step the position
// moves by the heading, the heading may turn about z, and the position is
// appended. '*' = 15 straight steps, 'l' = `turn_steps` steps turning by
// +left, 'r' = `turn_steps` steps turning by -right; other bytes are skipped.
// The result is an open path (the origin itself is not a point).
void build_turtle_path(const std::string& commands, int turn_steps, double left, double right, path& out);

// A vertex of a renderer in path coordinates (z dropped).
struct flat_vertex {
    float x;
    float y;
};

// The vertices that the renderers below emit, in emission order, for tests
// and for callers that batch. Each appends to `out`.
// Ribbon: pairs (left, right) along [start, end - 1]; `widths` (its x field
// per point) is used only when half_width < 0.00001; null means none.
void ribbon_vertices(const path& p, double start, double end, double offset, double half_width,
                     const std::vector<Vec3>* widths, std::vector<flat_vertex>& out);
// Track: ties every 9th point, then the left rail, then the right rail;
// four vertices per quad.
void track_vertices(const path& p, double start, double end, double offset, double half_width,
                    std::vector<flat_vertex>& out);
// Dashes: every 7th point, stopping 5 points short of end.
void dash_vertices(const path& p, double start, double end, double offset, double half_width,
                   std::vector<flat_vertex>& out);
// Cut: a strip from 2 w to 2.1 w left of the path (offset has no effect).
void cut_vertices(const path& p, double start, double end, double offset, double half_width,
                  std::vector<flat_vertex>& out);

// GL renderers in the current model-view matrix. draw_ribbon uses the
// caller's colour and blending; draw_track draws black; draw_track,
// draw_dashes and draw_cut disable blending first. They cover what the
// vertices above cover, but give each straight stretch of a ribbon, rail or
// cut as one quad instead of a piece a point.
void draw_ribbon(const path& p, double start, double end, double offset, double half_width,
                 const std::vector<Vec3>* widths);
void draw_track(const path& p, double start, double end, double offset, double half_width);
void draw_dashes(const path& p, double start, double end, double offset, double half_width);
void draw_cut(const path& p, double start, double end, double offset, double half_width);

// Doodle generators: build the path, draw, release it. Renderers receive
// half_width = 2.1 width. Nothing is drawn while end <= 0.001.
// A meander (half-circle turns) with a pen dot at each end; caller's colour.
void draw_doodle(std::string commands, double end, double width);
// A black road with white centre dashes (quarter turns).
void draw_road(std::string commands, double end, double width, double start);
// A railway track (quarter turns).
void draw_track_line(std::string commands, double end, double width, double start);
// The same with every turn widened by bend_offset.
void draw_bent_track_line(std::string commands, double end, double width, double start);

// An irregular mask that opens as x grows: x clamped to [0, 1]; 0 at x <= 0,
// 1 at x >= 1, otherwise either x (2 - x) or a value <= 0.
double step_noise(double x);

// The turn tables of the generators.
constexpr int doodle_turn_steps = 47;
constexpr double doodle_turn = 0.06684;
constexpr int track_turn_steps = 23;
constexpr double track_turn_left = 0.066841;
constexpr double track_turn_right = 0.066839;
