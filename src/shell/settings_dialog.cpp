#include "shell/settings_dialog.h"

#include <cmath>
#include <cstdio>

#include "platform/platform.h"

namespace shell {
namespace {

constexpr double ratio_16_9 = 1.7777777777777777;
constexpr double ratio_16_10 = 1.6;

using platform::control_kind;
using platform::dialog_control;

constexpr unsigned tab = platform::style_tab_stop;
constexpr unsigned flat = platform::style_flat;
constexpr unsigned push_like = platform::style_push_like;

// The caption keeps its 22 leading spaces and its trailing one.
const dialog_control settings_controls[] = {
    {platform::id_ok_button, control_kind::default_push_button, "Run ... ", 17, 61, 109, 21, tab | flat},
    {platform::id_cancel_button, control_kind::push_button, "Quit", 135, 61, 24, 21, tab | flat},
    {id_antialiased, control_kind::check_box, "Antialiased", 18, 37, 42, 15, tab | push_like},
    {id_windowed, control_kind::check_box, "Windowed", 68, 37, 42, 15, tab | push_like},
    {id_force_16_9, control_kind::check_box, "Force 16:9", 117, 37, 42, 15, tab | push_like},
    {id_resolution, control_kind::combo_box, "", 16, 12, 144, 108, tab},
    {-1, control_kind::group_box, "Resolution", 2, 3, 174, 28, 0},
    {-1, control_kind::group_box, "", 2, 29, 174, 26, 0},
    {-1, control_kind::group_box, "", 2, 53, 174, 34, 0},
};

const platform::dialog_template settings_layout = {
    "                      Quorlaxen by KVT - 2009 ",
    10,
    179,
    88,
    settings_controls,
    int(sizeof settings_controls / sizeof settings_controls[0]),
};

void init_dialog(const platform::dialog_handle& dialog, settings_dialog_session& session) {
    dialog.set_checked(dialog.self, id_antialiased, true);
    dialog.set_checked(dialog.self, id_force_16_9, true);

    // Each dialog starts with an empty list, so the lines go in every time.
    session.lines.clear();
    if (session.modes) session.lines = *session.modes;
    if (session.lines.empty()) {
        // Nothing suitable was listed: the screen's own size always works.
        display_mode desktop;
        dialog.screen_size(dialog.self, &desktop.width, &desktop.height);
        if (desktop.width > 0 && desktop.height > 0) session.lines.push_back(desktop);
    }
    for (const display_mode& mode : session.lines)
        dialog.add_line(dialog.self, id_resolution, mode_line(mode).c_str());
    const int line = preselected_line(session.lines);
    if (line >= 0) dialog.set_selection(dialog.self, id_resolution, line);
}

bool run_pressed(const platform::dialog_handle& dialog, settings_dialog_session& session, uint64_t wparam) {
    const int line = dialog.selection(dialog.self, id_resolution);
    if (line < 0 || line >= int(session.lines.size())) return false; // nothing to run with
    const display_mode& mode = session.lines[size_t(line)];
    show_settings& out = *session.choices;
    out.antialiased = dialog.is_checked(dialog.self, id_antialiased);
    out.fullscreen = !dialog.is_checked(dialog.self, id_windowed);
    out.force_16_9 = dialog.is_checked(dialog.self, id_force_16_9);
    out.window_width = mode.width;
    out.window_height = mode.height;
    out.view_width = mode.width;
    out.view_height = out.force_16_9 ? forced_view_height(mode.width) : mode.height;
    dialog.end_dialog(dialog.self, intptr_t(wparam));
    return true;
}

// A dialog kept in memory, for running the procedure where nothing can be
// shown: check boxes and one list, no screen.
struct memory_dialog {
    bool checked[3] = {};
    int lines = 0;
    int selected = -1;
    bool ended = false;

    static memory_dialog& of(void* self) { return *static_cast<memory_dialog*>(self); }
    static bool* box(void* self, int id) {
        const int k = id - id_antialiased;
        return k >= 0 && k < 3 ? &of(self).checked[k] : nullptr;
    }

