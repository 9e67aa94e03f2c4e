// forge-contact-sheet: one review picture of the forged data as it lies on
// disk: every mesh as a black silhouette on paper white, seen from the plane
// the show presents it in (from each, for meshes shown in two), the three
// textures, and frames of the outline shape.
//
// Usage: forge-contact-sheet SHOW_DIR OUT.png

#include <cstddef>
#include <cstdio>

#include <jpeglib.h> // needs FILE and size_t first

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "raster.h"
#include "scenes/scene_assets.h"
#include "text.h"

using namespace forge;

namespace {

struct obj_group {
    std::vector<std::vector<v3>> faces;
};

// Reads the forge's own OBJ output: "o", "v" and "f a// b// c//" lines.
std::vector<obj_group> read_obj(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot open " + path);
    std::vector<v3> vertices;
    std::vector<obj_group> groups;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream s(line);
        std::string tag;
        s >> tag;
        if (tag == "o") {
            groups.emplace_back();
        } else if (tag == "v") {
            v3 v;
            s >> v.x >> v.y >> v.z;
            vertices.push_back(v);
        } else if (tag == "f") {
            if (groups.empty()) groups.emplace_back();
            std::vector<v3> f;
            std::string ref;
            while (s >> ref) {
                size_t index = std::stoul(ref);
                if (index < 1 || index > vertices.size()) throw std::runtime_error(path + ": bad index");
                f.push_back(vertices[index - 1]);
            }
            groups.back().faces.push_back(f);
        }
    }
    return groups;
}

// Screen axes of a view, each a model axis with a sign: "x", "-z" ...
double axis_value(const std::string& axis, v3 p) {
    double sign = axis[0] == '-' ? -1 : 1;
    char a = axis.back();
    return sign * (a == 'x' ? p.x : a == 'y' ? p.y : p.z);
}

struct sheet_entry {
    mesh scene_assets::*model; // its file from the scene set-up's table
    const char* label;
    const char* right; // model axis that points right on screen
    const char* up;    // model axis that points up on screen
    // Layout of groups that the show places apart: 'g' greetings grid,
    // 'w' walk frames in a row, 't' the title's two lines; 0 as modelled.
    char layout;
};

const sheet_entry entries[] = {
    {&scene_assets::horn, "horn (x,-z)", "x", "-z", 0},
    {&scene_assets::kwnos, "kwnos (x,-z)", "x", "-z", 0},
    {&scene_assets::bicycle, "bicycle (z,y)", "z", "y", 0},
    {&scene_assets::trumpet2, "trumpet2 (x,-z)", "x", "-z", 0},
    {&scene_assets::trumpet_plhktra, "trumpet-plhktra (x,-z)", "x", "-z", 0},
    {&scene_assets::trumpet, "trumpet (-x,-z)", "-x", "-z", 0},
    {&scene_assets::helicopter, "helicopter top (-x,z)", "-x", "z", 0},
    {&scene_assets::tuba, "tuba (x,y)", "x", "y", 0},
    {&scene_assets::razor, "razor (x,-z)", "x", "-z", 0},
    {&scene_assets::boat, "boat (z,y)", "z", "y", 0},
    {&scene_assets::gaza, "gaza (x,-z)", "x", "-z", 0},
    {&scene_assets::teras, "teras (x,-z)", "x", "-z", 0},
    {&scene_assets::cycle2, "cycle2 (z,y)", "z", "y", 0},
    {&scene_assets::cycle2, "cycle2 falling (x,y)", "x", "y", 0},
    {&scene_assets::side, "side (z,y)", "z", "y", 0},
    {&scene_assets::engine, "engine (x,y)", "x", "y", 0},
    {&scene_assets::hourglass, "hourglass (x,-z)", "x", "-z", 0},
    {&scene_assets::telos, "telos (x,y)", "x", "y", 0},
    {&scene_assets::trombone, "Trombone (x,-z)", "x", "-z", 0},
    {&scene_assets::trombone, "Trombone falling (x,y)", "x", "y", 0},
    {&scene_assets::flute, "flute (x,-z)", "x", "-z", 0},
    {&scene_assets::tracks, "tracks (z,y)", "z", "y", 0},
    {&scene_assets::greetings2, "greetings2 (x,y)", "x", "y", 'g'},
    {&scene_assets::ak472, "ak472 (-x,-z)", "-x", "-z", 0},
    {&scene_assets::ak47trigger, "ak47trigger (-x,-z)", "-x", "-z", 0},
    {&scene_assets::quorlaxen, "quorlaxen (x,y)", "x", "y", 't'},
    {&scene_assets::truck, "truck (x,y)", "x", "y", 0},
    {&scene_assets::train, "train (z,y)", "z", "y", 0},
    {&scene_assets::gennhtria, "gennhtria (x,y)", "x", "y", 0},
    {&scene_assets::man3, "man3 (x,y) pose + 4 frames", "x", "y", 'w'},
};

