// Modal dialogs from a dialog template, drawn with FLTK (the widgets) on X11
// (the display check). Layout follows the Windows dialog manager: positions
// in dialog units scaled by the font's average character size, the default
// button pressed by Enter, Tab through the tab-stop controls in template
// order, Escape and the close box pressing the cancel id.
#include "platform/dialog.h"

#include <FL/Enumerations.H>
#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/fl_draw.H>
#include <FL/x.H> // fl_open_display(Display*): open the display ourselves so a missing one is not fatal

#include <X11/Xlib.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace platform {
namespace {

// Notification code of a selection change, in the high word of wparam.
constexpr uint64_t cbn_selchange = 1;

class dialog_button : public Fl_Button {
  public:
    dialog_button(int x, int y, int w, int h, const char* label) : Fl_Button(x, y, w, h, label) {}
    bool is_default = false;
    bool is_push = false; // a push button (not a push-like check box)

    void draw() override {
        Fl_Button::draw();
        if (is_default) {
            // The default button's dark outline.
            fl_color(FL_BLACK);
            fl_rect(x(), y(), w(), h());
        }
    }
};

// A labelled frame; the label sits on the top edge over an erased gap.
class group_frame : public Fl_Widget {
  public:
    group_frame(int x, int y, int w, int h, const char* label) : Fl_Widget(x, y, w, h, label) {
        clear_visible_focus();
    }
    int handle(int) override { return 0; }

    void draw() override {
        fl_font(labelfont(), labelsize());
        const int half = fl_height() / 2;
        draw_box(FL_ENGRAVED_FRAME, x(), y() + half, w(), h() - half, FL_BACKGROUND_COLOR);
        const char* text = label();
        if (text && *text) {
            const int text_w = int(fl_width(text)) + 4;
            const int text_x = x() + fl_height() / 2 + 2;
            fl_color(FL_BACKGROUND_COLOR);
            fl_rectf(text_x, y(), text_w, fl_height());
            fl_color(labelcolor());
            fl_draw(text, text_x + 2, y() + fl_height() - fl_descent());
        }
    }
};

struct control_entry {
    int id;
    control_kind kind;
    Fl_Widget* widget;
};

struct fltk_dialog;

class dialog_window : public Fl_Double_Window {
  public:
    dialog_window(int w, int h, const char* title) : Fl_Double_Window(w, h, title) {}
    fltk_dialog* owner = nullptr;
    int handle(int event) override;
};

struct fltk_dialog {
    dialog_proc proc = nullptr;
    void* user = nullptr;
    dialog_handle handle;
    dialog_window* window = nullptr;
    std::vector<control_entry> controls;
    std::vector<std::string> texts; // labels must outlive the widgets
    bool ended = false;
    intptr_t result = 0;

    control_entry* find(int id) {
        for (control_entry& c : controls)
            if (c.id == id) return &c;
        return nullptr;
    }

    void send(unsigned message, uint64_t wparam) {
        if (ended) return;
        proc(handle, message, wparam, 0, user);
        if (ended && window) window->hide();
    }

