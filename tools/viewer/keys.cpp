#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/platform.h"
#include "viewer.h"

namespace viewer {
namespace {

constexpr unsigned key_home = 0x24;
constexpr unsigned key_comma = 0xBC;
constexpr unsigned key_period = 0xBE;

double inside_show(double t) { return std::clamp(t, 0.0, tools::show_length); }

// The nearest frame of the grid to t, moved by `frames`.
double grid_frame(double t, int frames) { return inside_show((std::nearbyint(t * fps) + frames) / fps); }

std::string seconds(double t) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", t);
    return text;
}

bool range_marked(const controls& c) { return c.mark_in >= 0.0 && c.mark_out > c.mark_in; }

command seek(double to) { return {command::seek, inside_show(to), {}}; }

} // namespace

command on_key(controls& c, unsigned key, bool shift, double now) {
    const double jump = shift ? 10.0 : 1.0;
    switch (key) {
    case platform::vk_escape:
        return {command::quit, 0.0, {}};
    case platform::vk_space:
        c.paused = !c.paused;
        // A pause lands on the frame grid, so that frame steps and seeks from
        // it stay there and the capture program can give the same frame.
        if (c.paused) return {command::pause, grid_frame(now, 0), {}};
        return {command::resume, now, {}};
    case platform::vk_left:
        return seek(now - jump);
    case platform::vk_right:
        return seek(now + jump);
    case key_home:
        return seek(0.0);
    case key_comma:
    case key_period:
        if (!c.paused) return {};
        return seek(grid_frame(now, key == key_period ? 1 : -1));
    case 'I':
        c.mark_in = now;
        return {command::none, 0.0, "range start " + seconds(now)};
    case 'O':
        c.mark_out = now;
        return {command::none, 0.0, "range end " + seconds(now)};
    case 'L':
        if (c.looping) {
            c.looping = false;
            return {command::none, 0.0, "loop off"};
        }
        if (!range_marked(c))
            return {command::none, 0.0, "no range to loop: mark its start with I, its end with O"};
        c.looping = true;
        {
            command go = {command::none, 0.0, "looping " + seconds(c.mark_in) + " to " + seconds(c.mark_out)};
            if (now < c.mark_in || now >= c.mark_out) go.what = command::seek, go.to = c.mark_in;
            return go;
        }
    default:
        return {};
    }
}

} // namespace viewer
