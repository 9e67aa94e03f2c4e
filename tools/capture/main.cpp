// quorlaxen-capture: the show rendered frame-exact, off-screen, to PNG files
// or to a video with its music.
//
// The show's own start-up, frame driver and production part run unchanged;
// only entries of the platform table are replaced: the performance counter
// advances by exactly one step per frame, the music position follows the
// show clock (so the driver's pull toward the music is nil), nothing is
// played, no message box waits for an answer, the clipboard is never touched.
// The GL context comes from EGL without any window system where it can give
// one (a pbuffer stands for the window), else from a window on a private
// Xvfb server started here, so the program runs the same with or without a
// display.
#include "gl/gl.h"
#include <fcntl.h>
#include <png.h>
#include <signal.h>
#include <unistd.h>
#if !defined(_WIN32)
#include <sys/resource.h>
#include <sys/wait.h>

#include "platform/egl_headless.h"
#endif

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "frame_writer.h"
#include "options.h"
#include "parts/parts.h"
#include "platform/platform.h"
#include "process_stats.h"
#include "runtime/runtime.h"
#include "shell/shell.h"
#include "xvfb.h"

namespace {

using clock_type = std::chrono::steady_clock;
namespace fs = std::filesystem;

bool rendering = false; // start-up is over
#if !defined(_WIN32)
pid_t encoder = -1;
#endif
FILE* encoder_pipe = nullptr;
FILE* encoder_log = nullptr; // ffmpeg's messages, for the one line a failure gives

// A file goes by a temporary name in its folder until it is whole; a failed
// or interrupted run takes it away. Plain arrays, for the signal handler:
// the video's name is set before the writing thread starts, a PNG's by that
// thread while `png_partial_set` is false.
char video_partial[4096] = "";
char png_partial[4096] = "";
std::atomic<bool> png_partial_set{false};

// The frame writer while it runs: an end on any road lets it finish the
// frame it holds first, so nothing writes to a closed pipe or leaves a file
// half written.
capture::frame_writer* running_writer = nullptr;

void remove_partial_files() {
    if (video_partial[0]) unlink(video_partial);
    if (png_partial_set) unlink(png_partial);
}

[[noreturn]] void finish(int code) {
    if (running_writer) capture::stop_writer(*running_writer);
    if (encoder_pipe) {
        std::fclose(encoder_pipe);
        encoder_pipe = nullptr;
    }
#if !defined(_WIN32)
    if (encoder > 0) {
        kill(encoder, SIGTERM);
        waitpid(encoder, nullptr, 0);
    }
#endif
    remove_partial_files();
    capture::stop_xvfb();
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(code); // the show releases nothing on the way out either
}

// Interrupted: only what is safe in a signal handler. ffmpeg, in the same
// process group, gets the interrupt itself.
void on_signal(int) {
    remove_partial_files();
    capture::stop_xvfb();
    _exit(130);
}

[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "quorlaxen-capture: %s\n", message.c_str());
    finish(1);
}

// The show's failure roads end the process through exit_process after their
// message; for the capture every such end is a failure.
void capture_exit(int code) {
    if (!rendering)
        std::fprintf(stderr, "quorlaxen-capture: the show could not start (exit code %d), nothing written\n",
                     code);
    else
        std::fprintf(stderr, "quorlaxen-capture: the show ended before the last frame\n");
    finish(1);
}

// Nobody is there to answer: the message goes to standard error, a question
// is answered yes.
int show_message_box(const char* text, const char* caption, unsigned style) {
    std::fprintf(stderr, "quorlaxen-capture: %s: %s\n", caption, text);
    return (style & 0xF) == platform::mb_yesno ? platform::id_yes : platform::id_ok;
}

void script_platform() {
    platform::platform& sys = platform::sys();
    const platform::platform& quiet = platform::null_platform();
    tools::use_scripted_clock(sys);
    sys.cursor_pos = quiet.cursor_pos;
    sys.message_box = show_message_box;
    sys.set_clipboard_text = quiet.set_clipboard_text;
    sys.disable_screen_saver = quiet.disable_screen_saver;
    sys.swap_buffers = quiet.swap_buffers; // frames are read back, never shown
    tools::decode_music_only(sys);
    sys.exit_process = capture_exit;
}

using tools::on_grid;
using tools::segment;

