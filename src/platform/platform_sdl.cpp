// The native platform: SDL2 window, OpenGL compatibility context, events
// translated into the show's window messages, message boxes, the clipboard
// (handed to xclip / wl-copy so the text outlives the process), the timer,
// the cursor, display modes and the process.
#include <SDL.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>

#include "platform/native_sound.h"
#include "platform/platform.h"

namespace platform {
namespace {

struct native_state {
    SDL_Window* window = nullptr;
    SDL_GLContext context = nullptr;
    bool window_from_switch = false; // made by change_display_mode, not yet handed out
    std::deque<message> queued;      // posted and synthesised messages, before SDL's
};
native_state native;

bool has_display() {
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (wayland && *wayland);
}

bool ensure_video() {
    if (SDL_WasInit(SDL_INIT_VIDEO)) return true;
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "video: %s\n", SDL_GetError());
        return false;
    }
    return true;
}

// --- timer, cursor ---
int64_t perf_counter() { return int64_t(SDL_GetPerformanceCounter()); }
int64_t perf_frequency() { return int64_t(SDL_GetPerformanceFrequency()); }
void cursor_pos(int* x, int* y) { SDL_GetGlobalMouseState(x, y); }

// --- message boxes ---
int message_box(const char* text, const char* caption, unsigned style) {
    std::fprintf(stderr, "%s: %s\n", caption, text);
    std::fflush(stderr);
    const bool yes_no = (style & 0xF) == mb_yesno;
    const int fallback = yes_no ? id_no : id_ok;
    if (!has_display()) return fallback;

    Uint32 flags = SDL_MESSAGEBOX_INFORMATION;
    if ((style & 0xF0) == mb_iconstop) flags = SDL_MESSAGEBOX_ERROR;
    if ((style & 0xF0) == mb_iconexclamation) flags = SDL_MESSAGEBOX_WARNING;
    const SDL_MessageBoxButtonData ok_buttons[] = {
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, id_ok, "OK"}};
    const SDL_MessageBoxButtonData yes_no_buttons[] = {
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, id_yes, "Yes"},
        {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, id_no, "No"}};
    SDL_MessageBoxData data{};
    data.flags = flags;
    data.window = nullptr; // no owner
    data.title = caption;
    data.message = text;
    data.numbuttons = yes_no ? 2 : 1;
    data.buttons = yes_no ? yes_no_buttons : ok_buttons;
    int button = -1;
    if (SDL_ShowMessageBox(&data, &button) != 0) {
        // Say so: the caller goes on with the fallback answer as if given.
        std::fprintf(stderr, "message box: %s\n", SDL_GetError());
        return fallback;
    }
    return button < 0 ? fallback : button;
}

// --- clipboard ---
// The first executable `tool` in the folders of PATH; empty where none.
std::string find_on_path(const char* tool) {
    const char* path = std::getenv("PATH");
    if (!path) return {};
    std::string dirs = path;
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        const std::string candidate = dirs.substr(start, end - start) + "/" + tool;
        if (end > start && access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    return {};
}

bool on_path(const char* tool) { return !find_on_path(tool).empty(); }

// X11 drops a selection when its owner exits; xclip (or wl-copy) keeps
// serving it from a process of its own. Their output goes nowhere, or a
// caller that captures ours would wait for them.
bool pipe_to(const char* command, const std::string& text) {
    void (*old)(int) = std::signal(SIGPIPE, SIG_IGN);
    FILE* pipe = popen(command, "w");
    bool ok = false;
    if (pipe) {
        const size_t written = std::fwrite(text.data(), 1, text.size(), pipe);
        ok = pclose(pipe) == 0 && written == text.size();
    }
    std::signal(SIGPIPE, old);
    return ok;
}

bool set_clipboard_text(const std::string& text) {
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (wayland && *wayland && on_path("wl-copy") && pipe_to("wl-copy >/dev/null 2>&1", text)) return true;
    const char* x = std::getenv("DISPLAY");
    if (x && *x && on_path("xclip") && pipe_to("xclip -selection clipboard -i >/dev/null 2>&1", text))
        return true;
    // A clipboard of our own would die with the process a moment later, so
    // the text goes where it outlives us: standard output.
    std::fprintf(stderr, "clipboard: no xclip or wl-copy took the text; it follows on standard output\n");
    std::fflush(stderr);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    return false;
}

// --- display modes ---
bool enum_display_mode(int index, display_mode_info* out) {
    if (!ensure_video() || index < 0 || index >= SDL_GetNumDisplayModes(0)) return false;
    SDL_DisplayMode mode{};
    if (SDL_GetDisplayMode(0, index, &mode) != 0) return false;
    out->width = mode.w;
    out->height = mode.h;
    out->bits = int(SDL_BITSPERPIXEL(mode.format));
    out->refresh = mode.refresh_rate;
    return true;
}

bool listed_mode(int width, int height) {
    const int count = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < count; ++i) {
        SDL_DisplayMode mode{};
        if (SDL_GetDisplayMode(0, i, &mode) == 0 && mode.w == width && mode.h == height) return true;
    }
    return false;
}

