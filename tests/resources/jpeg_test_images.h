// Test pictures for the JPEG decoder: deterministic photo-like images
// encoded and decoded by libjpeg-turbo (the reference), decoding with the
// show's decoder, and a small writer of hand-made JPEG segments for broken
// files.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace jpeg_test {

using bytes = std::vector<uint8_t>;

struct encode_options {
    int width = 64;
    int height = 48;
    bool grey = false;
    int h = 2, v = 2; // luma sampling factors; chroma is 1 x 1
    bool progressive = false;
    int quality = 85;
    int restart_interval = 0; // in MCUs
    // Non-zero: tables scaled by this percentage without the baseline
    // limit, so values above 255 make 16-bit tables.
    int linear_scale = 0;
    unsigned seed = 1;
    // How colour is coded: YCbCr under a JFIF marker, or RGB told by an
    // Adobe marker (transform 0) or only by components named 'R', 'G', 'B'.
    enum class coding { ycc, rgb_adobe, rgb_named };
    coding colour = coding::ycc;
    bool rgb_names = false; // components named 'R', 'G', 'B' whatever the coding
};

// Deterministic RGB (or grey) pixels: gradients, soft shapes, edges and noise.
bytes make_pixels(int width, int height, int channels, unsigned seed);

// Encodes `pixels` (width * height * channels) with libjpeg-turbo.
bytes encode(const bytes& pixels, const encode_options& options);
bytes encode(const encode_options& options);

struct image {
    int width = 0, height = 0;
    int bytes_per_pixel = 0; // 1 grey, 3 libjpeg RGB, 4 this decoder's colour
    int error = 0;           // this decoder: first non-zero error code
    std::vector<bytes> lines;
};

// libjpeg-turbo's accurate decode: integer islow transform, plain
// (replicating) upsampling, RGB output.
image decode_reference(const bytes& jpeg);
// The show's decoder over a memory stream, every line as handed out.
image decode_ours(const bytes& jpeg, bool integer_transform = true);

// Largest and mean absolute difference of red, green and blue (or grey)
// between this decoder's output and the reference's.
struct difference {
    int max = 0;
    double mean = 0;        // of absolute differences
    double signed_mean = 0; // ours minus reference
};
difference compare(const image& ours, const image& reference);

// Hand-made segments.
bytes segment(int marker, const bytes& payload);
bytes concat(std::initializer_list<bytes> parts);
// A whole valid grey baseline file of width x height whose blocks are all
// zero: one code per table ("0" = DC difference 0, "0" = end of block).
struct grey_parts {
    bytes soi = {0xFF, 0xD8};
    bytes dqt;
    bytes sof;
    bytes dht_dc;
    bytes dht_ac;
    bytes sos;
    bytes data;
    bytes eoi = {0xFF, 0xD9};
    bytes all() const { return concat({soi, dqt, sof, dht_dc, dht_ac, sos, data, eoi}); }
};
grey_parts zero_grey(int width, int height);
bytes dqt8(int id, int value = 1);
bytes sof(int marker, int width, int height, const std::vector<std::array<int, 3>>& components,
          int precision = 8);
bytes dht(int table_class, int id, const std::vector<int>& counts, const bytes& symbols);
bytes sos(const std::vector<std::array<int, 2>>& components, int ss = 0, int se = 63, int ah_al = 0);

// Runs the decoder over the whole file: the first error code met, 0 when it
// decodes to the end.
int decode_error(const bytes& jpeg);

} // namespace jpeg_test
