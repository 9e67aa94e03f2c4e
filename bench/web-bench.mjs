// The browser side of bench/web-bench.sh: drives headless Chromium (WebGL 2
// through SwiftShader) over the site that script serves, in one of two modes.
//
//   node bench/web-bench.mjs frames URL WxH FROM TO OUT.csv
//     A fresh browser opens the page, ticks "Windowed", picks WxH in the
//     dialog and presses Enter; the show runs from its start until its clock
//     reaches TO. Every animation frame while it runs is written to OUT.csv
//     (show time, callback start, interval to the next callback's start,
//     callback length); frames drawn for show times before FROM are written
//     too, marked warm=1, so the caller keeps only [FROM, TO).
//
//   node bench/web-bench.mjs load URL RUNS OUT.json
//     RUNS times a fresh browser (an empty profile: nothing cached) opens the
//     page; the times from navigation start to the dialog, and from Enter to
//     data-state="running" and to the end of the first frame drawn then, with
//     every response's URL and bytes on the wire.
//
// The frame time is the interval between the starts of two consecutive
// animation-frame callbacks: the show draws one frame per callback, and a
// frame over SwiftShader takes far longer than the 16.7 ms beat, so the next
// callback comes as soon as the browser has the previous frame done. That
// interval holds what a visitor waits per frame: the program's own work, the
// WebGL calls, SwiftShader's rasterising in the GPU process and compositing.
import fs from 'node:fs';
import path from 'node:path';
import {createRequire} from 'node:module';
import {fileURLToPath} from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const repo = path.resolve(here, '..');
const modules = process.env.QUORLAXEN_WEB_TOOLS || path.join(repo, 'build-web/test-tools/node_modules');
const puppeteer = createRequire(path.join(modules, 'noop.js'))('puppeteer-core');
const chromium = process.env.QUORLAXEN_CHROMIUM || '/usr/bin/chromium-headless-shell';
// The screen is a common desktop's so the dialog lists the sizes measured.
const flags = ['--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--no-sandbox', '--window-size=1920,1080'];
const deadline = 240_000;

// Installed before the page's own scripts: timestamps of each data-state
// change and of Enter, and a wrapper around requestAnimationFrame recording
// each callback while the show runs.
function hook() {
  const w = (window.__bench = {states: [], frames: [], enter: null});
  new MutationObserver(() => {
    w.states.push({state: document.documentElement.dataset.state, t: performance.now()});
  }).observe(document, {attributes: true, subtree: true, attributeFilter: ['data-state']});
  addEventListener('keydown', (e) => {
    if (e.key === 'Enter' && w.enter === null) w.enter = performance.now();
  }, true);
  const raf = window.requestAnimationFrame.bind(window);
  window.requestAnimationFrame = (callback) =>
    raf((stamp) => {
      const start = performance.now();
      try {
        callback(stamp);
      } finally {
        if (document.documentElement.dataset.state === 'running')
          w.frames.push([start, performance.now(), window.quorlaxen.show_time()]);
      }
    });
}

async function launch() {
  const browser = await puppeteer.launch({
    executablePath: chromium,
    headless: 'shell',
    pipe: true, // the browser ends with this process, however it ends
    args: flags,
    defaultViewport: {width: 1920, height: 1080},
    protocolTimeout: 300_000,
  });
  const page = await browser.newPage();
  page.on('pageerror', (e) => console.error(`web-bench: page error: ${e.message}`));
  await page.evaluateOnNewDocument(`(${hook})()`);
  return {browser, page};
}

const stateIs = (page, state) =>
  page.waitForFunction((s) => document.documentElement.dataset.state === s, {timeout: deadline, polling: 100}, state);

// Ticks "Windowed" (drawn push-like: its label takes the click) and picks
// the size; returns the dialog's settings as shown.
async function setUp(page, size) {
  if (!(await page.$eval('[data-id="1012"]', (e) => e.checked))) await page.click('label:has(> [data-id="1012"])');
  if (size) {
    const [w, h] = size.split('x');
    const found = await page.$eval('select[data-id="1014"]', (s, prefix) => {
      const i = [...s.options].findIndex((o) => o.text.trim().startsWith(prefix));
      if (i < 0) return [...s.options].map((o) => o.text.trim()).join(' | ');
      s.selectedIndex = i;
      s.dispatchEvent(new Event('change', {bubbles: true}));
      return true;
    }, `${w} x ${h}`);
    if (found !== true) throw new Error(`${w} x ${h} is not in the dialog's list: ${found}`);
  }
  return page.evaluate(() => {
    const checked = (id) => document.querySelector(`[data-id="${id}"]`)?.checked;
    const s = document.querySelector('select[data-id="1014"]');
    return {antialiased: checked(1011), windowed: checked(1012), force169: checked(1013), size: s.options[s.selectedIndex].text.trim()};
  });
}

