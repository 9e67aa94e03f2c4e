// The shading runtime over GLSL: see cg_runtime.h for the conventions a
// source file follows and how the bound programs turn into one GL program.
#include "platform/cg_runtime.h"

#include "gl/gl.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

enum class cg_stage { none, vertex, fragment };

struct cg_parameter_record {
    CGprogram program = nullptr;
    std::string name;
    GLenum type = 0;                                    // GL uniform type
    int unit = -1;                                      // texture unit of a sampler
    int elements = 1;                                   // array size (1 for a plain uniform)
    std::vector<float> values = std::vector<float>(16); // up to 16 per element
    bool value_set = false;
    GLuint texture = 0;
    bool texture_enabled = false;
};

struct cg_program_record {
    CGcontext context = nullptr;
    CGprofile profile = CG_PROFILE_UNKNOWN;
    cg_stage stage = cg_stage::none;
    std::string file_name;
    std::string source;
    std::vector<std::string> options;
    std::vector<const char*> option_pointers; // null-ended view of `options`
    GLuint shader = 0;
    GLuint gl_program = 0; // the shader linked alone; 0 when it failed
    bool compiled = false;
    bool loaded = false;
    std::map<std::string, std::unique_ptr<cg_parameter_record>> parameters;
    // Pairs with fragment programs, keyed by the fragment program (0 = failed).
    std::map<CGprogram, GLuint> pairs;
};

struct cg_context_record {
    std::vector<std::unique_ptr<cg_program_record>> programs;
    std::string listing;
};

namespace {

// The runtime's binding state, like GL's own: one per process (the show has
// one GL context).
struct runtime_state {
    std::vector<std::unique_ptr<cg_context_record>> contexts;
    bool vertex_enabled = false;
    bool fragment_enabled = false;
    CGprogram vertex_bound = nullptr;
    CGprogram fragment_bound = nullptr;
    GLuint active = 0;
    CGprogram active_vertex = nullptr; // programs whose values feed `active`
    CGprogram active_fragment = nullptr;
    CGerror error = CG_NO_ERROR;
    std::string vendor_override;
    bool vendor_overridden = false;
};

runtime_state& state() {
    static runtime_state s;
    return s;
}

void set_error(CGerror e) { state().error = e; }

// The GL entry points exist only once the extension loader has run on a
// current context; without them nothing compiles and nothing is bound.
#if defined(QUORLAXEN_GL_ES3)
bool gl_ready() { return true; } // GLES 3 has them all
#else
bool gl_ready() { return glCreateShader && glUseProgram && glActiveTexture && glGetUniformLocation; }
#endif

cg_stage stage_of(CGprofile profile) {
    switch (profile) {
    case CG_PROFILE_VP30:
    case CG_PROFILE_ARBVP1:
    case CG_PROFILE_GLSLV:
        return cg_stage::vertex;
    case CG_PROFILE_ARBFP1:
    case CG_PROFILE_GLSLF:
        return cg_stage::fragment;
    default:
        return cg_stage::none;
    }
}

std::string shader_log(GLuint shader) {
    GLint length = 0;
    glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
    if (length <= 1) return {};
    std::string log(size_t(length), '\0');
    glGetShaderInfoLog(shader, length, nullptr, log.data());
    log.resize(std::strlen(log.c_str()));
    return log;
}

std::string program_log(GLuint program) {
    GLint length = 0;
    glGetProgramiv(program, GL_INFO_LOG_LENGTH, &length);
    if (length <= 1) return {};
    std::string log(size_t(length), '\0');
    glGetProgramInfoLog(program, length, nullptr, log.data());
    log.resize(std::strlen(log.c_str()));
    return log;
}

// Every line of a compiler log, prefixed with the file it came from, ending
// with a line end.
std::string with_file_name(const std::string& file, const char* what, const std::string& log) {
    std::string out;
    std::istringstream lines(log);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty()) continue;
        out += file + ": " + what + ": " + line + "\n";
    }
    return out;
}

