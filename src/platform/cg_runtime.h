// The shading runtime the effect code calls (contexts, profiles, programs
// from source files, named parameters), implemented over GLSL 1.20 programs
// of the current GL compatibility context.
//
// SOURCE FILES (cgeffects/)
// - A file holds GLSL 1.20 source text. The file name has no extension: the
//   set-up code passes "cgeffects/vertex_0", "cgeffects/f_0",
//   "cgeffects/fragment_bend3", "cgeffects/fragment_wireframe" and
//   "cgeffects/backdrop_squares", and those are the files' full names.
// - The first line should be `#version 120`; a source without a #version
//   line gets one prepended (line numbers in the listing then run one ahead,
//   unless the program has defines, below).
// - One file can give several programs: the compiler arguments -DNAME=VALUE
//   and -DNAME (joined, as one argument each) become `#define NAME VALUE`
//   and `#define NAME 1` lines after the #version line, in the order given,
//   followed by a #line directive so that the listing's line numbers stay
//   those of the file. A program compiled again from its file keeps them.
//   (cgeffects/backdrop_squares is made five times, with SQUARES and
//   BLENDED.)
// - A file loaded with a vertex profile is a vertex shader, one loaded with a
//   fragment profile a fragment shader; the entry point is `main`.
// - The compatibility built-ins are available. A vertex program writes
//   gl_Position (usually gl_ModelViewProjectionMatrix * gl_Vertex) and passes
//   on what its fragment partner reads (gl_FrontColor, gl_TexCoord[i] or
//   varyings of the same name in both files).
// - A fragment program writes gl_FragColor (or gl_FragData[0..2] when
//   several draw buffers are bound). When it runs alone (no vertex program
//   enabled and bound) the fixed-function vertex stage feeds it: read
//   gl_TexCoord[0] (texture coordinates or texture-coordinate generation,
//   through the texture matrix) and gl_Color.
//
// PARAMETERS
// - A parameter is a uniform of the same name: "decal", "decal2", "decal3",
//   "paper" (sampler2D); "ttime", "alpha", "RightV", "UpV" (float,
//   set with cgGLSetParameter1f); "clear" (vec4, cgGLSetParameter4fv);
//   "colours" (vec4 array, cgGLSetParameterArray4f); "ModelViewProj",
//   "ModelViewLightProj", "ModelViewObject" (mat4; looked up by the set-up,
//   never set by the show, so a vertex program positions with the built-in
//   matrices).
// - An array parameter is the uniform array (its name without "[0]"), with
//   the size the source declares; it is uploaded whole, elements past the
//   ones the compiler kept being ignored.
// - cgGetNamedParameter finds every uniform the source declares at file
//   scope, whether or not the compiler keeps it (setting a dropped one
//   reaches nothing); any other name gives a null handle, and setting a null
//   handle does nothing.
// - Values belong to the program: they persist while other programs are
//   bound and are uploaded whenever the program becomes active again.
// - Samplers take texture units in the order GL lists the program's active
//   uniforms, from unit 1 for fragment programs and from unit 9 for vertex
//   programs (declared samplers the compiler dropped come after them); unit
//   0 stays with the caller's fixed-function texture.
//   cgGLEnableTextureParameter binds the texture to its unit at once, and
//   binding or enabling the program binds every enabled sampler's texture
//   again. The active texture unit is restored afterwards.
//
// BINDING AND PROFILES
// - Each program is compiled alone when it is created (a fragment program is
//   linked alone, a vertex program linked alone), so errors show at load.
// - What runs is decided by the two enabled profiles and the two bound
//   programs: vertex and fragment enabled and bound -> the pair linked
//   together (cached; a pair that fails to link falls back to the fragment
//   program alone, and its log goes to standard output once); only fragment
//   -> the fragment program with fixed-function vertex processing; only
//   vertex -> the vertex program with fixed-function fragment processing;
//   neither -> fixed function. A program that failed to compile counts as
//   not bound.
// - Profiles: vertex class CG_PROFILE_VP30, CG_PROFILE_ARBVP1,
//   CG_PROFILE_GLSLV; fragment class CG_PROFILE_ARBFP1, CG_PROFILE_GLSLF.
//   cgGLGetLatestProfile gives the GLSL profile of the class. Every profile of
//   a class drives the same GLSL stage.
// - Compiler arguments are recorded with the program (cgGetProgramOptions);
//   only the -D ones are interpreted.
#pragma once

#include <string>

