// Texture loaders in a real GL context: what lands in the texture (read back
// with glGetTexImage), the slot table, and the message boxes and exits of
// files that cannot be loaded.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "jpeg_test_images.h"
#include "math/random.h"
#include "platform/platform.h"
#include "resources/jpeg_decoder.h"
#include "resources/resources.h"
#include "support/gl_context.h"

using namespace jpeg_test;

namespace {

// Message boxes recorded, exits thrown, everything else the null platform.
struct exit_thrown {
    int code;
};
struct recorded_box {
    std::string text, caption;
    unsigned style;
};
std::vector<recorded_box> boxes;

class recording_platform {
  public:
    recording_platform() : saved_(platform::sys()) {
        boxes.clear();
        platform::platform fake = platform::null_platform();
        fake.message_box = [](const char* text, const char* caption, unsigned style) {
            boxes.push_back({text, caption, style});
            return int(platform::id_ok);
        };
        fake.exit_process = [](int code) { throw exit_thrown{code}; };
        platform::sys() = fake;
    }
    ~recording_platform() { platform::sys() = saved_; }

  private:
    platform::platform saved_;
};

std::string write_file(const std::string& name, const bytes& data) {
    std::string path = ::testing::TempDir() + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f) {
        std::fwrite(data.data(), 1, data.size(), f);
        std::fclose(f);
    }
    return path;
}

struct texture_image {
    int width = 0, height = 0;
    std::vector<uint8_t> pixels; // RGBA, bottom row first
    uint8_t at(int x, int row, int channel) const { return pixels[(size_t(row) * width + x) * 4 + channel]; }
};

texture_image read_texture(GLuint name) {
    texture_image t;
    glBindTexture(GL_TEXTURE_2D, name);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &t.width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &t.height);
    t.pixels.resize(size_t(t.width) * t.height * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, t.pixels.data());
    return t;
}

class texture_loading : public gl_test {
  protected:
    void SetUp() override {
        gl_test::SetUp();
        context = std::make_unique<show_context>();
    }
    std::unique_ptr<show_context> context;
    recording_platform fake;
};

