// The OBJ subset: per group an "o" line, a run of "v x y z" lines, anything
// without an "f" token, then a run of "f" lines whose corner references are
// a vertex number followed by a suffix ("12//", "12/7"). Indices are global
// and 1-based. Faces become quads of copied corner positions.
//
// Input outside that shape is tolerated so that a loose file still loads and
// nothing is read outside the vertex list:
// - a reference's suffix may have any length, or none ("12/7/3", "12");
// - a negative index counts back from the last vertex read so far (-1 is the
//   last), as in OBJ;
// - a face that refers to vertex 0, to a vertex not yet read or beyond the
//   start of the list, or that has fewer than three corners, is dropped;
// - a face with five or more corners becomes a fan of quads around its first
//   corner ((1 2 3 4), (1 4 5 6), ...; an odd last one repeats its corner);
// - between faces, "v" lines add vertices, any other line (s, usemtl, g, #,
//   vt, vn, ...) is skipped; a corner position without a number drops the
//   face and the rest of its line;
// - a coordinate that is not a number reads as 0.
// A group that reaches its first "f" is kept even when all its faces were
// dropped, so the group numbers follow the "o" lines; the end of the file
// before a group's first "f" adds no group.
#include "mesh/mesh.h"

#include "gl/gl.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/messages.h"
#include "platform/platform.h"

namespace {

// The message every loader shows for a file that is not there.

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// std::from_chars for a float in its general format.
std::from_chars_result read_float(const char* first, const char* last, float& value) {
#if !defined(__EMSCRIPTEN__)
    return std::from_chars(first, last, value, std::chars_format::general);
#else
    // Emscripten's libc++ has no floating-point from_chars: the same decimal
    // grammar is delimited here (the caller never passes "inf" or "nan") and
    // converted by strtof on a terminated copy, with from_chars' range
    // errors (infinite, or zero from non-zero digits) decided by the value
    // so that no libc's errno rules differ.
    const char* q = first < last && *first == '-' ? first + 1 : first;
    bool nonzero = false;
    int digits = 0;
    for (bool fraction = false;; fraction = true) {
        for (; q < last && is_digit(*q); ++q, ++digits)
            nonzero |= *q != '0';
        if (fraction || q >= last || *q != '.') break;
        ++q;
    }
    if (digits == 0) return {first, std::errc::invalid_argument};
    if (q < last && (*q == 'e' || *q == 'E')) {
        const char* e = q + 1;
        if (e < last && (*e == '+' || *e == '-')) ++e;
        if (e < last && is_digit(*e)) {
            while (e < last && is_digit(*e))
                ++e;
            q = e;
        }
    }
    const std::string copy(first, q);
    const float v = std::strtof(copy.c_str(), nullptr);
    if (std::isinf(v) || (v == 0.0f && nonzero)) return {q, std::errc::result_out_of_range};
    value = v;
    return {q, std::errc()};
#endif
}

// Formatted reading over the file's bytes: blanks separate tokens, numbers
// and characters skip blanks first.
struct obj_reader {
    const char* p;
    const char* end;

    bool at_end() const { return p >= end; }

    void skip_blanks() {
        while (p < end && is_blank(*p))
            ++p;
    }

    // The next run of non-blank characters; empty at the end of the text.
    std::string_view token() {
        skip_blanks();
        const char* start = p;
        while (p < end && !is_blank(*p))
            ++p;
        return {start, size_t(p - start)};
    }

    void skip_non_blank() {
        while (p < end && !is_blank(*p))
            ++p;
    }

    void skip_line() {
        while (p < end && *p != '\n')
            ++p;
    }

    // A decimal floating-point number; 0 (and nothing read) when none is there.
    float number() {
        skip_blanks();
        const char* start = p;
        if (start < end && *start == '+') ++start;
        const char* digits = start < end && *start == '-' ? start + 1 : start;
        if (digits >= end || !(is_digit(*digits) || *digits == '.')) return 0.0f;
        float value = 0.0f;
        auto [next, error] = read_float(start, end, value);
        if (next == start) return 0.0f;
        p = next;
        return error == std::errc() ? value : 0.0f;
    }

    // A signed decimal integer, saturated far beyond any vertex count. On
    // failure nothing is read, not even the blanks before it.
    bool integer(long long* out) {
        const char* before = p;
        skip_blanks();
        const char* q = p;
        bool negative = false;
        if (q < end && (*q == '+' || *q == '-')) negative = *q++ == '-';
        if (q >= end || !is_digit(*q)) {
            p = before;
            return false;
        }
        long long value = 0;
        for (; q < end && is_digit(*q); ++q)
            if (value < (1LL << 40)) value = value * 10 + (*q - '0');
        p = q;
        *out = negative ? -value : value;
        return true;
    }

