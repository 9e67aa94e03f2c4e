// The page's side of the browser platform, run before the program starts:
// the message boxes drawn in the page. Everything lives under
// window.quorlaxen, where the page's own script and tests find it too.
(function () {
  const q = (window.quorlaxen = window.quorlaxen || {});
  // Seconds of show time of the frame drawn last.
  q.show_time = () => Module['_quorlaxen_show_time']();
  let styled = false;
  const addStyle = () => {
    if (styled) return;
    styled = true;
    const style = document.createElement('style');
    style.textContent = `
.box-shade { position: fixed; inset: 0; background: rgba(0, 0, 0, .35); display: flex;
  align-items: center; justify-content: center; z-index: 20 }
.box { background: #f0f0f0; color: #000; font: 13px/1.4 system-ui, sans-serif; min-width: 260px;
  max-width: min(560px, 90vw); border: 1px solid #555; box-shadow: 0 4px 18px rgba(0, 0, 0, .5) }
.box-caption { background: #fff; padding: 6px 10px; border-bottom: 1px solid #ccc; white-space: pre }
.box-text { padding: 16px 14px; white-space: pre-wrap; user-select: text }
.box-copy { width: calc(100% - 28px); margin: 0 14px 8px; height: 8em; font: 12px monospace }
.box-buttons { display: flex; justify-content: flex-end; gap: 8px; padding: 8px 12px; background: #e4e4e4 }
.box-button { min-width: 76px; padding: 3px 10px }`;
    document.head.appendChild(style);
  };

  // A box with a caption, a text, buttons and perhaps a text to copy by
  // hand; resolves to the index of the button pressed. Enter presses the
  // first, Escape the last.
  q.box = (caption, text, buttons, copyText) => new Promise(resolve => {
    addStyle();
    const shade = document.createElement('div');
    shade.className = 'box-shade';
    const box = document.createElement('div');
    box.className = 'box';
    box.setAttribute('role', 'alertdialog');
    const c = document.createElement('div');
    c.className = 'box-caption';
    c.textContent = caption;
    const t = document.createElement('div');
    t.className = 'box-text';
    t.textContent = text;
    box.append(c, t);
    if (copyText !== undefined) {
      const area = document.createElement('textarea');
      area.className = 'box-copy';
      area.readOnly = true;
      area.value = copyText;
      box.append(area);
      setTimeout(() => area.select(), 0);
    }
    const row = document.createElement('div');
    row.className = 'box-buttons';
    const keys = e => {
      if (e.key !== 'Enter' && e.key !== 'Escape') return;
      e.preventDefault();
      e.stopPropagation();
      close(e.key === 'Enter' ? 0 : buttons.length - 1);
    };
    const close = index => {
      document.removeEventListener('keydown', keys, true);
      shade.remove();
      resolve(index);
    };
    buttons.forEach((label, index) => {
      const b = document.createElement('button');
      b.className = 'box-button';
      b.textContent = label;
      b.onclick = () => close(index);
      row.append(b);
    });
    box.append(row);
    shade.append(box);
    // Over the picture in full screen too: only the full-screen element is shown then.
    (document.fullscreenElement || document.body).append(shade);
    document.addEventListener('keydown', keys, true);
    row.firstChild.focus();
  });
})();
