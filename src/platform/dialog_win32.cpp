// Modal dialogs on Windows: the dialog manager shows the dialog resource
// linked into the executable (its controls, caption, font and styles are the
// resource's); the procedure sees it through a dialog_handle like anywhere
// else.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>

#include "platform/dialog.h"
#include "platform/platform.h"

namespace platform {
namespace {

// The resource the show's settings dialog is compiled into.
constexpr int dialog_resource = 101;

// Why the last DialogBoxParamA failed, for the box that says so.
DWORD dialog_error = 0;

struct win32_dialog {
    dialog_proc proc = nullptr;
    void* user = nullptr;
    dialog_handle handle;
};

HWND window_of(void* self) { return static_cast<HWND>(self); }

dialog_handle make_handle(HWND dialog) {
    dialog_handle h;
    h.self = dialog;
    h.is_checked = [](void* self, int id) { return IsDlgButtonChecked(window_of(self), id) == BST_CHECKED; };
    h.set_checked = [](void* self, int id, bool checked) {
        CheckDlgButton(window_of(self), id, checked ? BST_CHECKED : BST_UNCHECKED);
    };
    h.add_line = [](void* self, int id, const char* text) {
        const LRESULT index = SendDlgItemMessageA(window_of(self), id, CB_ADDSTRING, 0, LPARAM(text));
        return index < 0 ? -1 : int(index);
    };
    h.set_selection = [](void* self, int id, int index) {
        SendDlgItemMessageA(window_of(self), id, CB_SETCURSEL, WPARAM(index), 0);
    };
    h.selection = [](void* self, int id) {
        const LRESULT index = SendDlgItemMessageA(window_of(self), id, CB_GETCURSEL, 0, 0);
        return index == CB_ERR ? -1 : int(index);
    };
    h.screen_size = [](void*, int* width, int* height) {
        *width = GetSystemMetrics(SM_CXSCREEN);
        *height = GetSystemMetrics(SM_CYSCREEN);
    };
    h.end_dialog = [](void* self, intptr_t result) { EndDialog(window_of(self), result); };
    return h;
}

INT_PTR CALLBACK dialog_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_INITDIALOG) {
        auto* d = reinterpret_cast<win32_dialog*>(lparam);
        SetWindowLongPtrA(window, DWLP_USER, LONG_PTR(d));
        d->handle = make_handle(window);
        return d->proc(d->handle, wm_initdialog, uint64_t(wparam), 0, d->user);
    }
    auto* d = reinterpret_cast<win32_dialog*>(GetWindowLongPtrA(window, DWLP_USER));
    if (!d || message != WM_COMMAND) return FALSE;
    return d->proc(d->handle, wm_command, uint64_t(wparam), int64_t(lparam), d->user);
}

} // namespace

// The layout is the dialog resource's; the template says the same for the
// systems that build their dialogs from it.
intptr_t run_native_dialog(const dialog_template&, dialog_proc proc, void* user) {
    win32_dialog d;
    d.proc = proc;
    d.user = user;
    const INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(dialog_resource),
                                           nullptr, dialog_procedure, LPARAM(&d));
    if (result != -1) return intptr_t(result);
    dialog_error = GetLastError();
    return dialog_unavailable;
}

void report_dialog_skipped(const char* defaults) {
    char text[256];
    std::snprintf(text, sizeof text,
                  "The settings dialog could not be shown (Windows error %lu).\n"
                  "The show starts with its defaults: %s.",
                  static_cast<unsigned long>(dialog_error), defaults);
    sys().message_box(text, "Quorlaxen", mb_ok | mb_iconexclamation);
}

} // namespace platform
