// The table's sound entries, the same whichever stand-in is built (SDL2 on
// the desktop, Web Audio in the browser).
#include "platform/native_sound.h"

#include "platform/platform.h"

namespace platform::native_sound {

void install(platform& p) {
    p.sound_init = init;
    p.sound_preload = preload;
    p.sound_load = load;
    p.sound_set_loop = set_loop;
    p.sound_enable_spectrum = enable_spectrum;
    p.sound_play = play;
    p.sound_set_position = set_position;
    p.sound_set_paused = set_paused;
    p.sound_position = position;
    p.sound_frequency = frequency;
    p.sound_sample_length = sample_length;
    p.sound_spectrum = spectrum;
    p.sound_set_volume = set_volume;
    p.sound_close = close;
}

} // namespace platform::native_sound
