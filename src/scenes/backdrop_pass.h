// The backdrop's paper squares in one pass. Each square is a textured
// square through its own camera, blended over the ones before; drawn one
// by one, each costs a full pass over every sample of the frame. When every
// square of a run covers the whole view, one full-screen pass gives the
// same picture: per pixel it maps the pixel onto each square's plane (the
// projective map its camera gives), samples the paper there and blends the
// squares in their order. It blends in floating point where the frame
// buffer rounds to 8 bits after each square: a level apart at most, here
// and there. A run with a square that does not cover the view is
// drawn square by square, as before. The pass's programs come from the
// source file cgeffects/backdrop_squares, one per run the backdrop draws,
// in program slots of the show context.
#pragma once

#include "gl/gl.h"

struct show_context;

// One square as draw_textured_square (not a billboard) would draw it.
struct backdrop_square {
    float modelview[16]; // with the square's rotation and scale applied
    float colour[4];
    bool blended;    // blending on (source alpha) or off (replaces)
    float s0, s1, r; // texture coordinates: s from s0 to s1, t from 0 to r
};

constexpr int backdrop_max_squares = 6;

struct backdrop_pass {
    // Whose program slots hold the pass's programs; null until the pass is
    // created (every run is then drawn square by square).
    show_context* context = nullptr;

    backdrop_square squares[backdrop_max_squares];
    int pending = 0;
    float clear_colour[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    // The target's colour is not cleared yet and nothing is drawn on it.
    bool uncleared = false;
};

// Makes the pass's programs, for runs of 2 to backdrop_max_squares squares
// all blended, in `context`'s program slots: once, at set-up, with the GL
// context current. Each is reported as every program is; a run of any other
// blending, or whose program did not compile, is drawn square by square.
void create_backdrop_pass(show_context& context, backdrop_pass& pass);

// Starts a frame's backdrop on a target whose colour is still to be
// cleared to `clear_colour` (its depth cleared already): a first run drawn
// in one pass blends over the clear colour itself and writes every sample,
// so the clear is only made where the squares are drawn one by one.
void begin_backdrop(backdrop_pass& pass, const float clear_colour[4]);

// Instead of draw_textured_square(angle, half_width, half_height, false,
// repeat): applies the same rotation and scale to the current matrix and
// keeps the square, with the current colour and blending, for the pass.
void add_backdrop_square(backdrop_pass& pass, double angle, double half_width, double half_height,
                         float repeat);

// Draws the squares kept so far (one pass, or one by one) with the texture
// bound on unit 0, then leaves the state the squares drawn one by one leave
// (current colour and texture coordinate); the shading runtime's profiles,
// bound programs and GL program in use are as they were. Afterwards the target is cleared
// and holds the squares: anything may be drawn over them. Only the first run
// of a frame is drawn in one pass (a later one would start from the clear).
void flush_backdrop(backdrop_pass& pass);