// The source as compiled: a #version line is prepended when the text has
// none, so that the compatibility built-ins of 1.20 are in effect.
std::string versioned(const std::string& source) {
    size_t first = source.find_first_not_of(" \t\r\n");
    if (first != std::string::npos && source.compare(first, 8, "#version") == 0) return source;
    return "#version 120\n" + source;
}

// The `#define` lines of the program's -DNAME=VALUE and -DNAME arguments
// (the latter defined as 1, as a C compiler does).
std::string defines_of(const std::vector<std::string>& options) {
    std::string out;
    for (const std::string& option : options) {
        if (option.size() <= 2 || option.compare(0, 2, "-D") != 0) continue;
        const size_t equals = option.find('=');
        if (equals == std::string::npos)
            out += "#define " + option.substr(2) + " 1\n";
        else
            out += "#define " + option.substr(2, equals - 2) + " " + option.substr(equals + 1) + "\n";
    }
    return out;
}

// The text handed to the compiler: the source, versioned, with the defines
// of its arguments after the #version line and a #line directive that keeps
// the listing's line numbers those of the file. Before GLSL 3.30 the line
// after `#line n` is line n + 1, from 3.30 on line n.
//
// On GLES the `#version 120` line gives way to the drawing layer's prelude
// for the stage (GLSL ES 3.00 with the compatibility built-ins mapped onto
// the layer's names), and the #line directive (line n is the next one)
// keeps the file's numbering.
std::string compiled_text(const std::string& source, const std::vector<std::string>& options,
                          cg_stage stage) {
    const std::string defines = defines_of(options);
#if defined(QUORLAXEN_GL_ES3)
    {
        const size_t first = source.find_first_not_of(" \t\r\n");
        size_t end = 0;
        if (first != std::string::npos && source.compare(first, 8, "#version") == 0) {
            end = source.find('\n', first);
            end = end == std::string::npos ? source.size() : end + 1;
        }
        const long next_line = long(std::count(source.begin(), source.begin() + long(end), '\n')) + 1;
        return gl_layer::prelude(stage == cg_stage::vertex ? gl_layer::stage::vertex
                                                           : gl_layer::stage::fragment) +
               defines + "#line " + std::to_string(next_line) + "\n" + source.substr(end);
    }
#endif
    (void)stage;
    if (defines.empty()) return versioned(source);
    const size_t first = source.find_first_not_of(" \t\r\n");
    if (first == std::string::npos || source.compare(first, 8, "#version") != 0)
        return "#version 120\n" + defines + "#line 0\n" + source;
    size_t end = source.find('\n', first);
    end = end == std::string::npos ? source.size() : end + 1;
    const long next_line = long(std::count(source.begin(), source.begin() + long(end), '\n')) + 1;
    const int version = std::atoi(source.c_str() + first + 8);
    std::string text = source.substr(0, end);
    if (text.back() != '\n') text += '\n';
    const long line = version < 330 ? next_line - 1 : next_line;
    return text + defines + "#line " + std::to_string(line) + "\n" + source.substr(end);
}

#if defined(QUORLAXEN_GL_ES3)
// GLES links no program without both stages: a program alone runs with the
// drawing layer's fixed-function stage for the other, as GL would run it.
GLuint fixed_function_shader(GLenum type) {
    static GLuint shaders[2] = {0, 0};
    GLuint& shader = shaders[type == GL_VERTEX_SHADER ? 0 : 1];
    if (shader && glIsShader(shader)) return shader;
    shader = glCreateShader(type);
    const std::string text = type == GL_VERTEX_SHADER ? gl_layer::fixed_function_vertex_source()
                                                      : gl_layer::fixed_function_fragment_source();
    const char* source = text.c_str();
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    return shader;
}
#endif