void set_gl_attributes() {
#if defined(QUORLAXEN_GL_ES3)
    // The es3 build draws through its layer over OpenGL ES 3.0.
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_ES);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 0);
#else
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
#endif
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
}

// The show's window with its GL visual. SDL makes window and visual in one
// call; when it fails, a plain window and the GL library alone tell which
// of the steps it could not do.
window_failure make_window(const char* title, int x, int y, int width, int height, Uint32 flags) {
    set_gl_attributes();
    native.window = SDL_CreateWindow(title, x, y, width, height, SDL_WINDOW_OPENGL | flags);
    if (native.window) return window_failure::none;
    std::fprintf(stderr, "window: %s\n", SDL_GetError());
    SDL_Window* plain = SDL_CreateWindow(title, x, y, width, height, SDL_WINDOW_HIDDEN);
    if (!plain) return window_failure::window;
    SDL_DestroyWindow(plain);
    if (SDL_GL_LoadLibrary(nullptr) != 0) {
        std::fprintf(stderr, "OpenGL: %s\n", SDL_GetError());
        return window_failure::device_context;
    }
    SDL_GL_UnloadLibrary();
    return window_failure::pixel_format;
}

void forget_window() {
    if (native.window) SDL_DestroyWindow(native.window);
    native.window = nullptr;
    native.window_from_switch = false;
}

// SDL switches the mode only for a full-screen window on show, and keeps
// the nearest mode it has when the size is not one of them: the mode the
// display is in afterwards is the answer. The window stays for
// create_window when the switch took.
bool change_display_mode(int width, int height, int) {
    if (!ensure_video()) return false;
    forget_window();
    if (make_window("", 0, 0, width, height, SDL_WINDOW_FULLSCREEN | SDL_WINDOW_HIDDEN) !=
        window_failure::none) {
        // Nothing to switch with; the window step reports its own failure.
        return listed_mode(width, height);
    }
    SDL_ShowWindow(native.window);
    SDL_PumpEvents();
    const int display = std::max(SDL_GetWindowDisplayIndex(native.window), 0);
    SDL_DisplayMode now{};
    if (SDL_GetCurrentDisplayMode(display, &now) != 0 || now.w != width || now.h != height) {
        std::fprintf(stderr, "display mode: %d x %d asked, %d x %d kept\n", width, height, now.w, now.h);
        forget_window(); // full screen ends with it, and the display mode goes back
        return false;
    }
    native.window_from_switch = true;
    return true;
}

void restore_display_mode() {
    if (native.window) SDL_SetWindowFullscreen(native.window, 0);
}

void show_cursor(bool show) { SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE); }

// --- window and context ---
bool init_windowing() { return ensure_video(); }

window_failure create_window(const window_request& request) {
    if (!ensure_video()) return window_failure::window;
    if (native.window_from_switch && request.fullscreen) {
        // The window that switched the display mode.
        native.window_from_switch = false;
        SDL_SetWindowTitle(native.window, request.title);
    } else {
        forget_window();
        const Uint32 flags = SDL_WINDOW_SHOWN | (request.fullscreen ? SDL_WINDOW_FULLSCREEN : 0) |
                             (request.resizable ? SDL_WINDOW_RESIZABLE : 0);
        const window_failure failure =
            make_window(request.title, request.x, request.y, request.width, request.height, flags);
        if (failure != window_failure::none) return failure;
        if (request.resizable) SDL_SetWindowMinimumSize(native.window, request.width, request.height);
    }
    SDL_RaiseWindow(native.window);
    return window_failure::none;
}

bool create_gl_context() {
    if (!native.window) return false;
    native.context = SDL_GL_CreateContext(native.window);
    if (!native.context) std::fprintf(stderr, "GL context: %s\n", SDL_GetError());
    return native.context != nullptr;
}

bool make_gl_current(bool current) {
    if (!native.window) return !current;
    return SDL_GL_MakeCurrent(native.window, current ? native.context : nullptr) == 0;
}

bool delete_gl_context() {
    if (native.context) SDL_GL_DeleteContext(native.context);
    native.context = nullptr;
    return true;
}

// SDL keeps no device context of the window apart from the window itself,
// and its video subsystem lives until the process ends.
bool release_device_context() { return true; }

bool destroy_window() {
    forget_window();
    return true;
}

bool close_windowing() { return true; }

void swap_buffers() {
    if (native.window) SDL_GL_SwapWindow(native.window);
}

void disable_screen_saver() { SDL_DisableScreenSaver(); }

