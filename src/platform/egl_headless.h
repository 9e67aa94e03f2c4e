// A GL context without any window system, through EGL: Mesa's surfaceless
// platform on a machine without a GPU, the device platform on a GPU server
// with no display. The "window" is a pbuffer of the window's size, so the
// show's final pass into the default framebuffer and a read-back of GL_BACK
// work as with a window. Linux only; linked by the capture program alone.
#pragma once

#include <string>

#include "platform/platform.h"

namespace platform {

// Opens an EGL display that needs no window system and makes an OpenGL
// compatibility-profile context on it (RGBA8, 24-bit depth). On success the
// window and context entries of `table` are pointed at it, `description`
// names the platform taken ("surfaceless", "device"), and true is returned;
// otherwise false with the reason in `error` and `table` untouched.
bool use_headless_egl(platform& table, std::string& description, std::string& error);

} // namespace platform
