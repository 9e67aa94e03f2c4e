#include "geometry.h"

#include <GL/glu.h>

#include <array>
#include <cstdio>
#include <deque>
#include <stdexcept>

namespace forge {

namespace {

constexpr double pi = 3.14159265358979323846;

// What one run of GLU's tessellator hands back: triangles or boundary loops.
struct tess_out {
    std::deque<std::array<double, 3>> storage; // stable addresses for GLU
    std::vector<p2> current;
    std::vector<polygon> loops;
    std::vector<p2> triangles; // three points per triangle
    GLenum error = 0;
};

void GLAPIENTRY on_begin(GLenum, void*) {}
void GLAPIENTRY on_vertex(void* vertex, void* data) {
    auto* out = static_cast<tess_out*>(data);
    auto* v = static_cast<double*>(vertex);
    out->current.push_back({v[0], v[1]});
}
void GLAPIENTRY on_end(void* data) {
    auto* out = static_cast<tess_out*>(data);
    out->loops.push_back(out->current);
    out->current.clear();
}
void GLAPIENTRY on_end_triangles(void* data) {
    auto* out = static_cast<tess_out*>(data);
    out->triangles.insert(out->triangles.end(), out->current.begin(), out->current.end());
    out->current.clear();
}
void GLAPIENTRY on_edge_flag(GLboolean, void*) {} // its presence forces plain triangles
void GLAPIENTRY on_combine(GLdouble coords[3], void* [4], GLfloat[4], void** result, void* data) {
    auto* out = static_cast<tess_out*>(data);
    out->storage.push_back({coords[0], coords[1], 0.0});
    *result = out->storage.back().data();
}
// Errors are only recorded here: unwinding through GLU's C frames is not safe.
void GLAPIENTRY on_error(GLenum code, void* data) { static_cast<tess_out*>(data)->error = code; }

using callback = void(GLAPIENTRY*)();

tess_out run_tessellator(const std::vector<polygon>& contours, GLenum winding, bool boundary_only) {
    tess_out out;
    GLUtesselator* t = gluNewTess();
    gluTessCallback(t, GLU_TESS_BEGIN_DATA, reinterpret_cast<callback>(on_begin));
    gluTessCallback(t, GLU_TESS_VERTEX_DATA, reinterpret_cast<callback>(on_vertex));
    gluTessCallback(t, GLU_TESS_END_DATA,
                    reinterpret_cast<callback>(boundary_only ? on_end : on_end_triangles));
    gluTessCallback(t, GLU_TESS_COMBINE_DATA, reinterpret_cast<callback>(on_combine));
    gluTessCallback(t, GLU_TESS_ERROR_DATA, reinterpret_cast<callback>(on_error));
    if (!boundary_only) gluTessCallback(t, GLU_TESS_EDGE_FLAG_DATA, reinterpret_cast<callback>(on_edge_flag));
    gluTessProperty(t, GLU_TESS_WINDING_RULE, winding);
    gluTessProperty(t, GLU_TESS_BOUNDARY_ONLY, boundary_only ? GL_TRUE : GL_FALSE);
    gluTessNormal(t, 0, 0, 1);
    gluTessBeginPolygon(t, &out);
    for (const polygon& c : contours) {
        if (c.size() < 3) continue;
        gluTessBeginContour(t);
        for (p2 p : c) {
            out.storage.push_back({p.x, p.y, 0.0});
            gluTessVertex(t, out.storage.back().data(), out.storage.back().data());
        }
        gluTessEndContour(t);
    }
    gluTessEndPolygon(t);
    gluDeleteTess(t);
    if (out.error)
        throw std::runtime_error(std::string("tessellation failed: ") +
                                 reinterpret_cast<const char*>(gluErrorString(out.error)));
    return out;
}

double signed_area(const polygon& p) {
    double a = 0;
    for (size_t i = 0; i < p.size(); ++i) {
        p2 u = p[i], v = p[(i + 1) % p.size()];
        a += u.x * v.y - v.x * u.y;
    }
    return a * 0.5;
}

v3 on_plane(const plane& pl, p2 p, double w) {
    v3 n = cross(pl.axis_u, pl.axis_v);
    return pl.origin + pl.axis_u * p.x + pl.axis_v * p.y + n * w;
}

// Any two vectors completing `t` to a right-handed frame (u x v = t).
void frame_for(v3 t, v3& u, v3& v) {
    v3 helper = std::fabs(t.y) < 0.9 ? v3{0, 1, 0} : v3{1, 0, 0};
    u = normalized(cross(helper, t));
    v = cross(t, u);
}

} // namespace

int group::add(v3 p) {
    vertices.push_back(p);
    return static_cast<int>(vertices.size()) - 1;
}

void group::append(const group& other) {
    int base = static_cast<int>(vertices.size());
    vertices.insert(vertices.end(), other.vertices.begin(), other.vertices.end());
    for (face f : other.faces) {
        for (int k = 0; k < 4; ++k)
            f.corner[k] += base;
        faces.push_back(f);
    }
}

group& model::add_group(const std::string& name) {
    groups.push_back(group{name, {}, {}});
    return groups.back();
}

std::vector<polygon> merge_outlines(const std::vector<polygon>& polygons) {
    std::vector<polygon> ccw;
    for (const polygon& p : polygons) {
        if (p.size() < 3) continue;
        polygon q = p;
        if (signed_area(q) < 0) q.assign(p.rbegin(), p.rend());
        ccw.push_back(q);
    }
    return run_tessellator(ccw, GLU_TESS_WINDING_POSITIVE, true).loops;
}

std::vector<polygon> merge_outlines(const std::vector<polygon>& solids, const std::vector<polygon>& holes) {
    std::vector<polygon> all;
    for (const polygon& p : solids) {
        if (p.size() < 3) continue;
        all.push_back(p);
        if (signed_area(p) < 0) all.back().assign(p.rbegin(), p.rend());
    }
    // Holes wound clockwise at ten times the weight of any overlap of solids,
    // so they always cut through.
    for (const polygon& p : holes) {
        if (p.size() < 3) continue;
        polygon q = p;
        if (signed_area(q) > 0) q.assign(p.rbegin(), p.rend());
        for (int k = 0; k < 10; ++k)
            all.push_back(q);
    }
    return run_tessellator(all, GLU_TESS_WINDING_POSITIVE, true).loops;
}

void slab(group& g, const std::vector<polygon>& solids, const std::vector<polygon>& holes, const plane& pl,
          double thickness) {
    extrude(g, merge_outlines(solids, holes), pl, -thickness / 2, thickness / 2);
}

void loft(group& g, const std::vector<std::vector<v3>>& rings) {
    size_t n = rings.size();
    if (n < 2) return;
    size_t m = rings[0].size();
    std::vector<std::vector<int>> ids(n);
    for (size_t i = 0; i < n; ++i)
        for (v3 p : rings[i])
            ids[i].push_back(g.add(p));
    for (size_t i = 0; i + 1 < n; ++i)
        for (size_t s = 0; s < m; ++s) {
            size_t t = (s + 1) % m;
            g.quad(ids[i][s], ids[i][t], ids[i + 1][t], ids[i + 1][s]);
        }
    v3 a{}, b{};
    for (size_t s = 0; s < m; ++s) {
        a = a + rings[0][s] * (1.0 / m);
        b = b + rings[n - 1][s] * (1.0 / m);
    }
    int c0 = g.add(a), c1 = g.add(b);
    for (size_t s = 0; s < m; ++s) {
        size_t t = (s + 1) % m;
        g.tri(c0, ids[0][t], ids[0][s]);
        g.tri(c1, ids[n - 1][s], ids[n - 1][t]);
    }
}

std::vector<polygon> boundary_nonzero(const std::vector<polygon>& contours) {
    return run_tessellator(contours, GLU_TESS_WINDING_NONZERO, true).loops;
}

void extrude(group& g, const std::vector<polygon>& boundary, const plane& pl, double w0, double w1) {
    tess_out caps = run_tessellator(boundary, GLU_TESS_WINDING_ODD, false);
    for (size_t i = 0; i + 2 < caps.triangles.size(); i += 3) {
        p2 a = caps.triangles[i], b = caps.triangles[i + 1], c = caps.triangles[i + 2];
        if ((b.x - a.x) * (c.y - a.y) - (c.x - a.x) * (b.y - a.y) < 0) std::swap(b, c);
        g.tri(g.add(on_plane(pl, a, w1)), g.add(on_plane(pl, b, w1)), g.add(on_plane(pl, c, w1)));
        g.tri(g.add(on_plane(pl, a, w0)), g.add(on_plane(pl, c, w0)), g.add(on_plane(pl, b, w0)));
    }
    for (const polygon& loop : boundary) {
        size_t n = loop.size();
        if (n < 2) continue;
        std::vector<int> back(n), front(n);
        for (size_t k = 0; k < n; ++k) {
            back[k] = g.add(on_plane(pl, loop[k], w0));
            front[k] = g.add(on_plane(pl, loop[k], w1));
        }
        for (size_t k = 0; k < n; ++k) {
            size_t j = (k + 1) % n;
            g.quad(back[k], back[j], front[j], front[k]);
        }
    }
}

void slab(group& g, const std::vector<polygon>& polygons, const plane& pl, double thickness) {
    extrude(g, merge_outlines(polygons), pl, -thickness / 2, thickness / 2);
}

void tube(group& g, const std::vector<v3>& path, const std::vector<double>& radius, int sides) {
    size_t n = path.size();
    if (n < 2) return;
    // Parallel-transported frame, so the rings do not twist along the path.
    std::vector<v3> tangent(n);
    for (size_t i = 0; i < n; ++i) {
        v3 a = path[i > 0 ? i - 1 : 0], b = path[i + 1 < n ? i + 1 : n - 1];
        tangent[i] = normalized(b - a);
    }
    v3 u, v;
    frame_for(tangent[0], u, v);
    std::vector<std::vector<int>> rings(n);
    for (size_t i = 0; i < n; ++i) {
        if (i > 0) {
            u = normalized(u - tangent[i] * dot(u, tangent[i]));
            v = cross(tangent[i], u);
        }
        for (int s = 0; s < sides; ++s) {
            double a = 2 * pi * s / sides;
            rings[i].push_back(g.add(path[i] + (u * std::cos(a) + v * std::sin(a)) * radius[i]));
        }
    }
    for (size_t i = 0; i + 1 < n; ++i)
        for (int s = 0; s < sides; ++s) {
            int t = (s + 1) % sides;
            g.quad(rings[i][s], rings[i][t], rings[i + 1][t], rings[i + 1][s]);
        }
    int c0 = g.add(path[0]), c1 = g.add(path[n - 1]);
    for (int s = 0; s < sides; ++s) {
        int t = (s + 1) % sides;
        g.tri(c0, rings[0][t], rings[0][s]);
        g.tri(c1, rings[n - 1][s], rings[n - 1][t]);
    }
}

void tube(group& g, const std::vector<v3>& path, double radius, int sides) {
    tube(g, path, std::vector<double>(path.size(), radius), sides);
}

void lathe(group& g, v3 base, v3 axis, const std::vector<p2>& profile, int sides) {
    v3 dir = normalized(axis);
    std::vector<v3> path;
    std::vector<double> radius;
    for (p2 p : profile) {
        path.push_back(base + dir * p.x);
        radius.push_back(p.y);
    }
    tube(g, path, radius, sides);
}

void box(group& g, v3 centre, v3 half, v3 axis_x, v3 axis_y) {
    v3 ax = normalized(axis_x), ay = normalized(axis_y), az = cross(ax, ay);
    int c[8];
    for (int i = 0; i < 8; ++i) {
        double sx = (i & 1) ? 1 : -1, sy = (i & 2) ? 1 : -1, sz = (i & 4) ? 1 : -1;
        c[i] = g.add(centre + ax * (sx * half.x) + ay * (sy * half.y) + az * (sz * half.z));
    }
    g.quad(c[0], c[2], c[3], c[1]); // -z
    g.quad(c[4], c[5], c[7], c[6]); // +z
    g.quad(c[0], c[1], c[5], c[4]); // -y
    g.quad(c[2], c[6], c[7], c[3]); // +y
    g.quad(c[0], c[4], c[6], c[2]); // -x
    g.quad(c[1], c[3], c[7], c[5]); // +x
}

void sphere(group& g, v3 centre, double radius, int rings, int sides) {
    std::vector<p2> profile;
    for (int i = 0; i <= rings; ++i) {
        double a = pi * i / rings;
        profile.push_back({-radius * std::cos(a), radius * std::sin(a)});
    }
    lathe(g, centre, {0, 1, 0}, profile, sides);
}

polygon circle(p2 c, double r, int n, double start) {
    polygon p;
    for (int i = 0; i < n; ++i) {
        double a = start + 2 * pi * i / n;
        p.push_back({c.x + r * std::cos(a), c.y + r * std::sin(a)});
    }
    return p;
}

polygon ring_segment(p2 c, double r0, double r1, double a0, double a1, int n) {
    polygon p;
    for (int i = 0; i <= n; ++i) {
        double a = a0 + (a1 - a0) * i / n;
        p.push_back({c.x + r1 * std::cos(a), c.y + r1 * std::sin(a)});
    }
    for (int i = n; i >= 0; --i) {
        double a = a0 + (a1 - a0) * i / n;
        p.push_back({c.x + r0 * std::cos(a), c.y + r0 * std::sin(a)});
    }
    return p;
}

polygon rect(double x0, double y0, double x1, double y1) { return {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}; }

polygon band(p2 a, p2 b, double w0, double w1) {
    double dx = b.x - a.x, dy = b.y - a.y, l = std::hypot(dx, dy);
    if (l <= 0) return {};
    double nx = -dy / l, ny = dx / l;
    return {{a.x + nx * w0 / 2, a.y + ny * w0 / 2},
            {a.x - nx * w0 / 2, a.y - ny * w0 / 2},
            {b.x - nx * w1 / 2, b.y - ny * w1 / 2},
            {b.x + nx * w1 / 2, b.y + ny * w1 / 2}};
}

std::vector<polygon> stroke(const std::vector<p2>& line, double width, bool round_joints) {
    std::vector<polygon> out;
    for (size_t i = 0; i + 1 < line.size(); ++i)
        out.push_back(band(line[i], line[i + 1], width, width));
    if (round_joints)
        for (p2 p : line)
            out.push_back(circle(p, width / 2, 12));
    return out;
}

polygon transformed(const polygon& p, double cx, double cy, double angle, double sx, double sy) {
    polygon q;
    double c = std::cos(angle), s = std::sin(angle);
    for (p2 v : p) {
        double x = v.x * sx, y = v.y * sy;
        q.push_back({cx + c * x - s * y, cy + s * x + c * y});
    }
    return q;
}

void bezier(std::vector<p2>& out, p2 a, p2 b, p2 c, int steps) {
    for (int i = 1; i <= steps; ++i) {
        double t = double(i) / steps, u = 1 - t;
        out.push_back(
            {u * u * a.x + 2 * u * t * b.x + t * t * c.x, u * u * a.y + 2 * u * t * b.y + t * t * c.y});
    }
}

void bezier(std::vector<p2>& out, p2 a, p2 b, p2 c, p2 d, int steps) {
    for (int i = 1; i <= steps; ++i) {
        double t = double(i) / steps, u = 1 - t;
        double k0 = u * u * u, k1 = 3 * u * u * t, k2 = 3 * u * t * t, k3 = t * t * t;
        out.push_back({k0 * a.x + k1 * b.x + k2 * c.x + k3 * d.x, k0 * a.y + k1 * b.y + k2 * c.y + k3 * d.y});
    }
}

namespace {
// Fixed four decimals: exact, locale-free and the same on every run; a
// negative zero is written as zero.
void put_number(std::string& s, double v) {
    char buf[48];
    double r = std::round(v * 10000.0) / 10000.0;
    if (r == 0) r = 0;
    std::snprintf(buf, sizeof buf, " %.4f", r);
    s += buf;
}
} // namespace

std::string to_obj(const model& m, const std::string& title) {
    std::string s = "# " + title + " - made by the quorlaxen data forge\n";
    int base = 1;
    char buf[64];
    for (const group& g : m.groups) {
        if (g.vertices.empty() || g.faces.empty())
            throw std::runtime_error(title + ": group " + g.name + " is empty");
        if (g.name.empty() || g.name == "v" || g.name == "f" ||
            g.name.find_first_of(" \t\n") != std::string::npos)
            throw std::runtime_error(title + ": unusable group name '" + g.name + "'");
        s += "o " + g.name + "\n";
        for (v3 p : g.vertices) {
            s += "v";
            put_number(s, p.x);
            put_number(s, p.y);
            put_number(s, p.z);
            s += "\n";
        }
        for (const face& f : g.faces) {
            s += "f";
            for (int k = 0; k < f.count; ++k) {
                std::snprintf(buf, sizeof buf, " %d//", base + f.corner[k]);
                s += buf;
            }
            s += "\n";
        }
        base += static_cast<int>(g.vertices.size());
    }
    return s;
}

} // namespace forge
