#include "platform/platform.h"
#include "runtime/runtime.h"

namespace {
constexpr const char* sound_caption = "Quorlaxen  ";
constexpr unsigned sound_box_style = platform::mb_ok | platform::mb_iconinformation;
} // namespace

void start_sound() {
    platform::platform& p = platform::sys();
    runtime_state& rt = runtime();

    if (!p.sound_init(44100, 32)) {
        p.message_box("Problem initializing FMod. \nProgram will now exit.", sound_caption, sound_box_style);
        p.exit_process(1);
    }

    // Which version plays is chance: the parity of the counter right now.
    const char* file_name = p.perf_counter() % 2 != 0 ? music_file_b : music_file_a;
    const int sample = p.sound_load(file_name);
    if (sample == 0) {
        p.message_box("Problem initializing FMod. \nNo sound file.", sound_caption, sound_box_style);
        p.exit_process(0);
    }
    rt.music_sample = sample;

    p.sound_set_loop(sample, false);
    p.sound_enable_spectrum(true);
    p.sound_play(sample);
    p.sound_set_position(0, 0);
}
