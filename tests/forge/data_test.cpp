// The forged data as the show reads it: every mesh through the show's own
// OBJ loader, every texture through the show's own JPEG decoder (checked
// against libjpeg-turbo), the camera track and the outline shape through
// their formats, the hand-written shaders through the GL compiler, and two
// runs of the forge compared byte for byte.

#include <unistd.h>

#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "mesh/mesh.h"
#include "resources/jpeg_decoder.h"
#include "scenes/scene_assets.h"
#include "scenes/shape.h"
#include "support/gl_context.h"
#include "support/needs.h"

namespace fs = std::filesystem;

namespace {

const fs::path show_dir = QUORLAXEN_SHOW_DIR;
const fs::path forge_program = fs::path(QUORLAXEN_BINARY_DIR) / "tools/forge/data/forge-data";

std::string read_file(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Every model of the scene set-up's table, with the group count the scene
// script needs.
struct mesh_expectation {
    mesh scene_assets::*model;
    size_t groups;
    const char* name() const { return scene_model_file_of(model).file; }
};
const mesh_expectation mesh_table[] = {
    {&scene_assets::horn, 2},       {&scene_assets::bicycle, 4},
    {&scene_assets::trumpet2, 1},   {&scene_assets::trumpet_plhktra, 3},
    {&scene_assets::helicopter, 2}, {&scene_assets::tuba, 1},
    {&scene_assets::razor, 1},      {&scene_assets::boat, 1},
    {&scene_assets::gaza, 1},       {&scene_assets::trumpet, 1},
    {&scene_assets::kwnos, 1},      {&scene_assets::cycle2, 3},
    {&scene_assets::engine, 1},     {&scene_assets::side, 1},
    {&scene_assets::hourglass, 2},  {&scene_assets::telos, 1},
    {&scene_assets::trombone, 1},   {&scene_assets::flute, 1},
    {&scene_assets::tracks, 1},     {&scene_assets::greetings2, 15},
    {&scene_assets::ak472, 1},      {&scene_assets::ak47trigger, 1},
    {&scene_assets::quorlaxen, 2},  {&scene_assets::truck, 1},
    {&scene_assets::train, 1},      {&scene_assets::gennhtria, 2},
    {&scene_assets::teras, 9},      {&scene_assets::man3, 42},
};

// The show passes the names as they are, from its own folder.
std::string show_path(const char* name) { return (show_dir / name).string(); }

struct box3 {
    float lo[3] = {1e30f, 1e30f, 1e30f}, hi[3] = {-1e30f, -1e30f, -1e30f};
    void add(const Vec3& v) {
        const float c[3] = {v.x, v.y, v.z};
        for (int k = 0; k < 3; ++k)
            lo[k] = std::min(lo[k], c[k]), hi[k] = std::max(hi[k], c[k]);
    }
    float mid(int k) const { return (lo[k] + hi[k]) / 2; }
};
box3 bounds(const mesh_group& g) {
    box3 b;
    for (const quad& q : g)
        for (const Vec3& v : q.corners)
            b.add(v);
    return b;
}

mesh load_mesh(const char* name, int list) {
    mesh m;
    m.load(show_path(name).c_str(), list);
    return m;
}

} // namespace

// ---------------------------------------------------------------- meshes

TEST(forged_meshes, every_file_loads_with_the_groups_the_script_draws) {
    ASSERT_EQ(std::size(mesh_table), std::size(scene_model_files))
        << "a model of the set-up without its groups here";
    int list = 30000;
    for (const mesh_expectation& e : mesh_table) {
        SCOPED_TRACE(e.name());
        mesh m = load_mesh(e.name(), list++);
        ASSERT_EQ(m.groups.size(), e.groups);
        for (size_t k = 0; k < m.groups.size(); ++k) {
            SCOPED_TRACE(k);
            EXPECT_GT(m.groups[k].size(), 3u);
            for (const quad& q : m.groups[k])
                for (const Vec3& v : q.corners) {
                    ASSERT_TRUE(std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z));
                    ASSERT_EQ(v.state, 1u);
                }
        }
    }
}

