// The page in Chromium and Firefox: the same bytes as plimbar-render, the
// same session as the native core, the same picture, every feature, bad
// input, and no request beyond the page itself. One browser launch per
// browser; the bulk work runs inside the page.
import assert from 'node:assert/strict';
import crypto from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';
import { execFileSync } from 'node:child_process';
import { after, before, describe, it } from 'node:test';
import {
  artifacts, browsers, formats, hookFiles, lastDelivered, launch, load, nativeRenders, pageUrl, random,
  renderPath, replayPath, root, shotsDir, tempDir,
} from './harness.mjs';
import { keys, patchText, readSteps } from './tables.mjs';

const sha = (bytes) => `${crypto.createHash('sha256').update(bytes).digest('hex')}:${bytes.length}`;
const examples = (dir) => fs.readdirSync(path.join(root, dir)).filter((n) => n.endsWith('.plb')).sort()
  .map((name) => ({ name, bytes: fs.readFileSync(path.join(root, dir, name)) }));

// Random patches weighted toward what breaks things: noise, deep FM, values
// out of range and text where numbers belong (the reader clamps and defaults).
function randomPatches(count, seed) {
  const r = random(seed);
  const pick = (k) => {
    const x = r();
    if (x < 0.03) return ['abc', '', ' 42xyz', '-7'][Math.floor(r() * 4)];
    if (x < 0.06) return r() < 0.5 ? keys[k].max + 1 + Math.floor(r() * 300) : -1 - Math.floor(r() * 50);
    if (keys[k].stem === 'WaveForm' && r() < 0.3) return 3;
    return keys[k].min + Math.floor(r() * (keys[k].max - keys[k].min + 1));
  };
  return Array.from({ length: count }, (_, i) => {
    const values = Array.from({ length: 9 }, () => keys.map((_, k) => pick(k)));
    const time = r() < 0.05 ? [0, 150, 'x'][i % 3] : 1 + Math.floor(r() * 100);
    return { name: `random-${i}.plb`, bytes: Buffer.from(patchText(values, time), 'latin1') };
  });
}

// In the page: each patch opened in a fresh session (as plimbar-render
// renders it), then exported in every format; the digests of the WAVs.
async function pageExports(page, patches) {
  return page.evaluate(async (list, fmts) => {
    const P = window.PlimbarPage;
    const id = DIALOGS.ids;
    const rateId = { 44100: id.IDM_RATE_44K, 22050: id.IDM_RATE_22K, 11025: id.IDM_RATE_11K };
    const bitsId = { 16: id.IDM_BITS_16, 8: id.IDM_BITS_8 };
    const out = [];
    for (const { name, b64 } of list) {
      await P.commands.exit();
      localStorage.clear();
      await P.commands.startAgain();
      await P.commands.openFile(new File([Uint8Array.from(atob(b64), (c) => c.charCodeAt(0))], name));
      const digests = [];
      for (const { rate, bits } of fmts) {
        await P.command(rateId[rate]);
        await P.command(bitsId[bits]);
        window.nextName = name.replace(/\.plb$/, '');
        await P.commands.exportWav();
        const { bytes } = window.delivered.pop();
        const hash = new Uint8Array(await crypto.subtle.digest('SHA-256', bytes));
        digests.push(`${Array.from(hash, (b) => b.toString(16).padStart(2, '0')).join('')}:${bytes.length}`);
      }
      out.push(digests);
    }
    return out;
  }, patches.map((p) => ({ name: p.name, b64: p.bytes.toString('base64') })), formats);
}

// Canvas pixels that differ from a fresh drawing of the core, per view.
const pictureDifferences = (page) => page.evaluate(async () => {
  const out = {};
  for (const view of ['wave', 'volume', 'pitch']) {
    const canvas = document.getElementById(`view-${view}`);
    const shown = new Uint32Array(canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data.buffer);
    const core = new Uint32Array((await window.PlimbarPage.call('draw', { view })).result);
    out[view] = shown.length !== core.length ? -1 : shown.reduce((n, v, i) => n + (v !== core[i]), 0);
  }
  return out;
});
const noDifferences = { wave: 0, volume: 0, pitch: 0 };