    platform::dialog_handle handle() {
        platform::dialog_handle h;
        h.self = this;
        h.is_checked = [](void* self, int id) { return box(self, id) && *box(self, id); };
        h.set_checked = [](void* self, int id, bool on) {
            if (box(self, id)) *box(self, id) = on;
        };
        h.add_line = [](void* self, int, const char*) { return of(self).lines++; };
        h.set_selection = [](void* self, int, int index) {
            if (index >= 0 && index < of(self).lines) of(self).selected = index;
        };
        h.selection = [](void* self, int) { return of(self).selected; };
        h.screen_size = [](void*, int* w, int* h) { *w = *h = 0; };
        h.end_dialog = [](void* self, intptr_t) { of(self).ended = true; };
        return h;
    }
};

} // namespace

bool mode_suits_show(int width, int height) {
    if (width <= 0 || height <= 0) return false;
    const double w = width, h = height;
    return w / h <= 1.8 && h / w <= 1.8 && width <= 2047 && height <= 2047 && height <= width;
}

void enumerate_display_modes(std::vector<display_mode>& modes) {
    modes.clear();
    platform::display_mode_info info;
    for (int i = 0; platform::sys().enum_display_mode(i, &info); ++i) {
        bool listed = false;
        for (const display_mode& m : modes)
            if (m.width == info.width && m.height == info.height) listed = true;
        if (!listed && mode_suits_show(info.width, info.height)) modes.push_back({info.width, info.height});
    }
}

std::string mode_line(const display_mode& mode) {
    const double r = double(mode.width) / double(mode.height);
    const char* format = " %d x %d       ";
    if (std::fabs(r - ratio_16_10) < 0.01)
        format = " %d x %d  (16:10)";
    else if (std::fabs(r - ratio_16_9) < 0.01)
        format = " %d x %d  (16:9)";
    char text[64];
    std::snprintf(text, sizeof text, format, mode.width, mode.height);
    return text;
}

int preselected_line(const std::vector<display_mode>& lines) {
    for (const display_mode wanted : {display_mode{1280, 720}, display_mode{1024, 768}})
        for (size_t i = 0; i < lines.size(); ++i)
            if (lines[i].width == wanted.width && lines[i].height == wanted.height) return int(i);
    return lines.empty() ? -1 : 0;
}

int forced_view_height(int width) { return int(float(width / ratio_16_9)); }

intptr_t settings_dialog_proc(const platform::dialog_handle& dialog, unsigned message, uint64_t wparam,
                              int64_t lparam, void* user) {
    auto& session = *static_cast<settings_dialog_session*>(user);
    if (message == platform::wm_initdialog) {
        init_dialog(dialog, session);
        return 0;
    }
    if (message != platform::wm_command) return 0;
    switch (int(wparam & 0xFFFF)) {
    case platform::id_ok_button:
        // Without a selected line there is nothing to open; the dialog stays.
        run_pressed(dialog, session, wparam);
        return 1;
    case platform::id_cancel_button:
        dialog.end_dialog(dialog.self, intptr_t(wparam));
        platform::sys().exit_process(0);
    default:
        return 0;
    }
}

const platform::dialog_template& settings_dialog_template() { return settings_layout; }

void run_settings_dialog(const std::vector<display_mode>& modes, show_settings& settings) {
    settings_dialog_session session;
    session.modes = &modes;
    session.choices = &settings;
    const intptr_t shown = platform::sys().run_dialog(settings_layout, settings_dialog_proc, &session);
    if (shown != platform::dialog_unavailable) return;

    memory_dialog headless;
    const platform::dialog_handle handle = headless.handle();
    settings_dialog_proc(handle, platform::wm_initdialog, 0, 0, &session);
    settings_dialog_proc(handle, platform::wm_command, platform::id_ok_button, 0, &session);
    char defaults[96];
    std::snprintf(defaults, sizeof defaults, "%d x %d, %s%s%s", settings.window_width, settings.window_height,
                  settings.fullscreen ? "full screen" : "windowed",
                  settings.antialiased ? ", antialiased" : "", settings.force_16_9 ? ", force 16:9" : "");
    platform::report_dialog_skipped(defaults);
}

} // namespace shell
