#include <algorithm>
#include <cmath>

#include "common.h"
#include "runtime/runtime.h"

namespace tools {
namespace {

constexpr int music_rate = 44100;

// Millionths of a frame: a whole step is exact.
int64_t counter_frequency = 60000000;
int64_t counter = 0;
double frame_start_time = 0.0; // show time at the start of the frame being run

int64_t ticks(double t) { return std::llround(t * double(counter_frequency)); }

} // namespace

void use_scripted_clock(platform::platform& sys) {
    sys.perf_counter = [] { return counter; };
    sys.perf_frequency = [] { return counter_frequency; };
    sys.sound_position = [](int) {
        return uint32_t(std::llround(std::max(frame_start_time, 0.0) * music_rate));
    };
    sys.sound_frequency = [](int) { return music_rate; };
}

void decode_music_only(platform::platform& sys) {
    const platform::platform& quiet = platform::null_platform();
    const platform::platform& native = platform::native_platform();
    sys.sound_init = quiet.sound_init;
    sys.sound_load = native.sound_load;
    sys.sound_sample_length = native.sound_sample_length;
    sys.sound_set_loop = quiet.sound_set_loop;
    sys.sound_enable_spectrum = quiet.sound_enable_spectrum;
    sys.sound_play = quiet.sound_play;
    sys.sound_set_position = quiet.sound_set_position;
    sys.sound_spectrum = quiet.sound_spectrum;
    sys.sound_set_volume = quiet.sound_set_volume;
    sys.sound_close = quiet.sound_close;
}

void set_scripted_rate(int fps) { counter_frequency = int64_t(fps) * 1000000; }

void pick_music(int music) { counter = music == 2 ? 1 : 0; }

// The timer restarts, the counter moves by the step.
void prepare_frame(double from, double to) {
    runtime_state& rt = runtime();
    timer_reset();
    rt.last_reading = timer_read();
    rt.show_time = from;
    frame_start_time = from;
    counter += ticks(to) - ticks(from);
}

} // namespace tools
