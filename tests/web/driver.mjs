// The browser tests' driver: a static HTTP server over a site folder on
// 127.0.0.1, Debian's chromium-headless-shell through puppeteer-core, and the
// few page reads the cases need. Everything the page is expected to offer
// (selectors, attributes, the audio fields) is named in `page` below and
// nowhere else, so a renamed field is one edit.
import fs from 'node:fs';
import {spawn} from 'node:child_process';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import {createRequire} from 'node:module';
import {fileURLToPath} from 'node:url';
import {decodePng} from './png.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
export const repo = path.resolve(here, '../..');

// What the site offers the tests.
export const page = {
  canvas: '#canvas',
  dialog: '#dialog',
  control: (id) => `#dialog [data-id="${id}"]`,
  ids: {run: 1, quit: 2, antialiased: 1011, windowed: 1012, force169: 1013, resolution: 1014},
  box: '.box',
  boxCaption: '.box-caption',
  boxText: '.box-text',
  boxButton: '.box-button',
  // <html data-state> and <html data-exit>
  state: 'state',
  exit: 'exit',
  // The heard music position and the show clock, read in the page. Both
  // are taken in one task, so neither runs on while the other is read.
  clocks: () => {
    const q = window.quorlaxen;
    const a = q && q.audio;
    if (!a || !a.context || typeof q.show_time !== 'function') return null;
    const stamp = a.context.getOutputTimestamp();
    // The stamp is the sample leaving the device at stamp.performanceTime;
    // what is heard now is later by the time since then.
    const since = stamp.performanceTime ? (performance.now() - stamp.performanceTime) / 1000 : 0;
    return {
      heard: stamp.contextTime + since - a.started_at_context_time + a.start_offset_seconds,
      show: q.show_time(),
      contextState: a.context.state,
    };
  },
  // The page's query for one frame at a show time.
  frameQuery: (t, width, height, {noaa = false, force169 = false} = {}) =>
    `?at=${t}&size=${width}x${height}${noaa ? '&noaa' : ''}${force169 ? '&force169' : ''}`,
};

export const chromium = process.env.QUORLAXEN_CHROMIUM || '/usr/bin/chromium-headless-shell';
// WebGL 2 on this machine's processors: SwiftShader through ANGLE. The
// sandbox needs user namespaces the test machines (root, containers) lack.
export const browserFlags = ['--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--no-sandbox'];
// Firefox ESR finds no GL headless here ("Exhausted GL driver options"); in
// a window on an X display (Xvfb) it draws WebGL 2 through Mesa's llvmpipe.
export const firefox = process.env.QUORLAXEN_FIREFOX || '/usr/bin/firefox-esr';

// Deadlines. SwiftShader draws a show frame in seconds, not milliseconds,
// and two cores are shared with the build; these are far above what a
// healthy page needs, so that only a stuck page trips them.
export const deadlines = {
  pageLoad: 120_000,
  dialog: 120_000,
  loading: 60_000,
  running: 240_000,
  frame: 240_000,
  exit: 60_000,
  box: 120_000,
};

// --- puppeteer-core, from the folder scripts/web-test-deps.sh fills ---------
function loadPuppeteer() {
  const modules = process.env.QUORLAXEN_WEB_TOOLS || path.join(repo, 'build-web/test-tools/node_modules');
  try {
    return createRequire(path.join(modules, 'noop.js'))('puppeteer-core');
  } catch (error) {
    throw new Error(`puppeteer-core not found in ${modules} (scripts/web-test-deps.sh installs it): ${error.message}`);
  }
}

// --- the static server ------------------------------------------------------
const mimeTypes = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.mjs': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
  '.json': 'application/json',
  '.wasm': 'application/wasm',
  '.data': 'application/octet-stream',
  '.metadata': 'application/json',
  '.mp3': 'audio/mpeg',
  '.png': 'image/png',
  '.jpg': 'image/jpeg',
  '.svg': 'image/svg+xml',
  '.ico': 'image/x-icon',
  '.txt': 'text/plain; charset=utf-8',
  '.zip': 'application/zip',
};

