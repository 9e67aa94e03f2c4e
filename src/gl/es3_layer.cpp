// GL 1.x drawing over GLES 3: immediate mode and display lists into vertex
// buffers, client arrays, the enables and attribute stacks GLES lacks, and
// the glGet read-back of what the layer keeps. See gl.h.
#include "gl/es3_state.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace gl_layer {

void forget_program(GLuint program);
void forget_programs();
void use_program_for_draw();

layer_state& state() {
    static layer_state s = [] {
        layer_state fresh;
        const mat4 identity = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
        fresh.modelview.assign(1, identity);
        fresh.projection.assign(1, identity);
        for (auto& stack : fresh.texture_matrices)
            stack.assign(1, identity);
        return fresh;
    }();
    return s;
}

void unsupported(const char* what) {
    if (!state().debug) return;
    std::fprintf(stderr, "GLES layer: %s is not carried out over GLES\n", what);
    std::exit(1);
}

void check_outside_list(const char* what) {
    if (state().compiling) unsupported((std::string(what) + " inside a display list").c_str());
}

namespace {

// With the debug switch on, a GLES error after the layer's calls (or left by
// a call the show made straight to GLES) ends the process naming where.
void check(const char* where) {
    if (!state().debug) return;
    const GLenum error = glGetError();
    if (error == GL_NO_ERROR) return;
    std::fprintf(stderr, "GLES layer: error 0x%04X at %s\n", unsigned(error), where);
    std::exit(1);
}

void bump_texgen() { ++state().texgen_serial; }

// --- drawing a batch -----------------------------------------------------------

// Points the attributes at interleaved floats (position, then what `mask`
// carries) in the bound array buffer at `offset`; the rest take the current
// values.
// A current value as the constant of an attribute without an array; sent
// only when it changed.
void set_constant(GLuint location, const float value[4]) {
    auto& a = state().attributes;
    if (a.constant_known[location] && std::memcmp(a.constants[location], value, 4 * sizeof(float)) == 0)
        return;
    glVertexAttrib4fv(location, value);
    std::memcpy(a.constants[location], value, 4 * sizeof(float));
    a.constant_known[location] = true;
}

void set_attributes(GLuint buffer, unsigned mask, GLintptr offset) {
    layer_state& s = state();
    auto& a = s.attributes;
    if (!a.known || a.buffer != buffer || a.mask != mask || a.offset != offset) {
        const GLsizei stride = GLsizei(floats_per_vertex(mask) * sizeof(float));
        glEnableVertexAttribArray(attribute_position);
        glVertexAttribPointer(attribute_position, 3, GL_FLOAT, GL_FALSE, stride,
                              reinterpret_cast<void*>(offset));
        GLintptr at = offset + 3 * sizeof(float);
        for (int k = -1; k < units; ++k) {
            const unsigned carried = k < 0 ? unsigned(carries_colour) : carries_texcoord0 << k;
            const GLuint location = k < 0 ? attribute_colour : attribute_texcoord0 + GLuint(k);
            const bool was_array = a.known && (a.mask & carried);
            if (mask & carried) {
                if (!was_array) glEnableVertexAttribArray(location);
                glVertexAttribPointer(location, 4, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(at));
                at += 4 * sizeof(float);
            } else if (was_array || !a.known) {
                glDisableVertexAttribArray(location);
                // The value an array leaves behind is undefined: send the constant again.
                a.constant_known[location] = false;
            }
        }
        a.known = true, a.buffer = buffer, a.mask = mask, a.offset = offset;
    }
    if (!(mask & carries_colour)) set_constant(attribute_colour, s.colour);
    for (int k = 0; k < units; ++k)
        if (!(mask & (carries_texcoord0 << k))) set_constant(attribute_texcoord0 + GLuint(k), s.texcoords[k]);
}

// Copies floats into the streaming buffer; returns their byte offset. The
// buffer is orphaned when full, so a draw never waits for an earlier one.
GLintptr stream(const float* data, size_t count) {
    layer_state& s = state();
    const GLsizeiptr bytes = GLsizeiptr(count * sizeof(float));
    glBindBuffer(GL_ARRAY_BUFFER, s.stream_buffer);
    if (s.stream_used + bytes > s.stream_size) {
        s.stream_size = std::max<GLsizeiptr>(s.stream_size, bytes);
        glBufferData(GL_ARRAY_BUFFER, s.stream_size, nullptr, GL_STREAM_DRAW);
        s.stream_used = 0;
    }
    const GLintptr offset = s.stream_used;
    glBufferSubData(GL_ARRAY_BUFFER, offset, bytes, data);
    s.stream_used += (bytes + 15) & ~GLsizeiptr(15);
    return offset;
}

void draw(GLenum mode, unsigned mask, GLuint buffer, GLintptr offset, GLsizei count) {
    if (count <= 0) return;
    use_program_for_draw();
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    set_attributes(buffer, mask, offset);
    glDrawArrays(mode, 0, count);
    check("a draw");
}

// The GLES mode a GL primitive is drawn with, and the order its vertices are
// taken in: quads and quad strips become triangles split as Mesa's
// rasteriser splits them, so shared edges and culling agree with GL.
GLenum gles_mode(GLenum mode) {
    switch (mode) {
    case GL_QUADS:
    case GL_QUAD_STRIP:
        return GL_TRIANGLES;
    case GL_POLYGON:
        return GL_TRIANGLE_FAN;
    default:
        return mode;
    }
}

template <typename Emit> void for_each_drawn_vertex(GLenum mode, size_t count, Emit emit) {
    switch (mode) {
    case GL_QUADS:
        for (size_t i = 0; i + 3 < count; i += 4)
            for (size_t k : {i, i + 1, i + 3, i + 1, i + 2, i + 3})
                emit(k);
        break;
    case GL_QUAD_STRIP:
        for (size_t i = 0; i + 3 < count; i += 2)
            for (size_t k : {i, i + 1, i + 3, i + 2, i, i + 3})
                emit(k);
        break;
    default:
        for (size_t k = 0; k < count; ++k)
            emit(k);
    }
}

// The vertices gathered since glBegin as the batch GLES draws: the position
// and the attributes of `mask` per vertex, in drawing order.
void build_batch(GLenum mode, unsigned mask, std::vector<float>& out) {
    layer_state& s = state();
    const size_t count = s.begun.size();
    size_t drawn = 0;
    for_each_drawn_vertex(mode, count, [&](size_t) { ++drawn; });
    out.resize(drawn * size_t(floats_per_vertex(mask)));
    float* o = out.data();
    for_each_drawn_vertex(mode, count, [&](size_t k) {
        const begun_vertex& v = s.begun[k];
        o = std::copy(v.position, v.position + 3, o);
        if (mask & carries_colour) o = std::copy(v.colour, v.colour + 4, o);
        for (int u = 0; u < units; ++u)
            if (mask & (carries_texcoord0 << u)) o = std::copy(v.texcoords[u], v.texcoords[u] + 4, o);
    });
}

// The layer's GLES objects, made on the current context at the first draw
// (or by glewInit's stand-in).
void ensure_ready() {
    if (!state().ready) qgl_init();
}

} // namespace
} // namespace gl_layer