const stepsFile = path.join(root, 'tests/data/session/every-kind.steps');

for (const which of browsers) {
  describe(which, () => {
    let b;
    let page;
    before(async () => {
      b = await launch(which);
      page = await b.open();
      await hookFiles(page);
    });
    after(async () => { if (b) await b.close(); });

    it('exports the bytes plimbar-render writes, for every patch and format', { timeout: 900000 }, async () => {
      const patches = [...examples('examples'), ...examples('tests/data/render'), ...randomPatches(100, 20)];
      const dir = tempDir('renders');
      nativeRenders(patches, dir);
      const got = await pageExports(page, patches);
      patches.forEach((p, i) => formats.forEach(({ rate, bits }, f) => {
        const want = sha(fs.readFileSync(path.join(dir, `${rate}-${bits}`, p.name.replace(/\.plb$/, '.wav'))));
        assert.equal(got[i][f], want, `${p.name} at ${rate} Hz, ${bits} bits`);
      }));
      fs.rmSync(dir, { recursive: true, force: true });
    });

    it('carries out the session steps as the native core does, showing the core\'s pictures', { timeout: 300000 }, async () => {
      const steps = readSteps(stepsFile);
      await page.evaluate(async () => {
        await window.PlimbarPage.commands.exit();
        localStorage.clear();
        await window.PlimbarPage.commands.startAgain();
      });
      const out = path.join(process.env.PLIMBAR_WEB_SESSION_OUT || tempDir('session'), which);
      fs.rmSync(out, { recursive: true, force: true });
      fs.mkdirSync(out, { recursive: true });
      const renders = new Set(['start', 'render', 'test', 'wave', 'rate', 'bits']);
      let previous = 'start';
      for (const s of steps) {
        await page.evaluate(async (step) => {
          const P = window.PlimbarPage;
          const ids = DIALOGS.ids;
          const el = (id) => document.getElementById(`c${id}`);
          const menu = (id) => document.querySelector(`[data-command="${id}"]`).click();
          const key = (k, shift) => document.dispatchEvent(new KeyboardEvent('keydown',
            { key: k, code: `Key${k.toUpperCase()}`, ctrlKey: true, shiftKey: shift, bubbles: true }));
          const a = step.action;
          if (a === 'osc') el(DIALOGS.editor.oscButtons[step.value - 1]).click();
          else if (a === 'scroll') P.bars[step.bar].send(step.code, step.value);
          else if (a === 'mute') { const m = el(ids.IDC_MUTE); m.checked = step.value === 1; m.dispatchEvent(new Event('change')); }
          else if (a === 'wave') { const w = el(ids.IDC_WAVEFORM); w.selectedIndex = step.value; w.dispatchEvent(new Event('change')); }
          else if (a === 'copy') menu(ids.IDM_COPY);
          else if (a === 'paste') menu(ids.IDM_PASTE);
          else if (a === 'undo') key('z', false);
          else if (a === 'redo') key(step.line % 2 ? 'y' : 'z', step.line % 2 === 0);
          else if (a === 'render') P.command(ids.IDOK);
          else if (a === 'test') await P.commands.test();
          else if (a === 'rate') menu({ 44100: ids.IDM_RATE_44K, 22050: ids.IDM_RATE_22K, 11025: ids.IDM_RATE_11K }[step.value]);
          else if (a === 'bits') menu(step.value === 16 ? ids.IDM_BITS_16 : ids.IDM_BITS_8);
          else if (a === 'export') { window.nextName = step.name; await P.commands.exportWav(); }
          await P.idle();
        }, s);
        if (s.action === 'export') {
          const { name, bytes } = await lastDelivered(page);
          assert.equal(name, `${s.name}.wav`);
          fs.writeFileSync(path.join(out, name), bytes);
          // The waveform view shows the last render, as the program's does
          // until it renders again: compared after the steps that render.
          const d = await pictureDifferences(page);
          if (!renders.has(previous)) delete d.wave;
          assert.deepEqual(d, renders.has(previous) ? noDifferences : { volume: 0, pitch: 0 }, `the views after line ${s.line}`);
        } else {
          previous = s.action;
        }
      }
      const native = tempDir('replay');
      execFileSync(replayPath, [stepsFile, native]);
      for (const s of steps.filter((x) => x.action === 'export')) {
        const name = `${s.name}.wav`;
        assert.ok(fs.readFileSync(path.join(out, name)).equals(fs.readFileSync(path.join(native, name))), `export ${name}`);
      }
      fs.rmSync(native, { recursive: true, force: true });
    });

    it('places every control where the program has it', { timeout: 120000 }, async (t) => {
      const controls = path.join(shotsDir, 'controls.txt');
      const bmp = path.join(shotsDir, 'program.bmp');
      if (!fs.existsSync(controls) || !fs.existsSync(bmp)) {
        t.skip(`no ${controls} or ${bmp}: the program's end-to-end test has not run`);
        return;
      }
      await page.evaluate(() => { localStorage.clear(); });
      await load(page);
      const rects = await page.evaluate(() => {
        const c = document.getElementById('client').getBoundingClientRect();
        const at = (el) => { const r = el.getBoundingClientRect(); return [r.left - c.left, r.top - c.top, r.width, r.height].map(Math.round); };
        return {
          controls: [...document.querySelectorAll('#client > .ctl')].sort((x, y) => x.dataset.index - y.dataset.index)
            .map((el) => [Number(el.dataset.id || -1), el.dataset.cls, ...at(el)]),
          views: Object.fromEntries(['wave', 'pitch', 'volume'].map((v) => [v, at(document.getElementById(`view-${v}`))])),
        };
      });
      const lines = fs.readFileSync(controls, 'utf8').trim().split(/\r?\n/).map((l) => l.trim().split(/\s+/));
      const views = { WaveWnd: 'wave', PitchWnd: 'pitch', VolWnd: 'volume' };
      const program = lines.filter((l) => l[0] !== 'view');
      assert.equal(rects.controls.length, program.length);
      program.forEach((l, i) => assert.deepEqual(rects.controls[i].slice(2), l.slice(2).map(Number), `control ${i}: ${l.join(' ')}`));
      // A view has its frame's client size and lies inside the frame's border.
      for (const l of lines.filter((x) => x[0] === 'view')) {
        const [x, y, w, h] = rects.views[views[l[1]]];
        const [px, py, pw, ph] = l.slice(2).map(Number);
        assert.deepEqual([w, h], [pw, ph], l.join(' '));
        assert.ok(Math.abs(x - px) <= 1 && Math.abs(y - py) <= 1, `${l.join(' ')}: the page has it at ${x} ${y}`);
      }
      fs.mkdirSync(artifacts, { recursive: true });
      const shot = path.join(artifacts, `page-${which}.png`);
      await (await page.$('#client')).screenshot({ path: shot });
      execFileSync('convert', [bmp, shot, '+append', path.join(artifacts, which === 'chrome' ? 'side-by-side.png' : `side-by-side-${which}.png`)]);
    });

    it('opens, saves, exports, drops, undoes, keeps and shares as the program would', { timeout: 300000 }, async () => {
      await page.evaluate(() => { localStorage.clear(); });
      await load(page);
      await hookFiles(page);
      const state = () => page.evaluate(async () => { await window.PlimbarPage.idle(); return window.PlimbarPage.state(); });
      const text = (id) => page.$eval(`#c${id}`, (el) => el.textContent);
      const kick = fs.readFileSync(path.join(root, 'examples/kick.plb'));
      const kickTime = Number(/^Time=(\d+)/m.exec(kick.toString())[1]);

      // Open (the picker's handler), then Save writes the same values under its name.
      await page.evaluate(async (b64) => {
        await window.PlimbarPage.commands.openFile(new File([Uint8Array.from(atob(b64), (c) => c.charCodeAt(0))], 'kick.plb'));
      }, kick.toString('base64'));
      assert.equal(await text(1020), String(kickTime * 20));
      await page.evaluate(() => window.PlimbarPage.commands.save());
      const saved = await lastDelivered(page);
      assert.equal(saved.name, 'kick.plb');
      const valuesOf = (t) => Object.fromEntries([...t.matchAll(/^(\w+?\d?)=(-?\d+)\r?$/gm)].map((m) => [m[1], m[2]]));
      assert.deepEqual(valuesOf(saved.bytes.toString()), { ...valuesOf(kick.toString()), Version: '20' });
      // Save As and Export propose the program's names; a cancel writes nothing.
      await page.evaluate(async () => {
        window.nextName = null;
        await window.PlimbarPage.commands.exportWav();
        window.nextName = 'copy';
        await window.PlimbarPage.commands.saveAs();
      });
      assert.deepEqual(await page.evaluate(() => window.askedNames), [['wav', 'kick.wav'], ['plb', 'kick.plb']]);
      assert.equal((await lastDelivered(page)).name, 'copy.plb');

      // Keys, from the real keyboard: a scroll undone and redone, copy and
      // paste, Cmd as Ctrl, Enter on an OSC button selects it.
      await page.focus('#c1001');
      await page.keyboard.press('Home');
      await page.keyboard.press('End');
      assert.equal((await state()).positions[9], kickTime, 'Home and End move nothing');
      await page.keyboard.press('PageUp');
      assert.equal((await state()).positions[9], kickTime - 10);
      await page.keyboard.down('Control'); await page.keyboard.press('z'); await page.keyboard.up('Control');
      assert.equal((await state()).positions[9], kickTime);
      await page.keyboard.down('Control'); await page.keyboard.down('Shift'); await page.keyboard.press('Z');
      await page.keyboard.up('Shift'); await page.keyboard.up('Control');
      assert.equal((await state()).positions[9], kickTime - 10);
      await page.keyboard.down('Meta'); await page.keyboard.press('z'); await page.keyboard.up('Meta');
      assert.equal((await state()).positions[9], kickTime);
      await page.keyboard.down('Control'); await page.keyboard.press('c'); await page.keyboard.up('Control');
      await page.focus('#c1023');
      await page.keyboard.press('Enter');
      assert.equal((await state()).currentOsc, 1);
      await page.keyboard.down('Control'); await page.keyboard.press('v'); await page.keyboard.up('Control');
      const osc2 = await state();
      assert.deepEqual(osc2.positions.slice(0, 9), (await page.evaluate(async () => {
        await window.PlimbarPage.call('select', { n: 0 }); return window.PlimbarPage.state().positions.slice(0, 9);
      })));
      // Enter elsewhere is Test: the sound handed to Web Audio is the export's.
      await page.evaluate(() => {
        window.played = [];
        window.PlimbarPage.platform.play = async (pcm, rate, bits) => {
          const ctx = new OfflineAudioContext(1, 1, rate);
          window.played.push({ rate, bits, samples: Array.from(window.PlimbarPage.makeAudioBuffer(ctx, new Uint8Array(pcm), rate, bits).getChannelData(0).slice(0, 4000)) });
        };
      });
      await page.focus('#c1001');
      await page.keyboard.press('Enter');
      await page.evaluate(async () => { window.nextName = 'played'; await window.PlimbarPage.commands.exportWav(); });
      const wav = (await lastDelivered(page)).bytes;
      const played = await page.evaluate(() => window.played);
      assert.equal(played.length, 1);
      assert.equal(played[0].rate, wav.readUInt32LE(24));
      played[0].samples.forEach((v, i) => assert.equal(v, wav.readInt16LE(44 + 2 * i) / 32768));

      // F1 shows the help text inside the page; the about box stays on Esc.
      await page.keyboard.press('F1');
      assert.ok(await page.$eval('#help', (d) => d.open && d.textContent.includes('PlimbarMaker ヘルプ')));
      await page.$eval('#help', (d) => d.close());
      await page.evaluate(() => window.PlimbarPage.command(DIALOGS.ids.IDM_ABOUT));
      await page.keyboard.press('Escape');
      assert.ok(await page.$eval('#about', (d) => d.open));
      await page.keyboard.press('Enter');
      assert.ok(!(await page.$eval('#about', (d) => d.open)));

      // A dropped file opens; the working patch survives a reload.
      await page.evaluate(async (b64) => {
        const dt = new DataTransfer();
        dt.items.add(new File([Uint8Array.from(atob(b64), (c) => c.charCodeAt(0))], 'snare.plb'));
        document.body.dispatchEvent(new DragEvent('drop', { dataTransfer: dt, bubbles: true, cancelable: true }));
      }, fs.readFileSync(path.join(root, 'examples/snare.plb')).toString('base64'));
      await page.waitForFunction(() => document.getElementById('status').textContent.includes('snare.plb'));
      const snare = await state();
      await page.evaluate(() => window.PlimbarPage.command(DIALOGS.ids.IDM_RATE_22K));
      await load(page);
      const at22 = { ...snare, rate: 22050, rateChecked: [0, 1, 0], pcmBytes: snare.pcmBytes / 2, canUndo: 0, canRedo: 0 };
      assert.deepEqual(await state(), at22);
      assert.equal(await page.$eval('[role=menuitemradio][aria-checked=true]', (el) => el.textContent), '22KHz');

      // A share link opens the same patch and format, as a load, and leaves the address.
      const url = await page.evaluate(() => window.PlimbarPage.commands.linkUrl());
      await page.evaluate(() => { localStorage.clear(); });
      await page.goto('about:blank');  // a fresh page, not a jump within this one
      await load(page, url);
      assert.deepEqual(await state(), at22);
      assert.equal(await page.evaluate(() => location.hash), '');

      // English beside Japanese, kept between visits; the Japanese is the .rc's.
      await page.select('#language', 'en');
      assert.equal(await text(1004), 'Test');
      await load(page);
      assert.equal(await text(1004), 'Test');
      await page.select('#language', 'ja');
      const rc = fs.readFileSync(path.join(root, 'resources/plimbar.rc'), 'utf8');
      for (const [id, name] of [[1004, 'IDC_TEST'], [2, 'IDCANCEL'], [1032, 'IDC_MUTE']])
        assert.equal(await page.$eval(`#c${id}`, (el) => el.closest('.ctl').textContent), new RegExp(`CONTROL "([^"]+)", ${name},`).exec(rc)[1]);
      assert.equal(await page.$eval('.menu-title', (el) => el.textContent), 'ﾌｧｲﾙ(F)');
    });

    it('names every control for assistive technology', { timeout: 60000 }, async () => {
      // What a screen reader finds, by role and name, through the browser's
      // accessibility tree: each bar by its caption, each button, the box,
      // the list, the views and the menu, all named from the .rc.
      const rc = fs.readFileSync(path.join(root, 'resources/plimbar.rc'), 'utf8');
      const main = rc.slice(rc.indexOf('IDD_MAIN DIALOGEX'), rc.indexOf('IDR_MAIN_MENU MENU'));
      const lines = [...main.matchAll(/CONTROL "([^"]*)", (-?\w+), "(\w+)", ([^,]*)/g)];
      const want = [];
      lines.forEach(([, text, , cls, style], i) => {
        if (cls === 'SCROLLBAR') want.push(['slider', lines[i - 1][1]]);
        else if (cls === 'BUTTON' && !style.includes('GROUPBOX')) want.push([style.includes('CHECKBOX') ? 'checkbox' : 'button', text]);
      });
      want.push(['combobox', '波形の種類'], ['image', '波形のグラフ'], ['image', '音量のグラフ'], ['image', '音程のグラフ']);
      for (const [, caption] of rc.matchAll(/POPUP "([^"]+)"/g)) want.push(['menuitem', caption.replace('&', '')]);
      const found = await Promise.all(want.map(([role, name]) => page.$(`aria/${name}[role="${role}"]`)));
      const missing = want.filter((_, i) => !found[i]).map(([role, name]) => `${role} ${name}`);
      assert.deepEqual(missing, []);
      assert.equal(want.filter(([r]) => r === 'slider').length, 10);
    });

    it('answers bad links and bad files in one line and keeps the working patch', { timeout: 120000 }, async () => {
      const state = () => page.evaluate(async () => { await window.PlimbarPage.idle(); return window.PlimbarPage.state(); });
      const before = await state();
      const statusText = () => page.$eval('#status', (el) => el.textContent);
      for (const [hash, words] of [['#plimbar=not.a.link', '壊れて'], ['#plimbar=FAB4yZMq', '途中で切れて'], ['#plimbar=GAB4', '知らない版']]) {
        await load(page, `${pageUrl}${hash}`);  // the same document after the first: a hashchange
        await page.waitForFunction((w) => document.querySelector('#status').textContent.includes(w), { timeout: 10000 }, words)
          .catch(() => {});
        assert.ok((await statusText()).includes(words), `${hash}: ${await statusText()}`);
        assert.deepEqual(await state(), { ...before, canUndo: 0, canRedo: 0 });
      }
      const open = (bytes, name) => page.evaluate(async (b64, n) => window.PlimbarPage.commands.openFile(
        new File([Uint8Array.from(atob(b64), (c) => c.charCodeAt(0))], n)), bytes.toString('base64'), name);
      // Junk loads as the program loads it: what the file lacks takes its default.
      assert.ok(await open(Buffer.from('\u0000\u00ffjunk\n[Setting]\nTune1=abc\nTime=9999\n', 'latin1'), 'junk.plb'));
      const junk = await state();
      assert.equal(junk.positions[0], 0);
      assert.equal(junk.positions[9], 100);
      assert.equal(junk.positions[4], keys[4].defaultFirst);
      assert.ok(await open(crypto.randomBytes(1 << 20), 'random.plb'));
      assert.deepEqual((await state()).positions, [60, 50, 50, 50, 80, 0, 0, 100, 50, 50]);
      const kept = await state();
      assert.ok(!(await page.evaluate(async () => window.PlimbarPage.commands.openFile(new File([new Uint8Array(16 * 1024 * 1024 + 1)], 'huge.plb')))));
      assert.ok((await statusText()).includes('16 MiB'));
      assert.deepEqual(await state(), kept);
      // Junk where the settings are kept starts as a bad settings file does.
      await page.evaluate(() => localStorage.setItem('plimbar.settings', '\u0000\u00ff[format]\nfreq=48000\n[Setting]\nTune1=x'));
      await load(page);
      assert.deepEqual(await state(), {
        currentOsc: 0, positions: [0, 50, 50, 50, 80, 0, 0, 100, 50, 50], mute: 0, waveForm: 0, rateChecked: [1, 0, 0],
        bitsChecked: [1, 0], playing: 0, rate: 44100, bits: 16, pcmBytes: 88200, canUndo: 0, canRedo: 0 });
      assert.deepEqual(b.errors, []);
    });

    it('renders the worst case without freezing the page', { timeout: 120000 }, async () => {
      const worst = patchText(Array.from({ length: 9 }, () => [0, 0, 50, 50, 100, 0, 0, 100, 50, 50, 0, 3]), 100);
      const ticks = await page.evaluate(async (text) => {
        let n = 0;
        const timer = setInterval(() => { n += 1; }, 5);
        const done = window.PlimbarPage.call('bench', { patches: [{ name: 'worst.plb', bytes: new TextEncoder().encode(text).buffer }], repeats: 2 });
        await new Promise((r) => setTimeout(r, 60));
        const during = n;
        await done;
        clearInterval(timer);
        return during;
      }, worst);
      assert.ok(ticks >= 3, `the page's timer ran ${ticks} times during the render`);
    });

    it('asked the network for nothing', () => {
      const outside = b.requests.filter((u) => !/^(file|data|blob|about):/.test(u));
      assert.deepEqual(outside, []);
    });
  });
}
