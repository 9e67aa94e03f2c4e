// The GL the show draws with. The default build hands every call to the
// driver's own OpenGL 1.x-2.1 (through GLEW and GLU). Built with
// QUORLAXEN_GL_ES3, the same calls are carried out by this folder's layer over
// OpenGL ES 3.0 (and so WebGL 2), which has no fixed-function pipeline:
// - the three matrix stacks in single precision, read back through glGet;
// - glBegin/glEnd gathered into a streaming vertex buffer, quads and quad
//   strips drawn as triangles; display lists recorded once into static
//   buffers and replayed;
// - the attribute and client-attribute stack subset the show pushes;
// - object-linear texgen and colour x texture by a few generated programs
//   chosen by state; client arrays; glDrawBuffer as glDrawBuffers;
// - gluLookAt and gluPerspective in the layer's own arithmetic, GLU's polygon
//   tessellator built from its source.
// Blending, scissor, colour masks, multisampled targets and their resolve,
// viewports and clears go to GLES as they are. With QUORLAXEN_GL_DEBUG=1 in
// the environment (read when the layer is set up) the layer checks
// glGetError after its GLES calls, and a call GLES rejects, or a GL call the
// layer does not carry out, ends the process naming the call.
#pragma once

#if !defined(QUORLAXEN_GL_ES3)

#include <GL/glew.h>
#include <GL/glu.h>

// Whether the current context (once GLEW has loaded it) has what the show
// draws with: OpenGL 2.1 with framebuffer objects, blits and multisampled
// renderbuffers. Windows's own OpenGL 1.1 has none of them.
inline bool gl_has_framebuffer_objects() {
    return GLEW_VERSION_2_1 && (GLEW_VERSION_3_0 || GLEW_ARB_framebuffer_object) && glGenFramebuffers &&
           glBlitFramebuffer && glRenderbufferStorageMultisample;
}

#else

#include <GLES3/gl3.h>

#include <string>

// --- what GL 1.x names and GLES lacks ---------------------------------------
#define GL_QUADS 0x0007
#define GL_QUAD_STRIP 0x0008
#define GL_POLYGON 0x0009
#define GL_COMPILE 0x1300
#define GL_COMPILE_AND_EXECUTE 0x1301
#define GL_MATRIX_MODE 0x0BA0
#define GL_MODELVIEW 0x1700
#define GL_PROJECTION 0x1701
#define GL_TEXTURE 0x1702
#define GL_MODELVIEW_MATRIX 0x0BA6
#define GL_PROJECTION_MATRIX 0x0BA7
#define GL_TEXTURE_MATRIX 0x0BA8
#define GL_CURRENT_COLOR 0x0B00
#define GL_CURRENT_TEXTURE_COORDS 0x0B03
#define GL_LIGHTING 0x0B50
#define GL_LIGHT0 0x4000
#define GL_COLOR_MATERIAL 0x0B57
#define GL_FOG 0x0B60
#define GL_TEXTURE_GEN_S 0x0C60
#define GL_TEXTURE_GEN_T 0x0C61
#define GL_S 0x2000
#define GL_T 0x2001
#define GL_TEXTURE_GEN_MODE 0x2500
#define GL_OBJECT_LINEAR 0x2401
#define GL_OBJECT_PLANE 0x2501
#define GL_MULTISAMPLE 0x809D
#define GL_SMOOTH 0x1D01
#define GL_PERSPECTIVE_CORRECTION_HINT 0x0C50
#define GL_CURRENT_BIT 0x00000001
#define GL_VIEWPORT_BIT 0x00000800
#define GL_TRANSFORM_BIT 0x00001000
#define GL_ENABLE_BIT 0x00002000
#define GL_SCISSOR_BIT 0x00080000
#define GL_TEXTURE_BIT 0x00040000
#define GL_ALL_ATTRIB_BITS 0xFFFFFFFF
#define GL_CLIENT_PIXEL_STORE_BIT 0x00000001
#define GL_CLIENT_VERTEX_ARRAY_BIT 0x00000002
#define GL_VERTEX_ARRAY 0x8074
#define GL_COLOR_ARRAY 0x8076
#define GL_TEXTURE_COORD_ARRAY 0x8078
#define GL_PACK_INVERT_MESA 0x8758
#define GL_BGRA 0x80E1
#define GL_SAMPLER_1D 0x8B5D
#define GL_SAMPLER_1D_SHADOW 0x8B61

