// The browser build in headless Chromium (SwiftShader's WebGL 2), one case
// a run:
//   node tests/web/web-test.mjs CASE SITE_DIR [--capture PROGRAM] [--out DIR] [--keep] [--browser firefox]
// CASE: frames | dialog | escape | missing_texture | missing_effect | no_music | no_audio | no_webgl
// --browser firefox runs frames and dialog in Firefox ESR instead, which
// needs an X display (xvfb-run).
// SITE_DIR is the built site (build-web/site). The frames case compares with
// the es3 capture program (default build/es3/show/quorlaxen-capture) and
// writes the pictures of a frame that differs too much (all frames with
// --keep) to --out (default build-web/test-output/frames-BROWSER).
import {execFileSync} from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import {check, copySite, deadlines, findInSite, page, removeFromSite, repo, runCase, Session, withReport} from './driver.mjs';
import {decodePng, encodePng} from './png.mjs';

const [caseName, siteArg, ...rest] = process.argv.slice(2);
const option = (name, fallback) => {
  const i = rest.indexOf(name);
  return i >= 0 ? rest[i + 1] : fallback;
};
const cases = {frames, dialog, escape, missing_texture, missing_effect, no_music, no_audio, no_webgl};
if (!cases[caseName] || !siteArg) {
  console.error(`usage: web-test.mjs ${Object.keys(cases).join('|')} SITE_DIR [--capture PROGRAM] [--out DIR] [--keep]`);
  process.exit(2);
}
const browser = option('--browser', 'chromium');
if (!['chromium', 'firefox'].includes(browser) || (browser === 'firefox' && !['frames', 'dialog'].includes(caseName))) {
  console.error(`--browser firefox runs frames and dialog only; --browser is chromium or firefox`);
  process.exit(2);
}
const site = path.resolve(siteArg);
if (!fs.existsSync(path.join(site, 'index.html'))) {
  console.error(`no site in ${site} (scripts/build-web.sh builds build-web/site)`);
  process.exit(2);
}

// --- frames -----------------------------------------------------------------

// Show times in different rows of the scene script (scene times about 10.6,
// 48.3, 66.5, 132.2, 164.5 and 214.0, beside frames of
// scripts/reference-frames.sh): the titles, first fields and meanders; the
// trumpets and walkers; the giant instruments, drifting field and first
// shapes; the orange field and glowing doodles; the blue field and glow
// disc; the gun's last recoil.
const frameTimes = [10, 48, 66, 131, 163, 212];
// Plus the capture's options, which the page must honour too: a 4:3 frame
// with the 16:9 view inside it, without multisampling.
const frameSets = [
  ...frameTimes.map((t) => ({t, width: 640, height: 360})),
  {t: 48, width: 640, height: 480, noaa: true, force169: true},
];

// How far a browser frame may lie from the capture's, per browser. Measured
// on the six frames and the 4:3 one (640x360 with 4 samples, 640x480
// without), each browser against the es3 capture on llvmpipe:
// - Chromium draws through SwiftShader, which places multisample coverage
//   and edges of its own: 98.46-99.62 % of the pixels lie within 2 levels,
//   within 64 levels all but at most 7 pixels with 4 samples and 0.08 %
//   (180 pixels) without; the rest is single pixels on the edges of dots,
//   strokes and silhouettes (up to 114 levels with 4 samples, 224 without).
//   The paper, the tints and the flat areas match within 2 levels.
// - Firefox draws through Mesa's llvmpipe, as the capture does: every pixel
//   within 1 level.
// So a frame passes when enough of it lies within `level` levels (the
// tinted paper covers most of every frame: a shifted tint, a frame from
// another time, a flipped or scaled picture all fail) and few pixels lie
// further than `far` levels (a missing or misshapen shape of more than
// about 350 pixels, a 19-pixel square, fails at 640x360). What it
// lets through in Chromium: edge differences on up to 2 % of the pixels,
// and a small shape (a few dots, a thin short stroke) missing or moved.
const tolerances = {
  chromium: {level: 2, within: 0.98, far: 64, beyond: 0.0015},
  firefox: {level: 2, within: 0.995, far: 64, beyond: 0.0015},
};
const {level: levelTolerance} = tolerances[browser];

