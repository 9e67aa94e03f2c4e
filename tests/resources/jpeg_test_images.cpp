#include "jpeg_test_images.h"

#include <gtest/gtest.h>

#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

#include "resources/jpeg_decoder.h"

namespace jpeg_test {
namespace {

struct error_manager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

void error_exit(j_common_ptr info) {
    char text[JMSG_LENGTH_MAX];
    info->err->format_message(info, text);
    ADD_FAILURE() << "libjpeg-turbo: " << text;
    std::longjmp(reinterpret_cast<error_manager*>(info->err)->jump, 1);
}

} // namespace

bytes make_pixels(int width, int height, int channels, unsigned seed) {
    bytes out(size_t(width) * height * channels);
    uint32_t state = seed * 2654435761u + 12345;
    auto noise = [&state] {
        state = state * 1664525u + 1013904223u;
        return int(state >> 24) % 25 - 12;
    };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            double fx = double(x) / width, fy = double(y) / height;
            double base = 110 + 70 * std::sin(fx * 7.1 + seed) * std::cos(fy * 5.3) + 40 * fx;
            double dx = fx - 0.4, dy = fy - 0.55;
            if (dx * dx + dy * dy < 0.06) base += 60;        // a bright disc with a hard edge
            if (x % 37 < 3 || (y / 11) % 7 == 0) base -= 50; // thin dark lines
            for (int c = 0; c < channels; ++c) {
                double tint = c == 0 ? 20 * std::sin(fy * 9) : c == 1 ? -15 * fx : 25 * std::cos(fx * 4);
                int value = int(base + tint) + noise();
                out[(size_t(y) * width + x) * channels + c] = uint8_t(value < 0     ? 0
                                                                      : value > 255 ? 255
                                                                                    : value);
            }
        }
    return out;
}

