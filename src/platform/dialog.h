// Modal dialogs built from a template of controls laid out in dialog units,
// driven by a dialog procedure that the caller writes. The procedure sees the
// dialog only through `dialog_handle`, so its logic runs against a fake in
// tests and against the system's own dialog in the show.
#pragma once

#include <cstdint>

namespace platform {

// Messages a dialog procedure receives (Windows numbering).
constexpr unsigned wm_initdialog = 0x0110;
constexpr unsigned wm_command = 0x0111; // low word of wparam: control id
// Control ids with a fixed role: the default button and the one that Escape
// and the close box press.
constexpr int id_ok_button = 1;
constexpr int id_cancel_button = 2;

enum class control_kind {
    push_button,
    default_push_button, // pressed by Enter unless another push button has the focus
    check_box,           // toggles itself when clicked
    combo_box,           // drop-down list, one line selected
    group_box,           // a labelled frame; takes no focus
};

enum control_style : unsigned {
    style_tab_stop = 1u << 0,  // reachable with Tab
    style_push_like = 1u << 1, // a check box drawn as a button that stays down
    style_flat = 1u << 2,      // a flat button face
};

// Positions and sizes in dialog units: x in quarters of the font's average
// character width, y in eighths of its height.
struct dialog_control {
    int id = -1;
    control_kind kind = control_kind::group_box;
    const char* text = "";
    int x = 0, y = 0, width = 0, height = 0;
    unsigned style = 0;
};

struct dialog_template {
    const char* caption = "";
    int point_size = 10;                      // of a proportional sans-serif face
    int width = 0, height = 0;                // client area, dialog units
    const dialog_control* controls = nullptr; // in Tab order
    int control_count = 0;
};

// What a dialog procedure can ask of the dialog it runs in. `self` is
// handed back to every entry.
struct dialog_handle {
    void* self = nullptr;
    bool (*is_checked)(void* self, int id);
    void (*set_checked)(void* self, int id, bool checked);
    // Appends a line to a combo box; returns its index.
    int (*add_line)(void* self, int id, const char* text);
    void (*set_selection)(void* self, int id, int index);
    // The selected line, -1 when none.
    int (*selection)(void* self, int id);
    // Size of the screen the dialog is shown on, 0 x 0 when unknown.
    void (*screen_size)(void* self, int* width, int* height);
    // Closes the dialog once the procedure returns; `result` becomes the
    // value run_dialog returns.
    void (*end_dialog)(void* self, intptr_t result);
};

// Returns non-zero when it handled the message.
using dialog_proc = intptr_t (*)(const dialog_handle& dialog, unsigned message, uint64_t wparam,
                                 int64_t lparam, void* user);

// run_dialog's result when no dialog can be shown (no display).
constexpr intptr_t dialog_unavailable = -1;

// Shows the dialog modally (an FLTK window built from the template on Linux,
// the dialog resource on Windows): the procedure gets
// wm_initdialog before the window appears, then wm_command for every
// button press, check-box toggle and selection change; Escape and the close
// box send wm_command with id_cancel_button. Returns the value handed to
// end_dialog, or dialog_unavailable when there is no display.
intptr_t run_native_dialog(const dialog_template& layout, dialog_proc proc, void* user);

// Tells the user, in the system's own terms, that run_native_dialog could not
// show the dialog and that the show goes on with `defaults` (a description
// of the settings used): a line on standard error where there is no display,
// a message box on Windows, where nobody reads standard error.
void report_dialog_skipped(const char* defaults);

} // namespace platform
