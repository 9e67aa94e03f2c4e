// Application shell: process entry, settings dialog and mode list, the GL
// window and context, the message loop, the window procedure.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace shell {

// Shell-wide state, alive for the whole process. Window and view sizes,
// fullscreen and antialiasing are the dialog's choices in
// the_show_context().settings; what the window procedure records of the
// user's input is runtime().input, which the frame driver reads.
struct shell_state {
    // What open_gl_window created and destroy_gl_window releases.
    bool has_windowing = false; // the window class on Windows
    bool display_switched = false;
    bool has_window = false;
    bool has_device_context = false;
    bool has_context = false;
};
shell_state& state();

// The window caption; keeps its inner and outer spaces.
constexpr const char* window_title = " =       Quorlaxen - KVT 2009 = ";

// Opens the window and context, sets the fixed GL state and runs the whole
// start-up sequence. False after a failure that has been reported.
bool open_gl_window(const char* title, int width, int height, int bits, bool fullscreen);
// Viewport and the default 45-degree projection; a height of 0 counts as 1.
void resize_viewport(int width, int height);
// Fixed GL state, then start_up(). Always true.
bool init_gl_state();
// Releases display mode, context, device context, window and window class,
// reporting each failure.
void destroy_gl_window();

// The window procedure and its default path (arrow offsets, Alt+F4).
int64_t window_proc(unsigned message, uint64_t wparam, int64_t lparam);
int64_t default_window_proc(unsigned message, uint64_t wparam, int64_t lparam);
// Puts `text` on the clipboard; true when it is there.
bool copy_to_clipboard(const std::string& text);
// A number with 6 significant digits, as the capture text writes it.
std::string format_number(double value);

// One pass of the message loop: every waiting message, then a frame and the
// buffer swap. The exit code once wm_quit arrives, -1 until then.
int message_step();
// Pumps messages, runs a frame on every idle pass; returns wm_quit's code.
int message_loop();

// The program's life as steps that the desktop drives from its own loop and
// the browser from its animation frames:
// start: the data folder, the dialog, the window and the whole start-up.
// False when the show will not run; `code` is then the exit code.
bool start(int argc, char** argv, int& code);
// Releases the window and the sound after the last message_step.
void finish();
// start, message_loop, finish; returns the exit code.
int run(int argc, char** argv);

} // namespace shell
