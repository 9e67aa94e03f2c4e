// Shading programs: the context and profile choice, programs from the
// source files under cgeffects/, binding, profiles, parameter slots and the
// two set-up sequences of the scene's effects.
#include "gl/gl.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "platform/cg_runtime.h"
#include "platform/messages.h"
#include "platform/platform.h"
#include "resources/resources.h"

namespace {

constexpr int parameters_per_program = 16;

bool vendor_is_ati() { return std::strstr(cg_runtime::gl_vendor(), "ATI") != nullptr; }

bool valid_program_slot(int slot) { return slot >= 0 && slot < show_context::program_slot_count; }

// Entry of (program slot, parameter slot) in the parameter table, -1 when
// either lies outside its table.
int parameter_entry(int program_slot, int parameter_slot) {
    if (!valid_program_slot(program_slot) || parameter_slot < 0 || parameter_slot >= parameters_per_program)
        return -1;
    int entry = program_slot * parameters_per_program + parameter_slot;
    return entry < show_context::parameter_slot_count ? entry : -1;
}

CGprogram program_at(const show_context& context, int slot) {
    return valid_program_slot(slot) ? context.cg_programs[slot] : nullptr;
}

// The file is only opened to prove it exists; a missing one ends the show.
void require_file(const char* file_name) {
    std::FILE* file = std::fopen(file_name, "rb");
    if (!file) {
        platform::show_message_box(platform::messages::missing_file, file_name);
        platform::sys().exit_process(0);
    }
    std::fclose(file);
}

// The listing unchanged, then the four report lines, each flushed.
void report(const show_context& context, const char* kind, const char* file_name) {
    if (const char* listing = cgGetLastListing(context.cg_context)) std::cout << listing;
    std::cout << kind << std::endl;
    std::cout << file_name << std::endl;
    std::cout << 0 << std::endl;
    std::cout << cgGetErrorString(0) << std::endl;
}

void load_program_file(show_context& context, const char* file_name, int slot, CGprofile profile,
                       const char** args, const char* kind) {
    require_file(file_name);
    CGprogram program =
        cgCreateProgramFromFile(context.cg_context, CG_SOURCE, file_name, profile, nullptr, args);
    if (valid_program_slot(slot)) context.cg_programs[slot] = program;
    report(context, kind, file_name);
}

void load_program(show_context& context, int slot, CGprofile profile) {
    CGprogram program = program_at(context, slot);
    if (!cgIsProgramCompiled(program)) cgCompileProgram(program);
    cgGLEnableProfile(profile);
    cgGLLoadProgram(program);
}

} // namespace

void create_cg_context(show_context& context) {
    context.fragment_profile = CG_PROFILE_ARBFP1;
    context.vertex_profile = CG_PROFILE_VP30;
    context.fragment_profile = cgGLGetLatestProfile(CG_GL_FRAGMENT);
    if (vendor_is_ati()) {
        context.vertex_profile = CG_PROFILE_ARBVP1;
        context.fragment_profile = CG_PROFILE_ARBFP1;
    }
    context.cg_context = cgCreateContext();
}

void load_vertex_program_file(show_context& context, const char* file_name, int slot) {
    load_program_file(context, file_name, slot, context.vertex_profile, nullptr, " VP -- ");
}

namespace {

const char* ati_fragment_args[] = {"-po", "ATI_draw_buffers", nullptr};

} // namespace

void load_fragment_program_file(show_context& context, const char* file_name, int slot) {
    const char** args = vendor_is_ati() ? ati_fragment_args : nullptr;
    load_program_file(context, file_name, slot, context.fragment_profile, args, " FP -- ");
}