function compareFrames(a, b) {
  let within = 0, largest = 0, beyond = 0;
  const {far} = tolerances[browser];
  const histogram = new Array(256).fill(0);
  const diff = Buffer.alloc(a.width * a.height * 4);
  for (let p = 0; p < a.width * a.height; ++p) {
    const i = p * 4;
    const d = Math.max(Math.abs(a.data[i] - b.data[i]), Math.abs(a.data[i + 1] - b.data[i + 1]),
      Math.abs(a.data[i + 2] - b.data[i + 2]));
    ++histogram[d];
    if (d <= levelTolerance) ++within;
    if (d > far) ++beyond;
    if (d > largest) largest = d;
    // The picture of the differences: the capture dimmed to grey, and
    // red, the brighter the larger, where a pixel lies outside the level.
    const grey = (b.data[i] + b.data[i + 1] + b.data[i + 2]) / 6;
    if (d > levelTolerance) diff.set([Math.min(255, 96 + d * 2), 0, 0, 255], i);
    else diff.set([grey, grey, grey, 255], i);
  }
  return {share: within / (a.width * a.height), beyond: beyond / (a.width * a.height), largest, histogram,
          diff: {width: a.width, height: a.height, data: diff}};
}

// Share of pixels within 1, 2, 4, ... levels: what the tolerance is set from.
function spread(histogram, pixels) {
  const out = [];
  let sum = 0, next = 1;
  for (let d = 0; d < 256; ++d) {
    sum += histogram[d];
    if (d === next || d === 255) {
      out.push(`${d}:${((100 * sum) / pixels).toFixed(3)}%`);
      next *= 2;
    }
  }
  return out.join(' ');
}

async function frames({step, onCleanup}) {
  const capture = path.resolve(option('--capture', path.join(repo, 'build/es3/show/quorlaxen-capture')));
  const out = path.resolve(option('--out', path.join(repo, `build-web/test-output/frames-${browser}`)));
  const keep = rest.includes('--keep');
  check(fs.existsSync(capture), `no capture program ${capture} (scripts/setup.sh --fuzz builds build/es3)`);
  const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'quorlaxen-frames-'));
  onCleanup(() => fs.rmSync(scratch, {recursive: true, force: true}));
  fs.rmSync(out, {recursive: true, force: true});

  const session = await Session.start({site, browser});
  onCleanup(() => session.close());
  const failed = [];
  for (const f of frameSets) {
    const name = `t${f.t}-${f.width}x${f.height}${f.noaa ? '-noaa' : ''}${f.force169 ? '-force169' : ''}`;
    step(`${name}: the capture's frame`);
    const capturePng = path.join(scratch, `${name}.png`);
    execFileSync(capture, ['--gl', 'egl', '--quiet', '--at', String(f.t), '--size', `${f.width}x${f.height}`,
      ...(f.noaa ? ['--no-aa'] : []), ...(f.force169 ? ['--force-16-9'] : []), '-o', capturePng],
    {stdio: ['ignore', 'ignore', 'inherit'], timeout: 120_000});
    const captured = decodePng(fs.readFileSync(capturePng));

    step(`${name}: the browser's frame`);
    const shown = await withReport(session, async () => {
      await session.open(page.frameQuery(f.t, f.width, f.height, f));
      await session.waitState('ready', deadlines.frame);
      return session.canvasPixels();
    });
    check(shown.width === f.width && shown.height === f.height,
      `${name}: the canvas is ${shown.width}x${shown.height}, not ${f.width}x${f.height}`);
    // The page lays the canvas over its own background: a pixel that is
    // not opaque lets that show through.
    let translucent = 0;
    for (let i = 3; i < shown.data.length; i += 4) if (shown.data[i] !== 255) ++translucent;

    const c = compareFrames(shown, captured);
    const limit = tolerances[browser];
    const pass = c.share >= limit.within && c.beyond <= limit.beyond && translucent === 0;
    console.log(`${name}: ${(100 * c.share).toFixed(4)}% of pixels within ${limit.level} levels, ` +
      `${(100 * c.beyond).toFixed(4)}% beyond ${limit.far}, ` +
      `largest difference ${c.largest}${translucent ? `, ${translucent} pixels not opaque` : ''}` +
      ` (within 1,2,4,..: ${spread(c.histogram, f.width * f.height)})${pass ? '' : '  FAIL'}`);
    if (!pass || keep) {
      fs.mkdirSync(out, {recursive: true});
      fs.writeFileSync(path.join(out, `${name}-browser.png`), shown.png);
      fs.copyFileSync(capturePng, path.join(out, `${name}-capture.png`));
      fs.writeFileSync(path.join(out, `${name}-diff.png`), encodePng(c.diff));
    }
    if (!pass) failed.push(name);
  }
  step('the verdict');
  check(!failed.length, `frames outside the tolerance: ${failed.join(', ')}; browser, capture and difference pictures in ${out}`);
}

