// The 28 models of the show, each under the file name the scene set-up
// opens (doubled slashes kept as they are stored; the file system folds them).
#pragma once

#include <string>
#include <vector>

#include "geometry.h"

namespace forge {

struct mesh_file {
    std::string name; // as the show passes it, e.g. "meshes//objs//horn.obj"
    model shape;
};

// Builds every model. Group counts follow the scene script: trumpet-plhktra
// 3 (valves), man3 42 (standing pose, then a 41-frame walk), bicycle 4,
// helicopter 2, teras 9, cycle2 3, greetings2 15, gennhtria 2, quorlaxen 2,
// horn and hourglass 2 (the glow pass draws group 0, then group 1).
std::vector<mesh_file> build_meshes();

// The horn alone (its two groups), for the title art, with the mouth and
// direction of its bell in its drawing plane (u, v) = (x, -z).
model horn_model();
extern const p2 horn_bell_mouth;
extern const p2 horn_bell_dir;
// Turn of the mirrored horn on the title art, radians.
constexpr double horn_turn_for_art = 0.8;

// Walk-cycle facts the scene script relies on: man3 advances this far along
// +x (model units) over the 41 frames of one cycle, feet at y = 0.
constexpr double walk_cycle_advance = 0.58;

} // namespace forge