void load_fragment_program_variant(show_context& context, const char* file_name, int slot,
                                   const std::vector<std::string>& defines) {
    std::vector<std::string> options;
    if (vendor_is_ati())
        for (const char** a = ati_fragment_args; *a; ++a)
            options.emplace_back(*a);
    for (const std::string& define : defines)
        options.push_back("-D" + define);
    std::vector<const char*> args;
    for (const std::string& option : options)
        args.push_back(option.c_str());
    args.push_back(nullptr);
    load_program_file(context, file_name, slot, context.fragment_profile, args.data(), " FP -- ");
}

void load_vertex_program(show_context& context, int slot) {
    load_program(context, slot, context.vertex_profile);
}

void load_fragment_program(show_context& context, int slot) {
    load_program(context, slot, context.fragment_profile);
}

void bind_program(show_context& context, int slot) { cgGLBindProgram(program_at(context, slot)); }

CGparameter lookup_parameter(show_context& context, int program_slot, int parameter_slot, const char* name) {
    int entry = parameter_entry(program_slot, parameter_slot);
    if (entry < 0) return nullptr;
    CGparameter parameter = cgGetNamedParameter(context.cg_programs[program_slot], name);
    context.cg_parameters[entry] = parameter;
    return parameter;
}

void set_parameter3f(show_context& context, int program_slot, int parameter_slot, float x, float y, float z) {
    int entry = parameter_entry(program_slot, parameter_slot);
    if (entry >= 0) cgGLSetParameter3f(context.cg_parameters[entry], x, y, z);
}

void enable_vertex_profile(show_context& context) { cgGLEnableProfile(context.vertex_profile); }
void enable_fragment_profile(show_context& context) { cgGLEnableProfile(context.fragment_profile); }
void disable_vertex_profile(show_context& context) { cgGLDisableProfile(context.vertex_profile); }

void disable_fragment_profile(show_context& context) {
    cgGLDisableProfile(context.fragment_profile);
    cgGLUnbindProgram(context.fragment_profile);
}

namespace {

// Parameter slots the by-name setters look their parameter up into.
constexpr int sampler_scratch_slot = 10;
constexpr int float_scratch_slot = 14;

} // namespace

void set_sampler_by_name(show_context& context, int program, const char* name, int texture_slot) {
    CGparameter parameter = lookup_parameter(context, program, sampler_scratch_slot, name);
    cgGLSetTextureParameter(parameter, texture_name_of_slot(context, texture_slot));
    cgGLEnableTextureParameter(parameter);
}

void set_float_by_name(show_context& context, int program, const char* name, const double* value) {
    CGparameter parameter = lookup_parameter(context, program, float_scratch_slot, name);
    cgGLSetParameter1f(parameter, float(*value));
}

void setup_fragment_effect(show_context& context, const char* file_name, int slot) {
    create_cg_context(context);
    enable_fragment_profile(context);
    load_fragment_program_file(context, file_name, slot);
    load_fragment_program(context, slot);
    disable_fragment_profile(context);
    disable_vertex_profile(context);
}

void setup_vertex_fragment_effect(show_context& context, const char* vertex_file, const char* fragment_file,
                                  int slot) {
    load_vertex_program_file(context, vertex_file, slot);
    load_fragment_program_file(context, fragment_file, slot + 1);
    load_vertex_program(context, slot);
    load_fragment_program(context, slot + 1);
    lookup_parameter(context, slot, 5, "ModelViewProj");
    lookup_parameter(context, slot, 6, "ModelViewLightProj");
    lookup_parameter(context, slot, 14, "ModelViewObject");
    disable_fragment_profile(context);
    disable_vertex_profile(context);
}

effect_reload reload_effect_file(show_context& context, const std::string& file_name) {
    namespace fs = std::filesystem;
    const fs::path wanted = fs::path(file_name).lexically_normal();
    effect_reload result;
    for (CGprogram program : context.cg_programs) {
        if (!program || fs::path(cg_runtime::file_name_of(program)).lexically_normal() != wanted) continue;
        std::string listing;
        ++result.programs;
        if (!cg_runtime::recompile_from_file(program, listing)) ++result.failed;
        result.listing += listing;
    }
    return result;
}
