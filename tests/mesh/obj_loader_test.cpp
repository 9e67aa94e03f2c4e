// The OBJ subset loader: the accepted shapes, and the outcome chosen for
// each kind of input outside them.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "mesh/mesh.h"
#include "platform/platform.h"

namespace {

mesh load(const std::string& text, int list_name = 3) {
    mesh m;
    m.load_text(text.data(), text.size(), list_name);
    return m;
}

::testing::AssertionResult corner_is(const Vec3& v, float x, float y, float z) {
    if (v.state == 1 && v.x == x && v.y == y && v.z == z) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "corner (" << v.state << "; " << v.x << ", " << v.y << ", " << v.z
                                         << "), expected (1; " << x << ", " << y << ", " << z << ")";
}

// The quad's corners as vertex numbers of the unit square below (1..4).
const char* square = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n";

std::string corners_of(const quad& q) {
    std::string out;
    for (const Vec3& c : q.corners) {
        int n = c.x == 0 && c.y == 0 ? 1 : c.x == 1 && c.y == 0 ? 2 : c.x == 1 && c.y == 1 ? 3 : 4;
        out += char('0' + n);
    }
    return out;
}

} // namespace

TEST(obj_loader, triangle_repeats_its_third_corner) {
    mesh m = load("v 0 0 0\nv 1 0 0\nv 1 1 0\nf 1/1 2/1 3/1\n", 7);
    EXPECT_TRUE(m.loaded);
    EXPECT_EQ(m.list_name, 7);
    EXPECT_TRUE(m.list_pending);
    ASSERT_EQ(m.groups.size(), 1u);
    ASSERT_EQ(m.groups[0].size(), 1u);
    const quad& q = m.groups[0][0];
    EXPECT_TRUE(corner_is(q.corners[0], 0, 0, 0));
    EXPECT_TRUE(corner_is(q.corners[1], 1, 0, 0));
    EXPECT_TRUE(corner_is(q.corners[2], 1, 1, 0));
    EXPECT_TRUE(corner_is(q.corners[3], 1, 1, 0));
}

TEST(obj_loader, accepted_shapes) {
    // Four corners, in the order of the line.
    mesh four = load(std::string(square) + "f 1/1 2/1 3/1 4/1\n");
    ASSERT_EQ(four.groups.size(), 1u);
    ASSERT_EQ(four.groups[0].size(), 1u);
    EXPECT_EQ(corners_of(four.groups[0][0]), "1234");

    // The first face directly after the last vertex, mixed faces, no final
    // line end, decimals and exponents.
    mesh mixed = load("v -1.5 2e1 .25\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1// 2// 3//\nf 4// 3// 2// 1//");
    ASSERT_EQ(mixed.groups.size(), 1u);
    ASSERT_EQ(mixed.groups[0].size(), 2u);
    EXPECT_TRUE(corner_is(mixed.groups[0][0].corners[0], -1.5f, 20.0f, 0.25f));
    EXPECT_TRUE(corner_is(mixed.groups[0][1].corners[3], -1.5f, 20.0f, 0.25f));

    // Texture-coordinate, normal, named-group, material and comment lines
    // between the vertices and the faces change nothing.
    mesh plain = load(std::string(square) + "f 1// 2// 3// 4//\nf 3// 4// 1//\n");
    mesh noisy =
        load(std::string(square) + "vt 0 0\nvt 1 1\nvn 0 0 1\ng body\nusemtl black\ns off\n# made by hand\n"
                                   "f 1// 2// 3// 4//\nf 3// 4// 1//\n");
    ASSERT_EQ(noisy.groups.size(), 1u);
    ASSERT_EQ(noisy.groups[0].size(), 2u);
    for (size_t i = 0; i < 2; ++i)
        EXPECT_EQ(corners_of(noisy.groups[0][i]), corners_of(plain.groups[0][i]));

    // Windows line ends.
    mesh crlf = load("v 0 0 0\r\nv 1 0 0\r\nv 1 1 0\r\nf 1// 2// 3//\r\n");
    ASSERT_EQ(crlf.groups.size(), 1u);
    EXPECT_EQ(crlf.groups[0].size(), 1u);
}

TEST(obj_loader, groups_split_at_object_lines_with_global_indices) {
    mesh m = load("o first\nv 0 0 0\nv 1 0 0\nv 1 1 0\nf 1// 2// 3//\n"
                  "o second\nv 0 1 0\nf 4// 1// 2// 3//\nf 4// 2// 3//\n");
    ASSERT_EQ(m.groups.size(), 2u);
    EXPECT_EQ(m.groups[0].size(), 1u);
    ASSERT_EQ(m.groups[1].size(), 2u);
    EXPECT_EQ(corners_of(m.groups[1][0]), "4123");
    EXPECT_EQ(&m.group_at(1), &m.groups[1]);
}

