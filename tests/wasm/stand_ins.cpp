// What the tests under Node link in place of the desktop's platform layer and
// GL, none of which they reach.
#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"

// The browser has no platform table and no dialog yet: the tests that
// replace entries start from the null table.
const platform::platform& platform::native_platform() { return null_platform(); }
intptr_t platform::run_native_dialog(const dialog_template&, dialog_proc, void*) {
    return dialog_unavailable;
}

// The OBJ loader shares its file with the mesh's drawing, which no test here
// calls: a call is a fault, and says so.
namespace {
[[noreturn]] void not_drawn(const char* name) {
    std::fprintf(stderr, "%s called in a test that draws nothing\n", name);
    std::abort();
}
} // namespace

extern "C" {
void glNewList(GLuint, GLenum) { not_drawn("glNewList"); }
void glEndList() { not_drawn("glEndList"); }
void glCallList(GLuint) { not_drawn("glCallList"); }
void glBegin(GLenum) { not_drawn("glBegin"); }
void glEnd() { not_drawn("glEnd"); }
void glVertex3f(GLfloat, GLfloat, GLfloat) { not_drawn("glVertex3f"); }
}
