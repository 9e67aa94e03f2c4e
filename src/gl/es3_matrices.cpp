// The three matrix stacks in single precision, with the arithmetic of Mesa's
// own GL (float products in the same order, GLU's look-at in float and its
// perspective in double), so that the frames match the GL build's.
#include "gl/es3_state.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace gl_layer {
namespace {

constexpr mat4 identity = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};

// product = a b, column-major; product may be a.
void multiply(float* product, const float* a, const float* b) {
    for (int i = 0; i < 4; ++i) {
        const float ai0 = a[i], ai1 = a[4 + i], ai2 = a[8 + i], ai3 = a[12 + i];
        product[i] = ai0 * b[0] + ai1 * b[1] + ai2 * b[2] + ai3 * b[3];
        product[4 + i] = ai0 * b[4] + ai1 * b[5] + ai2 * b[6] + ai3 * b[7];
        product[8 + i] = ai0 * b[8] + ai1 * b[9] + ai2 * b[10] + ai3 * b[11];
        product[12 + i] = ai0 * b[12] + ai1 * b[13] + ai2 * b[14] + ai3 * b[15];
    }
}

std::vector<mat4>& current_stack() {
    layer_state& s = state();
    switch (s.matrix_mode) {
    case GL_PROJECTION:
        return s.projection;
    case GL_TEXTURE:
        // Units past the fixed-function ones have no matrix GLES could use.
        if (s.active_unit >= units) unsupported("a texture matrix beyond the sixth unit");
        return s.texture_matrices[size_t(std::min(s.active_unit, units - 1))];
    default:
        return s.modelview;
    }
}

void changed() {
    layer_state& s = state();
    ++s.matrix_serial;
    if (s.matrix_mode == GL_TEXTURE) ++s.texture_serial;
}

// The top of the current stack times m.
void multiply_top(const float* m) {
    float* top = current_stack().back().m;
    multiply(top, top, m);
    changed();
}

} // namespace

const mat4& modelview_projection() {
    layer_state& s = state();
    if (s.mvp_serial != s.matrix_serial) {
        multiply(s.mvp.m, s.projection.back().m, s.modelview.back().m);
        s.mvp_serial = s.matrix_serial;
    }
    return s.mvp;
}

const mat4& top_of(GLenum mode, int unit) {
    layer_state& s = state();
    if (mode == GL_PROJECTION) return s.projection.back();
    if (mode == GL_TEXTURE) return s.texture_matrices[size_t(std::min(unit, units - 1))].back();
    return s.modelview.back();
}

} // namespace gl_layer

using namespace gl_layer;

void qgl_matrix_mode(GLenum mode) {
    check_outside_list("glMatrixMode");
    if (mode != GL_MODELVIEW && mode != GL_PROJECTION && mode != GL_TEXTURE)
        return unsupported("glMatrixMode");
    state().matrix_mode = mode;
}

void qgl_load_identity() {
    check_outside_list("glLoadIdentity");
    current_stack().back() = identity;
    changed();
}

void qgl_push_matrix() {
    check_outside_list("glPushMatrix");
    std::vector<mat4>& stack = current_stack();
    // GL's stacks hold 32 modelview and 2 other matrices at least; deeper
    // pushes are refused as GL refuses them.
    if (stack.size() >= 64) return unsupported("glPushMatrix beyond the stack");
    stack.push_back(stack.back());
}

void qgl_pop_matrix() {
    check_outside_list("glPopMatrix");
    std::vector<mat4>& stack = current_stack();
    if (stack.size() <= 1) return unsupported("glPopMatrix of the last matrix");
    stack.pop_back();
    changed();
}

void qgl_load_matrixf(const GLfloat* m) {
    check_outside_list("glLoadMatrixf");
    std::memcpy(current_stack().back().m, m, sizeof(mat4));
    changed();
}

void qgl_mult_matrixf(const GLfloat* m) {
    check_outside_list("glMultMatrixf");
    multiply_top(m);
}

void qgl_mult_matrixd(const GLdouble* m) {
    float f[16];
    for (int i = 0; i < 16; ++i)
        f[i] = float(m[i]);
    qgl_mult_matrixf(f);
}

void qgl_translatef(GLfloat x, GLfloat y, GLfloat z) {
    check_outside_list("glTranslatef");
    float* m = current_stack().back().m;
    m[12] = m[0] * x + m[4] * y + m[8] * z + m[12];
    m[13] = m[1] * x + m[5] * y + m[9] * z + m[13];
    m[14] = m[2] * x + m[6] * y + m[10] * z + m[14];
    m[15] = m[3] * x + m[7] * y + m[11] * z + m[15];
    changed();
}

