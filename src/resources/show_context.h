// The two records every part sees: the per-frame `frame_record` the runtime
// fills before each render, and the one `show_context` that holds the shared
// tables (textures, shading programs and parameters, render targets), the
// current camera and the settings chosen in the dialog.
#pragma once

#include "gl/gl.h"

#include <cstdint>
#include <vector>

#include "math/vec3.h"
#include "platform/cg.h"

struct frame_record {
    double mouse_x = 0;      // (cursor x - 400) * 7 / 400
    double mouse_y = 0;      // (cursor y - 300) * 7 / 300
    double wheel = 0;        // sum of wheel deltas / 600
    double key_offset_x = 0; // Left/Right arrow offset
    double key_offset_y = 0; // Up/Down arrow offset
    int left_button = 0;
    int right_button = 0;
    double picked_point[3] = {0, 0, 0};
    uint8_t flags_a[32] = {};
    uint8_t flags_b[32] = {};
    double time = 0;          // show time after this frame's step, seconds
    std::vector<Vec3> points; // one per middle-button press
    int cue = 0;              // schedule value for the time before the step
    float spectrum[512] = {};
    double params[32] = {}; // [10] = fade factor of the Escape fade
    int keys[256] = {};     // 1 = held, by virtual-key code
};

// Render-target entry: two multisampled colour renderbuffers and a depth
// renderbuffer behind one draw framebuffer, plus a framebuffer of textures
// that resolves copy into.
struct render_target {
    GLuint colour_buffer_0 = 0;
    GLuint colour_buffer_1 = 0;
    GLuint depth_buffer = 0;
    GLuint draw_framebuffer = 0;
    GLuint resolve_framebuffer = 0;
};

// Choices of the settings dialog, final for the run.
struct show_settings {
    int window_width = 1280;
    int window_height = 720;
    int view_width = 1280; // equals the window unless "Force 16:9"
    int view_height = 720;
    bool fullscreen = false;
    bool antialiased = true;
    bool force_16_9 = false;
};

struct show_context {
    static constexpr int texture_slot_count = 400000;
    static constexpr int program_slot_count = 10000;
    static constexpr int parameter_slot_count = 170000; // 16 per program slot
    static constexpr int render_target_count = 16;

    // Textures, by absolute slot = texture_base + slot.
    GLuint texture_names[texture_slot_count] = {};
    int32_t texture_base = 0;

    // Shading programs.
    CGcontext cg_context = nullptr;
    CGprofile vertex_profile = 0;
    CGprofile fragment_profile = 0;
    CGprogram cg_programs[program_slot_count] = {};
    CGparameter cg_parameters[parameter_slot_count] = {};

    render_target targets[render_target_count];

    camera_pose context_camera;
    frame_record* current_record = nullptr;

    show_settings settings;
};

// The one instance, alive for the whole process.
show_context& the_show_context();
