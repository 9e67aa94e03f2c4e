// Solid-model building blocks of the data forge: closed, outward-wound
// meshes made of swept tubes, lathes, boxes and extruded 2-D outlines, kept
// in groups and written in the show's OBJ subset.
#pragma once

#include <cmath>
#include <string>
#include <vector>

namespace forge {

struct v3 {
    double x = 0, y = 0, z = 0;
};
inline v3 operator+(v3 a, v3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline v3 operator-(v3 a, v3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline v3 operator*(v3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline double dot(v3 a, v3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline v3 cross(v3 a, v3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
inline double length(v3 a) { return std::sqrt(dot(a, a)); }
inline v3 normalized(v3 a) {
    double l = length(a);
    return l > 0 ? a * (1.0 / l) : v3{0, 0, 0};
}

struct p2 {
    double x = 0, y = 0;
};
using polygon = std::vector<p2>;

// A face of three or four corners, wound counter-clockwise seen from outside.
struct face {
    int corner[4];
    int count;
};

struct group {
    std::string name;
    std::vector<v3> vertices;
    std::vector<face> faces;

    int add(v3 p);
    void tri(int a, int b, int c) { faces.push_back({{a, b, c, c}, 3}); }
    void quad(int a, int b, int c, int d) { faces.push_back({{a, b, c, d}, 4}); }
    // Appends another group's faces (a copy, for parts drawn in two places).
    void append(const group& other);
};

struct model {
    std::vector<group> groups;
    group& add_group(const std::string& name);
};

// Plane of a 2-D outline in model space: point (u, v) at depth w lies at
// origin + u*axis_u + v*axis_v + w*(axis_u x axis_v).
struct plane {
    v3 origin;
    v3 axis_u;
    v3 axis_v;
};
inline plane plane_xy(double z = 0) { return {{0, 0, z}, {1, 0, 0}, {0, 1, 0}}; }
// Seen from +y with u = x and v = -z: the plane the show flattens most
// instruments onto (screen up is model -z).
inline plane plane_xz(double y = 0) { return {{0, y, 0}, {1, 0, 0}, {0, 0, -1}}; }
// Seen from +x with u = z and v = y: the side view of vehicles.
inline plane plane_zy(double x = 0) { return {{x, 0, 0}, {0, 0, 1}, {0, 1, 0}}; }

// Outline union: overlapping polygons (any winding) merged into boundary
// contours, outer ones counter-clockwise, holes clockwise.
std::vector<polygon> merge_outlines(const std::vector<polygon>& polygons);
// Boundary contours of a glyph-style outline (holes wound against their
// outer contour) under the non-zero rule.
std::vector<polygon> boundary_nonzero(const std::vector<polygon>& contours);

// A closed slab from boundary contours (as merge_outlines gives them),
// between depths w0 < w1 of the plane.
void extrude(group& g, const std::vector<polygon>& boundary, const plane& pl, double w0, double w1);
// merge_outlines then extrude, centred on the plane.
void slab(group& g, const std::vector<polygon>& polygons, const plane& pl, double thickness);

// merge_outlines with holes cut out of the union (windows, spoke gaps).
std::vector<polygon> merge_outlines(const std::vector<polygon>& solids, const std::vector<polygon>& holes);
void slab(group& g, const std::vector<polygon>& solids, const std::vector<polygon>& holes, const plane& pl,
          double thickness);

// A closed hull through rings of equal size laid one after another along an axis:
// each ring runs counter-clockwise seen from where the next ring lies.
void loft(group& g, const std::vector<std::vector<v3>>& rings);

// A tube along a polyline, radius per point, closed at both ends.
void tube(group& g, const std::vector<v3>& path, const std::vector<double>& radius, int sides = 12);
void tube(group& g, const std::vector<v3>& path, double radius, int sides = 12);
// A solid of revolution around the axis from `base` along `axis`; the
// profile gives (distance along the axis, radius).
void lathe(group& g, v3 base, v3 axis, const std::vector<p2>& profile, int sides = 24);
// A box with centre, half sizes, and its local x and y axes (z follows).
void box(group& g, v3 centre, v3 half, v3 axis_x = {1, 0, 0}, v3 axis_y = {0, 1, 0});
void sphere(group& g, v3 centre, double radius, int rings = 10, int sides = 16);

// 2-D outline helpers.
polygon circle(p2 c, double r, int n = 32, double start = 0);
polygon ring_segment(p2 c, double r0, double r1, double a0, double a1, int n = 24);
polygon rect(double x0, double y0, double x1, double y1);
// A band of width w around a polyline (round joints approximated by the
// caller with circles where needed).
polygon band(p2 a, p2 b, double w0, double w1);
std::vector<polygon> stroke(const std::vector<p2>& line, double width, bool round_joints = true);
polygon transformed(const polygon& p, double cx, double cy, double angle, double sx = 1, double sy = 1);

// Polyline of a quadratic or cubic Bezier curve.
void bezier(std::vector<p2>& out, p2 a, p2 b, p2 c, int steps);
void bezier(std::vector<p2>& out, p2 a, p2 b, p2 c, p2 d, int steps);

// The model in the show's OBJ subset: per group an "o" line, its vertices,
// then its faces with corners written as `index//`.
std::string to_obj(const model& m, const std::string& title);

} // namespace forge
