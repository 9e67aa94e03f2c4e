// The settings dialog shown before the window opens: the list of display
// modes that suit the show, and the dialog procedure that offers them with
// "Antialiased", "Windowed" and "Force 16:9" and writes the choices.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/dialog.h"
#include "resources/show_context.h"

namespace shell {

struct display_mode {
    int width = 0; // pixels
    int height = 0;
};

// Control ids of the dialog.
constexpr int id_antialiased = 1011;
constexpr int id_windowed = 1012;
constexpr int id_force_16_9 = 1013;
constexpr int id_resolution = 1014;

// Landscape, at most 2047 pixels a side, and neither side more than 1.8
// times the other.
bool mode_suits_show(int width, int height);

// Replaces `modes` by the display's modes that suit the show, each size once,
// in the order the display lists them (depth and refresh are ignored).
// Reads platform::sys().enum_display_mode until it reports no further mode.
void enumerate_display_modes(std::vector<display_mode>& modes);

// The combo-box line of a mode: " W x H  (16:10)", " W x H  (16:9)" or
// " W x H       ", by the ratio within 0.01.
std::string mode_line(const display_mode& mode);

// The line selected when the dialog opens: 1280 x 720, else 1024 x 768,
// else the first; -1 for an empty list.
int preselected_line(const std::vector<display_mode>& lines);

// View height under "Force 16:9": width / 1.7777777777777777 rounded to a
// float, then truncated.
int forced_view_height(int width);

// The dialog's state while it runs: the lines it offers and where the
// choices go. `modes` is the enumerated list; when it is empty the dialog
// offers the size of the screen it is shown on.
struct settings_dialog_session {
    const std::vector<display_mode>* modes = nullptr;
    show_settings* choices = nullptr;
    std::vector<display_mode> lines; // filled by wm_initdialog
};

// The dialog procedure; `user` is a settings_dialog_session.
// wm_initdialog ticks "Antialiased" and "Force 16:9", fills and preselects
// the resolution list and returns 0. "Run ..." (id_ok_button) writes the
// choices and ends the dialog; with no line selected it does nothing and the
// dialog stays. "Quit" (id_cancel_button, also Escape and the close box)
// ends the dialog and the process with exit code 0.
intptr_t settings_dialog_proc(const platform::dialog_handle& dialog, unsigned message, uint64_t wparam,
                              int64_t lparam, void* user);

// The dialog's layout (caption, controls, dialog units).
const platform::dialog_template& settings_dialog_template();

// Shows the dialog through platform::sys().run_dialog and writes the choices
// into `settings`. Where no dialog can be shown (no display) the preselected
// choices are taken as if "Run ..." had been pressed at once.
void run_settings_dialog(const std::vector<display_mode>& modes, show_settings& settings);

} // namespace shell
