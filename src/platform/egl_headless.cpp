#include "platform/egl_headless.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace platform {
namespace {

// The API the show draws with: desktop OpenGL (compatibility profile, for
// the fixed-function pipeline and immediate mode), or OpenGL ES 3 under the
// es3 build's drawing layer.
#if defined(QUORLAXEN_GL_ES3)
constexpr EGLenum api = EGL_OPENGL_ES_API;
constexpr EGLint renderable = EGL_OPENGL_ES3_BIT;
constexpr const char* api_name = "OpenGL ES 3";
constexpr EGLint context_attributes[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 0,
                                         EGL_NONE};
#else
constexpr EGLenum api = EGL_OPENGL_API;
constexpr EGLint renderable = EGL_OPENGL_BIT;
constexpr const char* api_name = "OpenGL";
constexpr EGLint context_attributes[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                         EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
#endif

struct egl_state {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLConfig config = nullptr;
    EGLContext context = EGL_NO_CONTEXT;
    EGLSurface surface = EGL_NO_SURFACE;
};
egl_state egl;

bool has_word(const char* list, const char* word) {
    if (!list) return false;
    const size_t n = std::strlen(word);
    for (const char* at = std::strstr(list, word); at; at = std::strstr(at + 1, word))
        if ((at == list || at[-1] == ' ') && (at[n] == ' ' || at[n] == '\0')) return true;
    return false;
}

std::string egl_error() {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", unsigned(eglGetError()));
    return text;
}

// A GPU that EGL reaches without a window system: the first device that is
// not Mesa's software one (that one is served as well by the surfaceless
// platform, which every Mesa has).
EGLDisplay device_display(const char* client) {
    if (!has_word(client, "EGL_EXT_platform_device") || !has_word(client, "EGL_EXT_device_enumeration"))
        return EGL_NO_DISPLAY;
    auto query_devices = reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(eglGetProcAddress("eglQueryDevicesEXT"));
    auto device_string =
        reinterpret_cast<PFNEGLQUERYDEVICESTRINGEXTPROC>(eglGetProcAddress("eglQueryDeviceStringEXT"));
    auto platform_display =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!query_devices || !device_string || !platform_display) return EGL_NO_DISPLAY;
    EGLDeviceEXT devices[16];
    EGLint count = 0;
    if (!query_devices(16, devices, &count)) return EGL_NO_DISPLAY;
    for (EGLint i = 0; i < count; ++i) {
        if (has_word(device_string(devices[i], EGL_EXTENSIONS), "EGL_MESA_device_software")) continue;
        const EGLDisplay display = platform_display(EGL_PLATFORM_DEVICE_EXT, devices[i], nullptr);
        if (display != EGL_NO_DISPLAY && eglInitialize(display, nullptr, nullptr)) return display;
    }
    return EGL_NO_DISPLAY;
}

EGLDisplay surfaceless_display(const char* client) {
    if (!has_word(client, "EGL_MESA_platform_surfaceless")) return EGL_NO_DISPLAY;
    auto platform_display =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!platform_display) return EGL_NO_DISPLAY;
    const EGLDisplay display = platform_display(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    return display != EGL_NO_DISPLAY && eglInitialize(display, nullptr, nullptr) ? display : EGL_NO_DISPLAY;
}

// The pixel format the SDL window asks for: 8 bits a colour channel with
// alpha, 24-bit depth, no multisampling (the show multisamples in its own
// target). EGL sorts deeper colour first, so the exact sizes are picked by
// hand, the fewest stencil bits first.
bool pick_config(EGLDisplay display, EGLConfig& out) {
    const EGLint wanted[] = {EGL_SURFACE_TYPE,
                             EGL_PBUFFER_BIT,
                             EGL_RENDERABLE_TYPE,
                             renderable,
                             EGL_RED_SIZE,
                             8,
                             EGL_GREEN_SIZE,
                             8,
                             EGL_BLUE_SIZE,
                             8,
                             EGL_ALPHA_SIZE,
                             1,
                             EGL_DEPTH_SIZE,
                             24,
                             EGL_NONE};
    EGLint count = 0;
    if (!eglChooseConfig(display, wanted, nullptr, 0, &count) || count <= 0) return false;
    std::vector<EGLConfig> configs(static_cast<size_t>(count));
    eglChooseConfig(display, wanted, configs.data(), count, &count);
    EGLint best_stencil = 1 << 30;
    for (EGLint i = 0; i < count; ++i) {
        auto attribute = [&](EGLint name) {
            EGLint value = 0;
            eglGetConfigAttrib(display, configs[size_t(i)], name, &value);
            return value;
        };
        if (attribute(EGL_RED_SIZE) != 8 || attribute(EGL_GREEN_SIZE) != 8 || attribute(EGL_BLUE_SIZE) != 8 ||
            attribute(EGL_ALPHA_SIZE) != 8 || attribute(EGL_DEPTH_SIZE) != 24 || attribute(EGL_SAMPLES) != 0)
            continue;
        if (attribute(EGL_STENCIL_SIZE) < best_stencil) {
            best_stencil = attribute(EGL_STENCIL_SIZE);
            out = configs[size_t(i)];
        }
    }
    return best_stencil != 1 << 30;
}

void close_display() {
    if (egl.context != EGL_NO_CONTEXT) eglDestroyContext(egl.display, egl.context);
    if (egl.display != EGL_NO_DISPLAY) eglTerminate(egl.display);
    egl = egl_state{};
}

// --- the table's window and context entries ---
bool init_windowing() { return egl.display != EGL_NO_DISPLAY; }

window_failure create_window(const window_request& request) {
    if (egl.surface != EGL_NO_SURFACE) eglDestroySurface(egl.display, egl.surface);
    const EGLint size[] = {EGL_WIDTH, request.width, EGL_HEIGHT, request.height, EGL_NONE};
    egl.surface = eglCreatePbufferSurface(egl.display, egl.config, size);
    if (egl.surface != EGL_NO_SURFACE) return window_failure::none;
    std::fprintf(stderr, "EGL pbuffer %dx%d: error %s\n", request.width, request.height, egl_error().c_str());
    return window_failure::window;
}

bool create_gl_context() { return egl.context != EGL_NO_CONTEXT && egl.surface != EGL_NO_SURFACE; }

bool make_gl_current(bool current) {
    if (!current) return eglMakeCurrent(egl.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    return eglMakeCurrent(egl.display, egl.surface, egl.surface, egl.context);
}

bool delete_gl_context() {
    eglMakeCurrent(egl.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    return true; // the context lives on for a window made again
}

bool destroy_window() {
    if (egl.surface != EGL_NO_SURFACE) eglDestroySurface(egl.display, egl.surface);
    egl.surface = EGL_NO_SURFACE;
    return true;
}

} // namespace

bool use_headless_egl(platform& table, std::string& description, std::string& error) {
    // Without EGL_EXT_client_extensions this is null, and no platform
    // display can be asked for.
    const char* client = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (!client) return error = "EGL offers no platform displays (no client extensions)", false;
    egl.display = device_display(client);
    description = "device";
    if (egl.display == EGL_NO_DISPLAY) {
        egl.display = surfaceless_display(client);
        description = "surfaceless";
    }
    if (egl.display == EGL_NO_DISPLAY)
        return error = "EGL has neither a GPU device nor Mesa's surfaceless platform", false;
    if (!eglBindAPI(api)) {
        close_display();
        return error = std::string("EGL offers no ") + api_name, false;
    }
    if (!pick_config(egl.display, egl.config)) {
        close_display();
        return error = std::string("EGL offers no RGBA8 pbuffer with a 24-bit depth buffer for ") + api_name,
               false;
    }
    egl.context = eglCreateContext(egl.display, egl.config, EGL_NO_CONTEXT, context_attributes);
    if (egl.context == EGL_NO_CONTEXT) {
        error = std::string("EGL cannot make an ") + api_name +
                (api == EGL_OPENGL_API ? " compatibility" : "") + " context (error " + egl_error() + ")";
        close_display();
        return false;
    }
    const platform& quiet = null_platform();
    table.init_windowing = init_windowing;
    table.create_window = create_window;
    table.create_gl_context = create_gl_context;
    table.make_gl_current = make_gl_current;
    table.delete_gl_context = delete_gl_context;
    table.destroy_window = destroy_window;
    table.swap_buffers = quiet.swap_buffers; // a pbuffer is read back, never shown
    table.enum_display_mode = quiet.enum_display_mode;
    table.change_display_mode = quiet.change_display_mode;
    table.restore_display_mode = quiet.restore_display_mode;
    table.show_cursor = quiet.show_cursor;
    table.disable_screen_saver = quiet.disable_screen_saver;
    table.set_window_title = quiet.set_window_title;
    table.peek_message = quiet.peek_message;
    return true;
}

} // namespace platform
