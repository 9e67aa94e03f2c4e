// Small pieces gathered on the CPU and handed to GL in one draw call, in the
// order they were added: a dot field or a row of track pieces costs one call
// instead of thousands of display-list calls with their matrix pushes. GL
// rasterises the primitives of one call in order, so the picture is what the
// pieces drawn one by one give. The buffers are made once, when the part is
// set up, and reused every frame.
#pragma once

#include <cstdint>
#include <vector>

#include "mesh/mesh.h"

struct draw_batch {
    std::vector<float> positions;  // x, y, z per vertex, in the current object space
    std::vector<float> colours;    // r, g, b per vertex (pieces with a colour)
    std::vector<uint32_t> indices; // three per triangle
    // The colour the pieces would have left current when drawn one by one.
    float colour[3] = {0.0f, 0.0f, 0.0f};
    bool colour_left = false;
};

// Dots a batch holds before add_dot draws what it has and starts again.
constexpr size_t dot_batch_capacity = 4096;

// Room for dot_batch_capacity decagons and for `quad_vertices` quad
// corners, so that adding them allocates nothing.
void reserve_batch(draw_batch& batch, size_t quad_vertices);

// The filled unit polygon of display list 12000 (decagon) or 12001
// (hexagon) as draw_dot places it: at (x, y, 0), scaled by (2 size,
// 2 size squash), in the colour `rgb`. Its fan's triangles, less the last
// one, which closes on the first corner and covers nothing. A full batch is
// drawn first (draw_dots), so the order of the dots stays as added.
void add_dot(draw_batch& batch, double x, double y, double size, double squash, int list, const float rgb[3]);

// The colour left current by a piece that is not drawn (it lies outside the
// view) but would have set it.
void leave_colour(draw_batch& batch, const float rgb[3]);

// Every dot added since the last call, in one draw with a colour per
// vertex; then the colour the dots leave current, and the batch is empty.
void draw_dots(draw_batch& batch);

// The quads of `group` moved by `offset`, to be drawn in the current colour.
void add_quads(draw_batch& batch, const mesh_group& group, float dx, float dy, float dz);
// Every quad added since the last call as one GL_QUADS draw; then empty.
void draw_quad_batch(draw_batch& batch);