// Colours, mean level and a coarse key of a picture, on a 32x18 grid of its pixels.
function picture({width, height, data}) {
  const colours = new Set();
  let sum = 0, key = '';
  for (let y = 0; y < 18; ++y)
    for (let x = 0; x < 32; ++x) {
      const i = (Math.floor(((y + 0.5) * height) / 18) * width + Math.floor(((x + 0.5) * width) / 32)) * 4;
      colours.add((data[i] << 16) | (data[i + 1] << 8) | data[i + 2]);
      sum += (data[i] + data[i + 1] + data[i + 2]) / 3;
      key += String.fromCharCode(65 + (data[i] >> 4), 65 + (data[i + 1] >> 4), 65 + (data[i + 2] >> 4));
    }
  return {colours: colours.size, mean: sum / (32 * 18), key};
}

// --- the show from its dialog ---------------------------------------------

// The dialog's controls as the page shows them, with the screen's size.
async function readControls(session) {
  const controls = {};
  for (const [name, id] of Object.entries(page.ids)) {
    const handle = await session.page.$(page.control(id));
    if (!handle) continue;
    controls[name] = await handle.evaluate((e) => {
      // A check box may be drawn by its label alone (a push-like box).
      const label = (e.labels && e.labels[0]) || e.closest('label') || e;
      return {tag: e.tagName.toLowerCase(), type: e.type, text: (e.tagName === 'INPUT' ? label : e).textContent.trim(),
              checked: e.checked, visible: (e.tagName === 'INPUT' ? label : e).getClientRects().length > 0,
              options: e.tagName === 'SELECT' ? [...e.options].map((o) => o.textContent) : null,
              selected: e.tagName === 'SELECT' ? e.selectedIndex : null};
    });
  }
  controls.screen = await session.page.evaluate(() => ({width: screen.width, height: screen.height}));
  return controls;
}

// Presses Enter in the dialog and answers the page's full-screen question,
// should headless Chromium refuse full screen, with "Yes" (a window).
async function run(session, step) {
  await session.page.keyboard.press('Enter');
  const s = await session.until('the load to begin', (x) => x.state === 'loading' || x.state === 'running' || x.box,
    deadlines.loading, {boxes: true});
  if (s.box && /Windowed Mode/i.test(s.box.text)) {
    step(`the full-screen question ("${s.box.text}"): Yes`);
    await session.clickBoxButton('Yes');
  } else if (s.box) {
    throw new Error(`after Enter, a box: "${s.box.caption}" / "${s.box.text}"`);
  }
}