TEST(obj_loader, loads_once) {
    mesh m = load("v 0 0 0\nv 1 0 0\nv 1 1 0\nf 1// 2// 3//\n", 4);
    std::string other = std::string(square) + "f 1// 2// 3// 4//\nf 1// 2// 3//\no\nv 0 0 0\nf 1// 2// 3//\n";
    m.load_text(other.data(), other.size(), 9);
    m.load("no such file.obj", 9); // not even opened
    EXPECT_EQ(m.list_name, 4);
    ASSERT_EQ(m.groups.size(), 1u);
    EXPECT_EQ(m.groups[0].size(), 1u);
}

TEST(obj_loader, loads_a_file_like_its_text) {
    std::string path = ::testing::TempDir() + "obj_loader_test.obj";
    std::string text =
        std::string("# model\no a\n") + square + "f 1// 2// 3// 4//\no b\nv 2 2 2\nf 5// 1// 2//\n";
    std::ofstream(path, std::ios::binary) << text;
    mesh from_file;
    from_file.load(path.c_str(), 12);
    mesh from_text = load(text, 12);
    ASSERT_EQ(from_file.groups.size(), 2u);
    ASSERT_EQ(from_file.groups.size(), from_text.groups.size());
    for (size_t g = 0; g < 2; ++g)
        EXPECT_EQ(std::memcmp(from_file.groups[g].data(), from_text.groups[g].data(),
                              from_text.groups[g].size() * sizeof(quad)),
                  0);
    std::remove(path.c_str());
}

// Decided: a mesh file that cannot be read is reported like every other
// missing file of the show (its name, the missing-file caption) and ends
// the process with code 0.
TEST(obj_loader, unreadable_file_shows_the_box_and_exits) {
    struct exited {
        int code;
    };
    static std::vector<std::string> texts, captions;
    static unsigned style;
    texts.clear(), captions.clear();
    platform::platform saved = platform::sys();
    platform::sys().message_box = [](const char* t, const char* c, unsigned s) {
        texts.push_back(t), captions.push_back(c), style = s;
        return int(platform::id_ok);
    };
    platform::sys().exit_process = [](int code) { throw exited{code}; };
    std::vector<int> codes;
    std::string folder = ::testing::TempDir(); // opens, but does not read
    for (const char* name : {"meshes/not here.obj", folder.c_str()}) {
        mesh m;
        try {
            m.load(name, 5);
        } catch (const exited& e) {
            codes.push_back(e.code);
        }
    }
    platform::sys() = saved;
    EXPECT_EQ(codes, (std::vector<int>{0, 0}));
    EXPECT_EQ(texts, (std::vector<std::string>{"meshes/not here.obj", folder}));
    ASSERT_EQ(captions.size(), 2u);
    EXPECT_EQ(captions[0], "  = Tarnwhisk. KVT 2007 = - File is missing !");
    EXPECT_EQ(style, unsigned(platform::mb_ok | platform::mb_iconinformation));
}

// Decided: lines other than "f", "o" and "v" after a face are skipped; a
// "v" line there adds a vertex to the running list.
TEST(obj_loader, other_lines_after_a_face_are_skipped) {
    mesh m = load(std::string(square) + "f 1// 2// 3//\ns 1\nusemtl ink\n# note f 9// 9// 9//\ng part\n"
                                        "vn 0 0 1\nf 1// 3// 4//\nv 5 5 5\nf 5// 1// 2//\n");
    ASSERT_EQ(m.groups.size(), 1u);
    ASSERT_EQ(m.groups[0].size(), 3u);
    EXPECT_EQ(corners_of(m.groups[0][1]), "1344");
    EXPECT_TRUE(corner_is(m.groups[0][2].corners[0], 5, 5, 5));
}

// Decided: a reference's suffix may be longer than two characters, or
// missing; it is never read as the next reference.
TEST(obj_loader, suffixes_of_any_length) {
    mesh m = load(std::string(square) + "f 1/12/4 2/345/4 3/1/1 4//8\nf 1 2 3\nf 2/1 3 4//\n");
    ASSERT_EQ(m.groups.size(), 1u);
    ASSERT_EQ(m.groups[0].size(), 3u);
    EXPECT_EQ(corners_of(m.groups[0][0]), "1234");
    EXPECT_EQ(corners_of(m.groups[0][1]), "1233");
    EXPECT_EQ(corners_of(m.groups[0][2]), "2344");
}

// Decided: five or more corners become a fan of quads around the first.
TEST(obj_loader, five_and_more_corners_make_a_fan) {
    std::string six = "v 0 0 0\nv 1 0 0\nv 2 0 0\nv 3 0 0\nv 4 0 0\nv 5 0 0\n";
    mesh five = load(six + "f 1// 2// 3// 4// 5//\nf 1// 2// 3//\n");
    ASSERT_EQ(five.groups[0].size(), 3u);
    const quad& a = five.groups[0][0];
    const quad& b = five.groups[0][1];
    EXPECT_EQ(a.corners[3].x, 3);
    EXPECT_EQ(b.corners[0].x, 0);
    EXPECT_EQ(b.corners[1].x, 3);
    EXPECT_EQ(b.corners[2].x, 4);
    EXPECT_EQ(b.corners[3].x, 4);
    mesh sixes = load(six + "f 1// 2// 3// 4// 5// 6//\n");
    ASSERT_EQ(sixes.groups[0].size(), 2u);
    EXPECT_EQ(sixes.groups[0][1].corners[3].x, 5);
}