#include "platform/cg.h"

enum : int {
    CG_SOURCE = 4112,
    CG_OBJECT = 4113,
};

enum : CGprofile {
    CG_PROFILE_UNKNOWN = 6145,
    CG_PROFILE_VP30 = 6148,
    CG_PROFILE_ARBVP1 = 6150,
    CG_PROFILE_ARBFP1 = 7000,
    CG_PROFILE_GLSLV = 7007,
    CG_PROFILE_GLSLF = 7008,
};

// Profile classes for cgGLGetLatestProfile.
enum cg_gl_profile_class : int {
    CG_GL_VERTEX = 8,
    CG_GL_FRAGMENT = 9,
};

typedef int CGerror;
enum : CGerror {
    CG_NO_ERROR = 0,
    CG_COMPILER_ERROR = 1,
    CG_INVALID_PARAMETER_ERROR = 2,
    CG_INVALID_PROFILE_ERROR = 3,
    CG_FILE_READ_ERROR = 4,
    CG_INVALID_PROGRAM_HANDLE_ERROR = 5,
    CG_INVALID_CONTEXT_HANDLE_ERROR = 6,
};

// Contexts own their programs; neither is ever released.
CGcontext cgCreateContext();
// The compiler output of the latest compile in `context` (warnings or
// errors), or null when it printed nothing.
const char* cgGetLastListing(CGcontext context);

CGprofile cgGLGetLatestProfile(cg_gl_profile_class profile_class);

// Reads the file and compiles it for the profile's stage. Returns a handle
// even when the source does not compile (cgIsProgramCompiled is then false
// and the listing holds the log); null only when the file cannot be read,
// the profile is unknown or the context is null. `args` is a null-ended list
// (or null).
CGprogram cgCreateProgramFromFile(CGcontext context, int program_type, const char* file_name,
                                  CGprofile profile, const char* entry, const char** args);
bool cgIsProgramCompiled(CGprogram program);
// Compiles again when not compiled (the listing is updated).
void cgCompileProgram(CGprogram program);
// Null-ended list of the compiler arguments given at creation.
const char* const* cgGetProgramOptions(CGprogram program);
CGprofile cgGetProgramProfile(CGprogram program);

void cgGLLoadProgram(CGprogram program);
void cgGLBindProgram(CGprogram program);
void cgGLUnbindProgram(CGprofile profile);
void cgGLEnableProfile(CGprofile profile);
void cgGLDisableProfile(CGprofile profile);

CGparameter cgGetNamedParameter(CGprogram program, const char* name);
void cgGLSetParameter1f(CGparameter parameter, float x);
void cgGLSetParameter3f(CGparameter parameter, float x, float y, float z);
void cgGLSetParameter4fv(CGparameter parameter, const float* v);
// Elements offset .. offset + nelements - 1 of a vec4 array from 4 nelements
// floats; nelements 0: up to the end of the array. A range outside the array
// sets nothing (CG_INVALID_PARAMETER_ERROR).
void cgGLSetParameterArray4f(CGparameter parameter, long offset, long nelements, const float* v);
void cgGLSetTextureParameter(CGparameter parameter, unsigned texture_name);
void cgGLEnableTextureParameter(CGparameter parameter);
void cgGLDisableTextureParameter(CGparameter parameter);

// The latest error and its text; cgGetError clears it.
CGerror cgGetError();
const char* cgGetErrorString(CGerror error);

// --- beyond the vendor interface: what tests and the effect code inspect ---
namespace cg_runtime {

// The GL vendor string the effect code tests for "ATI": glGetString of the
// current context, unless a test has put another in its place (null restores
// the real one).
const char* gl_vendor();
void override_gl_vendor(const char* vendor);

// The GL program object currently in use (0 = fixed function) and a
// program's own one (0 when it did not compile).
unsigned active_gl_program();
unsigned gl_program_of(CGprogram program);
bool profile_enabled(CGprofile profile);
CGprogram bound_program(CGprofile profile);
// The texture unit of a sampler parameter, -1 for other parameters.
int texture_unit_of(CGparameter parameter);

// The source file a program was created from ("" for none).
const char* file_name_of(CGprogram program);
// Reads the program's source file again and compiles it. On success the new
// code runs from the next bind on (pairs it was linked into are linked
// again; parameters keep their values and handles); on failure the program
// keeps the code it had. `listing` gets the compiler's output either way.
bool recompile_from_file(CGprogram program, std::string& listing);

} // namespace cg_runtime