async function dialog({step, onCleanup}) {
  const session = await Session.start({site, browser});
  onCleanup(() => session.close());
  await session.watch();
  await withReport(session, async () => {
    step('the dialog and its controls');
    await session.open();
    await session.waitState('dialog', deadlines.dialog);
    const c = await readControls(session);
    const expect = {
      run: ['button', 'Run ...'], quit: ['button', 'Quit'], antialiased: ['checkbox', 'Antialiased', true],
      windowed: ['checkbox', 'Windowed', false], force169: ['checkbox', 'Force 16:9', true],
    };
    for (const [name, [kind, text, checked]] of Object.entries(expect)) {
      const e = c[name];
      check(e, `no control data-id=${page.ids[name]} (${text}) in ${page.dialog}`);
      check(e.visible, `"${text}" is not shown`);
      check(kind === 'button' ? e.tag === 'button' : e.type === 'checkbox', `"${text}" is a ${e.tag}/${e.type}, not a ${kind}`);
      check(e.text === text, `control ${page.ids[name]} says "${e.text}", not "${text}"`);
      if (checked !== undefined) check(e.checked === checked, `"${text}" is ${e.checked ? '' : 'not '}ticked at the start`);
    }
    const list = c.resolution;
    check(list && list.tag === 'select' && list.visible, 'no resolution list (a <select>)');
    check(list.options.length > 0, 'the resolution list is empty');
    const sizes = list.options.map((o) => {
      const m = /^\s*(\d+) x (\d+)/.exec(o);
      check(m, `resolution line "${o}" is not "W x H"`);
      return [+m[1], +m[2]];
    });
    for (const [w, h] of sizes)
      check(w <= c.screen.width && h <= c.screen.height, `${w} x ${h} is listed but the screen is ${c.screen.width} x ${c.screen.height}`);
    // The desktop's choice: 1280 x 720 where listed, else 1024 x 768, else the first line.
    const preferred = [[1280, 720], [1024, 768]].map(([w, h]) => sizes.findIndex(([a, b]) => a === w && b === h)).find((i) => i >= 0) ?? 0;
    check(list.selected === preferred, `line ${list.selected} ("${list.options[list.selected]}") is chosen, not "${list.options[preferred]}"`);
    console.log(`controls as expected; the list: ${list.options.map((o) => o.trim()).join(' | ')}`);

    step('Enter, the loading screen');
    await run(session, step);
    // While loading, also the compositor's picture: the page may draw its
    // loading screen outside an animation frame, where watch() sees nothing.
    const loadingShots = [];
    try {
      for (let s = await session.snapshot(); s.state === 'loading' && loadingShots.length < 20; s = await session.snapshot())
        loadingShots.push(picture(await session.canvasScreenshot(10_000)));
    } catch (error) {
      session.note(`while loading: ${error.message}`);
    }
    await session.waitState('running', deadlines.running);
    const states = (await session.watched()).states.filter((s) => s.name === 'data-state').map((s) => s.value);
    check(states.indexOf('loading') >= 0 && states.indexOf('loading') < states.indexOf('running'),
      `data-state went ${states.join(' -> ')}, not through "loading" to "running"`);

    step('frames and the music, for 7 s');
    // Nothing else is asked of the page meanwhile: a screenshot stalls
    // SwiftShader's frames for a while.
    const t0 = Date.now();
    await new Promise((r) => setTimeout(r, 7000));
    const w = await session.watched();
    const loading = w.frames.filter((f) => f.state === 'loading' && f.thumbnail);
    // The first second left out: the first frames compile shaders and load
    // textures on first use, and the clock takes a few frames to close on
    // the music from there.
    const all = w.frames.filter((f) => f.state === 'running');
    const running = all.filter((f) => f.t >= all[0].t + 1000);
    const stalled = running.find((f) => f.clocks && f.clocks.contextState && f.clocks.contextState !== 'running');
    check(!stalled, `the audio context is ${stalled?.clocks.contextState} while the show runs`);
    check(running.length >= 5, `${running.length} frames drawn in ${(Date.now() - t0) / 1000} s of running`);
    // The loading screen: a picture in black bands, not an empty canvas.
    const seen = [...loading.map((f) => f.thumbnail), ...loadingShots];
    check(seen.some((p) => p.colours >= 8 && p.mean > 10),
      seen.length ? `no picture while loading (colours: ${seen.map((p) => p.colours).join(',')})`
        : 'the canvas showed nothing while loading');
    const clocks = running.map((f) => f.clocks).filter((k) => k && typeof k.heard === 'number' && typeof k.show === 'number');
    check(clocks.length === running.length,
      `the page's clocks could not be read: ${JSON.stringify(running.find((f) => !f.clocks || f.clocks.error)?.clocks)}`);
    for (let i = 1; i < clocks.length; ++i)
      check(clocks[i].show >= clocks[i - 1].show, `the show time ran back: ${clocks[i - 1].show} then ${clocks[i].show}`);
    // The music must play (a stalled context keeps a show in step with
    // nothing). Headless Chromium's output device is a timer of its own,
    // which falls behind by up to a tenth when the machine is busy.
    const first = running[0], last = running.at(-1);
    const rate = (last.clocks.heard - first.clocks.heard) / ((last.t - first.t) / 1000);
    check(Math.abs(rate - 1) < 0.15, `the heard position ran at ${rate.toFixed(3)}x real time`);
    // Each frame's show time against the music heard while it is on the
    // screen, as the desktop's measure has it (docs/bench/av-sync.md): read
    // as the next frame begins, when the frame is shown. The clock draws a
    // frame for the end of its step, so read right after its drawing the
    // show leads by about a frame interval (printed, not judged).
    // The average judged leaves out the tenth at either end: a frame that
    // SwiftShader stalls on for a few hundred milliseconds (the machine's
    // other work) lags by that much whatever the clock does.
    const summary = (offsets) => {
      const sorted = [...offsets].sort((a, b) => a - b);
      const cut = Math.floor(sorted.length / 10);
      const kept = sorted.slice(cut, sorted.length - cut);
      const average = (list) => list.reduce((a, b) => a + b, 0) / list.length;
      const ms = (x) => (x * 1000).toFixed(1);
      return {mean: average(kept),
              text: `mean ${ms(average(sorted))} ms (${ms(average(kept))} without the tenth at either end), ` +
                    `min ${ms(sorted[0])}, median ${ms(sorted[sorted.length >> 1])}, max ${ms(sorted.at(-1))} ms`};
    };
    const shown = running.map((f) => f.begun).filter((k) => k && typeof k.heard === 'number' && typeof k.show === 'number');
    check(shown.length >= 5, `${shown.length} frames with the clocks read as they were shown`);
    const {mean, text} = summary(shown.map((k) => k.show - k.heard));
    const drawn = summary(clocks.map((k) => k.show - k.heard)).text;
    const intervals = running.slice(1).map((f, i) => f.t - running[i].t).sort((a, b) => a - b);
    console.log(`show time - music heard, ${shown.length} frames on the screen: ${text}; ` +
      `just drawn: ${drawn}; frame interval median ${intervals[intervals.length >> 1].toFixed(1)} ms; ` +
      `music heard at ${rate.toFixed(4)}x real time`);
    check(Math.abs(mean) <= 0.0334, `the frames are ${(mean * 1000).toFixed(1)} ms from the music on average (more than two frames)`);

    step('the pictures change');
    // The compositor's picture now and then, as a visitor sees it (Firefox
    // hands drawImage() the last presented frame, not the one just drawn).
    const shots = [];
    for (const t1 = Date.now(); Date.now() - t1 < 3000 || shots.length < 4;) {
      shots.push(picture(await session.canvasScreenshot()));
      await new Promise((r) => setTimeout(r, 500));
    }
    const keys = new Set(shots.map((p) => p.key));
    check(keys.size >= 3, `${shots.length} looks at the running show saw only ${keys.size} different pictures`);
  });
}

