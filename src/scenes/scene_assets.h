// What the scene script draws from: the models, the cameras and anchors the
// frame composition sets each frame, the backdrop pass and the batch
// scratch. The production part owns it (made by its set-up) and hands it
// down to the script every frame.
#pragma once

#include <string>

#include "math/vec3.h"
#include "mesh/mesh.h"
#include "scenes/backdrop_pass.h"
#include "scenes/draw_batch.h"

struct scene_assets {
    // The main vertex and fragment program pair (fragment = program_main + 1).
    int program_main = 5002;

    // Cameras and anchors of the frame composition, set before the script runs.
    camera_pose camera_1, camera_2, camera_3;
    Vec3 anchor_1, anchor_2, anchor_3;
    Vec3 script_anchor;

    // The backdrop's squares, drawn in one pass (its programs made by the set-up).
    backdrop_pass paper_squares;
    // Scratch for the dot fields and track pieces, reserved by the set-up.
    draw_batch dots;
    // The tracks model as the railway row lays it: turned 90 degrees about
    // z, then about y.
    mesh_group track_piece;

    // The 28 models, named after their files.
    mesh horn, bicycle, trumpet2, trumpet_plhktra, helicopter, tuba, razor, boat, gaza, trumpet, kwnos,
        cycle2, engine, side, hourglass, telos, trombone, flute, tracks, greetings2, ak472, ak47trigger,
        quorlaxen, truck, train, gennhtria, teras, man3;
};

// Display lists the set-up compiles: filled unit decagon and hexagon in the
// z = 0 plane, radius 1; the outline-shape animation's frame f (0..799),
// shape s (0, 1) is list list_shape_base + 2 f + s.
constexpr int list_decagon = 12000;
constexpr int list_hexagon = 12001;
constexpr int list_shape_base = 100;

// The texture slot the paper image is loaded into.
constexpr int paper_texture_slot = 5011;

// The program slots of the backdrop's one pass: the program for a run of n
// squares (2 to backdrop_max_squares) is in backdrop_program_slot + n - 2.
constexpr int backdrop_program_slot = 5040;

// Where cycle2's moving groups turn, in model units (the profile is the y-z
// plane): the lever (group 0) and the flywheel (group 1). The forge models
// them about the same points.
struct model_point {
    double x, y, z;
};
constexpr model_point cycle2_lever_pivot = {0.0, 0.583, -1.607};
constexpr model_point cycle2_flywheel_pivot = {0.0, 0.547, 1.161};

// The models the scene set-up loads, in its order: the member each fills,
// the file as the set-up passes it (the doubled slashes are part of the
// stored names) and the display list its load compiles (23 is shared by
// the trombone and teras). The forge makes a file for each; its build, the
// contact sheet and the tests read the same table.
struct scene_model_file {
    mesh scene_assets::*model;
    const char* file;
    int list_name;
};
inline constexpr scene_model_file scene_model_files[] = {
    {&scene_assets::horn, "meshes//objs//horn.obj", 1},
    {&scene_assets::bicycle, "meshes//objs//bicycle.obj", 1007},
    {&scene_assets::trumpet2, "meshes//objs//trumpet2.obj", 996},
    {&scene_assets::trumpet_plhktra, "meshes//objs//trumpet-plhktra.obj", 997},
    {&scene_assets::helicopter, "meshes//objs//helicopter.obj", 632},
    {&scene_assets::tuba, "meshes//objs//tuba.obj", 1632},
    {&scene_assets::razor, "meshes//objs//razor.obj", 31},
    {&scene_assets::boat, "meshes//objs//boat.obj", 32},
    {&scene_assets::gaza, "meshes//objs//gaza.obj", 10},
    {&scene_assets::trumpet, "meshes//objs//trumpet.obj", 6},
    {&scene_assets::kwnos, "meshes//objs//kwnos.obj", 2},
    {&scene_assets::cycle2, "meshes//objs//cycle2.obj", 3},
    {&scene_assets::engine, "meshes//objs//engine.obj", 43},
    {&scene_assets::side, "meshes//objs//side.obj", 4},
    {&scene_assets::hourglass, "meshes//objs//hourglass.obj", 5},
    {&scene_assets::telos, "meshes//objs//telos.obj", 744},
    {&scene_assets::trombone, "meshes//objs//Trombone.obj", 23},
    {&scene_assets::flute, "meshes//objs//flute.obj", 24},
    {&scene_assets::tracks, "meshes//objs//tracks.obj", 25},
    {&scene_assets::greetings2, "meshes//objs//greetings2.obj", 26},
    {&scene_assets::ak472, "meshes//objs//ak472.obj", 326},
    {&scene_assets::ak47trigger, "meshes//objs//ak47trigger.obj", 399},
    {&scene_assets::quorlaxen, "meshes//objs//quorlaxen.obj", 12},
    {&scene_assets::truck, "meshes/truck.obj", 1400},
    {&scene_assets::train, "meshes/train.obj", 1500},
    {&scene_assets::gennhtria, "meshes//objs//gennhtria.obj", 126},
    {&scene_assets::teras, "meshes//objs//teras.obj", 23},
    {&scene_assets::man3, "meshes//man3.obj", 2000},
};

// The entry of a model; the first one when given something else.
constexpr const scene_model_file& scene_model_file_of(mesh scene_assets::*model) {
    for (const scene_model_file& entry : scene_model_files)
        if (entry.model == model) return entry;
    return scene_model_files[0];
}

// The file's path in the show folder: the doubled slashes folded.
inline std::string scene_file_path(const char* file) {
    std::string path;
    for (const char* c = file; *c; ++c)
        if (*c != '/' || path.empty() || path.back() != '/') path += *c;
    return path;
}