GLuint link(GLuint vertex_shader, GLuint fragment_shader, std::string* log) {
#if defined(QUORLAXEN_GL_ES3)
    if (!vertex_shader) vertex_shader = fixed_function_shader(GL_VERTEX_SHADER);
    if (!fragment_shader) fragment_shader = fixed_function_shader(GL_FRAGMENT_SHADER);
#endif
    GLuint program = glCreateProgram();
    if (vertex_shader) glAttachShader(program, vertex_shader);
    if (fragment_shader) glAttachShader(program, fragment_shader);
    glLinkProgram(program);
    GLint ok = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    *log = program_log(program);
    if (!ok) {
        glDeleteProgram(program);
        return 0;
    }
    return program;
}

bool is_sampler(GLenum type) {
    return type == GL_SAMPLER_1D || type == GL_SAMPLER_2D || type == GL_SAMPLER_3D ||
           type == GL_SAMPLER_CUBE || type == GL_SAMPLER_2D_SHADOW || type == GL_SAMPLER_1D_SHADOW;
}

// The source without comments; line ends are kept.
std::string without_comments(const std::string& source) {
    std::string out;
    out.reserve(source.size());
    for (size_t i = 0; i < source.size(); ++i) {
        if (source.compare(i, 2, "//") == 0) {
            i = source.find('\n', i);
            if (i == std::string::npos) break;
            out += '\n';
        } else if (source.compare(i, 2, "/*") == 0) {
            const size_t end = source.find("*/", i + 2);
            out += ' ';
            if (end == std::string::npos) break;
            i = end + 1;
        } else {
            out += source[i];
        }
    }
    return out;
}

GLenum uniform_type(const std::string& name) {
    static const std::map<std::string, GLenum> types = {
        {"float", GL_FLOAT},
        {"vec2", GL_FLOAT_VEC2},
        {"vec3", GL_FLOAT_VEC3},
        {"vec4", GL_FLOAT_VEC4},
        {"mat2", GL_FLOAT_MAT2},
        {"mat3", GL_FLOAT_MAT3},
        {"mat4", GL_FLOAT_MAT4},
        {"int", GL_INT},
        {"bool", GL_BOOL},
        {"sampler1D", GL_SAMPLER_1D},
        {"sampler2D", GL_SAMPLER_2D},
        {"sampler3D", GL_SAMPLER_3D},
        {"samplerCube", GL_SAMPLER_CUBE},
        {"sampler1DShadow", GL_SAMPLER_1D_SHADOW},
        {"sampler2DShadow", GL_SAMPLER_2D_SHADOW},
    };
    auto found = types.find(name);
    return found == types.end() ? 0 : found->second;
}

struct declared_uniform {
    std::string name;
    GLenum type;
    int elements; // the array size written, 1 for a plain uniform
};

// Every uniform the source declares at file scope, with its type, in the
// order written: `uniform [precision] type name [[n]] {, name [[n]]};`.
std::vector<declared_uniform> declared_uniforms(const std::string& source) {
    std::vector<declared_uniform> out;
    std::istringstream in(without_comments(source));
    std::vector<std::string> tokens;
    std::string line;
    while (std::getline(in, line)) {
        const size_t first = line.find_first_not_of(" \t\r");
        if (first != std::string::npos && line[first] == '#') continue; // preprocessor lines
        std::string token;
        for (char c : line) {
            const bool word = std::isalnum(static_cast<unsigned char>(c)) || c == '_';
            if (word) {
                token += c;
                continue;
            }
            if (!token.empty()) tokens.push_back(token), token.clear();
            if (!std::isspace(static_cast<unsigned char>(c))) tokens.emplace_back(1, c);
        }
        if (!token.empty()) tokens.push_back(token);
    }
    int depth = 0;
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i] == "{") ++depth;
        if (tokens[i] == "}") --depth;
        if (depth != 0 || tokens[i] != "uniform") continue;
        size_t k = i + 1;
        while (k < tokens.size() && (tokens[k] == "lowp" || tokens[k] == "mediump" || tokens[k] == "highp"))
            ++k;
        if (k + 1 >= tokens.size()) break;
        if (tokens[k + 1] == "{") continue; // not a plain declaration
        const GLenum type = uniform_type(tokens[k]);
        // Names follow, each perhaps with an array size or an initialiser,
        // up to the semicolon.
        bool expect_name = true;
        for (++k; k < tokens.size() && tokens[k] != ";" && tokens[k] != "{"; ++k) {
            const std::string& t = tokens[k];
            const unsigned char c = static_cast<unsigned char>(t[0]);
            if (t == ",") {
                expect_name = true;
            } else if (expect_name && (std::isalpha(c) || c == '_')) {
                out.push_back({t, type, 1});
                expect_name = false;
            } else if (t == "[" && !out.empty() && k + 2 < tokens.size() && tokens[k + 2] == "]" &&
                       std::isdigit(static_cast<unsigned char>(tokens[k + 1][0]))) {
                out.back().elements = std::max(1, std::atoi(tokens[k + 1].c_str()));
            }
        }
        i = k - 1; // the semicolon (or brace) is looked at again
    }
    return out;
}

