// The scene set-up in a real GL context, over a complete fixture data folder.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>

#include "parts/parts.h"
#include "platform/cg_runtime.h"
#include "platform/platform.h"
#include "resources/resources.h"
#include "support/gl_context.h"
#include "support/needs.h"
#include "support/show_data.h"

namespace {

struct exited {
    int code;
};

std::string last_box;

// The null platform, with message boxes recorded and an exit that throws, so
// that a loader giving up shows up as a test failure instead of ending it.
class scoped_throwing_exit {
  public:
    scoped_throwing_exit() : saved_(platform::sys()) {
        platform::platform p = platform::null_platform();
        p.message_box = [](const char* text, const char* caption, unsigned) {
            last_box = std::string(caption) + ": " + text;
            return int(platform::id_ok);
        };
        p.exit_process = [](int code) -> void { throw exited{code}; };
        platform::sys() = p;
    }
    ~scoped_throwing_exit() { platform::sys() = saved_; }

  private:
    platform::platform saved_;
};

struct view {
    int width, height;
};

GLint texture_size(GLuint name, GLenum what) {
    GLint value = -1;
    glBindTexture(GL_TEXTURE_2D, name);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, what, &value);
    return value;
}

GLint attached_texture(GLuint framebuffer, GLenum attachment) {
    GLint name = -1;
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, attachment, GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME,
                                          &name);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    return name;
}

class scene_setup : public gl_test {
  protected:
    void SetUp() override {
        gl_test::SetUp();
        if (HasFatalFailure()) return;
        folder_ = show_data::private_folder("setup_show");
        std::string why;
        QUORLAXEN_NEED(show_data::make(folder_, why, with_outline_and_track()), why);
        glDeleteLists(100, 1700);
        glDeleteLists(12000, 2);
        last_box.clear();
    }

    void TearDown() override {
        if (!folder_.empty()) std::filesystem::remove_all(folder_);
    }

    virtual bool with_outline_and_track() const { return true; }

    // Render targets as the start-up makes them, then the set-up.
    std::unique_ptr<part_start> run_init(view v) {
        show_context& context = the_show_context();
        context.settings.view_width = v.width;
        context.settings.view_height = v.height;
        context.texture_base = 0;
        create_render_target(context, 0, v.width, v.height, 0);
        create_render_target(context, 1, v.width / 4, v.height / 4, 0);
        create_render_target(context, 2, v.width / 2, v.height / 2, 0);
        glBindFramebuffer(GL_FRAMEBUFFER, 0); // anything drawn now would land in the window
        // The window's opening creates the shading context before the set-up runs.
        create_cg_context(context);
        auto part = std::make_unique<part_start>();
        part->scene_time = 3.0;
        part->frame_count = 9;
        part->target_full_b = -1;
        show_data::scoped_directory in(folder_);
        scoped_throwing_exit exit_throws;
        try {
            part->init(context);
        } catch (const exited& e) {
            ADD_FAILURE() << "set-up ended the process (" << e.code << "): " << last_box;
        }
        return part;
    }

    std::filesystem::path folder_;
};

} // namespace

// The clock starts at 0, and each slot the frame draws with holds what the
// set-up made for it, none shared: the render targets' textures and the
// main, bend and wireframe programs (wherever their numbers put them).
TEST_F(scene_setup, fixes_clock_and_fills_the_slots_the_frame_draws_with) {
    auto part = run_init({1024, 576});
    EXPECT_EQ(part->scene_time, 0.0);
    EXPECT_EQ(part->scene_time_at_load, 0.0);
    EXPECT_EQ(part->frame_count, 0);
    const show_context& context = the_show_context();
    std::set<GLuint> textures;
    for (int slot : {part->target_full_a, part->target_full_b, part->target_quarter, part->target_half}) {
        EXPECT_NE(context.texture_names[slot], 0u) << slot;
        textures.insert(context.texture_names[slot]);
    }
    EXPECT_EQ(textures.size(), 4u) << "render targets share a texture";
    std::set<const void*> programs;
    for (int slot :
         {part->program_main, part->program_main + 1, part->program_bend, part->program_wireframe}) {
        EXPECT_TRUE(cgIsProgramCompiled(context.cg_programs[slot])) << slot;
        programs.insert(context.cg_programs[slot]);
    }
    EXPECT_EQ(programs.size(), 4u) << "effects share a slot";
}

