// The render-target table: multisampled draw framebuffers and the texture
// framebuffers they resolve into.
// Every index and count is clamped into its table, so no caller can reach
// outside it.
#include "gl/gl.h"

#include <algorithm>
#include <cstdio>

#include "parts/parts.h"
#include "resources/resources.h"

namespace {

render_target& target_at(show_context& context, int index) {
    return context.targets[std::clamp(index, 0, show_context::render_target_count - 1)];
}

void allocate(GLuint* renderbuffer, int samples, GLenum format, int width, int height) {
    glGenRenderbuffers(1, renderbuffer);
    glBindRenderbuffer(GL_RENDERBUFFER, *renderbuffer);
    glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, format, width, height);
}

const GLenum colour_attachments[3] = {GL_COLOR_ATTACHMENT0, GL_COLOR_ATTACHMENT1, GL_COLOR_ATTACHMENT2};

} // namespace

void create_render_target(show_context& context, int index, int width, int height, int samples) {
    render_target& target = target_at(context, index);
    // A sample count the card cannot give, or an empty size, would leave the
    // storage unallocated and the target silently black.
    GLint max_samples = 0, max_size = 1;
    glGetIntegerv(GL_MAX_SAMPLES, &max_samples);
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &max_size);
    if (samples > std::max(max_samples, 0)) {
        // A driver without (enough) multisampled renderbuffers: the show
        // draws with what it gives, one sample at the least.
        std::fprintf(stderr, "render target: %d samples asked, the GL gives %d; drawing with %d\n", samples,
                     std::max(max_samples, 0), std::max(max_samples, 0));
    }
    samples = std::clamp(samples, 0, std::max(max_samples, 0));
    width = std::clamp(width, 1, std::max(max_size, 1));
    height = std::clamp(height, 1, std::max(max_size, 1));

    allocate(&target.colour_buffer_0, samples, GL_RGBA8, width, height);
    allocate(&target.colour_buffer_1, samples, GL_RGBA8, width, height);
    allocate(&target.depth_buffer, samples, GL_DEPTH_COMPONENT24, width, height);

    glGenFramebuffers(1, &target.draw_framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, target.draw_framebuffer);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, target.colour_buffer_0);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT1, GL_RENDERBUFFER, target.colour_buffer_1);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, target.depth_buffer);

    glGenFramebuffers(1, &target.resolve_framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, target.resolve_framebuffer);
}

void attach_target_texture(show_context& context, int index, int attachment, int texture_slot) {
    render_target& target = target_at(context, index);
    glBindFramebuffer(GL_FRAMEBUFFER, target.resolve_framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, colour_attachments[std::clamp(attachment, 0, 2)], GL_TEXTURE_2D,
                           texture_name_of_slot(context, texture_slot), 0);
    glCheckFramebufferStatus(GL_FRAMEBUFFER); // completeness is not acted upon
}

void bind_render_target(show_context& context, int index, int colour_count) {
    render_target& target = target_at(context, index);
    glBindFramebuffer(GL_FRAMEBUFFER, target.draw_framebuffer);
    // The window has no colour attachments to select (a target not yet
    // created binds the window).
    if (target.draw_framebuffer != 0) glDrawBuffers(std::clamp(colour_count, 1, 3), colour_attachments);
}

void bind_window_framebuffer() { glBindFramebuffer(GL_FRAMEBUFFER, 0); }

void resolve_render_target(show_context& context, int index, int width, int height, int colour_count,
                           bool with_depth) {
    render_target& target = target_at(context, index);
    const int count = std::clamp(colour_count, 1, 3);
    for (int i = 0; i < count; ++i) {
        glBindFramebuffer(GL_READ_FRAMEBUFFER, target.draw_framebuffer);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, target.resolve_framebuffer);
        glCheckFramebufferStatus(GL_READ_FRAMEBUFFER);
        if (target.draw_framebuffer != 0) glReadBuffer(colour_attachments[i]);
        if (target.resolve_framebuffer != 0) glDrawBuffer(colour_attachments[i]);
        glBlitFramebuffer(0, 0, width, height, 0, 0, width, height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        glCheckFramebufferStatus(GL_DRAW_FRAMEBUFFER);
    }
    if (with_depth)
        glBlitFramebuffer(0, 0, width, height, 0, 0, width, height, GL_DEPTH_BUFFER_BIT, GL_NEAREST);
}
