// frame-shot: the frame of the show at chosen scene times, as PNG files.
//
//   frame-shot [--show DIR] [--size WxH] [--out DIR] [--time-each [N]] T...
//
// Opens the show's window with the real start-up (data read from the show
// folder, silent sound), then for each T renders the frame 1/30 s before T
// (so that state the script carries to the next frame exists) and the frame
// at T, reads the window back and writes OUT/frame-T.png (T with three
// decimals). --time-each prints the milliseconds the frame at T took: the
// median of N renders (default 1) when N is given.
#include <GL/glew.h>
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "parts/parts.h"
#include "platform/platform.h"
#include "runtime/runtime.h"
#include "shell/shell.h"

namespace {

bool write_png(const std::string& file_name, int width, int height, const std::vector<unsigned char>& rgb) {
    FILE* file = std::fopen(file_name.c_str(), "wb");
    if (!file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    // GL rows run bottom-up.
    for (int y = height - 1; y >= 0; --y)
        png_write_row(png, const_cast<png_bytep>(&rgb[size_t(y) * width * 3]));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0;
}

void render_at(part_start& part, double T) {
    show_context& context = the_show_context();
    frame_record& record = runtime().record;
    record.time = T;
    part.scene_time = T;
    double step = 0.0; // a zero step leaves the scene clock at T
    part.render(&step, context, &record);
}

int usage() {
    std::fprintf(stderr, "usage: frame-shot [--show DIR] [--size WxH] [--out DIR] [--time-each [N]] T...\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::string show_dir = QUORLAXEN_SHOW_DIR;
    std::string out_dir = ".";
    int width = 640, height = 360;
    bool time_each = false;
    int repeats = 1;
    std::vector<double> times;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--show" && i + 1 < argc) {
            show_dir = argv[++i];
        } else if (arg == "--out" && i + 1 < argc) {
            out_dir = argv[++i];
        } else if (arg == "--size" && i + 1 < argc) {
            if (std::sscanf(argv[++i], "%dx%d", &width, &height) != 2 || width <= 0 || height <= 0)
                return usage();
        } else if (arg == "--time-each") {
            time_each = true;
            // An integer after the flag is the repeat count (times carry a
            // decimal point or are taken as times when the flag has none).
            if (i + 1 < argc && std::strchr(argv[i + 1], '.') == nullptr) {
                char* end = nullptr;
                const long n = std::strtol(argv[i + 1], &end, 10);
                if (*end == '\0' && n >= 1 && n <= 1000) {
                    repeats = int(n);
                    ++i;
                }
            }
        } else {
            char* end = nullptr;
            const double T = std::strtod(arg.c_str(), &end);
            if (end == arg.c_str() || *end != '\0' || T < 0.0) return usage();
            times.push_back(T);
        }
    }
    if (times.empty()) return usage();
    if (out_dir[0] != '/') {
        char cwd[4096];
        if (getcwd(cwd, sizeof cwd)) out_dir = std::string(cwd) + "/" + out_dir;
    }
    if (chdir(show_dir.c_str()) != 0) {
        std::fprintf(stderr, "frame-shot: cannot enter the show folder %s\n", show_dir.c_str());
        return 1;
    }

    // Silent sound: frames depend on the scene clock only.
    platform::platform& sys = platform::sys();
    const platform::platform& quiet = platform::null_platform();
    sys.sound_init = quiet.sound_init;
    sys.sound_load = [](const char*) { return 1; }; // any sample: nothing is played
    sys.sound_set_loop = quiet.sound_set_loop;
    sys.sound_enable_spectrum = quiet.sound_enable_spectrum;
    sys.sound_play = quiet.sound_play;
    sys.sound_set_position = quiet.sound_set_position;
    sys.sound_position = quiet.sound_position;
    sys.sound_frequency = quiet.sound_frequency;
    sys.sound_sample_length = quiet.sound_sample_length;
    sys.sound_spectrum = quiet.sound_spectrum;
    sys.sound_set_volume = quiet.sound_set_volume;
    sys.sound_close = quiet.sound_close;

    show_settings& settings = the_show_context().settings;
    settings.window_width = settings.view_width = width;
    settings.window_height = settings.view_height = height;
    settings.fullscreen = false;
    settings.antialiased = true;
    if (!shell::open_gl_window(shell::window_title, width, height, 32, false)) return 1;
    part_start* part = static_cast<part_start*>(runtime().production);
    if (!part) return 1;

    std::vector<unsigned char> rgb(size_t(width) * height * 3);
    while (glGetError() != GL_NO_ERROR) {
    } // what the start-up left behind is not a frame's
    for (double T : times) {
        render_at(*part, T > 1.0 / 30.0 ? T - 1.0 / 30.0 : 0.0);
        glFinish();
        std::vector<double> ms(static_cast<size_t>(repeats));
        for (double& each : ms) {
            const auto started = std::chrono::steady_clock::now();
            render_at(*part, T);
            glFinish();
            each =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
        }
        std::sort(ms.begin(), ms.end());
        const double median = ms[ms.size() / 2];
        // The frame code checks nothing itself; a reviewer wants to know.
        for (GLenum error = glGetError(); error != GL_NO_ERROR; error = glGetError())
            std::fprintf(stderr, "frame-shot: GL error 0x%04x at T = %.3f\n", error, T);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadBuffer(GL_BACK);
        glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
        char name[64];
        std::snprintf(name, sizeof name, "/frame-%07.3f.png", T);
        const std::string file_name = out_dir + name;
        if (!write_png(file_name, width, height, rgb)) {
            std::fprintf(stderr, "frame-shot: cannot write %s\n", file_name.c_str());
            return 1;
        }
        if (time_each)
            std::printf("%s %.1f ms\n", file_name.c_str(), median);
        else
            std::printf("%s\n", file_name.c_str());
    }
    std::fflush(stdout);
    std::_Exit(0); // the show releases nothing on the way out either
}
