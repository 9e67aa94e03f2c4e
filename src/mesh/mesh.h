// Models read from the program's OBJ subset: groups of four-corner faces,
// drawn whole through a lazily compiled display list or group by group.
#pragma once

#include <cstddef>
#include <vector>

#include "math/vec3.h"

struct quad {
    Vec3 corners[4]; // a triangle repeats its third corner
};

using mesh_group = std::vector<quad>;

struct mesh {
    int list_name = -1; // display-list name; negative draws in immediate mode
    bool list_pending = true;
    std::vector<mesh_group> groups;
    bool loaded = false;

    // Fills the mesh from the file; later calls do nothing. A file that
    // cannot be read shows the missing-file message box and ends the process.
    void load(const char* file_name, int list_name);
    // The same from text already in memory (size bytes, no terminator needed).
    void load_text(const char* text, size_t size, int list_name);
    // Draws every group, compiling the display list on the first call.
    void draw();
    // Compiles the display list now, drawing nothing (a model drawn from a
    // batch instead still has its list).
    void compile();
    // Group k; a k outside the groups gives an empty group that draws nothing.
    const mesh_group& group_at(int k) const;
};

// glBegin(GL_QUADS), the corners of every quad, glEnd.
void draw_quads(const mesh_group& group);