TEST(forged_meshes, files_stay_inside_the_loaders_subset) {
    // Text-level check, stricter than the tolerant loader: per group an "o"
    // line, a run of "v x y z" lines, then "f" lines whose 3 or 4 corner
    // references are a vertex number followed by exactly "//", in range.
    const std::regex vertex_line(R"(v -?\d+\.\d{4} -?\d+\.\d{4} -?\d+\.\d{4})");
    const std::regex face_line(R"(f( \d+//){3,4})");
    for (const mesh_expectation& e : mesh_table) {
        SCOPED_TRACE(e.name());
        std::istringstream in(read_file(show_path(e.name())));
        std::string line;
        enum { before, vertices, faces } state = before;
        long defined = 0;
        size_t groups = 0;
        while (std::getline(in, line)) {
            if (line.rfind("o ", 0) == 0) {
                ASSERT_NE(state, vertices) << "group without faces";
                std::string name = line.substr(2);
                ASSERT_TRUE(name != "v" && name != "f" && name.find(' ') == std::string::npos) << line;
                state = before;
                ++groups;
            } else if (line.rfind("v ", 0) == 0) {
                ASSERT_NE(state, faces) << "vertex after faces in one group";
                ASSERT_TRUE(std::regex_match(line, vertex_line)) << line;
                state = vertices;
                ++defined;
            } else if (line.rfind("f ", 0) == 0) {
                ASSERT_NE(state, before) << "faces before the group's vertices";
                ASSERT_TRUE(std::regex_match(line, face_line)) << line;
                std::istringstream refs(line.substr(2));
                long index;
                std::string rest;
                while (refs >> index) {
                    ASSERT_GE(index, 1);
                    ASSERT_LE(index, defined);
                    refs.ignore(2);
                }
                state = faces;
            } else {
                ASSERT_TRUE(line.empty() || line[0] == '#') << line;
                ASSERT_EQ(groups, 0u) << "only a header comment may stand outside the groups";
            }
        }
        EXPECT_EQ(state, faces);
        EXPECT_EQ(groups, [&] {
            for (const mesh_expectation& x : mesh_table)
                if (x.model == e.model) return x.groups;
            return size_t(0);
        }());
    }
}

TEST(forged_meshes, every_group_is_closed_and_wound_outwards) {
    // Most rows draw with face culling on, often through a mirroring scale:
    // a silhouette stays whole from either side only if every group is a
    // closed surface (each edge met once in each direction) wound outwards
    // (positive volume).
    int list = 30200;
    for (const mesh_expectation& e : mesh_table) {
        SCOPED_TRACE(e.name());
        mesh m = load_mesh(e.name(), list++);
        for (size_t k = 0; k < m.groups.size(); ++k) {
            SCOPED_TRACE(k);
            std::map<std::array<long, 6>, int> edges;
            auto key = [](const Vec3& v) {
                return std::array<long, 3>{std::lround(v.x * 1e4), std::lround(v.y * 1e4),
                                           std::lround(v.z * 1e4)};
            };
            double volume = 0;
            for (const quad& q : m.groups[k]) {
                int n = (q.corners[3].x == q.corners[2].x && q.corners[3].y == q.corners[2].y &&
                         q.corners[3].z == q.corners[2].z)
                            ? 3
                            : 4;
                for (int i = 0; i < n; ++i) {
                    auto a = key(q.corners[i]), b = key(q.corners[(i + 1) % n]);
                    if (a == b) continue;
                    ++edges[{a[0], a[1], a[2], b[0], b[1], b[2]}];
                }
                for (int i = 1; i + 1 < n; ++i) {
                    const Vec3 &a = q.corners[0], &b = q.corners[i], &c = q.corners[i + 1];
                    volume += (a.x * (b.y * c.z - b.z * c.y) - a.y * (b.x * c.z - b.z * c.x) +
                               a.z * (b.x * c.y - b.y * c.x)) /
                              6.0;
                }
            }
            int unmatched = 0;
            for (const auto& [edge, count] : edges) {
                auto reverse = edges.find({edge[3], edge[4], edge[5], edge[0], edge[1], edge[2]});
                if (reverse == edges.end() || reverse->second != count) ++unmatched;
            }
            EXPECT_EQ(unmatched, 0);
            EXPECT_GT(volume, 0.0);
        }
    }
}

