/* What Windows made of the show's windows, read from another process, in
 * physical pixels (the probe is DPI aware itself).
 *
 * dialog_probe dialog CAPTION FONT POINTS [SECONDS]: waits for the top-level
 * window with that caption and prints its styles and its client size in
 * dialog units, then each control with its id, class, text, rectangle in
 * dialog units, style bits, check state (0 where it has none) and the screen
 * pixel at its centre, in the dialog's order, then the combo box's selected
 * line. Dialog units are
 * reckoned from FONT at POINTS as the dialog manager reckons them, so a
 * dialog made with another font or size shows other sizes.
 *
 * dialog_probe window TITLE [SECONDS]: waits for the top-level window with
 * that title and prints its top-left corner, its client size and its dots
 * per inch.
 *
 * dialog_probe manifest EXE: reads the program's manifest as the loader
 * does (an activation context from resource 1) and prints the DPI settings
 * and the run level (1 as invoker) it gives.
 *
 * dialog_probe hold-clipboard SECONDS: keeps the clipboard open that long, so
 * that no other program can put anything on it; prints "held" once it has
 * it.
 *
 * Exit 1 when no such window appears. */
#define WIN32_LEAN_AND_MEAN
#define _WIN32_WINNT 0x0A00 /* the DPI calls of Windows 10 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

static int unit_x, unit_y; /* dialog base units of the font, pixels */

static int to_units(int pixels, int unit, int per_unit) { return (pixels * per_unit + unit / 2) / unit; }

/* The dialog manager's base units for a font: its height, and the average
 * width of the 52 letters, rounded (GdiGetCharDimensions). */
static void base_units(const char* face, int points) {
    HDC screen = GetDC(NULL);
    HFONT font = CreateFontA(-MulDiv(points, GetDeviceCaps(screen, LOGPIXELSY), 72), 0, 0, 0, FW_DONTCARE,
                             FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                             DEFAULT_QUALITY, DEFAULT_PITCH, face);
    HGDIOBJ old = SelectObject(screen, font);
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    TEXTMETRICA metrics;
    SIZE size;
    GetTextMetricsA(screen, &metrics);
    GetTextExtentPoint32A(screen, letters, 52, &size);
    unit_x = (size.cx / 26 + 1) / 2;
    unit_y = metrics.tmHeight;
    SelectObject(screen, old);
    DeleteObject(font);
    ReleaseDC(NULL, screen);
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
    printf("control %d %s \"%s\" %d %d %d %d style=0x%08lx checked=%d at %ld %ld\n",
           (int)(short)GetDlgCtrlID(control), class_name, text, to_units(top_left.x, unit_x, 4),
           to_units(top_left.y, unit_y, 8), to_units(bottom_right.x - top_left.x, unit_x, 4),
           to_units(bottom_right.y - top_left.y, unit_y, 8),
           (unsigned long)GetWindowLongA(control, GWL_STYLE), (int)SendMessageA(control, BM_GETCHECK, 0, 0),
           (r.left + r.right) / 2, (r.top + r.bottom) / 2);
    return TRUE;
}

/* The window once it is shown: a dialog exists before its controls do, and
 * is shown only once they are all made and initialised. */
static HWND wait_for(const char* title, double seconds) {
    HWND window = NULL;
    for (int waited = 0; !window && waited < seconds * 10; ++waited) {
        window = FindWindowA(NULL, title);
        if (window && !IsWindowVisible(window)) window = NULL;
        if (!window) Sleep(100);
    }
    if (!window) fprintf(stderr, "dialog_probe: no window \"%s\"\n", title);
    return window;
}

