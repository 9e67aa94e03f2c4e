// The outline-shape animation: file reading into plain records, and their
// compilation into display lists through GLU's polygon tessellator.
#include "scenes/shape.h"

#include "gl/gl.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#ifndef CALLBACK
#define CALLBACK
#endif

namespace {

using glu_callback = void(CALLBACK*)();

void CALLBACK tess_begin(GLenum type, void* polygon_data) {
    shape& s = *static_cast<shape*>(polygon_data);
    s.primitive = type;
    s.primitive_vertices.clear();
}

void CALLBACK tess_vertex(void* data, void* polygon_data) {
    shape& s = *static_cast<shape*>(polygon_data);
    const double* v = static_cast<const double*>(data);
    s.primitive_vertices.insert(
        s.primitive_vertices.end(),
        {static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2])});
}

// The primitive as separate triangles with the corners, and the order of
// corners, that GL gives its triangles.
void CALLBACK tess_end(void* polygon_data) {
    shape& s = *static_cast<shape*>(polygon_data);
    const std::vector<float>& v = s.primitive_vertices;
    const size_t n = v.size() / 3;
    auto add = [&](size_t a, size_t b, size_t c) {
        for (size_t i : {a, b, c})
            s.triangles.insert(s.triangles.end(), {v[3 * i], v[3 * i + 1], v[3 * i + 2]});
    };
    if (s.primitive == GL_TRIANGLES) {
        for (size_t i = 0; i + 2 < n; i += 3)
            add(i, i + 1, i + 2);
    } else if (s.primitive == GL_TRIANGLE_FAN) {
        for (size_t i = 1; i + 1 < n; ++i)
            add(0, i, i + 1);
    } else if (s.primitive == GL_TRIANGLE_STRIP) {
        for (size_t i = 0; i + 2 < n; ++i) {
            if (i % 2 == 0)
                add(i, i + 1, i + 2);
            else
                add(i + 1, i, i + 2);
        }
    }
    s.primitive_vertices.clear();
}

// New vertices where edges cross live in the shape's own pool (handed to the
// tessellator as polygon data) until the polygon is finished.
void CALLBACK tess_combine(GLdouble coords[3], void* /*neighbours*/[4], GLfloat /*weights*/[4], void** out,
                           void* polygon_data) {
    shape& s = *static_cast<shape*>(polygon_data);
    s.combined.push_back({coords[0], coords[1], coords[2]});
    *out = s.combined.back().data();
}

// A cursor over the file's bytes; every read checks what is left.
struct byte_reader {
    const unsigned char* data;
    size_t size;
    size_t at = 0;

    size_t left() const { return size - at; }

    bool i32(int32_t& v) {
        if (left() < 4) return false;
        const unsigned char* p = data + at;
        v = static_cast<int32_t>(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                                 uint32_t(p[3]) << 24);
        at += 4;
        return true;
    }

    bool f64(double& v) {
        if (left() < 8) return false;
        uint64_t bits = 0;
        for (int k = 7; k >= 0; --k)
            bits = bits << 8 | data[at + k];
        std::memcpy(&v, &bits, sizeof v);
        at += 8;
        return true;
    }

    int16_t i16_at(size_t offset) const {
        return static_cast<int16_t>(uint16_t(data[offset]) | uint16_t(data[offset + 1]) << 8);
    }
};

constexpr size_t polygon_header_bytes = 12; // vertex count + depth
constexpr size_t vertex_bytes = 4;

// One shape record. False when the file ended or declared more than it holds;
// the polygons completed before that stay in `out`.
bool read_shape(byte_reader& in, outline_shape& out, int& skipped) {
    int32_t polygon_count;
    if (!in.i32(polygon_count)) return false;
    if (polygon_count < 0) polygon_count = 0; // nothing to read, as with 0
    if (static_cast<size_t>(polygon_count) > in.left() / polygon_header_bytes) return false;
    out.polygons.reserve(static_cast<size_t>(polygon_count));

    for (int32_t j = 0; j < polygon_count; ++j) {
        int32_t vertex_count;
        double depth;
        if (!in.i32(vertex_count) || !in.f64(depth)) return false;
        if (vertex_count < 0) vertex_count = 0;
        if (static_cast<size_t>(vertex_count) > in.left() / vertex_bytes) return false;
        const size_t bytes = static_cast<size_t>(vertex_count) * vertex_bytes;
        if (vertex_count > shape_max_vertices) {
            // Would not fit the tessellator's buffer: leave the polygon out.
            in.at += bytes;
            ++skipped;
            continue;
        }
        outline_polygon& polygon = out.polygons.emplace_back();
        polygon.depth = depth;
        polygon.xy.resize(static_cast<size_t>(vertex_count) * 2);
        for (size_t k = 0; k < polygon.xy.size(); ++k)
            polygon.xy[k] = in.i16_at(in.at + 2 * k);
        in.at += bytes;
    }
    return true;
}

} // namespace