TEST(forged_meshes, moving_parts_sit_on_the_pivots_the_script_turns_them_about) {
    // Bicycle wheels turn about x on their hubs: each wheel group is centred
    // on its hub in the y-z plane, and the crank on the rear hub.
    mesh bicycle = load_mesh(scene_model_file_of(&scene_assets::bicycle).file, 30100);
    box3 front = bounds(bicycle.group_at(0)), rear = bounds(bicycle.group_at(1)),
         crank = bounds(bicycle.group_at(2));
    EXPECT_NEAR(front.mid(1), 2.13, 0.02);
    EXPECT_NEAR(front.mid(2), -0.183, 0.02);
    EXPECT_NEAR(rear.mid(1), 3.0, 0.02);
    EXPECT_NEAR(rear.mid(2), -4.77, 0.02);
    EXPECT_NEAR(crank.mid(1), 3.0, 0.05);
    EXPECT_NEAR(crank.mid(2), -4.77, 0.05);
    // Both wheels stand on the same ground line.
    EXPECT_NEAR(front.lo[1], rear.lo[1], 0.02);

    // cycle2's flywheel turns about (0, 0.547, 1.161).
    mesh cycle = load_mesh(scene_model_file_of(&scene_assets::cycle2).file, 30101);
    box3 fly = bounds(cycle.group_at(1));
    EXPECT_NEAR(fly.mid(1), 0.547, 0.05);
    EXPECT_NEAR(fly.lo[2] + 0.5, 1.161, 0.02); // rim radius 0.5 about the pivot

    // The helicopter's rotor turns about the model's y axis.
    mesh heli = load_mesh(scene_model_file_of(&scene_assets::helicopter).file, 30102);
    box3 rotor = bounds(heli.group_at(1));
    EXPECT_NEAR(rotor.mid(0), 0.0, 0.4);
    EXPECT_NEAR(rotor.mid(2), 0.0, 0.4);
    box3 heli_body = bounds(heli.group_at(0));
    EXPECT_GT(rotor.lo[1], heli_body.mid(1));                                        // above the cabin
    EXPECT_GT(rotor.hi[0] - rotor.lo[0], 0.8 * (heli_body.hi[0] - heli_body.lo[0])); // spans the body

    // Trumpet valves stand above the casings and move down (+z) into them:
    // their x positions match the casings of trumpet2.
    mesh valves = load_mesh(scene_model_file_of(&scene_assets::trumpet_plhktra).file, 30103);
    box3 body = bounds(load_mesh(scene_model_file_of(&scene_assets::trumpet2).file, 30104).group_at(0));
    for (int k = 0; k < 3; ++k) {
        box3 v = bounds(valves.group_at(k));
        EXPECT_NEAR(v.mid(0), -0.3 + 0.3 * k, 0.01);
        EXPECT_LT(v.lo[2], body.lo[2] + 0.05); // reaches above the body on screen (-z is up)
        EXPECT_GT(v.lo[2] + 0.6, -0.35);       // fully pressed, the button meets the casing top
    }
}

namespace {

// Area (model units squared) of the silhouette of `groups` flattened onto
// the plane of model axes `right` and `up` (0 = x, 1 = y, 2 = z), sampled on
// a grid of `step`.
double silhouette_area(const std::vector<const mesh_group*>& groups, int right, int up, double step) {
    box3 b;
    for (const mesh_group* g : groups)
        for (const quad& q : *g)
            for (const Vec3& v : q.corners)
                b.add(v);
    const int w = int((b.hi[right] - b.lo[right]) / step) + 2, h = int((b.hi[up] - b.lo[up]) / step) + 2;
    std::vector<char> covered(size_t(w) * h, 0);
    auto coord = [](const Vec3& v, int axis) { return double(axis == 0 ? v.x : axis == 1 ? v.y : v.z); };
    for (const mesh_group* g : groups)
        for (const quad& q : *g)
            for (int t = 0; t < 2; ++t) { // the quad as two triangles
                const Vec3* c[3] = {&q.corners[0], &q.corners[1 + t], &q.corners[2 + t]};
                double px[3], py[3];
                for (int i = 0; i < 3; ++i) {
                    px[i] = (coord(*c[i], right) - b.lo[right]) / step;
                    py[i] = (coord(*c[i], up) - b.lo[up]) / step;
                }
                const double area = (px[1] - px[0]) * (py[2] - py[0]) - (px[2] - px[0]) * (py[1] - py[0]);
                if (std::abs(area) < 1e-12) continue;
                const int x0 = std::max(0, int(std::min({px[0], px[1], px[2]}))),
                          x1 = std::min(w - 1, int(std::max({px[0], px[1], px[2]})) + 1),
                          y0 = std::max(0, int(std::min({py[0], py[1], py[2]}))),
                          y1 = std::min(h - 1, int(std::max({py[0], py[1], py[2]})) + 1);
                for (int y = y0; y <= y1; ++y)
                    for (int x = x0; x <= x1; ++x) {
                        const double sx = x + 0.5, sy = y + 0.5;
                        double e[3];
                        for (int i = 0; i < 3; ++i) {
                            const int j = (i + 1) % 3;
                            e[i] = ((px[j] - px[i]) * (sy - py[i]) - (py[j] - py[i]) * (sx - px[i])) * area;
                        }
                        if (e[0] >= 0 && e[1] >= 0 && e[2] >= 0) covered[size_t(y) * w + x] = 1;
                    }
            }
    return double(std::count(covered.begin(), covered.end(), 1)) * step * step;
}

} // namespace

