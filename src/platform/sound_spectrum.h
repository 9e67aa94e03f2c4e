// The 512-bin magnitude spectrum of the last 1024 mono values heard (FFTW3,
// Hann window), which both sound stand-ins give the frame driver. Internal
// to this folder.
#pragma once

struct fftwf_plan_s;

namespace platform::native_sound {

struct spectrum_analyser {
    static constexpr int size = 1024; // values in; size / 2 magnitudes out
    float* in = nullptr;              // filled by the caller, oldest first
    float (*out)[2] = nullptr;
    fftwf_plan_s* plan = nullptr;
    float window[size] = {};
    float window_sum = 1.0f;
    float magnitudes[size / 2] = {};
};

void open_spectrum(spectrum_analyser& a);
// Windows `in`, transforms it and returns the magnitudes, 0..1: a
// full-scale sine in the middle of a bin reads about 1.
const float* analyse(spectrum_analyser& a);
// All magnitudes 0 (no music, or the spectrum turned off).
const float* silent_spectrum(spectrum_analyser& a);
void close_spectrum(spectrum_analyser& a);

} // namespace platform::native_sound
