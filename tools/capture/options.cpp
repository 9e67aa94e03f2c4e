#include "options.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

#include "parts/part_start_render.h"

namespace capture {

namespace {

// The defaults are the show's own constants, so the help cannot drift from them.
std::string shown(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

const std::string usage_string =
    "usage: quorlaxen-capture [options] -o OUTPUT\n"
    "  -o show.mp4        the show (or --from/--to) as H.264 video with its music (needs ffmpeg)\n"
    "  -o DIR/            numbered PNG frames in DIR\n"
    "  --at SECONDS -o frame.png      one frame at a show time\n"
    "  --at-scene T -o frame.png      one frame at a scene time (the script's clock, 0 to about 244.77)\n"
    "  --at T1 --at-scene T2 ... -o DIR/   several: DIR/frame-T.png (scene), DIR/show-T.png\n"
    "  --from S --to S    show-time range [S, S), seconds (default 0 to " +
    shown(show_length) +
    "): the frame at --to\n"
    "                     is left out unless --to is the show's end, so --from A --to M and\n"
    "                     --from M --to B (A, M on the --fps grid) join into --from A --to B,\n"
    "                     no frame twice or missing\n"
    "  --size WxH         frame size (default " +
    std::to_string(tools::default_width) + "x" + std::to_string(tools::default_height) +
    ")\n"
    "  --fps N            frames a second (default " +
    std::to_string(tools::default_fps) +
    ")\n"
    "  --no-aa            no multisampling\n"
    "  --force-16-9       draw a 16:9 view inside the frame, black bands around it\n"
    "  --music 1|2        which version of the music (default 1)\n"
    "  --lossless         video as FFV1 in Matroska (-o FILE.mkv): decoded frames equal the PNGs\n"
    "  --no-audio         video without the music (chunks that are joined and given it once)\n"
    "  --gl egl|xvfb      where the GL context comes from: EGL without an X server, or a private\n"
    "                     Xvfb (default: EGL where it gives a context, else Xvfb)\n"
    "  --stats FILE       per-frame render times as CSV; without -o, render only\n"
    "  --quiet            no progress line\n"
    "  --stages           with --stats: processor time of each stage of a frame (target clear,\n"
    "                     backdrop, scene, glow clear, resolve, bend, present), GL finished at each\n"
    "  --floor            render the floor frame instead of the show: the target's clear,\n"
    "                     resolve and final square only (a benchmark's yardstick)\n"
    "  --loading          the loading screen, drawn as the start-up draws it (-o FILE.png)\n";

} // namespace

const char* const usage_text = usage_string.c_str();

namespace {

bool integer(const char* text, long lo, long hi, int& out) {
    if (!text || !*text) return false;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (*end != '\0' || errno != 0 || v < lo || v > hi) return false;
    out = int(v);
    return true;
}

bool ends_with(const std::string& s, const char* tail) {
    const size_t n = std::strlen(tail);
    if (s.size() < n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != tail[i]) return false;
    return true;
}

} // namespace

bool matroska(const std::string& path) { return ends_with(path, ".mkv"); }

bool ends_with_separator(const std::string& path) {
#if defined(_WIN32)
    if (!path.empty() && path.back() == '\\') return true;
#endif
    return !path.empty() && path.back() == '/';
}

namespace {

bool is_directory(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

double last_scene_time(int fps) {
    const double dt = 1.0 / fps;
    const long frames = long(std::floor(show_length * fps + 1e-6));
    double scene = 0.0;
    for (long i = 0; i < frames; ++i)
        scene += shape_frame_step(scene, dt);
    const double rest = show_length - double(frames) * dt;
    if (rest > 1e-9) scene += shape_frame_step(scene, rest);
    return scene;
}

bool parse_options(int argc, const char* const* argv, options& out, std::string& error) {
    bool from_given = false, to_given = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        // Options that take a value read it from the next argument.
        auto value = [&](const char*& v) {
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            v = argv[++i];
            return true;
        };
        const char* v = nullptr;
        if (arg == "-o" || arg == "--output") {
            if (!value(v)) return false;
            if (!*v) return error = "-o needs a file or folder name", false;
            out.output = v;
        } else if (arg == "--at" || arg == "--at-scene") {
            if (!value(v)) return false;
            time_point at;
            at.scene = arg == "--at-scene";
            // Scene times are checked against the scene clock's end once the frame rate is known.
            if (at.scene ? !tools::read_seconds(arg, v, at.seconds, error)
                         : !tools::read_show_seconds(arg, v, at.seconds, error))
                return false;
            out.single = true;
            out.times.push_back(at);
        } else if (arg == "--from" || arg == "--to") {
            if (!value(v)) return false;
            double t = 0.0;
            if (!tools::read_show_seconds(arg, v, t, error)) return false;
            (arg == "--from" ? out.from : out.to) = t;
            (arg == "--from" ? from_given : to_given) = true;
        } else if (arg == "--fps") {
            if (!value(v)) return false;
            if (!integer(v, 1, 1000, out.fps))
                return error = std::string("--fps takes a whole number from 1 to 1000, not '") + v + "'",
                       false;
        } else if (arg == "--stats") {
            if (!value(v)) return false;
            out.stats = v;
        } else if (arg == "--stages") {
            out.stages = true;
        } else if (arg == "--floor") {
            out.floor = true;
        } else if (arg == "--loading") {
            out.loading = true;
        } else if (arg == "--lossless") {
            out.lossless = true;
        } else if (arg == "--no-audio") {
            out.audio = false;
        } else if (arg == "--gl") {
            if (!value(v)) return false;
            const std::string source = v;
            if (source != "egl" && source != "xvfb")
                return error = "--gl takes egl or xvfb, not '" + source + "'", false;
#if defined(_WIN32)
            return error = "--gl is for the Linux build (Windows draws through WGL)", false;
#endif
            out.gl = source == "egl" ? gl_source::egl : gl_source::xvfb;
        } else if (arg == "--quiet" || arg == "-q") {
            out.quiet = true;
        } else if (arg == "-h" || arg == "--help") {
            return error = "", false;
        } else {
            const tools::option_read shared = tools::read_view_option(argc, argv, i, out, error);
            if (shared == tools::option_read::refused) return false;
            if (shared == tools::option_read::not_shared)
                return error = "unknown argument '" + arg + "'", false;
        }
    }

    const double scene_end = last_scene_time(out.fps);
    for (const time_point& at : out.times)
        if (at.scene && at.seconds > scene_end) {
            char text[160];
            std::snprintf(text, sizeof text,
                          "--at-scene takes seconds from 0 to %.3f (the scene clock at the show's end at %d "
                          "frames a second), not '%g'",
                          scene_end, out.fps, at.seconds);
            return error = text, false;
        }

    if (out.output.empty() && out.stats.empty()) return error = "no output: give -o FILE or -o DIR/", false;
    if (out.output.empty())
        out.kind = output_kind::none;
    else if (ends_with_separator(out.output) || is_directory(out.output))
        out.kind = output_kind::frames;
    else if (ends_with(out.output, ".png"))
        out.kind = output_kind::png;
    else
        out.kind = output_kind::video;

    if (out.single && (from_given || to_given))
        return error = "--at and --from/--to exclude each other", false;
    if (out.loading && (out.kind != output_kind::png || out.single || from_given || to_given))
        return error = "--loading draws one frame of its own: give -o FILE.png and no times", false;
    if (out.kind == output_kind::png && !out.single && !out.loading)
        return error = "a single .png needs --at or --at-scene (or give a folder: -o DIR/)", false;
    if (out.kind == output_kind::png && out.times.size() > 1)
        return error = "several times need a folder: -o DIR/", false;
    if (out.kind == output_kind::video && out.single)
        return error = "--at renders one frame: give -o FILE.png or -o DIR/", false;
    if (!out.single && out.from >= out.to) return error = "--from must lie before --to", false;
    if ((out.lossless || !out.audio) && out.kind != output_kind::video)
        return error = std::string(out.lossless ? "--lossless" : "--no-audio") + " is for a video (-o FILE)",
               false;
    if (out.lossless && !matroska(out.output))
        return error = "--lossless writes FFV1, which lives in Matroska: give -o FILE.mkv", false;
    if (out.stages && out.stats.empty()) return error = "--stages needs --stats FILE", false;
    return true;
}

} // namespace capture
