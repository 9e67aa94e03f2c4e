#include "scenes/shape.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <GL/glew.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "support/gl_context.h"

namespace {

// Builds outline-shape files byte by byte.
struct rtt_writer {
    std::vector<unsigned char> bytes;

    void i32(int32_t v) {
        for (int k = 0; k < 4; ++k)
            bytes.push_back(static_cast<unsigned char>(uint32_t(v) >> (8 * k)));
    }
    void f64(double v) {
        unsigned char b[8];
        std::memcpy(b, &v, 8);
        bytes.insert(bytes.end(), b, b + 8);
    }
    void i16(int16_t v) {
        bytes.push_back(static_cast<unsigned char>(uint16_t(v)));
        bytes.push_back(static_cast<unsigned char>(uint16_t(v) >> 8));
    }
    void header(int32_t frames, int32_t per_frame) {
        i32(frames);
        i32(0x5a5a);
        i32(-1);
        i32(per_frame);
    }
    void polygon(double depth, const std::vector<std::pair<int16_t, int16_t>>& corners) {
        i32(static_cast<int32_t>(corners.size()));
        f64(depth);
        for (auto [x, y] : corners) {
            i16(x);
            i16(y);
        }
    }
    // A shape of one triangle whose first corner's x tells the shapes apart.
    void tagged_shape(int16_t tag) {
        i32(1);
        polygon(0.0, {{tag, 0}, {30000, 0}, {0, 30000}});
    }
};

const std::vector<std::pair<int16_t, int16_t>> triangle = {{0, 0}, {30000, 0}, {0, 30000}};
const std::vector<std::pair<int16_t, int16_t>> reversed = {{0, 30000}, {30000, 0}, {0, 0}};

outline_file read(const rtt_writer& w, double frame_scale = 1.0) {
    outline_file file;
    read_outline_file(w.bytes.data(), w.bytes.size(), frame_scale, file);
    return file;
}

std::string write_file(const char* name, const rtt_writer& w) {
    std::string file = testing::TempDir() + std::to_string(getpid()) + "_" + name;
    std::FILE* f = std::fopen(file.c_str(), "wb");
    if (!w.bytes.empty()) std::fwrite(w.bytes.data(), 1, w.bytes.size(), f);
    std::fclose(f);
    return file;
}

} // namespace

// --- reading: pure, no GL ---

TEST(outline_file_read, header_with_no_frames_reads_no_shapes) {
    rtt_writer w;
    w.header(0, 2);
    outline_file file = read(w);
    EXPECT_TRUE(file.header_read);
    EXPECT_EQ(file.frame_count, 0);
    EXPECT_EQ(file.shapes_per_frame, 2);
    EXPECT_TRUE(file.shapes.empty());
    EXPECT_TRUE(file.complete);

    rtt_writer short_header;
    short_header.i32(3);
    short_header.i32(0);
    EXPECT_FALSE(read(short_header).header_read);
}

TEST(outline_file_read, frame_scale_limits_the_frames_read) {
    rtt_writer w;
    w.header(10, 2);
    for (int s = 0; s < 20; ++s)
        w.tagged_shape(static_cast<int16_t>(s));
    outline_file half = read(w, 0.5);
    ASSERT_EQ(half.shapes.size(), 10u); // frames 0 to 4, two shapes each
    EXPECT_TRUE(half.complete);
    EXPECT_EQ(half.shapes[9].polygons[0].xy[0], 9);

    // Any positive product reads at least frame 0.
    EXPECT_EQ(read(w, 0.001).shapes.size(), 2u);
    EXPECT_EQ(read(w, 0.0).shapes.size(), 0u);
    EXPECT_EQ(read(w, 1.0).shapes.size(), 20u);
}

