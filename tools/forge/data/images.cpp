#include "images.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "meshes.h"
#include "text.h"

namespace forge {

namespace {

constexpr double pi = 3.14159265358979323846;

// A small fixed generator (xorshift64*): the same numbers on every machine
// and library, unlike the standard distributions.
struct random_source {
    uint64_t state;
    explicit random_source(uint64_t seed) : state(seed * 0x9E3779B97F4A7C15ull + 1) {}
    double next() {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        return double((state * 0x2545F4914F6CDD1Dull) >> 11) / double(1ull << 53);
    }
    double range(double a, double b) { return a + (b - a) * next(); }
};

// Value noise on a torus: `cells` lattice cells across, so it tiles.
struct tiling_noise {
    int cells;
    std::vector<double> lattice;
    tiling_noise(int n, random_source& r) : cells(n), lattice(size_t(n) * n) {
        for (double& v : lattice)
            v = r.next();
    }
    double at(double u, double v) const { // u, v in [0, 1)
        double x = u * cells, y = v * cells;
        int x0 = static_cast<int>(std::floor(x)), y0 = static_cast<int>(std::floor(y));
        double fx = x - x0, fy = y - y0;
        fx = fx * fx * (3 - 2 * fx);
        fy = fy * fy * (3 - 2 * fy);
        auto L = [&](int i, int j) {
            return lattice[size_t(((j % cells) + cells) % cells) * cells + ((i % cells) + cells) % cells];
        };
        double a = L(x0, y0) + (L(x0 + 1, y0) - L(x0, y0)) * fx;
        double b = L(x0, y0 + 1) + (L(x0 + 1, y0 + 1) - L(x0, y0 + 1)) * fx;
        return a + (b - a) * fy;
    }
};

// Coverage of polygons drawn on a torus of the canvas size (copies shifted
// by the width and height where they cross an edge).
std::vector<float> wrapped_coverage(int w, int h, const std::vector<polygon>& polys) {
    std::vector<polygon> all;
    for (const polygon& p : polys)
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                polygon q = p;
                for (p2& v : q) {
                    v.x += dx * w;
                    v.y += dy * h;
                }
                all.push_back(q);
            }
    return coverage(w, h, all, true);
}

} // namespace

canvas paper_picture() {
    const int size = 512;
    random_source r(1611);
    std::vector<tiling_noise> octaves;
    for (int n : {4, 8, 16, 32, 64, 128})
        octaves.emplace_back(n, r);
    canvas c(size, size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            double u = double(x) / size, v = double(y) / size;
            double cloud = 0, weight = 0, amp = 1;
            for (const tiling_noise& o : octaves) {
                cloud += amp * o.at(u, v);
                weight += amp;
                amp *= 0.62;
            }
            cloud /= weight;
            // Pulp clouds plus a fine grain from the last octave.
            double grain = octaves.back().at(u * 3 - std::floor(u * 3), v * 3 - std::floor(v * 3));
            double k = 0.9 + 0.12 * (cloud - 0.5) + 0.05 * (grain - 0.5);
            c.at(x, y) = {k * 0.99, k * 0.97, k * 0.92};
        }
    // Fibres: short curved strands, some darker, some lighter than the pulp.
    for (int pass = 0; pass < 2; ++pass) {
        std::vector<polygon> fibres;
        for (int i = 0; i < 700; ++i) {
            double x = r.range(0, size), y = r.range(0, size), a = r.range(0, 2 * pi);
            double len = r.range(6, 28), bend = r.range(-0.08, 0.08), width = r.range(0.35, 0.9);
            std::vector<p2> line{{x, y}};
            for (int s = 0; s < 8; ++s) {
                a += bend;
                x += std::cos(a) * len / 8;
                y += std::sin(a) * len / 8;
                line.push_back({x, y});
            }
            for (const polygon& p : stroke(line, width, false))
                fibres.push_back(p);
        }
        std::vector<float> cover = wrapped_coverage(size, size, fibres);
        if (pass == 0)
            paint(c, cover, {0.62, 0.6, 0.56}, 0.35);
        else
            paint(c, cover, {1, 1, 0.98}, 0.45);
    }
    return c;
}

canvas blob_picture() {
    const int size = 128;
    canvas c(size, size, {0, 0, 0});
    double centre = (size - 1) / 2.0, radius = size * 0.47;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            double d = std::hypot(x - centre, y - centre) / radius;
            double v = d >= 1 ? 0 : std::pow(1 - d * d, 2.2); // soft all the way to a clean zero
            c.at(x, y) = {v, v, v};
        }
    return c;
}