std::vector<segment> make_plan(const capture::options& o) {
    std::vector<segment> plan;
    if (o.single) {
        for (const capture::time_point& at : o.times)
            plan.push_back(at.scene ? tools::scene_time_segment(at.seconds, o.fps)
                                    : tools::show_time_segment({on_grid(at.seconds, o.fps)}, o.fps));
    } else {
        plan.push_back(tools::show_time_segment(tools::range_times(o.from, o.to, o.fps), o.fps));
    }
    for (segment& s : plan)
        tools::keep_inside_show(s);
    return plan;
}

// `final_name` with a leading dot and the process number before its
// extension, in the same folder (so the rename is atomic and ffmpeg still
// sees the container's extension).
std::string partial_name(const std::string& final_name) {
    const fs::path path(final_name);
    return (path.parent_path() /
            ("." + path.stem().string() + ".partial-" + std::to_string(getpid()) + path.extension().string()))
        .string();
}

// Fails at once when nothing can be created in `folder` (read-only, no
// permission, no room for a new entry), before any rendering.
void check_writable(const std::string& folder, const std::string& for_what) {
    const std::string probe = partial_name((fs::path(folder) / "write-check").string());
    const int fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0) fail("cannot write " + for_what + " in " + folder + ": " + std::strerror(errno));
    close(fd);
    unlink(probe.c_str());
}

// Written under a temporary name and renamed when whole; false with the
// system's reason in `reason`.
bool write_png(const std::string& file_name, int width, int height, const unsigned char* rgb,
               std::string& reason) {
    std::snprintf(png_partial, sizeof png_partial, "%s", partial_name(file_name).c_str());
    png_partial_set = true;
    auto failed = [&] {
        reason = errno ? std::strerror(errno) : "write failed";
        unlink(png_partial);
        png_partial_set = false;
        return false;
    };
    errno = 0;
    FILE* file = std::fopen(png_partial, "wb");
    if (!file) return failed();
    // libpng's own handlers print; the caller's message says it in one line.
    png_structp png = png_create_write_struct(
        PNG_LIBPNG_VER_STRING, nullptr, [](png_structp p, png_const_charp) { png_longjmp(p, 1); },
        [](png_structp, png_const_charp) {});
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        const int saved = errno;
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        errno = saved;
        return failed();
    }
    png_init_io(png, file);
    png_set_compression_level(png, 3); // speed over size for long frame runs
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y)
        png_write_row(png, const_cast<png_bytep>(rgb + size_t(y) * width * 3));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    if (std::fclose(file) != 0 || std::rename(png_partial, file_name.c_str()) != 0) return failed();
    png_partial_set = false;
    return true;
}

