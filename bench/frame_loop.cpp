// What the frame loop costs per frame with a part that only clears the
// frame: the frame driver alone (timer, music clock, record, spectrum, part
// call), and a whole idle pass of the message loop (events, frame, swap) in a
// 1280 x 720 window on the native platform. Run under a display, with
// SDL_AUDIODRIVER=dummy where there is no sound device.
#include <GL/glew.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>

#include "parts/parts.h"
#include "platform/platform.h"
#include "runtime/runtime.h"
#include "shell/shell.h"

namespace {

class clearing_part : public parts {
  public:
    void render(double*, show_context&, frame_record*) override {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
    void init(show_context&) override {}
};

bool ready = false;

// Window, context, music (the show's own when built, else none) and a fresh clock.
bool set_up() {
    if (ready) return true;
    platform::platform& p = platform::sys();
    platform::window_request request;
    request.title = "frame loop";
    request.x = request.y = 50;
    request.width = 1280;
    request.height = 720;
    if (!p.init_windowing() || p.create_window(request) != platform::window_failure::none ||
        !p.create_gl_context() || !p.make_gl_current(true))
        return false;
    glewExperimental = GL_TRUE;
    glewInit();
    shell::resize_viewport(1280, 720);
    runtime_state& rt = runtime();
    schedule_init(rt.schedule);
    rt.production = new clearing_part;
    // The show's own music, forged beside the show in the build folder.
    const std::filesystem::path music =
        std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "show" / "music" /
        "Zembra - Quorlaxen.mp3";
    if (p.sound_init(44100, 32) && std::filesystem::exists(music)) {
        rt.music_sample = p.sound_load(music.c_str());
        p.sound_enable_spectrum(true);
        p.sound_play(rt.music_sample);
    } else {
        std::fprintf(stderr, "frame loop: no music, the clock runs on the timer alone\n");
    }
    timer_reset();
    rt.last_reading = timer_read();
    ready = true;
    return true;
}

void keep_show_running() {
    // The show would end at show_end_time; a long benchmark run stays short of it.
    if (runtime().show_time > 200.0) runtime().show_time = 0.0;
}

void frame_driver_only(benchmark::State& state) {
    if (!set_up()) {
        state.SkipWithError("no window");
        return;
    }
    for (auto _ : state) {
        run_frame();
        glFinish();
        keep_show_running();
    }
}
BENCHMARK(frame_driver_only)->Unit(benchmark::kMicrosecond)->UseRealTime();

void idle_pass_with_swap(benchmark::State& state) {
    if (!set_up()) {
        state.SkipWithError("no window");
        return;
    }
    platform::platform& p = platform::sys();
    for (auto _ : state) {
        platform::message m;
        while (p.peek_message(&m))
            shell::window_proc(m.id, m.wparam, m.lparam);
        run_frame();
        p.swap_buffers();
        glFinish();
        keep_show_running();
    }
}
BENCHMARK(idle_pass_with_swap)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    platform::sys().sound_close();
    shell::destroy_gl_window();
    return 0;
}