typedef double GLdouble;

// --- GLU's tessellator (built from GLU's own source) -------------------------
#define GLU_TESS_BEGIN_DATA 100106
#define GLU_TESS_VERTEX_DATA 100107
#define GLU_TESS_END_DATA 100108
#define GLU_TESS_ERROR_DATA 100109
#define GLU_TESS_EDGE_FLAG_DATA 100110
#define GLU_TESS_COMBINE_DATA 100111
#define GLU_TESS_WINDING_RULE 100140
#define GLU_TESS_WINDING_ODD 100130
#define GLU_TESS_WINDING_NONZERO 100131
#define GLU_TESS_WINDING_POSITIVE 100132
#define GLU_TESS_WINDING_NEGATIVE 100133
#define GLU_TESS_WINDING_ABS_GEQ_TWO 100134
#ifndef CALLBACK
#define CALLBACK
#endif
extern "C" {
typedef struct GLUtesselator GLUtesselator;
typedef void (*_GLUfuncptr)(void);
GLUtesselator* gluNewTess(void);
void gluDeleteTess(GLUtesselator* tess);
void gluTessCallback(GLUtesselator* tess, GLenum which, _GLUfuncptr callback);
void gluTessProperty(GLUtesselator* tess, GLenum which, GLdouble data);
void gluTessBeginPolygon(GLUtesselator* tess, GLvoid* data);
void gluTessBeginContour(GLUtesselator* tess);
void gluTessVertex(GLUtesselator* tess, GLdouble* location, GLvoid* data);
void gluTessEndContour(GLUtesselator* tess);
void gluTessEndPolygon(GLUtesselator* tess);
}

// --- the layer's entry points --------------------------------------------------
// Sets up the layer on the current GLES 3 context (its vertex array, buffers
// and programs); GLEW's place. Returns 0 (GLEW_OK) on success.
GLenum qgl_init();
extern unsigned char qgl_glew_experimental;

void qgl_matrix_mode(GLenum mode);
void qgl_load_identity();
void qgl_push_matrix();
void qgl_pop_matrix();
void qgl_load_matrixf(const GLfloat* m);
void qgl_mult_matrixf(const GLfloat* m);
void qgl_mult_matrixd(const GLdouble* m);
void qgl_translatef(GLfloat x, GLfloat y, GLfloat z);
void qgl_scalef(GLfloat x, GLfloat y, GLfloat z);
void qgl_rotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z);
inline void qgl_translated(GLdouble x, GLdouble y, GLdouble z) {
    qgl_translatef(GLfloat(x), GLfloat(y), GLfloat(z));
}
inline void qgl_scaled(GLdouble x, GLdouble y, GLdouble z) { qgl_scalef(GLfloat(x), GLfloat(y), GLfloat(z)); }
inline void qgl_rotated(GLdouble a, GLdouble x, GLdouble y, GLdouble z) {
    qgl_rotatef(GLfloat(a), GLfloat(x), GLfloat(y), GLfloat(z));
}
void qglu_look_at(GLdouble eye_x, GLdouble eye_y, GLdouble eye_z, GLdouble centre_x, GLdouble centre_y,
                  GLdouble centre_z, GLdouble up_x, GLdouble up_y, GLdouble up_z);
void qglu_perspective(GLdouble fovy, GLdouble aspect, GLdouble z_near, GLdouble z_far);

