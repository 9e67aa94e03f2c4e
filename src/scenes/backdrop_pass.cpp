#include "scenes/backdrop_pass.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "platform/cg_runtime.h"
#include "resources/resources.h"
#include "scenes/scene_assets.h"

namespace {

// The pass's source: one program per number of squares and blending, chosen
// by the defines SQUARES and BLENDED (bit k: square k blended).
constexpr const char* program_file = "cgeffects/backdrop_squares";

// Column-major 4x4 product a b.
void multiply(const double a[16], const double b[16], double out[16]) {
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k)
                sum += a[k * 4 + r] * b[c * 4 + k];
            out[c * 4 + r] = sum;
        }
}

// Homogeneous texture coordinates (s q, t q, q) of the square at the four
// corners of the view, (-1, -1), (1, -1), (1, 1), (-1, 1) in normalised
// device coordinates: false when the square does not cover the whole view
// in front of the camera and between the depth planes.
bool corner_coordinates(const backdrop_square& square, const double projection[16], double out[4][3]) {
    double modelview[16], m[16];
    for (int i = 0; i < 16; ++i)
        modelview[i] = square.modelview[i];
    multiply(projection, modelview, m);
    // The square's plane point (u, v) goes to clip (x, y, z, w) = m (u, v, 0, 1).
    auto at = [&](int row, int column) { return m[column * 4 + row]; };
    const int columns[3] = {0, 1, 3}, rows[3] = {0, 1, 3};
    double a[3][3];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            a[r][c] = at(rows[r], columns[c]);
    const double det = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
                       a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                       a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
    if (!(std::abs(det) > 1e-300)) return false;
    double inverse[3][3];
    inverse[0][0] = (a[1][1] * a[2][2] - a[1][2] * a[2][1]) / det;
    inverse[0][1] = (a[0][2] * a[2][1] - a[0][1] * a[2][2]) / det;
    inverse[0][2] = (a[0][1] * a[1][2] - a[0][2] * a[1][1]) / det;
    inverse[1][0] = (a[1][2] * a[2][0] - a[1][0] * a[2][2]) / det;
    inverse[1][1] = (a[0][0] * a[2][2] - a[0][2] * a[2][0]) / det;
    inverse[1][2] = (a[0][2] * a[1][0] - a[0][0] * a[1][2]) / det;
    inverse[2][0] = (a[1][0] * a[2][1] - a[1][1] * a[2][0]) / det;
    inverse[2][1] = (a[0][1] * a[2][0] - a[0][0] * a[2][1]) / det;
    inverse[2][2] = (a[0][0] * a[1][1] - a[0][1] * a[1][0]) / det;

    const double corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    double sign = 0.0;
    for (int i = 0; i < 4; ++i) {
        const double x = corners[i][0], y = corners[i][1];
        const double U = inverse[0][0] * x + inverse[0][1] * y + inverse[0][2];
        const double V = inverse[1][0] * x + inverse[1][1] * y + inverse[1][2];
        const double W = inverse[2][0] * x + inverse[2][1] * y + inverse[2][2];
        if (W == 0.0) return false;
        // One side of the horizon for the whole view.
        if (sign == 0.0) sign = W > 0.0 ? 1.0 : -1.0;
        if (W * sign <= 0.0) return false;
        const double u = U / W, v = V / W;
        // Inside the square with a margin: its edges are never in view.
        if (std::abs(u) > 0.999 || std::abs(v) > 0.999) return false;
        const double clip_w = at(3, 0) * u + at(3, 1) * v + at(3, 3);
        const double clip_z = at(2, 0) * u + at(2, 1) * v + at(2, 3);
        if (clip_w <= 0.0 || std::abs(clip_z / clip_w) > 1.0 - 1e-6) return false;
        const double q = W * sign, uq = U * sign, vq = V * sign;
        out[i][0] = square.s0 * q + (uq + q) * 0.5 * (square.s1 - square.s0);
        out[i][1] = (vq + q) * 0.5 * square.r;
        out[i][2] = q;
    }
    return true;
}