// Texture row r holds decoded line H - 1 - r, and its RGB bytes are the
// decoder's; 3 x 2 has rows of 9 bytes, which need unpack alignment 1.
TEST_F(texture_loading, rows_are_stored_bottom_up_at_unpack_alignment_1) {
    encode_options o;
    o.width = 3;
    o.height = 2;
    std::string path = write_file("tex_3x2.jpg", encode(o));
    image decoded = decode_ours(encode(o));
    load_jpeg_texture(*context, path.c_str(), 4);
    ASSERT_NE(context->texture_names[4], 0u);
    texture_image t = read_texture(context->texture_names[4]);
    ASSERT_EQ(t.width, 3);
    ASSERT_EQ(t.height, 2);
    for (int row = 0; row < 2; ++row)
        for (int x = 0; x < 3; ++x)
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(t.at(x, row, c), decoded.lines[size_t(1 - row)][size_t(4 * x + c)])
                    << row << "," << x;
    EXPECT_EQ(t.at(0, 0, 3), 255) << "opaque";
    GLint alignment = 0;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    EXPECT_EQ(alignment, 4) << "the loader leaves the unpack alignment as it found it";
    GLint filter = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
    EXPECT_EQ(filter, GL_LINEAR);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(texture_loading, uploaded_at_its_own_size_into_base_plus_slot) {
    encode_options o;
    o.width = 100;
    o.height = 75;
    std::string path = write_file("tex_100x75.jpg", encode(o));
    context->texture_base = 1000;
    load_jpeg_texture(*context, path.c_str(), 7);
    EXPECT_EQ(context->texture_names[7], 0u);
    texture_image t = read_texture(context->texture_names[1007]);
    EXPECT_EQ(t.width, 100);
    EXPECT_EQ(t.height, 75);
}

TEST_F(texture_loading, grey_images_become_grey_rgb) {
    encode_options o;
    o.width = 13;
    o.height = 5;
    o.grey = true;
    bytes jpeg = encode(o);
    std::string path = write_file("tex_grey.jpg", jpeg);
    image decoded = decode_ours(jpeg);
    load_jpeg_texture(*context, path.c_str(), 1);
    texture_image t = read_texture(context->texture_names[1]);
    ASSERT_EQ(t.width, 13);
    for (int row = 0; row < 5; ++row)
        for (int x = 0; x < 13; ++x) {
            uint8_t grey = decoded.lines[size_t(4 - row)][size_t(x)];
            EXPECT_EQ(t.at(x, row, 0), grey);
            EXPECT_EQ(t.at(x, row, 1), grey);
            EXPECT_EQ(t.at(x, row, 2), grey);
        }
}

TEST_F(texture_loading, loading_a_slot_again_keeps_the_first_texture_alive) {
    encode_options o;
    o.width = o.height = 8;
    std::string path = write_file("tex_twice.jpg", encode(o));
    load_jpeg_texture(*context, path.c_str(), 2);
    GLuint first = context->texture_names[2];
    load_jpeg_texture(*context, path.c_str(), 2);
    EXPECT_NE(context->texture_names[2], first);
    EXPECT_TRUE(glIsTexture(first));
}

// Same file as colour and alpha: alpha is the green channel, rows from 2 up
// line for line; row 0 is transparent black and row 1 carries the alpha of
// the image's last line over the colour of the line above it.
TEST_F(texture_loading, alpha_comes_from_green_and_row_0_is_transparent) {
    encode_options o;
    o.width = 21;
    o.height = 9;
    bytes jpeg = encode(o);
    std::string path = write_file("tex_alpha.jpg", jpeg);
    image decoded = decode_ours(jpeg);
    load_jpeg_texture_with_alpha(*context, path.c_str(), path.c_str(), 3);
    texture_image t = read_texture(context->texture_names[3]);
    ASSERT_EQ(t.width, 21);
    ASSERT_EQ(t.height, 9);
    const int h = 9;
    for (int x = 0; x < 21; ++x) {
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(t.at(x, 0, c), 0) << "row 0, pixel " << x;
        EXPECT_EQ(t.at(x, 1, 3), decoded.lines[size_t(h - 1)][size_t(4 * x + 1)]);
        EXPECT_EQ(t.at(x, 1, 0), decoded.lines[size_t(h - 2)][size_t(4 * x)]);
        for (int row = 2; row < h; ++row) {
            const bytes& line = decoded.lines[size_t(h - 1 - row)];
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(t.at(x, row, c), line[size_t(4 * x + c)]);
            EXPECT_EQ(t.at(x, row, 3), line[size_t(4 * x + 1)]) << "row " << row;
        }
    }
}

TEST_F(texture_loading, one_row_alpha_image_is_fully_transparent) {
    encode_options o;
    o.width = 5;
    o.height = 1;
    std::string path = write_file("tex_alpha_1row.jpg", encode(o));
    load_jpeg_texture_with_alpha(*context, path.c_str(), path.c_str(), 3);
    texture_image t = read_texture(context->texture_names[3]);
    ASSERT_EQ(t.height, 1);
    for (uint8_t b : t.pixels)
        EXPECT_EQ(b, 0);
}

// --- failures: message box, then exit code 0 ----------------------------------

struct failure {
    std::string text, caption;
    int code;
};

template <class F> failure expect_failure(F load) {
    try {
        load();
    } catch (const exit_thrown& e) {
        EXPECT_EQ(boxes.size(), 1u);
        if (boxes.empty()) return {"", "", e.code};
        EXPECT_EQ(boxes[0].style, unsigned(platform::mb_ok | platform::mb_iconinformation));
        return {boxes[0].text, boxes[0].caption, e.code};
    }
    ADD_FAILURE() << "the process did not end";
    return {};
}

TEST_F(texture_loading, missing_file_shows_jpg_and_exits_0) {
    std::string path = ::testing::TempDir() + "no such texture.jpg";
    failure f = expect_failure([&] { load_jpeg_texture(*context, path.c_str(), 10); });
    EXPECT_EQ(f.text, path);
    EXPECT_EQ(f.caption, "Jpg");
    EXPECT_EQ(f.code, 0);
    EXPECT_EQ(context->texture_names[10], 0u);
}

TEST_F(texture_loading, file_that_is_not_a_jpeg_shows_jpg_bang) {
    std::string path = write_file("tex_not_jpeg.jpg", bytes(300, 'x'));
    failure f = expect_failure([&] { load_jpeg_texture(*context, path.c_str(), 10); });
    EXPECT_EQ(f.text, path);
    EXPECT_EQ(f.caption, "Jpg !");
    EXPECT_EQ(f.code, 0);
}

TEST_F(texture_loading, scan_lines_failing_part_way_show_jpg_bang) {
    // Valid headers, then entropy data that is corrupt (a run past the end
    // of the block) with plenty of real data after it.
    grey_parts p = zero_grey(16, 16);
    p.dht_ac = dht(1, 0, {1}, {0xF1});
    p.data = {0x2A, 0x80};
    p.data.insert(p.data.end(), 64, 0);
    std::string path = write_file("tex_corrupt_scan.jpg", p.all());
    failure f = expect_failure([&] { load_jpeg_texture(*context, path.c_str(), 11); });
    EXPECT_EQ(f.text, path);
    EXPECT_EQ(f.caption, "Jpg !");
    EXPECT_EQ(context->texture_names[11], 0u) << "no half-decoded texture";
}

TEST_F(texture_loading, truncated_file_still_loads) {
    encode_options o;
    o.width = 64;
    o.height = 64;
    bytes jpeg = encode(o);
    jpeg.resize(jpeg.size() / 2);
    std::string path = write_file("tex_truncated.jpg", jpeg);
    load_jpeg_texture(*context, path.c_str(), 12);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(read_texture(context->texture_names[12]).width, 64);
}

TEST_F(texture_loading, alpha_loader_names_the_file_that_failed) {
    encode_options o;
    o.width = 16;
    o.height = 8;
    std::string good = write_file("tex_pair_good.jpg", encode(o));
    std::string missing = ::testing::TempDir() + "tex_pair_missing.jpg";
    std::string broken = write_file("tex_pair_broken.jpg", bytes{0xFF, 0xD8, 0xFF, 0xD9});

    failure f =
        expect_failure([&] { load_jpeg_texture_with_alpha(*context, missing.c_str(), good.c_str(), 5); });
    EXPECT_EQ(f.text, missing);
    EXPECT_EQ(f.caption, "Jpg !") << "the two-file loader says Jpg ! for a missing file too";
    boxes.clear();
    f = expect_failure([&] { load_jpeg_texture_with_alpha(*context, good.c_str(), missing.c_str(), 5); });
    EXPECT_EQ(f.text, missing);
    EXPECT_EQ(f.caption, "Jpg !");
    boxes.clear();
    f = expect_failure([&] { load_jpeg_texture_with_alpha(*context, good.c_str(), broken.c_str(), 5); });
    EXPECT_EQ(f.text, broken);
    EXPECT_EQ(f.caption, "Jpg !");
    EXPECT_EQ(f.code, 0);
}

TEST_F(texture_loading, alpha_image_of_another_size_is_refused) {
    encode_options o;
    o.width = 16;
    o.height = 8;
    std::string colour = write_file("tex_size_colour.jpg", encode(o));
    o.height = 9;
    std::string alpha = write_file("tex_size_alpha.jpg", encode(o));
    failure f =
        expect_failure([&] { load_jpeg_texture_with_alpha(*context, colour.c_str(), alpha.c_str(), 6); });
    EXPECT_EQ(f.text, alpha);
    EXPECT_EQ(f.caption, "Jpg !");
    EXPECT_EQ(context->texture_names[6], 0u);
}

// --- noise -----------------------------------------------------------------------

TEST_F(texture_loading, noise_follows_the_shared_generator_and_never_holds_255) {
    show_srand(1234);
    make_noise_texture(*context, 20, 64, 32);
    texture_image t = read_texture(context->texture_names[20]);
    ASSERT_EQ(t.width, 64);
    ASSERT_EQ(t.height, 32);
    show_srand(1234);
    int counts[256] = {};
    for (size_t i = 0; i < t.pixels.size(); ++i) {
        ASSERT_EQ(t.pixels[i], show_rand() % 255) << "byte " << i;
        counts[t.pixels[i]]++;
    }
    EXPECT_EQ(counts[255], 0);
    EXPECT_GT(counts[254] + counts[0], 0) << "both ends of 0..254 occur in 8192 bytes";
}

} // namespace