#if !defined(_WIN32)
// ffmpeg reading raw RGB frames on its standard input, the music from
// `start` for `length` seconds muxed in.
void start_encoder(const capture::options& o, const std::string& music, double start, double length) {
    int fds[2];
    if (pipe(fds) != 0) fail("cannot make a pipe for ffmpeg");
    // A frame is 3.7 MB at 1280x720: a larger pipe (where the system allows
    // it) hands it over in a few writes instead of sixty.
    fcntl(fds[1], F_SETPIPE_SZ, 1 << 20);
    const std::string size = std::to_string(o.width) + "x" + std::to_string(o.height);
    const std::string rate = std::to_string(o.fps);
    char ss[32], tt[32];
    std::snprintf(ss, sizeof ss, "%.6f", start);
    std::snprintf(tt, sizeof tt, "%.6f", length);
    std::vector<std::string> args = {"ffmpeg",     "-hide_banner", "-nostdin", "-loglevel", "error", "-y",
                                     "-f",         "rawvideo",     "-pix_fmt", "bgra",      "-s",    size,
                                     "-framerate", rate,           "-i",       "pipe:0"};
    if (o.audio) args.insert(args.end(), {"-ss", ss, "-t", tt, "-i", music});
    args.insert(args.end(), {"-map", "0:v:0"});
    // Matroska keeps no edit list: AAC's priming samples would shift the
    // picture by 23 ms there, FLAC has none.
    if (o.audio && capture::matroska(o.output))
        args.insert(args.end(), {"-map", "1:a:0", "-c:a", "flac"});
    else if (o.audio)
        args.insert(args.end(), {"-map", "1:a:0", "-c:a", "aac", "-b:a", "192k"});
    // Lossless: FFV1 keeps the RGB of every frame exactly (alpha dropped);
    // each frame is its own key frame, so any cut or join is exact too.
    if (o.lossless)
        args.insert(args.end(),
                    {"-c:v", "ffv1", "-level", "3", "-g", "1", "-slices", "4", "-pix_fmt", "bgr0"});
    else
        args.insert(args.end(), {"-c:v", "libx264", "-preset", "veryfast", "-crf", "18", "-pix_fmt",
                                 "yuv420p", "-movflags", "+faststart"});
    args.push_back(partial_name(o.output)); // ffmpeg writes the file under its temporary name
    std::snprintf(video_partial, sizeof video_partial, "%s", args.back().c_str());
    encoder_log = std::tmpfile();
    encoder = fork();
    if (encoder < 0) fail("cannot start ffmpeg");
    if (encoder == 0) {
        // The encoder at the lowest priority: the renderer is the capture's
        // critical path, and frames queue for the encoder (in the pipe and in
        // its own look-ahead) while it waits, so it works in the time the
        // renderer leaves a core idle, such as while one thread builds the next
        // frame's scene, instead of taking the cores from the renderer's.
        setpriority(PRIO_PROCESS, 0, 19); // where refused: slower, the same video
        dup2(fds[0], 0);
        close(fds[0]);
        close(fds[1]);
        if (encoder_log) dup2(fileno(encoder_log), 2);
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execvp("ffmpeg", argv.data());
        std::fprintf(stderr, "quorlaxen-capture: cannot run ffmpeg (is it installed?)\n");
        _exit(127);
    }
    close(fds[0]);
    encoder_pipe = fdopen(fds[1], "wb");
    if (!encoder_pipe) fail("cannot write to ffmpeg");
}

