// The native platform on Windows: the window class and window, the pixel
// format and WGL context, the message queue through the window procedure,
// message boxes, the clipboard, the performance counter, the cursor, display
// modes and the process, made with the Win32 calls themselves. Sound is the
// same stand-in as elsewhere (native_sound).
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>

#include "platform/messages.h"
#include "platform/native_sound.h"
#include "platform/platform.h"

namespace platform {
namespace {

constexpr const char* window_class_name = "OpenGL";

struct win32_state {
    HINSTANCE instance = nullptr;
    bool class_registered = false;
    HWND window = nullptr;
    HDC device_context = nullptr;
    HGLRC context = nullptr;
    bool display_switched = false;
    int min_width = 0, min_height = 0; // client size a resizable window keeps
    std::deque<message> queued;        // from the window procedure, in arrival order
};
win32_state win;

void queue(unsigned id, uint64_t wparam, int64_t lparam) { win.queued.push_back({id, wparam, lparam}); }

// --- timer, cursor ---
int64_t perf_counter() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return int64_t(now.QuadPart);
}

int64_t perf_frequency() {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return int64_t(frequency.QuadPart);
}

void cursor_pos(int* x, int* y) {
    POINT p{};
    GetCursorPos(&p);
    *x = int(p.x);
    *y = int(p.y);
}

std::wstring wide(const char* utf8) {
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, nullptr, 0);
    if (length <= 0) return {};
    std::wstring out(size_t(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, out.data(), length);
    out.pop_back(); // the terminator
    return out;
}

std::string utf8(const std::wstring& text) {
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return {};
    std::string out(size_t(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), length, nullptr, nullptr);
    out.pop_back();
    return out;
}

bool plain_ascii(const char* text) {
    for (; *text; ++text)
        if (static_cast<unsigned char>(*text) > 0x7F) return false;
    return true;
}

// --- message boxes: no owner window ---
// Texts are UTF-8 as on every system; the show's own (plain ASCII) go
// through MessageBoxA, a folder name in any script through MessageBoxW.
int message_box(const char* text, const char* caption, unsigned style) {
    std::fprintf(stderr, "%s: %s\n", caption, text);
    std::fflush(stderr);
    const std::wstring wide_text = plain_ascii(text) ? std::wstring() : wide(text);
    const int answer = wide_text.empty()
                           ? MessageBoxA(nullptr, text, caption, style)
                           : MessageBoxW(nullptr, wide_text.c_str(), wide(caption).c_str(), style);
    if (answer != 0) return answer;
    // No box could be shown: go on as if the safe answer was given.
    return (style & 0xF) == mb_yesno ? id_no : id_ok;
}

// --- clipboard: the system keeps the text after the process has gone ---
bool put_on_clipboard(const std::string& text) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    if (!memory) return false;
    if (char* bytes = static_cast<char*>(GlobalLock(memory))) {
        memcpy(bytes, text.c_str(), text.size() + 1);
        GlobalUnlock(memory);
    } else {
        GlobalFree(memory);
        return false;
    }
    if (!OpenClipboard(win.window)) {
        GlobalFree(memory);
        return false;
    }
    EmptyClipboard();
    // Once set, the memory belongs to the system.
    const bool ok = SetClipboardData(CF_TEXT, memory) != nullptr;
    if (!ok) GlobalFree(memory);
    CloseClipboard();
    return ok;
}

// A windowed program has no standard output anyone sees: the text that the
// clipboard would not take is shown in a box, where it can be read (and
// copied with Ctrl+C, as any message box's text).
bool set_clipboard_text(const std::string& text) {
    if (put_on_clipboard(text)) return true;
    show_message_box(messages::capture_text, text.c_str());
    return false;
}

// --- display modes ---
bool enum_display_mode(int index, display_mode_info* out) {
    DEVMODEA mode{};
    mode.dmSize = sizeof mode;
    if (index < 0 || !EnumDisplaySettingsA(nullptr, DWORD(index), &mode)) return false;
    out->width = int(mode.dmPelsWidth);
    out->height = int(mode.dmPelsHeight);
    out->bits = int(mode.dmBitsPerPel);
    out->refresh = int(mode.dmDisplayFrequency);
    return true;
}

