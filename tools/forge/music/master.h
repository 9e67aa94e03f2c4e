// Mastering of a rendered mix: integrated loudness (ITU-R BS.1770 K-weighted,
// gated), a look-ahead peak limiter, and gain to a target loudness.
#pragma once

#include "render.h"

namespace forge_music {

// Integrated loudness in LUFS of a stereo signal at 44.1 kHz; -70 or below
// for silence.
double integrated_loudness(const std::vector<float>& left, const std::vector<float>& right);

// Largest absolute sample value of both channels.
float peak_level(const stereo& audio);

// Look-ahead limiter: applies a smooth gain so that no sample exceeds
// `ceiling` (linear); quiet passages pass unchanged.
void limit_peaks(stereo& audio, float ceiling);

struct master_report {
    double loudness_before = 0; // LUFS of the raw render
    double loudness_after = 0;  // LUFS of the master
    float peak_after = 0;       // linear
    double gain_db = 0;         // make-up gain before the limiter
    double limited_share = 0;   // share of samples the limiter lowers by more than 1 dB
    double deepest_limit_db = 0;
};

// Gains the mix to `target_lufs`, limits peaks to `ceiling_db` dBFS, fades
// the first 10 ms in and the last `fade_out` seconds out.
master_report master_mix(stereo& audio, double target_lufs, double ceiling_db, double fade_out);

} // namespace forge_music
