// Every message box the show raises, in one table: its text, caption and
// style, kept verbatim. Where `text` is null the box shows the name or text
// it is given.
#pragma once

#include "platform/platform.h"

namespace platform {

struct show_message {
    const char* text; // null: the file name is the text
    const char* caption;
    unsigned style;
};

namespace messages {

constexpr unsigned error = mb_ok | mb_iconexclamation;
constexpr unsigned notice = mb_ok | mb_iconinformation;

// Opening the window.
constexpr show_message register_class = {"Failed To Register The Window Class.", "ERROR", error};
constexpr show_message fullscreen_fallback = {
    "The Requested Fullscreen Mode Is Not Supported By\nYour Video Card. Use Windowed Mode Instead?",
    "KVT GL ;-)", mb_yesno | mb_iconexclamation};
constexpr show_message will_close = {"Program Will Now Close.", "ERROR", mb_ok | mb_iconstop};
constexpr show_message window_creation = {"Window Creation Error.", "ERROR", error};
constexpr show_message device_context = {"Can't Create A GL Device Context.", "ERROR", error};
constexpr show_message find_pixel_format = {"Can't Find A Suitable PixelFormat (1).", "ERROR", error};
constexpr show_message set_pixel_format = {"Can't Set The PixelFormat(2).", "ERROR", error};
constexpr show_message rendering_context = {"Can't Create A GL Rendering Context.", "ERROR", error};
constexpr show_message activate_context = {"Can't Activate The GL Rendering Context.", "ERROR", error};

// Releasing it.
constexpr show_message release_dc_rc = {"Release Of DC And RC Failed.", "SHUTDOWN ERROR", notice};
constexpr show_message release_rc = {"Release Rendering Context Failed.", "SHUTDOWN ERROR", notice};
constexpr show_message release_device_context = {"Release Device Context Failed.", "SHUTDOWN ERROR", notice};
constexpr show_message release_window = {"Could Not Release hWnd.", "SHUTDOWN ERROR", notice};
constexpr show_message unregister_class = {"Could Not Unregister Class.", "SHUTDOWN ERROR", notice};

// Sound.
constexpr show_message sound_system = {"Problem initializing FMod. \nProgram will now exit.", "Quorlaxen  ",
                                       notice};
constexpr show_message no_sound_file = {"Problem initializing FMod. \nNo sound file.", "Quorlaxen  ", notice};

// Data files, with the file's name as the text.
constexpr show_message missing_file = {nullptr, "  = Tarnwhisk. KVT 2007 = - File is missing !", notice};
constexpr show_message missing_image = {nullptr, "Jpg", notice};
constexpr show_message broken_image = {nullptr, "Jpg !", notice};

// A driver without OpenGL 2.1 and framebuffer objects; the text goes on
// with the version the driver offers.
constexpr const char* old_opengl_text =
    "The show needs OpenGL 2.1 with framebuffer objects; this graphics driver offers OpenGL ";
constexpr show_message old_opengl = {nullptr, "ERROR", error};

// Windows only, where nobody reads standard error: the program's own folder
// (whose data folders it reads) and the capture text the clipboard would
// not take.
constexpr show_message no_own_folder = {
    "Cannot find the program's own folder; reading data from the current one.", "Quorlaxen", error};
constexpr show_message cannot_enter_folder = {nullptr, "Quorlaxen - cannot enter the program's folder",
                                              error};
constexpr show_message capture_text = {nullptr, "Quorlaxen - the clipboard would not take this text", notice};

} // namespace messages

// Shows `m` (with `file_name` as the text where the message names a file)
// and returns the answer.
inline int show_message_box(const show_message& m, const char* file_name = nullptr) {
    return sys().message_box(m.text ? m.text : file_name, m.caption, m.style);
}

} // namespace platform
