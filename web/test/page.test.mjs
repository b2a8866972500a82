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

// The menu commands of the formats, by rate and by bits.
const formatCommand = { 44100: 'IDM_RATE_44K', 22050: 'IDM_RATE_22K', 11025: 'IDM_RATE_11K', 16: 'IDM_BITS_16', 8: 'IDM_BITS_8' };

// In the page: each patch opened in a fresh session (as plimbar-render
// renders it), then exported in every format; the digests of the WAVs.
async function pageExports(page, patches) {
  return page.evaluate(async (list, fmts, command) => {
    const P = window.PlimbarPage;
    const out = [];
    for (const { name, b64 } of list) {
      await P.commands.exit();
      localStorage.clear();
      await P.commands.startAgain();
      await P.commands.openFile(new File([Uint8Array.from(atob(b64), (c) => c.charCodeAt(0))], name));
      const digests = [];
      for (const { rate, bits } of fmts) {
        await P.command(DIALOGS.ids[command[rate]]);
        await P.command(DIALOGS.ids[command[bits]]);
        window.nextName = name.replace(/\.plb$/, '');
        await P.commands.exportWav();
        const { bytes } = window.delivered.pop();
        const hash = new Uint8Array(await crypto.subtle.digest('SHA-256', bytes));
        digests.push(`${Array.from(hash, (b) => b.toString(16).padStart(2, '0')).join('')}:${bytes.length}`);
      }
      out.push(digests);
    }
    return out;
  }, patches.map((p) => ({ name: p.name, b64: p.bytes.toString('base64') })), formats, formatCommand);
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

// The core's names of the kinds and strengths, from its one table
// (editor/variations.cpp): [cli, japanese, english].
const variationNames = fs.readFileSync(path.join(root, 'editor/variations.cpp'), 'utf8');
const kindNames = [...variationNames.matchAll(/\{\{"([\w-]+)", "([^"]+)", "([^"]+)"\}/g)].map((m) => m.slice(1));
const strengthNames = [...variationNames.match(/kStrengthNameTable[^=]*=\s*\{([^;]*)\};/)[1]
  .matchAll(/\{"(\w+)", "([^"]+)", "([^"]+)"\}/g)].map((m) => m.slice(1));
// The page loaded afresh, with nothing kept; bytes opened in it as a picked
// file; the state the session shows; keys pressed on the real keyboard.
async function freshStart(page) {
  await page.evaluate(() => localStorage.clear());
  await load(page);
  await hookFiles(page);
}
const openIn = (page, bytes, name) => page.evaluate(async (b64, n) => window.PlimbarPage.commands.openFile(
  new File([Uint8Array.from(atob(b64), (c) => c.charCodeAt(0))], n)), bytes.toString('base64'), name);
const stateOf = (page) => page.evaluate(async () => { await window.PlimbarPage.idle(); return window.PlimbarPage.state(); });
const pressKeys = async (page, held, key) => {
  for (const k of held) await page.keyboard.down(k);
  await page.keyboard.press(key);
  for (const k of [...held].reverse()) await page.keyboard.up(k);
};

for (const which of browsers) {
  describe(which, () => {
    let b, page;
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
      await freshStart(page);
      const native = tempDir('replay');
      execFileSync(replayPath, [stepsFile, native]);
      const out = path.join(process.env.PLIMBAR_WEB_SESSION_OUT || tempDir('session'), which);
      fs.rmSync(out, { recursive: true, force: true });
      fs.mkdirSync(out, { recursive: true });
      const renders = new Set(['start', 'render', 'test', 'wave', 'rate', 'bits']);
      let previous = 'start';
      for (const s of steps) {
        await page.evaluate(async (step, command) => {
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
          else if (a === 'copy' || a === 'paste' || a === 'undo') key({ copy: 'c', paste: 'v', undo: 'z' }[a], false);
          else if (a === 'redo') key(step.line % 2 ? 'y' : 'z', step.line % 2 === 0);
          else if (a === 'render') P.command(ids.IDOK);
          else if (a === 'test') await P.commands.test();
          else if (a === 'rate' || a === 'bits') menu(ids[command[step.value]]);
          else if (a === 'export') { window.nextName = step.name; await P.commands.exportWav(); }
          await P.idle();
        }, s, formatCommand);
        if (s.action === 'export') {
          const { name, bytes } = await lastDelivered(page);
          assert.equal(name, `${s.name}.wav`);
          fs.writeFileSync(path.join(out, name), bytes);
          assert.ok(bytes.equals(fs.readFileSync(path.join(native, name))), `export ${name}`);
          // The waveform view shows the last render, as the program's does
          // until it renders again: compared after the steps that render.
          const d = await pictureDifferences(page);
          assert.deepEqual({ ...d, wave: renders.has(previous) ? d.wave : 0 }, noDifferences, `the views after line ${s.line}`);
        } else {
          previous = s.action;
        }
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
      await freshStart(page);
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
      await freshStart(page);
      const state = () => stateOf(page);
      const text = (id) => page.$eval(`#c${id}`, (el) => el.textContent);
      const kick = fs.readFileSync(path.join(root, 'examples/kick.plb'));
      const kickTime = Number(/^Time=(\d+)/m.exec(kick.toString())[1]);

      // Open (the picker's handler), then Save writes under its name what Save As
      // writes (which the variations' test compares with plimbar-render's).
      await openIn(page, kick, 'kick.plb');
      assert.equal(await text(1020), String(kickTime * 20));
      await page.evaluate(() => window.PlimbarPage.commands.save());
      const saved = await lastDelivered(page);
      assert.equal(saved.name, 'kick.plb');
      // Save As and Export propose the program's names; a cancel writes nothing.
      await page.evaluate(async () => { await window.PlimbarPage.commands.exportWav(); window.nextName = 'copy'; await window.PlimbarPage.commands.saveAs(); });
      assert.deepEqual(await page.evaluate(() => window.askedNames), [['wav', 'kick.wav'], ['plb', 'kick.plb']]);
      assert.deepEqual(await lastDelivered(page), { name: 'copy.plb', bytes: saved.bytes });

      // Keys, from the real keyboard: a bar's, Enter on an OSC button selects
      // it (the session steps press the program's accelerators).
      await page.focus('#c1001');
      for (const key of ['Home', 'End', 'PageUp']) await page.keyboard.press(key);
      assert.equal((await state()).positions[9], kickTime - 10, 'Home and End move nothing, Page Up a page');
      await page.focus('#c1023');
      await page.keyboard.press('Enter');
      assert.equal((await state()).currentOsc, 1);
      await page.evaluate(() => window.PlimbarPage.call('select', { n: 0 }));  // a start shows OSC1
      // Enter elsewhere is Test: the sound handed to Web Audio is the export's.
      await page.evaluate(() => {
        window.PlimbarPage.platform.play = async (pcm, rate, bits) => { window.played = { rate, samples: Array.from(window.PlimbarPage
          .makeAudioBuffer(new OfflineAudioContext(1, 1, rate), new Uint8Array(pcm), rate, bits).getChannelData(0).slice(0, 4000)) }; };
      });
      await page.focus('#c1001');
      await page.keyboard.press('Enter');
      await page.evaluate(async () => { window.nextName = 'played'; await window.PlimbarPage.commands.exportWav(); });
      const wav = (await lastDelivered(page)).bytes;
      const played = await page.evaluate(() => window.played);
      assert.deepEqual(played, { rate: wav.readUInt32LE(24), samples: played.samples.map((_, i) => wav.readInt16LE(44 + 2 * i) / 32768) });

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
      // A bad link is answered in one line and changes nothing.
      for (const [hash, words] of [['#plimbar=not.a.link', '壊れて'], ['#plimbar=FAB4yZMq', '途中で切れて'], ['#plimbar=GAB4', '知らない版']]) {
        await load(page, `${pageUrl}${hash}`);  // the same document after the first: a hashchange
        await page.waitForFunction((w) => document.querySelector('#status').textContent.includes(w), { timeout: 10000 }, words)
          .catch(() => assert.fail(`${hash}: no "${words}" in the status line`));
        assert.deepEqual(await state(), at22);
      }

      // The language is kept between visits (the names in both are the next test's).
      await page.select('#language', 'en');
      await load(page);
      assert.equal(await text(1004), 'Test');
      await page.select('#language', 'ja');
    });

    // The (role, name) pairs of want a screen reader does not find. Chromium hands over its whole
    // tree at once; Firefox answers one query at a time (over a second each), so there the first
    // and the last of each role stand for the ways the page names a control.
    const unnamed = async (want) => {
      const have = which === 'chrome' ? new Set() : null;
      if (have) (function walk(n) { have.add(`${n.role} ${n.name}`); (n.children || []).forEach(walk); })(await page.accessibility.snapshot());
      const roles = [...new Set(want.map(([role]) => role))];
      const ask = have ? want : [...new Set(roles.flatMap((r) => [want.find((w) => w[0] === r), want.findLast((w) => w[0] === r)]))];
      const found = await Promise.all(ask.map(([role, name]) => (have ? have.has(`${role} ${name}`) : page.$(`aria/${name}[role="${role}"]`))));
      return ask.filter((_, i) => !found[i]).map(([role, name]) => `${role} ${name}`);
    };

    it('names every control for assistive technology, in Japanese and English', { timeout: 120000 }, async () => {
      // Each bar by its caption, each button, the box, the list, the views
      // and the menu, all named from the .rc; the variations' controls and a
      // lock for each bar, the box and the list, by the page's texts.
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
      assert.equal(want.filter(([r]) => r === 'slider').length, 10);
      const locked = want.filter(([r, n]) => r === 'slider' || n === 'ミュート' || n === '波形の種類').map(([, n]) => n);
      const variations = (lang) => page.evaluate((l, captions) => {
        const t = (key) => pageText(key, l);
        const name = (c) => (c === pageText('waveList', 'ja') ? t('waveList') : resourceText(c, l));
        return [['button', t('generate')], ['button', t('vary')], ['combobox', t('kind')], ['combobox', t('strength')],
          ['textbox', t('seed')], ...captions.map((c) => ['checkbox', `${t('lockOf')}${name(c)}`])];
      }, lang, locked);
      // The kinds and strengths by the core's names.
      const options = () => Promise.all(['#kind', '#strength'].map((sel) => page.$$eval(`${sel} option`, (os) => os.map((o) => [o.value, o.textContent]))));
      const named = (i) => [kindNames.map((n) => [n[0], n[i]]), strengthNames.map((n) => [n[0], n[i]])];
      assert.deepEqual([await unnamed([...want, ...await variations('ja')]), await options()], [[], named(1)]);
      await page.select('#language', 'en');
      assert.deepEqual([await unnamed(await variations('en')), await options()], [[], named(2)]);
      await page.select('#language', 'ja');
    });

    // --- 生成 and 変化, as a user works them --------------------------------------------------
    const look = () => page.evaluate(async () => ({ ...(await window.PlimbarPage.idle(), window.PlimbarPage.state()),
      link: (await window.PlimbarPage.call('linkEncode')).result, seed: document.getElementById('seed').value }));
    const typeSeed = async (text) => { await page.$eval('#seed', (el) => { el.value = ''; }); await page.type('#seed', text); };
    // The patch plimbar-render writes with these options (and origin to vary).
    const nativePatch = (options, file, origin) => {
      const out = tempDir('variations');
      if (origin) fs.writeFileSync(path.join(out, 'origin.plb'), origin);
      execFileSync(renderPath, [...options, '-o', out, ...(origin ? [path.join(out, 'origin.plb')] : [])], { stdio: 'ignore' });
      const bytes = fs.readFileSync(path.join(out, file));
      fs.rmSync(out, { recursive: true, force: true });
      return bytes;
    };

    it('generates and varies the patches plimbar-render writes for the same seeds, one undo step each, and keeps the locks', { timeout: 180000 }, async () => {
      await freshStart(page);
      await page.select('#strength', 'small');
      const steps = [await look()];
      let origin = null;
      // A typed seed (full-width digits too, as a Japanese keyboard types them) is used once; then
      // fresh seeds, each shown, by the button and by the program's keys (Cmd beside Ctrl).
      for (const [kind, typed, seed, held] of [['kick', '1', '1'], ['hihat-open', '4294967295', '4294967295'], ['clap', '１２３４５', '12345'],
        ['small'], ['medium', '', '', ['Control']], ['large', '', '', ['Control', 'Shift']], ['medium', '', '', ['Meta']]]) {
        const generate = kindNames.some(([cli]) => cli === kind);
        if (generate) await page.select('#kind', kind);
        if (typed) await typeSeed(typed);
        await (held ? pressKeys(page, held, held.includes('Shift') ? 'M' : 'm') : page.click(generate ? '#generate' : '#vary'));
        steps.push(await look());
        const shown = steps.at(-1).seed;
        if (typed) assert.equal(shown, seed);
        await page.evaluate(async () => { window.nextName = 'patch'; await window.PlimbarPage.commands.saveAs(); });
        const got = (await lastDelivered(page)).bytes;
        const want = generate ? nativePatch(['--generate', kind, '--seed', shown], `${kind}-001.plb`)
          : nativePatch(['--vary', '1', '--strength', kind, '--seed', shown], 'origin-001.plb', origin);
        assert.equal(got.toString('latin1'), want.toString('latin1'), `${kind} ${shown}`);
        if (generate) origin = got;
      }
      assert.equal(new Set(steps.slice(-4).map((s) => s.seed)).size, 4);
      assert.deepEqual(await pictureDifferences(page), noDifferences);
      // Each undo takes back one press, each redo brings it again.
      const links = steps.map((s) => s.link);
      assert.equal(new Set(links).size, steps.length);
      for (let i = steps.length - 2; i >= 0; --i) { await pressKeys(page, ['Control'], 'z'); assert.equal((await look()).link, links[i], `undo to ${i}`); }
      assert.equal((await look()).canUndo, 0);
      for (let i = 1; i < steps.length; ++i) { await pressKeys(page, ['Control'], 'y'); assert.equal((await look()).link, links[i], `redo to ${i}`); }
      // A bad seed is refused in one line, and nothing changes.
      const kept = await look();
      for (const bad of ['4294967296', '-1', '1.5', 'abc', '12 34', '0x10']) {
        await typeSeed(bad);
        await page.click('#generate');
        assert.deepEqual([{ ...(await look()), seed: kept.seed }, await page.$eval('#seed', (el) => [el.getAttribute('aria-invalid'),
          document.getElementById('status').textContent.includes('4294967295')])], [kept, ['true', true]], bad);
      }

      // The lock boxes reach the core and are kept over a reload and a variation.
      const bit = (stem) => 1 << keys.findIndex((k) => k.stem === stem);
      const oscButtons = await page.evaluate(() => DIALOGS.editor.oscButtons);
      // OSC2's Tune is locked, then unlocked again.
      for (const [osc, stems] of [[1, ['Volume', 'Tune', 'WaveForm', 'Mute', 'Bend']], [2, ['Decay', 'Tune', 'Volume', 'Tune', 'Time']]]) {
        await page.click(`#c${oscButtons[osc - 1]}`).then(look);  // the boxes show its locks
        for (const stem of stems) await page.click(`#lock-${stem}`);
      }
      const want = [bit('Volume') | bit('Tune') | bit('WaveForm') | bit('Mute') | bit('Bend'), bit('Decay') | bit('Volume'), 0, 0, 0, 0, 0, 0, 0];
      const lockState = async () => [(await look()).locks, (await look()).timeLocked,
        await page.$$eval('#locks input', (l) => l.filter((x) => x.checked).map((x) => x.id.slice(5)).sort())];
      assert.deepEqual(await lockState(), [want, 1, ['Decay', 'Time', 'Volume']], 'OSC2 current');
      await load(page);
      await pressKeys(page, ['Control'], 'm');
      assert.deepEqual(await lockState(), [want, 1, ['Bend', 'Mute', 'Time', 'Tune', 'Volume', 'WaveForm']], 'reloaded, varied, OSC1');
      // Of kept locks, those that cannot be read are off, and the page says so.
      await page.evaluate(() => localStorage.setItem('plimbar.locks', '{"osc":[1,4096,"x",-1,2.5,0,0,0,3],"time":1}'));
      await load(page);
      assert.deepEqual((await look()).locks, [1, 0, 0, 0, 0, 0, 0, 0, 3]);
      assert.match(await page.$eval('#status', (el) => el.textContent), /ロック/);
    });

    it('answers bad files and bad storage in one line and keeps the working patch', { timeout: 120000 }, async () => {
      const state = () => stateOf(page);
      await freshStart(page);
      const before = await state();
      const statusText = () => page.$eval('#status', (el) => el.textContent);
      // Junk and a random 1 MiB file load as the program loads them: what
      // the file lacks takes its default.
      assert.ok(await openIn(page, Buffer.from('\u0000\u00ffjunk\n[Setting]\nTune1=abc\nTime=9999\n', 'latin1'), 'junk.plb'));
      const junk = await state();
      assert.deepEqual([junk.positions[0], junk.positions[4], junk.positions[9]], [0, keys[4].defaultFirst, 100]);
      assert.ok(await openIn(page, crypto.randomBytes(1 << 20), 'random.plb'));
      assert.deepEqual((await state()).positions, before.positions);
      // Past the portable reader's limit a file is refused before it is read.
      assert.ok(!(await page.evaluate(async () => window.PlimbarPage.commands.openFile(new File([new Uint8Array(16 * 1024 * 1024 + 1)], 'huge.plb')))));
      assert.ok((await statusText()).includes('16 MiB'));
      assert.deepEqual(await state(), before);
      // Junk where the settings and the locks are kept starts as nothing kept
      // does (the reader's answer to junk is the native tests'), the locks said.
      await page.evaluate(() => localStorage.setItem('plimbar.settings', '\u0000\u00ff[format]\nfreq=48000\n[Setting]\nTune1=x'));
      await page.evaluate(() => localStorage.setItem('plimbar.locks', '{"osc":[1,2,"x"],"time":'));
      await load(page);
      assert.deepEqual(await state(), { ...before, positions: [0, ...before.positions.slice(1)] });  // Tune1=x
      assert.match(await statusText(), /ロック/);
      assert.deepEqual(b.errors, []);
    });

    it('asked the network for nothing', () => {
      const outside = b.requests.filter((u) => !/^(file|data|blob|about):/.test(u));
      assert.deepEqual(outside, []);
    });
  });
}