using namespace gl_layer;

unsigned char qgl_glew_experimental = 0;

GLenum qgl_init() {
    layer_state& s = state();
    if (s.ready) {
        // A context made again (the window re-opened): what GLES held is gone.
        forget_programs();
        s.lists.clear();
    }
    const char* debug = std::getenv("QUORLAXEN_GL_DEBUG");
    s.debug = debug && *debug && std::strcmp(debug, "0") != 0;
    while (glGetError() != GL_NO_ERROR) {
    }
    s.attributes = {};
    glGenVertexArrays(1, &s.vertex_array_object);
    glBindVertexArray(s.vertex_array_object);
    glGenBuffers(1, &s.stream_buffer);
    s.stream_size = 4 << 20;
    s.stream_used = 0;
    glBindBuffer(GL_ARRAY_BUFFER, s.stream_buffer);
    glBufferData(GL_ARRAY_BUFFER, s.stream_size, nullptr, GL_STREAM_DRAW);
    // The matrices and current values are the context's state, set before
    // this (the window's viewport); they stay.
    s.user_program = s.bound_program = 0;
    s.ready = true;
    check("the layer's set-up");
    return 0;
}

// --- current attributes and immediate mode -------------------------------------

void qgl_color4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a) {
    layer_state& s = state();
    s.colour[0] = r, s.colour[1] = g, s.colour[2] = b, s.colour[3] = a;
    if (s.inside_begin) s.begin_mask |= carries_colour;
    if (s.compiling) s.compiling->sets |= carries_colour;
}

void qgl_multi_tex_coord4f(GLenum unit, GLfloat v0, GLfloat v1, GLfloat v2, GLfloat v3) {
    layer_state& s = state();
    const int k = int(unit) - int(GL_TEXTURE0);
    if (k < 0 || k >= units) return unsupported("texture coordinates beyond the sixth unit");
    float* t = s.texcoords[k];
    t[0] = v0, t[1] = v1, t[2] = v2, t[3] = v3;
    if (s.inside_begin) s.begin_mask |= carries_texcoord0 << k;
    if (s.compiling) s.compiling->sets |= carries_texcoord0 << k;
}

