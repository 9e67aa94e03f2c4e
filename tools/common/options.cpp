#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "common.h"
#include "shell/settings_dialog.h"

namespace tools {
namespace {

bool number(const char* text, double& out) {
    if (!text || !*text) return false;
    char* end = nullptr;
    errno = 0;
    out = std::strtod(text, &end);
    return *end == '\0' && errno == 0 && std::isfinite(out);
}

} // namespace

bool read_seconds(const std::string& option, const char* text, double& out, std::string& error) {
    double t = 0.0;
    if (!number(text, t) || t < 0.0) {
        error = option + " takes seconds from 0 on, not '" + (text ? text : "") + "'";
        return false;
    }
    out = t;
    return true;
}

bool read_show_seconds(const std::string& option, const char* text, double& out, std::string& error) {
    double t = 0.0;
    if (!number(text, t) || t < 0.0 || t > show_length) {
        char end[32];
        std::snprintf(end, sizeof end, "%g", show_length);
        error = option + " takes seconds from 0 to " + end + ", not '" + (text ? text : "") + "'";
        return false;
    }
    out = t;
    return true;
}

option_read read_view_option(int argc, const char* const* argv, int& i, view_options& out,
                             std::string& error) {
    const std::string arg = argv[i];
    const bool with_value = arg == "--size" || arg == "--music";
    if (!with_value) {
        if (arg == "--no-aa")
            out.antialiased = false;
        else if (arg == "--force-16-9")
            out.force_16_9 = true;
        else
            return option_read::not_shared;
        return option_read::taken;
    }
    if (i + 1 >= argc) {
        error = arg + " needs a value";
        return option_read::refused;
    }
    const std::string v = argv[++i];
    if (arg == "--size") {
        int w = 0, h = 0;
        char tail = 0;
        if (std::sscanf(v.c_str(), "%dx%d%c", &w, &h, &tail) != 2 || w < 16 || h < 16 || w > 7680 ||
            h > 4320) {
            error = "--size takes WxH from 16x16 to 7680x4320, not '" + v + "'";
            return option_read::refused;
        }
        out.width = w;
        out.height = h;
    } else {
        if (v != "1" && v != "2") {
            error = "--music takes 1 or 2, not '" + v + "'";
            return option_read::refused;
        }
        out.music = v == "2" ? 2 : 1;
    }
    return option_read::taken;
}

void apply_view_options(const view_options& o, show_settings& settings) {
    settings.window_width = settings.view_width = o.width;
    settings.window_height = settings.view_height = o.height;
    settings.force_16_9 = o.force_16_9;
    if (o.force_16_9) settings.view_height = std::min(shell::forced_view_height(o.width), o.height);
    settings.fullscreen = false;
    settings.antialiased = o.antialiased;
}

} // namespace tools
