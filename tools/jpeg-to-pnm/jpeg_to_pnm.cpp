// jpeg-to-pnm IN.jpg OUT.pnm
//
// Decodes IN.jpg with the show's decoder the way the texture loader does
// (file stream, integer transform, every line top first) and writes a binary
// PPM for colour images or PGM for grey ones. On failure prints the decoder's
// error code and exits 1. For checking the decoder against others by hand.
#include <cstdio>
#include <vector>

#include "resources/jpeg_decoder.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: jpeg-to-pnm IN.jpg OUT.pnm\n");
        return 1;
    }
    const char* in = argv[1];
    const char* out = argv[2];
    jpeg_decoder_file_stream stream;
    if (stream.open_file(in)) {
        std::fprintf(stderr, "jpeg-to-pnm: cannot open %s\n", in);
        return 1;
    }
    jpeg_decoder decoder(&stream, true);
    if (decoder.error_code() != 0 || decoder.start_decode() != 0) {
        std::fprintf(stderr, "jpeg-to-pnm: %s: error %d\n", in, decoder.error_code());
        return 1;
    }
    const int w = decoder.width(), h = decoder.height();
    const bool grey = decoder.bytes_per_pixel() == 1;
    const int channels = grey ? 1 : 3;
    std::vector<unsigned char> pixels(size_t(w) * h * channels);
    for (int y = 0; y < h; ++y) {
        const uint8_t* line = nullptr;
        int length = 0;
        if (decoder.next_line(&line, &length) != 0) {
            std::fprintf(stderr, "jpeg-to-pnm: %s: error %d at line %d\n", in, decoder.error_code(), y);
            return 1;
        }
        unsigned char* row = &pixels[size_t(y) * w * channels];
        for (int x = 0; x < w; ++x) {
            if (grey) {
                row[x] = line[x];
            } else {
                row[3 * x] = line[4 * x];
                row[3 * x + 1] = line[4 * x + 1];
                row[3 * x + 2] = line[4 * x + 2];
            }
        }
    }
    std::FILE* file = std::fopen(out, "wb");
    if (!file) {
        std::fprintf(stderr, "jpeg-to-pnm: cannot write %s\n", out);
        return 1;
    }
    std::fprintf(file, "P%d\n%d %d\n255\n", grey ? 5 : 6, w, h);
    bool ok = std::fwrite(pixels.data(), 1, pixels.size(), file) == pixels.size();
    ok = std::fclose(file) == 0 && ok;
    if (!ok) {
        std::fprintf(stderr, "jpeg-to-pnm: cannot write %s\n", out);
        return 1;
    }
    return 0;
}