void qgl_begin(GLenum mode) {
    layer_state& s = state();
    ensure_ready();
    if (s.inside_begin) return unsupported("glBegin inside glBegin");
    s.inside_begin = true;
    s.begin_mode = mode;
    s.begin_mask = 0;
    s.begun.clear();
}

void qgl_vertex3f(GLfloat x, GLfloat y, GLfloat z) {
    layer_state& s = state();
    if (!s.inside_begin) return unsupported("glVertex outside glBegin");
    begun_vertex& v = s.begun.emplace_back();
    v.position[0] = x, v.position[1] = y, v.position[2] = z;
    std::memcpy(v.colour, s.colour, sizeof v.colour);
    std::memcpy(v.texcoords, s.texcoords, sizeof v.texcoords);
}

void qgl_end() {
    layer_state& s = state();
    if (!s.inside_begin) return unsupported("glEnd without glBegin");
    s.inside_begin = false;
    const GLenum mode = gles_mode(s.begin_mode);
    build_batch(s.begin_mode, s.begin_mask, s.batch);
    const GLsizei count = GLsizei(s.batch.size() / size_t(floats_per_vertex(s.begin_mask)));
    if (s.compiling) {
        display_list& list = *s.compiling;
        const GLsizei first_byte = GLsizei(list.data.size() * sizeof(float));
        // Triangles after triangles of the same attributes are one draw.
        if (!list.draws.empty() && mode == GL_TRIANGLES && list.draws.back().mode == GL_TRIANGLES &&
            list.draws.back().mask == s.begin_mask)
            list.draws.back().count += count;
        else
            list.draws.push_back({mode, s.begin_mask, first_byte, count});
        list.data.insert(list.data.end(), s.batch.begin(), s.batch.end());
        return; // drawn, when executing too, once the list is whole
    }
    if (count == 0) return;
    const GLintptr offset = stream(s.batch.data(), s.batch.size());
    draw(mode, s.begin_mask, s.stream_buffer, offset, count);
}

// --- display lists ----------------------------------------------------------------

void qgl_new_list(GLuint name, GLenum mode) {
    layer_state& s = state();
    ensure_ready();
    if (s.compiling || s.inside_begin) return unsupported("glNewList inside a list or glBegin");
    display_list& list = s.lists[name];
    if (list.buffer) {
        glDeleteBuffers(1, &list.buffer);
        s.attributes.known = false; // the vertex array may point into it
    }
    list = display_list{};
    s.compiling = &list;
    s.compiling_name = name;
    s.execute_compiled = mode == GL_COMPILE_AND_EXECUTE;
    // Compiling alone leaves the current attributes as they were.
    std::copy(s.colour, s.colour + 4, s.saved_colour);
    std::memcpy(s.saved_texcoords, s.texcoords, sizeof s.texcoords);
}

void qgl_end_list() {
    layer_state& s = state();
    if (!s.compiling) return unsupported("glEndList without glNewList");
    display_list& list = *s.compiling;
    s.compiling = nullptr;
    std::copy(s.colour, s.colour + 4, list.colour);
    std::memcpy(list.texcoords, s.texcoords, sizeof s.texcoords);
    std::copy(s.saved_colour, s.saved_colour + 4, s.colour);
    std::memcpy(s.texcoords, s.saved_texcoords, sizeof s.texcoords);
    if (!list.data.empty()) {
        glGenBuffers(1, &list.buffer);
        glBindBuffer(GL_ARRAY_BUFFER, list.buffer);
        glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(list.data.size() * sizeof(float)), list.data.data(),
                     GL_STATIC_DRAW);
    }
    list.data = std::vector<float>();
    check("glEndList");
    if (s.execute_compiled) qgl_call_list(s.compiling_name);
}

void qgl_call_list(GLuint name) {
    layer_state& s = state();
    if (s.compiling) return unsupported("glCallList inside a display list");
    auto found = s.lists.find(name);
    if (found == s.lists.end()) return; // an empty name draws nothing, as in GL
    const display_list& list = found->second;
    // What a draw of the list leaves undone (attributes it does not carry)
    // takes the values current before the call; its own are current after.
    for (const list_draw& d : list.draws)
        draw(d.mode, d.mask, list.buffer, d.first_byte, d.count);
    if (list.sets & carries_colour) std::copy(list.colour, list.colour + 4, s.colour);
    for (int k = 0; k < units; ++k)
        if (list.sets & (carries_texcoord0 << k))
            std::copy(list.texcoords[k], list.texcoords[k] + 4, s.texcoords[k]);
}

// --- client arrays -----------------------------------------------------------------