// An array parameter holds as many elements as the source declares or the
// compiler reports, whichever is more.
void hold_elements(cg_parameter_record& record, int elements) {
    if (elements <= record.elements) return;
    record.elements = elements;
    record.values.resize(size_t(elements) * 16);
}

// Creates a parameter record for every active uniform of the program linked
// alone, samplers getting their units in the order GL lists them, then for
// every other uniform the source declares.
void collect_parameters(cg_program_record& p) {
    const std::vector<declared_uniform> declared = declared_uniforms(p.source);
    GLint count = 0;
    glGetProgramiv(p.gl_program, GL_ACTIVE_UNIFORMS, &count);
    int next_unit = p.stage == cg_stage::fragment ? 1 : 9;
    for (GLint i = 0; i < count; ++i) {
        char name[256] = {};
        GLsizei length = 0;
        GLint size = 0;
        GLenum type = 0;
        glGetActiveUniform(p.gl_program, GLuint(i), sizeof name, &length, &size, &type, name);
        std::string key(name, size_t(length));
        // The built-ins, and on GLES the drawing layer's stand-ins for them.
        if (key.compare(0, 3, "gl_") == 0 || key.compare(0, 4, "qgl_") == 0) continue;
        if (key.size() > 3 && key.compare(key.size() - 3, 3, "[0]") == 0) key.resize(key.size() - 3);
        auto& record = p.parameters[key];
        if (record) { // recompiled: keep the values already set
            hold_elements(*record, size);
            continue;
        }
        record = std::make_unique<cg_parameter_record>();
        record->program = &p;
        record->name = key;
        record->type = type;
        hold_elements(*record, size);
        if (is_sampler(type)) {
            // A sampler that a recompiled source added takes a unit no
            // sampler of the program has yet.
            for (const auto& other : p.parameters)
                if (other.second && other.second->unit >= next_unit) next_unit = other.second->unit + 1;
            record->unit = next_unit++;
        }
    }
    // A declared uniform that the compiler dropped is still a parameter of
    // the program, as the source names it: it takes values (and a unit)
    // that simply reach nothing.
    for (const declared_uniform& d : declared) {
        auto& record = p.parameters[d.name];
        if (record) {
            hold_elements(*record, d.elements);
            continue;
        }
        record = std::make_unique<cg_parameter_record>();
        record->program = &p;
        record->name = d.name;
        record->type = d.type;
        hold_elements(*record, d.elements);
        if (is_sampler(d.type)) record->unit = next_unit++;
    }
}

