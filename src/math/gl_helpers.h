// Immediate-mode drawing helpers on the current GL context. None keeps state.
#pragma once

#include "math/vec3.h"

// A square from (-1, -1) to (1, 1) in the z = 0 plane, rotated by `angle`
// degrees about z and scaled by (|half_width|, half_height, 0). With
// `billboard` the model-view rotation and scale are dropped first (the square
// keeps its position and faces the viewer). Texture coordinates run 0..repeat;
// a half_width <= 0 mirrors them left-right. Leaves the rotation and scale on
// the current matrix; sets no colour, texture or blending.
void draw_textured_square(const double* angle, const double* half_width, const double* half_height,
                          bool billboard, float repeat);
// Model-view = translate(position) of the current matrix with its upper 3x3
// replaced by the three axes as columns (eye space, not normalised).
void place_with_basis(const Vec3& position, const Vec3& axis_x, const Vec3& axis_y, const Vec3& axis_z);
// Blending, lighting, colour material, light 0, 2D texturing and fog off;
// colour opaque white.
void reset_draw_state();
// GL_LINEAR minification and magnification on the bound 2D texture.
void set_linear_filtering();
// Object-linear S and T generation, T plane (t0..t3), S plane (s0..s3), both
// enabled; the caller disables them after drawing.
void set_object_linear_texgen(int t0, int t1, int t2, int t3, int s0, int s1, int s2, int s3);
