// MP3 encoding with LAME: 44.1 kHz joint stereo VBR, with the LAME info tag
// (so that gapless decoders return exactly the encoded number of samples)
// and ID3 title and artist tags.
#pragma once

#include "render.h"

#include <string>
#include <vector>

namespace forge_music {

struct mp3_tags {
    std::string title;
    std::string artist;
    std::string album;
    std::string year;
};

// Encodes the whole signal into an MP3 file image. Throws std::runtime_error
// when LAME refuses the parameters or fails.
std::vector<unsigned char> encode_mp3(const stereo& audio, const mp3_tags& tags, int vbr_quality);

} // namespace forge_music