    void press(int id) { send(wm_command, uint64_t(uint16_t(id))); }
};

int dialog_window::handle(int event) {
    if (event == FL_SHORTCUT && (Fl::event_key() == FL_Enter || Fl::event_key() == FL_KP_Enter)) {
        // A focused push button takes Enter; otherwise the default button.
        for (const control_entry& c : owner->controls) {
            auto* button = dynamic_cast<dialog_button*>(c.widget);
            if (button && button->is_push && Fl::focus() == button) {
                owner->press(c.id);
                return 1;
            }
        }
        for (const control_entry& c : owner->controls)
            if (c.kind == control_kind::default_push_button) {
                owner->press(c.id);
                return 1;
            }
    }
    return Fl_Double_Window::handle(event);
}

fltk_dialog* self_of(void* self) { return static_cast<fltk_dialog*>(self); }

// Menu texts treat '/', '\\', '&' and '_' specially; show them as typed.
std::string escape_menu_text(const char* text) {
    std::string out;
    for (const char* p = text; *p; ++p) {
        if (*p == '/' || *p == '\\' || *p == '_') out += '\\';
        if (*p == '&') out += '&';
        out += *p;
    }
    return out;
}

dialog_handle make_handle(fltk_dialog* d) {
    dialog_handle h;
    h.self = d;
    h.is_checked = [](void* self, int id) {
        control_entry* c = self_of(self)->find(id);
        return c && c->kind == control_kind::check_box && static_cast<Fl_Button*>(c->widget)->value() != 0;
    };
    h.set_checked = [](void* self, int id, bool checked) {
        control_entry* c = self_of(self)->find(id);
        if (c && c->kind == control_kind::check_box)
            static_cast<Fl_Button*>(c->widget)->value(checked ? 1 : 0);
    };
    h.add_line = [](void* self, int id, const char* text) {
        control_entry* c = self_of(self)->find(id);
        if (!c || c->kind != control_kind::combo_box) return -1;
        auto* choice = static_cast<Fl_Choice*>(c->widget);
        return choice->add(escape_menu_text(text).c_str(), 0, nullptr, nullptr, 0);
    };
    h.set_selection = [](void* self, int id, int index) {
        control_entry* c = self_of(self)->find(id);
        if (!c || c->kind != control_kind::combo_box) return;
        auto* choice = static_cast<Fl_Choice*>(c->widget);
        if (index >= 0 && index < choice->size() - 1) choice->value(index);
    };
    h.selection = [](void* self, int id) {
        control_entry* c = self_of(self)->find(id);
        if (!c || c->kind != control_kind::combo_box) return -1;
        return static_cast<Fl_Choice*>(c->widget)->value();
    };
    h.screen_size = [](void*, int* width, int* height) {
        int x = 0, y = 0;
        Fl::screen_xywh(x, y, *width, *height);
    };
    h.end_dialog = [](void* self, intptr_t result) {
        self_of(self)->ended = true;
        self_of(self)->result = result;
    };
    return h;
}

// Dialog base units of the face at `pixels`: the average width of the Latin
// letters and the line height, as the Windows dialog manager measures them.
void base_units(int pixels, int* unit_x, int* unit_y) {
    fl_font(FL_HELVETICA, pixels);
    const double letters = fl_width("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    *unit_x = (int(letters) / 26 + 1) / 2;
    *unit_y = fl_height();
}

} // namespace

void report_dialog_skipped(const char* defaults) {
    // Someone on a Wayland-only session should know why no dialog came up.
    std::fprintf(stderr, "settings dialog skipped (no X11 display); using its defaults: %s\n", defaults);
}

intptr_t run_native_dialog(const dialog_template& layout, dialog_proc proc, void* user) {
    if (!fl_display) {
        Display* display = XOpenDisplay(nullptr);
        if (!display) return dialog_unavailable;
        fl_open_display(display);
    }

    const int pixels = (layout.point_size * 96 + 36) / 72; // points at 96 dots per inch
    int unit_x = 0, unit_y = 0;
    base_units(pixels, &unit_x, &unit_y);
    auto px_x = [&](int du) { return (du * unit_x + 2) / 4; };
    auto px_y = [&](int du) { return (du * unit_y + 4) / 8; };

    fltk_dialog d;
    d.proc = proc;
    d.user = user;
    d.handle = make_handle(&d);
    d.texts.reserve(size_t(layout.control_count) + 1);
    d.texts.emplace_back(layout.caption);

    const int win_w = px_x(layout.width), win_h = px_y(layout.height);
    auto* window = new dialog_window(win_w, win_h, d.texts[0].c_str());
    window->owner = &d;
    d.window = window;
    window->size_range(win_w, win_h, win_w, win_h);
    window->callback([](Fl_Widget*, void* data) { static_cast<fltk_dialog*>(data)->press(id_cancel_button); },
                     &d);

    for (int i = 0; i < layout.control_count; ++i) {
        const dialog_control& c = layout.controls[i];
        d.texts.emplace_back(c.text ? c.text : "");
        const char* text = d.texts.back().c_str();
        const int x = px_x(c.x), y = px_y(c.y), w = px_x(c.width), h = px_y(c.height);
        Fl_Widget* widget = nullptr;
        switch (c.kind) {
        case control_kind::push_button:
        case control_kind::default_push_button:
        case control_kind::check_box: {
            Fl_Button* button = nullptr;
            if (c.kind == control_kind::check_box && !(c.style & style_push_like)) {
                // A plain check box: a tick mark beside its text.
                button = new Fl_Check_Button(x, y, w, h, text);
            } else {
                auto* face = new dialog_button(x, y, w, h, text);
                face->is_default = c.kind == control_kind::default_push_button;
                face->is_push = c.kind != control_kind::check_box;
                if (c.kind == control_kind::check_box) face->type(FL_TOGGLE_BUTTON);
                const bool flat = c.style & style_flat;
                face->box(flat ? FL_THIN_UP_BOX : FL_UP_BOX);
                face->down_box(flat ? FL_THIN_DOWN_BOX : FL_DOWN_BOX);
                if (c.kind == control_kind::check_box) face->selection_color(fl_darker(FL_BACKGROUND_COLOR));
                button = face;
            }
            button->callback(
                [](Fl_Widget* wgt, void* data) {
                    auto* dialog = static_cast<fltk_dialog*>(data);
                    for (const control_entry& e : dialog->controls)
                        if (e.widget == wgt) dialog->press(e.id);
                },
                &d);
            widget = button;
            break;
        }
        case control_kind::combo_box: {
            // The template's height is that of the opened list; the closed
            // box is one line high.
            auto* choice = new Fl_Choice(x, y, w, unit_y + 8);
            choice->down_box(FL_BORDER_BOX);
            choice->textsize(pixels);
            choice->callback(
                [](Fl_Widget* wgt, void* data) {
                    auto* dialog = static_cast<fltk_dialog*>(data);
                    for (const control_entry& e : dialog->controls)
                        if (e.widget == wgt)
                            dialog->send(wm_command, uint64_t(uint16_t(e.id)) | cbn_selchange << 16);
                },
                &d);
            widget = choice;
            break;
        }
        case control_kind::group_box: {
            widget = new group_frame(x, y, w, h, text);
            // Frames go under the controls and out of the Tab order's way.
            window->insert(*widget, 0);
            break;
        }
        }
        widget->labelfont(FL_HELVETICA);
        widget->labelsize(pixels);
        if (!(c.style & style_tab_stop)) widget->clear_visible_focus();
        d.controls.push_back({c.id, c.kind, widget});
    }
    window->end();
    window->set_modal();

    d.send(wm_initdialog, 0);
    if (!d.ended) {
        // Centred on the pointer, kept inside the screen under it.
        int mouse_x = 0, mouse_y = 0, sx = 0, sy = 0, sw = 0, sh = 0;
        Fl::get_mouse(mouse_x, mouse_y);
        Fl::screen_work_area(sx, sy, sw, sh, mouse_x, mouse_y);
        int left = mouse_x - win_w / 2, top = mouse_y - win_h / 2;
        left = std::max(sx, std::min(left, sx + sw - win_w));
        top = std::max(sy, std::min(top, sy + sh - win_h));
        window->position(left, top);
        window->show();
        // Take the keyboard as a freshly opened dialog does; without a window
        // manager nothing else would hand it over.
        window->wait_for_expose();
        XSetInputFocus(fl_display, fl_xid(window), RevertToParent, CurrentTime);
        while (!d.ended && window->shown())
            Fl::wait();
    }
    window->hide();
    delete window;
    Fl::flush();
    return d.result;
}

} // namespace platform