void qgl_enable_client_state(GLenum array) {
    layer_state& s = state();
    if (array == GL_VERTEX_ARRAY)
        s.vertex_array.enabled = true;
    else if (array == GL_COLOR_ARRAY)
        s.colour_array.enabled = true;
    else
        unsupported("glEnableClientState of that array");
}

void qgl_disable_client_state(GLenum array) {
    layer_state& s = state();
    if (array == GL_VERTEX_ARRAY) s.vertex_array.enabled = false;
    if (array == GL_COLOR_ARRAY) s.colour_array.enabled = false;
}

void qgl_vertex_pointer(GLint size, GLenum type, GLsizei stride, const void* pointer) {
    state().vertex_array = {state().vertex_array.enabled, size, type, stride, pointer};
}

void qgl_color_pointer(GLint size, GLenum type, GLsizei stride, const void* pointer) {
    state().colour_array = {state().colour_array.enabled, size, type, stride, pointer};
}

namespace {

// Element `index` of a float client array as four components (w = 1, alpha 1).
void fetch(const client_array& a, size_t index, float defaults_w, float out[4]) {
    const GLsizei stride = a.stride ? a.stride : GLsizei(a.size * sizeof(float));
    const float* v =
        reinterpret_cast<const float*>(static_cast<const char*>(a.pointer) + index * size_t(stride));
    out[0] = a.size > 0 ? v[0] : 0.0f;
    out[1] = a.size > 1 ? v[1] : 0.0f;
    out[2] = a.size > 2 ? v[2] : 0.0f;
    out[3] = a.size > 3 ? v[3] : defaults_w;
}

// Draws array elements as immediate mode would: each index a vertex.
template <typename Index> void draw_client_arrays(GLenum mode, GLsizei count, Index index_at) {
    layer_state& s = state();
    ensure_ready();
    if (!s.vertex_array.enabled || s.vertex_array.type != GL_FLOAT ||
        (s.colour_array.enabled && s.colour_array.type != GL_FLOAT))
        return unsupported("client arrays other than float positions and colours");
    if (s.compiling) return unsupported("client arrays inside a display list");
    if (mode == GL_QUADS || mode == GL_QUAD_STRIP || mode == GL_POLYGON) {
        // Gathered as immediate mode, which turns them into what GLES draws.
        const float saved[4] = {s.colour[0], s.colour[1], s.colour[2], s.colour[3]};
        qgl_begin(mode);
        for (GLsizei i = 0; i < count; ++i) {
            const size_t k = size_t(index_at(i));
            if (s.colour_array.enabled) {
                float c[4];
                fetch(s.colour_array, k, 1.0f, c);
                qgl_color4f(c[0], c[1], c[2], c[3]);
            }
            float p[4];
            fetch(s.vertex_array, k, 1.0f, p);
            qgl_vertex3f(p[0], p[1], p[2]);
        }
        qgl_end();
        // GL leaves the current colour undefined after a colour array; the
        // show sets it again, and the layer keeps what was current.
        std::copy(saved, saved + 4, s.colour);
        return;
    }
    // Primitives GLES has: the elements straight into the batch.
    const unsigned mask = s.colour_array.enabled ? unsigned(carries_colour) : 0u;
    const int floats = floats_per_vertex(mask);
    s.batch.resize(size_t(count) * size_t(floats));
    float* o = s.batch.data();
    for (GLsizei i = 0; i < count; ++i, o += floats) {
        const size_t k = size_t(index_at(i));
        float p[4];
        fetch(s.vertex_array, k, 1.0f, p);
        std::copy(p, p + 3, o);
        if (mask) fetch(s.colour_array, k, 1.0f, o + 3);
    }
    if (count > 0) draw(mode, mask, s.stream_buffer, stream(s.batch.data(), s.batch.size()), count);
}

} // namespace

void qgl_draw_arrays(GLenum mode, GLint first, GLsizei count) {
    draw_client_arrays(mode, count, [first](GLsizei i) { return GLint(first + i); });
}

void qgl_draw_elements(GLenum mode, GLsizei count, GLenum type, const void* indices) {
    switch (type) {
    case GL_UNSIGNED_INT:
        return draw_client_arrays(mode, count,
                                  [indices](GLsizei i) { return static_cast<const GLuint*>(indices)[i]; });
    case GL_UNSIGNED_SHORT:
        return draw_client_arrays(
            mode, count, [indices](GLsizei i) { return GLuint(static_cast<const GLushort*>(indices)[i]); });
    default:
        return unsupported("glDrawElements of that index type");
    }
}

// --- enables ------------------------------------------------------------------------

