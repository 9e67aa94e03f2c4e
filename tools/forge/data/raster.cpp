#include "raster.h"

#include <cstddef>
#include <cstdio>

#include <jpeglib.h> // needs FILE and size_t first
#include <png.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdlib>
#include <stdexcept>

namespace forge {

std::vector<uint8_t> canvas::bytes() const {
    std::vector<uint8_t> out;
    out.reserve(pixels.size() * 3);
    auto q = [](double v) { return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0)); };
    for (const rgb& p : pixels) {
        out.push_back(q(p.r));
        out.push_back(q(p.g));
        out.push_back(q(p.b));
    }
    return out;
}

namespace {

struct edge {
    double x0, y0, x1, y1;
    int dir;
};

double signed_area(const polygon& p) {
    double a = 0;
    for (size_t i = 0; i < p.size(); ++i) {
        p2 u = p[i], v = p[(i + 1) % p.size()];
        a += u.x * v.y - v.x * u.y;
    }
    return a;
}

// Adds coverage of the span [a, b) (pixel units) times `weight` to a row.
void add_span(std::vector<float>& row, double a, double b, float weight) {
    int w = static_cast<int>(row.size());
    a = std::max(a, 0.0);
    b = std::min(b, double(w));
    if (b <= a) return;
    int ia = static_cast<int>(a), ib = static_cast<int>(b);
    if (ia == ib) {
        row[ia] += weight * float(b - a);
        return;
    }
    row[ia] += weight * float(ia + 1 - a);
    for (int x = ia + 1; x < ib && x < w; ++x)
        row[x] += weight;
    if (ib < w) row[ib] += weight * float(b - ib);
}

} // namespace

std::vector<float> coverage(int width, int height, const std::vector<polygon>& polygons, bool as_union) {
    std::vector<edge> edges;
    for (const polygon& p : polygons) {
        if (p.size() < 3) continue;
        bool flip = as_union && signed_area(p) < 0;
        for (size_t i = 0; i < p.size(); ++i) {
            p2 a = p[i], b = p[(i + 1) % p.size()];
            if (flip) std::swap(a, b);
            if (a.y == b.y) continue;
            if (a.y < b.y)
                edges.push_back({a.x, a.y, b.x, b.y, 1});
            else
                edges.push_back({b.x, b.y, a.x, a.y, -1});
        }
    }
    std::sort(edges.begin(), edges.end(), [](const edge& a, const edge& b) { return a.y0 < b.y0; });
    std::vector<float> out(size_t(width) * height, 0.0f);
    std::vector<float> row(width);
    std::vector<const edge*> active;
    std::vector<std::pair<double, int>> hits;
    size_t next = 0;
    constexpr int sub = 4;
    for (int y = 0; y < height; ++y) {
        std::fill(row.begin(), row.end(), 0.0f);
        for (int s = 0; s < sub; ++s) {
            double sy = y + (s + 0.5) / sub;
            while (next < edges.size() && edges[next].y0 <= sy)
                active.push_back(&edges[next++]);
            active.erase(
                std::remove_if(active.begin(), active.end(), [&](const edge* e) { return e->y1 <= sy; }),
                active.end());
            hits.clear();
            for (const edge* e : active) {
                if (e->y0 > sy) continue;
                double t = (sy - e->y0) / (e->y1 - e->y0);
                hits.push_back({e->x0 + t * (e->x1 - e->x0), e->dir});
            }
            std::sort(hits.begin(), hits.end());
            int winding = 0;
            for (size_t i = 0; i + 1 < hits.size(); ++i) {
                winding += hits[i].second;
                if (winding != 0) add_span(row, hits[i].first, hits[i + 1].first, 1.0f / sub);
            }
        }
        for (int x = 0; x < width; ++x)
            out[size_t(y) * width + x] = std::min(row[x], 1.0f);
    }
    return out;
}

void paint(canvas& c, const std::vector<float>& cover, rgb colour, double opacity) {
    for (size_t i = 0; i < c.pixels.size(); ++i) {
        double a = cover[i] * opacity;
        if (a <= 0) continue;
        rgb& p = c.pixels[i];
        p.r += (colour.r - p.r) * a;
        p.g += (colour.g - p.g) * a;
        p.b += (colour.b - p.b) * a;
    }
}

void add_light(canvas& c, const std::vector<float>& cover, rgb colour) {
    for (size_t i = 0; i < c.pixels.size(); ++i) {
        rgb& p = c.pixels[i];
        p.r += colour.r * cover[i];
        p.g += colour.g * cover[i];
        p.b += colour.b * cover[i];
    }
}

namespace {
// libjpeg reports failures through a callback that must not return; jump
// back to the encoder rather than unwind through the library's C frames.
struct jpeg_errors {
    jpeg_error_mgr manager;
    std::jmp_buf back;
    char message[JMSG_LENGTH_MAX];
};
void jpeg_fail(j_common_ptr info) {
    auto* errors = reinterpret_cast<jpeg_errors*>(info->err);
    (*info->err->format_message)(info, errors->message);
    std::longjmp(errors->back, 1);
}
} // namespace

std::string encode_jpeg(const canvas& c, bool progressive, bool subsample_420) {
    std::vector<uint8_t> pixels = c.bytes();
    jpeg_compress_struct info;
    jpeg_errors errors;
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = jpeg_fail;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    if (setjmp(errors.back)) {
        jpeg_destroy_compress(&info);
        std::free(buffer);
        throw std::runtime_error(std::string("JPEG encoding failed: ") + errors.message);
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(c.width);
    info.image_height = static_cast<JDIMENSION>(c.height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 92, TRUE);
    info.dct_method = JDCT_ISLOW; // the exact integer transform: same bytes on every machine
    int h = subsample_420 ? 2 : 1;
    info.comp_info[0].h_samp_factor = h;
    info.comp_info[0].v_samp_factor = h;
    info.comp_info[1].h_samp_factor = info.comp_info[1].v_samp_factor = 1;
    info.comp_info[2].h_samp_factor = info.comp_info[2].v_samp_factor = 1;
    if (progressive) jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = pixels.data() + size_t(info.next_scanline) * c.width * 3;
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    std::string out(reinterpret_cast<char*>(buffer), size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return out;
}

namespace {
void png_append(png_structp png, png_bytep data, png_size_t length) {
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), length);
}
void png_no_flush(png_structp) {}
} // namespace

std::string encode_png(const canvas& c, const std::vector<float>& alpha) {
    const bool with_alpha = !alpha.empty();
    if (with_alpha && alpha.size() != c.pixels.size())
        throw std::runtime_error("PNG alpha does not match the picture");
    const int channels = with_alpha ? 4 : 3;
    std::vector<uint8_t> rgb = c.bytes(), rows;
    if (with_alpha) {
        rows.reserve(c.pixels.size() * 4);
        for (size_t i = 0; i < c.pixels.size(); ++i) {
            rows.insert(rows.end(), rgb.begin() + i * 3, rgb.begin() + i * 3 + 3);
            rows.push_back(static_cast<uint8_t>(std::lround(std::clamp(alpha[i], 0.0f, 1.0f) * 255.0f)));
        }
    } else {
        rows = std::move(rgb);
    }
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        throw std::runtime_error("PNG encoding failed");
    }
    png_set_write_fn(png, &out, png_append, png_no_flush);
    png_set_IHDR(png, info, c.width, c.height, 8, with_alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < c.height; ++y)
        png_write_row(png, rows.data() + size_t(y) * c.width * channels);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

} // namespace forge