namespace {

// The show's own horn, mirrored and turned so its bell points up and to
// the right, with the fan of light from its bell: `origin` is where the
// model's origin lands, `scale` pixels per model unit, `horn_turn` radians
// counter-clockwise.
void paint_horn(canvas& c, p2 origin, double scale, double horn_turn, double beam_length) {
    model horn = horn_model();
    auto place = [&](double u, double v) {
        double x = -u, y = v; // mirrored
        double ct = std::cos(horn_turn), st = std::sin(horn_turn);
        return p2{origin.x + scale * (ct * x - st * y), origin.y - scale * (st * x + ct * y)};
    };
    std::vector<polygon> horn_faces;
    for (const face& f : horn.groups[0].faces) {
        polygon p;
        for (int k = 0; k < f.count; ++k) {
            v3 v = horn.groups[0].vertices[size_t(f.corner[k])];
            p.push_back(place(v.x, -v.z));
        }
        horn_faces.push_back(p);
    }
    p2 mouth = place(horn_bell_mouth.x, horn_bell_mouth.y);
    p2 ahead = place(horn_bell_mouth.x + horn_bell_dir.x, horn_bell_mouth.y + horn_bell_dir.y);
    double beam_heading = std::atan2(ahead.y - mouth.y, ahead.x - mouth.x);
    polygon beam{mouth};
    for (double a : {-0.36, 0.36})
        beam.push_back({mouth.x + beam_length * std::cos(beam_heading + a),
                        mouth.y + beam_length * std::sin(beam_heading + a)});
    add_light(c, coverage(c.width, c.height, {beam}, true), {0.0, 0.16, 0.3});
    paint(c, coverage(c.width, c.height, horn_faces, true), {0, 0, 0});
}

} // namespace

canvas loading_picture(const canvas& paper) {
    const int size = 1024;
    canvas c(size, size);
    // Paper backdrop in the opening's blue-green tint.
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            rgb p = paper.pixels[size_t(y % paper.height) * paper.width + x % paper.width];
            c.at(x, y) = {p.r * 0.52, p.g * 0.74, p.b * 0.76};
        }
    random_source r(4234234);
    // Dot field: black hexagons on a 24 px grid that swell from the left.
    std::vector<polygon> dots;
    for (int row = 0; row < 14; ++row)
        for (int col = 0; col < 44; ++col) {
            double x = 12 + col * 24, y = 700 + row * 24;
            double wave = std::clamp(1.3 - col / 34.0 + 0.25 * std::sin(row * 0.9 + col * 0.37), 0.0, 1.0);
            double s = 10.5 * std::pow(r.next() * wave, 0.7);
            if (s > 1.2) dots.push_back(circle({x, y}, s, 6, pi / 2));
        }
    paint(c, coverage(size, size, dots, true), {0, 0, 0});
    // A meandering doodle that brightens what it crosses.
    std::vector<p2> pen{{70, 610}};
    double heading = 0;
    int turn = 1;
    for (int i = 0; i < 90; ++i) {
        if (r.next() < 0.07) {
            for (int k = 0; k < 12; ++k) {
                heading += turn * pi / 12;
                pen.push_back({pen.back().x + 9 * std::cos(heading), pen.back().y + 9 * std::sin(heading)});
            }
            turn = -turn;
        } else {
            pen.push_back({pen.back().x + 9 * std::cos(heading), pen.back().y + 9 * std::sin(heading)});
        }
    }
    add_light(c, coverage(size, size, stroke(pen, 7), true), {0.55, 0.5, 0.1});
    paint_horn(c, {270, 250}, 95, horn_turn_for_art, 1400);
    // The title and its line.
    auto text_at = [&](const std::string& font, const std::string& s, double cap, double x_centre,
                       double base, double spacing) {
        text_shape t = layout_text(font, s, cap, spacing);
        std::vector<polygon> polys;
        double x0 = x_centre - t.width / 2;
        for (polygon p : t.contours) {
            for (p2& v : p)
                v = {x0 + v.x, base - v.y};
            polys.push_back(p);
        }
        return coverage(size, size, polys, false);
    };
    paint(c, text_at(dejavu("DejaVuSans-Bold"), "QUORLAXEN", 88, 512, 530, 3), {0, 0, 0});
    paint(c, text_at(dejavu("DejaVuSans"), "TARNWHISK  -  KVT 2007", 28, 560, 585, 5), {0, 0, 0});
    paint(c, text_at(dejavu("DejaVuSans"), "loading", 22, 512, 990, 8), {0, 0, 0}, 0.8);
    return c;
}

icon icon_picture(const canvas& paper, int size) {
    icon out{canvas(size, size), {}};
    canvas& c = out.picture;
    // The title art's tinted paper at its own grain, so every size shows the
    // same fibres.
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            rgb p = paper.pixels[size_t(y % paper.height) * paper.width + x % paper.width];
            c.at(x, y) = {p.r * 0.52, p.g * 0.74, p.b * 0.76};
        }
    // Turned further than in the title art, so the bell points into the top
    // right corner and the horn (some 5 units long) spans most of the tile.
    const double s = size;
    paint_horn(c, {s * 0.5, s * 0.54}, s * 0.18, 1.25, s * 2);
    // A rounded tile: clear outside, antialiased edge.
    const double inset = s / 32, radius = s * 0.18;
    polygon tile;
    const p2 corners[] = {{s - inset - radius, s - inset - radius},
                          {inset + radius, s - inset - radius},
                          {inset + radius, inset + radius},
                          {s - inset - radius, inset + radius}};
    for (int k = 0; k < 4; ++k)
        for (int i = 0; i <= 8; ++i) {
            double a = (k + i / 8.0) * pi / 2;
            tile.push_back({corners[k].x + radius * std::cos(a), corners[k].y + radius * std::sin(a)});
        }
    out.alpha = coverage(size, size, {tile}, true);
    return out;
}

std::string paper_file(const canvas& paper) { return encode_jpeg(paper, false, true); }
std::string blob_file() { return encode_jpeg(blob_picture(), false, false); }
std::string loading_file(const canvas& paper) { return encode_jpeg(loading_picture(paper), true, true); }

} // namespace forge
