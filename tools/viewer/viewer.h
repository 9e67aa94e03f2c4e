// quorlaxen-viewer: the show played from any time with its music, paused,
// sought, stepped frame by frame, a range looped, and its shaders reloaded
// when their sources change. It runs the show's own start-up, frame driver
// and production part; a seek runs the frames the capture program would run
// to reach the same time, so a paused frame is the capture's frame.
#pragma once

#include "gl/gl.h"

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "common/common.h"

namespace viewer {

constexpr int fps = tools::default_fps; // the frame grid of seeks and frame steps

// --- command line ---
struct options : tools::view_options {
    double at = 0.0; // show time to open at, seconds
    bool paused = false;
};
// Fills `out` from argv; false with the reason in `error` (empty for --help).
bool parse_options(int argc, const char* const* argv, options& out, std::string& error);
extern const char* const usage_text;

// --- keys ---
struct controls {
    bool paused = false;
    double mark_in = -1.0, mark_out = -1.0; // range marks, show time; < 0 = not set
    bool looping = false;
};

struct command {
    enum kind { none, seek, pause, resume, quit } what = none;
    double to = 0.0;  // seek and pause: the show time to show
    std::string note; // what to tell the user, if anything
};

// What a key (virtual-key code) does when the frame at show time `now` is
// on screen. Updates the marks, the loop and the pause flag in `c`.
command on_key(controls& c, unsigned key, bool shift, double now);

// --- frames ---
// Runs the frames that reach show time t by the capture program's rule (the
// frame before it first, on the frame grid), with the scripted clock; the
// runtime's clocks are then at t and the timer restarts from now.
void render_at(double t);

// A copy of the last frame drawn, shown again while paused and scaled into
// a window that was made larger than the frames.
struct kept_frame {
    int width = 0, height = 0; // the frames' size
    GLuint framebuffer = 0, colour = 0;
};
void make_kept_frame(kept_frame& k, int width, int height);
// Copies the frame just drawn (the window's back buffer) into the copy.
void keep(kept_frame& k);
// Draws the copy into the window's back buffer, as large as fits with its
// shape kept; a window of the frames' own size gets it pixel for pixel.
void show_kept(const kept_frame& k, int window_width, int window_height);
// The copy as a binary PPM file, written whole or not at all.
bool write_ppm(const kept_frame& k, const std::string& file_name);

// --- shader sources ---
// Files of a folder, looked at now and then: which of them changed.
struct source_watch {
    struct file {
        std::string name;
        std::filesystem::file_time_type time;
        uintmax_t size = 0;
        std::string text; // as last acted upon
    };
    std::string folder;
    std::vector<file> files; // as last acted upon
    std::vector<file> seen;  // as at the last look
    std::chrono::steady_clock::time_point last_look;
};
void watch_folder(source_watch& w, const std::string& folder);
// Paths (folder/name) of files that are new or whose text changed since
// they were last reported; looks at most four times a second.
std::vector<std::string> changed_sources(source_watch& w);

} // namespace viewer
