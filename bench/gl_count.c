/* Counts the draw calls the show makes, for the show benchmark: preloaded
 * into quorlaxen-capture, which reads and resets the count after each frame
 * through quorlaxen_draw_calls(). A display list called counts once, however
 * much it holds. */
#define _GNU_SOURCE
#include <GL/gl.h>
#include <dlfcn.h>

static unsigned long begins, lists, arrays;

#define FORWARD(name, params, args, counter)                                   \
    void name params {                                                         \
        static void(*real) params;                                             \
        if (!real) *(void**)&real = dlsym(RTLD_NEXT, #name);                   \
        ++counter;                                                             \
        real args;                                                             \
    }

FORWARD(glBegin, (GLenum mode), (mode), begins)
FORWARD(glCallList, (GLuint list), (list), lists)
FORWARD(glCallLists, (GLsizei n, GLenum type, const GLvoid* l), (n, type, l), lists)
FORWARD(glDrawArrays, (GLenum mode, GLint first, GLsizei count), (mode, first, count), arrays)
FORWARD(glDrawElements, (GLenum mode, GLsizei count, GLenum type, const GLvoid* i), (mode, count, type, i), arrays)

/* begin/end pairs, display-list calls and array draws since the last call. */
void quorlaxen_draw_calls(unsigned long* begin_count, unsigned long* list_count, unsigned long* array_count) {
    *begin_count = begins;
    *list_count = lists;
    *array_count = arrays;
    begins = lists = arrays = 0;
}