void compile(cg_program_record& p) {
    cg_context_record& context = *p.context;
    context.listing.clear();
    if (p.compiled) return;
    if (!gl_ready()) {
        context.listing = p.file_name + ": no GL context to compile in\n";
        set_error(CG_COMPILER_ERROR);
        return;
    }
    if (p.shader == 0)
        p.shader = glCreateShader(p.stage == cg_stage::vertex ? GL_VERTEX_SHADER : GL_FRAGMENT_SHADER);
    std::string text = compiled_text(p.source, p.options, p.stage);
    const char* source = text.c_str();
    glShaderSource(p.shader, 1, &source, nullptr);
    glCompileShader(p.shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(p.shader, GL_COMPILE_STATUS, &ok);
    const char* what = p.stage == cg_stage::vertex ? "vertex program" : "fragment program";
    context.listing = with_file_name(p.file_name, what, shader_log(p.shader));
    if (!ok) {
        set_error(CG_COMPILER_ERROR);
        return;
    }
    std::string log;
    GLuint program = p.stage == cg_stage::vertex ? link(p.shader, 0, &log) : link(0, p.shader, &log);
    context.listing += with_file_name(p.file_name, "link", log);
    if (!program) {
        set_error(CG_COMPILER_ERROR);
        return;
    }
    p.gl_program = program;
    p.compiled = true;
    collect_parameters(p);
}

GLint location_in(GLuint gl_program, const cg_parameter_record& parameter) {
    return glGetUniformLocation(gl_program, parameter.name.c_str());
}

void bind_texture_to_unit(const cg_parameter_record& parameter) {
    if (parameter.unit < 0 || !parameter.texture_enabled || !gl_ready()) return;
    GLint previous = GL_TEXTURE0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &previous);
    glActiveTexture(GLenum(GL_TEXTURE0 + parameter.unit));
    glBindTexture(GL_TEXTURE_2D, parameter.texture);
    glActiveTexture(GLenum(previous));
}

// Sends one parameter's value into the GL program in use.
void upload(const cg_parameter_record& parameter) {
    GLuint gl_program = state().active;
    if (gl_program == 0) return;
    GLint location = location_in(gl_program, parameter);
    if (location < 0) return;
    if (parameter.unit >= 0) {
        glUniform1i(location, parameter.unit);
        return;
    }
    if (!parameter.value_set) return;
    // Elements past the ones the program keeps are ignored by GL.
    const float* v = parameter.values.data();
    const GLsizei n = parameter.elements;
    switch (parameter.type) {
    case GL_FLOAT:
        glUniform1fv(location, n, v);
        break;
    case GL_FLOAT_VEC2:
        glUniform2fv(location, n, v);
        break;
    case GL_FLOAT_VEC3:
        glUniform3fv(location, n, v);
        break;
    case GL_FLOAT_VEC4:
        glUniform4fv(location, n, v);
        break;
    case GL_FLOAT_MAT4:
        glUniformMatrix4fv(location, n, GL_FALSE, v);
        break;
    default:
        break;
    }
}

bool feeds_active(CGprogram program) {
    const runtime_state& s = state();
    return program && (program == s.active_vertex || program == s.active_fragment);
}

GLuint pair_program(cg_program_record& vertex, cg_program_record& fragment) {
    auto found = vertex.pairs.find(&fragment);
    if (found != vertex.pairs.end()) return found->second;
    std::string log;
    GLuint program = link(vertex.shader, fragment.shader, &log);
    if (!program || !log.empty()) {
        std::string text = with_file_name(vertex.file_name + " + " + fragment.file_name, "link", log);
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
    }
    vertex.pairs[&fragment] = program;
    return program;
}

// Chooses the GL program from the enabled profiles and bound programs,
// makes it current and hands it the values and textures of its programs.
void apply() {
    runtime_state& s = state();
    CGprogram vertex =
        s.vertex_enabled && s.vertex_bound && s.vertex_bound->compiled ? s.vertex_bound : nullptr;
    CGprogram fragment =
        s.fragment_enabled && s.fragment_bound && s.fragment_bound->compiled ? s.fragment_bound : nullptr;
    GLuint program = 0;
    if (vertex && fragment) {
        program = pair_program(*vertex, *fragment);
        if (!program) vertex = nullptr;
    }
    if (!program && fragment)
        program = fragment->gl_program;
    else if (!program && vertex)
        program = vertex->gl_program;
    s.active = program;
    s.active_vertex = vertex;
    s.active_fragment = fragment;
    if (!gl_ready()) return;
    glUseProgram(program);
    for (CGprogram p : {vertex, fragment}) {
        if (!p) continue;
        for (auto& entry : p->parameters) {
            upload(*entry.second);
            bind_texture_to_unit(*entry.second);
        }
    }
}