void qgl_begin(GLenum mode);
void qgl_end();
void qgl_vertex3f(GLfloat x, GLfloat y, GLfloat z);
inline void qgl_vertex2f(GLfloat x, GLfloat y) { qgl_vertex3f(x, y, 0.0f); }
inline void qgl_vertex3d(GLdouble x, GLdouble y, GLdouble z) {
    qgl_vertex3f(GLfloat(x), GLfloat(y), GLfloat(z));
}
void qgl_color4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a);
inline void qgl_color3f(GLfloat r, GLfloat g, GLfloat b) { qgl_color4f(r, g, b, 1.0f); }
inline void qgl_color3d(GLdouble r, GLdouble g, GLdouble b) {
    qgl_color4f(GLfloat(r), GLfloat(g), GLfloat(b), 1.0f);
}
inline void qgl_color3fv(const GLfloat* v) { qgl_color4f(v[0], v[1], v[2], 1.0f); }
inline void qgl_color4fv(const GLfloat* v) { qgl_color4f(v[0], v[1], v[2], v[3]); }
void qgl_multi_tex_coord4f(GLenum unit, GLfloat s, GLfloat t, GLfloat r, GLfloat q);
inline void qgl_tex_coord2f(GLfloat s, GLfloat t) { qgl_multi_tex_coord4f(GL_TEXTURE0, s, t, 0.0f, 1.0f); }
inline void qgl_multi_tex_coord4d(GLenum unit, GLdouble s, GLdouble t, GLdouble r, GLdouble q) {
    qgl_multi_tex_coord4f(unit, GLfloat(s), GLfloat(t), GLfloat(r), GLfloat(q));
}

void qgl_new_list(GLuint list, GLenum mode);
void qgl_end_list();
void qgl_call_list(GLuint list);

void qgl_push_attrib(GLbitfield mask);
void qgl_pop_attrib();
void qgl_push_client_attrib(GLbitfield mask);
void qgl_pop_client_attrib();
void qgl_enable_client_state(GLenum array);
void qgl_disable_client_state(GLenum array);
void qgl_vertex_pointer(GLint size, GLenum type, GLsizei stride, const void* pointer);
void qgl_color_pointer(GLint size, GLenum type, GLsizei stride, const void* pointer);
void qgl_draw_arrays(GLenum mode, GLint first, GLsizei count);
void qgl_draw_elements(GLenum mode, GLsizei count, GLenum type, const void* indices);

void qgl_enable(GLenum cap);
void qgl_disable(GLenum cap);
GLboolean qgl_is_enabled(GLenum cap);
void qgl_get_integerv(GLenum name, GLint* values);
void qgl_get_floatv(GLenum name, GLfloat* values);
void qgl_get_doublev(GLenum name, GLdouble* values);
void qgl_tex_geni(GLenum coord, GLenum name, GLint value);
void qgl_tex_genfv(GLenum coord, GLenum name, const GLfloat* values);
void qgl_active_texture(GLenum unit);
void qgl_use_program(GLuint program);
void qgl_delete_program(GLuint program);
void qgl_draw_buffer(GLenum buffer);
void qgl_pixel_storei(GLenum name, GLint value);
void qgl_read_pixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type,
                     void* pixels);
void qgl_tex_image_2d(GLenum target, GLint level, GLint internal_format, GLsizei width, GLsizei height,
                      GLint border, GLenum format, GLenum type, const void* pixels);
inline void qgl_clear_depth(GLdouble depth) { glClearDepthf(GLfloat(depth)); }
inline void qgl_shade_model(GLenum) {}         // smooth shading is all GLES has
inline void qgl_hint_legacy(GLenum, GLenum) {} // no such hint on GLES
inline void qgl_flush() { glFlush(); }
// Every OpenGL ES 3.0 context has framebuffer objects, blits and
// multisampled renderbuffers.
inline bool gl_has_framebuffer_objects() { return true; }