    // The next non-blank character without taking it; -1 at the end.
    int peek() {
        skip_blanks();
        return p < end ? static_cast<unsigned char>(*p) : -1;
    }
};

void read_vertex(obj_reader& in, std::vector<Vec3>& vertices) {
    float x = in.number();
    float y = in.number();
    float z = in.number();
    vertices.push_back(Vec3{1, x, y, z});
}

// Appends the face's quads to the group, or nothing when a corner does not
// name a vertex read so far.
void add_face(const std::vector<long long>& corners, const std::vector<Vec3>& vertices, mesh_group& group,
              std::vector<size_t>& resolved) {
    if (corners.size() < 3) return;
    long long count = static_cast<long long>(vertices.size());
    resolved.clear();
    for (long long n : corners) {
        long long index = n > 0 ? n - 1 : count + n;
        if (n == 0 || index < 0 || index >= count) return;
        resolved.push_back(size_t(index));
    }
    auto corner = [&](size_t i) { return vertices[resolved[i]]; };
    size_t last = resolved.size() - 1;
    group.push_back(quad{{corner(0), corner(1), corner(2), corner(last >= 3 ? 3 : 2)}});
    for (size_t k = 3; k < last; k += 2)
        group.push_back(quad{{corner(0), corner(k), corner(k + 1), corner(k + 2 <= last ? k + 2 : k + 1)}});
}

void parse_obj(obj_reader& in, std::vector<mesh_group>& groups) {
    std::vector<Vec3> vertices;
    std::vector<long long> corners;
    std::vector<size_t> resolved;
    for (;;) {
        // Skip to the group's vertices.
        std::string_view t;
        do
            t = in.token();
        while (!t.empty() && t != "v");
        if (t.empty()) return;
        // Vertex run.
        do {
            read_vertex(in, vertices);
            t = in.token();
        } while (t == "v");
        // Skip to the faces; tokens passed over are ignored.
        while (!t.empty() && t != "f")
            t = in.token();
        if (t.empty()) return;

        mesh_group group;
        bool group_done = false;
        while (!group_done) {
            // One face; its "f" has been read.
            corners.clear();
            bool complete = true;
            for (;;) {
                long long n = 0;
                if (!in.integer(&n)) {
                    complete = false;
                    break;
                }
                in.skip_non_blank(); // the reference's suffix
                corners.push_back(n);
                int c = in.peek();
                if (!(is_digit(char(c)) || c == '-' || c == '+')) break;
            }
            if (complete) {
                add_face(corners, vertices, group, resolved);
            } else {
                in.skip_line();
            }
            // What follows a face: the next face, the next group, or the end.
            for (;;) {
                t = in.token();
                if (t.empty()) {
                    groups.push_back(std::move(group));
                    return;
                }
                if (t == "f") break;
                if (t == "o") {
                    groups.push_back(std::move(group));
                    group_done = true;
                    break;
                }
                if (t == "v")
                    read_vertex(in, vertices);
                else
                    in.skip_line();
            }
        }
    }
}

} // namespace

namespace {

// The whole file, or false when it cannot be opened or read (a folder
// opens but does not read).
bool read_file(const char* file_name, std::string& text) {
    std::FILE* file = std::fopen(file_name, "rb");
    if (!file) return false;
    char buffer[65536];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, got);
    bool ok = !std::ferror(file);
    std::fclose(file);
    return ok;
}

} // namespace

void mesh::load(const char* file_name, int list_name) {
    if (loaded) return;
    std::string text;
    if (!read_file(file_name, text)) {
        platform::show_message_box(platform::messages::missing_file, file_name);
        platform::sys().exit_process(0);
    }
    load_text(text.data(), text.size(), list_name);
}

void mesh::load_text(const char* text, size_t size, int name) {
    if (loaded) return;
    loaded = true;
    list_name = name;
    list_pending = true;
    obj_reader in{text, text + size};
    parse_obj(in, groups);
}

void mesh::draw() {
    if (list_name >= 0 && !list_pending) {
        glCallList(GLuint(list_name));
        return;
    }
    bool compiling = list_name >= 0;
    if (compiling) glNewList(GLuint(list_name), GL_COMPILE_AND_EXECUTE);
    for (const mesh_group& group : groups)
        draw_quads(group);
    if (compiling) {
        glEndList();
        list_pending = false;
    }
}

void mesh::compile() {
    if (list_name < 0 || !list_pending) return;
    glNewList(GLuint(list_name), GL_COMPILE);
    for (const mesh_group& group : groups)
        draw_quads(group);
    glEndList();
    list_pending = false;
}

const mesh_group& mesh::group_at(int k) const {
    static const mesh_group none;
    if (k < 0 || size_t(k) >= groups.size()) return none;
    return groups[size_t(k)];
}

void draw_quads(const mesh_group& group) {
    glBegin(GL_QUADS);
    for (const quad& q : group)
        for (const Vec3& v : q.corners)
            glVertex3f(v.x, v.y, v.z);
    glEnd();
}
