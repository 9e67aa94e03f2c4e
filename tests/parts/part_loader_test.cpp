// The loading screen: a square that keeps its shape in any view, drawn into
// the window whatever was bound, leaving the caller's state as it was.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include <string>

#include "parts/parts.h"
#include "parts_support.h"
#include "support/gl_context.h"

using namespace parts_test;

namespace {

struct extent {
    int width = 0, height = 0;
};

// The lit rows and columns inside the view.
extent lit_extent(int view_width, int view_height) {
    auto pixels = test_gl::read_rgba(0, 0, view_width, view_height);
    int min_x = view_width, max_x = -1, min_y = view_height, max_y = -1;
    for (int y = 0; y < view_height; ++y)
        for (int x = 0; x < view_width; ++x)
            if (pixels[(size_t(y) * view_width + x) * 4] > 128) {
                min_x = std::min(min_x, x), max_x = std::max(max_x, x);
                min_y = std::min(min_y, y), max_y = std::max(max_y, y);
            }
    if (max_x < 0) return {};
    return {max_x - min_x + 1, max_y - min_y + 1};
}

class loading_screen : public gl_test {
  protected:
    void SetUp() override {
        gl_test::SetUp();
        context = new_context();
        solid_texture(*context, 10, 255, 255, 255);
    }
    extent draw(int view_width, int view_height) {
        context->settings.view_width = view_width;
        context->settings.view_height = view_height;
        double step = 0.0;
        loader.render(&step, *context, nullptr);
        return lit_extent(view_width, view_height);
    }
    std::unique_ptr<show_context> context;
    part_loader loader;
};

} // namespace

TEST_F(loading_screen, square_stays_square_in_wide_and_tall_views) {
    // 3.3 / (10 tan 32.5 deg) of the view's half-height: 0.518 of its height.
    extent wide = draw(256, 128);
    EXPECT_NEAR(wide.height, 0.518 * 128, 2);
    EXPECT_NEAR(wide.width, wide.height, 2);

    extent tall = draw(128, 200);
    EXPECT_NEAR(tall.height, 0.518 * 200, 2);
    EXPECT_NEAR(tall.width, tall.height, 2);

    // A forced 16:9 view is the window's lower band: the square is centred
    // in it.
    draw(256, 144);
    EXPECT_EQ(test_gl::pixel(128, 72).r, 255);
    EXPECT_EQ(test_gl::pixel(128, 72 + 40).r, 0);
    EXPECT_EQ(test_gl::pixel(128, 72 - 40).r, 0);
}

TEST_F(loading_screen, draws_into_the_window_and_restores_the_callers_state) {
    auto target = new_context();
    solid_texture(*target, 0, 0, 0, 0, 255, 32, 32);
    create_render_target(*target, 0, 32, 32, 0);
    bind_render_target(*target, 0, 1);
    glEnable(GL_BLEND);
    glColor4f(0.25f, 0.5f, 0.75f, 1);
    glMatrixMode(GL_MODELVIEW);
    glTranslatef(3, 0, 0);

    extent shown = draw(256, 256);
    EXPECT_NEAR(shown.height, 0.518 * 256, 2) << "drawn into the window, not the bound target";
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    float colour[4], matrix[16];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_FLOAT_EQ(colour[1], 0.5f);
    glGetFloatv(GL_MODELVIEW_MATRIX, matrix);
    EXPECT_FLOAT_EQ(matrix[12], 3.0f);
    glDisable(GL_BLEND);
}

TEST_F(loading_screen, zero_height_view_draws_nothing_harmful) {
    while (glGetError() != GL_NO_ERROR) {
    }
    draw(256, 0);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST(loading_screen_init, missing_image_ends_with_the_jpeg_box) {
    std::string folder = ::testing::TempDir() + "machinery_no_textures";
    ::mkdir(folder.c_str(), 0755);
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(folder.c_str()), 0);
    auto context = new_context();
    part_loader loader;
    recorded_exits exits;
    int code = -1;
    try {
        loader.init(*context);
    } catch (const exited& e) {
        code = e.code;
    }
    ASSERT_EQ(chdir(previous), 0);
    EXPECT_EQ(code, 0);
    ASSERT_EQ(recorded_exits::boxes().size(), 1u);
    EXPECT_EQ(recorded_exits::boxes()[0].text, "textures/loading.jpg");
    EXPECT_EQ(recorded_exits::boxes()[0].caption, "Jpg");
}
