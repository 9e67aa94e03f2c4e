#include "math/gl_helpers.h"

#include "gl/gl.h"

#include <cmath>

void draw_textured_square(const double* angle, const double* half_width, const double* half_height,
                          bool billboard, float repeat) {
    if (billboard) {
        // Keep the translation column, drop the rotation and scale.
        float m[16];
        glGetFloatv(GL_MODELVIEW_MATRIX, m);
        m[0] = m[5] = m[10] = 1.0f;
        m[1] = m[2] = m[4] = m[6] = m[8] = m[9] = 0.0f;
        glLoadMatrixf(m);
    }
    glRotatef(float(*angle), 0.0f, 0.0f, 1.0f);
    glScalef(float(std::fabs(*half_width)), float(*half_height), 0.0f);
    const float r = repeat;
    // Corners (-1,-1), (1,-1), (1,1), (-1,1); s runs backwards when mirrored.
    const float s0 = *half_width > 0.0 ? 0.0f : r;
    const float s1 = *half_width > 0.0 ? r : 0.0f;
    glBegin(GL_QUADS);
    glTexCoord2f(s0, 0.0f);
    glVertex3f(-1.0f, -1.0f, 0.0f);
    glTexCoord2f(s1, 0.0f);
    glVertex3f(1.0f, -1.0f, 0.0f);
    glTexCoord2f(s1, r);
    glVertex3f(1.0f, 1.0f, 0.0f);
    glTexCoord2f(s0, r);
    glVertex3f(-1.0f, 1.0f, 0.0f);
    glEnd();
}

void place_with_basis(const Vec3& position, const Vec3& axis_x, const Vec3& axis_y, const Vec3& axis_z) {
    glMatrixMode(GL_MODELVIEW);
    glTranslatef(position.x, position.y, position.z);
    float m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    m[0] = axis_x.x, m[1] = axis_x.y, m[2] = axis_x.z;
    m[4] = axis_y.x, m[5] = axis_y.y, m[6] = axis_y.z;
    m[8] = axis_z.x, m[9] = axis_z.y, m[10] = axis_z.z;
    glLoadMatrixf(m);
}

void reset_draw_state() {
    glDisable(GL_BLEND);
    glDisable(GL_LIGHTING);
    glDisable(GL_COLOR_MATERIAL);
    glDisable(GL_LIGHT0);
    glDisable(GL_TEXTURE_2D);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glDisable(GL_FOG);
}

void set_linear_filtering() {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
}

void set_object_linear_texgen(int t0, int t1, int t2, int t3, int s0, int s1, int s2, int s3) {
    const float t_plane[4] = {float(t0), float(t1), float(t2), float(t3)};
    const float s_plane[4] = {float(s0), float(s1), float(s2), float(s3)};
    glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
    glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
    glTexGenfv(GL_T, GL_OBJECT_PLANE, t_plane);
    glTexGenfv(GL_S, GL_OBJECT_PLANE, s_plane);
    glEnable(GL_TEXTURE_GEN_S);
    glEnable(GL_TEXTURE_GEN_T);
}
