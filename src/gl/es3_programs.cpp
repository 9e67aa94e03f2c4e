// The fixed-function stages as GLSL ES 3.00: the prelude every effect source
// gets on GLES, the vertex stage of fragment-only programs, and the layer's
// own programs (colour, or colour x texture), with the built-in uniforms sent
// to whichever program draws.
#include "gl/es3_state.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace gl_layer {
namespace {

constexpr const char* vertex_prelude = R"(#version 300 es
precision highp float;
precision highp int;
layout(location = 0) in vec4 qgl_Vertex;
layout(location = 1) in vec4 qgl_Color;
layout(location = 2) in vec4 qgl_MultiTexCoord0;
layout(location = 3) in vec4 qgl_MultiTexCoord1;
layout(location = 4) in vec4 qgl_MultiTexCoord2;
layout(location = 5) in vec4 qgl_MultiTexCoord3;
layout(location = 6) in vec4 qgl_MultiTexCoord4;
layout(location = 7) in vec4 qgl_MultiTexCoord5;
uniform mat4 qgl_ModelViewProjectionMatrix;
uniform mat4 qgl_TextureMatrix[6];
uniform vec4 qgl_ObjectPlaneS[1];
uniform vec4 qgl_ObjectPlaneT[1];
uniform bool qgl_TexGen;
out vec4 qgl_FrontColor;
out vec4 qgl_TexCoord[6];
#define gl_Vertex qgl_Vertex
#define gl_Color qgl_Color
#define gl_MultiTexCoord0 qgl_MultiTexCoord0
#define gl_MultiTexCoord1 qgl_MultiTexCoord1
#define gl_ModelViewProjectionMatrix qgl_ModelViewProjectionMatrix
#define gl_TextureMatrix qgl_TextureMatrix
#define gl_ObjectPlaneS qgl_ObjectPlaneS
#define gl_ObjectPlaneT qgl_ObjectPlaneT
#define gl_FrontColor qgl_FrontColor
#define gl_TexCoord qgl_TexCoord
#define ftransform() (qgl_ModelViewProjectionMatrix * qgl_Vertex)
#define attribute in
#define varying out
#define texture2D texture
)";

constexpr const char* fragment_prelude = R"(#version 300 es
precision highp float;
precision highp int;
precision highp sampler2D;
in vec4 qgl_FrontColor;
in vec4 qgl_TexCoord[6];
out vec4 qgl_FragColor;
#define gl_Color qgl_FrontColor
#define gl_TexCoord qgl_TexCoord
#define gl_FragColor qgl_FragColor
#define varying in
#define texture2D texture
)";

// What GL's fixed-function vertex stage does for the show: position through
// the model-view-projection matrix, the colour clamped, unit 0's S and T
// from its object planes when generated, every set through its texture
// matrix.
constexpr const char* fixed_vertex_main = R"(void main() {
    gl_Position = qgl_ModelViewProjectionMatrix * qgl_Vertex;
    qgl_FrontColor = clamp(qgl_Color, 0.0, 1.0);
    vec4 t0 = qgl_MultiTexCoord0;
    if (qgl_TexGen) {
        t0.x = dot(qgl_ObjectPlaneS[0], qgl_Vertex);
        t0.y = dot(qgl_ObjectPlaneT[0], qgl_Vertex);
    }
    qgl_TexCoord[0] = qgl_TextureMatrix[0] * t0;
    qgl_TexCoord[1] = qgl_TextureMatrix[1] * qgl_MultiTexCoord1;
    qgl_TexCoord[2] = qgl_TextureMatrix[2] * qgl_MultiTexCoord2;
    qgl_TexCoord[3] = qgl_TextureMatrix[3] * qgl_MultiTexCoord3;
    qgl_TexCoord[4] = qgl_TextureMatrix[4] * qgl_MultiTexCoord4;
    qgl_TexCoord[5] = qgl_TextureMatrix[5] * qgl_MultiTexCoord5;
}
)";

// Fixed-function fragments: the colour, or GL_MODULATE of unit 0's texture
// (projective, as GL looks it up).
constexpr const char* fixed_fragment_untextured = "void main() { gl_FragColor = gl_Color; }\n";
constexpr const char* fixed_fragment_textured = "uniform sampler2D qgl_Texture0;\n"
                                                "void main() { gl_FragColor = gl_Color * "
                                                "textureProj(qgl_Texture0, qgl_TexCoord[0]); }\n";

