// The platform in a web page: the page's one <canvas> as the window and a
// WebGL 2 context on it as the GL, the page's key, mouse, wheel, focus and
// visibility events translated into the show's window messages, message
// boxes drawn in the page, the clipboard, the Fullscreen API for full
// screen (the screen keeps its mode; the picture is fitted into it), and the
// end of the program as <html data-exit="N">.
//
// Waits (a message box, the dialog, a full-screen request, the loading
// screen's swap) suspend the program where it stands and give the page its
// turn (Emscripten's Asyncify), so the show's own code runs as on desktop.
// The bodies of EM_JS below are JavaScript, which the C++ formatter mangles.
// clang-format off
#include <emscripten.h>
#include <emscripten/html5.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>

#include "platform/messages.h"
#include "platform/native_sound.h"
#include "platform/platform.h"
#include "platform/web.h"

namespace platform {
namespace {

struct web_state {
    std::deque<message> queued;
    EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = 0;
    int width = 0, height = 0; // the drawing buffer, device pixels
    int cursor_x = 400, cursor_y = 300;
    bool frames_running = false;
    bool keep_drawing_buffer = false;
    bool fullscreen = false; // the show asked for full screen and has it
};
web_state web;

constexpr const char* canvas_target = "#canvas";

void queue(unsigned id, uint64_t wparam = 0, int64_t lparam = 0) {
    web.queued.push_back({id, wparam, lparam});
}

// --- page helpers -----------------------------------------------------------

EM_ASYNC_JS(int, page_box, (const char* text, const char* caption, int yes_no), {
    const buttons = yes_no ? [ 'Yes', 'No' ] : ['OK'];
    const index = await window.quorlaxen.box(UTF8ToString(caption), UTF8ToString(text), buttons);
    return yes_no ? (index == 0 ? 6 : 7) : 1;
});

EM_JS(void, page_set_state, (const char* state),
      { document.documentElement.dataset.state = UTF8ToString(state); });

EM_JS(int, page_query, (const char* name, char* value, int size), {
    const params = new URLSearchParams(location.search);
    const key = UTF8ToString(name);
    if (!params.has(key)) return 0;
    stringToUTF8(params.get(key) || "1", value, size);
    return 1;
});

// --- timer, cursor, boxes, clipboard ------------------------------------------

// Microseconds of the page's monotonic clock.
int64_t perf_counter() { return int64_t(std::llround(emscripten_get_now() * 1000.0)); }
int64_t perf_frequency() { return 1000000; }
void cursor_pos(int* x, int* y) { *x = web.cursor_x, *y = web.cursor_y; }

int message_box(const char* text, const char* caption, unsigned style) {
    std::fprintf(stderr, "%s: %s\n", caption, text);
    return page_box(text, caption, (style & 0xF) == mb_yesno);
}

// The browser may refuse the clipboard (no permission, no focus); then the
// text is shown in a box to copy by hand. The page's end waits for either.
EM_JS(void, page_clipboard, (const char* text_pointer, const char* caption_pointer), {
    const q = window.quorlaxen;
    const text = UTF8ToString(text_pointer);
    const caption = UTF8ToString(caption_pointer);
    const fallback = () => text ? q.box(caption, "Copy the text below.", ['OK'], text) : undefined;
    q.clipboard =
        (navigator.clipboard ? navigator.clipboard.writeText(text) : Promise.reject()).catch(fallback);
});

bool set_clipboard_text(const std::string& text) {
    page_clipboard(text.c_str(), messages::capture_text.caption);
    return true;
}

// --- display modes and full screen ------------------------------------------

// The sizes a screen commonly offers, up to the screen's own in device
// pixels, and the screen's own size last: the picture is drawn at the size
// chosen and fitted into the screen.
EM_JS(void, page_screen_size, (int* width, int* height), {
    const ratio = window.devicePixelRatio || 1;
    HEAP32[width >> 2] = Math.round(screen.width * ratio);
    HEAP32[height >> 2] = Math.round(screen.height * ratio);
});

constexpr int common_sizes[][2] = {
    {640, 480},   {800, 600},   {1024, 576},  {1024, 768},  {1152, 864},  {1280, 720},  {1280, 768},
    {1280, 800},  {1280, 960},  {1280, 1024}, {1360, 768},  {1366, 768},  {1440, 900},  {1600, 900},
    {1600, 1200}, {1680, 1050}, {1920, 1080}, {1920, 1200}, {2560, 1440}, {2560, 1600}, {3840, 2160},
};

bool enum_display_mode(int index, display_mode_info* out) {
    int screen_w = 0, screen_h = 0;
    page_screen_size(&screen_w, &screen_h);
    int seen = 0;
    bool screen_listed = false;
    for (const auto& size : common_sizes) {
        if (size[0] > screen_w || size[1] > screen_h) continue;
        screen_listed = screen_listed || (size[0] == screen_w && size[1] == screen_h);
        if (seen++ == index) {
            *out = {size[0], size[1], 32, 60};
            return true;
        }
    }
    if (!screen_listed && seen == index && screen_w > 0 && screen_h > 0) {
        *out = {screen_w, screen_h, 32, 60};
        return true;
    }
    return false;
}

// Full screen needs the user's gesture: the dialog's "Run ..." click, a
// moment before. Resolves once the browser has answered.
EM_ASYNC_JS(int, page_request_fullscreen, (), {
    // The canvas's frame goes full screen, so that the page's boxes can
    // still be shown over the picture.
    const screen = document.getElementById('screen') || document.getElementById('canvas');
    if (!screen.requestFullscreen) return 0;
    try {
        // A browser that never answers counts as one that refused.
        const refused = new Promise((_, reject) => setTimeout(() => reject(new Error('no answer')), 5000));
        await Promise.race([ screen.requestFullscreen({navigationUI : 'hide'}), refused ]);
        return document.fullscreenElement === screen ? 1 : 0;
    } catch (e) {
        console.error('full screen: ' + e.message);
        return 0;
    }
});

EM_JS(void, page_exit_fullscreen, (), {
    if (document.fullscreenElement && document.exitFullscreen) document.exitFullscreen().catch(() => {});
});

bool change_display_mode(int, int, int) {
    web.fullscreen = page_request_fullscreen() != 0;
    return web.fullscreen;
}

void restore_display_mode() {
    web.fullscreen = false;
    page_exit_fullscreen();
}

EM_JS(void, page_show_cursor, (int show),
      { document.getElementById('canvas').style.cursor = show ? "" : 'none'; });
void show_cursor(bool show) { page_show_cursor(show); }

// --- window and context -----------------------------------------------------

// The drawing buffer at the size asked for, shown at that many device pixels
// in a window and fitted into the screen (letterboxed) in full screen.
EM_JS(void, page_size_canvas, (int width, int height, const char* title), {
    const canvas = document.getElementById('canvas');
    const ratio = window.devicePixelRatio || 1;
    canvas.width = width;
    canvas.height = height;
    canvas.style.width = (width / ratio) + 'px';
    canvas.style.height = (height / ratio) + 'px';
    canvas.style.display = 'block';
    document.title = UTF8ToString(title).trim();
});

// Leaving full screen (the browser takes Escape for that itself) is Escape.
EM_JS(void, page_watch_fullscreen, (), {
    document.addEventListener(
        'fullscreenchange', () => {
            if (!document.fullscreenElement) Module._quorlaxen_left_fullscreen();
        });
});

bool init_windowing() { return true; }

window_failure create_window(const window_request& request) {
    web.width = request.width;
    web.height = request.height;
    page_size_canvas(request.width, request.height, request.title);
    web_set_page_state("loading");
    page_watch_fullscreen();
    // The canvas is as big as the picture; the show learns its size as from a window.
    queue(wm_size, 0, int64_t(request.width) | int64_t(request.height) << 16);
    queue(wm_activate, 1);
    return window_failure::none;
}

bool create_gl_context() {
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    attributes.majorVersion = 2;
    attributes.minorVersion = 0;
    attributes.alpha = false; // the page must not show through the picture
    attributes.depth = true;
    attributes.stencil = false;
    attributes.antialias = false; // the show resolves its own multisampled target
    attributes.premultipliedAlpha = false;
    attributes.preserveDrawingBuffer = web.keep_drawing_buffer;
    attributes.powerPreference = EM_WEBGL_POWER_PREFERENCE_HIGH_PERFORMANCE;
    attributes.failIfMajorPerformanceCaveat = false;
    web.context = emscripten_webgl_create_context(canvas_target, &attributes);
    if (web.context <= 0) {
        web.context = 0;
        message_box("This browser cannot draw with WebGL 2, which the show needs.\n"
                    "WebGL 2 may be turned off in its settings, or the graphics driver may be blocked.",
                    "Quorlaxen - no WebGL 2", mb_ok | mb_iconstop);
        return false;
    }
    return true;
}

bool make_gl_current(bool current) {
    return emscripten_webgl_make_context_current(current ? web.context : 0) == EMSCRIPTEN_RESULT_SUCCESS;
}

bool delete_gl_context() {
    if (!web.context) return true;
    const bool ok = emscripten_webgl_destroy_context(web.context) == EMSCRIPTEN_RESULT_SUCCESS;
    web.context = 0;
    return ok;
}

bool release_device_context() { return true; }

EM_JS(void, page_hide_canvas, (), { document.getElementById('canvas').style.display = 'none'; });
bool destroy_window() {
    page_hide_canvas();
    return true;
}
bool close_windowing() { return true; }

// Until the animation frames drive the show, a swap waits for the next one so
// the browser shows what was drawn (the loading screen before the long load).
EM_ASYNC_JS(void, page_next_frame, (),
            { await new Promise(resolve => requestAnimationFrame(() => setTimeout(resolve, 0))); });
void swap_buffers() {
    if (!web.frames_running) page_next_frame();
}

EM_JS(void, page_keep_awake, (), {
    if (navigator.wakeLock) navigator.wakeLock.request('screen').catch(() => {});
});
void disable_screen_saver() { page_keep_awake(); }

EM_JS(void, page_title, (const char* title), { document.title = UTF8ToString(title).trim(); });
void set_window_title(const char* title) { page_title(title); }

// --- messages -----------------------------------------------------------------

// Windows virtual-key codes are the DOM's keyCode values for every key the
// show reads (letters, digits, arrows, Return, Escape, Space, F1-F12).
EM_BOOL on_key(int type, const EmscriptenKeyboardEvent* e, void*) {
    const unsigned key = e->keyCode;
    if (key == 0 || key > 255) return EM_FALSE;
    const bool down = type == EMSCRIPTEN_EVENT_KEYDOWN;
    // Alt+F4 reaches the window procedure as the system key it is on Windows.
    const bool system = e->altKey && key == vk_f4;
    const unsigned id = system ? (down ? wm_syskeydown : wm_syskeyup) : (down ? wm_keydown : wm_keyup);
    queue(id, key, e->altKey ? int64_t(1) << 29 : 0);
    // The keys the show uses do not scroll the page or open its help.
    return key == vk_space || (key >= vk_left && key <= vk_down) || key == vk_f1 || key == vk_escape;
}

EM_BOOL on_mouse(int type, const EmscriptenMouseEvent* e, void*) {
    // In device pixels of the drawing buffer, as the picture is drawn.
    double css_w = 0, css_h = 0;
    emscripten_get_element_css_size(canvas_target, &css_w, &css_h);
    if (css_w > 0 && css_h > 0) {
        web.cursor_x = int(e->targetX * web.width / css_w);
        web.cursor_y = int(e->targetY * web.height / css_h);
    }
    const int64_t at = int64_t(web.cursor_x & 0xFFFF) | int64_t(web.cursor_y & 0xFFFF) << 16;
    if (type == EMSCRIPTEN_EVENT_MOUSEMOVE) {
        queue(wm_mousemove, 0, at);
        return EM_FALSE;
    }
    const bool down = type == EMSCRIPTEN_EVENT_MOUSEDOWN;
    static constexpr unsigned ids[3][2] = {
        {wm_lbuttonup, wm_lbuttondown}, {wm_mbuttonup, wm_mbuttondown}, {wm_rbuttonup, wm_rbuttondown}};
    if (e->button > 2) return EM_FALSE;
    queue(ids[e->button][down], 0, at);
    return e->button == 1; // no autoscroll on the middle button
}

EM_BOOL on_wheel(int, const EmscriptenWheelEvent* e, void*) {
    // One notch (120) per step; the DOM's positive y is the wheel toward the user.
    const int notches = e->deltaY < 0 ? 1 : e->deltaY > 0 ? -1 : 0;
    if (notches) queue(wm_mousewheel, uint64_t(uint16_t(int16_t(notches * 120))) << 16);
    return EM_TRUE;
}

EM_BOOL on_focus(int type, const EmscriptenFocusEvent*, void*) {
    queue(wm_activate, type == EMSCRIPTEN_EVENT_FOCUS ? 1 : 0);
    return EM_FALSE;
}

EM_BOOL on_visibility(int, const EmscriptenVisibilityChangeEvent* e, void*) {
    // A hidden page is a minimised window: no frames until it is back.
    queue(wm_activate, e->hidden ? 0 | (1u << 16) : 1);
    return EM_FALSE;
}

void listen() {
    static bool listening = false;
    if (listening) return;
    listening = true;
    const char* doc = EMSCRIPTEN_EVENT_TARGET_DOCUMENT;
    emscripten_set_keydown_callback(doc, nullptr, EM_TRUE, on_key);
    emscripten_set_keyup_callback(doc, nullptr, EM_TRUE, on_key);
    emscripten_set_mousemove_callback(canvas_target, nullptr, EM_TRUE, on_mouse);
    emscripten_set_mousedown_callback(canvas_target, nullptr, EM_TRUE, on_mouse);
    emscripten_set_mouseup_callback(doc, nullptr, EM_TRUE, on_mouse);
    emscripten_set_wheel_callback(canvas_target, nullptr, EM_TRUE, on_wheel);
    emscripten_set_focus_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_TRUE, on_focus);
    emscripten_set_blur_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_TRUE, on_focus);
    emscripten_set_visibilitychange_callback(nullptr, EM_TRUE, on_visibility);
}