// SDL hands the title to X11 in the C library's character set as well as in
// UTF-8, and under the "C" locale the UTF-8 name (what window managers show)
// keeps its old text when the new one is not plain ASCII.
void set_window_title(const char* title) {
    static const bool utf8 = [] {
        const char* now = std::setlocale(LC_CTYPE, nullptr);
        if (now && std::strcmp(now, "C") != 0 && std::strcmp(now, "POSIX") != 0) return true;
        return std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr;
    }();
    (void)utf8;
    if (native.window) SDL_SetWindowTitle(native.window, title);
}

// --- messages ---
unsigned virtual_key(SDL_Keycode key) {
    if (key >= SDLK_a && key <= SDLK_z) return unsigned('A' + (key - SDLK_a));
    if (key >= SDLK_0 && key <= SDLK_9) return unsigned('0' + (key - SDLK_0));
    if (key >= SDLK_F1 && key <= SDLK_F12) return 0x70 + unsigned(key - SDLK_F1);
    if (key >= SDLK_F13 && key <= SDLK_F24) return 0x7C + unsigned(key - SDLK_F13);
    if (key >= SDLK_KP_1 && key <= SDLK_KP_9) return 0x61 + unsigned(key - SDLK_KP_1);
    switch (key) {
    case SDLK_BACKSPACE:
        return 0x08;
    case SDLK_TAB:
        return 0x09;
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
        return vk_return;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT:
        return 0x10;
    case SDLK_LCTRL:
    case SDLK_RCTRL:
        return 0x11;
    case SDLK_LALT:
    case SDLK_RALT:
        return 0x12;
    case SDLK_PAUSE:
        return 0x13;
    case SDLK_CAPSLOCK:
        return 0x14;
    case SDLK_ESCAPE:
        return vk_escape;
    case SDLK_SPACE:
        return vk_space;
    case SDLK_PAGEUP:
        return 0x21;
    case SDLK_PAGEDOWN:
        return 0x22;
    case SDLK_END:
        return 0x23;
    case SDLK_HOME:
        return 0x24;
    case SDLK_LEFT:
        return vk_left;
    case SDLK_UP:
        return vk_up;
    case SDLK_RIGHT:
        return vk_right;
    case SDLK_DOWN:
        return vk_down;
    case SDLK_PRINTSCREEN:
        return 0x2C;
    case SDLK_INSERT:
        return 0x2D;
    case SDLK_DELETE:
        return 0x2E;
    case SDLK_LGUI:
        return 0x5B;
    case SDLK_RGUI:
        return 0x5C;
    case SDLK_KP_0:
        return 0x60;
    case SDLK_KP_MULTIPLY:
        return 0x6A;
    case SDLK_KP_PLUS:
        return 0x6B;
    case SDLK_KP_MINUS:
        return 0x6D;
    case SDLK_KP_PERIOD:
        return 0x6E;
    case SDLK_KP_DIVIDE:
        return 0x6F;
    case SDLK_NUMLOCKCLEAR:
        return 0x90;
    case SDLK_SCROLLLOCK:
        return 0x91;
    case SDLK_SEMICOLON:
        return 0xBA;
    case SDLK_EQUALS:
        return 0xBB;
    case SDLK_COMMA:
        return 0xBC;
    case SDLK_MINUS:
        return 0xBD;
    case SDLK_PERIOD:
        return 0xBE;
    case SDLK_SLASH:
        return 0xBF;
    case SDLK_BACKQUOTE:
        return 0xC0;
    case SDLK_LEFTBRACKET:
        return 0xDB;
    case SDLK_BACKSLASH:
        return 0xDC;
    case SDLK_RIGHTBRACKET:
        return 0xDD;
    case SDLK_QUOTE:
        return 0xDE;
    default:
        return 0;
    }
}

int64_t pack_xy(int x, int y) { return int64_t(uint16_t(x)) | (int64_t(uint16_t(y)) << 16); }

uint64_t button_mask() {
    const Uint32 b = SDL_GetMouseState(nullptr, nullptr);
    return (b & SDL_BUTTON_LMASK ? 0x1u : 0u) | (b & SDL_BUTTON_RMASK ? 0x2u : 0u) |
           (b & SDL_BUTTON_MMASK ? 0x10u : 0u);
}

bool minimised() { return native.window && (SDL_GetWindowFlags(native.window) & SDL_WINDOW_MINIMIZED); }

void queue(unsigned id, uint64_t wparam = 0, int64_t lparam = 0) {
    native.queued.push_back({id, wparam, lparam});
}

void queue_size() {
    int w = 0, h = 0;
    if (native.window) SDL_GL_GetDrawableSize(native.window, &w, &h);
    queue(wm_size, 0, pack_xy(w, h));
}