// The built-in uniforms of one program, found once.
struct builtins {
    GLint mvp = -1, texture_matrices = -1, plane_s = -1, plane_t = -1, texgen = -1, sampler = -1;
    uint64_t mvp_serial = 0, texture_serial = 0, texgen_serial = 0;
};
std::unordered_map<GLuint, builtins>& known() {
    static std::unordered_map<GLuint, builtins> programs;
    return programs;
}

GLuint fixed_programs[2] = {0, 0}; // untextured, textured

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "GLES layer: %s\n", what.c_str());
    std::exit(1);
}

GLuint compile_shader(GLenum type, const std::string& source) {
    const GLuint shader = glCreateShader(type);
    const char* text = source.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[4096] = {};
        glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        fail(std::string("a fixed-function shader does not compile: ") + log);
    }
    return shader;
}

GLuint fixed_program(bool textured) {
    GLuint& program = fixed_programs[textured ? 1 : 0];
    if (program) return program;
    const GLuint vertex = compile_shader(GL_VERTEX_SHADER, fixed_function_vertex_source());
    const GLuint fragment =
        compile_shader(GL_FRAGMENT_SHADER, prelude(stage::fragment) + (textured ? fixed_fragment_textured
                                                                                : fixed_fragment_untextured));
    program = glCreateProgram();
    glAttachShader(program, vertex);
    glAttachShader(program, fragment);
    glLinkProgram(program);
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    GLint ok = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (!ok) fail("a fixed-function program does not link");
    return program;
}

builtins& builtins_of(GLuint program) {
    auto found = known().find(program);
    if (found != known().end()) return found->second;
    builtins b;
    b.mvp = glGetUniformLocation(program, "qgl_ModelViewProjectionMatrix");
    b.texture_matrices = glGetUniformLocation(program, "qgl_TextureMatrix");
    b.plane_s = glGetUniformLocation(program, "qgl_ObjectPlaneS");
    b.plane_t = glGetUniformLocation(program, "qgl_ObjectPlaneT");
    b.texgen = glGetUniformLocation(program, "qgl_TexGen");
    b.sampler = glGetUniformLocation(program, "qgl_Texture0");
    return known()[program] = b;
}

} // namespace

std::string prelude(stage s) { return s == stage::vertex ? vertex_prelude : fragment_prelude; }

std::string fixed_function_vertex_source() { return std::string(vertex_prelude) + fixed_vertex_main; }

std::string fixed_function_fragment_source() { return prelude(stage::fragment) + fixed_fragment_untextured; }

void forget_program(GLuint program) { known().erase(program); }

void forget_programs() {
    // The context they lived in is gone: their names mean nothing now.
    fixed_programs[0] = fixed_programs[1] = 0;
    known().clear();
}

void use_program_for_draw() {
    layer_state& s = state();
    GLuint program = s.user_program;
    if (program == 0) {
        if (s.lighting || s.fog) unsupported("fixed-function lighting or fog");
        program = fixed_program(s.texture_2d[0]);
    }
    if (s.bound_program != program) {
        glUseProgram(program);
        s.bound_program = program;
    }
    builtins& b = builtins_of(program);
    if (b.mvp >= 0 && b.mvp_serial != s.matrix_serial) {
        glUniformMatrix4fv(b.mvp, 1, GL_FALSE, modelview_projection().m);
        b.mvp_serial = s.matrix_serial;
    }
    if (b.texture_matrices >= 0 && b.texture_serial != s.texture_serial) {
        float all[16 * units];
        for (int k = 0; k < units; ++k)
            std::copy(top_of(GL_TEXTURE, k).m, top_of(GL_TEXTURE, k).m + 16, all + 16 * k);
        glUniformMatrix4fv(b.texture_matrices, units, GL_FALSE, all);
        b.texture_serial = s.texture_serial;
    }
    if (b.texgen_serial != s.texgen_serial) {
        if (b.plane_s >= 0) glUniform4fv(b.plane_s, 1, s.plane_s);
        if (b.plane_t >= 0) glUniform4fv(b.plane_t, 1, s.plane_t);
        // The layer generates S and T together, as the show enables them.
        if (b.texgen >= 0) glUniform1i(b.texgen, s.texgen_s && s.texgen_t ? 1 : 0);
        if (s.texgen_s != s.texgen_t) unsupported("texgen of S or T alone");
        if (b.sampler >= 0) glUniform1i(b.sampler, 0);
        b.texgen_serial = s.texgen_serial;
    }
}

} // namespace gl_layer