TEST_F(scene_setup, target_textures_follow_the_view_and_are_attached) {
    const show_context& context = the_show_context();
    for (view v : {view{1024, 576}, view{1022, 575}, view{1366, 768}}) {
        SCOPED_TRACE(std::to_string(v.width) + " x " + std::to_string(v.height));
        auto part = run_init(v);
        const GLuint full_a = context.texture_names[part->target_full_a];
        const GLuint full_b = context.texture_names[part->target_full_b];
        const GLuint quarter = context.texture_names[part->target_quarter];
        const GLuint half = context.texture_names[part->target_half];
        ASSERT_NE(full_a, 0u);
        ASSERT_NE(full_b, 0u);
        EXPECT_EQ(texture_size(full_a, GL_TEXTURE_WIDTH), v.width);
        EXPECT_EQ(texture_size(full_a, GL_TEXTURE_HEIGHT), v.height);
        EXPECT_EQ(texture_size(full_b, GL_TEXTURE_WIDTH), v.width);
        EXPECT_EQ(texture_size(full_b, GL_TEXTURE_HEIGHT), v.height);
        EXPECT_EQ(texture_size(quarter, GL_TEXTURE_WIDTH), v.width / 4);
        EXPECT_EQ(texture_size(quarter, GL_TEXTURE_HEIGHT), v.height / 4);
        EXPECT_EQ(texture_size(half, GL_TEXTURE_WIDTH), v.width / 2);
        EXPECT_EQ(texture_size(half, GL_TEXTURE_HEIGHT), v.height / 2);

        EXPECT_EQ(attached_texture(context.targets[0].resolve_framebuffer, GL_COLOR_ATTACHMENT0),
                  GLint(full_a));
        EXPECT_EQ(attached_texture(context.targets[0].resolve_framebuffer, GL_COLOR_ATTACHMENT1),
                  GLint(full_b));
        EXPECT_EQ(attached_texture(context.targets[1].resolve_framebuffer, GL_COLOR_ATTACHMENT0),
                  GLint(quarter));
        EXPECT_EQ(attached_texture(context.targets[2].resolve_framebuffer, GL_COLOR_ATTACHMENT0),
                  GLint(half));
    }
    // The edge cases by number: 1366 gives 683 and 341; 575 gives 287 and 143.
    EXPECT_EQ(texture_size(context.texture_names[3], GL_TEXTURE_WIDTH), 683);
    EXPECT_EQ(texture_size(context.texture_names[2], GL_TEXTURE_WIDTH), 341);
}