// Processor time (ms, user + system, all threads) of the browser's processes
// by their kind (browser, gpu-process, renderer, utility, ...).
function processorTime(root) {
  const procs = [];
  for (const name of fs.readdirSync('/proc')) {
    if (!/^\d+$/.test(name)) continue;
    try {
      const stat = fs.readFileSync(`/proc/${name}/stat`, 'latin1');
      const fields = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
      // Chromium rewrites its children's command lines (spaces, not NULs).
      const type = /--type=([\w-]+)/.exec(fs.readFileSync(`/proc/${name}/cmdline`, 'latin1'))?.[1] || 'browser';
      // Fields from the state on: ppid is 2nd, utime 12th, stime 13th.
      procs.push({pid: +name, ppid: +fields[1], type, ms: ((+fields[11]) + (+fields[12])) * 10});
    } catch {
      // gone meanwhile
    }
  }
  const mine = new Set([root]);
  for (let grown = true; grown;) {
    grown = false;
    for (const p of procs)
      if (!mine.has(p.pid) && mine.has(p.ppid)) mine.add(p.pid), (grown = true);
  }
  const byType = {};
  for (const p of procs) if (mine.has(p.pid)) byType[p.type] = (byType[p.type] || 0) + p.ms;
  return byType;
}

async function frames(url, size, from, to, out) {
  const {browser, page} = await launch();
  try {
    await page.goto(url);
    await stateIs(page, 'dialog');
    const settings = await setUp(page, size);
    if (!settings.windowed) throw new Error('"Windowed" did not take the click');
    await page.keyboard.press('Enter');
    await stateIs(page, 'running');
    const canvas = await page.$eval('canvas', (c) => `${c.width}x${c.height}`);
    if (canvas !== size) throw new Error(`the canvas is ${canvas}, not ${size}`);
    // Polled once a second: a short task between two frames. The browser's
    // processes' processor time is read when the clock passes FROM and TO.
    const pid = browser.process().pid;
    let first = null, last = null;
    for (;;) {
      const [t, now, ended] = await page.evaluate(() =>
        [window.quorlaxen.show_time(), performance.now(), 'exit' in document.documentElement.dataset]);
      if (first === null && t >= from) first = {now, cpu: processorTime(pid)};
      // The show's end (242.5 s) ends the frames, wherever TO lies.
      if (t >= to || ended) {
        last = {now, cpu: processorTime(pid)};
        break;
      }
      await new Promise((r) => setTimeout(r, 1000));
    }
    first ||= last;
    const f = await page.evaluate(() => window.__bench.frames);
    const counted = f.filter(([start]) => start >= first.now && start < last.now).length;
    const cpu = {};
    for (const type of Object.keys(last.cpu)) cpu[type] = last.cpu[type] - (first.cpu[type] || 0);
    const lines = ['frame,show_time,start_ms,interval_ms,callback_ms,warm'];
    // The last frame has no next start: left out.
    for (let i = 0; i + 1 < f.length; ++i) {
      const [start, end, show] = f[i];
      lines.push([i, show.toFixed(6), start.toFixed(3), (f[i + 1][0] - start).toFixed(3), (end - start).toFixed(3),
        show < from ? 1 : 0].join(','));
    }
    fs.writeFileSync(out, lines.join('\n') + '\n');
    console.log(JSON.stringify({settings, canvas, frames: f.length, span_ms: last.now - first.now, span_frames: counted, cpu_ms: cpu}));
  } finally {
    await browser.close();
  }
}

async function load(url, runs, out) {
  const results = [];
  for (let run = 0; run < runs; ++run) {
    const {browser, page} = await launch();
    try {
      const cdp = await page.createCDPSession();
      const responses = new Map();
      cdp.on('Network.responseReceived', (e) => responses.set(e.requestId, {url: e.response.url, status: e.response.status}));
      cdp.on('Network.loadingFinished', (e) => {
        const r = responses.get(e.requestId);
        if (r) r.bytes = e.encodedDataLength;
      });
      await cdp.send('Network.enable');
      await page.goto(url);
      await stateIs(page, 'dialog');
      const settings = await setUp(page, null);
      await page.keyboard.press('Enter');
      await stateIs(page, 'running');
      await page.waitForFunction(() => window.__bench.frames.length > 0, {timeout: deadline, polling: 50});
      const w = await page.evaluate(() => window.__bench);
      const at = (s) => w.states.find((x) => x.state === s)?.t;
      results.push({
        run,
        settings,
        dialog_ms: at('dialog'),
        enter_ms: w.enter,
        loading_after_enter_ms: at('loading') - w.enter,
        running_after_enter_ms: at('running') - w.enter,
        first_frame_after_enter_ms: w.frames[0][1] - w.enter,
        responses: [...responses.values()],
      });
      console.error(`web-bench: load ${run + 1}/${runs}: dialog ${at('dialog').toFixed(0)} ms, ` +
        `first frame ${(w.frames[0][1] - w.enter).toFixed(0)} ms after Enter`);
    } finally {
      await browser.close();
    }
  }
  fs.writeFileSync(out, JSON.stringify(results, null, 1) + '\n');
}

const [mode, ...args] = process.argv.slice(2);
try {
  if (mode === 'frames') await frames(args[0], args[1], +args[2], +args[3], args[4]);
  else if (mode === 'load') await load(args[0], +args[1], args[2]);
  else throw new Error('usage: web-bench.mjs frames URL WxH FROM TO OUT.csv | load URL RUNS OUT.json');
} catch (error) {
  console.error(`web-bench: ${error.message}`);
  process.exit(1);
}