bool change_display_mode(int width, int height, int bits) {
    DEVMODEA mode{};
    mode.dmSize = sizeof mode;
    mode.dmPelsWidth = DWORD(width);
    mode.dmPelsHeight = DWORD(height);
    mode.dmBitsPerPel = DWORD(bits);
    mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
    win.display_switched = ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN) == DISP_CHANGE_SUCCESSFUL;
    return win.display_switched;
}

void restore_display_mode() {
    if (!win.display_switched) return;
    ChangeDisplaySettingsA(nullptr, 0);
    win.display_switched = false;
}

void show_cursor(bool show) { ShowCursor(show ? TRUE : FALSE); }

// --- the window procedure: messages go to the queue peek_message reads ---
LRESULT CALLBACK window_procedure(HWND window, UINT id, WPARAM wparam, LPARAM lparam) {
    switch (id) {
    case WM_ACTIVATE:
    case WM_SIZE:
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
    case WM_MOUSEWHEEL:
        queue(id, uint64_t(wparam), int64_t(lparam));
        return 0;
    case WM_CLOSE:
        // The show posts its own quit; the window stays until it is released.
        queue(id, uint64_t(wparam), int64_t(lparam));
        return 0;
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
        // The show handles Alt+F4 itself; the system's handling of Alt would
        // enter the menu loop and stop the frames.
        queue(id, uint64_t(wparam), int64_t(lparam));
        return 0;
    case WM_SYSCOMMAND:
        queue(id, uint64_t(wparam), int64_t(lparam));
        // Screen saver and monitor power-saving stay off while the show runs.
        if ((wparam & 0xFFF0) == SC_SCREENSAVE || (wparam & 0xFFF0) == SC_MONITORPOWER) return 0;
        break;
    case WM_GETMINMAXINFO:
        if (win.min_width > 0) {
            RECT r{0, 0, win.min_width, win.min_height};
            AdjustWindowRectEx(&r, DWORD(GetWindowLongPtrA(window, GWL_STYLE)), FALSE,
                               DWORD(GetWindowLongPtrA(window, GWL_EXSTYLE)));
            auto* info = reinterpret_cast<MINMAXINFO*>(lparam);
            info->ptMinTrackSize.x = r.right - r.left;
            info->ptMinTrackSize.y = r.bottom - r.top;
            return 0;
        }
        break;
    default:
        break;
    }
    return DefWindowProcA(window, id, wparam, lparam);
}

// --- window and context ---
// The window class stands for the windowing system: registered once.
bool init_windowing() {
    if (win.class_registered) return true;
    win.instance = GetModuleHandleA(nullptr);
    WNDCLASSA window_class{};
    window_class.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC;
    window_class.lpfnWndProc = window_procedure;
    window_class.hInstance = win.instance;
    window_class.hIcon = LoadIconA(nullptr, MAKEINTRESOURCEA(32517));     // IDI_WINLOGO
    window_class.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)); // IDC_ARROW
    window_class.lpszClassName = window_class_name;
    win.class_registered = RegisterClassA(&window_class) != 0;
    return win.class_registered;
}

