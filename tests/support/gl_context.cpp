#include "gl_context.h"

#include <SDL.h>

#include <cstdio>

namespace test_gl {
namespace {
SDL_Window* window = nullptr;
SDL_GLContext context = nullptr;
} // namespace

bool ensure_context(int width, int height) {
    if (window) {
        int w = 0, h = 0;
        SDL_GetWindowSize(window, &w, &h);
        if (w != width || h != height) {
            SDL_SetWindowSize(window, width, height);
            SDL_PumpEvents();
        }
        glViewport(0, 0, width, height);
        return true;
    }
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "test GL context: %s\n", SDL_GetError());
        return false;
    }
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
    window = SDL_CreateWindow("gl test", 0, 0, width, height, SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN);
    if (!window) {
        std::fprintf(stderr, "test GL context: %s\n", SDL_GetError());
        return false;
    }
    context = SDL_GL_CreateContext(window);
    if (!context) {
        std::fprintf(stderr, "test GL context: %s\n", SDL_GetError());
        return false;
    }
    glewExperimental = GL_TRUE;
    glewInit();
    glGetError(); // glewInit leaves GL_INVALID_ENUM behind on core-style queries
    glViewport(0, 0, width, height);
    return true;
}

std::vector<uint8_t> read_rgba(int x, int y, int width, int height) {
    std::vector<uint8_t> out(size_t(width) * height * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
    return out;
}

rgba pixel(int x, int y) {
    auto p = read_rgba(x, y, 1, 1);
    return {p[0], p[1], p[2], p[3]};
}

void swap() { SDL_GL_SwapWindow(window); }

} // namespace test_gl

void gl_test::SetUp() {
    ASSERT_TRUE(test_gl::ensure_context(width(), height())) << "no GL context (is DISPLAY set?)";
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDrawBuffer(GL_BACK);
    glReadBuffer(GL_BACK);
    glViewport(0, 0, width(), height());
    for (GLenum mode : {GL_PROJECTION, GL_TEXTURE, GL_MODELVIEW}) {
        glMatrixMode(mode);
        glLoadIdentity();
    }
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
    glColor4f(1, 1, 1, 1);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}