TEST(outline_file_read, file_ending_early_keeps_whole_polygons_read_before) {
    rtt_writer w;
    w.header(3, 2);
    w.tagged_shape(0);
    w.tagged_shape(1);
    w.tagged_shape(2);
    w.i32(2); // shape 3: two polygons, the second cut short
    w.polygon(1.0, triangle);
    w.i32(3);
    w.f64(1.0);
    w.i16(5);
    outline_file file = read(w);
    EXPECT_FALSE(file.complete);
    EXPECT_EQ(file.shapes_wanted, 6);
    ASSERT_EQ(file.shapes.size(), 4u);
    EXPECT_EQ(file.shapes[3].polygons.size(), 1u);
    EXPECT_EQ(file.shapes[3].polygons[0].xy.size(), 6u);
}

TEST(outline_file_read, oversized_polygon_is_skipped_and_reading_goes_on) {
    rtt_writer w;
    w.header(1, 1);
    w.i32(3);
    w.polygon(0.0, triangle);
    std::vector<std::pair<int16_t, int16_t>> huge(shape_max_vertices + 1, {1, 1});
    w.polygon(0.0, huge);
    w.polygon(2.0, reversed);
    outline_file file = read(w);
    EXPECT_TRUE(file.complete);
    EXPECT_EQ(file.skipped_polygons, 1);
    ASSERT_EQ(file.shapes.size(), 1u);
    ASSERT_EQ(file.shapes[0].polygons.size(), 2u);
    EXPECT_EQ(file.shapes[0].polygons[1].depth, 2.0);

    // Exactly 8192 vertices still fit.
    rtt_writer fits;
    fits.header(1, 1);
    fits.i32(1);
    fits.polygon(0.0, std::vector<std::pair<int16_t, int16_t>>(shape_max_vertices, {2, 3}));
    outline_file full = read(fits);
    EXPECT_EQ(full.skipped_polygons, 0);
    ASSERT_EQ(full.shapes.size(), 1u);
    EXPECT_EQ(full.shapes[0].polygons[0].xy.size(), 2u * shape_max_vertices);
}

TEST(outline_file_read, counts_the_file_cannot_hold_are_rejected) {
    // Two billion frames of two billion shapes in a 20-byte file.
    rtt_writer frames;
    frames.header(INT32_MAX, INT32_MAX);
    frames.i32(0);
    outline_file a = read(frames);
    EXPECT_FALSE(a.complete);
    EXPECT_EQ(a.shapes.size(), 1u);

    // A polygon count far beyond the bytes left.
    rtt_writer polygons;
    polygons.header(1, 1);
    polygons.i32(INT32_MAX);
    polygons.polygon(0.0, triangle);
    outline_file b = read(polygons);
    EXPECT_FALSE(b.complete);
    EXPECT_TRUE(b.shapes.empty());

    // A vertex count beyond the bytes left, below the buffer size.
    rtt_writer vertices;
    vertices.header(1, 1);
    vertices.i32(1);
    vertices.i32(4000);
    vertices.f64(0.0);
    vertices.i16(1);
    outline_file c = read(vertices);
    EXPECT_FALSE(c.complete);
    EXPECT_TRUE(c.shapes.empty());

    // Negative counts hold nothing to read.
    rtt_writer negative;
    negative.header(1, 2);
    negative.i32(-5);
    negative.tagged_shape(7);
    outline_file d = read(negative);
    EXPECT_TRUE(d.complete);
    ASSERT_EQ(d.shapes.size(), 2u);
    EXPECT_TRUE(d.shapes[0].polygons.empty());
}

// --- compiling: in a GL context ---

class shape_gl : public gl_test {
  protected:
    void SetUp() override {
        gl_test::SetUp();
        glDeleteLists(1, 4000);
    }