// Serves `root` on 127.0.0.1 at a free port. Every request is logged with
// its status, so a failure report can name what the page asked for and did
// not get.
export async function serve(root) {
  root = fs.realpathSync(root);
  const requests = [];
  const server = http.createServer((request, response) => {
    const done = (status, headers = {}, body) => {
      requests.push({method: request.method, url: request.url, status});
      response.writeHead(status, {'Cache-Control': 'no-store', ...headers});
      response.end(body);
    };
    if (request.method !== 'GET' && request.method !== 'HEAD') return done(405);
    let relative;
    try {
      relative = decodeURIComponent(new URL(request.url, 'http://host').pathname);
    } catch {
      return done(400);
    }
    if (relative.endsWith('/')) relative += 'index.html';
    const file = path.join(root, path.normalize(relative));
    if (file !== root && !file.startsWith(root + path.sep)) return done(403);
    fs.stat(file, (error, stat) => {
      if (error || !stat.isFile()) return done(404, {'Content-Type': 'text/plain'}, 'not found');
      const headers = {
        'Content-Type': mimeTypes[path.extname(file).toLowerCase()] || 'application/octet-stream',
        'Content-Length': stat.size,
      };
      requests.push({method: request.method, url: request.url, status: 200});
      response.writeHead(200, {'Cache-Control': 'no-store', ...headers});
      if (request.method === 'HEAD') return response.end();
      fs.createReadStream(file).on('error', () => response.destroy()).pipe(response);
    });
  });
  await new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(0, '127.0.0.1', resolve);
  });
  return {
    url: `http://127.0.0.1:${server.address().port}/`,
    requests,
    missing: () => requests.filter((r) => r.status >= 400).map((r) => `${r.status} ${r.url}`),
    close: () =>
      new Promise((resolve) => {
        server.closeAllConnections();
        server.close(() => resolve());
      }),
  };
}

// --- the site copy for the failure roads ------------------------------------
export function copySite(site) {
  const copy = fs.mkdtempSync(path.join(os.tmpdir(), 'quorlaxen-site-'));
  fs.cpSync(site, copy, {recursive: true});
  return copy;
}

// Emscripten's file packager describes its package in the loader script:
// loadPackage({"files": [{"filename": "/textures/x.jpg", "start": .., "end": ..}, ...], ...}).
// Returns each such description found in the site's scripts (and
// metadata files) with where its JSON lies.
function packageDescriptions(site) {
  const found = [];
  for (const name of fs.readdirSync(site)) {
    if (!/\.(js|metadata)$/.test(name)) continue;
    const file = path.join(site, name);
    const text = fs.readFileSync(file, 'latin1');
    for (let at = text.indexOf('"files"'); at >= 0; at = text.indexOf('"files"', at + 1)) {
      const start = text.lastIndexOf('{', at);
      let depth = 0, end = -1, inString = false;
      for (let i = start; i < text.length; ++i) {
        const c = text[i];
        if (inString) {
          if (c === '\\') ++i;
          else if (c === '"') inString = false;
        } else if (c === '"') inString = true;
        else if (c === '{' || c === '[') ++depth;
        else if ((c === '}' || c === ']') && --depth === 0) {
          end = i + 1;
          break;
        }
      }
      if (end < 0) continue;
      try {
        const json = JSON.parse(text.slice(start, end));
        if (Array.isArray(json.files)) found.push({file, start, end, json});
      } catch {
        // "files" in some other text of the script
      }
    }
  }
  return found;
}