namespace {

// The layer's own flag for a capability GLES does not have; null for one
// that goes to GLES.
bool* layer_flag(GLenum cap) {
    layer_state& s = state();
    switch (cap) {
    case GL_TEXTURE_2D:
        return &s.texture_2d[s.active_unit];
    case GL_TEXTURE_GEN_S:
        return &s.texgen_s;
    case GL_TEXTURE_GEN_T:
        return &s.texgen_t;
    case GL_LIGHTING:
        return &s.lighting;
    case GL_LIGHT0:
        return &s.light0;
    case GL_COLOR_MATERIAL:
        return &s.colour_material;
    case GL_FOG:
        return &s.fog;
    case GL_MULTISAMPLE:
        return &s.multisample; // GLES always multisamples into a multisampled target
    default:
        return nullptr;
    }
}

void set_capability(GLenum cap, bool on) {
    check_outside_list("glEnable");
    if (bool* flag = layer_flag(cap)) {
        if ((cap == GL_TEXTURE_GEN_S || cap == GL_TEXTURE_GEN_T) && state().active_unit != 0 && on)
            return unsupported("texgen on a unit other than 0");
        *flag = on;
        if (cap == GL_TEXTURE_GEN_S || cap == GL_TEXTURE_GEN_T) bump_texgen();
        return;
    }
    if (on)
        glEnable(cap);
    else
        glDisable(cap);
    check(on ? "glEnable" : "glDisable");
}

} // namespace

void qgl_enable(GLenum cap) { set_capability(cap, true); }
void qgl_disable(GLenum cap) { set_capability(cap, false); }

GLboolean qgl_is_enabled(GLenum cap) {
    if (bool* flag = layer_flag(cap)) return *flag ? GL_TRUE : GL_FALSE;
    return glIsEnabled(cap);
}

void qgl_tex_geni(GLenum coord, GLenum name, GLint value) {
    if (name != GL_TEXTURE_GEN_MODE || value != GL_OBJECT_LINEAR || (coord != GL_S && coord != GL_T))
        unsupported("texgen other than object-linear S and T");
}

void qgl_tex_genfv(GLenum coord, GLenum name, const GLfloat* values) {
    layer_state& s = state();
    if (name != GL_OBJECT_PLANE || s.active_unit != 0)
        return unsupported("texgen other than unit 0's planes");
    if (coord == GL_S) std::copy(values, values + 4, s.plane_s);
    if (coord == GL_T) std::copy(values, values + 4, s.plane_t);
    bump_texgen();
}

void qgl_active_texture(GLenum unit) {
    glActiveTexture(unit);
    state().active_unit = std::clamp(int(unit) - int(GL_TEXTURE0), 0, 31);
    check("glActiveTexture");
}

void qgl_use_program(GLuint program) {
    layer_state& s = state();
    s.user_program = program;
    if (program != 0 || s.bound_program != 0) {
        glUseProgram(program);
        s.bound_program = program;
    }
    check("glUseProgram");
}

void qgl_delete_program(GLuint program) {
    layer_state& s = state();
    forget_program(program);
    if (s.user_program == program) s.user_program = 0;
    if (s.bound_program == program) s.bound_program = 0;
    glDeleteProgram(program);
}

// --- read-back of the layer's state ----------------------------------------------

void qgl_get_floatv(GLenum name, GLfloat* values) {
    layer_state& s = state();
    switch (name) {
    case GL_MODELVIEW_MATRIX:
        std::memcpy(values, top_of(GL_MODELVIEW, 0).m, sizeof(mat4));
        return;
    case GL_PROJECTION_MATRIX:
        std::memcpy(values, top_of(GL_PROJECTION, 0).m, sizeof(mat4));
        return;
    case GL_TEXTURE_MATRIX:
        std::memcpy(values, top_of(GL_TEXTURE, s.active_unit).m, sizeof(mat4));
        return;
    case GL_CURRENT_COLOR:
        std::copy(s.colour, s.colour + 4, values);
        return;
    case GL_CURRENT_TEXTURE_COORDS:
        std::copy(s.texcoords[std::min(s.active_unit, units - 1)],
                  s.texcoords[std::min(s.active_unit, units - 1)] + 4, values);
        return;
    default:
        glGetFloatv(name, values);
        check("glGetFloatv");
    }
}

void qgl_get_doublev(GLenum name, GLdouble* values) {
    GLfloat f[16] = {};
    qgl_get_floatv(name, f);
    const int n = name == GL_MODELVIEW_MATRIX || name == GL_PROJECTION_MATRIX || name == GL_TEXTURE_MATRIX
                      ? 16
                  : name == GL_CURRENT_COLOR || name == GL_CURRENT_TEXTURE_COORDS ? 4
                                                                                  : 1;
    for (int i = 0; i < n; ++i)
        values[i] = f[i];
}

