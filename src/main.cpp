// Process entry of the show. The shell's entry runs its whole life.
//
// For measuring the picture against the sound heard (QUORLAXEN_SHOW_CLOCK=
// FILE): one line per frame shown, "frame READ PRESENTED SHOW_TIME 0", READ
// and PRESENTED the performance counter in nanoseconds at the frame's first
// reading of it and just after the buffer swap; "start NS 0" first, and
// "music FILE" when a music file is loaded (which version plays is chance). The same
// lines as the viewer's log, so the same report reads both; here on the
// system's own counter (on Windows and under Wine, QueryPerformanceCounter),
// which is what the Windows build has where the viewer is not built.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"
#include "runtime/runtime.h"
#include "shell/shell.h"

namespace {

FILE* clock_log = nullptr;
int64_t (*counter)() = nullptr;
void (*swap)() = nullptr;
int (*load)(const char*) = nullptr;
int64_t frame_read_ns = -1; // none since the last swap

int64_t nanoseconds(int64_t count) {
    const int64_t frequency = platform::sys().perf_frequency();
    if (frequency <= 0) return 0;
    return count / frequency * 1000000000 + count % frequency * 1000000000 / frequency;
}

int64_t logged_counter() {
    const int64_t now = counter();
    if (frame_read_ns < 0) frame_read_ns = nanoseconds(now);
    return now;
}

void logged_swap() {
    swap();
    // A swap with no reading of the counter since the last one (a minimised window) shows no new frame.
    if (frame_read_ns >= 0) {
        std::fprintf(clock_log, "frame %lld %lld %.6f 0\n", (long long)frame_read_ns,
                     (long long)nanoseconds(counter()), runtime().show_time);
        std::fflush(clock_log); // followed while it is written
    }
    frame_read_ns = -1;
}

int logged_load(const char* file_name) {
    const int sample = load(file_name);
    if (sample != 0) {
        std::fprintf(clock_log, "music %s\n", file_name);
        std::fflush(clock_log);
    }
    return sample;
}

void log_frames(const char* file) {
    clock_log = std::fopen(file, "wb"); // plain line ends on Windows too
    if (!clock_log) return;
    platform::platform& p = platform::sys();
    counter = p.perf_counter;
    swap = p.swap_buffers;
    p.perf_counter = logged_counter;
    p.swap_buffers = logged_swap;
    load = p.sound_load;
    p.sound_load = logged_load;
    std::fprintf(clock_log, "start %lld 0\n", (long long)nanoseconds(counter()));
    std::fflush(clock_log);
}

} // namespace

int main(int argc, char** argv) {
    if (const char* file = std::getenv("QUORLAXEN_SHOW_CLOCK")) log_frames(file);
    return shell::run(argc, argv);
}