// The square as draw_textured_square draws it, through its own matrix.
void draw_one(const backdrop_square& square) {
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(square.modelview);
    glColor4fv(square.colour);
    if (square.blended)
        glEnable(GL_BLEND);
    else
        glDisable(GL_BLEND);
    glBegin(GL_QUADS);
    glTexCoord2f(square.s0, 0.0f);
    glVertex3f(-1.0f, -1.0f, 0.0f);
    glTexCoord2f(square.s1, 0.0f);
    glVertex3f(1.0f, -1.0f, 0.0f);
    glTexCoord2f(square.s1, square.r);
    glVertex3f(1.0f, 1.0f, 0.0f);
    glTexCoord2f(square.s0, square.r);
    glVertex3f(-1.0f, 1.0f, 0.0f);
    glEnd();
}

} // namespace

namespace {

int program_slot(int count) { return backdrop_program_slot + count - 2; }

unsigned all_blended(int count) { return (1u << count) - 1u; }

// The program that draws `count` squares of blending `blended` in one pass,
// null when there is none (not made, or it did not compile).
CGprogram one_pass_program(const backdrop_pass& pass, int count, unsigned blended) {
    if (!pass.context || count < 2 || count > backdrop_max_squares || blended != all_blended(count))
        return nullptr;
    CGprogram program = pass.context->cg_programs[program_slot(count)];
    return cgIsProgramCompiled(program) ? program : nullptr;
}

// The 2D texture bound on a texture unit, and binding one there; the active
// unit is kept.
GLuint texture_on_unit(int unit) {
    GLint active = GL_TEXTURE0, texture = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    glActiveTexture(GLenum(GL_TEXTURE0 + unit));
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &texture);
    glActiveTexture(GLenum(active));
    return GLuint(texture);
}

void bind_on_unit(int unit, GLuint texture) {
    GLint active = GL_TEXTURE0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    glActiveTexture(GLenum(GL_TEXTURE0 + unit));
    glBindTexture(GL_TEXTURE_2D, texture);
    glActiveTexture(GLenum(active));
}

} // namespace

void create_backdrop_pass(show_context& context, backdrop_pass& pass) {
    pass.context = &context;
    // The runs the backdrop draws are all blended.
    for (int count = 2; count <= backdrop_max_squares; ++count)
        load_fragment_program_variant(
            context, program_file, program_slot(count),
            {"SQUARES=" + std::to_string(count), "BLENDED=" + std::to_string(all_blended(count))});
}

void begin_backdrop(backdrop_pass& pass, const float clear_colour[4]) {
    pass.pending = 0;
    pass.uncleared = true;
    std::copy(clear_colour, clear_colour + 4, pass.clear_colour);
}

namespace {

void clear_if_uncleared(backdrop_pass& pass) {
    if (!pass.uncleared) return;
    pass.uncleared = false;
    glPushAttrib(GL_COLOR_BUFFER_BIT);
    glClearColor(pass.clear_colour[0], pass.clear_colour[1], pass.clear_colour[2], pass.clear_colour[3]);
    glClear(GL_COLOR_BUFFER_BIT);
    glPopAttrib();
}

} // namespace

void add_backdrop_square(backdrop_pass& pass, double angle, double half_width, double half_height,
                         float repeat) {
    if (pass.pending == backdrop_max_squares) flush_backdrop(pass);
    glRotatef(float(angle), 0.0f, 0.0f, 1.0f);
    glScalef(float(std::fabs(half_width)), float(half_height), 0.0f);
    backdrop_square& square = pass.squares[pass.pending++];
    glGetFloatv(GL_MODELVIEW_MATRIX, square.modelview);
    glGetFloatv(GL_CURRENT_COLOR, square.colour);
    GLint source = 0, destination = 0;
    glGetIntegerv(GL_BLEND_SRC_RGB, &source);
    glGetIntegerv(GL_BLEND_DST_RGB, &destination);
    square.blended = glIsEnabled(GL_BLEND);
    square.s0 = half_width > 0.0 ? 0.0f : repeat;
    square.s1 = half_width > 0.0 ? repeat : 0.0f;
    square.r = repeat;
    // Only the source-alpha blend of the backdrop is done in one pass.
    if (square.blended && (source != GL_SRC_ALPHA || destination != GL_ONE_MINUS_SRC_ALPHA)) {
        const backdrop_square kept = square;
        --pass.pending;
        flush_backdrop(pass); // clears the target if nothing has yet
        glPushAttrib(GL_CURRENT_BIT | GL_ENABLE_BIT | GL_TRANSFORM_BIT);
        glPushMatrix();
        draw_one(kept);
        glPopMatrix();
        glPopAttrib();
        glTexCoord2f(kept.s0, kept.r);
    }
}

