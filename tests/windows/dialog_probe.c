/* dialog_probe CAPTION WIDTH HEIGHT [SECONDS]: waits for a top-level window
 * with that caption, whose client area is WIDTH x HEIGHT dialog units, and
 * prints what the dialog manager made of it: its styles, then each control
 * with its id, class, text, rectangle in dialog units and style bits, in the
 * dialog's order. Exit 1 when no such window appears. */
#define WIN32_LEAN_AND_MEAN
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

/* The dialog's client size in pixels and in dialog units (given): the
 * dialog manager's own conversion is not reachable from another process. */
static RECT client;
static int client_units_x, client_units_y;

static int to_units(int pixels, int client_pixels, int client_units) {
    return (pixels * client_units + client_pixels / 2) / client_pixels;
}

static BOOL CALLBACK print_control(HWND control, LPARAM dialog_lparam) {
    HWND dialog = (HWND)dialog_lparam;
    char class_name[64] = "", text[256] = "";
    RECT r;
    POINT top_left, bottom_right;
    if (GetParent(control) != dialog) return TRUE;
    GetClassNameA(control, class_name, sizeof class_name);
    GetWindowTextA(control, text, sizeof text);
    GetWindowRect(control, &r);
    top_left.x = r.left, top_left.y = r.top;
    bottom_right.x = r.right, bottom_right.y = r.bottom;
    ScreenToClient(dialog, &top_left);
    ScreenToClient(dialog, &bottom_right);
    printf("control %d %s \"%s\" %d %d %d %d style=0x%08lx\n", (int)(short)GetDlgCtrlID(control), class_name,
           text, to_units(top_left.x, client.right, client_units_x),
           to_units(top_left.y, client.bottom, client_units_y),
           to_units(bottom_right.x - top_left.x, client.right, client_units_x),
           to_units(bottom_right.y - top_left.y, client.bottom, client_units_y),
           (unsigned long)GetWindowLongA(control, GWL_STYLE));
    return TRUE;
}

int main(int argc, char** argv) {
    HWND dialog = NULL;
    double seconds = argc > 4 ? atof(argv[4]) : 60.0;
    char caption[256] = "";
    if (argc < 4) {
        fprintf(stderr, "usage: dialog_probe CAPTION WIDTH HEIGHT [SECONDS]\n");
        return 2;
    }
    client_units_x = atoi(argv[2]);
    client_units_y = atoi(argv[3]);
    for (int waited = 0; !dialog && waited < seconds * 10; ++waited) {
        dialog = FindWindowA(NULL, argv[1]);
        if (!dialog) Sleep(100);
    }
    if (!dialog) {
        fprintf(stderr, "dialog_probe: no window \"%s\"\n", argv[1]);
        return 1;
    }
    GetClientRect(dialog, &client);
    GetWindowTextA(dialog, caption, sizeof caption);
    printf("dialog \"%s\" style=0x%08lx exstyle=0x%08lx\n", caption,
           (unsigned long)GetWindowLongA(dialog, GWL_STYLE),
           (unsigned long)GetWindowLongA(dialog, GWL_EXSTYLE));
    EnumChildWindows(dialog, print_control, (LPARAM)dialog);
    fflush(stdout);
    return 0;
}
