// Flat filled shapes tessellated by GLU into one display list per shape and
// animation frame.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "math/vec3.h"

struct GLUtesselator;

struct shape {
    double (*vertices)[3] = nullptr; // 8192 stable vertex records for the tessellator
    GLUtesselator* tessellator = nullptr;
    int vertex_count = 0;
    // Vertices the tessellator creates where edges cross; kept at stable
    // addresses until the polygon is finished.
    std::deque<std::array<double, 3>> combined;
    // The tessellator's primitives of the polygon being made, gathered as
    // separate triangles (x, y, z each) and drawn as one primitive when the
    // polygon ends: a list then holds one primitive a polygon, not dozens
    // of fans and strips, and compiles in a fraction of the time.
    unsigned primitive = 0;
    std::vector<float> primitive_vertices;
    std::vector<float> triangles;
};

// Vertices one polygon may have; longer polygons are skipped by the loader.
constexpr int shape_max_vertices = 8192;

// --- tessellator wrapper ---
// Allocates the vertex buffer, creates the tessellator (positive winding, no
// error callback); releases what an earlier create left.
void create(shape& s);
// Releases the tessellator, the vertex buffer and the combined vertices.
void destroy(shape& s);
void begin_polygon(shape& s);
// Copies the vertex into the buffer and hands it to the tessellator; a vertex
// beyond the buffer's 8192 is dropped.
void add_vertex(shape& s, const Vec3& v);
// Ends the polygon and draws its triangles (into the list being compiled).
void end_polygon(shape& s);

// --- the outline-shape file, read into plain records ---
// Little-endian: int32 frame count A, two reserved int32, int32 shapes per
// frame B; then, frame by frame, B shapes of: int32 polygon count, and per
// polygon int32 vertex count, float64 depth, vertex count pairs of int16 x, y.
struct outline_polygon {
    double depth = 0.0;
    std::vector<int16_t> xy; // x0, y0, x1, y1, ...
};

struct outline_shape {
    std::vector<outline_polygon> polygons;
};

struct outline_file {
    bool header_read = false;
    int32_t frame_count = 0;      // A
    int32_t shapes_per_frame = 0; // B
    // The shapes read, in file order: shape i of frame k is shapes[i + B * k].
    std::vector<outline_shape> shapes;
    // Shapes the caller asked for (B per wanted frame), whether or not the
    // file held them.
    int64_t shapes_wanted = 0;
    // False when the file ended (or declared a count it cannot hold) before
    // every wanted shape was read.
    bool complete = false;
    // Polygons of more than 8192 vertices, left out.
    int skipped_polygons = 0;
};

// Reads the header and the shapes of frames k < A * frame_scale (at least
// frame 0 when that product is above 0). Counts are checked against the bytes
// left before anything is allocated for them; a count the file cannot hold
// ends the reading there, keeping what came before.
void read_outline_file(const unsigned char* data, size_t size, double frame_scale, outline_file& out);

// Compiles every shape read into display list base_list + its index
// (GL_COMPILE), polygon by polygon through the tessellator of `s`; vertex
// (x, y) of a polygon at `depth` becomes (x / 30000, y / 30000,
// depth * depth_scale * 0.014).
void compile_outline_lists(shape& s, const outline_file& file, int base_list, double depth_scale);

// Reads the file, reports A and B, compiles the lists from base_list on and
// releases the tessellator. A file that cannot be opened reports 0 frames and
// compiles nothing; one that ends early leaves the lists after its last whole
// polygon empty.
void shape_loader(shape& s, const char* file_name, int* frame_count_out, int* shapes_per_frame_out,
                  int base_list, double depth_scale, double frame_scale);
