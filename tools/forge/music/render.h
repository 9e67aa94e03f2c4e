// Renders a score with libfluidsynth and a General MIDI SoundFont into
// stereo float samples at 44.1 kHz, deterministically: one thread, no audio
// driver, every event applied on the synthesizer's 64-sample block grid.
#pragma once

#include "score.h"

#include <string>
#include <vector>

namespace forge_music {

constexpr int sample_rate = 44100;

struct stereo {
    std::vector<float> left;
    std::vector<float> right;
};

// Renders `s` (its whole `length`). Throws std::runtime_error when the
// synthesizer cannot start or the SoundFont cannot be read.
stereo render_score(const score& s, const std::string& soundfont_path);

} // namespace forge_music