// Decided: an index of 0, one before the first vertex or one not yet read
// drops its face; a negative index counts back from the last vertex read.
TEST(obj_loader, bad_indices_drop_the_face) {
    mesh m = load(std::string(square) +
                  "f 0// 1// 2//\nf 1// 2// 5//\nf 1// 2// 99999999999999999999//\n"
                  "f -5// 1// 2//\nf -1// -4// -3//\nf 1// 2// 3//\nv 9 9 9\nf 5// 1// 2//\n");
    ASSERT_EQ(m.groups.size(), 1u);
    ASSERT_EQ(m.groups[0].size(), 3u);
    EXPECT_EQ(corners_of(m.groups[0][0]), "4122");
    EXPECT_EQ(corners_of(m.groups[0][1]), "1233");
    EXPECT_TRUE(corner_is(m.groups[0][2].corners[0], 9, 9, 9));
}

// Decided: a face whose corner position holds no number is dropped with
// the rest of its line; a face of fewer than three corners is dropped.
TEST(obj_loader, malformed_faces_are_dropped) {
    mesh m = load(std::string(square) +
                  "f a// b// c//\nf 1// 2//\nf\nf 2// 3// 4//\nf 1// x 3//\nf 1// 2// 3//\n");
    ASSERT_EQ(m.groups.size(), 1u);
    ASSERT_EQ(m.groups[0].size(), 2u);
    EXPECT_EQ(corners_of(m.groups[0][0]), "2344");
    EXPECT_EQ(corners_of(m.groups[0][1]), "1233");
}

// Decided: the end of the file before a group's first face adds no group;
// a group that reached its faces stays even when they were all dropped.
TEST(obj_loader, where_groups_begin_and_end) {
    EXPECT_TRUE(load("").groups.empty());
    EXPECT_TRUE(load("# nothing\n\n").groups.empty());
    EXPECT_TRUE(load(square).groups.empty());
    EXPECT_EQ(load(std::string(square) + "f 1// 2// 3//\no tail\n").groups.size(), 1u);
    EXPECT_EQ(load(std::string(square) + "f 1// 2// 3//\no tail\nv 1 1 1\n").groups.size(), 1u);
    mesh m = load(std::string("o a\n") + square + "f 0// 0// 0//\no b\nv 2 2 2\nf 5// 1// 2//\n");
    ASSERT_EQ(m.groups.size(), 2u);
    EXPECT_TRUE(m.groups[0].empty());
    EXPECT_EQ(m.groups[1].size(), 1u);
    EXPECT_TRUE(m.group_at(2).empty());
    EXPECT_TRUE(m.group_at(-1).empty());
}

// Decided: a missing coordinate reads as 0; a word where a coordinate
// belongs reads as 0 and ends the vertex run, like any other word there.
TEST(obj_loader, bad_coordinates_read_as_zero) {
    mesh short_line = load("v 1 2\nv 3 4 5\nv 1 1 1\nf 1// 2// 3//\n");
    ASSERT_EQ(short_line.groups.size(), 1u);
    ASSERT_EQ(short_line.groups[0].size(), 1u);
    EXPECT_TRUE(corner_is(short_line.groups[0][0].corners[0], 1, 2, 0));
    EXPECT_TRUE(corner_is(short_line.groups[0][0].corners[1], 3, 4, 5));

    mesh word = load("v 1 1 1\nv 3 x 5\nv 7 7 7\nf 1// 2// 2//\nf 1// 2// 3//\n");
    ASSERT_EQ(word.groups.size(), 1u);
    ASSERT_EQ(word.groups[0].size(), 1u);
    EXPECT_TRUE(corner_is(word.groups[0][0].corners[1], 3, 0, 0));
}

// Coordinates in every decimal form, and out of range: infinite or zero
// from non-zero digits reads as 0 (the WebAssembly build converts them by
// other means and must agree).
TEST(obj_loader, number_forms_and_range) {
    mesh m = load("v 1.5e1 -.5 2.\nv 1e39 -1e-50 1e-40\nv 7E-1 +3 -0\nf 1// 2// 3//\n");
    ASSERT_EQ(m.groups.size(), 1u);
    ASSERT_EQ(m.groups[0].size(), 1u);
    EXPECT_TRUE(corner_is(m.groups[0][0].corners[0], 15, -0.5f, 2));
    EXPECT_TRUE(corner_is(m.groups[0][0].corners[1], 0, 0, 1e-40f));
    EXPECT_TRUE(corner_is(m.groups[0][0].corners[2], 0.7f, 3, 0));
}

TEST(obj_loader, arbitrary_bytes_end) {
    std::string junk;
    for (int i = 0; i < 4096; ++i)
        junk += char((i * 7919 + 13) % 256);
    mesh m = load(junk);
    mesh stops = load("v 1 2 3\nf 1/ 1/ 1/\nf -\nf 1//");
    EXPECT_TRUE(m.loaded);
    EXPECT_TRUE(stops.loaded);
}
