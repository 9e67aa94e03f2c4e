// "Quorlaxen" by Zembra: the show's music, composed as data and functions.
// Two arrangements of one piece share one timeline; both hit the same
// accents on the music clock (= the show clock).
#pragma once

#include "score.h"

#include <string>
#include <vector>

namespace forge_music {

// The picture runs on a production clock that is shaped from the show clock:
// 1 % faster throughout, up to 15 % faster for a sine bump from production
// time 5 to 11.67 and up to 15 % slower from 42 to 48.67. Returns the show
// time at which the production clock reaches `scene_time` (>= 0).
double show_time_of_scene(double scene_time);

// Length of both versions in seconds.
constexpr double piece_length = 247.0;

// An accent the music lands on, in show-clock seconds, with what it follows.
struct hit_point {
    double time;
    std::string what;
};

// Every accent of the timeline, in time order.
std::vector<hit_point> hit_points();

// The full score of version 1 (brass band) or 2 (electric big band).
// Throws std::invalid_argument for another number.
score compose(int version);

} // namespace forge_music