bytes encode(const bytes& pixels, const encode_options& o) {
    jpeg_compress_struct info{};
    error_manager errors{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = error_exit;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    if (setjmp(errors.jump)) {
        jpeg_destroy_compress(&info);
        std::free(buffer);
        return {};
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = JDIMENSION(o.width);
    info.image_height = JDIMENSION(o.height);
    info.input_components = o.grey ? 1 : 3;
    info.in_color_space = o.grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    if (o.colour != encode_options::coding::ycc) {
        jpeg_set_colorspace(&info, JCS_RGB); // also names the components 'R', 'G', 'B'
        if (o.colour == encode_options::coding::rgb_named) info.write_Adobe_marker = FALSE;
    }
    if (o.rgb_names)
        for (int c = 0; c < 3; ++c)
            info.comp_info[c].component_id = "RGB"[c];
    if (o.linear_scale)
        jpeg_set_linear_quality(&info, o.linear_scale, FALSE);
    else
        jpeg_set_quality(&info, o.quality, TRUE);
    if (!o.grey) {
        info.comp_info[0].h_samp_factor = o.h;
        info.comp_info[0].v_samp_factor = o.v;
        for (int c = 1; c < 3; ++c)
            info.comp_info[c].h_samp_factor = info.comp_info[c].v_samp_factor = 1;
    }
    if (o.progressive) jpeg_simple_progression(&info);
    info.restart_interval = unsigned(o.restart_interval);
    jpeg_start_compress(&info, TRUE);
    const int stride = o.width * info.input_components;
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(&pixels[size_t(info.next_scanline) * stride]);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    bytes out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

bytes encode(const encode_options& o) {
    return encode(make_pixels(o.width, o.height, o.grey ? 1 : 3, o.seed), o);
}

image decode_reference(const bytes& jpeg) {
    image out;
    jpeg_decompress_struct info{};
    error_manager errors{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = error_exit;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        out.error = -1;
        return out;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&info, TRUE);
    info.dct_method = JDCT_ISLOW;
    info.do_fancy_upsampling = FALSE;
    info.out_color_space = info.num_components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_start_decompress(&info);
    out.width = int(info.output_width);
    out.height = int(info.output_height);
    out.bytes_per_pixel = info.output_components;
    while (info.output_scanline < info.output_height) {
        bytes line(size_t(out.width) * out.bytes_per_pixel);
        JSAMPROW row = line.data();
        jpeg_read_scanlines(&info, &row, 1);
        out.lines.push_back(std::move(line));
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return out;
}

image decode_ours(const bytes& jpeg, bool integer_transform) {
    image out;
    jpeg_decoder_memory_stream stream(jpeg.data(), jpeg.size());
    jpeg_decoder decoder(&stream, integer_transform);
    if ((out.error = decoder.error_code()) != 0) return out;
    out.width = decoder.width();
    out.height = decoder.height();
    out.bytes_per_pixel = decoder.bytes_per_pixel();
    if (decoder.start_decode() != 0) {
        out.error = decoder.error_code();
        return out;
    }
    for (;;) {
        const uint8_t* line = nullptr;
        int length = 0;
        int status = decoder.next_line(&line, &length);
        if (status == 1) break;
        if (status != 0) {
            out.error = decoder.error_code();
            break;
        }
        out.lines.emplace_back(line, line + length);
    }
    return out;
}

difference compare(const image& ours, const image& reference) {
    difference d;
    long total = 0, signed_total = 0, count = 0;
    int channels = reference.bytes_per_pixel;
    for (size_t y = 0; y < ours.lines.size() && y < reference.lines.size(); ++y)
        for (int x = 0; x < reference.width; ++x)
            for (int c = 0; c < channels; ++c) {
                int a = ours.lines[y][size_t(x) * ours.bytes_per_pixel + c];
                int b = reference.lines[y][size_t(x) * channels + c];
                signed_total += a - b;
                int diff = std::abs(a - b);
                d.max = std::max(d.max, diff);
                total += diff;
                count++;
            }
    d.mean = count ? double(total) / double(count) : 0;
    d.signed_mean = count ? double(signed_total) / double(count) : 0;
    return d;
}

bytes segment(int marker, const bytes& payload) {
    bytes out = {0xFF, uint8_t(marker), uint8_t((payload.size() + 2) >> 8), uint8_t(payload.size() + 2)};
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

bytes concat(std::initializer_list<bytes> parts) {
    bytes out;
    for (const bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

bytes dqt8(int id, int value) {
    bytes payload = {uint8_t(id)};
    payload.insert(payload.end(), 64, uint8_t(value));
    return segment(0xDB, payload);
}

bytes sof(int marker, int width, int height, const std::vector<std::array<int, 3>>& components,
          int precision) {
    bytes payload = {uint8_t(precision),  uint8_t(height >> 8), uint8_t(height),
                     uint8_t(width >> 8), uint8_t(width),       uint8_t(components.size())};
    for (const auto& c : components)
        payload.insert(payload.end(), {uint8_t(c[0]), uint8_t(c[1]), uint8_t(c[2])});
    return segment(marker, payload);
}

bytes dht(int table_class, int id, const std::vector<int>& counts, const bytes& symbols) {
    bytes payload = {uint8_t(table_class << 4 | id)};
    for (int i = 0; i < 16; ++i)
        payload.push_back(uint8_t(i < int(counts.size()) ? counts[size_t(i)] : 0));
    payload.insert(payload.end(), symbols.begin(), symbols.end());
    return segment(0xC4, payload);
}

bytes sos(const std::vector<std::array<int, 2>>& components, int ss, int se, int ah_al) {
    bytes payload = {uint8_t(components.size())};
    for (const auto& c : components)
        payload.insert(payload.end(), {uint8_t(c[0]), uint8_t(c[1])});
    payload.insert(payload.end(), {uint8_t(ss), uint8_t(se), uint8_t(ah_al)});
    return segment(0xDA, payload);
}

grey_parts zero_grey(int width, int height) {
    grey_parts p;
    p.dqt = dqt8(0);
    p.sof = sof(0xC0, width, height, {{1, 0x11, 0}});
    p.dht_dc = dht(0, 0, {1}, {0x00});
    p.dht_ac = dht(1, 0, {1}, {0x00});
    p.sos = sos({{1, 0x00}});
    // Two 0-bits per block, the last byte padded with 1-bits.
    long blocks = long((width + 7) / 8) * ((height + 7) / 8);
    long bits = 2 * blocks;
    p.data.assign(size_t((bits + 7) / 8), 0);
    if (bits % 8) p.data.back() = uint8_t(0xFF >> (bits % 8));
    return p;
}

int decode_error(const bytes& jpeg) {
    jpeg_decoder_memory_stream stream(jpeg.data(), jpeg.size());
    jpeg_decoder decoder(&stream);
    if (decoder.error_code()) return decoder.error_code();
    if (decoder.start_decode() != 0) return decoder.error_code();
    const uint8_t* line;
    int length;
    for (;;) {
        int status = decoder.next_line(&line, &length);
        if (status == 1) return 0;
        if (status != 0) return decoder.error_code();
    }
}

} // namespace jpeg_test