TEST(forged_meshes, read_in_every_plane_the_script_flattens_them_onto) {
    // The Trombone stands flattened onto its x-z plane and falls flattened
    // onto its x-y plane: both silhouettes are the whole instrument, not one
    // of them an edge-on line.
    mesh trombone = load_mesh(scene_model_file_of(&scene_assets::trombone).file, 30105);
    const std::vector<const mesh_group*> trombone_group{&trombone.group_at(0)};
    const double standing = silhouette_area(trombone_group, 0, 2, 0.01);
    EXPECT_GT(standing, 0.8);
    EXPECT_NEAR(silhouette_area(trombone_group, 0, 1, 0.01), standing, 0.1 * standing);

    // cycle2 turns in profile (y-z) and falls whole seen from +z (x-y): its
    // flywheel is a wheel from both, and the whole machine is more than a few
    // bars from +z.
    mesh cycle = load_mesh(scene_model_file_of(&scene_assets::cycle2).file, 30106);
    const std::vector<const mesh_group*> flywheel{&cycle.group_at(1)};
    const double profile = silhouette_area(flywheel, 2, 1, 0.005);
    EXPECT_GT(silhouette_area(flywheel, 0, 1, 0.005), 0.7 * profile);
    const std::vector<const mesh_group*> machine{&cycle.group_at(0), &cycle.group_at(1), &cycle.group_at(2)};
    EXPECT_GT(silhouette_area(machine, 0, 1, 0.005), 0.5 * silhouette_area(machine, 2, 1, 0.005));

    // The finale sets the tuba's origin just under the bottom of the
    // picture: the instrument stands clear above it.
    box3 tuba = bounds(load_mesh(scene_model_file_of(&scene_assets::tuba).file, 30107).group_at(0));
    EXPECT_GT(tuba.lo[1], 0.2);
}

TEST(forged_meshes, walk_cycle_loops_with_the_step_the_script_adds_per_cycle) {
    // The script moves a walker 8.6 units at scale 15 (0.573) per 41 frames,
    // 88 at scale 150 (0.587): frame 41 must lead into frame 1 of the next
    // cycle shifted by that step, with the feet on y = 0.
    mesh man = load_mesh(scene_model_file_of(&scene_assets::man3).file, 30110);
    box3 first = bounds(man.group_at(1));
    box3 last = bounds(man.group_at(41));
    double per_frame = (bounds(man.group_at(2)).mid(0) - first.mid(0));
    EXPECT_NEAR(last.mid(0) + per_frame, first.mid(0) + 0.58, 0.04);
    for (int k = 0; k <= 41; ++k) {
        box3 b = bounds(man.group_at(k));
        EXPECT_NEAR(b.lo[1], 0.0, 0.01) << "frame " << k;
        EXPECT_GT(b.hi[1], 0.6) << "frame " << k;
        EXPECT_LT(b.hi[1], 0.9) << "frame " << k;
    }
}