bool valid_parameter(CGparameter parameter) {
    if (!parameter) {
        set_error(CG_INVALID_PARAMETER_ERROR);
        return false;
    }
    return true;
}

} // namespace

CGcontext cgCreateContext() {
    state().contexts.push_back(std::make_unique<cg_context_record>());
    return state().contexts.back().get();
}

const char* cgGetLastListing(CGcontext context) {
    if (!context || context->listing.empty()) return nullptr;
    return context->listing.c_str();
}

CGprofile cgGLGetLatestProfile(cg_gl_profile_class profile_class) {
    switch (profile_class) {
    case CG_GL_VERTEX:
        return CG_PROFILE_GLSLV;
    case CG_GL_FRAGMENT:
        return CG_PROFILE_GLSLF;
    }
    return CG_PROFILE_UNKNOWN;
}

CGprogram cgCreateProgramFromFile(CGcontext context, int program_type, const char* file_name,
                                  CGprofile profile, const char* entry, const char** args) {
    if (!context) {
        set_error(CG_INVALID_CONTEXT_HANDLE_ERROR);
        return nullptr;
    }
    context->listing.clear();
    cg_stage stage = stage_of(profile);
    if (stage == cg_stage::none) {
        set_error(CG_INVALID_PROFILE_ERROR);
        return nullptr;
    }
    if (program_type != CG_SOURCE || !file_name) {
        set_error(CG_FILE_READ_ERROR);
        return nullptr;
    }
    std::ifstream in(file_name, std::ios::binary);
    if (!in) {
        set_error(CG_FILE_READ_ERROR);
        context->listing = std::string(file_name) + ": cannot be read\n";
        return nullptr;
    }
    std::ostringstream text;
    text << in.rdbuf();

    auto record = std::make_unique<cg_program_record>();
    record->context = context;
    record->profile = profile;
    record->stage = stage;
    record->file_name = file_name;
    record->source = text.str();
    for (const char** a = args; a && *a; ++a)
        record->options.emplace_back(*a);
    for (const std::string& o : record->options)
        record->option_pointers.push_back(o.c_str());
    record->option_pointers.push_back(nullptr);
    (void)entry; // GLSL's entry point is always main
    CGprogram program = record.get();
    context->programs.push_back(std::move(record));
    compile(*program);
    return program;
}

bool cgIsProgramCompiled(CGprogram program) { return program && program->compiled; }

void cgCompileProgram(CGprogram program) {
    if (!program) {
        set_error(CG_INVALID_PROGRAM_HANDLE_ERROR);
        return;
    }
    compile(*program);
}

const char* const* cgGetProgramOptions(CGprogram program) {
    static const char* const none[] = {nullptr};
    return program ? program->option_pointers.data() : none;
}

CGprofile cgGetProgramProfile(CGprogram program) { return program ? program->profile : CG_PROFILE_UNKNOWN; }

void cgGLLoadProgram(CGprogram program) {
    if (!program) {
        set_error(CG_INVALID_PROGRAM_HANDLE_ERROR);
        return;
    }
    if (!program->compiled) compile(*program);
    program->loaded = true;
}

void cgGLBindProgram(CGprogram program) {
    if (!program) {
        set_error(CG_INVALID_PROGRAM_HANDLE_ERROR);
        return;
    }
    runtime_state& s = state();
    (program->stage == cg_stage::vertex ? s.vertex_bound : s.fragment_bound) = program;
    apply();
}

