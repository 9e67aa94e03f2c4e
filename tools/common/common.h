// What quorlaxen-capture and quorlaxen-viewer both need to reach any frame of
// the show exactly: the options that stand in for the settings dialog, the
// planning of frames on the frame grid (scene/show time conversion and the
// unwritten warm-up frame), and the scripted clock that makes the show's own
// frame driver step by exactly the planned amount.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "parts/show_clock.h"
#include "platform/platform.h"
#include "resources/show_context.h"

namespace tools {

constexpr double show_length = show_end_time; // seconds; the frame driver ends the show after this

// The frames a capture or the viewer draws unless told otherwise (the farm
// and the scripts read them from here too).
constexpr int default_fps = 60; // frames a second: the frame grid
constexpr int default_width = 1280;
constexpr int default_height = 720;

// --- options that take the place of the settings dialog ---
struct view_options {
    int width = default_width, height = default_height;
    bool antialiased = true;
    bool force_16_9 = false;
    int music = 1; // 1 or 2: which of the two music files
};

enum class option_read { not_shared, taken, refused };

// Reads argv[i] when it is --size WxH, --no-aa, --force-16-9 or --music 1|2,
// moving i past a value it takes. `refused` leaves the reason in `error`.
option_read read_view_option(int argc, const char* const* argv, int& i, view_options& out,
                             std::string& error);

// Seconds from 0 on; false with the reason in `error` (naming `option`).
bool read_seconds(const std::string& option, const char* text, double& out, std::string& error);
// Seconds of show time, 0 to show_length; false with the reason in `error`
// (naming `option`) otherwise.
bool read_show_seconds(const std::string& option, const char* text, double& out, std::string& error);

// The dialog's choices, made from the options: a window of the given size,
// "Force 16:9" as a 16:9 view inside it.
void apply_view_options(const view_options& o, show_settings& settings);

// --- frames planned on the frame grid ---
// One frame to run: the show time after its step; frames that are written
// carry the number that names their file.
struct planned_frame {
    double show_time = 0.0;
    bool output = false;
    double label = 0.0; // the time asked for (--at, --at-scene)
    bool scene = false; // the label is a scene time
};

// A run of frames from one starting state of the two clocks.
struct segment {
    double start_show = 0.0;  // runtime show time before the first frame
    double start_scene = 0.0; // production scene time before the first frame
    std::vector<planned_frame> frames;
};

// A time on the grid of whole frames as frame / fps, so that it is the same
// number however it was reached; other times unchanged.
double on_grid(double t, int fps);

// Scene time after running the show from 0 to `show_time` in steps of dt.
double scene_at(double show_time, double dt);
// Show time at which the scene clock reaches `scene` (steps of dt).
double show_at(double scene, double dt);

// The frame times of the show-time range [from, to) at `fps`: from `from`
// on in steps of 1/fps (on the grid when `from` is), up to but not
// including `to`, so that ranges split at any time on that grid join
// without a repeated or a missing frame. A range that ends at the show's
// end also takes the show's last frame. At least the frame at `from`.
std::vector<double> range_times(double from, double to, int fps);

// Frames at show times `times` (consecutive steps of 1/fps), after one
// unwritten frame that leaves behind the state the script carries from one
// frame to the next.
segment show_time_segment(const std::vector<double>& times, int fps);
// Two steps of 1/fps that land on a scene time.
segment scene_time_segment(double scene, int fps);
// Pulls every frame inside the show: past its length the frame driver ends
// the show before the frame could be seen.
void keep_inside_show(segment& s);

// --- the scripted clock ---
// Points the counter and music-position entries of `sys` at a clock that
// moves only by planned steps; the music position follows the show clock,
// so the frame driver's pull toward the music is nil.
void use_scripted_clock(platform::platform& sys);
// The music file is decoded (its length drives the frame driver's
// end-of-music rule) but never played: every other sound entry of `sys` is
// the null platform's.
void decode_music_only(platform::platform& sys);
// Counter ticks per second: a whole frame at `fps` is a whole number of them.
void set_scripted_rate(int fps);
// The show picks its music by the counter's parity at start-up.
void pick_music(int music);
// Sets the runtime's clocks so that the next run_frame steps the show from
// `from` to `to` (seconds of show time).
void prepare_frame(double from, double to);

} // namespace tools
