// Show runtime: start-up sequence, sound start-up, the frame driver with the
// music clock, and the cue table.
#pragma once

#include <cstdint>
#include <string>

#include "parts/show_clock.h"
#include "resources/show_context.h"

class parts;

// --- cue table (its rows: parts/show_clock.h) ---
struct schedule_table {
    static constexpr int capacity = show_cue_count;
    cue_entry entries[capacity];
    int count = 0;
};
// Fills the show's 31 rows, in their order.
void schedule_init(schedule_table& table);
// Value of the last row with start <= t <= end; 0 when none matches.
int schedule_lookup(const schedule_table& table, double t);

// --- what the window procedure records of the user, read by the frame driver ---
struct input_state {
    bool window_active = true;   // false while minimised
    uint8_t key_down[256] = {};  // 1 while held, by virtual-key code
    bool quitting = false;       // the Escape fade has begun
    bool escape_pressed = false; // an Escape key-down since the last idle pass
    double quit_start_time = 0.0;
    bool left_button = false;
    bool right_button = false;
    double wheel = 0.0; // sum of wheel deltas / 600
};

// --- state the runtime owns from start-up to the end of the process ---
struct runtime_state {
    double show_time = 0.0;    // the show clock, seconds
    double frame_step = 0.0;   // this frame's step, seconds (the window procedure scales arrows by it)
    double last_reading = 0.0; // timer_read() at the previous frame (end of start-up for the first)
    double music_time = 0.0;   // playback position this frame, seconds
    bool sync_enabled = true;  // cleared for good in the music's last five seconds

    // High-resolution timer: accumulated seconds and the last raw counter.
    double timer_seconds = 0.0;
    int64_t timer_last_counter = 0;

    frame_record record;         // the one record every production render sees
    schedule_table schedule;     // filled by start_up
    parts* production = nullptr; // part_start, heap-allocated by start_up; freed when the show ends
    parts* loader = nullptr;     // part_loader, heap-allocated by start_up; drawn once, kept to the end
    frame_record* loading_record = nullptr; // the record of the loading screen's one render
    int music_sample = 0;                   // sound sample handle from start_sound

    // Middle-button capture text (the window procedure appends; start_up
    // empties it); goes to the clipboard when the show is left with Escape.
    std::string debug_text;

    input_state input;
    // Releases the display mode, context and window on the show's way out;
    // set by whoever opened them.
    void (*release_window)() = nullptr;
};
runtime_state& runtime();

// Everything the frames need, in order, between context creation and the
// first pass of the message loop (loading screen, resources, music, clocks).
void start_up();

// timer_reset: accumulated seconds = 0, remember the counter. timer_read:
// add the (signed) counter difference since the last call, return the total.
void timer_reset();
double timer_read();

// Brings up sound, picks one of the two music files by the counter's parity
// (the other when that one cannot be loaded), decodes it whole and plays it
// from the start on channel 0. Ends the process on failure: exit 1 when the
// sound system cannot start, 0 when neither file can be loaded.
void start_sound();
// Has both music files decoded in the background from now on, so that
// start_sound finds whichever it picks ready.
void preload_music();
constexpr const char* music_file_a = "music//Zembra - Quorlaxen.mp3";
constexpr const char* music_file_b = "music//Zembra - Quorlaxen2.mp3";

// One frame: step, music clock, record, production render, end of show and
// the Escape fade. May end the process (exit code 0).
void run_frame();

// Closes the sound system, releases the window, frees the production part and
// ends the process with exit code 0.
[[noreturn]] void end_show();
