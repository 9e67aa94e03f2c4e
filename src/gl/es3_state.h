// The layer's own state over GLES 3 (internal to src/gl): what GL 1.x keeps
// and GLES does not.
#pragma once

#define QUORLAXEN_GL_LAYER_INTERNAL
#include "gl/gl.h"

#include <array>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace gl_layer {

// Texture units whose fixed-function state (enables, texgen, matrix, current
// coordinates) the layer keeps; the show feeds at most six coordinate sets.
constexpr int units = 6;
// Vertex attribute locations, the same in every program the layer runs.
constexpr GLuint attribute_position = 0, attribute_colour = 1, attribute_texcoord0 = 2;

struct mat4 {
    float m[16];
};

// Which attributes a batch of vertices carries per vertex (the position
// always); the others are the current values when it is drawn.
enum : unsigned { carries_colour = 1u, carries_texcoord0 = 2u }; // texcoord k: 2 << k

// Floats per vertex for a batch's attributes.
inline int floats_per_vertex(unsigned mask) {
    int n = 3;
    if (mask & carries_colour) n += 4;
    for (int k = 0; k < units; ++k)
        if (mask & (carries_texcoord0 << k)) n += 4;
    return n;
}

// One draw of a display list: triangles (or what GLES draws as it is) from
// the list's buffer.
struct list_draw {
    GLenum mode;
    unsigned mask;
    GLsizei first_byte;
    GLsizei count;
};

struct display_list {
    GLuint buffer = 0;
    std::vector<list_draw> draws;
    std::vector<float> data; // only while compiling
    // Attributes the list sets, and their values at its end: current after a call.
    unsigned sets = 0;
    float colour[4] = {};
    float texcoords[units][4] = {};
};

// A vertex as glVertex gives it: the position and every current attribute.
struct begun_vertex {
    float position[3];
    float colour[4];
    float texcoords[units][4];
};

struct client_array {
    bool enabled = false;
    GLint size = 4;
    GLenum type = GL_FLOAT;
    GLsizei stride = 0;
    const void* pointer = nullptr;
};

struct layer_state {
    bool ready = false;
    bool debug = false;

    // Matrices; the serials count changes so uniforms are sent only when stale.
    GLenum matrix_mode = GL_MODELVIEW;
    std::vector<mat4> modelview, projection;
    std::array<std::vector<mat4>, units> texture_matrices;
    uint64_t matrix_serial = 1, texture_serial = 1, mvp_serial = 0;
    mat4 mvp{};

    // Current attributes and the fixed-function enables GLES lacks.
    float colour[4] = {1, 1, 1, 1};
    float texcoords[units][4] = {};
    int active_unit = 0;
    bool texture_2d[32] = {};                // per unit, up to 32 units
    bool texgen_s = false, texgen_t = false; // unit 0's
    float plane_s[4] = {1, 0, 0, 0}, plane_t[4] = {0, 1, 0, 0};
    uint64_t texgen_serial = 1;
    bool lighting = false, fog = false, colour_material = false, light0 = false, multisample = true;

    // glBegin .. glEnd: every vertex with every attribute, the mask saying
    // which were given inside.
    bool inside_begin = false;
    GLenum begin_mode = 0;
    unsigned begin_mask = 0;
    std::vector<begun_vertex> begun;
    std::vector<float> batch; // the batch as drawn

    // Display lists.
    std::unordered_map<GLuint, display_list> lists;
    display_list* compiling = nullptr;
    GLuint compiling_name = 0;
    bool execute_compiled = false;
    float saved_colour[4] = {};
    float saved_texcoords[units][4] = {};

    // Client arrays.
    client_array vertex_array, colour_array;

    // Programs: the caller's (0: the layer's fixed-function ones).
    GLuint user_program = 0;
    GLuint bound_program = 0; // what GLES has in use
    GLuint vertex_array_object = 0, stream_buffer = 0;
    // What the vertex array object was last given, so that a draw like the
    // one before it (a display list's, the same attributes) sets nothing again.
    struct {
        bool known = false;
        GLuint buffer = 0;
        unsigned mask = 0;
        GLintptr offset = -1;
        float constants[2 + units][4] = {};
        bool constant_known[2 + units] = {};
    } attributes;
    GLsizeiptr stream_size = 0, stream_used = 0;
};

// The state, its matrix stacks holding one identity matrix each at first (a
// context made current has them before anything is set up).
layer_state& state();

const mat4& modelview_projection();
const mat4& top_of(GLenum mode, int unit);

// A GL call the layer does not carry out: with the debug switch on it ends
// the process naming the call; otherwise it is ignored.
void unsupported(const char* what);
// Calls that a display list cannot hold here.
void check_outside_list(const char* what);

} // namespace gl_layer
