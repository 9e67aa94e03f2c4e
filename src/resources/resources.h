// Resources: the JPEG decoder's clients (texture loading into the show
// context's slots) and the shading programs' slots and parameters.
#pragma once

#include <string>
#include <vector>

#include "platform/cg.h"
#include "resources/show_context.h"

// --- textures (slots are relative to context.texture_base) ---
// A file that cannot be read or decoded shows its message box and ends the process.
void load_jpeg_texture(show_context& context, const char* file_name, int slot);
void load_jpeg_texture_with_alpha(show_context& context, const char* colour_file, const char* alpha_file,
                                  int slot);
void make_noise_texture(show_context& context, int slot, int width, int height);

// The GL texture name of a slot (relative to texture_base); 0 outside the table.
GLuint texture_name_of_slot(const show_context& context, int texture_slot);
void bind_texture_slot(show_context& context, int texture_slot);

// --- shading programs (program slots; 16 parameter slots each) ---
void create_cg_context(show_context& context);
void load_vertex_program_file(show_context& context, const char* file_name, int slot);
void load_fragment_program_file(show_context& context, const char* file_name, int slot);
// One program of a source file that gives several: `defines` ("NAME=VALUE"
// or "NAME") reach the compiler as -D arguments. Reported, and a missing
// file handled, as load_fragment_program_file does.
void load_fragment_program_variant(show_context& context, const char* file_name, int slot,
                                   const std::vector<std::string>& defines);
void load_vertex_program(show_context& context, int slot);
void load_fragment_program(show_context& context, int slot);
void bind_program(show_context& context, int slot);
CGparameter lookup_parameter(show_context& context, int program_slot, int parameter_slot, const char* name);
void set_parameter3f(show_context& context, int program_slot, int parameter_slot, float x, float y, float z);
void enable_vertex_profile(show_context& context);
void enable_fragment_profile(show_context& context);
void disable_vertex_profile(show_context& context);
void disable_fragment_profile(show_context& context);
// A sampler or float parameter by name, through a scratch parameter slot.
void set_sampler_by_name(show_context& context, int program, const char* name, int texture_slot);
void set_float_by_name(show_context& context, int program, const char* name, const double* value);
void setup_fragment_effect(show_context& context, const char* file_name, int slot);
void setup_vertex_fragment_effect(show_context& context, const char* vertex_file, const char* fragment_file,
                                  int slot);

// Compiles again every program slot made from the source file `file_name`.
// A slot whose new source does not compile keeps its last good program.
struct effect_reload {
    int programs = 0;    // slots made from the file
    int failed = 0;      // of those, slots that kept their last good program
    std::string listing; // the compiler's output for each
};
effect_reload reload_effect_file(show_context& context, const std::string& file_name);