void qgl_get_integerv(GLenum name, GLint* values) {
    if (name == GL_MATRIX_MODE) {
        values[0] = GLint(state().matrix_mode);
        return;
    }
    if (name == GL_CURRENT_PROGRAM) {
        values[0] = GLint(state().user_program);
        return;
    }
    glGetIntegerv(name, values);
    check("glGetIntegerv");
}

// --- framebuffers, pixels, textures -----------------------------------------------

void qgl_draw_buffer(GLenum buffer) {
    GLint framebuffer = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &framebuffer);
    if (framebuffer == 0) {
        const GLenum back = buffer == GL_NONE ? GL_NONE : GL_BACK;
        glDrawBuffers(1, &back);
    } else if (buffer >= GL_COLOR_ATTACHMENT0 && buffer < GL_COLOR_ATTACHMENT0 + 8) {
        // GLES names attachment i only in slot i.
        GLenum buffers[8];
        const int slot = int(buffer - GL_COLOR_ATTACHMENT0);
        for (int i = 0; i < slot; ++i)
            buffers[i] = GL_NONE;
        buffers[slot] = buffer;
        glDrawBuffers(slot + 1, buffers);
    } else {
        glDrawBuffers(1, &buffer);
    }
    check("glDrawBuffer");
}

void qgl_pixel_storei(GLenum name, GLint value) {
    if (name == GL_PACK_INVERT_MESA) return unsupported("GL_PACK_INVERT_MESA");
    glPixelStorei(name, value);
    check("glPixelStorei");
}

void qgl_read_pixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type,
                     void* pixels) {
    if ((format != GL_RGB && format != GL_BGRA) || type != GL_UNSIGNED_BYTE) {
        glReadPixels(x, y, width, height, format, type, pixels);
        check("glReadPixels");
        return;
    }
    // GLES reads RGBA bytes; RGB and BGRA rows are made from them, with the
    // pack alignment the caller set.
    static std::vector<unsigned char> rgba;
    rgba.resize(size_t(width) * size_t(height) * 4);
    GLint alignment = 4;
    glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    glPixelStorei(GL_PACK_ALIGNMENT, alignment);
    const size_t bytes = format == GL_RGB ? 3 : 4;
    const size_t row =
        (size_t(width) * bytes + size_t(alignment) - 1) / size_t(alignment) * size_t(alignment);
    auto* out = static_cast<unsigned char*>(pixels);
    for (GLsizei r = 0; r < height; ++r) {
        const unsigned char* in = &rgba[size_t(r) * size_t(width) * 4];
        unsigned char* o = out + size_t(r) * row;
        for (GLsizei c = 0; c < width; ++c, in += 4, o += bytes) {
            if (format == GL_RGB) {
                o[0] = in[0], o[1] = in[1], o[2] = in[2];
            } else {
                o[0] = in[2], o[1] = in[1], o[2] = in[0], o[3] = in[3];
            }
        }
    }
    check("glReadPixels");
}

void qgl_tex_image_2d(GLenum target, GLint level, GLint internal_format, GLsizei width, GLsizei height,
                      GLint border, GLenum format, GLenum type, const void* pixels) {
    // GL's unsized formats (and component counts) as GLES's sized ones.
    GLint sized = internal_format;
    if (type == GL_UNSIGNED_BYTE) {
        if (internal_format == 3 || internal_format == GL_RGB) sized = GL_RGB8;
        if (internal_format == 4 || internal_format == GL_RGBA) sized = GL_RGBA8;
    }
    glTexImage2D(target, level, sized, width, height, border, format, type, pixels);
    check("glTexImage2D");
}

// --- attribute stacks --------------------------------------------------------------

namespace {

constexpr GLenum gles_capabilities[] = {GL_BLEND,        GL_CULL_FACE, GL_DEPTH_TEST,
                                        GL_SCISSOR_TEST, GL_DITHER,    GL_POLYGON_OFFSET_FILL};
// Texture units whose 2D binding GL_TEXTURE_BIT saves: the fixed-function
// ones and the shading runtime's sampler units.
constexpr int saved_texture_units = 16;

struct saved_attributes {
    GLbitfield mask = 0;
    // GL_CURRENT_BIT
    float colour[4] = {};
    float texcoords[units][4] = {};
    // GL_ENABLE_BIT (and the enables of the other groups)
    bool capabilities[std::size(gles_capabilities)] = {};
    bool texture_2d[32] = {};
    bool texgen_s = false, texgen_t = false, lighting = false, fog = false, colour_material = false,
         light0 = false, multisample = true;
    // GL_COLOR_BUFFER_BIT
    GLint blend[4] = {}, blend_equation[2] = {};
    GLboolean colour_mask[4] = {};
    GLfloat clear_colour[4] = {};
    // GL_DEPTH_BUFFER_BIT
    GLint depth_func = GL_LESS;
    GLboolean depth_mask = GL_TRUE;
    GLfloat clear_depth = 1.0f;
    // GL_VIEWPORT_BIT
    GLint viewport[4] = {};
    GLfloat depth_range[2] = {0, 1};
    // GL_SCISSOR_BIT
    GLint scissor[4] = {};
    // GL_TRANSFORM_BIT
    GLenum matrix_mode = GL_MODELVIEW;
    // GL_TEXTURE_BIT
    GLint active_texture = GL_TEXTURE0;
    GLint bindings[saved_texture_units] = {};
    float plane_s[4] = {}, plane_t[4] = {};
};

std::vector<saved_attributes>& attribute_stack() {
    static std::vector<saved_attributes> stack;
    return stack;
}

bool has(GLbitfield mask, GLbitfield bits) { return (mask & bits) != 0; }

} // namespace

