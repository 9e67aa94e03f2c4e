// One OpenGL compatibility context for the whole test process (Mesa under
// the Xvfb display that the test command starts), and pixel read-back.
#pragma once

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace test_gl {

// Creates the window and context on first use; later calls resize the
// window's client area to width x height and keep the same context.
// Returns false (with a reason on stderr) when no display is available.
bool ensure_context(int width = 256, int height = 256);

// glReadPixels of the bound read framebuffer, RGBA8, bottom row first.
std::vector<uint8_t> read_rgba(int x, int y, int width, int height);

// One pixel of the bound read framebuffer.
struct rgba {
    uint8_t r, g, b, a;
};
rgba pixel(int x, int y);

void swap();

} // namespace test_gl

// Fixture for tests that draw: a current context of the given size, the
// window framebuffer bound, identity matrices, depth test off.
class gl_test : public ::testing::Test {
  protected:
    void SetUp() override;
    virtual int width() const { return 256; }
    virtual int height() const { return 256; }
};