constexpr int cell_w = 300, cell_h = 230, label_h = 26, columns = 6;

void label(canvas& c, int x, int y, const std::string& text) {
    text_shape t = layout_text(dejavu("DejaVuSans"), text, 11, 0.5);
    std::vector<polygon> polys;
    for (polygon p : t.contours) {
        for (p2& v : p)
            v = {x + 8 + v.x, y + cell_h - 9 - v.y};
        polys.push_back(p);
    }
    paint(c, coverage(c.width, c.height, polys, false), {0.15, 0.15, 0.2});
}

// Silhouette of one mesh fitted into its cell.
void draw_mesh(canvas& c, int cx, int cy, const sheet_entry& e, const std::string& root) {
    std::vector<obj_group> groups = read_obj(root + "/" + scene_file_path(scene_model_file_of(e.model).file));
    std::vector<polygon> polys;
    auto add_group = [&](const obj_group& g, double dx, double dy) {
        for (const auto& f : g.faces) {
            polygon p;
            for (v3 v : f)
                p.push_back({axis_value(e.right, v) + dx, axis_value(e.up, v) + dy});
            polys.push_back(p);
        }
    };
    if (e.layout == 'g') {
        for (size_t k = 0; k < groups.size(); ++k)
            add_group(groups[k], (k % 2) * 3.6, -double(k / 2) * 0.62);
    } else if (e.layout == 'w') {
        add_group(groups[0], 0, 0);
        for (int k : {1, 11, 21, 31})
            add_group(groups[size_t(k)], 0.5 * ((k + 9) / 10), 0);
    } else if (e.layout == 't') {
        add_group(groups[0], 0, 0);
        if (groups.size() > 1) add_group(groups[1], (13.2 - 26.5) / 8, (-46.786 + 1.52) / 8);
    } else {
        for (const auto& g : groups)
            add_group(g, 0, 0);
    }
    double x0 = 1e30, x1 = -1e30, y0 = 1e30, y1 = -1e30;
    for (const polygon& p : polys)
        for (p2 v : p) {
            x0 = std::min(x0, v.x), x1 = std::max(x1, v.x), y0 = std::min(y0, v.y), y1 = std::max(y1, v.y);
        }
    double scale =
        std::min((cell_w - 24) / std::max(x1 - x0, 1e-6), (cell_h - label_h - 20) / std::max(y1 - y0, 1e-6));
    double ox = cx + cell_w / 2.0 - scale * (x0 + x1) / 2,
           oy = cy + (cell_h - label_h) / 2.0 + scale * (y0 + y1) / 2;
    for (polygon& p : polys)
        for (p2& v : p)
            v = {ox + v.x * scale, oy - v.y * scale};
    paint(c, coverage(c.width, c.height, polys, true), {0, 0, 0});
    label(c, cx, cy,
          e.label + std::string(", ") + std::to_string(groups.size()) + " group" +
              (groups.size() == 1 ? "" : "s"));
}

// Decodes a JPEG with libjpeg-turbo into RGB rows.
canvas read_jpeg(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) throw std::runtime_error("cannot open " + path);
    jpeg_decompress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, f);
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    canvas out(static_cast<int>(info.output_width), static_cast<int>(info.output_height));
    std::vector<unsigned char> row(size_t(info.output_width) * 3);
    while (info.output_scanline < info.output_height) {
        int y = static_cast<int>(info.output_scanline);
        JSAMPROW r = row.data();
        jpeg_read_scanlines(&info, &r, 1);
        for (int x = 0; x < out.width; ++x)
            out.at(x, y) = {row[x * 3] / 255.0, row[x * 3 + 1] / 255.0, row[x * 3 + 2] / 255.0};
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    std::fclose(f);
    return out;
}

