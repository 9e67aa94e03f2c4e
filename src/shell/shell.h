// Application shell: process entry, settings dialog and mode list, the GL
// window and context, the message loop, the window procedure.
#pragma once

namespace shell {

// The whole life of the program; returns the exit code.
int run(int argc, char** argv);

} // namespace shell
