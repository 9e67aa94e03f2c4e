// The three textures of the show, as JPEG files.
#pragma once

#include <string>

#include "raster.h"

namespace forge {

// Seamless paper, 512 x 512, light and nearly neutral so tints show through.
canvas paper_picture();
// A soft round blob, 128 x 128, grey: its green channel doubles as alpha.
canvas blob_picture();
// Title art for the loading screen, 1024 x 1024.
canvas loading_picture(const canvas& paper);

// File contents: paper baseline 4:2:0, blob baseline 4:4:4, title art
// progressive 4:2:0.
std::string paper_file(const canvas& paper);
std::string blob_file();
std::string loading_file(const canvas& paper);

} // namespace forge