void qgl_push_attrib(GLbitfield mask) {
    layer_state& s = state();
    check_outside_list("glPushAttrib");
    saved_attributes a;
    a.mask = mask;
    if (has(mask, GL_CURRENT_BIT)) {
        std::copy(s.colour, s.colour + 4, a.colour);
        std::memcpy(a.texcoords, s.texcoords, sizeof s.texcoords);
    }
    for (size_t i = 0; i < std::size(gles_capabilities); ++i)
        a.capabilities[i] = glIsEnabled(gles_capabilities[i]);
    std::copy(s.texture_2d, s.texture_2d + 32, a.texture_2d);
    a.texgen_s = s.texgen_s, a.texgen_t = s.texgen_t, a.lighting = s.lighting, a.fog = s.fog;
    a.colour_material = s.colour_material, a.light0 = s.light0, a.multisample = s.multisample;
    if (has(mask, GL_COLOR_BUFFER_BIT)) {
        glGetIntegerv(GL_BLEND_SRC_RGB, &a.blend[0]);
        glGetIntegerv(GL_BLEND_DST_RGB, &a.blend[1]);
        glGetIntegerv(GL_BLEND_SRC_ALPHA, &a.blend[2]);
        glGetIntegerv(GL_BLEND_DST_ALPHA, &a.blend[3]);
        glGetIntegerv(GL_BLEND_EQUATION_RGB, &a.blend_equation[0]);
        glGetIntegerv(GL_BLEND_EQUATION_ALPHA, &a.blend_equation[1]);
        glGetBooleanv(GL_COLOR_WRITEMASK, a.colour_mask);
        glGetFloatv(GL_COLOR_CLEAR_VALUE, a.clear_colour);
    }
    if (has(mask, GL_DEPTH_BUFFER_BIT)) {
        glGetIntegerv(GL_DEPTH_FUNC, &a.depth_func);
        glGetBooleanv(GL_DEPTH_WRITEMASK, &a.depth_mask);
        glGetFloatv(GL_DEPTH_CLEAR_VALUE, &a.clear_depth);
    }
    if (has(mask, GL_VIEWPORT_BIT)) {
        glGetIntegerv(GL_VIEWPORT, a.viewport);
        glGetFloatv(GL_DEPTH_RANGE, a.depth_range);
    }
    if (has(mask, GL_SCISSOR_BIT)) glGetIntegerv(GL_SCISSOR_BOX, a.scissor);
    a.matrix_mode = s.matrix_mode;
    if (has(mask, GL_TEXTURE_BIT)) {
        glGetIntegerv(GL_ACTIVE_TEXTURE, &a.active_texture);
        for (int k = 0; k < saved_texture_units; ++k) {
            glActiveTexture(GLenum(GL_TEXTURE0 + k));
            glGetIntegerv(GL_TEXTURE_BINDING_2D, &a.bindings[k]);
        }
        glActiveTexture(GLenum(a.active_texture));
        std::copy(s.plane_s, s.plane_s + 4, a.plane_s);
        std::copy(s.plane_t, s.plane_t + 4, a.plane_t);
    }
    attribute_stack().push_back(a);
    check("glPushAttrib");
}