    // The list drawn in white on black, with x and y from -0.5 to 1.5.
    std::vector<uint8_t> draw(GLuint list) {
        glClear(GL_COLOR_BUFFER_BIT);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(-0.5, 1.5, -0.5, 1.5, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glColor3f(1, 1, 1);
        glCallList(list);
        glFinish();
        return test_gl::read_rgba(0, 0, 256, 256);
    }

    static bool lit(const std::vector<uint8_t>& image, double x, double y) {
        int px = static_cast<int>((x + 0.5) / 2.0 * 256), py = static_cast<int>((y + 0.5) / 2.0 * 256);
        return image[(size_t(py) * 256 + px) * 4] > 128;
    }

    // Window coordinates (identity matrices, 256 x 256 view) of the vertices
    // the list emits, by feedback.
    std::vector<float> feedback(GLuint list) {
        std::vector<GLfloat> buffer(4096);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D, buffer.data());
        glRenderMode(GL_FEEDBACK);
        glCallList(list);
        GLint used = glRenderMode(GL_RENDER);
        buffer.resize(used > 0 ? used : 0);
        return buffer;
    }
};

TEST_F(shape_gl, triangle_compiles_with_its_corners_and_depth) {
    rtt_writer w;
    w.header(1, 1);
    w.i32(1);
    const double depth = 25.0, depth_scale = 1.5; // z = 25 * 1.5 * 0.014 = 0.525
    w.polygon(depth, triangle);
    shape s;
    create(s);
    compile_outline_lists(s, read(w), 300, depth_scale);
    destroy(s);
    ASSERT_TRUE(glIsList(300));

    std::vector<float> fb = feedback(300);
    // One polygon token, its vertex count, then x, y, z per vertex.
    ASSERT_GE(fb.size(), 11u);
    EXPECT_EQ(fb[0], float(GL_POLYGON_TOKEN));
    ASSERT_EQ(fb[1], 3.0f);
    const float z_window = static_cast<float>((depth * depth_scale * 0.014 + 1.0) / 2.0);
    std::vector<std::pair<float, float>> corners;
    for (int v = 0; v < 3; ++v) {
        corners.push_back({fb[2 + 3 * v], fb[3 + 3 * v]});
        EXPECT_NEAR(fb[4 + 3 * v], z_window, 1e-5f);
    }
    std::sort(corners.begin(), corners.end());
    // (0, 0), (1, 0), (0, 1) in a 256-pixel view from -1 to 1.
    EXPECT_EQ(corners[0], std::make_pair(128.0f, 128.0f));
    EXPECT_EQ(corners[1], std::make_pair(128.0f, 256.0f));
    EXPECT_EQ(corners[2], std::make_pair(256.0f, 128.0f));
}

TEST_F(shape_gl, triangle_and_its_reverse_fill_the_same_pixels) {
    rtt_writer w;
    w.header(1, 2);
    w.i32(1);
    w.polygon(0.0, triangle);
    w.i32(1);
    w.polygon(0.0, reversed);
    shape s;
    create(s);
    compile_outline_lists(s, read(w), 400, 0.001);
    destroy(s);

    std::vector<uint8_t> forward = draw(400);
    EXPECT_TRUE(lit(forward, 0.2, 0.2));
    EXPECT_TRUE(lit(forward, 0.05, 0.9));
    EXPECT_FALSE(lit(forward, 0.6, 0.6));
    EXPECT_FALSE(lit(forward, -0.2, 0.2));
    std::vector<uint8_t> backward = draw(401);
    EXPECT_EQ(forward, backward);
}

TEST_F(shape_gl, self_intersecting_outline_fills_positive_regions_only) {
    // A bow tie: a left and a right triangle meeting at (0.5, 0.5); the
    // crossing needs a combined vertex.
    rtt_writer w;
    w.header(1, 1);
    w.i32(1);
    w.polygon(0.0, {{0, 0}, {30000, 30000}, {30000, 0}, {0, 30000}});
    shape s;
    create(s);
    compile_outline_lists(s, read(w), 500, 0.001);
    destroy(s);
    std::vector<uint8_t> image = draw(500);
    // One lobe winds +1, the other -1 whichever normal is chosen: exactly one fills.
    EXPECT_NE(lit(image, 0.2, 0.5), lit(image, 0.8, 0.5));
    EXPECT_FALSE(lit(image, 0.5, 0.2));
    EXPECT_FALSE(lit(image, 0.5, 0.8));
}