void cgGLUnbindProgram(CGprofile profile) {
    runtime_state& s = state();
    switch (stage_of(profile)) {
    case cg_stage::vertex:
        s.vertex_bound = nullptr;
        break;
    case cg_stage::fragment:
        s.fragment_bound = nullptr;
        break;
    case cg_stage::none:
        set_error(CG_INVALID_PROFILE_ERROR);
        return;
    }
    apply();
}

void cgGLEnableProfile(CGprofile profile) {
    runtime_state& s = state();
    switch (stage_of(profile)) {
    case cg_stage::vertex:
        s.vertex_enabled = true;
        break;
    case cg_stage::fragment:
        s.fragment_enabled = true;
        break;
    case cg_stage::none:
        set_error(CG_INVALID_PROFILE_ERROR);
        return;
    }
    apply();
}

void cgGLDisableProfile(CGprofile profile) {
    runtime_state& s = state();
    switch (stage_of(profile)) {
    case cg_stage::vertex:
        s.vertex_enabled = false;
        break;
    case cg_stage::fragment:
        s.fragment_enabled = false;
        break;
    case cg_stage::none:
        set_error(CG_INVALID_PROFILE_ERROR);
        return;
    }
    apply();
}

CGparameter cgGetNamedParameter(CGprogram program, const char* name) {
    if (!program || !name) {
        set_error(CG_INVALID_PROGRAM_HANDLE_ERROR);
        return nullptr;
    }
    auto found = program->parameters.find(name);
    return found == program->parameters.end() ? nullptr : found->second.get();
}

void cgGLSetParameter1f(CGparameter parameter, float x) {
    if (!valid_parameter(parameter)) return;
    parameter->values[0] = x;
    parameter->value_set = true;
    if (feeds_active(parameter->program)) upload(*parameter);
}

void cgGLSetParameter3f(CGparameter parameter, float x, float y, float z) {
    if (!valid_parameter(parameter)) return;
    parameter->values[0] = x;
    parameter->values[1] = y;
    parameter->values[2] = z;
    parameter->value_set = true;
    if (feeds_active(parameter->program)) upload(*parameter);
}

void cgGLSetParameter4fv(CGparameter parameter, const float* v) {
    if (!valid_parameter(parameter) || !v) return;
    std::copy(v, v + 4, parameter->values.begin());
    parameter->value_set = true;
    if (feeds_active(parameter->program)) upload(*parameter);
}

void cgGLSetParameterArray4f(CGparameter parameter, long offset, long nelements, const float* v) {
    if (!valid_parameter(parameter)) return;
    if (nelements == 0) nelements = parameter->elements - offset;
    if (!v || offset < 0 || nelements < 0 || offset + nelements > parameter->elements) {
        set_error(CG_INVALID_PARAMETER_ERROR);
        return;
    }
    std::copy(v, v + 4 * nelements, parameter->values.begin() + 4 * offset);
    parameter->value_set = true;
    if (feeds_active(parameter->program)) upload(*parameter);
}

void cgGLSetTextureParameter(CGparameter parameter, unsigned texture_name) {
    if (!valid_parameter(parameter)) return;
    if (parameter->unit < 0) {
        set_error(CG_INVALID_PARAMETER_ERROR);
        return;
    }
    parameter->texture = texture_name;
    if (parameter->texture_enabled) bind_texture_to_unit(*parameter);
}

void cgGLEnableTextureParameter(CGparameter parameter) {
    if (!valid_parameter(parameter)) return;
    if (parameter->unit < 0) {
        set_error(CG_INVALID_PARAMETER_ERROR);
        return;
    }
    parameter->texture_enabled = true;
    bind_texture_to_unit(*parameter);
}

void cgGLDisableTextureParameter(CGparameter parameter) {
    if (valid_parameter(parameter)) parameter->texture_enabled = false;
}

CGerror cgGetError() {
    CGerror e = state().error;
    state().error = CG_NO_ERROR;
    return e;
}