// A step that fails leaves what the steps before it made: the shell
// releases it, in the order it releases a whole window.
window_failure create_window(const window_request& request) {
    if (!init_windowing()) return window_failure::window;
    // A window has a caption and a system menu, no sizing border and no
    // minimise or maximise box unless it may be resized; full screen is a
    // bare popup.
    DWORD style = request.fullscreen ? WS_POPUP : WS_CAPTION | WS_SYSMENU;
    if (!request.fullscreen && request.resizable) style |= WS_THICKFRAME | WS_MAXIMIZEBOX | WS_MINIMIZEBOX;
    const DWORD ex_style = WS_EX_APPWINDOW;
    RECT r{0, 0, request.width, request.height};
    AdjustWindowRectEx(&r, style, FALSE, ex_style);
    win.window = CreateWindowExA(ex_style, window_class_name, request.title,
                                 style | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, request.x, request.y,
                                 r.right - r.left, r.bottom - r.top, nullptr, nullptr, win.instance, nullptr);
    if (!win.window) return window_failure::window;
    if (request.resizable) win.min_width = request.width, win.min_height = request.height;
    // AdjustWindowRectEx reckons with the system's scale; on a monitor scaled
    // otherwise the frame differs, and the client area is set right here.
    RECT client{};
    if (!request.fullscreen && GetClientRect(win.window, &client) &&
        (client.right != request.width || client.bottom != request.height))
        SetWindowPos(win.window, nullptr, 0, 0, r.right - r.left + request.width - client.right,
                     r.bottom - r.top + request.height - client.bottom,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    win.device_context = GetDC(win.window);
    if (!win.device_context) return window_failure::device_context;
    PIXELFORMATDESCRIPTOR wanted{};
    wanted.nSize = sizeof wanted;
    wanted.nVersion = 1;
    wanted.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    wanted.iPixelType = PFD_TYPE_RGBA;
    wanted.cColorBits = 32;
    wanted.cAlphaBits = 1;
    wanted.cDepthBits = 24;
    wanted.iLayerType = PFD_MAIN_PLANE;
    const int format = ChoosePixelFormat(win.device_context, &wanted);
    if (format == 0) return window_failure::pixel_format;
    if (!SetPixelFormat(win.device_context, format, &wanted)) return window_failure::set_pixel_format;

    ShowWindow(win.window, SW_SHOW);
    SetForegroundWindow(win.window);
    SetFocus(win.window);
    return window_failure::none;
}

bool create_gl_context() {
    if (!win.device_context) return false;
    win.context = wglCreateContext(win.device_context);
    return win.context != nullptr;
}

bool make_gl_current(bool current) {
    if (!current) return wglMakeCurrent(nullptr, nullptr) != FALSE;
    return win.device_context && win.context && wglMakeCurrent(win.device_context, win.context) != FALSE;
}

bool delete_gl_context() {
    const bool ok = !win.context || wglDeleteContext(win.context) != FALSE;
    win.context = nullptr;
    return ok;
}

bool release_device_context() {
    const bool ok = !win.device_context || ReleaseDC(win.window, win.device_context) != 0;
    win.device_context = nullptr;
    return ok;
}

bool destroy_window() {
    const bool ok = !win.window || DestroyWindow(win.window) != FALSE;
    win.window = nullptr;
    win.min_width = win.min_height = 0;
    return ok;
}

bool close_windowing() {
    if (!win.class_registered) return true;
    win.class_registered = false;
    return UnregisterClassA(window_class_name, win.instance) != FALSE;
}

void swap_buffers() {
    if (win.device_context) SwapBuffers(win.device_context);
}

// The window procedure keeps the screen saver away (WM_SYSCOMMAND).
void disable_screen_saver() {}

void set_window_title(const char* title) {
    if (!win.window) return;
    const int length = MultiByteToWideChar(CP_UTF8, 0, title, -1, nullptr, 0);
    if (length <= 0) return;
    std::wstring wide(size_t(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, title, -1, wide.data(), length);
    SetWindowTextW(win.window, wide.c_str());
}

// --- messages ---
bool peek_message(message* out) {
    MSG m;
    while (win.queued.empty() && PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
        if (m.message == WM_QUIT) {
            queue(wm_quit, uint64_t(m.wParam), 0);
            break;
        }
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    if (win.queued.empty()) return false;
    *out = win.queued.front();
    win.queued.pop_front();
    return true;
}

void post_quit_message(int code) { PostQuitMessage(code); }

// --- process ---
// The wide calls: the ANSI ones cannot name a folder outside the system's
// code page (a user's name in another script, say).
void enter_executable_folder(const char*) {
    std::wstring path(MAX_PATH, L'\0');
    DWORD length = 0;
    // Long paths (\\?\...) can exceed MAX_PATH: grow until the name fits.
    while ((length = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()))) == path.size() &&
           path.size() < 32768)
        path.resize(path.size() * 2);
    path.resize(length < path.size() ? length : 0);
    const size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) {
        show_message_box(messages::no_own_folder);
        return;
    }
    path.erase(slash + 1);
    if (!SetCurrentDirectoryW(path.c_str()))
        show_message_box(messages::cannot_enter_folder, utf8(path).c_str());
}

[[noreturn]] void exit_process(int code) {
    native_sound::close();
    restore_display_mode(); // every road out gives the display back
    std::fflush(nullptr);
    std::exit(code);
}

} // namespace

#include "platform/native_table.inc"

} // namespace platform