TEST(forged_meshes, title_and_curtain_cover_what_the_script_shows) {
    // Title word about 20 units wide (160 at the script's scale 8), flat.
    mesh title = load_mesh(scene_model_file_of(&scene_assets::quorlaxen).file, 30120);
    box3 word = bounds(title.group_at(0)), line = bounds(title.group_at(1));
    EXPECT_GT(word.hi[0] - word.lo[0], 15.0);
    EXPECT_LT(word.hi[0] - word.lo[0], 28.0);
    EXPECT_LT(line.hi[0] - line.lo[0], word.hi[0] - word.lo[0]);
    // Telos: the left half of a curtain whose edge reaches past x = 0, so the
    // halves overlap when closed; tall and wide enough for the tilted view at
    // distance 30 (view radius about 16.4).
    box3 curtain = bounds(load_mesh(scene_model_file_of(&scene_assets::telos).file, 30121).group_at(0));
    EXPECT_GT(curtain.hi[0], 0.1);
    EXPECT_LT(curtain.lo[0], -22.0);
    EXPECT_LT(curtain.lo[1], -22.0);
    EXPECT_GT(curtain.hi[1], 22.0);
}

// ---------------------------------------------------------------- textures

namespace {

struct picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
};

picture decode_reference(const fs::path& p) {
    picture out;
    FILE* f = std::fopen(p.c_str(), "rb");
    if (!f) return out;
    jpeg_decompress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, f);
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    info.do_fancy_upsampling = FALSE; // chroma by replication, as the show's decoder does
    jpeg_start_decompress(&info);
    out.width = static_cast<int>(info.output_width);
    out.height = static_cast<int>(info.output_height);
    out.rgb.resize(size_t(out.width) * out.height * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = out.rgb.data() + size_t(info.output_scanline) * out.width * 3;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    std::fclose(f);
    return out;
}

picture decode_with_show_decoder(const fs::path& p, int& error) {
    picture out;
    jpeg_decoder_file_stream stream;
    error = stream.open_file(p.c_str()) ? -1 : 0;
    if (error) return out;
    jpeg_decoder decoder(&stream);
    error = decoder.error_code();
    if (error || decoder.start_decode() != 0) {
        if (!error) error = decoder.error_code() ? decoder.error_code() : -1;
        return out;
    }
    out.width = decoder.width();
    out.height = decoder.height();
    const uint8_t* line;
    int length;
    while (decoder.next_line(&line, &length) == 0)
        for (int x = 0; x < out.width; ++x)
            out.rgb.insert(out.rgb.end(), line + 4 * x, line + 4 * x + 3);
    error = decoder.error_code();
    return out;
}

// The frame header's marker and the first component's sampling factors.
void frame_header(const std::string& bytes, int& marker, int& sampling) {
    marker = sampling = 0;
    for (size_t i = 2; i + 12 < bytes.size();) {
        if (uint8_t(bytes[i]) != 0xFF) return;
        int m = uint8_t(bytes[i + 1]);
        int length = uint8_t(bytes[i + 2]) << 8 | uint8_t(bytes[i + 3]);
        if (m == 0xC0 || m == 0xC1 || m == 0xC2) {
            marker = m;
            sampling = uint8_t(bytes[i + 11]);
            return;
        }
        i += 2 + size_t(length);
    }
}

} // namespace

TEST(forged_textures, decode_with_the_show_decoder_like_the_reference) {
    struct expected {
        const char* name;
        int width, height, marker, sampling;
    } files[] = {{"textures/loading.jpg", 1024, 1024, 0xC2, 0x22},
                 {"textures/paper 1a.jpg", 512, 512, 0xC0, 0x22},
                 {"textures/blob41b.jpg", 128, 128, 0xC0, 0x11}};
    for (const expected& e : files) {
        SCOPED_TRACE(e.name);
        std::string bytes = read_file(show_dir / e.name);
        int marker, sampling;
        frame_header(bytes, marker, sampling);
        EXPECT_EQ(marker, e.marker); // progressive title art, baseline others
        EXPECT_EQ(sampling, e.sampling);
        picture reference = decode_reference(show_dir / e.name);
        ASSERT_EQ(reference.width, e.width);
        ASSERT_EQ(reference.height, e.height);
        int error = 0;
        picture ours = decode_with_show_decoder(show_dir / e.name, error);
        ASSERT_EQ(error, 0);
        ASSERT_EQ(ours.width, e.width);
        ASSERT_EQ(ours.height, e.height);
        ASSERT_EQ(ours.rgb.size(), reference.rgb.size());
        double total = 0;
        int worst = 0;
        for (size_t i = 0; i < ours.rgb.size(); ++i) {
            int d = std::abs(int(ours.rgb[i]) - int(reference.rgb[i]));
            total += d;
            worst = std::max(worst, d);
        }
        EXPECT_LT(total / ours.rgb.size(), 1.5);
        EXPECT_LE(worst, 24);
    }
}

