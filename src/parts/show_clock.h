// The show's clock in one place: when the show ends, where the frame
// driver's pull toward the music stops, the production's clock shaping and
// the cue table. Plain data and one pure function, header-only, so that the
// data forge composes the music against the very same clock.
#pragma once

#include <algorithm>
#include <cmath>

constexpr double show_end_time = 242.5;  // seconds of show time; the frame driver ends the show after it
constexpr double sync_last_time = 240.0; // no pull toward the music above this
constexpr double sync_tail = 5.0;        // seconds at the music's end without the pull

// The step after the production's shaping at scene time T (the time before
// the step): 1 % faster overall, a sine bump up to 15 % faster from T = 5
// and one up to 15 % slower from T = 42.
inline double shape_frame_step(double T, double frame_step) {
    constexpr double pi = 3.14159265358979323846;
    frame_step *= 1.01;
    frame_step *= 1.0 + 0.15 * std::sin(pi * std::clamp((T - 5.0) * 0.15, 0.0, 1.0));
    frame_step *= 1.0 - 0.15 * std::sin(pi * std::clamp((T - 42.0) * 0.15, 0.0, 1.0));
    return frame_step;
}

// --- the cue table: closed intervals of show time, the later row wins ---
struct cue_entry {
    double start = 0.0; // seconds
    double end = 0.0;   // seconds
    int value = 0;
};
constexpr int show_cue_count = 31;
// The rows in their order: where rows touch or overlap the later one decides.
// Rows past the show's end never match during a show; they stay in the table.
inline constexpr cue_entry show_cues[show_cue_count] = {
    {80.0, 85.14, 1},       {85.14, 92.85, 2},      {92.85, 98.0, 3},       {104.94, 105.01, 4},
    {105.01, 105.134, 5},   {0.0, 80.0, 9},         {226.281, 227.281, 1},  {246.86, 250.282, 2},
    {227.281, 229.715, 3},  {274.329, 274.765, 21}, {274.765, 275.07, 21},  {275.07, 275.402, 21},
    {275.402, 276.031, 21}, {276.031, 276.356, 21}, {276.356, 276.688, 21}, {276.688, 277.752, 21},
    {277.752, 277.965, 21}, {277.965, 278.289, 21}, {278.289, 278.595, 21}, {278.595, 279.438, 21},
    {279.438, 280.102, 21}, {280.102, 280.741, 21}, {280.741, 281.178, 21}, {281.741, 291.178, 21},
    {267.442, 267.755, 21}, {267.775, 268.073, 21}, {268.073, 268.5, 21},   {268.5, 269.141, 21},
    {269.141, 274.329, 21}, {270.858, 271.07, 21},  {271.402, 271.713, 21},
};
