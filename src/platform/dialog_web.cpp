// Modal dialogs from a dialog template as an HTML form over the page: each
// control placed in dialog units scaled by the font's average character
// size, as the Windows dialog manager places it; Enter presses the default
// button unless another push button has the focus, Escape presses the
// cancel id. The procedure runs in the program, the page waits for the next
// press in between (Asyncify).
// The bodies of EM_JS below are JavaScript, which the C++ formatter mangles.
// clang-format off
#include <emscripten.h>

#include <cstdio>

#include "platform/dialog.h"
#include "platform/web.h"

namespace platform {
namespace {

struct web_dialog {
    bool ended = false;
    intptr_t result = 0;
};

EM_JS(void, page_dialog_open, (const char* caption, int point_size, int width, int height), {
    const q = (window.quorlaxen = window.quorlaxen || {});
    const old = document.getElementById('dialog');
    if (old) old.remove();
    // Dialog units from the font: x in quarters of the average width of the
    // alphabet's letters, y in eighths of the line height.
    const font = point_size + 'pt Tahoma, "DejaVu Sans", Verdana, sans-serif';
    const probe = document.createElement('span');
    probe.style.cssText = 'position:absolute;visibility:hidden;white-space:pre;font:' + font;
    probe.textContent = 'ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz';
    document.body.append(probe);
    const unit_x = probe.getBoundingClientRect().width / 52 / 4;
    const unit_y = probe.getBoundingClientRect().height / 8;
    probe.remove();
    const frame = document.createElement('div');
    frame.id = 'dialog';
    frame.setAttribute('role', 'dialog');
    frame.style.cssText = 'position:fixed;left:50%;top:50%;transform:translate(-50%,-50%);' +
                          'background:#f0f0f0;color:#000;border:1px solid #555;' +
                          'box-shadow:0 4px 18px rgba(0,0,0,.5);z-index:10;font:' + font;
    const title = document.createElement('div');
    title.className = 'dialog-caption';
    title.textContent = UTF8ToString(caption);
    title.style.cssText = 'background:#fff;padding:4px 8px;border-bottom:1px solid #ccc;white-space:pre';
    const body = document.createElement('div');
    body.style.cssText = 'position:relative;width:' + Math.round(width * unit_x) + 'px;height:' +
                         Math.round(height * unit_y) + 'px';
    frame.append(title, body);
    q.dialog = {frame, body, unit_x, unit_y, events : [], wake : null, font};
});

EM_JS(void, page_dialog_control,
      (int id, int kind, const char* text_pointer, int x, int y, int width, int height, int style), {
          const d = window.quorlaxen.dialog;
          const text = UTF8ToString(text_pointer);
          const place = element => {
              element.style.position = 'absolute';
              element.style.left = Math.round(x * d.unit_x) + 'px';
              element.style.top = Math.round(y * d.unit_y) + 'px';
              element.style.width = Math.round(width * d.unit_x) + 'px';
              element.style.boxSizing = 'border-box';
              element.style.font = d.font;
              if (kind != 3) element.style.height = Math.round(height * d.unit_y) + 'px';
              element.dataset.id = id;
              d.body.append(element);
              return element;
          };
          const send = (code) => {
              d.events.push([ id, code ]);
              if (d.wake) d.wake();
          };
          // Sound may start only from the user's gesture: any press of the dialog
          // lets the page's audio context run.
          const start_audio = () => {
              const q = window.quorlaxen;
              const Context = window.AudioContext || window.webkitAudioContext;
              try {
                  if (!q.audio_context && Context) q.audio_context = new Context();
                  if (q.audio_context) q.audio_context.resume().catch(() => {});
              } catch (e) {
                  console.error('audio: ' + e.message);
              }
          };
          const tab = (style & 1) ? 0 : -1;
          if (kind == 0 || kind == 1) { // push buttons
              const b = place(document.createElement('button'));
              b.type = 'button';
              b.textContent = text;
              b.tabIndex = tab;
              if (kind == 1) {
                  b.classList.add('default');
                  b.style.outline = '1px solid #000';
              }
              if (style & 4) b.style.border = '1px solid #888';
              b.onclick = () => {
                  start_audio();
                  send(0);
              };
          } else if (kind == 2) { // check box, or a button that stays down
              const label = place(document.createElement('label'));
              const box = document.createElement('input');
              box.type = 'checkbox';
              box.dataset.id = id;
              box.tabIndex = tab;
              label.removeAttribute('data-id');
              label.style.display = 'flex';
              label.style.alignItems = 'center';
              label.style.gap = '4px';
              label.style.whiteSpace = 'nowrap';
              if (style & 2) {
                  label.style.justifyContent = 'center';
                  label.style.border = '1px solid #888';
                  box.style.display = 'none';
                  const paint = () => { label.style.background = box.checked ? '#c8c8c8' : ""; };
                  box.addEventListener('change', paint);
                  box.paint = paint;
              }
              label.append(box, document.createTextNode(text));
              box.onchange = () => {
                  if (box.paint) box.paint();
                  send(0);
              };
          } else if (kind == 3) { // drop-down list
              const list = place(document.createElement('select'));
              list.tabIndex = tab;
              list.onchange = () => send(1);
          } else { // group box
              const group = place(document.createElement('fieldset'));
              group.style.margin = '0';
              group.style.padding = '0';
              group.style.border = '1px solid #bbb';
              group.style.pointerEvents = 'none';
              const legend = document.createElement('legend');
              legend.textContent = text;
              legend.style.marginLeft = '6px';
              group.append(legend);
          }
      });

EM_JS(void, page_dialog_show, (), {
    const d = window.quorlaxen.dialog;
    // Enter presses the default button unless a push button has the focus;
    // Escape presses the cancel id (2), as the close box would.
    d.keys = e => {
        if (e.key === 'Escape') {
            e.preventDefault();
            d.events.push([ 2, 0 ]);
            if (d.wake) d.wake();
        } else if (e.key === 'Enter') {
            const focused = document.activeElement;
            if (focused && focused.tagName === 'BUTTON' && d.frame.contains(focused)) return;
            e.preventDefault();
            const b = d.frame.querySelector('button.default');
            if (b) b.click();
        }
    };
    document.addEventListener('keydown', d.keys);
    document.body.append(d.frame);
    const first = d.frame.querySelector('button.default') || d.frame.querySelector('[tabindex="0"]');
    if (first) first.focus();
});

// The next press: control id in the low word, notification in the high.
EM_ASYNC_JS(int, page_dialog_next, (), {
    const d = window.quorlaxen.dialog;
    while (!d.events.length)
        await new Promise(resolve => { d.wake = resolve; });
    d.wake = null;
    const [id, code] = d.events.shift();
    return (id & 0xFFFF) | (code << 16);
});

EM_JS(void, page_dialog_close, (), {
    const d = window.quorlaxen.dialog;
    document.removeEventListener('keydown', d.keys);
    d.frame.remove();
    window.quorlaxen.dialog = null;
});

EM_JS(int, page_control_checked, (int id), {
    const c = window.quorlaxen.dialog.body.querySelector('input[data-id="' + id + '"]');
    return c && c.checked ? 1 : 0;
});
EM_JS(void, page_control_set_checked, (int id, int checked), {
    const c = window.quorlaxen.dialog.body.querySelector('input[data-id="' + id + '"]');
    if (!c) return;
    c.checked = !!checked;
    if (c.paint) c.paint();
});
EM_JS(int, page_control_add_line, (int id, const char* text), {
    const c = window.quorlaxen.dialog.body.querySelector('select[data-id="' + id + '"]');
    if (!c) return -1;
    c.append(new Option(UTF8ToString(text)));
    if (c.options.length == 1) c.selectedIndex = -1; // nothing chosen until the procedure says
    return c.options.length - 1;
});
EM_JS(void, page_control_select, (int id, int index), {
    const c = window.quorlaxen.dialog.body.querySelector('select[data-id="' + id + '"]');
    if (c) c.selectedIndex = index;
});
EM_JS(int, page_control_selection, (int id), {
    const c = window.quorlaxen.dialog.body.querySelector('select[data-id="' + id + '"]');
    return c ? c.selectedIndex : -1;
});
dialog_handle make_handle(web_dialog& d) {
    dialog_handle h;
    h.self = &d;
    h.is_checked = [](void*, int id) { return page_control_checked(id) != 0; };
    h.set_checked = [](void*, int id, bool checked) { page_control_set_checked(id, checked); };
    h.add_line = [](void*, int id, const char* text) { return page_control_add_line(id, text); };
    h.set_selection = [](void*, int id, int index) { page_control_select(id, index); };
    h.selection = [](void*, int id) { return page_control_selection(id); };
    h.screen_size = [](void*, int* width, int* height) { web_screen_size(width, height); };
    h.end_dialog = [](void* self, intptr_t result) {
        auto& dialog = *static_cast<web_dialog*>(self);
        dialog.ended = true;
        dialog.result = result;
    };
    return h;
}

} // namespace

intptr_t run_native_dialog(const dialog_template& layout, dialog_proc proc, void* user) {
    web_dialog d;
    const dialog_handle handle = make_handle(d);
    page_dialog_open(layout.caption, layout.point_size, layout.width, layout.height);
    for (int i = 0; i < layout.control_count; ++i) {
        const dialog_control& c = layout.controls[i];
        page_dialog_control(c.id, int(c.kind), c.text, c.x, c.y, c.width, c.height, int(c.style));
    }
    proc(handle, wm_initdialog, 0, 0, user);
    if (!d.ended) {
        page_dialog_show();
        web_set_page_state("dialog");
    }
    while (!d.ended) {
        const int event = page_dialog_next();
        const uint64_t wparam = uint64_t(event & 0xFFFF) | (uint64_t(event >> 16) << 16);
        proc(handle, wm_command, wparam, 0, user);
    }
    page_dialog_close();
    return d.result;
}

void report_dialog_skipped(const char* defaults) {
    std::fprintf(stderr, "The settings dialog could not be shown; the show runs with %s\n", defaults);
}

} // namespace platform