const char* cgGetErrorString(CGerror error) {
    switch (error) {
    case CG_NO_ERROR:
        return "CG_NO_ERROR";
    case CG_COMPILER_ERROR:
        return "CG_COMPILER_ERROR";
    case CG_INVALID_PARAMETER_ERROR:
        return "CG_INVALID_PARAMETER_ERROR";
    case CG_INVALID_PROFILE_ERROR:
        return "CG_INVALID_PROFILE_ERROR";
    case CG_FILE_READ_ERROR:
        return "CG_FILE_READ_ERROR";
    case CG_INVALID_PROGRAM_HANDLE_ERROR:
        return "CG_INVALID_PROGRAM_HANDLE_ERROR";
    case CG_INVALID_CONTEXT_HANDLE_ERROR:
        return "CG_INVALID_CONTEXT_HANDLE_ERROR";
    }
    return "CG_UNKNOWN_ERROR";
}

namespace {

// Forgets every linked pair `program` is part of, so that the next bind
// links its new code.
void drop_pairs_of(cg_program_record& program) {
    for (auto& context : state().contexts)
        for (auto& other : context->programs) {
            for (auto pair = other->pairs.begin(); pair != other->pairs.end();) {
                if (other.get() == &program || pair->first == &program) {
                    if (pair->second) glDeleteProgram(pair->second);
                    pair = other->pairs.erase(pair);
                } else {
                    ++pair;
                }
            }
        }
}

} // namespace

namespace cg_runtime {

const char* gl_vendor() {
    if (state().vendor_overridden) return state().vendor_override.c_str();
    const GLubyte* vendor = glGetString(GL_VENDOR);
    return vendor ? reinterpret_cast<const char*>(vendor) : "";
}

void override_gl_vendor(const char* vendor) {
    state().vendor_overridden = vendor != nullptr;
    state().vendor_override = vendor ? vendor : "";
}

unsigned active_gl_program() { return state().active; }
unsigned gl_program_of(CGprogram program) { return program && program->compiled ? program->gl_program : 0; }

bool profile_enabled(CGprofile profile) {
    switch (stage_of(profile)) {
    case cg_stage::vertex:
        return state().vertex_enabled;
    case cg_stage::fragment:
        return state().fragment_enabled;
    default:
        return false;
    }
}

CGprogram bound_program(CGprofile profile) {
    switch (stage_of(profile)) {
    case cg_stage::vertex:
        return state().vertex_bound;
    case cg_stage::fragment:
        return state().fragment_bound;
    default:
        return nullptr;
    }
}

int texture_unit_of(CGparameter parameter) { return parameter ? parameter->unit : -1; }

const char* file_name_of(CGprogram program) { return program ? program->file_name.c_str() : ""; }

bool recompile_from_file(CGprogram program, std::string& listing) {
    listing.clear();
    if (!program) return false;
    if (!gl_ready()) {
        listing = program->file_name + ": no GL context to compile in\n";
        return false;
    }
    std::ifstream in(program->file_name, std::ios::binary);
    if (!in) {
        listing = program->file_name + ": cannot be read\n";
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();

    // Compiled beside the old code, which stays until the new one links.
    cg_program_record fresh;
    fresh.stage = program->stage;
    fresh.file_name = program->file_name;
    fresh.options = program->options; // its defines among them
    fresh.source = text.str();
    cg_context_record scratch; // takes the listing
    fresh.context = &scratch;
    compile(fresh);
    listing = scratch.listing;
    if (!fresh.compiled) {
        if (fresh.shader) glDeleteShader(fresh.shader);
        return false;
    }

    drop_pairs_of(*program);
    if (program->gl_program) glDeleteProgram(program->gl_program);
    if (program->shader) glDeleteShader(program->shader);
    program->source = std::move(fresh.source);
    program->shader = fresh.shader;
    program->gl_program = fresh.gl_program;
    program->compiled = true;
    collect_parameters(*program);

    // In use right now: what runs switches at once.
    runtime_state& s = state();
    if (program == s.vertex_bound || program == s.fragment_bound) apply();
    return true;
}

} // namespace cg_runtime
