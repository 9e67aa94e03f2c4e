// Show runtime: start-up sequence, sound start-up, the frame driver with the
// music clock, and the cue table.
#pragma once

#include "runtime/show_context.h"

class parts;

// Everything the frames need, in order, between context creation and the
// first pass of the message loop (loading screen, resources, music, clocks).
void start_up();
