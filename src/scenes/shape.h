// Flat filled shapes tessellated by GLU into one display list per shape and
// animation frame.
#pragma once

struct GLUtesselator;

struct shape {
    double (*vertices)[3] = nullptr; // 8192 stable vertex records for the tessellator
    GLUtesselator* tessellator = nullptr;
    int vertex_count = 0;
};
