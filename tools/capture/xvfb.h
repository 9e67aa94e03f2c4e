// A private X server for the capture's window and GL context: the show
// reaches GL through an SDL window, and Xvfb with Mesa gives one on a machine
// without a display. Nothing of it is visible anywhere.
#pragma once

#include <string>

namespace capture {

// Starts Xvfb with a screen of at least width x height on a free display
// number and points DISPLAY at it. False with a message in `error`.
bool start_xvfb(int width, int height, std::string& error);
// Ends the server started above, if any. Safe to call more than once.
void stop_xvfb();

// Whether `program` is an executable in a folder of PATH (the capture runs
// Xvfb and ffmpeg by name).
bool on_path(const char* program);

} // namespace capture
