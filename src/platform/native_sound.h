// The sound stand-in (an SDL2 audio device on the desktop, Web Audio in the
// browser; mpg123 whole-file decode, FFTW3 spectrum): the entries the
// platform table points at. Internal to this folder.
#pragma once

#include <cstdint>

namespace platform {
struct platform;
}

namespace platform::native_sound {

// Points the table's sound entries at the functions below.
void install(platform& p);

bool init(int mix_rate, int channels);
void preload(const char* file_name);
int load(const char* file_name);
void set_loop(int sample, bool loop);
void enable_spectrum(bool on);
void play(int sample);
void set_position(int channel, uint32_t sample_pos);
void set_paused(int channel, bool paused);
uint32_t position(int channel);
int frequency(int channel);
uint32_t sample_length(int sample);
const float* spectrum();
void set_volume(int volume);
void close();

#if defined(_WIN32)
// Device frames at `rate` that the default output device keeps beyond a
// shared-mode client's buffer (WASAPI's stream latency); 0 when not known.
int device_latency_frames(int rate);
#endif

} // namespace platform::native_sound