bool peek_message(message* out) {
    listen();
    if (web.queued.empty()) return false;
    *out = web.queued.front();
    web.queued.pop_front();
    return true;
}

void post_quit_message(int code) { queue(wm_quit, uint64_t(code)); }

// --- process ------------------------------------------------------------------

void enter_executable_folder(const char*) {} // the data package lies at the root of the file system

// The frame loop stops, the sound with it; the page says how the program
// ended once the clipboard has its text (or its box has been answered).
EM_JS(void, page_exit, (int code), {
    const q = window.quorlaxen || {};
    const dialog = document.getElementById('dialog');
    if (dialog) dialog.remove();
    Promise.resolve(q.clipboard).finally(() => { document.documentElement.dataset.exit = String(code); });
});

// Nothing of the program runs again: it waits for ever where it stands.
EM_ASYNC_JS(void, page_halt, (), { await new Promise(() => {}); });

void exit_process(int code) {
    emscripten_cancel_main_loop();
    native_sound::close();
    page_exit(code);
    page_halt();
    __builtin_unreachable();
}

platform make_web() {
    platform p = null_platform();
    p.perf_counter = perf_counter;
    p.perf_frequency = perf_frequency;
    p.cursor_pos = cursor_pos;
    p.message_box = message_box;
    p.set_clipboard_text = set_clipboard_text;
    p.enum_display_mode = enum_display_mode;
    p.change_display_mode = change_display_mode;
    p.restore_display_mode = restore_display_mode;
    p.show_cursor = show_cursor;
    p.init_windowing = init_windowing;
    p.create_window = create_window;
    p.create_gl_context = create_gl_context;
    p.make_gl_current = make_gl_current;
    p.delete_gl_context = delete_gl_context;
    p.release_device_context = release_device_context;
    p.destroy_window = destroy_window;
    p.close_windowing = close_windowing;
    p.swap_buffers = swap_buffers;
    p.disable_screen_saver = disable_screen_saver;
    p.set_window_title = set_window_title;
    p.peek_message = peek_message;
    p.post_quit_message = post_quit_message;
    native_sound::install(p);
    p.enter_executable_folder = enter_executable_folder;
    p.exit_process = exit_process;
    p.run_dialog = run_native_dialog;
    return p;
}

} // namespace

const platform& native_platform() {
    static const platform p = make_web();
    return p;
}

void web_set_page_state(const char* state) { page_set_state(state); }
void web_set_frames_running(bool running) { web.frames_running = running; }
void web_keep_drawing_buffer(bool keep) { web.keep_drawing_buffer = keep; }
void web_screen_size(int* width, int* height) { page_screen_size(width, height); }
bool web_query(const char* name, char* value, int size) { return page_query(name, value, size) != 0; }

} // namespace platform

// Called by the page when full screen ends: the browser took Escape for it.
extern "C" EMSCRIPTEN_KEEPALIVE void quorlaxen_left_fullscreen() {
    if (!platform::web.fullscreen) return;
    platform::web.fullscreen = false;
    platform::queue(platform::wm_keydown, platform::vk_escape);
    platform::queue(platform::wm_keyup, platform::vk_escape);
}
