// The JPEG decoder against libjpeg-turbo on images generated here, its
// output formats, its error codes on hand-made broken files, and the two
// implementations of its inverse transform.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "jpeg_test_images.h"
#include "resources/jpeg_decoder.h"

using namespace jpeg_test;

namespace {

// --- reference decodes ----------------------------------------------------------

struct reference_case {
    std::string name;
    encode_options options;
};

std::ostream& operator<<(std::ostream& out, const reference_case& c) { return out << c.name; }

encode_options with(int width, int height, int h, int v) {
    encode_options o;
    o.width = width;
    o.height = height;
    o.h = h;
    o.v = v;
    return o;
}

std::vector<reference_case> reference_cases() {
    std::vector<reference_case> cases;
    const struct {
        const char* name;
        int h, v;
    } layouts[] = {{"444", 1, 1}, {"422", 2, 1}, {"420", 2, 2}, {"440", 1, 2}};
    for (auto layout : layouts) {
        for (bool progressive : {false, true}) {
            encode_options o = with(83, 61, layout.h, layout.v);
            o.progressive = progressive;
            cases.push_back({std::string(progressive ? "progressive_" : "baseline_") + layout.name, o});
        }
        cases.push_back({std::string("odd_17x17_") + layout.name, with(17, 17, layout.h, layout.v)});
        cases.push_back({std::string("one_pixel_") + layout.name, with(1, 1, layout.h, layout.v)});
    }
    encode_options grey = with(45, 29, 1, 1);
    grey.grey = true;
    cases.push_back({"grey_baseline", grey});
    grey.progressive = true;
    cases.push_back({"grey_progressive", grey});
    grey.progressive = false;
    grey.width = grey.height = 1;
    cases.push_back({"grey_one_pixel", grey});

    encode_options restart = with(100, 70, 2, 2);
    restart.restart_interval = 1;
    cases.push_back({"restart_every_mcu_420", restart});
    restart.restart_interval = 3;
    restart.progressive = true;
    cases.push_back({"restart_3_progressive", restart});
    restart.h = restart.v = 1;
    restart.progressive = false;
    restart.restart_interval = 5;
    cases.push_back({"restart_5_444", restart});
    encode_options grey_restart = grey;
    grey_restart.width = 50;
    grey_restart.height = 20;
    grey_restart.restart_interval = 2;
    cases.push_back({"restart_2_grey", grey_restart});

    // Scaled tables above 255 are written with 16-bit precision.
    encode_options coarse = with(64, 40, 2, 2);
    coarse.linear_scale = 400;
    cases.push_back({"sixteen_bit_tables", coarse});
    coarse.progressive = true;
    cases.push_back({"sixteen_bit_tables_progressive", coarse});

    // Colour coded in RGB is taken as it is; a JFIF marker means YCbCr
    // whatever the components are called.
    encode_options rgb = with(83, 61, 1, 1);
    rgb.colour = encode_options::coding::rgb_adobe;
    cases.push_back({"rgb_adobe_marker", rgb});
    rgb.progressive = true;
    cases.push_back({"rgb_adobe_marker_progressive", rgb});
    rgb.progressive = false;
    rgb.colour = encode_options::coding::rgb_named;
    cases.push_back({"rgb_component_names", rgb});
    encode_options ycc_named = with(83, 61, 2, 2);
    ycc_named.rgb_names = true;
    cases.push_back({"ycc_jfif_components_named_rgb", ycc_named});

    encode_options tall = with(24, 200, 1, 2);
    tall.quality = 75;
    cases.push_back({"tall_440_q75", tall});
    return cases;
}

class jpeg_reference : public ::testing::TestWithParam<reference_case> {};

// Tolerance: the integer path keeps two fraction bits through a 16-bit AAN
// transform whose multiplies truncate, and folds the AAN scale factors into
// the quantisation table with rounding; libjpeg-turbo's accurate transform
// keeps 13 bits. On these noisy test pictures at qualities 75-85 that costs
// up to 3 levels, 4 in places where colour conversion amplifies a chroma error
// by up to 1.77 (libjpeg-turbo's own fast integer transform is off by 4-5 on
// the same files). The means catch what a maximum lets through: a bias of the
// final shift (signed mean) or a general loss of precision (absolute mean).
void expect_close(const image& ours, const image& reference, bool check_bias = true) {
    difference d = compare(ours, reference);
    EXPECT_LE(d.max, 4);
    EXPECT_LT(d.mean, 0.75);
    if (check_bias) {
        EXPECT_LT(std::abs(d.signed_mean), 0.15);
    }
}

TEST_P(jpeg_reference, matches_libjpeg_turbo_within_tolerance) {
    const encode_options& o = GetParam().options;
    bytes jpeg = encode(o);
    ASSERT_FALSE(jpeg.empty());
    image reference = decode_reference(jpeg);
    image ours = decode_ours(jpeg);
    ASSERT_EQ(ours.error, 0);
    ASSERT_EQ(ours.width, o.width);
    ASSERT_EQ(ours.height, o.height);
    ASSERT_EQ(ours.lines.size(), size_t(o.height));
    ASSERT_EQ(ours.bytes_per_pixel, o.grey ? 1 : 4);
    for (const bytes& line : ours.lines) {
        ASSERT_EQ(line.size(), size_t(o.width * ours.bytes_per_pixel));
        if (o.grey) continue;
        for (int x = 0; x < o.width; ++x)
            ASSERT_EQ(line[size_t(4 * x + 3)], 0) << "fourth byte of pixel " << x;
    }
    expect_close(ours, reference);
}

// The floating-point path (never taken by the show) shares everything but
// the transform; the same tolerance holds, except for the bias check: at
// coarse quantisation its exact transform and libjpeg-turbo's range limiting
// part ways on ringing samples far outside 0..255.
TEST_P(jpeg_reference, float_transform_matches_too) {
    const encode_options& o = GetParam().options;
    bytes jpeg = encode(o);
    image ours = decode_ours(jpeg, false);
    ASSERT_EQ(ours.error, 0);
    expect_close(ours, decode_reference(jpeg), false);
}

INSTANTIATE_TEST_SUITE_P(generated, jpeg_reference, ::testing::ValuesIn(reference_cases()),
                         [](const auto& info) { return info.param.name; });

// --- output shape and the line protocol ---------------------------------------

TEST(jpeg_decoder, line_lengths_and_end_of_image) {
    bytes jpeg = encode(with(17, 17, 2, 2));
    jpeg_decoder_memory_stream stream(jpeg.data(), jpeg.size());
    jpeg_decoder decoder(&stream);
    ASSERT_EQ(decoder.error_code(), 0);
    EXPECT_EQ(decoder.component_count(), 3);
    const uint8_t* line = nullptr;
    int length = 0;
    EXPECT_EQ(decoder.next_line(&line, &length), -1) << "lines before start_decode";
    ASSERT_EQ(decoder.start_decode(), 0);
    EXPECT_EQ(decoder.start_decode(), 0) << "a second start is harmless";
    for (int y = 0; y < 17; ++y) {
        ASSERT_EQ(decoder.next_line(&line, &length), 0);
        EXPECT_EQ(length, 68);
    }
    EXPECT_EQ(decoder.next_line(&line, &length), 1);
    EXPECT_EQ(decoder.next_line(&line, &length), 1);
}

TEST(jpeg_decoder, one_pixel_images) {
    encode_options o = with(1, 1, 1, 1);
    image colour = decode_ours(encode(o));
    ASSERT_EQ(colour.lines.size(), 1u);
    ASSERT_EQ(colour.lines[0].size(), 4u);
    EXPECT_EQ(colour.lines[0][3], 0);
    o.grey = true;
    image grey = decode_ours(encode(o));
    ASSERT_EQ(grey.lines.size(), 1u);
    EXPECT_EQ(grey.lines[0].size(), 1u);
}

TEST(jpeg_decoder, file_stream_reads_a_file_and_reports_a_missing_one) {
    bytes jpeg = encode(with(20, 12, 2, 1));
    std::string path = ::testing::TempDir() + "jpeg_decoder_stream.jpg";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_TRUE(f);
    std::fwrite(jpeg.data(), 1, jpeg.size(), f);
    std::fclose(f);

    jpeg_decoder_file_stream stream;
    uint8_t buffer[8];
    bool at_end = false;
    EXPECT_EQ(stream.read_bytes(buffer, 8, &at_end), -1) << "no file open";
    EXPECT_TRUE(stream.open_file((path + ".missing").c_str()));
    ASSERT_FALSE(stream.open_file(path.c_str()));
    jpeg_decoder decoder(&stream);
    ASSERT_EQ(decoder.error_code(), 0);
    ASSERT_EQ(decoder.start_decode(), 0);
    const uint8_t* line;
    int length;
    for (int y = 0; y < 12; ++y)
        ASSERT_EQ(decoder.next_line(&line, &length), 0);
    // Reading on at the end keeps reporting the end.
    at_end = false;
    EXPECT_EQ(stream.read_bytes(buffer, 8, &at_end), 0);
    EXPECT_TRUE(at_end);
    std::remove(path.c_str());
}

// --- damaged files that still decode -------------------------------------------

TEST(jpeg_decoder, leading_garbage_up_to_511_bytes) {
    bytes jpeg = encode(with(16, 16, 2, 2));
    bytes garbage(511, 0x5A);
    garbage[100] = 0xFF; // a lone FF that is not SOI
    EXPECT_EQ(decode_error(concat({garbage, jpeg})), 0);
    garbage.push_back(0);
    EXPECT_EQ(decode_error(concat({garbage, jpeg})), jpeg_not_jpeg);
}

class jpeg_truncated : public ::testing::TestWithParam<int> {};

// A file cut anywhere in its entropy data still yields every line: the EOI
// padding ends the scan, and the lines decoded before the cut are exact.
TEST_P(jpeg_truncated, decodes_every_line) {
    encode_options o = with(96, 64, 2, 2);
    o.restart_interval = GetParam() == 2 ? 2 : 0;
    o.progressive = GetParam() == 1;
    bytes jpeg = encode(o);
    image full = decode_ours(jpeg);
    ASSERT_EQ(full.error, 0);
    for (double fraction : {0.35, 0.6, 0.9, 0.999}) {
        bytes cut(jpeg.begin(), jpeg.begin() + long(jpeg.size() * fraction));
        image partial = decode_ours(cut);
        ASSERT_EQ(partial.error, 0) << fraction;
        ASSERT_EQ(partial.lines.size(), 64u) << fraction;
        if (!o.progressive && fraction > 0.5) {
            for (int y = 0; y < 16; ++y)
                EXPECT_EQ(partial.lines[size_t(y)], full.lines[size_t(y)]) << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(cuts, jpeg_truncated, ::testing::Values(0, 1, 2), [](const auto& info) {
    return std::string(info.param == 0 ? "baseline" : info.param == 1 ? "progressive" : "restarts");
});

TEST(jpeg_decoder, sequential_image_with_one_scan_per_component) {
    // Three non-interleaved scans of zero blocks: buffered like a progressive image.
    bytes file =
        concat({bytes{0xFF, 0xD8}, dqt8(0), sof(0xC0, 16, 8, {{1, 0x11, 0}, {2, 0x11, 0}, {3, 0x11, 0}}),
                dht(0, 0, {1}, {0}), dht(1, 0, {1}, {0})});
    for (int id = 1; id <= 3; ++id)
        file = concat({file, sos({{id, 0x00}}), bytes{0x0F}});
    file = concat({file, bytes{0xFF, 0xD9}});
    image ours = decode_ours(file);
    ASSERT_EQ(ours.error, 0);
    ASSERT_EQ(ours.lines.size(), 8u);
    // Zero coefficients everywhere: Y = Cb = Cr = 128, mid grey.
    for (const bytes& line : ours.lines)
        for (int x = 0; x < 16; ++x)
            EXPECT_EQ(line[size_t(4 * x)], 128);
}

// --- error codes ------------------------------------------------------------

struct error_case {
    std::string name;
    bytes file;
    int code;
};

std::ostream& operator<<(std::ostream& out, const error_case& c) { return out << c.name; }

std::vector<error_case> error_cases() {
    std::vector<error_case> cases;
    auto add = [&](const std::string& name, const bytes& file, int code) {
        cases.push_back({name, file, code});
    };
    const grey_parts good = zero_grey(16, 8);
    auto changed = [&](auto change) {
        grey_parts p = good;
        change(p);
        return p.all();
    };
    add("valid_reference", good.all(), 0);

    add("dht_counts_over_255", changed([](grey_parts& p) {
            p.dht_ac = dht(1, 0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 255}, bytes(256));
        }),
        jpeg_bad_dht_counts);
    add("dht_more_codes_than_fit", changed([](grey_parts& p) {
            p.dht_ac = dht(1, 0, {3}, {0, 1, 2});
        }),
        jpeg_bad_dht_counts);
    add("dht_class_2", changed([](grey_parts& p) { p.dht_ac = dht(2, 0, {1}, {0}); }), jpeg_bad_dht_index);
    add("dht_length_below_2", changed([](grey_parts& p) {
            p.dht_ac = {0xFF, 0xC4, 0x00, 0x01};
        }),
        jpeg_bad_dht_marker);
    add("dht_table_longer_than_segment", changed([](grey_parts& p) { p.dht_ac = dht(1, 0, {4}, {0}); }),
        jpeg_bad_dht_marker);
    add("dqt_length_below_2", changed([](grey_parts& p) {
            p.dqt = {0xFF, 0xDB, 0x00, 0x01};
        }),
        jpeg_bad_dqt_marker);
    add("dqt_table_4", changed([](grey_parts& p) { p.dqt = dqt8(4); }), jpeg_bad_dqt_table);
    add("dqt_short_table", changed([](grey_parts& p) {
            p.dqt = segment(0xDB, bytes{0x00, 1, 1, 1, 1, 1});
        }),
        jpeg_bad_dqt_length);
    add("dqt_16_bit_short_table", changed([](grey_parts& p) {
            bytes payload = {0x10};
            payload.insert(payload.end(), 100, 1);
            p.dqt = segment(0xDB, payload);
        }),
        jpeg_bad_dqt_length);
    add("precision_12", changed([](grey_parts& p) {
            p.sof = sof(0xC1, 16, 8, {{1, 0x11, 0}}, 12);
        }),
        jpeg_bad_precision);
    add("height_0", changed([](grey_parts& p) {
            p.sof = sof(0xC0, 16, 0, {{1, 0x11, 0}});
        }),
        jpeg_bad_height);
    add("height_8193", changed([](grey_parts& p) {
            p.sof = sof(0xC0, 16, 8193, {{1, 0x11, 0}});
        }),
        jpeg_bad_height);
    add("width_8193", changed([](grey_parts& p) {
            p.sof = sof(0xC0, 8193, 8, {{1, 0x11, 0}});
        }),
        jpeg_bad_width);
    add("five_components", changed([](grey_parts& p) {
            p.sof = sof(0xC0, 16, 8, {{1, 0x11, 0}, {2, 0x11, 0}, {3, 0x11, 0}, {4, 0x11, 0}, {5, 0x11, 0}});
        }),
        jpeg_too_many_components);
    add("sof_length_mismatch", changed([](grey_parts& p) {
            p.sof = sof(0xC0, 16, 8, {{1, 0x11, 0}});
            p.sof[3] += 1;
            p.sof.push_back(0);
        }),
        jpeg_bad_sof_length);
    add("app_length_below_2", changed([](grey_parts& p) {
            p.dqt = concat({bytes{0xFF, 0xE0, 0x00, 0x01}, p.dqt});
        }),
        jpeg_bad_variable_marker);
    add("dri_length_5", changed([](grey_parts& p) {
            p.dqt = concat({segment(0xDD, {0, 1, 0}), p.dqt});
        }),
        jpeg_bad_dri_length);
    add("sos_no_components", changed([](grey_parts& p) {
            p.sos = segment(0xDA, {0, 0, 63, 0});
        }),
        jpeg_bad_sos_length);
    add("sos_length_mismatch", changed([](grey_parts& p) {
            p.sos = segment(0xDA, {1, 1, 0, 0, 63, 0, 0});
        }),
        jpeg_bad_sos_length);
    add("sos_unknown_component", changed([](grey_parts& p) {
            p.sos = sos({{9, 0x00}});
        }),
        jpeg_bad_sos_component_id);
    add("dac_marker", changed([](grey_parts& p) {
            p.dqt = concat({segment(0xCC, {0x00, 0x10}), p.dqt});
        }),
        jpeg_no_arithmetic_support);
    add("sof9_arithmetic", changed([](grey_parts& p) {
            p.sof = sof(0xC9, 16, 8, {{1, 0x11, 0}});
        }),
        jpeg_no_arithmetic_support);
    add("tem_marker", changed([](grey_parts& p) {
            p.dqt = concat({bytes{0xFF, 0x01}, p.dqt});
        }),
        jpeg_unexpected_marker);
    add("jpg_marker", changed([](grey_parts& p) {
            p.dqt = concat({bytes{0xFF, 0xC8}, p.dqt});
        }),
        jpeg_unexpected_marker);
    add("rst_outside_scan", changed([](grey_parts& p) {
            p.dqt = concat({bytes{0xFF, 0xD3}, p.dqt});
        }),
        jpeg_unexpected_marker);
    add("eoi_before_first_scan", changed([](grey_parts& p) { p.sos.clear(), p.data.clear(); }),
        jpeg_unexpected_marker);
    add("eoi_before_frame", bytes{0xFF, 0xD8, 0xFF, 0xD9}, jpeg_unexpected_marker);
    add("not_a_jpeg", bytes{'P', '6', '\n', '1', ' ', '1', '\n', '2', '5', '5', '\n', 0, 0, 0},
        jpeg_not_jpeg);
    add("empty_file", bytes{}, jpeg_not_jpeg);
    add("soi_then_no_marker", bytes{0xFF, 0xD8, 0x00, 0xFF, 0xD9}, jpeg_not_jpeg);
    add("sof3_lossless", changed([](grey_parts& p) {
            p.sof = sof(0xC3, 16, 8, {{1, 0x11, 0}});
        }),
        jpeg_unsupported_marker);
    add("sof5_hierarchical", changed([](grey_parts& p) {
            p.sof = sof(0xC5, 16, 8, {{1, 0x11, 0}});
        }),
        jpeg_unsupported_marker);
    add("missing_quant_table", changed([](grey_parts& p) {
            p.sof = sof(0xC0, 16, 8, {{1, 0x11, 1}});
        }),
        jpeg_undefined_quant_table);
    add("missing_ac_table", changed([](grey_parts& p) { p.dht_ac.clear(); }), jpeg_undefined_huff_table);
    add("dc_table_out_of_range", changed([](grey_parts& p) {
            p.sos = sos({{1, 0x50}});
        }),
        jpeg_undefined_huff_table);
    add("two_components", changed([](grey_parts& p) {
            p.sof = sof(0xC0, 16, 8, {{1, 0x11, 0}, {2, 0x11, 0}});
        }),
        jpeg_unsupported_colourspace);
    add("cmyk_four_components", changed([](grey_parts& p) {
            p.sof = sof(0xC0, 16, 8, {{1, 0x11, 0}, {2, 0x11, 0}, {3, 0x11, 0}, {4, 0x11, 0}});
        }),
        jpeg_unsupported_colourspace);
    add("sampling_411", changed([](grey_parts& p) {
            p.sof = sof(0xC0, 16, 8, {{1, 0x41, 0}, {2, 0x11, 0}, {3, 0x11, 0}});
        }),
        jpeg_unsupported_sampling);
    add("subsampled_chroma", changed([](grey_parts& p) {
            p.sof = sof(0xC0, 16, 8, {{1, 0x22, 0}, {2, 0x21, 0}, {3, 0x11, 0}});
        }),
        jpeg_unsupported_sampling);

    // Entropy data: an AC code "0" meaning run 15, size 1 takes the fourth
    // coefficient past position 63; real data follows, so it is corruption.
    add("run_past_coefficient_63", changed([](grey_parts& p) {
            p.dht_ac = dht(1, 0, {1}, {0xF1});
            p.data = {0x2A, 0x80};
            p.data.insert(p.data.end(), 32, 0);
        }),
        jpeg_decode_error);
    add("invalid_huffman_code", changed([](grey_parts& p) {
            p.data = {0xC0, 0x00};
            p.data.insert(p.data.end(), 32, 0);
        }),
        jpeg_decode_error);
    add("restart_out_of_order", changed([](grey_parts& p) {
            p.dqt = concat({segment(0xDD, {0, 1}), p.dqt});
            p.data = {0x3F, 0xFF, 0xD1, 0x3F};
        }),
        jpeg_bad_restart_marker);
    add("restart_marker_missing", changed([](grey_parts& p) {
            p.dqt = concat({segment(0xDD, {0, 1}), p.dqt});
            p.data = {0x3F};
            p.data.insert(p.data.end(), 2000, 0);
        }),
        jpeg_bad_restart_marker);
    add("restarts_in_order", changed([](grey_parts& p) {
            p.dqt = concat({segment(0xDD, {0, 1}), p.dqt});
            p.data = {0x3F, 0xFF, 0xD0, 0x3F};
        }),
        0);

    // Progressive scans.
    auto progressive = [&](int ss, int se, int ah_al, int components = 1) {
        grey_parts p = good;
        if (components == 3) {
            p.sof = sof(0xC2, 16, 8, {{1, 0x11, 0}, {2, 0x11, 0}, {3, 0x11, 0}});
            p.sos = sos({{1, 0x00}, {2, 0x00}, {3, 0x00}}, ss, se, ah_al);
        } else {
            p.sof = sof(0xC2, 16, 8, {{1, 0x11, 0}});
            p.sos = sos({{1, 0x00}}, ss, se, ah_al);
        }
        return p.all();
    };
    add("progressive_dc_first", progressive(0, 0, 0), 0);
    add("progressive_dc_with_ac", progressive(0, 5, 0), jpeg_bad_spectral_selection);
    add("progressive_end_before_start", progressive(5, 2, 0), jpeg_bad_spectral_selection);
    add("progressive_end_past_63", progressive(1, 64, 0), jpeg_bad_spectral_selection);
    add("progressive_interleaved_ac", progressive(1, 5, 0, 3), jpeg_bad_spectral_selection);
    add("progressive_approximation_gap", progressive(0, 0, 0x20), jpeg_bad_successive_approximation);
    add("progressive_refinement", progressive(0, 0, 0x10), 0);
    return cases;
}

class jpeg_error_codes : public ::testing::TestWithParam<error_case> {};

TEST_P(jpeg_error_codes, crafted_file_gives_its_code) {
    EXPECT_EQ(decode_error(GetParam().file), GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(crafted, jpeg_error_codes, ::testing::ValuesIn(error_cases()),
                         [](const auto& info) { return info.param.name; });

TEST(jpeg_decoder, an_error_stops_every_later_call) {
    grey_parts p = zero_grey(16, 8);
    p.dht_ac = dht(1, 0, {1}, {0xF1});
    p.data = {0x2A, 0x80};
    p.data.insert(p.data.end(), 32, 0);
    bytes file = p.all();
    jpeg_decoder_memory_stream stream(file.data(), file.size());
    jpeg_decoder decoder(&stream);
    ASSERT_EQ(decoder.start_decode(), 0);
    const uint8_t* line;
    int length;
    EXPECT_EQ(decoder.next_line(&line, &length), jpeg_decode_error);
    EXPECT_EQ(decoder.error_code(), jpeg_decode_error);
    EXPECT_EQ(decoder.next_line(&line, &length), -1);
    EXPECT_EQ(decoder.start_decode(), -1);
}

// A stream whose read fails part-way; counts attach and detach calls.
class failing_stream : public jpeg_decoder_stream {
  public:
    failing_stream(const bytes& data, size_t fail_at) : data_(data), fail_at_(fail_at) {}
    int read_bytes(uint8_t* buffer, int max_count, bool* at_end) override {
        if (position_ >= fail_at_) return -1;
        size_t n = std::min(size_t(max_count), std::min(fail_at_, data_.size()) - position_);
        std::copy(data_.begin() + long(position_), data_.begin() + long(position_ + n), buffer);
        position_ += n;
        if (position_ == data_.size()) *at_end = true;
        return int(n);
    }
    void on_attach() override { attached++; }
    void on_detach() override { detached++; }
    int attached = 0, detached = 0;

  private:
    bytes data_;
    size_t fail_at_;
    size_t position_ = 0;
};

TEST(jpeg_decoder, stream_read_error) {
    bytes jpeg = encode(with(256, 256, 2, 2));
    ASSERT_GT(jpeg.size(), 8192u);
    {
        failing_stream header_fails(jpeg, 0);
        jpeg_decoder decoder(&header_fails);
        EXPECT_EQ(decoder.error_code(), jpeg_stream_read_error);
    }
    failing_stream data_fails(jpeg, 6000);
    {
        jpeg_decoder decoder(&data_fails);
        ASSERT_EQ(decoder.error_code(), 0);
        ASSERT_EQ(decoder.start_decode(), 0);
        const uint8_t* line;
        int length;
        int status = 0;
        for (int y = 0; y < 256 && status == 0; ++y)
            status = decoder.next_line(&line, &length);
        EXPECT_EQ(status, jpeg_decode_error);
        EXPECT_EQ(decoder.error_code(), jpeg_stream_read_error);
    }
    EXPECT_EQ(data_fails.attached, 1);
    EXPECT_EQ(data_fails.detached, 1) << "the buffers are freed once, on the error";
}

// --- inverse transform --------------------------------------------------------

using idct_function = void (*)(const int16_t*, uint8_t*, int);

struct idct_case {
    const char* name;
    idct_function function;
};

std::vector<idct_case> idct_cases() {
    std::vector<idct_case> cases = {{"portable", jpeg_idct_8x8_portable}};
#if defined(__SSE2__)
    cases.push_back({"sse2", jpeg_idct_8x8_sse2});
#endif
    return cases;
}

class jpeg_idct : public ::testing::TestWithParam<idct_case> {};

// Exact inverse DCT of natural-order coefficients, level-shifted, unclamped.
void exact_idct(const double* coefficients, double* out) {
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            double s = 0;
            for (int v = 0; v < 8; ++v)
                for (int u = 0; u < 8; ++u) {
                    double cu = u ? 1 : std::sqrt(0.5), cv = v ? 1 : std::sqrt(0.5);
                    s += cu * cv * coefficients[v * 8 + u] * std::cos((2 * x + 1) * u * M_PI / 16) *
                         std::cos((2 * y + 1) * v * M_PI / 16);
                }
            out[y * 8 + x] = s / 4 + 128;
        }
}

// Pre-scaled input as the decoder builds it: coefficient times its AAN scale
// with two fraction bits, plus the rounding term on DC.
void prescale(const double* coefficients, int16_t* out) {
    for (int p = 0; p < 64; ++p)
        out[p] = int16_t(std::lround(coefficients[p] * jpeg_aan_scale[p] / 4096.0));
    out[0] = int16_t(out[0] + 16);
}

TEST_P(jpeg_idct, close_to_the_exact_transform) {
    std::mt19937 random(7);
    std::normal_distribution<double> spread(0, 1);
    int worst = 0;
    for (int trial = 0; trial < 2000; ++trial) {
        double coefficients[64];
        for (int p = 0; p < 64; ++p) {
            double scale = 300.0 / (1 + (p / 8) + (p % 8)); // photo-like falloff
            coefficients[p] = std::round(spread(random) * scale);
        }
        coefficients[0] = std::round(spread(random) * 200);
        int16_t input[64];
        prescale(coefficients, input);
        uint8_t out[8 * 12];
        GetParam().function(input, out, 12);
        double exact[64];
        exact_idct(coefficients, exact);
        for (int i = 0; i < 64; ++i) {
            double clamped = std::min(255.0, std::max(0.0, exact[i]));
            worst = std::max(worst, int(std::abs(out[(i / 8) * 12 + i % 8] - std::lround(clamped))));
        }
    }
    EXPECT_LE(worst, 2);
}

TEST_P(jpeg_idct, dc_only_is_flat_and_saturates) {
    for (int dc : {-2000, -1024, -300, 0, 5, 700, 1016, 3000}) {
        double coefficients[64] = {double(dc)};
        int16_t input[64];
        prescale(coefficients, input);
        uint8_t out[64];
        GetParam().function(input, out, 8);
        long expected = std::lround(std::min(255.0, std::max(0.0, dc / 8.0 + 128)));
        for (int i = 0; i < 64; ++i)
            ASSERT_NEAR(out[i], expected, 1) << "dc " << dc;
    }
}

TEST_P(jpeg_idct, respects_the_output_stride) {
    int16_t input[64] = {int16_t(40 * 4)};
    uint8_t out[8 * 20];
    std::fill(std::begin(out), std::end(out), uint8_t(7));
    GetParam().function(input, out, 20);
    for (int y = 0; y < 8; ++y)
        for (int x = 8; x < 20; ++x)
            ASSERT_EQ(out[y * 20 + x], 7) << "wrote outside the block";
}

INSTANTIATE_TEST_SUITE_P(implementations, jpeg_idct, ::testing::ValuesIn(idct_cases()),
                         [](const auto& info) { return std::string(info.param.name); });

#if defined(__SSE2__)
// The two paths must give the same bytes, also where 16-bit sums wrap.
TEST(jpeg_idct_paths, sse2_and_portable_agree_bit_for_bit) {
    std::mt19937 random(11);
    for (int trial = 0; trial < 20000; ++trial) {
        int16_t input[64];
        int range = trial % 3 == 0 ? 32767 : trial % 3 == 1 ? 4000 : 300;
        std::uniform_int_distribution<int> value(-range, range);
        for (int16_t& c : input)
            c = int16_t(random() % 4 == 0 ? value(random) : 0);
        uint8_t a[64], b[64];
        jpeg_idct_8x8_portable(input, a, 8);
        jpeg_idct_8x8_sse2(input, b, 8);
        ASSERT_EQ(0, std::memcmp(a, b, 64)) << "trial " << trial;
    }
}
#endif

// --- colour conversion ----------------------------------------------------

// Every (Cb, Cr) pair at a spread of luma values, for both chroma layouts:
// within one level of JFIF's conversion in floating point (the reference
// decodes above allow more than a slightly wrong constant would change),
// the portable path giving the SSE2 path's bytes, neutral chroma leaving
// grey grey, the fourth byte 0.
TEST(jpeg_colour, both_paths_follow_jfif_and_agree_and_neutral_chroma_stays_grey) {
    const int count = 256;
    for (int luma : {0, 1, 77, 128, 200, 254, 255}) {
        for (int shift : {0, 1}) {
            for (int cr_value = 0; cr_value < 256; ++cr_value) {
                uint8_t y[count + 8], cb[count + 8], cr[count + 8], out[(count + 8) * 4];
                for (int x = 0; x < count + 8; ++x) {
                    y[x] = uint8_t(luma);
                    cb[x] = uint8_t(shift ? (2 * x + (x & 1)) & 255 : x & 255);
                    cr[x] = uint8_t(cr_value);
                }
                jpeg_ycc_to_rgbx_portable(y, cb, cr, shift, count, out);
#if defined(__SSE2__)
                uint8_t fast[(count + 8) * 4];
                jpeg_ycc_to_rgbx_sse2(y, cb, cr, shift, count, fast);
                ASSERT_EQ(std::memcmp(out, fast, size_t(count) * 4), 0)
                    << "the paths differ: Y " << luma << " Cr " << cr_value << " shift " << shift;
#endif
                for (int x = 0; x < count; ++x) {
                    const double kb = cb[x >> shift] - 128.0, kr = cr_value - 128.0;
                    const double jfif[3] = {luma + 1.402 * kr, luma - 0.344136 * kb - 0.714136 * kr,
                                            luma + 1.772 * kb};
                    for (int c = 0; c < 3; ++c)
                        ASSERT_LE(std::abs(out[4 * x + c] - std::clamp(std::lround(jfif[c]), 0L, 255L)), 1)
                            << "channel " << c << " of Y " << luma << " Cb " << kb + 128 << " Cr "
                            << cr_value;
                    ASSERT_EQ(out[4 * x + 3], 0);
                    if (cb[x >> shift] != 128 || cr_value != 128) continue;
                    ASSERT_EQ(out[4 * x], luma);
                    ASSERT_EQ(out[4 * x + 1], luma);
                    ASSERT_EQ(out[4 * x + 2], luma);
                }
            }
        }
    }
}

} // namespace