// --- Escape ---------------------------------------------------------------

async function escape({step, onCleanup}) {
  const session = await Session.start({site, browser});
  onCleanup(() => session.close());
  await session.watch();
  await withReport(session, async () => {
    await session.grantClipboard();
    step('the dialog, Enter');
    await session.open();
    await session.waitState('dialog', deadlines.dialog);
    // Something the show must replace, so a page that never writes is caught.
    await session.writeClipboard('untouched');
    await run(session, step);
    await session.waitState('running', deadlines.running);

    step('two middle clicks, then Escape');
    const box = await session.page.$eval(page.canvas, (c) => {
      const r = c.getBoundingClientRect();
      return {x: r.x, y: r.y, width: r.width, height: r.height};
    });
    const framesAfter = async (n) => {
      const start = (await session.watched()).total;
      const end = Date.now() + deadlines.running;
      while ((await session.watched()).total < start + n) {
        check(Date.now() < end, `no ${n} frames in ${deadlines.running / 1000} s`);
        await new Promise((r) => setTimeout(r, 50));
      }
    };
    // The pointer rests on each place for two frames first: the capture
    // records the cursor the last frame read.
    const places = [[0.3, 0.4], [0.7, 0.6]].map(([fx, fy]) => [box.x + box.width * fx, box.y + box.height * fy]);
    for (const [x, y] of places) {
      await session.page.mouse.move(x, y);
      await framesAfter(2);
      await session.page.mouse.click(x, y, {button: 'middle'});
      await framesAfter(2);
    }
    await session.thumbnails();
    const escaped = Date.now();
    await session.page.keyboard.press('Escape');
    const s = await session.until('the end', (x) => x.exit !== null, deadlines.exit, {exits: true});
    const took = (Date.now() - escaped) / 1000;
    check(s.exit === '0', `exit code ${s.exit} after Escape`);
    console.log(`data-exit="0" ${took.toFixed(2)} s after Escape`);

    step('the end: the last frame, the loop, the clipboard');
    const w = await session.watched();
    // The fade's last frame is its square at full strength: white.
    const last = w.frames.filter((f) => f.thumbnail).at(-1);
    check(last, 'no frame drawn after Escape');
    check(last.thumbnail.mean >= 250 && last.thumbnail.colours <= 2,
      `the last frame is not white (mean level ${last.thumbnail.mean.toFixed(0)}, ${last.thumbnail.colours} colours)`);
    const shown = (await session.clocks())?.show;
    await new Promise((r) => setTimeout(r, 1000));
    const later = (await session.clocks())?.show;
    check(shown === later, `the show clock still runs after the end (${shown} then ${later})`);
    const frames = (await session.watched()).total;
    await new Promise((r) => setTimeout(r, 500));
    check((await session.watched()).total === frames, 'frames are still drawn after the end');
    const after = await session.snapshot();
    check(!after.box, `a box after the end: "${after.box?.caption}" / "${after.box?.text}"`);

    const text = await session.readClipboard();
    const number = '[-+0-9.einfa]+';
    const one = `Cam :${number},${number},${number}  \\nPnt :${number},${number},${number}  \\n \\nMCr :${number},${number},${number}  \\n \\n`;
    check(new RegExp(`^(${one}){2}$`).test(text), `the clipboard holds ${JSON.stringify(text)}, not two captures`);
    console.log(`the clipboard: ${JSON.stringify(text)}`);
    // The mouse values as the desktop reckons them from the cursor: 7 units
    // from the middle of an 800x600 area to its edges.
    const cams = [...text.matchAll(/Cam :([^,]+),([^,]+),/g)].map((m) => [+m[1], +m[2]]);
    places.forEach(([x, y], i) => {
      const want = [((x - 400) * 7) / 400, ((y - 300) * 7) / 300];
      check(Math.abs(cams[i][0] - want[0]) < 0.02 && Math.abs(cams[i][1] - want[1]) < 0.03,
        `capture ${i + 1} at (${x}, ${y}) holds the mouse values ${cams[i]}, not ${want.map((v) => v.toFixed(3))}`);
    });
  });
}

