// part_start::init, the scene set-up: every resource the production's frames
// use, loaded once while the loading screen is up. The slot numbers, list
// names and mesh identifiers are shared with the frame code and the script.
#include "gl/gl.h"

#include <cmath>

#include "math/path.h"
#include "parts/parts.h"
#include "resources/resources.h"
#include "scenes/shape.h"

namespace {

// Display lists of the two filled unit polygons (pen tips, dots).

// The outline animation: lists from 100 on, nearly flat.
constexpr double outline_depth_scale = 0.001;
constexpr double outline_frame_scale = 1.0;

// A filled regular polygon of radius 1 in the z = 0 plane, first corner at
// (0, 1), compiled only.
void compile_unit_polygon(GLuint list, int corners) {
    glNewList(list, GL_COMPILE);
    glBegin(GL_TRIANGLE_FAN);
    for (int i = 0; i <= corners; ++i) {
        const double a = i * 2.0 * M_PI / corners;
        glVertex3d(std::sin(a), std::cos(a), 0.0);
    }
    glEnd();
    glEndList();
}

} // namespace

void part_start::init(show_context& context) {
    scene_time = 0.0;
    scene_time_at_load = 0.0;
    frame_count = 0;
    slot_base = 0;

    int outline_frames = 0, outline_shapes_per_frame = 0;
    shape_loader(outline, "meshes//test1.rtt", &outline_frames, &outline_shapes_per_frame, list_shape_base,
                 outline_depth_scale, outline_frame_scale);

    compile_unit_polygon(list_decagon, 10);
    compile_unit_polygon(list_hexagon, 6);

    // Render-target texture slots count from slot_base while it is 0; the
    // programs and images live above 5000.
    target_full_a = slot_base;
    target_full_b = slot_base + 11;
    target_half = slot_base + 3;
    target_quarter = slot_base + 2;
    slot_base = 5000;
    program_main = 5002;
    slot_5021 = 5021;
    slot_5023 = 5023;
    program_bend = 5031;
    slot_5029 = 5029;
    program_wireframe = 5027;

    // Views of odd size truncate: 1366 wide gives 683 and 341.
    const int width = context.settings.view_width;
    const int height = context.settings.view_height;
    make_noise_texture(context, target_quarter, width / 4, height / 4);
    make_noise_texture(context, target_half, width / 2, height / 2);
    make_noise_texture(context, target_full_a, width, height);
    make_noise_texture(context, target_full_b, width, height);

    attach_target_texture(context, 0, 0, target_full_a);
    attach_target_texture(context, 0, 1, target_full_b);
    attach_target_texture(context, 1, 0, target_quarter);
    attach_target_texture(context, 2, 0, target_half);

    load_jpeg_texture_with_alpha(context, "textures/blob41b.jpg", "textures/blob41b.jpg", slot_base + 20);
    load_jpeg_texture(context, "textures/paper 1a.jpg", paper_texture_slot);

    for (const scene_model_file& entry : scene_model_files)
        (this->*entry.model).load(entry.file, entry.list_name);

    // The track pieces of the railway row are drawn from one batch: the
    // model turned 90 degrees about z and then about y, once, here.
    tracks.compile();
    track_piece.clear();
    for (const mesh_group& group : tracks.groups)
        for (const quad& q : group) {
            quad turned;
            for (int i = 0; i < 4; ++i) {
                const Vec3& v = q.corners[i];
                turned.corners[i] = make_vec3(-v.y, v.z, -v.x);
            }
            track_piece.push_back(turned);
        }
    // Pieces laid along the train and beside it, at most.
    reserve_batch(dots, 4 * track_piece.size() * 400);

    setup_vertex_fragment_effect(context, "cgeffects/vertex_0", "cgeffects/f_0", program_main);
    setup_fragment_effect(context, "cgeffects/fragment_bend3", program_bend);
    setup_fragment_effect(context, "cgeffects/fragment_wireframe", program_wireframe);
    create_backdrop_pass(context, paper_squares);

    // A missing track leaves it empty: the cameras then go without its sway.
    load_camera_track(track, "meshes/try1.sav");

    scene_time_at_load = scene_time;
}
