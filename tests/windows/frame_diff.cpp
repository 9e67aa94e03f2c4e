// frame_diff A.png B.png [MIN_SHARE | exact]: compares two frames pixel by
// pixel and prints the share of pixels whose channels are all within 2
// levels and the largest difference. Exit 0 when the sizes match and the
// share reaches MIN_SHARE (default 1: every value within 2 levels), or with
// "exact" when every channel of every pixel, alpha included, is equal after
// decoding; 1 otherwise, 2 when a file cannot be read.
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

bool read_pixels(const char* file_name, png_uint_32 format, png_image& image,
                 std::vector<unsigned char>& pixels) {
    image = {};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, file_name)) return false;
    image.format = format;
    pixels.resize(PNG_IMAGE_SIZE(image));
    return png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) != 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: frame_diff A.png B.png [MIN_SHARE]\n");
        return 2;
    }
    const bool exact = argc > 3 && std::strcmp(argv[3], "exact") == 0;
    const double min_share = argc > 3 && !exact ? std::atof(argv[3]) : 1.0;
    const png_uint_32 format = exact ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    const int channels = exact ? 4 : 3;
    png_image a, b;
    std::vector<unsigned char> pa, pb;
    for (int k = 1; k <= 2; ++k)
        if (!read_pixels(argv[k], format, k == 1 ? a : b, k == 1 ? pa : pb)) {
            std::fprintf(stderr, "frame_diff: cannot read %s\n", argv[k]);
            return 2;
        }
    if (a.width != b.width || a.height != b.height) {
        std::printf("%s: size %ux%u against %ux%u\n", argv[2], a.width, a.height, b.width, b.height);
        return 1;
    }
    size_t near = 0, pixels = size_t(a.width) * a.height;
    int largest = 0;
    for (size_t i = 0; i < pixels; ++i) {
        int worst = 0;
        for (int c = 0; c < channels; ++c)
            worst = std::max(worst, std::abs(int(pa[channels * i + c]) - int(pb[channels * i + c])));
        near += worst <= 2;
        largest = std::max(largest, worst);
    }
    const double share = double(near) / double(std::max<size_t>(pixels, 1));
    std::printf("%s: %.4f%% of pixels within 2 levels, largest difference %d\n", argv[2], 100.0 * share,
                largest);
    return (exact ? largest == 0 : share >= min_share) ? 0 : 1;
}
