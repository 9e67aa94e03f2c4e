// Moments of the scene clock that more than one element keys to, each
// written once: the script, the frame's cameras and the music forge (which
// composes against them) read them from here.
#pragma once

constexpr double camera_hand_over_time = 43.2; // the world camera takes over from the context camera
constexpr double gun_shot_times[3] = {201.4, 208.4, 214.4}; // the gun's recoils