void qgl_scalef(GLfloat x, GLfloat y, GLfloat z) {
    check_outside_list("glScalef");
    float* m = current_stack().back().m;
    for (int r = 0; r < 4; ++r) {
        m[r] *= x;
        m[4 + r] *= y;
        m[8 + r] *= z;
    }
    changed();
}

void qgl_rotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z) {
    check_outside_list("glRotatef");
    const float s = std::sin(float(angle * M_PI / 180.0));
    const float c = std::cos(float(angle * M_PI / 180.0));
    mat4 r = identity;
    auto M = [&](int row, int column) -> float& { return r.m[column * 4 + row]; };
    // Rotations about one axis are written out exactly.
    if (x == 0.0f && y == 0.0f && z != 0.0f) {
        M(0, 0) = c;
        M(1, 1) = c;
        M(0, 1) = z < 0.0f ? s : -s;
        M(1, 0) = z < 0.0f ? -s : s;
    } else if (x == 0.0f && z == 0.0f && y != 0.0f) {
        M(0, 0) = c;
        M(2, 2) = c;
        M(0, 2) = y < 0.0f ? -s : s;
        M(2, 0) = y < 0.0f ? s : -s;
    } else if (y == 0.0f && z == 0.0f && x != 0.0f) {
        M(1, 1) = c;
        M(2, 2) = c;
        M(1, 2) = x < 0.0f ? s : -s;
        M(2, 1) = x < 0.0f ? -s : s;
    } else {
        const float mag = std::sqrt(x * x + y * y + z * z);
        if (mag <= 1.0e-4f) return; // no axis: no rotation
        x /= mag, y /= mag, z /= mag;
        const float xx = x * x, yy = y * y, zz = z * z, xy = x * y, yz = y * z, zx = z * x;
        const float xs = x * s, ys = y * s, zs = z * s, one_c = 1.0f - c;
        M(0, 0) = (one_c * xx) + c;
        M(0, 1) = (one_c * xy) - zs;
        M(0, 2) = (one_c * zx) + ys;
        M(1, 0) = (one_c * xy) + zs;
        M(1, 1) = (one_c * yy) + c;
        M(1, 2) = (one_c * yz) - xs;
        M(2, 0) = (one_c * zx) - ys;
        M(2, 1) = (one_c * yz) + xs;
        M(2, 2) = (one_c * zz) + c;
    }
    multiply_top(r.m);
}

namespace {

void normalise(float v[3]) {
    const float r = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (r == 0.0f) return;
    v[0] /= r, v[1] /= r, v[2] /= r;
}

void cross(const float a[3], const float b[3], float out[3]) {
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

} // namespace

void qglu_look_at(GLdouble eye_x, GLdouble eye_y, GLdouble eye_z, GLdouble centre_x, GLdouble centre_y,
                  GLdouble centre_z, GLdouble up_x, GLdouble up_y, GLdouble up_z) {
    float forward[3] = {float(centre_x - eye_x), float(centre_y - eye_y), float(centre_z - eye_z)};
    float up[3] = {float(up_x), float(up_y), float(up_z)}, side[3];
    normalise(forward);
    cross(forward, up, side);
    normalise(side);
    cross(side, forward, up);
    mat4 m = identity;
    for (int i = 0; i < 3; ++i) {
        m.m[i * 4 + 0] = side[i];
        m.m[i * 4 + 1] = up[i];
        m.m[i * 4 + 2] = -forward[i];
    }
    qgl_mult_matrixf(m.m);
    qgl_translated(-eye_x, -eye_y, -eye_z);
}

void qglu_perspective(GLdouble fovy, GLdouble aspect, GLdouble z_near, GLdouble z_far) {
    const double radians = fovy / 2 * M_PI / 180;
    const double depth = z_far - z_near, sine = std::sin(radians);
    if (depth == 0 || sine == 0 || aspect == 0) return;
    const double cotangent = std::cos(radians) / sine;
    double m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    m[0] = cotangent / aspect;
    m[5] = cotangent;
    m[10] = -(z_far + z_near) / depth;
    m[11] = -1;
    m[14] = -2 * z_near * z_far / depth;
    m[15] = 0;
    qgl_mult_matrixd(m);
}
