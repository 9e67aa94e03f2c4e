// The operating-system surface of the show: window and GL context, messages,
// message boxes, clipboard, timer, cursor, display modes, sound and process
// exit. This folder is the only one that includes SDL, FLTK, mpg123 or FFTW.
//
// Everything is reached through one table of function pointers, `sys()`, so
// tests and the headless capture can swap single entries (a scripted clock, a
// recorded message box, an exit that throws) without touching the callers.
#pragma once

#include <cstdint>
#include <string>

#include "platform/dialog.h"

namespace platform {

// Window messages, numbered as the Windows messages the show's window
// procedure was written against.
enum message_id : unsigned {
    wm_null = 0x0000,
    wm_size = 0x0005,
    wm_activate = 0x0006,
    wm_close = 0x0010,
    wm_quit = 0x0012,
    wm_keydown = 0x0100,
    wm_keyup = 0x0101,
    wm_syskeydown = 0x0104,
    wm_syskeyup = 0x0105,
    wm_syscommand = 0x0112,
    wm_mousemove = 0x0200,
    wm_lbuttondown = 0x0201,
    wm_lbuttonup = 0x0202,
    wm_rbuttondown = 0x0204,
    wm_rbuttonup = 0x0205,
    wm_mbuttondown = 0x0207,
    wm_mbuttonup = 0x0208,
    wm_mousewheel = 0x020A,
};

// WM_SYSCOMMAND values the window procedure swallows.
constexpr uint64_t sc_screensave = 0xF140;
constexpr uint64_t sc_monitorpower = 0xF170;

// Virtual-key codes (the subset the show and its tests use; letters and
// digits are their upper-case ASCII codes).
enum virtual_key : unsigned {
    vk_return = 0x0D,
    vk_escape = 0x1B,
    vk_space = 0x20,
    vk_left = 0x25,
    vk_up = 0x26,
    vk_right = 0x27,
    vk_down = 0x28,
    vk_f1 = 0x70,
    vk_f4 = 0x73,
};

// One translated event. wparam/lparam follow the Windows packing: for
// wm_size lparam = width | height << 16; for wm_activate the high word of
// wparam is non-zero when minimised; for wm_mousewheel the high word of
// wparam is the signed delta in units of 120.
struct message {
    unsigned id = wm_null;
    uint64_t wparam = 0;
    int64_t lparam = 0;
};

// Message-box style bits and answers (Windows values).
enum box_style : unsigned {
    mb_ok = 0x0,
    mb_yesno = 0x4,
    mb_iconstop = 0x10,
    mb_iconexclamation = 0x30,
    mb_iconinformation = 0x40,
};
enum box_answer : int { id_ok = 1, id_yes = 6, id_no = 7 };

struct display_mode_info {
    int width = 0;
    int height = 0;
    int bits = 0;
    int refresh = 0;
};

// The window-opening step that failed, in the order the steps run; none
// when the window is open.
enum class window_failure {
    none,
    window,           // the window itself could not be made
    device_context,   // the display offers no OpenGL
    pixel_format,     // no visual with the colour, depth and double buffer asked for
    set_pixel_format, // the format was found but the window would not take it
};

struct window_request {
    const char* title = "";
    int x = 0, y = 0;          // top-left of the client area, screen pixels
    int width = 0, height = 0; // client size
    bool fullscreen = false;
    // The user may enlarge it, never below width x height (frames are drawn
    // at that size).
    bool resizable = false;
};

struct platform {
    // --- timer (performance counter) ---
    int64_t (*perf_counter)();
    int64_t (*perf_frequency)();

    // --- cursor, in screen pixels ---
    void (*cursor_pos)(int* x, int* y);

    // --- message box: blocks until dismissed; also written to stderr ---
    int (*message_box)(const char* text, const char* caption, unsigned style);

    // --- clipboard: the text stays after the process exits ---
    // False when no clipboard tool took it; the text is then written to
    // standard output instead, with a line on standard error saying so.
    bool (*set_clipboard_text)(const std::string& text);

    // --- display modes ---
    // Mode `index` of the primary display; false past the last one.
    bool (*enum_display_mode)(int index, display_mode_info* out);
    // Switches the display to width x height for full screen; true only when
    // the display's mode afterwards is the one asked for. A refused switch
    // leaves the display as it was.
    bool (*change_display_mode)(int width, int height, int bits);
    void (*restore_display_mode)();
    void (*show_cursor)(bool show);

    // --- window and GL context (24-bit depth, double buffered, compatibility) ---
    // Connects to the windowing system; false when there is none to reach.
    bool (*init_windowing)();
    window_failure (*create_window)(const window_request& request);
    bool (*create_gl_context)();
    bool (*make_gl_current)(bool current);
    bool (*delete_gl_context)();
    // The release after the context, in this order, each on its own so each
    // failure has its own message: the window's device context (true where
    // the system has none), the window, then the windowing system of
    // init_windowing (the window class on Windows).
    bool (*release_device_context)();
    bool (*destroy_window)();
    bool (*close_windowing)();
    void (*swap_buffers)();
    void (*disable_screen_saver)();
    void (*set_window_title)(const char* title); // UTF-8

    // --- message queue ---
    // Takes the next translated message, if any, without waiting.
    bool (*peek_message)(message* out);
    // Queues wm_quit with `code` as its wparam.
    void (*post_quit_message)(int code);

    // --- sound: one whole decoded MP3 played on channel 0 ---
    bool (*sound_init)(int mix_rate, int channels);
    // Starts decoding the file on the sound system's own thread, so that a
    // later sound_load of the same name finds it decoded (or waits for the
    // rest). A sound_load that succeeds drops every other preloaded file.
    void (*sound_preload)(const char* file_name);
    // Decodes the whole file; 0 when it cannot be read.
    int (*sound_load)(const char* file_name);
    void (*sound_set_loop)(int sample, bool loop);
    void (*sound_enable_spectrum)(bool on);
    void (*sound_play)(int sample);
    void (*sound_set_position)(int channel, uint32_t sample_pos);
    // Holds the channel where it is, or lets it play on (also once it had
    // reached the sample's end and stopped).
    void (*sound_set_paused)(int channel, bool paused);
    uint32_t (*sound_position)(int channel);     // in samples of the channel
    int (*sound_frequency)(int channel);         // Hz
    uint32_t (*sound_sample_length)(int sample); // in samples
    const float* (*sound_spectrum)();            // 512 magnitudes, 0..1
    void (*sound_set_volume)(int volume);        // 0..255, all channels
    void (*sound_close)();

    // --- process ---
    // Makes the real executable's own folder (links resolved) the working directory.
    void (*enter_executable_folder)(const char* argv0);
#if defined(__clang__)
    // clang accepts noreturn only on functions, not on pointers to them (the
    // sanitizer fuzz build uses clang); the entry still never returns.
    void (*exit_process)(int code);
#else
    [[noreturn]] void (*exit_process)(int code);
#endif

    // --- modal dialog from a template (see dialog.h): run_native_dialog in the
    // native table, dialog_unavailable in the null one ---
    intptr_t (*run_dialog)(const dialog_template& layout, dialog_proc proc, void* user);
};

// The table in use. Starts as the SDL implementation.
platform& sys();

// The SDL/mpg123/FFTW implementation.
const platform& native_platform();

// Every entry harmless: no window, no dialog, silent sound at 44100 Hz, a
// counter that never moves, exits that call std::exit. A base for fakes and
// headless runs; nothing in it needs a window system.
const platform& null_platform();

} // namespace platform
