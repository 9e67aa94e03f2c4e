#include "scenes/draw_batch.h"

#include "gl/gl.h"

#include <algorithm>
#include <cmath>

#include "scenes/scene_script.h"

namespace {

// The corners of the unit polygons as the scene set-up compiles them into
// their display lists (doubles stored as floats).
struct unit_polygon {
    int corners = 0;
    float x[10] = {}, y[10] = {};
};

unit_polygon make_polygon(int corners) {
    unit_polygon p;
    p.corners = corners;
    for (int i = 0; i < corners; ++i) {
        const double a = i * 2.0 * M_PI / corners;
        p.x[i] = float(std::sin(a));
        p.y[i] = float(std::cos(a));
    }
    return p;
}

const unit_polygon& polygon_of(int list) {
    static const unit_polygon decagon = make_polygon(10), hexagon = make_polygon(6);
    return list == list_hexagon ? hexagon : decagon;
}

} // namespace

void reserve_batch(draw_batch& batch, size_t quad_vertices) {
    const size_t dot_vertices = 10 * dot_batch_capacity;
    batch.positions.reserve(3 * std::max(dot_vertices, quad_vertices));
    batch.colours.reserve(3 * dot_vertices);
    batch.indices.reserve(3 * 8 * dot_batch_capacity);
}

void add_dot(draw_batch& batch, double x, double y, double size, double squash, int list,
             const float rgb[3]) {
    const unit_polygon& polygon = polygon_of(list);
    if (batch.indices.size() + 3 * 8 > 3 * 8 * dot_batch_capacity) draw_dots(batch);
    const uint32_t first = uint32_t(batch.positions.size() / 3);
    const float px = float(x), py = float(y);
    const float sx = float(2.0 * size), sy = float(2.0 * size * squash);
    for (int i = 0; i < polygon.corners; ++i) {
        batch.positions.insert(batch.positions.end(), {px + sx * polygon.x[i], py + sy * polygon.y[i], 0.0f});
        batch.colours.insert(batch.colours.end(), {rgb[0], rgb[1], rgb[2]});
    }
    for (int i = 1; i + 1 < polygon.corners; ++i)
        batch.indices.insert(batch.indices.end(), {first, first + uint32_t(i), first + uint32_t(i) + 1});
    leave_colour(batch, rgb);
}

void leave_colour(draw_batch& batch, const float rgb[3]) {
    batch.colour[0] = rgb[0];
    batch.colour[1] = rgb[1];
    batch.colour[2] = rgb[2];
    batch.colour_left = true;
}

void draw_dots(draw_batch& batch) {
    if (!batch.indices.empty()) {
        glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_COLOR_ARRAY);
        glVertexPointer(3, GL_FLOAT, 0, batch.positions.data());
        glColorPointer(3, GL_FLOAT, 0, batch.colours.data());
        glDrawElements(GL_TRIANGLES, GLsizei(batch.indices.size()), GL_UNSIGNED_INT, batch.indices.data());
        glPopClientAttrib();
    }
    // After a draw from a colour array the current colour is undefined.
    if (batch.colour_left) glColor3f(batch.colour[0], batch.colour[1], batch.colour[2]);
    batch.positions.clear();
    batch.colours.clear();
    batch.indices.clear();
    batch.colour_left = false;
}

void add_quads(draw_batch& batch, const mesh_group& group, float dx, float dy, float dz) {
    // A full batch is drawn first, as with dots: the reserve is all it holds.
    if (batch.positions.size() + 12 * group.size() > batch.positions.capacity() && !batch.positions.empty())
        draw_quad_batch(batch);
    for (const quad& q : group)
        for (const Vec3& v : q.corners)
            batch.positions.insert(batch.positions.end(), {v.x + dx, v.y + dy, v.z + dz});
}

void draw_quad_batch(draw_batch& batch) {
    if (!batch.positions.empty()) {
        glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
        glEnableClientState(GL_VERTEX_ARRAY);
        glVertexPointer(3, GL_FLOAT, 0, batch.positions.data());
        glDrawArrays(GL_QUADS, 0, GLsizei(batch.positions.size() / 3));
        glPopClientAttrib();
    }
    batch.positions.clear();
}
