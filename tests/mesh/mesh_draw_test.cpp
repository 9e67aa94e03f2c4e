// Drawing meshes in a real context: the lazily compiled display list, the
// immediate-mode groups, and list names shared between meshes.
#include <string>

#include "mesh/mesh.h"
#include "support/gl_context.h"

namespace {

// A square over the left half (x -1..0) or the right half (0..1) of the
// view, with identity matrices.
const char* left_half = "v -1 -1 0\nv 0 -1 0\nv 0 1 0\nv -1 1 0\nf 1// 2// 3// 4//\n";
const char* right_half = "v 0 -1 0\nv 1 -1 0\nv 1 1 0\nv 0 1 0\nf 1// 2// 3// 4//\n";

mesh make(const std::string& text, int list_name) {
    mesh m;
    m.load_text(text.data(), text.size(), list_name);
    return m;
}

bool lit(int x, int y) { return test_gl::pixel(x, y).r > 128; }

class mesh_draw : public gl_test {
  protected:
    void clear() { glClear(GL_COLOR_BUFFER_BIT); }
};

} // namespace

TEST_F(mesh_draw, first_draw_compiles_and_shows_second_calls_the_list) {
    glDeleteLists(1007, 1);
    mesh m = make(left_half, 1007);
    ASSERT_FALSE(glIsList(1007));
    m.draw();
    EXPECT_TRUE(lit(64, 128)) << "compile-and-execute draws at once";
    EXPECT_FALSE(lit(192, 128));
    EXPECT_TRUE(glIsList(1007));
    EXPECT_FALSE(m.list_pending);

    // From now on the geometry comes from the list, not from the groups.
    m.groups.clear();
    clear();
    m.draw();
    EXPECT_TRUE(lit(64, 128));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    glDeleteLists(1007, 1);
}

TEST_F(mesh_draw, negative_list_name_draws_immediately_every_time) {
    GLuint probe = glGenLists(1);
    mesh m = make(left_half, -1);
    m.draw();
    EXPECT_TRUE(lit(64, 128));
    EXPECT_TRUE(m.list_pending);
    m.groups.clear();
    clear();
    m.draw();
    EXPECT_FALSE(lit(64, 128)) << "no list behind a mesh without a list name";
    EXPECT_EQ(glGenLists(1), probe + 1) << "no list names were taken";
    glDeleteLists(probe, 2);
}

TEST_F(mesh_draw, meshes_sharing_a_list_name_show_the_last_compiled) {
    glDeleteLists(23, 1);
    mesh a = make(left_half, 23);
    mesh b = make(right_half, 23);
    a.draw();
    clear();
    b.draw(); // compiles its own geometry into list 23
    EXPECT_TRUE(lit(192, 128));
    EXPECT_FALSE(lit(64, 128));
    clear();
    a.draw(); // a's list is b's now
    EXPECT_TRUE(lit(192, 128));
    EXPECT_FALSE(lit(64, 128));
    glDeleteLists(23, 1);
}

TEST_F(mesh_draw, groups_draw_alone_and_missing_groups_draw_nothing) {
    // Indices are global: the second group's square is vertices 5 to 8.
    mesh m = make(
        std::string(left_half) + "o right\nv 0 -1 0\nv 1 -1 0\nv 1 1 0\nv 0 1 0\nf 5// 6// 7// 8//\n", -1);
    ASSERT_EQ(m.groups.size(), 2u);
    draw_quads(m.group_at(1));
    EXPECT_TRUE(lit(192, 128));
    EXPECT_FALSE(lit(64, 128));
    clear();
    draw_quads(m.group_at(2));
    draw_quads(m.group_at(-1));
    EXPECT_FALSE(lit(64, 128));
    EXPECT_FALSE(lit(192, 128));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(mesh_draw, triangles_draw_as_degenerate_quads) {
    // The lower-left half of the view: a triangle stored with its third
    // corner twice.
    mesh m = make("v -1 -1 0\nv 1 -1 0\nv -1 1 0\nf 1// 2// 3//\n", -1);
    m.draw();
    EXPECT_TRUE(lit(40, 40));
    EXPECT_FALSE(lit(216, 216));
}