// --- failure roads ----------------------------------------------------------

// Opens the site (a copy that lacks what `prepare` takes out), runs the
// show (through its dialog where one comes first) and expects one box and
// then the end.
// `later`: the captions of boxes that may follow the first (each answered
// with OK) before the end.
async function road({step, onCleanup}, {prepare, beforeLoad, flags = [], caption, text, exit = '0', requests, later = null}) {
  let served = site;
  if (prepare) {
    served = copySite(site);
    onCleanup(() => fs.rmSync(served, {recursive: true, force: true}));
    step(`the site copy: ${prepare(served)}`);
  }
  const session = await Session.start({site: served, flags});
  onCleanup(() => session.close());
  await withReport(session, async () => {
    step('the page');
    if (beforeLoad) await session.page.evaluateOnNewDocument(beforeLoad);
    await session.open();
    const first = await session.until('the dialog or a box', (x) => x.state === 'dialog' || x.box, deadlines.dialog,
      {boxes: true, exits: true});
    if (!first.box && first.exit === null) {
      step('Enter');
      await session.page.keyboard.press('Enter');
    }
    step('the box');
    const box = await session.waitBox();
    console.log(`box: ${JSON.stringify(box.caption)} / ${JSON.stringify(box.text)} [${box.buttons.join(', ')}]`);
    check(caption.test(box.caption), `the box's caption is "${box.caption}", expected ${caption}`);
    check(text.test(box.text), `the box's text is "${box.text}", expected ${text}`);
    check(box.buttons.length === 1 && box.buttons[0] === 'OK', `the box's buttons are [${box.buttons.join(', ')}], not [OK]`);
    const before = await session.snapshot();
    check(before.exit === null, `the program ended (exit ${before.exit}) before its box was answered`);
    check(before.state !== 'running', 'the show runs behind its failure box');
    step('OK, the end');
    await session.clickBoxButton('OK');
    for (let n = 0; ; ++n) {
      const s = await session.until('the end', (x) => x.exit !== null || x.box, deadlines.exit, {boxes: true, exits: true});
      if (!s.box) break;
      console.log(`then: ${JSON.stringify(s.box.caption)} / ${JSON.stringify(s.box.text)} [${s.box.buttons.join(', ')}]`);
      check(later && later.test(s.box.caption) && n < 3, `another box before the end: "${s.box.caption}" / "${s.box.text}"`);
      await session.clickBoxButton('OK');
    }
    const code = await session.waitExit();
    check(code === exit, `exit code ${code}, expected ${exit}`);
    if (requests) requests(session.server.requests);
  });
}

