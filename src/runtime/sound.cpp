#include "platform/messages.h"
#include "platform/platform.h"
#include "runtime/runtime.h"

void start_sound() {
    platform::platform& p = platform::sys();
    runtime_state& rt = runtime();

    if (!p.sound_init(44100, 32)) {
        platform::show_message_box(platform::messages::sound_system);
        p.exit_process(1);
    }

    // Which version plays is chance: the parity of the counter right now.
    // When that one cannot be loaded the other still makes a show.
    const bool second = p.perf_counter() % 2 != 0;
    int sample = p.sound_load(second ? music_file_b : music_file_a);
    if (sample == 0) sample = p.sound_load(second ? music_file_a : music_file_b);
    if (sample == 0) {
        platform::show_message_box(platform::messages::no_sound_file);
        p.exit_process(0);
    }
    rt.music_sample = sample;

    p.sound_set_loop(sample, false);
    p.sound_enable_spectrum(true);
    p.sound_play(sample);
    p.sound_set_position(0, 0);
}

void preload_music() {
    platform::platform& p = platform::sys();
    p.sound_preload(music_file_a);
    p.sound_preload(music_file_b);
}
