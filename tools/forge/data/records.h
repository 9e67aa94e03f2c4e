// The two small binary files of the show: the hand-held camera track and
// the outline-shape animation.
#pragma once

#include <string>

namespace forge {

// Records of the camera track (28 bytes each). The show replays 35 a second
// and skips 340 once, so this covers 250 s of scene time with room to spare.
constexpr int track_records = 9100;
constexpr int shape_frames = 800;
constexpr int shape_count = 2;

std::string camera_track_file();
std::string outline_shape_file();

} // namespace forge