void create(shape& s) {
    destroy(s);
    s.vertices = new double[shape_max_vertices][3];
    s.vertex_count = 0;
    s.tessellator = gluNewTess();
    if (!s.tessellator) return;
    gluTessCallback(s.tessellator, GLU_TESS_BEGIN_DATA, reinterpret_cast<glu_callback>(tess_begin));
    gluTessCallback(s.tessellator, GLU_TESS_VERTEX_DATA, reinterpret_cast<glu_callback>(tess_vertex));
    gluTessCallback(s.tessellator, GLU_TESS_END_DATA, reinterpret_cast<glu_callback>(tess_end));
    gluTessCallback(s.tessellator, GLU_TESS_COMBINE_DATA, reinterpret_cast<glu_callback>(tess_combine));
    gluTessProperty(s.tessellator, GLU_TESS_WINDING_RULE, GLU_TESS_WINDING_POSITIVE);
}

void destroy(shape& s) {
    if (s.tessellator) gluDeleteTess(s.tessellator);
    s.tessellator = nullptr;
    delete[] s.vertices;
    s.vertices = nullptr;
    s.vertex_count = 0;
    s.combined.clear();
}

void begin_polygon(shape& s) {
    s.vertex_count = 0;
    s.combined.clear();
    s.triangles.clear();
    if (!s.tessellator) return;
    gluTessBeginPolygon(s.tessellator, &s);
    gluTessBeginContour(s.tessellator);
}

void add_vertex(shape& s, const Vec3& v) {
    if (!s.tessellator || !s.vertices || s.vertex_count >= shape_max_vertices) return;
    double* record = s.vertices[s.vertex_count];
    record[0] = v.x;
    record[1] = v.y;
    record[2] = v.z;
    gluTessVertex(s.tessellator, record, record);
    ++s.vertex_count;
}

void end_polygon(shape& s) {
    s.vertex_count = 0;
    if (!s.tessellator) return;
    gluTessEndContour(s.tessellator);
    gluTessEndPolygon(s.tessellator);
    if (s.triangles.empty()) return;
    glBegin(GL_TRIANGLES);
    for (size_t i = 0; i + 2 < s.triangles.size(); i += 3)
        glVertex3f(s.triangles[i], s.triangles[i + 1], s.triangles[i + 2]);
    glEnd();
    s.triangles.clear();
}

void read_outline_file(const unsigned char* data, size_t size, double frame_scale, outline_file& out) {
    out = outline_file{};
    byte_reader in{data, size};
    int32_t reserved_1, reserved_2;
    if (!in.i32(out.frame_count) || !in.i32(reserved_1) || !in.i32(reserved_2) ||
        !in.i32(out.shapes_per_frame))
        return;
    out.header_read = true;

    // Frames k = 0, 1, ... while k < A * frame_scale.
    const double frames = out.frame_count * frame_scale;
    if (!(frames > 0.0) || out.shapes_per_frame <= 0) {
        out.complete = true;
        return;
    }
    const double wanted = std::ceil(frames) * out.shapes_per_frame;
    out.shapes_wanted = wanted < 9.0e18 ? static_cast<int64_t>(wanted) : INT64_MAX;

    // Every shape takes at least its 4-byte polygon count, so the file bounds
    // what may be reserved.
    const size_t room = in.left() / 4;
    out.shapes.reserve(static_cast<size_t>(std::min<int64_t>(out.shapes_wanted, static_cast<int64_t>(room))));
    for (int64_t s = 0; s < out.shapes_wanted; ++s) {
        outline_shape shape_read;
        bool whole = read_shape(in, shape_read, out.skipped_polygons);
        if (whole || !shape_read.polygons.empty()) out.shapes.push_back(std::move(shape_read));
        if (!whole) return;
    }
    out.complete = true;
}

void compile_outline_lists(shape& s, const outline_file& file, int base_list, double depth_scale) {
    for (size_t index = 0; index < file.shapes.size(); ++index) {
        const int64_t name = static_cast<int64_t>(base_list) + static_cast<int64_t>(index);
        if (name <= 0 || name > UINT32_MAX) continue; // not a display-list name
        glNewList(static_cast<GLuint>(name), GL_COMPILE);
        for (const outline_polygon& polygon : file.shapes[index].polygons) {
            begin_polygon(s);
            const float z = static_cast<float>(polygon.depth * depth_scale * 0.014);
            for (size_t k = 0; k + 1 < polygon.xy.size(); k += 2) {
                Vec3 v{1, static_cast<float>(polygon.xy[k]) / 30000.0f,
                       static_cast<float>(polygon.xy[k + 1]) / 30000.0f, z};
                add_vertex(s, v);
            }
            end_polygon(s);
        }
        glEndList();
    }
}

void shape_loader(shape& s, const char* file_name, int* frame_count_out, int* shapes_per_frame_out,
                  int base_list, double depth_scale, double frame_scale) {
    if (frame_count_out) *frame_count_out = 0;
    if (shapes_per_frame_out) *shapes_per_frame_out = 0;

    std::FILE* f = std::fopen(file_name, "rb");
    if (!f) return;
    std::vector<unsigned char> bytes;
    unsigned char buffer[1 << 16];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + got);
    std::fclose(f);

    outline_file file;
    read_outline_file(bytes.data(), bytes.size(), frame_scale, file);
    if (frame_count_out) *frame_count_out = file.frame_count;
    if (shapes_per_frame_out) *shapes_per_frame_out = file.shapes_per_frame;

    create(s);
    compile_outline_lists(s, file, base_list, depth_scale);
    destroy(s); // the lists hold everything the frames need
}