TEST_F(shape_gl, loader_compiles_the_frames_asked_for) {
    rtt_writer w;
    w.header(10, 2);
    for (int s = 0; s < 20; ++s)
        w.tagged_shape(static_cast<int16_t>(s * 100));
    std::string name = write_file("ten.rtt", w);
    shape s;
    int frames = -1, per_frame = -1;
    shape_loader(s, name.c_str(), &frames, &per_frame, 100, 0.001, 0.5);
    EXPECT_EQ(frames, 10);
    EXPECT_EQ(per_frame, 2);
    for (GLuint list = 100; list < 110; ++list)
        EXPECT_TRUE(glIsList(list)) << list;
    EXPECT_FALSE(glIsList(110));
    // Released after loading: the lists hold everything.
    EXPECT_EQ(s.tessellator, nullptr);
    EXPECT_EQ(s.vertices, nullptr);
}

TEST_F(shape_gl, header_with_no_frames_compiles_nothing) {
    rtt_writer w;
    w.header(0, 2);
    w.tagged_shape(0);
    std::string name = write_file("none.rtt", w);
    shape s;
    int frames = -1, per_frame = -1;
    shape_loader(s, name.c_str(), &frames, &per_frame, 100, 0.001, 1.0);
    EXPECT_EQ(frames, 0);
    EXPECT_EQ(per_frame, 2);
    EXPECT_FALSE(glIsList(100));
}

TEST_F(shape_gl, missing_or_short_files_leave_the_rest_empty) {
    shape s;
    int frames = -1, per_frame = -1;
    shape_loader(s, "no/such/test1.rtt", &frames, &per_frame, 100, 0.001, 1.0);
    EXPECT_EQ(frames, 0);
    EXPECT_EQ(per_frame, 0);
    EXPECT_FALSE(glIsList(100));

    // 800 frames announced, three shapes present.
    rtt_writer w;
    w.header(800, 2);
    w.tagged_shape(0);
    w.tagged_shape(0);
    w.tagged_shape(0);
    w.i32(1);
    w.i32(3);
    std::string name = write_file("short.rtt", w);
    shape_loader(s, name.c_str(), &frames, &per_frame, 100, 0.001, 1.0);
    EXPECT_EQ(frames, 800);
    EXPECT_TRUE(glIsList(102));
    EXPECT_FALSE(glIsList(103));
    EXPECT_FALSE(glIsList(1699));
    // The lists that exist still draw.
    EXPECT_TRUE(lit(draw(102), 0.2, 0.2));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(shape_gl, oversized_polygon_is_skipped_when_compiling) {
    rtt_writer w;
    w.header(1, 1);
    w.i32(2);
    std::vector<std::pair<int16_t, int16_t>> huge;
    for (int k = 0; k < 10000; ++k)
        huge.push_back({static_cast<int16_t>(k % 2 ? 30000 : 15000), 15000});
    w.polygon(0.0, huge);
    w.polygon(0.0, triangle);
    std::string name = write_file("huge.rtt", w);
    shape s;
    int frames = 0, per_frame = 0;
    shape_loader(s, name.c_str(), &frames, &per_frame, 100, 0.001, 1.0);
    ASSERT_TRUE(glIsList(100));
    std::vector<uint8_t> image = draw(100);
    EXPECT_TRUE(lit(image, 0.2, 0.2));
}

TEST_F(shape_gl, wrapper_drops_vertices_beyond_its_buffer) {
    shape s;
    create(s);
    ASSERT_NE(s.tessellator, nullptr);
    glNewList(600, GL_COMPILE);
    begin_polygon(s);
    for (int k = 0; k < shape_max_vertices + 100; ++k)
        add_vertex(s, Vec3{1, k % 2 ? 0.5f : 0.25f, static_cast<float>(k) / shape_max_vertices, 0});
    EXPECT_EQ(s.vertex_count, shape_max_vertices);
    end_polygon(s);
    EXPECT_EQ(s.vertex_count, 0);
    glEndList();
    destroy(s);
    EXPECT_EQ(s.vertices, nullptr);
    EXPECT_EQ(s.tessellator, nullptr);
}