void qgl_pop_attrib() {
    layer_state& s = state();
    check_outside_list("glPopAttrib");
    if (attribute_stack().empty()) return unsupported("glPopAttrib of an empty stack");
    const saved_attributes a = attribute_stack().back();
    attribute_stack().pop_back();
    const GLbitfield mask = a.mask;
    if (has(mask, GL_CURRENT_BIT)) {
        std::copy(a.colour, a.colour + 4, s.colour);
        std::memcpy(s.texcoords, a.texcoords, sizeof s.texcoords);
    }
    // Each group restores the enables it holds.
    for (size_t i = 0; i < std::size(gles_capabilities); ++i) {
        const GLenum cap = gles_capabilities[i];
        const bool restore = has(mask, GL_ENABLE_BIT) ||
                             (cap == GL_BLEND && has(mask, GL_COLOR_BUFFER_BIT)) ||
                             (cap == GL_DITHER && has(mask, GL_COLOR_BUFFER_BIT)) ||
                             (cap == GL_DEPTH_TEST && has(mask, GL_DEPTH_BUFFER_BIT)) ||
                             (cap == GL_SCISSOR_TEST && has(mask, GL_SCISSOR_BIT));
        if (restore) a.capabilities[i] ? glEnable(cap) : glDisable(cap);
    }
    if (has(mask, GL_ENABLE_BIT | GL_TEXTURE_BIT)) {
        std::copy(a.texture_2d, a.texture_2d + 32, s.texture_2d);
        s.texgen_s = a.texgen_s, s.texgen_t = a.texgen_t;
        bump_texgen();
    }
    if (has(mask, GL_ENABLE_BIT)) {
        s.lighting = a.lighting, s.fog = a.fog, s.colour_material = a.colour_material, s.light0 = a.light0;
        s.multisample = a.multisample;
    }
    if (has(mask, GL_COLOR_BUFFER_BIT)) {
        glBlendFuncSeparate(GLenum(a.blend[0]), GLenum(a.blend[1]), GLenum(a.blend[2]), GLenum(a.blend[3]));
        glBlendEquationSeparate(GLenum(a.blend_equation[0]), GLenum(a.blend_equation[1]));
        glColorMask(a.colour_mask[0], a.colour_mask[1], a.colour_mask[2], a.colour_mask[3]);
        glClearColor(a.clear_colour[0], a.clear_colour[1], a.clear_colour[2], a.clear_colour[3]);
    }
    if (has(mask, GL_DEPTH_BUFFER_BIT)) {
        glDepthFunc(GLenum(a.depth_func));
        glDepthMask(a.depth_mask);
        glClearDepthf(a.clear_depth);
    }
    if (has(mask, GL_VIEWPORT_BIT)) {
        glViewport(a.viewport[0], a.viewport[1], a.viewport[2], a.viewport[3]);
        glDepthRangef(a.depth_range[0], a.depth_range[1]);
    }
    if (has(mask, GL_SCISSOR_BIT)) glScissor(a.scissor[0], a.scissor[1], a.scissor[2], a.scissor[3]);
    if (has(mask, GL_TRANSFORM_BIT)) s.matrix_mode = a.matrix_mode;
    if (has(mask, GL_TEXTURE_BIT)) {
        for (int k = 0; k < saved_texture_units; ++k) {
            glActiveTexture(GLenum(GL_TEXTURE0 + k));
            glBindTexture(GL_TEXTURE_2D, GLuint(a.bindings[k]));
        }
        qgl_active_texture(GLenum(a.active_texture));
        std::copy(a.plane_s, a.plane_s + 4, s.plane_s);
        std::copy(a.plane_t, a.plane_t + 4, s.plane_t);
        bump_texgen();
    }
    check("glPopAttrib");
}

namespace {

struct saved_client_attributes {
    GLbitfield mask = 0;
    client_array vertex_array, colour_array;
    GLint pack_alignment = 4, unpack_alignment = 4;
};

std::vector<saved_client_attributes>& client_attribute_stack() {
    static std::vector<saved_client_attributes> stack;
    return stack;
}

} // namespace

void qgl_push_client_attrib(GLbitfield mask) {
    layer_state& s = state();
    saved_client_attributes a{mask, s.vertex_array, s.colour_array};
    if (has(mask, GL_CLIENT_PIXEL_STORE_BIT)) {
        glGetIntegerv(GL_PACK_ALIGNMENT, &a.pack_alignment);
        glGetIntegerv(GL_UNPACK_ALIGNMENT, &a.unpack_alignment);
    }
    client_attribute_stack().push_back(a);
}

void qgl_pop_client_attrib() {
    layer_state& s = state();
    if (client_attribute_stack().empty()) return unsupported("glPopClientAttrib of an empty stack");
    const saved_client_attributes a = client_attribute_stack().back();
    client_attribute_stack().pop_back();
    if (has(a.mask, GL_CLIENT_VERTEX_ARRAY_BIT)) {
        s.vertex_array = a.vertex_array;
        s.colour_array = a.colour_array;
    }
    if (has(a.mask, GL_CLIENT_PIXEL_STORE_BIT)) {
        glPixelStorei(GL_PACK_ALIGNMENT, a.pack_alignment);
        glPixelStorei(GL_UNPACK_ALIGNMENT, a.unpack_alignment);
    }
    check("glPopClientAttrib");
}
