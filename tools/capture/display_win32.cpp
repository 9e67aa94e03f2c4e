// On Windows the capture's window is an ordinary one on the desktop (the
// show's own Win32 window and WGL context): there is no server to start.
#include <cstdlib>
#include <cstring>
#include <string>

#include <io.h>

#include "xvfb.h"

namespace capture {

bool on_path(const char* program) {
    const char* path = std::getenv("PATH");
    for (const char* start = path ? path : ""; *start;) {
        const char* end = std::strchr(start, ';');
        const size_t length = end ? size_t(end - start) : std::strlen(start);
        const std::string folder(start, length);
        for (const char* suffix : {"", ".exe"})
            if (length > 0 && _access((folder + "\\" + program + suffix).c_str(), 0) == 0) return true;
        if (!end) break;
        start = end + 1;
    }
    return false;
}

bool start_xvfb(int, int, std::string&) { return true; }

void stop_xvfb() {}

} // namespace capture