// Draws `picture` into the cell, fitted; with `tile` a 2 x 2 repeat shows
// the seams; `checker` shows the blob's alpha (its green) over a checker.
void draw_picture(canvas& c, int cx, int cy, const canvas& picture, const std::string& text, bool tile,
                  bool checker) {
    int room_w = cell_w - 20, room_h = cell_h - label_h - 12;
    int reps = tile ? 2 : 1;
    double scale =
        std::min(double(room_w) / (picture.width * reps), double(room_h) / (picture.height * reps));
    int w = int(picture.width * reps * scale), h = int(picture.height * reps * scale);
    int x0 = cx + (cell_w - w) / 2, y0 = cy + 6 + (room_h - h) / 2;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int sx = int(x / scale) % picture.width, sy = int(y / scale) % picture.height;
            rgb p = picture.pixels[size_t(sy) * picture.width + sx];
            if (checker) {
                double back = ((x / 12 + y / 12) % 2) ? 0.85 : 0.6;
                double a = p.g;
                p = {0.9 * a + back * (1 - a), 0.75 * a + back * (1 - a), 0.3 * a + back * (1 - a)};
            }
            c.at(x0 + x, y0 + y) = p;
        }
    label(c, cx, cy, text);
}

// Frames of the outline shape, filled as the show's tessellator would
// (non-zero), shape 1 black, shape 0 (the shadow) grey. The file's frame is
// turned back to screen terms (up = file +x, right = file -y).
void draw_outline_frames(canvas& c, int cx, int cy, const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t at = 0;
    auto i32 = [&]() {
        if (at + 4 > bytes.size()) throw std::runtime_error("outline shape ends early");
        int32_t v;
        std::memcpy(&v, bytes.data() + at, 4);
        at += 4;
        return v;
    };
    int frames = i32();
    i32();
    i32();
    int shapes = i32();
    const int shown[4] = {0, 100, 200, 300};
    int slot = 0;
    for (int k = 0; k < frames && slot < 4; ++k)
        for (int s = 0; s < shapes; ++s) {
            int count = i32();
            std::vector<polygon> polys;
            for (int p = 0; p < count; ++p) {
                int n = i32();
                at += 8;
                polygon poly;
                for (int v = 0; v < n; ++v) {
                    int16_t x, y;
                    std::memcpy(&x, bytes.data() + at, 2);
                    std::memcpy(&y, bytes.data() + at + 2, 2);
                    at += 4;
                    double u = -y / 30000.0, w = x / 30000.0;
                    poly.push_back({cx + 40 + slot * 70 + u * 60, cy + 100 - w * 60});
                }
                polys.push_back(poly);
            }
            if (k == shown[slot]) {
                // Each polygon is filled on its own, as the tessellator does.
                for (const polygon& p : polys)
                    paint(c, coverage(c.width, c.height, {p}, true), s ? rgb{0, 0, 0} : rgb{0.6, 0.6, 0.6});
                if (s == shapes - 1) ++slot;
            }
        }
    label(c, cx, cy, "test1.rtt frames 0,100,200,300");
}

void write_png(const canvas& c, const std::string& path) {
    const std::string bytes = encode_png(c);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: forge-contact-sheet SHOW_DIR OUT.png\n");
        return 2;
    }
    try {
        std::string root = argv[1];
        int count = int(std::size(entries)) + 4;
        int rows = (count + columns - 1) / columns;
        canvas sheet(columns * cell_w, rows * cell_h, {0.97, 0.96, 0.93});
        int slot = 0;
        auto cell = [&](int& x, int& y) {
            x = (slot % columns) * cell_w;
            y = (slot / columns) * cell_h;
            ++slot;
        };
        for (const sheet_entry& e : entries) {
            int x, y;
            cell(x, y);
            draw_mesh(sheet, x, y, e, root);
        }
        int x, y;
        cell(x, y);
        draw_picture(sheet, x, y, read_jpeg(root + "/textures/loading.jpg"), "loading.jpg (progressive)",
                     false, false);
        cell(x, y);
        draw_picture(sheet, x, y, read_jpeg(root + "/textures/paper 1a.jpg"),
                     "paper 1a.jpg tiled 2x2 (4:2:0)", true, false);
        cell(x, y);
        draw_picture(sheet, x, y, read_jpeg(root + "/textures/blob41b.jpg"), "blob41b.jpg green as alpha",
                     false, true);
        cell(x, y);
        draw_outline_frames(sheet, x, y, root + "/meshes/test1.rtt");
        // Cell borders.
        for (int r = 0; r < rows; ++r)
            for (int k = 0; k < columns; ++k) {
                for (int i = 0; i < cell_w; ++i)
                    sheet.at(k * cell_w + i, r * cell_h) = {0.75, 0.73, 0.7};
                for (int i = 0; i < cell_h; ++i)
                    sheet.at(k * cell_w, r * cell_h + i) = {0.75, 0.73, 0.7};
            }
        write_png(sheet, argv[2]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "forge-contact-sheet: %s\n", e.what());
        return 1;
    }
    return 0;
}