void translate(const SDL_Event& e) {
    switch (e.type) {
    case SDL_QUIT: // the last window closed, or SIGINT / SIGTERM
        queue(wm_close);
        break;
    case SDL_WINDOWEVENT:
        switch (e.window.event) {
        case SDL_WINDOWEVENT_CLOSE:
            queue(wm_close);
            break;
        case SDL_WINDOWEVENT_MINIMIZED:
            queue(wm_size, 0, 0);
            queue(wm_activate, 0 | (1u << 16));
            break;
        case SDL_WINDOWEVENT_RESTORED:
            queue(wm_activate, 1);
            queue_size();
            break;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            queue(wm_activate, 1 | (minimised() ? 1u << 16 : 0u));
            break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            queue(wm_activate, 0 | (minimised() ? 1u << 16 : 0u));
            break;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            queue_size();
            break;
        default:
            break;
        }
        break;
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        const unsigned vk = virtual_key(e.key.keysym.sym);
        if (!vk) break;
        const bool down = e.type == SDL_KEYDOWN;
        const bool alt = (e.key.keysym.mod & KMOD_ALT) != 0;
        // Repeat count 1; bit 29 Alt held; bit 30 the key was already down
        // (auto-repeat); bit 31 release.
        int64_t lparam = 1;
        if (alt) lparam |= int64_t(1) << 29;
        if (!down || e.key.repeat) lparam |= int64_t(1) << 30;
        if (!down) lparam |= int64_t(1) << 31;
        const bool system = alt || vk == 0x79 /* F10 */ || vk == 0x12;
        const unsigned id = system ? (down ? wm_syskeydown : wm_syskeyup) : (down ? wm_keydown : wm_keyup);
        queue(id, vk, lparam);
        break;
    }
    case SDL_MOUSEMOTION:
        queue(wm_mousemove, button_mask(), pack_xy(e.motion.x, e.motion.y));
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        const bool down = e.type == SDL_MOUSEBUTTONDOWN;
        unsigned id = 0;
        if (e.button.button == SDL_BUTTON_LEFT) id = down ? wm_lbuttondown : wm_lbuttonup;
        if (e.button.button == SDL_BUTTON_RIGHT) id = down ? wm_rbuttondown : wm_rbuttonup;
        if (e.button.button == SDL_BUTTON_MIDDLE) id = down ? wm_mbuttondown : wm_mbuttonup;
        if (id) queue(id, button_mask(), pack_xy(e.button.x, e.button.y));
        break;
    }
    case SDL_MOUSEWHEEL: {
        // Deltas in units of 120 per notch, positive away from the user.
        float notches = e.wheel.preciseY;
        if (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) notches = -notches;
        long delta = std::lround(double(notches) * 120.0);
        delta = std::max(-32768L, std::min(32767L, delta));
        if (delta == 0) break;
        int x = 0, y = 0;
        SDL_GetGlobalMouseState(&x, &y);
        queue(wm_mousewheel, (uint64_t(uint16_t(int16_t(delta))) << 16) | button_mask(), pack_xy(x, y));
        break;
    }
    default:
        break;
    }
}

bool peek_message(message* out) {
    if (native.queued.empty() && SDL_WasInit(SDL_INIT_VIDEO)) {
        SDL_Event e;
        while (native.queued.empty() && SDL_PollEvent(&e))
            translate(e);
    }
    if (native.queued.empty()) return false;
    *out = native.queued.front();
    native.queued.pop_front();
    return true;
}

void post_quit_message(int code) { queue(wm_quit, uint64_t(code)); }

// --- process ---
// The folder of the real executable, links resolved, so a launcher link
// elsewhere (bin/quorlaxen -> ../lib/quorlaxen/quorlaxen) finds the data.
void enter_executable_folder(const char* argv0) {
    std::string folder;
    if (char* base = SDL_GetBasePath()) { // from /proc/self/exe
        folder = base;
        SDL_free(base);
    } else if (argv0 && *argv0) {
        // No /proc: the path it was started by, or its PATH entry.
        const std::string started = std::strchr(argv0, '/') ? std::string(argv0) : find_on_path(argv0);
        if (char* real = started.empty() ? nullptr : realpath(started.c_str(), nullptr)) {
            folder = real;
            std::free(real);
            folder.erase(folder.rfind('/') + 1);
        }
    }
    if (folder.empty())
        std::fputs("cannot find the program's own folder; reading data from the current one\n", stderr);
    else if (chdir(folder.c_str()) != 0)
        std::fprintf(stderr, "cannot enter %s\n", folder.c_str());
}

[[noreturn]] void exit_process(int code) {
    // SDL_Quit puts a switched display mode back on every road out.
    native_sound::close();
    SDL_Quit();
    std::fflush(nullptr);
    std::exit(code);
}

} // namespace

#include "platform/native_table.inc"

} // namespace platform