TEST(forged_textures, paper_tiles_without_a_seam_and_blob_fades_to_clear) {
    picture paper = decode_reference(show_dir / "textures/paper 1a.jpg");
    ASSERT_EQ(paper.width, 512);
    auto px = [&](const picture& p, int x, int y, int c) {
        return int(p.rgb[(size_t(y) * p.width + x) * 3 + c]);
    };
    // The step across the wrap (last column to first) is no larger than a
    // step between neighbouring columns inside the picture.
    double wrap = 0, inside = 0;
    for (int y = 0; y < 512; ++y)
        for (int c = 0; c < 3; ++c) {
            wrap += std::abs(px(paper, 511, y, c) - px(paper, 0, y, c));
            inside += std::abs(px(paper, 255, y, c) - px(paper, 256, y, c));
        }
    EXPECT_LT(wrap, inside * 1.6 + 512);
    wrap = inside = 0;
    for (int x = 0; x < 512; ++x)
        for (int c = 0; c < 3; ++c) {
            wrap += std::abs(px(paper, x, 511, c) - px(paper, x, 0, c));
            inside += std::abs(px(paper, x, 255, c) - px(paper, x, 256, c));
        }
    EXPECT_LT(wrap, inside * 1.6 + 512);
    // Light enough that the show's tints carry the colour.
    long sum = 0;
    for (uint8_t v : paper.rgb)
        sum += v;
    EXPECT_GT(sum / double(paper.rgb.size()), 190);

    picture blob = decode_reference(show_dir / "textures/blob41b.jpg");
    ASSERT_EQ(blob.width, 128);
    EXPECT_GT(px(blob, 64, 64, 1), 240); // opaque middle
    for (int corner : {0, 127})
        EXPECT_LT(px(blob, corner, corner, 1), 4); // clear corners
    EXPECT_LT(px(blob, 0, 64, 1), 8);
    EXPECT_GT(px(blob, 40, 64, 1), px(blob, 20, 64, 1)); // falls off smoothly
    EXPECT_GT(px(blob, 20, 64, 1), px(blob, 8, 64, 1));
}

// ---------------------------------------------------------------- track and shape

TEST(forged_track, covers_the_whole_show_and_sways_smoothly) {
    std::string bytes = read_file(show_dir / "meshes/try1.sav");
    ASSERT_EQ(bytes.size() % 28, 0u);
    size_t n = bytes.size() / 28;
    // Replayed at 35 records a second with a one-off skip of 340, over about
    // 245 s of scene time (the show clock runs 1 % fast).
    EXPECT_GE(n, size_t(35 * 247 + 340 + 2));
    auto f32 = [&](size_t rec, int k) {
        float v;
        std::memcpy(&v, bytes.data() + rec * 28 + 4 * k, 4);
        return double(v);
    };
    auto f64 = [&](size_t rec, int off) {
        double v;
        std::memcpy(&v, bytes.data() + rec * 28 + off, 8);
        return v;
    };
    double largest = 0, biggest_step = 0, sum_sq = 0;
    for (size_t i = 0; i < n; ++i) {
        for (int k = 0; k < 3; ++k) {
            ASSERT_TRUE(std::isfinite(f32(i, k)));
            largest = std::max(largest, std::fabs(f32(i, k)));
            if (i) biggest_step = std::max(biggest_step, std::fabs(f32(i, k) - f32(i - 1, k)));
        }
        sum_sq += f32(i, 0) * f32(i, 0);
        ASSERT_TRUE(std::isfinite(f64(i, 12)) && std::isfinite(f64(i, 20)));
    }
    // Main camera moves by 0.009 of these units: about one unit at 300-400
    // units from the picture, never a jump.
    EXPECT_GT(std::sqrt(sum_sq / n), 25.0);
    EXPECT_LT(largest, 250.0);
    EXPECT_LT(biggest_step, 12.0); // a record is 1/35 s: at most 0.1 unit of camera motion a frame
    // The replay wraps (index modulo n - 1) without a jump.
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(f32(n - 1, k), f32(0, k), 0.01);
    // Value a turns the up vector by 0.02 * sin(a * 0.0516): a held camera's
    // roll of a degree or less.
    for (size_t i = 0; i < n; i += 97)
        EXPECT_LT(std::fabs(f64(i, 12)), 30.0);
}