void flush_backdrop(backdrop_pass& pass) {
    if (pass.pending == 0) {
        clear_if_uncleared(pass);
        return;
    }
    const int count = pass.pending;
    pass.pending = 0;
    const backdrop_square& last = pass.squares[count - 1];

    double projection[16];
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    double coordinates[backdrop_max_squares][4][3];
    unsigned blended_mask = 0;
    for (int k = 0; k < count; ++k)
        if (pass.squares[k].blended) blended_mask |= 1u << k;
    // A square alone is drawn as it is: one pass either way.
    const CGprogram program = one_pass_program(pass, count, blended_mask);
    bool one_pass = program && pass.uncleared;
    for (int k = 0; k < count && one_pass; ++k)
        one_pass = corner_coordinates(pass.squares[k], projection, coordinates[k]);

    if (one_pass)
        pass.uncleared = false;
    else
        clear_if_uncleared(pass);
    glPushAttrib(GL_CURRENT_BIT | GL_ENABLE_BIT | GL_TRANSFORM_BIT);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    if (!one_pass) {
        for (int k = 0; k < count; ++k)
            draw_one(pass.squares[k]);
    } else {
        float colours[backdrop_max_squares * 4];
        for (int k = 0; k < count; ++k)
            // Fixed-function colours are clamped to [0, 1] before they
            // modulate the texture (the backdrop sets some above 1).
            for (int c = 0; c < 4; ++c)
                colours[4 * k + c] = std::clamp(pass.squares[k].colour[c], 0.0f, 1.0f);
        // The shading runtime's profiles and bound programs stay as they
        // were between its callers' calls: they are put back afterwards.
        const CGprofile fragment = pass.context->fragment_profile, vertex = pass.context->vertex_profile;
        const bool fragment_enabled = cg_runtime::profile_enabled(fragment);
        const bool vertex_enabled = cg_runtime::profile_enabled(vertex);
        const CGprogram fragment_bound = cg_runtime::bound_program(fragment);
        // The paper is the texture the caller bound on unit 0; the runtime
        // binds it on the sampler's own unit, whose texture is put back too.
        const CGparameter paper = cgGetNamedParameter(program, "paper");
        const int paper_unit = cg_runtime::texture_unit_of(paper);
        const GLuint texture_there = paper_unit >= 0 ? texture_on_unit(paper_unit) : 0;
        cgGLSetParameterArray4f(cgGetNamedParameter(program, "colours"), 0, count, colours);
        cgGLSetParameter4fv(cgGetNamedParameter(program, "clear"), pass.clear_colour);
        cgGLSetTextureParameter(paper, texture_on_unit(0));
        cgGLEnableTextureParameter(paper);
        // No vertex program pairs with it: the fixed-function vertex stage
        // hands on the texture coordinates.
        if (vertex_enabled) cgGLDisableProfile(vertex);
        cgGLBindProgram(program);
        if (!fragment_enabled) cgGLEnableProfile(fragment);
        glDisable(GL_BLEND);
        glDisable(GL_CULL_FACE);
        glLoadIdentity();
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glLoadIdentity();
        const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
        glBegin(GL_QUADS);
        for (int i = 0; i < 4; ++i) {
            for (int k = 0; k < count; ++k)
                glMultiTexCoord4d(GL_TEXTURE0 + k, coordinates[k][i][0], coordinates[k][i][1], 0.0,
                                  coordinates[k][i][2]);
            glVertex3f(corners[i][0], corners[i][1], 0.0f);
        }
        glEnd();
        glPopMatrix();
        glMatrixMode(GL_MODELVIEW);
        cgGLDisableTextureParameter(paper);
        if (fragment_bound)
            cgGLBindProgram(fragment_bound);
        else
            cgGLUnbindProgram(fragment);
        if (!fragment_enabled) cgGLDisableProfile(fragment);
        if (vertex_enabled) cgGLEnableProfile(vertex);
        if (paper_unit >= 0) bind_on_unit(paper_unit, texture_there);
    }
    glPopMatrix();
    glPopAttrib();
    // What the last square drawn one by one leaves current.
    glTexCoord2f(last.s0, last.r);
}
