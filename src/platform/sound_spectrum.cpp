#include "platform/sound_spectrum.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace platform::native_sound {

void open_spectrum(spectrum_analyser& a) {
    constexpr double pi = 3.14159265358979323846;
    constexpr int n = spectrum_analyser::size;
    a.in = fftwf_alloc_real(n);
    a.out = fftwf_alloc_complex(n / 2 + 1);
    a.plan = fftwf_plan_dft_r2c_1d(n, a.in, a.out, FFTW_ESTIMATE);
    float sum = 0.0f;
    for (int i = 0; i < n; ++i) {
        a.window[i] = float(0.5 - 0.5 * std::cos(2.0 * pi * i / (n - 1)));
        sum += a.window[i];
    }
    a.window_sum = sum;
}

const float* analyse(spectrum_analyser& a) {
    if (!a.plan) return silent_spectrum(a);
    constexpr int n = spectrum_analyser::size;
    for (int i = 0; i < n; ++i)
        a.in[i] *= a.window[i];
    fftwf_execute(a.plan);
    const float norm = 2.0f / a.window_sum;
    for (int k = 0; k < n / 2; ++k) {
        const float re = a.out[k][0], im = a.out[k][1];
        a.magnitudes[k] = std::min(1.0f, std::sqrt(re * re + im * im) * norm);
    }
    return a.magnitudes;
}

const float* silent_spectrum(spectrum_analyser& a) {
    std::memset(a.magnitudes, 0, sizeof a.magnitudes);
    return a.magnitudes;
}

void close_spectrum(spectrum_analyser& a) {
    if (a.plan) fftwf_destroy_plan(a.plan);
    fftwf_free(a.in);
    fftwf_free(a.out);
    a.plan = nullptr;
    a.in = nullptr;
    a.out = nullptr;
}

} // namespace platform::native_sound
