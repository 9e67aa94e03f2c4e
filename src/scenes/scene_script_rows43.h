// The motions of the scene script's rows 43 to 65 as plain functions of the
// scene time T (seconds), so that they can be checked without a GL context.
// Positions are in the units of the row's own matrix; angles in degrees.
#pragma once

#include "math/path.h"
#include "math/vec3.h"

// --- telos halves (rows 64 and 65) ---
// Signed x of the first half; the mirrored half sits at the opposite x.
// Opening (T < 5): from 0 apart to about -20 as T runs from -1.6 to 5.07;
// closing (T > 238): -20 up to T = 242.8, meeting at 0 from T = 244.14.
double telos_offset_opening(double T);
double telos_offset_closing(double T);

// --- razors (rows 43 to 46) ---
struct razor_set {
    unsigned seed;
    double from, to;    // window
    double count;       // cuts at full envelope
    double later_count; // cuts after T = 150 (rows 43, 44)
    double grow_start;  // the first razor starts moving here
    double x0, y0;      // start of cut 0
    double razor_until; // the razor mesh is drawn while T < this
};
// The four sets in script order.
const razor_set& razor_set_of_row(int row);
// Cuts drawn at T: k = 0, 1, ... while k < this.
double razor_cut_count(const razor_set& set, double T);
// Path position of cut k's razor, in points: 19 a second, each cut 0.2 s
// after the previous.
double razor_position(const razor_set& set, int k, double T);
// Builds cut k from the shared generator (which the caller seeded and has
// advanced through cuts 0 .. k - 1): 500 steps of 0.1 turning -0.02 rad
// each (cut 1 straight after its 100th), and after any step, with
// probability 0.1, a bend of 10 steps at a random turn within +-0.04 rad.
void build_razor_cut(const razor_set& set, int k, path& out);

// --- trombones (rows 47 to 49) ---
double trombone_47_height(double T);
double trombone_48_height(double T);
// Falling trombones of row 49 at T: k while k < this.
double falling_trombone_count(double T);

// --- roads (row 52) ---
// Stroke i (0 .. 19) of the roads is drawn while T does not exceed this.
double road_end_time(int i);

// --- greetings (row 55) ---
bool greeting_shown(int k, double T);

// --- falling wheels (row 56) ---
double falling_wheel_count(double T);
bool falling_wheel_shown(int k, double T);

// --- boats and sea (rows 57 to 59) ---
// Where the third boat, the one the camera rides with, is translated to.
Vec3 riding_boat_place(double T);
// The translation point of the third boat, as stored for camera_3 (state 1),
// with its y already lowered after T = 185.
Vec3 boat_anchor(double T);
// How far the sea plane lies below the boat's anchor height 0.
double sea_drop(double T);

// --- wave band (row 62) ---
// Top edge of column i at T.
double wave_band_height(int i, double T);
double wave_band_lift(double T);

// --- finale ---
// The camera-following x of the finale objects (the base of camera_2).
double finale_track_x(double T);
double gun_height(double T);
// 0 .. 1 pulses after each of the gun's shots (gun_shot_times).
double gun_recoil(double T);
// Rotor angle of the helicopter, degrees; 0 before T = 213.4 and growing
// ever faster until it reaches its full speed.
double rotor_angle(double T);
// Bicycle: x of its translation and the wheel and crank turn about x.
double bicycle_x(double T);
double bicycle_wheel_angle(double T);
