// Demo parts: the abstract `parts`, the loading screen `part_loader` and the
// production `part_start`; the render-target table's operations and the
// full-screen shader passes.
#pragma once

#include "math/path.h"
#include "math/vec3.h"
#include "mesh/mesh.h"
#include "resources/show_context.h"
#include "scenes/scene_assets.h"
#include "scenes/scene_script.h"
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
// one frame (clock shaping, cameras, scene script, post-processing). What the
// scene script draws from is its scene_assets.
class part_start : public parts, public scene_assets {
  public:
    void render(double* frame_step, show_context& context, frame_record* record) override;
    void init(show_context& context) override;

    // The scene script's record of this frame (scene time, view size, sway).
    script_frame script_frame_now(const show_context& context) const;

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
    int program_bend = 5031;
    int program_wireframe = 5027;
    int slot_5021 = 5021;
    int slot_5023 = 5023;
    int slot_5029 = 5029;

    // The frame composition's record and the camera track's sway.
    frame_record frame_record_copy;
    double track_sway_x = 0.0;
    double track_sway_y = 0.0;

    shape outline;
    camera_track track;
};

// --- render targets (indices clamped into the table) ---
void create_render_target(show_context& context, int index, int width, int height, int samples);
void attach_target_texture(show_context& context, int index, int attachment, int texture_slot);
void bind_render_target(show_context& context, int index, int colour_count);
void bind_window_framebuffer();
void resolve_render_target(show_context& context, int index, int width, int height, int colour_count,
                           bool with_depth);

// --- passes ---
// Texture arguments are slots, -1 for none; tex_extra is accepted and unread.
void run_fullscreen_pass(show_context& context, int program, int target, int passes, int width, int height,
                         int tex_a, int tex_b, int tex_extra, int tex_c);
// One pass of the same form drawn straight into the window's rectangle
// (x, y, width, height), single-sampled: nothing to resolve afterwards.
void run_pass_into_window(show_context& context, int program, int x, int y, int width, int height, int tex_a,
                          int tex_b);

// The fixed work every frame does at the view size with nothing drawn: the
// window clear, target 0's clear, its resolve and the final textured square
// into the window. The benchmark's yardstick for what any frame costs.
void draw_floor_frame(part_start& part, show_context& context);