TEST_F(scene_setup, loads_images_programs_meshes_shape_and_track) {
    auto part = run_init({1024, 576});
    const show_context& context = the_show_context();
    // Images: the blob with its alpha at 5020, the paper at 5011.
    ASSERT_NE(context.texture_names[5020], 0u);
    ASSERT_NE(context.texture_names[5011], 0u);
    EXPECT_EQ(texture_size(context.texture_names[5020], GL_TEXTURE_WIDTH), 64);
    EXPECT_EQ(texture_size(context.texture_names[5011], GL_TEXTURE_WIDTH), 64);
    GLint alpha_bits = 0;
    glBindTexture(GL_TEXTURE_2D, context.texture_names[5020]);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_ALPHA_SIZE, &alpha_bits);
    EXPECT_GT(alpha_bits, 0);

    // The backdrop's, one per run of 2 to 6 squares, from the show's source.
    for (int count = 2; count <= backdrop_max_squares; ++count)
        EXPECT_TRUE(cgIsProgramCompiled(context.cg_programs[backdrop_program_slot + count - 2])) << count;

    // Meshes by their list identifiers (23 twice).
    EXPECT_TRUE(part->horn.loaded);
    EXPECT_EQ(part->horn.list_name, 1);
    EXPECT_EQ(part->bicycle.list_name, 1007);
    EXPECT_EQ(part->trombone.list_name, 23);
    EXPECT_EQ(part->teras.list_name, 23);
    EXPECT_EQ(part->truck.list_name, 1400);
    EXPECT_EQ(part->man3.list_name, 2000);
    EXPECT_TRUE(part->man3.loaded);
    EXPECT_EQ(part->man3.groups.size(), 1u);

    // Outline shape: lists 100 on, one per shape of each frame.
    const int lists = show_data::outline_frames * show_data::outline_shapes_per_frame;
    for (int k = 0; k < lists; ++k)
        EXPECT_TRUE(glIsList(100 + k)) << k;
    EXPECT_FALSE(glIsList(100 + lists));
    // The tessellator is not kept.
    EXPECT_EQ(part->outline.tessellator, nullptr);

    EXPECT_EQ(part->track.raw_points.size(), size_t(show_data::track_records));
    EXPECT_EQ(part->track.position_path.count, show_data::track_records);
}

TEST_F(scene_setup, polygon_lists_are_unit_decagon_and_hexagon_compiled_only) {
    glClearColor(0.25f, 0.25f, 0.25f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    auto part = run_init({256, 256});

    // Nothing was drawn while compiling.
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(0, 0, 256, 256);
    test_gl::rgba untouched = test_gl::pixel(128, 128);
    EXPECT_EQ(untouched.r, 64);

    ASSERT_TRUE(glIsList(12000));
    ASSERT_TRUE(glIsList(12001));
    auto covered = [](GLuint list, double x, double y) {
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT);
        glPushAttrib(GL_ALL_ATTRIB_BITS);
        glDisable(GL_TEXTURE_2D);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_BLEND);
        glDisable(GL_CULL_FACE);
        glUseProgram(0);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glColor3f(1, 1, 1);
        glCallList(list);
        glPopAttrib();
        glFinish();
        return test_gl::pixel(int((x + 1) * 128), int((y + 1) * 128)).r > 128;
    };
    // First corner at the top (0, 1): both reach just below it.
    EXPECT_TRUE(covered(12000, 0.0, 0.96));
    EXPECT_TRUE(covered(12001, 0.0, 0.96));
    // The decagon's side edges lie at cos 18 = 0.951, the hexagon's at 0.866.
    EXPECT_TRUE(covered(12000, 0.92, 0.0));
    EXPECT_FALSE(covered(12001, 0.92, 0.0));
    EXPECT_TRUE(covered(12001, 0.84, 0.0));
    // Radius 1: the opposite corner at (0, -1), nothing beyond.
    EXPECT_TRUE(covered(12000, 0.0, -0.96));
    EXPECT_FALSE(covered(12000, 0.7, 0.75));
}

namespace {
class scene_setup_without_shape_and_track : public scene_setup {
    bool with_outline_and_track() const override { return false; }
};
} // namespace

TEST_F(scene_setup_without_shape_and_track, goes_on_with_them_empty) {
    auto part = run_init({1024, 576});
    EXPECT_TRUE(last_box.empty()) << last_box;
    EXPECT_FALSE(glIsList(100));
    EXPECT_TRUE(glIsList(12001));
    EXPECT_TRUE(part->track.raw_points.empty());
    EXPECT_EQ(part->track.position_path.count, 0);
    EXPECT_TRUE(part->man3.loaded);
    EXPECT_NE(the_show_context().cg_programs[5027], nullptr);
}
