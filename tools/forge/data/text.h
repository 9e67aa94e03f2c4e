// Text outlines from a real font (FreeType), flattened to polygons.
#pragma once

#include <string>
#include <vector>

#include "geometry.h"

namespace forge {

struct text_shape {
    std::vector<polygon> contours; // glyph contours, holes wound against their outline
    double width = 0;              // advance of the whole line
};

// Lays out `text` (ASCII) on the baseline y = 0 from x = 0, scaled so that the
// font's capital height is `cap_height`. Throws when the font cannot be read.
// Curves are cut into `curve_steps` straight pieces each.
text_shape layout_text(const std::string& font_file, const std::string& text, double cap_height,
                       double letter_spacing = 0, int curve_steps = 6);

// The DejaVu faces that Debian's fonts-dejavu-core installs.
std::string dejavu(const char* face);

} // namespace forge
