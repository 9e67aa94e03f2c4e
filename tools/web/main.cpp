// The page's program. Without a query it is the show: the shell's start
// (dialog, window, loading screen, the whole load) and then one pass of the
// message loop per animation frame of the page. With ?at=T[&size=WxH]
// [&noaa][&force169][&music=2] it draws the frame at show time T as the
// capture program does (scripted clock, the frame before it first, no sound,
// no dialog) and marks the page ready; the canvas keeps the frame.
#include <emscripten.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/common.h"
#include "gl/gl.h"
#include "parts/parts.h"
#include "platform/messages.h"
#include "platform/platform.h"
#include "platform/web.h"
#include "runtime/runtime.h"
#include "shell/shell.h"

namespace {

void fail(const std::string& reason) {
    std::fprintf(stderr, "quorlaxen: %s\n", reason.c_str());
    platform::show_message_box({reason.c_str(), "Quorlaxen - this address cannot be shown", platform::mb_ok});
    platform::sys().exit_process(2);
}

// The query as the capture program's options, read by the same code.
void read_frame_query(double& at, tools::view_options& view) {
    char value[64] = "";
    std::vector<std::string> args = {"quorlaxen"};
    if (platform::web_query("size", value, sizeof value)) args.insert(args.end(), {"--size", value});
    if (platform::web_query("music", value, sizeof value)) args.insert(args.end(), {"--music", value});
    if (platform::web_query("noaa", value, sizeof value)) args.push_back("--no-aa");
    if (platform::web_query("force169", value, sizeof value)) args.push_back("--force-16-9");
    std::vector<const char*> argv;
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    std::string error;
    for (int i = 1; i < int(argv.size()); ++i)
        if (tools::read_view_option(int(argv.size()), argv.data(), i, view, error) !=
            tools::option_read::taken)
            fail(error);
    platform::web_query("at", value, sizeof value);
    if (!tools::read_show_seconds("at", value, at, error)) fail(error);
}

void draw_frame_at() {
    double at = 0.0;
    tools::view_options view;
    read_frame_query(at, view);

    platform::platform& sys = platform::sys();
    tools::use_scripted_clock(sys);
    tools::decode_music_only(sys);
    platform::web_keep_drawing_buffer(true);

    tools::apply_view_options(view, the_show_context().settings);
    tools::pick_music(view.music);
    if (!shell::open_gl_window(shell::window_title, view.width, view.height, 32, false)) sys.exit_process(1);
    part_start* part = static_cast<part_start*>(runtime().production);

    const int fps = tools::default_fps;
    tools::set_scripted_rate(fps);
    tools::segment s = tools::show_time_segment({tools::on_grid(at, fps)}, fps);
    tools::keep_inside_show(s);
    part->scene_time = s.start_scene;
    double previous = s.start_show;
    for (const tools::planned_frame& f : s.frames) {
        tools::prepare_frame(previous, f.show_time);
        previous = f.show_time;
        run_frame();
    }
    glFinish();
    platform::web_set_page_state("ready");
}

void frame() {
    const int code = shell::message_step();
    if (code < 0) return;
    shell::finish();
    platform::sys().exit_process(code);
}

} // namespace

// The show clock, for the page's own script and its tests (the music heard
// is the page's audio context's own figure).
extern "C" EMSCRIPTEN_KEEPALIVE double quorlaxen_show_time() { return runtime().show_time; }

int main(int argc, char** argv) {
    char value[8];
    if (platform::web_query("at", value, sizeof value)) {
        draw_frame_at();
        return 0;
    }
    int code = 0;
    if (!shell::start(argc, argv, code)) platform::sys().exit_process(code);
    platform::web_set_page_state("running");
    platform::web_set_frames_running(true);
    // The page's animation frames drive the show from here; the program
    // stays alive after main returns.
    emscripten_set_main_loop(frame, 0, false);
    return 0;
}