TEST(forged_shape, has_800_frames_of_2_shapes_every_played_list_filled_and_loops) {
    std::string bytes = read_file(show_dir / "meshes/test1.rtt");
    outline_file file;
    read_outline_file(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), 1.0, file);
    ASSERT_TRUE(file.header_read);
    EXPECT_EQ(file.frame_count, 800);
    EXPECT_EQ(file.shapes_per_frame, 2);
    ASSERT_TRUE(file.complete);
    EXPECT_EQ(file.skipped_polygons, 0);
    ASSERT_EQ(file.shapes.size(), 1600u);
    // The script calls lists 101, 103 ... 1699 (base 100): shape 1 of every
    // frame. Each holds several polygons of at least three points.
    for (int k = 0; k < 800; ++k) {
        const outline_shape& s = file.shapes[size_t(1 + 2 * k)];
        ASSERT_GE(s.polygons.size(), 5u) << "frame " << k;
        for (const outline_polygon& p : s.polygons)
            ASSERT_GE(p.xy.size(), 6u);
    }
    // Looping at 120 frames a second: the step from frame 799 back to frame 0
    // is like the step between any two neighbouring frames.
    auto distance = [&](int a, int b) {
        const outline_shape &sa = file.shapes[size_t(1 + 2 * a)], &sb = file.shapes[size_t(1 + 2 * b)];
        EXPECT_EQ(sa.polygons.size(), sb.polygons.size());
        int worst = 0;
        for (size_t p = 0; p < std::min(sa.polygons.size(), sb.polygons.size()); ++p)
            for (size_t i = 0; i < std::min(sa.polygons[p].xy.size(), sb.polygons[p].xy.size()); ++i)
                worst = std::max(worst, std::abs(sa.polygons[p].xy[i] - sb.polygons[p].xy[i]));
        return worst;
    };
    int typical = 0;
    for (int k = 0; k + 1 < 800; ++k)
        typical = std::max(typical, distance(k, k + 1));
    EXPECT_GT(typical, 0); // it moves
    EXPECT_LE(distance(799, 0), typical);
}

TEST(forged_shape, compiles_into_the_lists_the_script_plays_and_they_draw_a_figure) {
    QUORLAXEN_NEED(test_gl::ensure_context(256, 256), "no display for a GL context");
    shape s;
    int frames = 0, shapes = 0;
    shape_loader(s, (show_dir / "meshes//test1.rtt").c_str(), &frames, &shapes, 100, 0.001, 1.0);
    EXPECT_EQ(frames, 800);
    EXPECT_EQ(shapes, 2);
    for (int list = 101; list <= 1699; list += 2)
        ASSERT_TRUE(glIsList(list)) << list;
    // Played frames cover a good part of the unit square: a figure, not specks.
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(0, 0, 256, 256);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    for (int frame : {0, 333, 799}) {
        SCOPED_TRACE(frame);
        glClearColor(1, 1, 1, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glColor3f(0, 0, 0);
        glCallList(101 + 2 * frame);
        glFinish();
        std::vector<uint8_t> pixels = test_gl::read_rgba(0, 0, 256, 256);
        int dark = 0;
        for (size_t i = 0; i < pixels.size(); i += 4)
            dark += pixels[i] < 128;
        EXPECT_GT(dark, 256 * 256 / 25);
        EXPECT_LT(dark, 256 * 256 / 2);
    }
    glDeleteLists(100, 1600);
}

// ---------------------------------------------------------------- shaders

TEST(forged_shaders, every_source_compiles_and_declares_its_parameters) {
    QUORLAXEN_NEED(test_gl::ensure_context(), "no display for a GL context");
    struct source {
        const char* name;
        GLenum stage;
        std::vector<const char*> uniforms; // names the show looks up and sets
    } sources[] = {{"vertex_0", GL_VERTEX_SHADER, {}},
                   {"f_0", GL_FRAGMENT_SHADER, {"paper", "ttime"}},
                   {"fragment_bend3", GL_FRAGMENT_SHADER, {"decal", "decal2", "alpha", "RightV", "UpV"}},
                   {"fragment_wireframe", GL_FRAGMENT_SHADER, {}},
                   // Alone it compiles as its defaults say: six squares, all blended.
                   {"backdrop_squares", GL_FRAGMENT_SHADER, {"paper", "colours", "clear"}}};
    for (const source& s : sources) {
        SCOPED_TRACE(s.name);
        std::string text = read_file(fs::path(QUORLAXEN_SOURCE_DIR) / "data/cgeffects" / s.name);
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text.rfind("#version 120", 0), 0u);
        GLuint shader = glCreateShader(s.stage);
        const char* p = text.c_str();
        glShaderSource(shader, 1, &p, nullptr);
        glCompileShader(shader);
        GLint ok = 0;
        glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
        char log[2048] = "";
        glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        EXPECT_TRUE(ok) << log;
        GLuint program = glCreateProgram();
        glAttachShader(program, shader);
        glLinkProgram(program);
        glGetProgramiv(program, GL_LINK_STATUS, &ok);
        EXPECT_TRUE(ok);
        // The parameters the show sets must survive compilation (an unused
        // uniform would be optimised away and its value lost).
        for (const char* u : s.uniforms)
            EXPECT_GE(glGetUniformLocation(program, u), 0) << u;
        glDeleteProgram(program);
        glDeleteShader(shader);
    }
    // The vertex program declares the three matrices of the set-up.
    std::string vertex = read_file(fs::path(QUORLAXEN_SOURCE_DIR) / "data/cgeffects/vertex_0");
    for (const char* m : {"ModelViewProj", "ModelViewLightProj", "ModelViewObject"})
        EXPECT_NE(vertex.find(std::string("uniform mat4 ") + m + ";"), std::string::npos) << m;
}

