// Decode throughput of the show's JPEG decoder against libjpeg-turbo, in one
// run, on one thread: a deterministic 12-megapixel (4000 x 3000) photo-like
// picture encoded by libjpeg-turbo as baseline 4:2:0 at quality 90.
//
// The peer runs with its defaults (accurate integer transform, smooth
// upsampling, RGB output); a second line gives it the show decoder's
// choices (fast integer transform, replicated chroma, 4-byte pixels).
// Each decoder decodes the whole image `rounds` times, alternating; the
// median time of each is reported with the throughput ratio
// (this decoder / libjpeg-turbo; 1.0 = as fast).
//
// usage: bench_jpeg_decode [rounds] [write.jpg]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

#include "resources/jpeg_decoder.h"

namespace {

using bytes = std::vector<uint8_t>;
constexpr int width = 4000, height = 3000;

// Smooth shading, soft shapes, edges and grain: content whose compressed
// size per pixel is like a camera photo's at this quality.
bytes make_photo() {
    bytes rgb(size_t(width) * height * 3);
    uint32_t state = 20261208;
    for (int y = 0; y < height; ++y) {
        double fy = double(y) / height;
        for (int x = 0; x < width; ++x) {
            double fx = double(x) / width;
            double base =
                100 + 60 * std::sin(fx * 9.0 + 2 * std::sin(fy * 4.0)) * std::cos(fy * 7.0) + 50 * fy;
            double dx = fx - 0.6, dy = fy - 0.4;
            if (dx * dx + 1.7 * dy * dy < 0.03) base += 70 - 200 * (dx * dx + dy * dy);
            if ((x / 97 + y / 89) % 5 == 0) base -= 35;
            base += 18 * std::sin(x * 0.21 + y * 0.13) * std::sin(y * 0.05);
            for (int c = 0; c < 3; ++c) {
                state = state * 1664525u + 1013904223u;
                int grain = int(state >> 27) - 16; // -16..15
                double tint = c == 0 ? 25 * std::sin(fy * 5 + fx) : c == 1 ? 10 * fx : -20 * std::cos(fx * 3);
                int v = int(base + tint) + grain;
                rgb[(size_t(y) * width + x) * 3 + c] = uint8_t(std::clamp(v, 0, 255));
            }
        }
    }
    return rgb;
}

bytes encode(const bytes& rgb) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = width;
    info.image_height = height;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    info.comp_info[0].h_samp_factor = info.comp_info[0].v_samp_factor = 2;
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(&rgb[size_t(info.next_scanline) * width * 3]);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    bytes out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

unsigned decode_ours(const bytes& jpeg) {
    jpeg_decoder_memory_stream stream(jpeg.data(), jpeg.size());
    jpeg_decoder decoder(&stream, true);
    if (decoder.error_code() || decoder.start_decode() != 0) {
        std::fprintf(stderr, "decode failed: %d\n", decoder.error_code());
        std::exit(1);
    }
    unsigned sum = 0;
    const uint8_t* line;
    int length;
    while (decoder.next_line(&line, &length) == 0)
        sum += line[length / 2];
    return sum;
}

unsigned decode_turbo(const bytes& jpeg, bool matched) {
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&info, TRUE);
    if (matched) {
        info.dct_method = JDCT_IFAST;
        info.do_fancy_upsampling = FALSE;
        info.out_color_space = JCS_EXT_RGBX;
    } else {
        info.out_color_space = JCS_RGB;
    }
    jpeg_start_decompress(&info);
    const size_t stride = size_t(info.output_width) * info.output_components;
    std::vector<uint8_t> rows(stride * 16);
    JSAMPROW pointers[16];
    for (int i = 0; i < 16; ++i)
        pointers[i] = &rows[stride * i];
    unsigned sum = 0;
    while (info.output_scanline < info.output_height) {
        unsigned got = jpeg_read_scanlines(&info, pointers, 16);
        for (unsigned i = 0; i < got; ++i)
            sum += pointers[i][stride / 2];
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return sum;
}

template <class F> double seconds(F f) {
    auto start = std::chrono::steady_clock::now();
    volatile unsigned sink = f();
    (void)sink;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    bytes jpeg = encode(make_photo());
    if (argc > 2) {
        std::FILE* f = std::fopen(argv[2], "wb");
        if (f) std::fwrite(jpeg.data(), 1, jpeg.size(), f), std::fclose(f);
    }
    std::printf("image: %d x %d baseline 4:2:0 q90, %zu bytes (%.2f bits/pixel)\n", width, height,
                jpeg.size(), 8.0 * double(jpeg.size()) / (double(width) * height));

    std::vector<double> ours, turbo, turbo_matched;
    decode_ours(jpeg); // warm caches and page in the input
    decode_turbo(jpeg, false);
    for (int i = 0; i < rounds; ++i) {
        ours.push_back(seconds([&] { return decode_ours(jpeg); }));
        turbo.push_back(seconds([&] { return decode_turbo(jpeg, false); }));
        turbo_matched.push_back(seconds([&] { return decode_turbo(jpeg, true); }));
    }
    const double pixels = double(width) * height;
    double o = median(ours), t = median(turbo), m = median(turbo_matched);
    std::printf("this decoder:                   %7.1f ms  %6.1f Mpixel/s\n", o * 1e3, pixels / o / 1e6);
    std::printf("libjpeg-turbo (defaults):       %7.1f ms  %6.1f Mpixel/s\n", t * 1e3, pixels / t / 1e6);
    std::printf("libjpeg-turbo (fast, RGBX):     %7.1f ms  %6.1f Mpixel/s\n", m * 1e3, pixels / m / 1e6);
    std::printf("throughput ratio vs defaults:   %.2f\n", t / o);
    std::printf("throughput ratio vs fast RGBX:  %.2f\n", m / o);
    return 0;
}