// The show's code calls the GL names; the layer's own files call GLES.
#if !defined(QUORLAXEN_GL_LAYER_INTERNAL)
#define glewInit qgl_init
#define glewExperimental qgl_glew_experimental
#define GLEW_MESA_pack_invert false
#define glMatrixMode qgl_matrix_mode
#define glLoadIdentity qgl_load_identity
#define glPushMatrix qgl_push_matrix
#define glPopMatrix qgl_pop_matrix
#define glLoadMatrixf qgl_load_matrixf
#define glMultMatrixf qgl_mult_matrixf
#define glMultMatrixd qgl_mult_matrixd
#define glTranslatef qgl_translatef
#define glTranslated qgl_translated
#define glScalef qgl_scalef
#define glScaled qgl_scaled
#define glRotatef qgl_rotatef
#define glRotated qgl_rotated
#define gluLookAt qglu_look_at
#define gluPerspective qglu_perspective
#define glBegin qgl_begin
#define glEnd qgl_end
#define glVertex2f qgl_vertex2f
#define glVertex3f qgl_vertex3f
#define glVertex3d qgl_vertex3d
#define glColor3f qgl_color3f
#define glColor3d qgl_color3d
#define glColor4f qgl_color4f
#define glColor3fv qgl_color3fv
#define glColor4fv qgl_color4fv
#define glTexCoord2f qgl_tex_coord2f
#define glMultiTexCoord4d qgl_multi_tex_coord4d
#define glMultiTexCoord4f qgl_multi_tex_coord4f
#define glNewList qgl_new_list
#define glEndList qgl_end_list
#define glCallList qgl_call_list
#define glPushAttrib qgl_push_attrib
#define glPopAttrib qgl_pop_attrib
#define glPushClientAttrib qgl_push_client_attrib
#define glPopClientAttrib qgl_pop_client_attrib
#define glEnableClientState qgl_enable_client_state
#define glDisableClientState qgl_disable_client_state
#define glVertexPointer qgl_vertex_pointer
#define glColorPointer qgl_color_pointer
#define glDrawArrays qgl_draw_arrays
#define glDrawElements qgl_draw_elements
#define glEnable qgl_enable
#define glDisable qgl_disable
#define glIsEnabled qgl_is_enabled
#define glGetIntegerv qgl_get_integerv
#define glGetFloatv qgl_get_floatv
#define glGetDoublev qgl_get_doublev
#define glTexGeni qgl_tex_geni
#define glTexGenfv qgl_tex_genfv
#define glActiveTexture qgl_active_texture
#define glUseProgram qgl_use_program
#define glDeleteProgram qgl_delete_program
#define glDrawBuffer qgl_draw_buffer
#define glPixelStorei qgl_pixel_storei
#define glReadPixels qgl_read_pixels
#define glTexImage2D qgl_tex_image_2d
#define glClearDepth qgl_clear_depth
#define glShadeModel qgl_shade_model
#define glHint qgl_hint_legacy
#define glFlush qgl_flush
#endif

// --- what the shading runtime asks of the layer -------------------------------
namespace gl_layer {

enum class stage { vertex, fragment };
// The lines a program's source gets in place of its `#version 120` line on
// GLES: `#version 300 es`, precision, and the compatibility built-ins it uses
// (gl_Vertex, gl_Color, gl_TexCoord, gl_FragColor, ftransform, the matrices
// and object planes, texture2D, varying) mapped to the layer's attributes,
// uniforms and varyings. Ends with a line end.
std::string prelude(stage s);
// The vertex stage a fragment-only program runs with: the layer's
// fixed-function vertex processing (matrices, colour, texgen, texture
// matrices) over the prelude's names; the complete source.
std::string fixed_function_vertex_source();
// The fragment stage a vertex-only program runs with: the colour.
std::string fixed_function_fragment_source();

} // namespace gl_layer

#endif