// Takes the file at `relative` (as the show reads it, e.g. "textures/paper
// 1a.jpg") out of a site copy: deleted where it lies as a file of its own,
// or its entry dropped from the data package's description (the bytes stay
// in the package; the file system the page builds lacks the file).
export function removeFromSite(copy, relative) {
  const loose = path.join(copy, relative);
  if (fs.existsSync(loose)) {
    fs.rmSync(loose);
    return `deleted ${relative}`;
  }
  const wanted = '/' + relative.replace(/^\/+/, '');
  for (const d of packageDescriptions(copy)) {
    const before = d.json.files.length;
    d.json.files = d.json.files.filter((f) => f.filename !== wanted && f.filename !== wanted.slice(1));
    if (d.json.files.length === before) continue;
    const text = fs.readFileSync(d.file, 'latin1');
    fs.writeFileSync(d.file, text.slice(0, d.start) + JSON.stringify(d.json) + text.slice(d.end), 'latin1');
    return `dropped ${wanted} from the package described in ${path.basename(d.file)}`;
  }
  const listed = packageDescriptions(copy).flatMap((d) => d.json.files.map((f) => f.filename));
  throw new Error(
    `${relative} is neither a file of the site nor in a data package's description` +
      (listed.length ? ` (the package holds ${listed.slice(0, 8).join(', ')}${listed.length > 8 ? ', ...' : ''})` : ''));
}

// Every file of the site copy whose name matches.
export function findInSite(copy, pattern) {
  const out = [];
  const walk = (dir) => {
    for (const entry of fs.readdirSync(dir, {withFileTypes: true})) {
      const full = path.join(dir, entry.name);
      if (entry.isDirectory()) walk(full);
      else if (pattern.test(entry.name)) out.push(path.relative(copy, full));
    }
  };
  walk(copy);
  return out;
}

// --- a sound server for Firefox ---------------------------------------------
// Firefox's AudioContext stays suspended without an output device; a
// PulseAudio server of the test's own, with a null sink, in a private
// runtime folder, gives it one.
async function startPulse() {
  const runtime = fs.mkdtempSync(path.join(os.tmpdir(), 'quorlaxen-pulse-'));
  fs.chmodSync(runtime, 0o700);
  const env = {...process.env, XDG_RUNTIME_DIR: runtime, PULSE_SERVER: `unix:${runtime}/pulse/native`};
  const child = spawn('pulseaudio', ['-n', '--daemonize=no', '--exit-idle-time=-1', '--disable-shm=yes',
    '-L', 'module-native-protocol-unix', '-L', 'module-null-sink sink_name=nul'], {env, stdio: 'ignore'});
  const stop = async () => {
    if (child.exitCode === null) {
      child.kill('SIGTERM');
      await new Promise((r) => child.once('exit', r));
    }
    fs.rmSync(runtime, {recursive: true, force: true});
  };
  const failed = new Promise((_, reject) => child.once('error', (e) => reject(new Error(`pulseaudio: ${e.message}`))));
  for (let i = 0; i < 100 && !fs.existsSync(`${runtime}/pulse/native`); ++i) {
    await Promise.race([new Promise((r) => setTimeout(r, 100)), failed]).catch(async (e) => {
      await stop();
      throw e;
    });
  }
  if (!fs.existsSync(`${runtime}/pulse/native`)) {
    await stop();
    throw new Error('pulseaudio did not start (Debian pulseaudio; scripts/setup.sh --fuzz installs it)');
  }
  return {env, stop};
}