int main(int argc, char** argv) {
    SetProcessDPIAware();
    if (argc >= 3 && strcmp(argv[1], "window") == 0) {
        HWND window = wait_for(argv[2], argc > 3 ? atof(argv[3]) : 60.0);
        RECT outer, client;
        if (!window) return 1;
        GetWindowRect(window, &outer);
        GetClientRect(window, &client);
        printf("window %ld %ld client %ld %ld dpi %u\n", outer.left, outer.top, client.right, client.bottom,
               GetDpiForWindow(window));
        return 0;
    }
    if (argc == 3 && strcmp(argv[1], "manifest") == 0) {
        ACTCTXA request;
        memset(&request, 0, sizeof request);
        request.cbSize = sizeof request;
        request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
        request.lpSource = argv[2];
        request.lpResourceName = MAKEINTRESOURCEA(1);
        HANDLE context = CreateActCtxA(&request);
        if (context == INVALID_HANDLE_VALUE) {
            fprintf(stderr, "dialog_probe: no manifest in %s (error %lu)\n", argv[2], GetLastError());
            return 1;
        }
        static const WCHAR* const settings[] = {L"dpiAware", L"dpiAwareness"};
        static const WCHAR* const spaces[] = {L"http://schemas.microsoft.com/SMI/2005/WindowsSettings",
                                              L"http://schemas.microsoft.com/SMI/2016/WindowsSettings"};
        for (int i = 0; i < 2; ++i) {
            WCHAR value[128] = L"";
            char name[32], text[128];
            SIZE_T written = 0;
            if (!QueryActCtxSettingsW(0, context, spaces[i], settings[i], value, 128, &written)) value[0] = 0;
            WideCharToMultiByte(CP_UTF8, 0, settings[i], -1, name, sizeof name, NULL, NULL);
            WideCharToMultiByte(CP_UTF8, 0, value, -1, text, sizeof text, NULL, NULL);
            printf("%s \"%s\"\n", name, text);
        }
        ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION level;
        memset(&level, 0, sizeof level);
        SIZE_T written = 0;
        if (!QueryActCtxW(0, context, NULL, RunlevelInformationInActivationContext, &level, sizeof level,
                          &written))
            level.RunLevel = ACTCTX_RUN_LEVEL_UNSPECIFIED;
        printf("runlevel %d\n", (int)level.RunLevel);
        ReleaseActCtx(context);
        return 0;
    }
    if (argc == 3 && strcmp(argv[1], "hold-clipboard") == 0) {
        if (!OpenClipboard(NULL)) {
            fprintf(stderr, "dialog_probe: the clipboard could not be opened (error %lu)\n", GetLastError());
            return 1;
        }
        printf("held\n");
        fflush(stdout);
        Sleep((DWORD)(atof(argv[2]) * 1000));
        CloseClipboard();
        return 0;
    }
    if (argc < 5 || strcmp(argv[1], "dialog") != 0) {
        fprintf(stderr, "usage: dialog_probe dialog CAPTION FONT POINTS [SECONDS] | window TITLE [SECONDS] | "
                        "manifest EXE | hold-clipboard SECONDS\n");
        return 2;
    }
    HWND dialog = wait_for(argv[2], argc > 5 ? atof(argv[5]) : 60.0);
    char caption[256] = "", line[256] = "";
    RECT client;
    if (!dialog) return 1;
    base_units(argv[3], atoi(argv[4]));
    GetClientRect(dialog, &client);
    GetWindowTextA(dialog, caption, sizeof caption);
    printf("dialog \"%s\" %d %d style=0x%08lx exstyle=0x%08lx\n", caption, to_units(client.right, unit_x, 4),
           to_units(client.bottom, unit_y, 8), (unsigned long)GetWindowLongA(dialog, GWL_STYLE),
           (unsigned long)GetWindowLongA(dialog, GWL_EXSTYLE));
    EnumChildWindows(dialog, print_control, (LPARAM)dialog);
    /* The wide message: the narrow one comes back cut short from another
     * process under Wine. */
    LRESULT selected = SendDlgItemMessageW(dialog, 1014, CB_GETCURSEL, 0, 0);
    WCHAR wide_line[256] = L"";
    if (selected >= 0 && SendDlgItemMessageW(dialog, 1014, CB_GETLBTEXTLEN, (WPARAM)selected, 0) <
                             (LRESULT)(sizeof wide_line / 2))
        SendDlgItemMessageW(dialog, 1014, CB_GETLBTEXT, (WPARAM)selected, (LPARAM)wide_line);
    WideCharToMultiByte(CP_UTF8, 0, wide_line, -1, line, sizeof line, NULL, NULL);
    printf("selected \"%s\"\n", line);
    fflush(stdout);
    return 0;
}
