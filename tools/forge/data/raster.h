// A small antialiased polygon filler for the forge's pictures (title art,
// contact sheet): coverage sampled on four sub-rows per pixel row, exact in x.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "geometry.h"

namespace forge {

struct rgb {
    double r = 0, g = 0, b = 0;
};

struct canvas {
    int width = 0, height = 0;
    std::vector<rgb> pixels; // row 0 at the top

    canvas(int w, int h, rgb fill = {1, 1, 1}) : width(w), height(h), pixels(size_t(w) * h, fill) {}
    rgb& at(int x, int y) { return pixels[size_t(y) * width + x]; }
    // 8-bit RGB rows, top first.
    std::vector<uint8_t> bytes() const;
};

// Coverage of the polygons under the non-zero rule, in pixel coordinates
// (x right, y down), one value 0..1 per pixel. With `as_union` every polygon
// is first wound the same way, so overlapping faces of any winding add up
// to their union.
std::vector<float> coverage(int width, int height, const std::vector<polygon>& polygons, bool as_union);

// Paints `colour` over the canvas with the given coverage and opacity.
void paint(canvas& c, const std::vector<float>& cover, rgb colour, double opacity = 1);
// Adds `colour` times the coverage (light).
void add_light(canvas& c, const std::vector<float>& cover, rgb colour);

// Encodes with libjpeg-turbo at quality 92: 4:2:0 or 4:4:4 sampling,
// baseline or progressive.
std::string encode_jpeg(const canvas& c, bool progressive, bool subsample_420);
// Encodes as 8-bit PNG: RGB, or RGBA with one alpha value (0..1) per pixel.
std::string encode_png(const canvas& c, const std::vector<float>& alpha = {});

} // namespace forge