// --- one browser, one page, one server ------------------------------------
export class Session {
  // The screen is a common desktop's, larger than the page's viewport, so
  // the dialog lists sizes up to it and preselects 1280 x 720 as on desktop.
  static async start({site, browser = 'chromium', flags = [], viewport = {width: 1280, height: 720}, screen = '1920,1080'} = {}) {
    const s = new Session();
    s.log = [];
    s.started = Date.now();
    s.server = await serve(site);
    try {
      const puppeteer = loadPuppeteer();
      if (browser === 'firefox') {
        if (!process.env.DISPLAY) throw new Error('Firefox needs an X display here (run under xvfb-run)');
        const [width, height] = screen.split(',');
        s.pulse = await startPulse();
        s.browser = await puppeteer.launch({
          env: s.pulse.env,
          browser: 'firefox',
          executablePath: firefox,
          headless: false,
          args: [`--width=${width}`, `--height=${height}`, ...flags],
          extraPrefsFirefox: {'media.autoplay.default': 0, 'media.autoplay.blocking_policy': 0},
          defaultViewport: viewport,
          protocolTimeout: 300_000,
          timeout: 120_000,
        });
      } else {
        s.browser = await puppeteer.launch({
          executablePath: chromium,
          headless: 'shell',
          // Over a pipe the browser ends with this process, however it ends.
          pipe: true,
          args: [...browserFlags, `--window-size=${screen}`, ...flags],
          defaultViewport: viewport,
          protocolTimeout: 300_000,
        });
      }
      s.page = await s.browser.newPage();
      s.page.on('console', (m) => s.note(`console.${m.type()}: ${m.text()}`));
      s.page.on('pageerror', (e) => {
        s.note(`page error: ${e.message}`);
        // The WebAssembly program has stopped for good: no wait can end well.
        if (/^Aborted\(/.test(e.message)) s.fatal ||= `the program aborted: ${e.message}`;
      });
      s.page.on('error', (e) => {
        s.note(`page crashed: ${e.message}`);
        s.fatal ||= `the page crashed: ${e.message}`;
      });
      s.page.on('requestfailed', (r) => s.note(`request failed: ${r.url()} ${r.failure()?.errorText}`));
      s.page.on('dialog', (d) => s.note(`browser dialog (${d.type()}): ${d.message()}`));
    } catch (error) {
      await s.close();
      throw error;
    }
    return s;
  }

  note(line) {
    this.log.push(`${((Date.now() - this.started) / 1000).toFixed(1)} s ${line}`);
  }

  async close() {
    try {
      if (this.browser) await this.browser.close();
    } catch {
      this.browser?.process()?.kill('SIGKILL');
    }
    if (this.server) await this.server.close();
    if (this.pulse) await this.pulse.stop();
    this.browser = this.server = this.pulse = null;
  }

  // What to print when a check fails: the page's last words and what it
  // asked the server for in vain.
  report() {
    const lines = ['--- browser console (last 60 lines) ---', ...this.log.slice(-60)];
    const missing = this.server ? this.server.missing() : [];
    if (missing.length) lines.push('--- requests that failed ---', ...missing);
    return lines.join('\n');
  }

  async open(query = '') {
    await this.page.goto(this.server.url + 'index.html' + query, {waitUntil: 'load', timeout: deadlines.pageLoad});
  }

  async grantClipboard() {
    const origin = new URL(this.server.url).origin;
    await this.browser.defaultBrowserContext().overridePermissions(origin, [
      'clipboard-read', 'clipboard-write', 'clipboard-sanitized-write',
    ]);
  }

  async readClipboard() {
    await this.page.bringToFront();
    return this.page.evaluate(() => navigator.clipboard.readText());
  }

  async writeClipboard(text) {
    await this.page.bringToFront();
    await this.page.evaluate((t) => navigator.clipboard.writeText(t), text);
  }

  // State, exit code and the box on show, in one read.
  async snapshot() {
    return this.page.evaluate((p) => {
      const html = document.documentElement;
      const visible = (e) => e && !e.hidden && e.getClientRects().length > 0 && getComputedStyle(e).visibility !== 'hidden';
      const box = [...document.querySelectorAll(p.box)].find(visible);
      const text = (sel) => (box.querySelector(sel)?.textContent ?? '').trim();
      return {
        state: html.dataset[p.state] ?? null,
        exit: html.dataset[p.exit] ?? null,
        box: box ? {caption: text(p.boxCaption), text: text(p.boxText),
                    buttons: [...box.querySelectorAll(p.boxButton)].map((b) => b.textContent.trim())} : null,
      };
    }, {box: page.box, boxCaption: page.boxCaption, boxText: page.boxText, boxButton: page.boxButton,
        state: page.state, exit: page.exit});
  }

  // Polls until `done(snapshot)` holds. A box or an exit that `done` does
  // not ask for ends the wait at once, with what it says.
  async until(what, done, ms, {boxes = false, exits = false} = {}) {
    const end = Date.now() + ms;
    let last;
    for (;;) {
      last = await this.snapshot();
      if (done(last)) return last;
      if (this.fatal) throw new Error(`waiting for ${what}: ${this.fatal}`);
      if (last.box && !boxes)
        throw new Error(`waiting for ${what}: a box came instead: "${last.box.caption}" / "${last.box.text}"`);
      if (last.exit !== null && !exits) throw new Error(`waiting for ${what}: the program ended with exit code ${last.exit}`);
      if (Date.now() > end) throw new Error(`waiting for ${what}: nothing after ${ms / 1000} s (state ${last.state}, exit ${last.exit})`);
      await new Promise((r) => setTimeout(r, 100));
    }
  }

  waitState(state, ms) {
    return this.until(`data-state="${state}"`, (s) => s.state === state, ms);
  }

  async waitExit(ms = deadlines.exit) {
    return (await this.until('data-exit', (s) => s.exit !== null, ms, {exits: true})).exit;
  }

  async waitBox(ms = deadlines.box) {
    return (await this.until('a message box', (s) => s.box !== null, ms, {boxes: true, exits: true})).box;
  }

  async clickBoxButton(label) {
    const buttons = await this.page.$$(`${page.box} ${page.boxButton}`);
    for (const b of buttons) {
      const shown = await b.evaluate((e) => e.getClientRects().length > 0 && e.textContent.trim());
      if (shown === label) return b.click();
    }
    throw new Error(`no box button "${label}"`);
  }

  // The canvas's pixels as the page hands them out (toDataURL: exact where
  // the context keeps its drawing buffer), decoded here.
  async canvasPixels() {
    const url = await this.page.$eval(page.canvas, (c) => c.toDataURL('image/png'));
    const png = Buffer.from(url.slice(url.indexOf(',') + 1), 'base64');
    return {png, ...decodePng(png)};
  }

  // The canvas as shown on the page (the compositor's picture): what a
  // visitor sees, also when the drawing buffer is not kept.
  async canvasScreenshot(ms = 30_000) {
    const element = await this.page.$(page.canvas);
    // Firefox has been seen to never answer while the page's thread is
    // busy loading.
    let timer;
    const shot = await Promise.race([
      element.screenshot({type: 'png'}),
      new Promise((_, reject) => {
        timer = setTimeout(() => reject(new Error(`no screenshot of the canvas in ${ms / 1000} s`)), ms);
      }),
    ]).finally(() => clearTimeout(timer));
    const png = Buffer.from(shot);
    return {png, ...decodePng(png)};
  }

  clocks() {
    return this.page.evaluate(page.clocks);
  }

  // Watches the page from its first script on: every change of data-state
  // and data-exit, and, around each animation-frame callback the page runs
  // while loading or running, the clocks and a 32x18 thumbnail of the
  // canvas (while loading, or once thumbnails() is called). The thumbnail is taken in the same task as the page's drawing,
  // so it is the frame just drawn (the drawing buffer is not kept between
  // frames); the clocks are read after the callback (`clocks`) and as it
  // begins (`begun`: the previous frame's show time against the music heard
  // while that frame is shown).
  async watch() {
    const hook = (clocks, canvasSelector) => {
      const w = (window.__watch = {states: [], frames: [], thumbnails: false});
      const now = () => performance.now();
      new MutationObserver((list) => {
        for (const m of list)
          if (m.target === document.documentElement)
            w.states.push({name: m.attributeName, value: m.target.getAttribute(m.attributeName), t: now()});
      }).observe(document, {attributes: true, subtree: true, attributeFilter: ['data-state', 'data-exit']});
      let small;
      const thumbnail = () => {
        const c = document.querySelector(canvasSelector);
        if (!c || !c.width || !c.height) return null;
        small ||= document.createElement('canvas');
        small.width = 32;
        small.height = 18;
        const g = small.getContext('2d', {willReadFrequently: true});
        g.drawImage(c, 0, 0, 32, 18);
        const d = g.getImageData(0, 0, 32, 18).data;
        const colours = new Set();
        let sum = 0, key = '';
        for (let i = 0; i < d.length; i += 4) {
          colours.add((d[i] << 16) | (d[i + 1] << 8) | d[i + 2]);
          sum += d[i] + d[i + 1] + d[i + 2];
          key += String.fromCharCode(65 + (d[i] >> 4), 65 + (d[i + 1] >> 4), 65 + (d[i + 2] >> 4));
        }
        return {colours: colours.size, mean: sum / (d.length * 0.75), key};
      };
      const read = () => {
        try {
          return clocks();
        } catch (error) {
          return {error: String(error)};
        }
      };
      // Read as the next animation frame begins: the frame before is on
      // the screen by then, and the show clock still holds its time.
      let begun = null;
      const before = () => {
        const state = document.documentElement && document.documentElement.dataset.state;
        begun = state === 'running' ? read() : null;
      };
      const after = () => {
        const state = document.documentElement && document.documentElement.dataset.state;
        if ((state !== 'loading' && state !== 'running') || w.frames.length >= 2000) return;
        const record = {state, t: now(), clocks: read(), begun};
        // Thumbnails cost a read-back that slows the frames: while loading,
        // and while running only when the test asks (w.thumbnails).
        if (state === 'loading' || w.thumbnails) record.thumbnail = thumbnail();
        w.frames.push(record);
      };
      const raf = window.requestAnimationFrame.bind(window);
      window.requestAnimationFrame = (callback) =>
        raf((stamp) => {
          before();
          try {
            callback(stamp);
          } finally {
            after();
          }
        });
    };
    await this.page.evaluateOnNewDocument(`(${hook})(${page.clocks}, ${JSON.stringify(page.canvas)})`);
  }

  // Thumbnails of the running frames from now on.
  thumbnails() {
    return this.page.evaluate(() => {
      window.__watch.thumbnails = true;
    });
  }

  // What watch() has gathered so far; `since` drops the frames already read.
  watched(since = 0) {
    return this.page.evaluate((n) => {
      const w = window.__watch;
      return w ? {states: w.states, frames: w.frames.slice(n), total: w.frames.length} : null;
    }, since);
  }
}

// --- running a case ---------------------------------------------------------
// Runs `body(step)` with a deadline; `step(text)` prints progress with the
// time since the start. Returns the process's exit code. `cleanup` runs on
// every road (closing sessions, removing copies).
export async function runCase(name, body, {timeout = 540_000} = {}) {
  const started = Date.now();
  let current = 'start';
  const step = (text) => {
    current = text;
    console.log(`[${((Date.now() - started) / 1000).toFixed(1)} s] ${text}`);
  };
  const cleanups = [];
  const context = {step, onCleanup: (f) => cleanups.push(f)};
  const cleanUp = async () => {
    for (const f of cleanups.splice(0).reverse()) {
      try {
        await f();
      } catch (error) {
        console.error(`cleanup: ${error.message}`);
      }
    }
  };
  // Stopped from outside (ctest's timeout, ^C): no browser, sound server or
  // site copy is left behind.
  for (const signal of ['SIGTERM', 'SIGINT', 'SIGHUP'])
    process.once(signal, () => {
      console.error(`${name}: stopped by ${signal} in step "${current}"`);
      cleanUp().finally(() => process.exit(1));
    });
  let timer;
  const expired = new Promise((_, reject) => {
    timer = setTimeout(() => reject(new Error(`the case ran past ${timeout / 1000} s (in: ${current})`)), timeout);
  });
  let code = 0;
  try {
    await Promise.race([body(context), expired]);
    console.log(`${name}: passed in ${((Date.now() - started) / 1000).toFixed(1)} s`);
  } catch (error) {
    code = 1;
    console.error(`${name}: FAILED in step "${current}": ${error.message}`);
    if (error.report) console.error(error.report);
  } finally {
    clearTimeout(timer);
    await cleanUp();
  }
  return code;
}

// Attaches the session's report to an error thrown inside `f`.
export async function withReport(session, f) {
  try {
    return await f();
  } catch (error) {
    if (session && !error.report) error.report = session.report();
    throw error;
  }
}

export function check(condition, message) {
  if (!condition) throw new Error(message);
}