// Waits for ffmpeg to end; true when it wrote its file.
bool wait_encoder() {
    std::fclose(encoder_pipe);
    encoder_pipe = nullptr;
    int status = 0;
    waitpid(encoder, &status, 0);
    encoder = -1;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

#else
// The Windows build writes PNG frames only (options refuse a video before
// anything starts).
void start_encoder(const capture::options&, const std::string&, double, double) {
    fail("video is not made by the Windows build");
}

bool wait_encoder() { return false; }
#endif

// Ends the run with one line: ffmpeg's last message says what went wrong.
[[noreturn]] void encoder_failed(const std::string& output) {
    std::string said, line;
    if (encoder_log) {
        std::rewind(encoder_log);
        char buffer[1024];
        while (std::fgets(buffer, sizeof buffer, encoder_log)) {
            line = buffer;
            while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
                line.pop_back();
            if (!line.empty()) said = line;
        }
    }
    fail("ffmpeg could not write " + output + ": " + (said.empty() ? "it stopped" : said));
}

// The video is whole once ffmpeg has ended well; only then does it get its name.
void finish_encoder(const std::string& output) {
    if (!wait_encoder()) encoder_failed(output);
    if (std::rename(video_partial, output.c_str()) != 0)
        fail("cannot name " + output + ": " + std::strerror(errno));
    video_partial[0] = '\0';
}

using capture::process_cpu_seconds;
using capture::resident_mb;

// Stage split of the frame being rendered (--stages): processor time of the
// whole process (every renderer thread) per stage, the GL finished at every
// boundary so each stage's work is its own. Processor time, not wall time:
// on a shared machine it is the steadier measure of the work.
constexpr const char* stage_names[] = {"window clear", "target clear", "backdrop", "scene",
                                       "glow clear",   "resolve",      "bend",     "present"};
constexpr int stage_count = int(sizeof stage_names / sizeof stage_names[0]);
double stage_ms[stage_count] = {};
int stage_current = -1;
double stage_started = 0.0;

void on_frame_stage(const char* stage) {
    glFinish();
    const double now = process_cpu_seconds();
    if (stage_current >= 0) stage_ms[stage_current] += (now - stage_started) * 1000.0;
    stage_current = -1;
    for (int i = 0; i < stage_count; ++i)
        if (std::strcmp(stage_names[i], stage) == 0) stage_current = i;
    stage_started = now;
}

std::string clock_text(double seconds) {
    const long s = long(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

} // namespace

int main(int argc, char** argv) {
    const auto process_start = clock_type::now();
    capture::options o;
    std::string error;
    if (!capture::parse_options(argc, argv, o, error)) {
        if (error.empty()) {
            std::fputs(capture::usage_text, stdout);
            return 0;
        }
        std::fprintf(stderr, "quorlaxen-capture: %s\n%s", error.c_str(), capture::usage_text);
        return 2;
    }
    // Paths are the caller's; the program moves to its own folder below.
    if (!o.output.empty()) {
        const bool folder = capture::ends_with_separator(o.output);
        o.output = fs::absolute(o.output).lexically_normal().string();
        if (folder && !capture::ends_with_separator(o.output)) o.output += '/';
    }
    if (!o.stats.empty()) o.stats = fs::absolute(o.stats).string();
    if (o.kind == capture::output_kind::frames) {
        std::error_code ec;
        fs::create_directories(o.output, ec);
        if (!fs::is_directory(o.output))
            fail("cannot make the folder " + o.output + (ec ? ": " + ec.message() : ""));
        if (!capture::ends_with_separator(o.output)) o.output += '/';
    } else if (!o.output.empty()) {
        const fs::path parent = fs::path(o.output).parent_path();
        if (!fs::is_directory(parent)) fail("no folder " + parent.string() + " for " + o.output);
    }
    if (o.kind == capture::output_kind::frames) check_writable(o.output, "frames");
    if (o.kind == capture::output_kind::png || o.kind == capture::output_kind::video)
        check_writable(fs::path(o.output).parent_path().string(), fs::path(o.output).filename().string());
#if defined(_WIN32)
    if (o.kind == capture::output_kind::video)
        fail("the Windows build writes PNG frames, not video: give -o DIR/ (ffmpeg joins them anywhere)");
#else
    if (o.kind == capture::output_kind::video && !capture::on_path("ffmpeg"))
        fail("video needs ffmpeg, which is not installed (the ffmpeg package)");
#endif

    signal(SIGINT, on_signal);
    signal(SIGTERM, on_signal);
#if !defined(_WIN32)
    signal(SIGPIPE, SIG_IGN); // a failed ffmpeg shows as a failed write
    signal(SIGXFSZ, SIG_IGN); // past a file-size limit a write fails (ffmpeg's too) instead of killing
#endif

    platform::platform& sys = platform::sys();
    // Scripted first: a folder that cannot be entered is a line on standard
    // error here, never a box nobody is there to answer.
    script_platform();
    sys.enter_executable_folder(argv[0]);
    // The one music file this run plays decodes while Xvfb and the show start.
    sys.sound_preload(o.music == 2 ? music_file_b : music_file_a);

    bool egl = false;
    const auto egl_start = clock_type::now();
#if !defined(_WIN32)
    if (o.gl != capture::gl_source::xvfb) {
        std::string egl_platform, why;
        egl = platform::use_headless_egl(sys, egl_platform, why);
        if (!egl && o.gl == capture::gl_source::egl) fail("--gl egl: " + why);
        if (!egl && !o.quiet)
            std::fprintf(stderr, "quorlaxen-capture: %s; drawing on Xvfb instead\n", why.c_str());
    }
#endif
    const auto xvfb_start = clock_type::now();
    const double egl_seconds = std::chrono::duration<double>(xvfb_start - egl_start).count();
    if (!egl && !capture::start_xvfb(o.width, o.height, error)) fail(error);
    const double xvfb_seconds = std::chrono::duration<double>(clock_type::now() - xvfb_start).count();

    tools::apply_view_options(o, the_show_context().settings);
    tools::pick_music(o.music);
    // The shader compiler's listing goes to standard output during start-up;
    // the capture keeps its standard output for the file it wrote.
    std::fflush(stdout);
    const int saved_stdout = dup(1);
    const int listing = o.quiet ? open(capture::null_device, O_WRONLY) : dup(2);
    if (listing >= 0) dup2(listing, 1);
    const bool opened = shell::open_gl_window(shell::window_title, o.width, o.height, 32, false);
    std::fflush(stdout);
    if (saved_stdout >= 0) dup2(saved_stdout, 1);
    if (!opened)
        fail(egl ? "cannot make an OpenGL context and pbuffer through EGL"
                 : "cannot open a window with an OpenGL context on the private X server");
    part_start* part = static_cast<part_start*>(runtime().production);
    if (!part) fail("the show did not start");
    rendering = true;

    if (o.loading) {
        // The loading screen drawn again, as the start-up drew it before the loads.
        double no_step = 0.0;
        runtime().loader->render(&no_step, the_show_context(), runtime().loading_record);
        glFinish();
        std::vector<unsigned char> rows(size_t(o.width) * o.height * 3), flipped(rows.size());
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, o.width, o.height, GL_RGB, GL_UNSIGNED_BYTE, rows.data());
        const size_t row = size_t(o.width) * 3;
        for (int y = 0; y < o.height; ++y)
            std::copy_n(&rows[size_t(o.height - 1 - y) * row], row, &flipped[size_t(y) * row]);
        std::string reason;
        if (!write_png(o.output, o.width, o.height, flipped.data(), reason))
            fail("cannot write " + o.output + ": " + reason);
        if (!o.quiet) std::printf("%s\n", o.output.c_str());
        finish(0);
    }
    const std::vector<segment> plan = make_plan(o);
    runtime_state& rt = runtime();
    tools::set_scripted_rate(o.fps);

    size_t output_count = 0;
    for (const segment& s : plan)
        for (const tools::planned_frame& f : s.frames)
            output_count += f.output;
    const double first_output = plan.front().frames[1].show_time; // after the unwritten frame

    if (o.kind == capture::output_kind::video) {
        const std::string music =
            (fs::current_path() / (o.music == 2 ? music_file_b : music_file_a)).string();
        start_encoder(o, music, first_output, double(output_count) / o.fps);
    }
    FILE* stats = nullptr;
    // The benchmark preloads a counter of draw calls; its columns appear when it is there.
    const capture::draw_call_counter draw_calls = capture::find_draw_call_counter();
    if (o.stages) frame_stage_mark = on_frame_stage;
    if (!o.stats.empty()) {
        stats = std::fopen(o.stats.c_str(), "w");
        if (!stats) fail("cannot write " + o.stats);
        std::fprintf(stats, "frame,show_time,scene_time,render_ms,cpu_ms,rss_mb%s",
                     draw_calls ? ",begins,lists,arrays" : "");
        if (o.stages)
            for (const char* name : stage_names) {
                std::string column = name;
                std::replace(column.begin(), column.end(), ' ', '_');
                std::fprintf(stats, ",%s_ms", column.c_str());
            }
        std::fputc('\n', stats);
    }

    const bool progress = !o.quiet && output_count > 1;
    const bool terminal = isatty(2);
    // Frames are read back top-down where the GL can turn the rows over
    // itself, and written on the writer's thread while the next one renders.
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    const bool invert = GLEW_MESA_pack_invert;
    if (invert) glPixelStorei(GL_PACK_INVERT_MESA, GL_TRUE);
    capture::frame_writer writer;
    const int width = o.width, height = o.height;
    // Video frames are read in the window's own byte order, a row copy for
    // the GL (RGB takes it a conversion pass on this thread); ffmpeg turns
    // either into its YUV at the same cost.
    const bool video = o.kind == capture::output_kind::video;
    const GLenum pixel_format = video ? GL_BGRA : GL_RGB;
    const size_t pixel_bytes = video ? 4 : 3;
    const std::string output = o.output;
    capture::frame_sink sink;
    // Set by the writing thread before it reports the failed frame.
    std::string write_reason;
    if (o.kind == capture::output_kind::png || o.kind == capture::output_kind::frames)
        sink = [=, &write_reason](const unsigned char* rows, const std::string& name) {
            return write_png(output + name, width, height, rows, write_reason);
        };
    else if (video)
        sink = [=](const unsigned char* rows, const std::string&) {
            const size_t bytes = size_t(width) * height * pixel_bytes;
            return std::fwrite(rows, 1, bytes, encoder_pipe) == bytes;
        };
    if (sink) {
        capture::start_writer(writer, size_t(width) * pixel_bytes, size_t(height), !invert, 3, sink);
        running_writer = &writer;
    }
    auto check_writer = [&] {
        const std::string failed = capture::failed_frame(writer);
        if (failed.empty()) return;
        if (o.kind == capture::output_kind::video) {
            capture::stop_writer(writer);
            wait_encoder(); // it has stopped: its message says why
            encoder_failed(o.output);
        }
        fail("cannot write " + output + (o.kind == capture::output_kind::png ? "" : failed) + ": " +
             write_reason);
    };

    double load_seconds = 0.0, load_cpu_seconds = 0.0;
    const auto loop_start = clock_type::now();
    auto last_report = loop_start;
    size_t done = 0;
    for (const segment& s : plan) {
        part->scene_time = s.start_scene;
        double previous = s.start_show;
        for (const tools::planned_frame& f : s.frames) {
            // Each frame starts from its planned time and steps by exactly the
            // planned amount.
            tools::prepare_frame(previous, f.show_time);
            previous = f.show_time;
            const auto started = clock_type::now();
            const double cpu_started = process_cpu_seconds();
            std::fill(std::begin(stage_ms), std::end(stage_ms), 0.0);
            stage_current = -1;
            if (o.floor)
                draw_floor_frame(*part, the_show_context());
            else
                run_frame();
            glFinish();
            const auto rendered = clock_type::now();
            const double cpu_ms = (process_cpu_seconds() - cpu_started) * 1000.0;
            if (load_seconds == 0.0) {
                load_seconds = std::chrono::duration<double>(rendered - process_start).count();
                load_cpu_seconds = process_cpu_seconds();
            }
            unsigned long begins = 0, lists = 0, arrays = 0;
            if (draw_calls) draw_calls(&begins, &lists, &arrays);
            if (!f.output) continue;
            if (stats) {
                std::fprintf(stats, "%zu,%.6f,%.6f,%.3f,%.3f,%.1f", done, rt.show_time, part->scene_time,
                             std::chrono::duration<double, std::milli>(rendered - started).count(), cpu_ms,
                             resident_mb());
                if (draw_calls) std::fprintf(stats, ",%lu,%lu,%lu", begins, lists, arrays);
                if (o.stages)
                    for (double ms : stage_ms)
                        std::fprintf(stats, ",%.3f", ms);
                std::fputc('\n', stats);
            }

            if (sink) {
                // Frames of a range by number, frames at chosen times by their time.
                char name[40] = "";
                if (o.kind == capture::output_kind::frames) {
                    if (o.single)
                        std::snprintf(name, sizeof name, "%s-%07.3f.png", f.scene ? "frame" : "show",
                                      f.label);
                    else
                        std::snprintf(name, sizeof name, "frame-%06zu.png", done);
                }
                size_t buffer = 0;
                unsigned char* pixels = capture::next_buffer(writer, buffer);
                check_writer();
                glReadBuffer(GL_BACK);
                glReadPixels(0, 0, o.width, o.height, pixel_format, GL_UNSIGNED_BYTE, pixels);
                capture::write_frame(writer, buffer, name);
            }
            ++done;

            const auto now = clock_type::now();
            if (progress &&
                (now - last_report > std::chrono::seconds(terminal ? 1 : 10) || done == output_count)) {
                last_report = now;
                const double elapsed = std::chrono::duration<double>(now - loop_start).count();
                const double rate = done / std::max(elapsed, 1e-9);
                std::fprintf(stderr, "%sframes %zu/%zu  %.1f frames/s  %s left%s", terminal ? "\r" : "", done,
                             output_count, rate, clock_text(double(output_count - done) / rate).c_str(),
                             terminal ? "   " : "\n");
            }
        }
    }
    capture::stop_writer(writer);
    check_writer();
    if (progress && terminal) std::fputc('\n', stderr);
    if (stats) std::fclose(stats);
    if (o.kind == capture::output_kind::video) finish_encoder(o.output);

    const double wall = std::chrono::duration<double>(clock_type::now() - process_start).count();
    if (!o.stats.empty()) {
        std::printf(
            "load_s=%.3f\nload_cpu_s=%.3f\nxvfb_s=%.3f\negl=%d\negl_s=%.3f\npeak_rss_mb=%.1f\nframes=%zu\n"
            "wall_s=%.3f\n",
            load_seconds, load_cpu_seconds, egl ? 0.0 : xvfb_seconds, egl ? 1 : 0, egl_seconds,
            capture::peak_resident_mb(), done, wall);
    }
    if (!o.output.empty() && !o.quiet) std::printf("%s\n", o.output.c_str());
    finish(0);
}
