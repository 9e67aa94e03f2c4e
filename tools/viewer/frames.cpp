#include <algorithm>
#include <cstdio>
#include <vector>

#include "parts/parts.h"
#include "platform/platform.h"
#include "runtime/runtime.h"
#include "viewer.h"

namespace viewer {

void render_at(double t) {
    platform::platform& sys = platform::sys();
    runtime_state& rt = runtime();
    part_start* part = static_cast<part_start*>(rt.production);
    if (!part) return;

    // The frames run as the capture runs them: a clock that moves by the
    // planned step alone, the music following it, nothing heard.
    const platform::platform playing = sys;
    tools::use_scripted_clock(sys);
    sys.sound_spectrum = platform::null_platform().sound_spectrum;

    tools::segment s = tools::show_time_segment({tools::on_grid(t, fps)}, fps);
    tools::keep_inside_show(s);
    part->scene_time = s.start_scene;
    rt.sync_enabled = true; // as in a run that starts here
    double previous = s.start_show;
    for (const tools::planned_frame& f : s.frames) {
        tools::prepare_frame(previous, f.show_time);
        previous = f.show_time;
        run_frame();
    }

    sys = playing;
    timer_reset();
    rt.last_reading = timer_read();
}

void make_kept_frame(kept_frame& k, int width, int height) {
    k.width = width;
    k.height = height;
    glGenRenderbuffers(1, &k.colour);
    glBindRenderbuffer(GL_RENDERBUFFER, k.colour);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    glGenFramebuffers(1, &k.framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, k.framebuffer);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, k.colour);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

// Blits see the scissor test; the show's next frame sees nothing of this.
void keep(kept_frame& k) {
    glPushAttrib(GL_ENABLE_BIT);
    glDisable(GL_SCISSOR_TEST);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glReadBuffer(GL_BACK);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, k.framebuffer);
    glBlitFramebuffer(0, 0, k.width, k.height, 0, 0, k.width, k.height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glPopAttrib();
}

void show_kept(const kept_frame& k, int window_width, int window_height) {
    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    int x = 0, y = 0, w = k.width, h = k.height;
    const bool same = window_width == k.width && window_height == k.height;
    if (!same) {
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        // As large as fits, centred, the frame's shape kept.
        const double scale = std::min(double(window_width) / k.width, double(window_height) / k.height);
        w = std::max(1, int(k.width * scale));
        h = std::max(1, int(k.height * scale));
        x = (window_width - w) / 2;
        y = (window_height - h) / 2;
    }
    glBindFramebuffer(GL_READ_FRAMEBUFFER, k.framebuffer);
    glBlitFramebuffer(0, 0, k.width, k.height, x, y, x + w, y + h, GL_COLOR_BUFFER_BIT,
                      same ? GL_NEAREST : GL_LINEAR);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glPopAttrib();
}

bool write_ppm(const kept_frame& k, const std::string& file_name) {
    const size_t row = size_t(k.width) * 3;
    std::vector<unsigned char> pixels(row * k.height);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, k.framebuffer);
    glReadPixels(0, 0, k.width, k.height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glPopClientAttrib();

    // Written beside, then renamed: a reader never sees half a file.
    const std::string part = file_name + ".part";
    FILE* file = std::fopen(part.c_str(), "wb");
    if (!file) return false;
    bool ok = std::fprintf(file, "P6\n%d %d\n255\n", k.width, k.height) > 0;
    for (int y = k.height - 1; ok && y >= 0; --y) // GL rows run bottom-up
        ok = std::fwrite(&pixels[size_t(y) * row], 1, row, file) == row;
    ok = std::fclose(file) == 0 && ok;
    if (ok) ok = std::rename(part.c_str(), file_name.c_str()) == 0;
    if (!ok) std::remove(part.c_str());
    return ok;
}

} // namespace viewer
