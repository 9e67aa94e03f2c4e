// Command line of quorlaxen-capture.
#pragma once

#include <string>
#include <vector>

#include "common/common.h"

namespace capture {

using tools::show_length;

enum class output_kind {
    none,   // render only (with --stats: a frame-time profile)
    png,    // one frame to a .png file
    frames, // numbered PNG files in a folder
    video,  // frames piped to ffmpeg, music muxed in
};

// One frame asked for by --at (show time) or --at-scene (scene time).
struct time_point {
    double seconds = 0.0;
    bool scene = false;
};

// Where the GL context comes from: EGL without any window system where it
// can give one, else a private Xvfb (automatic), or one of them forced.
enum class gl_source { automatic, egl, xvfb };

// The window size, antialiasing, 16:9 view and music come from the options
// the viewer takes too.
struct options : tools::view_options {
    std::string output; // as given, made absolute by the caller
    output_kind kind = output_kind::none;
    bool single = false;           // frames at chosen times (--at, --at-scene), not a range
    std::vector<time_point> times; // in the order given
    double from = 0.0;             // seconds of show time
    double to = show_length;       // seconds of show time, not included (but the show's end is)
    int fps = tools::default_fps;
    bool quiet = false;
    std::string stats;    // --stats FILE: per-frame render times as CSV
    bool stages = false;  // --stages: the stats also split each frame by stage
    bool floor = false;   // --floor: the fixed work of a frame alone, nothing drawn
    bool loading = false; // --loading: the loading screen as the start-up draws it
    gl_source gl = gl_source::automatic;
    bool lossless = false; // --lossless: FFV1 video (RGB kept exactly) in Matroska
    bool audio = true;     // --no-audio: a video without the music
};

// The scene clock after the show's last frame at `fps` frames a second: the
// production shapes every step, so the script ends a little past the show.
double last_scene_time(int fps);

// Fills `out` from argv; false with a message in `error` on bad arguments.
bool parse_options(int argc, const char* const* argv, options& out, std::string& error);
// Whether a video file name is a Matroska one (.mkv).
bool matroska(const std::string& path);
// Whether a path names a folder by its last character ('/', and '\\' on Windows).
bool ends_with_separator(const std::string& path);

extern const char* const usage_text;

} // namespace capture
