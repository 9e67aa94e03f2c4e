// Demo parts: the abstract `parts`, the loading screen `part_loader` and the
// production `part_start`; the render-target table's operations and the
// full-screen shader passes.
#pragma once

#include "math/path.h"
#include "math/vec3.h"
#include "mesh/mesh.h"
#include "runtime/show_context.h"
#include "scenes/draw_batch.h"
#include "scenes/shape.h"

class parts {
  public:
    virtual void render(double* frame_step, show_context& context, frame_record* record) = 0;
    virtual void init(show_context& context) = 0;
    virtual ~parts() = default;
};

class part_loader : public parts {
  public:
    void render(double* frame_step, show_context& context, frame_record* record) override;
    void init(show_context& context) override;

  private:
    int slot_offset = 0;
};

// The production. init loads every resource (the scene set-up); render draws
// one frame (clock shaping, cameras, scene script, post-processing).
class part_start : public parts {
  public:
    void render(double* frame_step, show_context& context, frame_record* record) override;
    void init(show_context& context) override;

    // The scene script: every element of the show in its time window.
    void draw_scene_script(show_context& context);

    int initialised = 0;

    // Clock.
    double scene_time = 0.0;
    double scene_time_at_load = 0.0;
    double step_scaled = 0.0;
    int frame_count = 0;

    // Slots.
    int slot_base = 5000;
    int target_full_a = 0;
    int target_full_b = 11;
    int target_quarter = 2;
    int target_half = 3;
    int program_main = 5002;
    int program_bend = 5031;
    int program_wireframe = 5027;
    int slot_5021 = 5021;
    int slot_5023 = 5023;
    int slot_5029 = 5029;

    // Cameras and anchors of the frame composition.
    frame_record frame_record_copy;
    camera_pose camera_1, camera_2, camera_3;
    Vec3 anchor_1, anchor_2, anchor_3;
    Vec3 script_anchor;
    double track_sway_x = 0.0;
    double track_sway_y = 0.0;

    shape outline;
    camera_track track;
    // Scratch for the dot fields and track pieces, reserved by init.
    draw_batch dots;
    // The tracks model as the railway row lays it: turned 90 degrees about
    // z, then about y.
    mesh_group track_piece;

    // The 28 models, named after their files.
    mesh horn, bicycle, trumpet2, trumpet_plhktra, helicopter, tuba, razor, boat, gaza, trumpet, kwnos,
        cycle2, engine, side, hourglass, telos, trombone, flute, tracks, greetings2, ak472, ak47trigger,
        quorlaxen, truck, train, gennhtria, teras, man3;
};

// --- render targets (indices clamped into the table) ---
void create_render_target(show_context& context, int index, int width, int height, int samples);
void attach_target_texture(show_context& context, int index, int attachment, int texture_slot);
void bind_render_target(show_context& context, int index, int colour_count);
void bind_window_framebuffer();
void resolve_render_target(show_context& context, int index, int width, int height, int colour_count,
                           bool with_depth);

// --- textures and shader parameters by name ---
// The GL texture name of a slot (relative to texture_base); 0 outside the table.
GLuint texture_name_of_slot(const show_context& context, int texture_slot);
void bind_texture_slot(show_context& context, int texture_slot);
void set_sampler_by_name(show_context& context, int program, const char* name, int texture_slot);
void set_float_by_name(show_context& context, int program, const char* name, const double* value);

// --- passes ---
// Texture arguments are slots, -1 for none; tex_extra is accepted and unread.
void run_fullscreen_pass(show_context& context, int program, int target, int passes, int width, int height,
                         int tex_a, int tex_b, int tex_extra, int tex_c);
// One pass of the same form drawn straight into the window's rectangle
// (x, y, width, height), single-sampled: nothing to resolve afterwards.
void run_pass_into_window(show_context& context, int program, int x, int y, int width, int height, int tex_a,
                          int tex_b);
// Two-pass flattened glow of a two-group mesh driven by "ttime".
void ttime_glow(show_context& context, mesh& model, int program, const float second_colour[3],
                const float first_colour[3], bool clear_alpha, double ttime_first, double ttime_second);

// --- where a frame's time goes (the show benchmark) ---
// Null in the show. A benchmark sets it to be told, in drawing order, where
// each stage of a frame begins: "window clear", "target clear", "backdrop",
// "scene", "glow clear" (and "scene" again after it), "resolve", "bend",
// "present", and "end" after the frame's last call.
extern void (*frame_stage_mark)(const char* stage);
inline void mark_frame_stage(const char* stage) {
    if (frame_stage_mark) frame_stage_mark(stage);
}

// The fixed work every frame does at the view size with nothing drawn: the
// window clear, target 0's clear, its resolve and the final textured square
// into the window. The benchmark's yardstick for what any frame costs.
void draw_floor_frame(part_start& part, show_context& context);
