#include "viewer.h"

namespace viewer {

namespace {
// The default size is the show's own constant, so the help cannot drift from it.
const std::string usage_string =
    "usage: quorlaxen-viewer [options]\n"
    "  --at SECONDS       show time to open at (default 0)\n"
    "  --paused           open paused\n"
    "  --size WxH         frame size (default " +
    std::to_string(tools::default_width) + "x" + std::to_string(tools::default_height) +
    "); the window may be made larger\n"
    "  --no-aa            no multisampling\n"
    "  --force-16-9       draw a 16:9 view inside the frame, black bands around it\n"
    "  --music 1|2        which version of the music (default 1)\n"
    "keys: Space pause/play, Left/Right 1 s (Shift: 10 s), Home to 0, comma/period one frame\n"
    "      (paused), I/O mark a range, L loop it, Escape quits\n";
} // namespace

const char* const usage_text = usage_string.c_str();

bool parse_options(int argc, const char* const* argv, options& out, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--at") {
            if (i + 1 >= argc) return error = "--at needs a value", false;
            if (!tools::read_show_seconds(arg, argv[++i], out.at, error)) return false;
        } else if (arg == "--paused") {
            out.paused = true;
        } else if (arg == "-h" || arg == "--help") {
            return error = "", false;
        } else {
            const tools::option_read shared = tools::read_view_option(argc, argv, i, out, error);
            if (shared == tools::option_read::refused) return false;
            if (shared == tools::option_read::not_shared)
                return error = "unknown argument '" + arg + "'", false;
        }
    }
    return true;
}

} // namespace viewer
