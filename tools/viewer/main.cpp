// quorlaxen-viewer: see viewer.h. The show's own start-up, frame driver and
// production part run in a resizable window. Entries of the platform table
// are replaced as the capture program replaces them while a seek runs its
// frames; while the show plays they are the real timer and the music's real
// position, so the show clock is pulled toward the music as in the show.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include <unistd.h>

#include "parts/parts.h"
#include "platform/platform.h"
#include "resources/resources.h"
#include "runtime/runtime.h"
#include "scenes/scene_script.h"
#include "shell/shell.h"
#include "viewer.h"

namespace {

using clock_type = std::chrono::steady_clock;

bool started = false; // start-up is over
bool silent = false;  // no sound device: the clock runs on the timer alone

void say(const std::string& text) {
    std::fprintf(stderr, "quorlaxen-viewer: %s\n", text.c_str());
    std::fflush(stderr);
}

// Resident memory of this process, kilobytes.
long resident_kb() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

long long monotonic_ns(clock_type::time_point t) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

// For measurements (QUORLAXEN_VIEWER_CLOCK=FILE): one line per frame played,
// "frame READ PRESENTED SHOW_TIME RSS_KB", READ and PRESENTED the
// CLOCK_MONOTONIC nanoseconds just before the frame driver reads its clocks
// and just after the buffer swap; "start NS RSS_KB" first and "end NS
// RSS_KB" when the viewer quits.
FILE* clock_log = nullptr;

[[noreturn]] void quit(int code) {
    if (clock_log) {
        std::fprintf(clock_log, "end %lld %ld\n", monotonic_ns(clock_type::now()), resident_kb());
        std::fclose(clock_log);
    }
    shell::destroy_gl_window();
    platform::native_platform().exit_process(code); // closes the sound and SDL
    std::abort();
}

// The show's failure roads end through exit_process after their message.
void viewer_exit(int code) {
    if (!started) {
        say("the show could not start (exit code " + std::to_string(code) + ")");
        std::fflush(nullptr);
        std::_Exit(1);
    }
    platform::native_platform().exit_process(code);
}

// Messages go to standard error; nothing waits for an answer.
int message_box(const char* text, const char* caption, unsigned style) {
    say(std::string(caption) + ": " + text);
    return (style & 0xF) == platform::mb_yesno ? platform::id_yes : platform::id_ok;
}

bool sound_init(int mix_rate, int channels) {
    if (!platform::native_platform().sound_init(mix_rate, channels)) {
        silent = true;
        say("no sound device: playing silent, the clock on the timer");
    }
    return true;
}

// The show starts its music at start-up; here it waits for the first frame
// the viewer shows, silently.
void sound_play(int sample) {
    const platform::platform& native = platform::native_platform();
    native.sound_set_volume(0);
    native.sound_play(sample);
    native.sound_set_paused(0, true);
    native.sound_set_volume(255);
}

platform::window_failure create_window(const platform::window_request& request) {
    platform::window_request resizable = request;
    resizable.resizable = true;
    return platform::native_platform().create_window(resizable);
}

void set_up_platform() {
    platform::platform& sys = platform::sys();
    const platform::platform& quiet = platform::null_platform();
    sys.cursor_pos = quiet.cursor_pos; // the capture's cursor: the frames match its
    sys.message_box = message_box;
    sys.set_clipboard_text = quiet.set_clipboard_text;
    sys.create_window = create_window;
    sys.sound_init = sound_init;
    sys.sound_play = sound_play;
    sys.exit_process = viewer_exit;
    // The start-up runs on the scripted clock: the music is the one asked for.
    tools::use_scripted_clock(sys);
}

// While the show plays: the real timer and the music's real position.
void use_real_clock() {
    platform::platform& sys = platform::sys();
    const platform::platform& native = platform::native_platform();
    sys.perf_counter = native.perf_counter;
    sys.perf_frequency = native.perf_frequency;
    sys.sound_position = native.sound_position;
    // A channel without a frequency leaves the frame driver on the timer.
    sys.sound_frequency = silent ? [](int) { return 0; } : native.sound_frequency;
}

// The music from the sample of show time t, playing or held.
void music_to(double t, bool play) {
    platform::platform& sys = platform::sys();
    const int frequency = sys.sound_frequency(0);
    if (frequency <= 0) return;
    sys.sound_set_position(0, uint32_t(std::llround(std::max(t, 0.0) * frequency)));
    sys.sound_set_paused(0, !play);
}

// How far the next frame would take the show clock at most: the timer since
// the last reading, the pull toward the music when the music is ahead.
double next_show_time() {
    platform::platform& sys = platform::sys();
    const runtime_state& rt = runtime();
    const int64_t frequency = sys.perf_frequency();
    double t = rt.show_time;
    if (frequency > 0) t += double(sys.perf_counter() - rt.timer_last_counter) / double(frequency);
    const int music_rate = sys.sound_frequency(0);
    if (music_rate > 0 && rt.sync_enabled && rt.show_time <= 240.0)
        t += std::max(0.0, (double(sys.sound_position(0)) / music_rate - rt.show_time) * 0.1);
    return t + 0.02; // the time that passes before the frame reads the clock
}

std::string title() {
    const runtime_state& rt = runtime();
    const part_start* part = static_cast<const part_start*>(rt.production);
    const double scene = part ? std::max(part->scene_time, 0.0) : 0.0;
    char text[128];
    std::snprintf(text, sizeof text, "quorlaxen-viewer \u2014 show %.2f s \u00b7 scene %.2f s",
                  std::max(rt.show_time, 0.0), scene);
    // The script's rows drawing this frame, so a change can be found by row.
    const std::string rows = part ? drawing_rows(part->scene_time) : std::string();
    return rows.empty() ? std::string(text) : std::string(text) + " \u00b7 rows " + rows;
}

} // namespace

