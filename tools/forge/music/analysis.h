// Measuring a forged music file the way the show hears it: decoded whole by
// libmpg123 (gapless, 16-bit), then loudness over time, clipping and onsets.
#pragma once

#include <string>
#include <vector>

namespace forge_music {

struct decoded_audio {
    long rate = 0;
    int channels = 0;
    std::vector<float> left, right; // -1..1 (16-bit values / 32768)
    size_t clipped = 0;             // samples at the 16-bit limits
    double seconds() const { return rate ? double(left.size()) / double(rate) : 0.0; }
};

// Decodes an MP3 file. Throws std::runtime_error when it cannot be read.
decoded_audio decode_mp3_file(const std::string& path);

// RMS level in dBFS (of the mid signal) per window of `window` seconds.
std::vector<double> rms_levels(const decoded_audio& audio, double window);

// Onset strength: for each 5 ms step, how much the energy of the
// differentiated signal in the next 10 ms rises over the 40 ms before, in dB.
struct onset_curve {
    double step = 0; // seconds per entry
    std::vector<double> rise_db;
};
onset_curve onset_strength(const decoded_audio& audio);

// Strongest rise within `radius` seconds of `time`, and where it is.
struct onset_peak {
    double time = 0;
    double rise_db = -1e9;
};
onset_peak strongest_onset(const onset_curve& curve, double time, double radius);

// Strongest rise within `radius` of `time` outside the `keep_out` seconds
// around each of `accents`: the background an accent has to stand out from.
onset_peak strongest_onset_besides(const onset_curve& curve, double time, double radius,
                                   const std::vector<double>& accents, double keep_out);

// Local maxima of the curve above `threshold_db`, at least `min_gap` apart.
std::vector<onset_peak> find_onsets(const onset_curve& curve, double threshold_db, double min_gap);

} // namespace forge_music
