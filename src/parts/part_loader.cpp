// The loading screen: one textured square on black, drawn once into the
// window before the long loads begin.
#include "gl/gl.h"

#include "math/gl_helpers.h"
#include "parts/parts.h"
#include "resources/resources.h"

namespace {
constexpr int loading_texture_slot = 10;
}

void part_loader::init(show_context& context) {
    slot_offset = 0;
    load_jpeg_texture(context, "textures/loading.jpg", loading_texture_slot);
}

void part_loader::render(double* frame_step, show_context& context, frame_record* record) {
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glPushMatrix();
    bind_window_framebuffer();

    const int width = context.settings.view_width;
    // A zero-height view would give an infinite aspect and a matrix of NaNs.
    const int height = context.settings.view_height > 0 ? context.settings.view_height : 1;
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(65.0, double(width) / double(height), 1.0, 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(0, 0, 10, 0, 0, 0, 0, 1, 0);

    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    glEnable(GL_TEXTURE_2D);
    bind_texture_slot(context, loading_texture_slot + slot_offset);
    glDisable(GL_BLEND);
    glColor3f(1, 1, 1);
    const double angle = 0.0, half_size = 3.3;
    draw_textured_square(&angle, &half_size, &half_size, true, 1.0f);

    glPopMatrix();
    glPopAttrib();
    glFlush();
}
