// The three textures of the show, as JPEG files, and the desktop icon.
#pragma once

#include <string>
#include <vector>

#include "raster.h"

namespace forge {

// Seamless paper, 512 x 512, light and nearly neutral so tints show through.
canvas paper_picture();
// A soft round blob, 128 x 128, grey: its green channel doubles as alpha.
canvas blob_picture();
// Title art for the loading screen, 1024 x 1024.
canvas loading_picture(const canvas& paper);

// The desktop icon, size x size: the title art's horn and its beam on the
// tinted paper, on a rounded tile; `alpha` (0..1 per pixel) is clear
// outside the tile.
struct icon {
    canvas picture;
    std::vector<float> alpha;
};
icon icon_picture(const canvas& paper, int size);

// File contents: paper baseline 4:2:0, blob baseline 4:4:4, title art
// progressive 4:2:0.
std::string paper_file(const canvas& paper);
std::string blob_file();
std::string loading_file(const canvas& paper);

} // namespace forge