int main(int argc, char** argv) {
    viewer::options o;
    std::string error;
    if (!viewer::parse_options(argc, argv, o, error)) {
        if (error.empty()) {
            std::fputs(viewer::usage_text, stdout);
            return 0;
        }
        std::fprintf(stderr, "quorlaxen-viewer: %s\n%s", error.c_str(), viewer::usage_text);
        return 2;
    }
    // For tests and scripts: each paused frame is also written to this file.
    const char* frame_file = std::getenv("QUORLAXEN_VIEWER_FRAME");
    if (const char* name = std::getenv("QUORLAXEN_VIEWER_CLOCK")) {
        clock_log = std::fopen(name, "w");
        if (!clock_log) say(std::string("cannot write ") + name);
        if (clock_log) std::setvbuf(clock_log, nullptr, _IOLBF, 256); // followed while it is written
        if (clock_log)
            std::fprintf(clock_log, "start %lld %ld\n", monotonic_ns(clock_type::now()), resident_kb());
    }

    platform::platform& sys = platform::sys();
    sys.enter_executable_folder(argv[0]);
    set_up_platform();
    tools::apply_view_options(o, the_show_context().settings);
    tools::pick_music(o.music);
    if (!shell::open_gl_window("quorlaxen-viewer", o.width, o.height, 32, false)) {
        say("cannot open a window with an OpenGL context");
        return 1;
    }
    if (!runtime().production) {
        say("the show did not start");
        return 1;
    }
    started = true;
    tools::set_scripted_rate(viewer::fps);
    use_real_clock();

    viewer::kept_frame kept;
    viewer::make_kept_frame(kept, o.width, o.height);
    viewer::source_watch sources;
    viewer::watch_folder(sources, "cgeffects");
    viewer::controls keys;
    keys.paused = o.paused;

    int window_width = o.width, window_height = o.height;
    bool minimised = false, shift = false;
    bool seek_pending = true;
    double seek_to = o.at;   // where the next seek goes
    double paused_at = o.at; // show time of the frame shown while paused
    auto last_present = clock_type::now();
    std::string shown_title;

    auto frame_shown = [&] {
        sys.swap_buffers();
        last_present = clock_type::now();
        const std::string t = title();
        if (t != shown_title) sys.set_window_title(t.c_str());
        shown_title = t;
    };

    for (;;) {
        platform::message m;
        bool resized = false;
        while (sys.peek_message(&m)) {
            switch (m.id) {
            case platform::wm_quit:
            case platform::wm_close:
                quit(0);
            case platform::wm_size:
                if (m.lparam != 0) {
                    window_width = int(m.lparam & 0xFFFF);
                    window_height = int((m.lparam >> 16) & 0xFFFF);
                    resized = true;
                }
                break;
            case platform::wm_activate:
                minimised = ((m.wparam >> 16) & 0xFFFF) != 0;
                break;
            case platform::wm_keyup:
                if (m.wparam == 0x10) shift = false;
                break;
            case platform::wm_syskeydown:
                if (m.wparam == platform::vk_f4 && (m.lparam & (int64_t(1) << 29))) quit(0);
                break;
            case platform::wm_keydown: {
                if (m.wparam == 0x10) shift = true;
                const double now = seek_pending ? seek_to : keys.paused ? paused_at : runtime().show_time;
                const bool was_paused = keys.paused;
                const viewer::command c = viewer::on_key(keys, unsigned(m.wparam), shift, now);
                if (!c.note.empty()) {
                    std::printf("%s\n", c.note.c_str());
                    std::fflush(stdout);
                }
                switch (c.what) {
                case viewer::command::quit:
                    quit(0);
                case viewer::command::seek:
                case viewer::command::pause:
                    seek_pending = true;
                    seek_to = c.to;
                    if (c.what == viewer::command::pause) music_to(c.to, false);
                    break;
                case viewer::command::resume:
                    if (seek_pending) break; // plays on from the frame about to be drawn
                    if (was_paused) {
                        timer_reset();
                        runtime().last_reading = timer_read();
                        music_to(paused_at, true);
                    }
                    break;
                case viewer::command::none:
                    break;
                }
                break;
            }
            default: // the show's own mouse and keys stay out of the frames
                break;
            }
        }

        for (const std::string& file : viewer::changed_sources(sources)) {
            const effect_reload r = reload_effect_file(the_show_context(), file);
            if (r.programs == 0) continue;
            if (!r.listing.empty()) std::fputs(r.listing.c_str(), stderr);
            say(r.failed ? file + " does not compile: the last good program stays" : file + " reloaded");
            if (keys.paused && !seek_pending && !r.failed) seek_pending = true, seek_to = paused_at;
        }

        if (minimised) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            continue;
        }

        if (!keys.paused && !seek_pending) {
            // The show ends past its length: the viewer stops at its last
            // frame instead; a looped range starts again before its end.
            const double next = next_show_time();
            if (keys.looping && next >= keys.mark_out) {
                seek_pending = true;
                seek_to = keys.mark_in;
            } else if (next > tools::show_length) {
                keys.paused = true;
                seek_pending = true;
                seek_to = tools::show_length;
                music_to(seek_to, false);
            }
        }

        if (seek_pending) {
            seek_pending = false;
            viewer::render_at(seek_to);
            if (keys.paused) {
                paused_at = seek_to;
                viewer::keep(kept);
                if (frame_file && !viewer::write_ppm(kept, frame_file))
                    say(std::string("cannot write ") + frame_file);
                viewer::show_kept(kept, window_width, window_height);
            } else {
                music_to(seek_to, true);
                if (window_width != kept.width || window_height != kept.height) {
                    viewer::keep(kept);
                    viewer::show_kept(kept, window_width, window_height);
                }
            }
            frame_shown();
            continue;
        }

        if (!keys.paused) {
            const auto read = clock_type::now();
            run_frame();
            if (window_width != kept.width || window_height != kept.height) {
                viewer::keep(kept);
                viewer::show_kept(kept, window_width, window_height);
            }
            frame_shown();
            if (clock_log)
                std::fprintf(clock_log, "frame %lld %lld %.9f %ld\n", monotonic_ns(read),
                             monotonic_ns(last_present), runtime().show_time, resident_kb());
            continue;
        }

        // Paused: the kept frame is shown again now and then (and at once
        // after a resize); nothing is drawn anew.
        if (resized || clock_type::now() - last_present > std::chrono::milliseconds(200)) {
            viewer::show_kept(kept, window_width, window_height);
            frame_shown();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}