function missing_texture(c) {
  return road(c, {
    prepare: (copy) => removeFromSite(copy, 'textures/paper 1a.jpg'),
    caption: /^Jpg$/, text: /paper 1a\.jpg/,
  });
}

function missing_effect(c) {
  return road(c, {
    prepare: (copy) => removeFromSite(copy, 'cgeffects/f_0'),
    caption: /File is missing !/, text: /f_0/,
  });
}

function no_music(c) {
  return road(c, {
    prepare: (copy) => {
      const music = findInSite(copy, /\.mp3$/i);
      check(music.length === 2, `the site holds ${music.length} music files, not 2: ${music.join(', ')}`);
      music.forEach((m) => fs.rmSync(path.join(copy, m)));
      return `deleted ${music.join(', ')}`;
    },
    caption: /^Quorlaxen\s*$/, text: /No sound file\./,
    // Both versions asked for: the chosen one, then the other.
    requests: (log) => {
      const asked = new Set(log.filter((r) => /\.mp3$/i.test(decodeURIComponent(r.url).split('?')[0])).map((r) => r.url));
      check(asked.size === 2, `the page asked for ${asked.size} music files (${[...asked].join(', ')}), not both`);
    },
  });
}

// A browser with no sound output to offer (no Web Audio): the desktop's
// message for a sound system that cannot start, and its exit code 1.
function no_audio(c) {
  return road(c, {
    beforeLoad: () => {
      delete window.AudioContext;
      delete window.webkitAudioContext;
    },
    caption: /^Quorlaxen\s*$/, text: /Problem initializing FMod\./, exit: '1',
  });
}

function no_webgl(c) {
  return road(c, {
    flags: ['--disable-webgl'],
    caption: /./, text: /WebGL\s*2/i,
    // The desktop's own boxes for a context that cannot be made.
    later: /^ERROR$/,
  });
}

process.exitCode = await runCase(`web.${caseName}${browser === 'firefox' ? '.firefox' : ''}`, cases[caseName]);