// ---------------------------------------------------------------- determinism

namespace {

uint64_t fnv1a(const std::string& bytes) {
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : bytes)
        h = (h ^ c) * 1099511628211ull;
    return h;
}

std::map<std::string, uint64_t> hashes_of(const fs::path& root) {
    std::map<std::string, uint64_t> out;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file())
            out[fs::relative(entry.path(), root).string()] = fnv1a(read_file(entry.path()));
    return out;
}

} // namespace

TEST(forge_runs, twice_give_byte_identical_files_equal_to_the_built_ones) {
    ASSERT_TRUE(fs::exists(forge_program)) << forge_program;
    fs::path base = fs::temp_directory_path() / ("forge-data-test-" + std::to_string(::getpid()));
    fs::remove_all(base);
    std::map<std::string, uint64_t> runs[2];
    for (int run = 0; run < 2; ++run) {
        fs::path out = base / std::to_string(run);
        std::string command = "'" + forge_program.string() + "' '" + out.string() + "' > /dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0);
        runs[run] = hashes_of(out);
    }
    fs::remove_all(base);
    EXPECT_EQ(runs[0], runs[1]);
    // 28 meshes, 3 textures, the track and the shape; nothing else, and each
    // the same as what the build laid out beside the show.
    EXPECT_EQ(runs[0].size(), 33u);
    for (const auto& [name, hash] : runs[0]) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(fs::exists(show_dir / name));
        EXPECT_EQ(fnv1a(read_file(show_dir / name)), hash);
    }
}

TEST(forge_runs, refuses_bad_arguments_and_lists_what_it_writes) {
    std::string program = "'" + forge_program.string() + "'";
    EXPECT_NE(std::system((program + " 2> /dev/null").c_str()), 0);
    EXPECT_NE(std::system((program + " a b c 2> /dev/null").c_str()), 0);
    FILE* list = popen((program + " /nonexistent --list").c_str(), "r");
    ASSERT_NE(list, nullptr);
    std::vector<std::string> names;
    char line[512];
    while (std::fgets(line, sizeof line, list))
        names.emplace_back(line, std::strcspn(line, "\n"));
    EXPECT_EQ(pclose(list), 0);
    EXPECT_EQ(names.size(), 33u);
    EXPECT_NE(std::find(names.begin(), names.end(), "textures/paper 1a.jpg"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "meshes/objs/horn.obj"), names.end());
    EXPECT_FALSE(fs::exists("/nonexistent")); // --list writes nothing
}
