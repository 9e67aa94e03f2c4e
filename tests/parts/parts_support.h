// Helpers of the parts tests: recorded message boxes and exits, scratch
// shader files, solid textures and a clean shading-runtime state.
#pragma once

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/cg_runtime.h"
#include "platform/platform.h"
#include "resources/show_context.h"

namespace parts_test {

struct exited {
    int code;
};

struct box {
    std::string text, caption;
    unsigned style;
};

// While alive: message boxes are recorded and exit_process throws `exited`.
class recorded_exits {
  public:
    recorded_exits() : saved_(platform::sys()) {
        boxes().clear();
        platform::sys().message_box = [](const char* text, const char* caption, unsigned style) {
            boxes().push_back({text, caption, style});
            return int(platform::id_ok);
        };
        platform::sys().exit_process = [](int code) { throw exited{code}; };
    }
    ~recorded_exits() { platform::sys() = saved_; }
    static std::vector<box>& boxes() {
        static std::vector<box> list;
        return list;
    }

  private:
    platform::platform saved_;
};

// A file under the test's scratch folder holding `text`; returns its path.
inline std::string write_file(const std::string& name, const std::string& text) {
    std::string path = ::testing::TempDir() + "machinery_parts_" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

// The show context is several megabytes: always on the heap.
inline std::unique_ptr<show_context> new_context() { return std::make_unique<show_context>(); }

// A width x height texture of one colour in `slot`.
inline GLuint solid_texture(show_context& context, int slot, uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255,
                            int width = 4, int height = 4) {
    std::vector<uint8_t> pixels(size_t(width) * height * 4);
    for (size_t i = 0; i < pixels.size(); i += 4)
        pixels[i] = r, pixels[i + 1] = g, pixels[i + 2] = b, pixels[i + 3] = a;
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    context.texture_names[context.texture_base + slot] = name;
    return name;
}

// Both stages disabled and unbound, no vendor override.
inline void reset_runtime() {
    cgGLDisableProfile(CG_PROFILE_GLSLV);
    cgGLDisableProfile(CG_PROFILE_GLSLF);
    cgGLUnbindProgram(CG_PROFILE_GLSLV);
    cgGLUnbindProgram(CG_PROFILE_GLSLF);
    cg_runtime::override_gl_vendor(nullptr);
    cgGetError();
}

// A square over the whole view with identity matrices, texture coordinates
// 0..1, in the current colour.
inline void full_view_square() {
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0), glVertex2f(-1, -1);
    glTexCoord2f(1, 0), glVertex2f(1, -1);
    glTexCoord2f(1, 1), glVertex2f(1, 1);
    glTexCoord2f(0, 1), glVertex2f(-1, 1);
    glEnd();
}

inline bool near(int value, int expected, int tolerance = 3) {
    return value >= expected - tolerance && value <= expected + tolerance;
}

} // namespace parts_test
