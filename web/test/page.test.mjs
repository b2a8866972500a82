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
  artifacts, browsers, lastDelivered, launch, load, pageUrl, renderPath, replayPath, root, runNative, shotsDir, tempDir,
} from './harness.mjs';
import { keys, patchText, readSteps } from './tables.mjs';

const sha = (bytes) => `${crypto.createHash('sha256').update(bytes).digest('hex')}:${bytes.length}`;
const examples = (dir) => Object.fromEntries(fs.readdirSync(path.join(root, dir)).filter((n) => n.endsWith('.plb')).sort()
  .map((name) => [name, fs.readFileSync(path.join(root, dir, name))]));

// Random patches weighted toward what breaks things: noise, deep FM, values
// out of range and text where numbers belong (the reader clamps and defaults);
// 0 <= r() < 1 from the SHA-256 of the seed and a count.
function randomPatches(count, seed) {
  let n = 0;
  const r = () => crypto.createHash('sha256').update(`${seed}:${n++}`).digest().readUInt32LE(0) / 4294967296;
  const pick = (k) => {
    const x = r();
    if (x < 0.03) return ['abc', '', ' 42xyz', '-7'][Math.floor(r() * 4)];
    if (x < 0.06) return r() < 0.5 ? keys[k].max + 1 + Math.floor(r() * 300) : -1 - Math.floor(r() * 50);
    if (keys[k].stem === 'WaveForm' && r() < 0.3) return 3;
    return keys[k].min + Math.floor(r() * (keys[k].max - keys[k].min + 1));
  };
  return Object.fromEntries(Array.from({ length: count }, (_, i) => {
    const values = Array.from({ length: 9 }, () => keys.map((_, k) => pick(k)));
    const time = r() < 0.05 ? [0, 150, 'x'][i % 3] : 1 + Math.floor(r() * 100);
    return [`random-${i}.plb`, Buffer.from(patchText(values, time), 'latin1')];
  }));
}

// The formats, and the menu commands of each rate and bits.
const formats = [44100, 22050, 11025].flatMap((rate) => [16, 8].map((bits) => ({ rate, bits })));
const formatCommand = { 44100: 'IDM_RATE_44K', 22050: 'IDM_RATE_22K', 11025: 'IDM_RATE_11K', 16: 'IDM_BITS_16', 8: 'IDM_BITS_8' };

// In the page: each patch opened in a fresh session (as plimbar-render
// renders it), then exported in every format: "NAME RATE BITS DIGEST".
const pageExports = (page, patches) => page.evaluate(async (list, fmts, command) => {
  const P = window.PlimbarPage;
  const out = [];
  for (const { name, b64 } of list) {
    await P.commands.exit();
    localStorage.clear();
    await P.commands.startAgain();
    await P.commands.openFile(asFile(b64, name));
    for (const { rate, bits } of fmts) {
      for (const v of [rate, bits]) await P.command(DIALOGS.ids[command[v]]);
      window.nextName = name.replace(/\.plb$/, '');
      await P.commands.exportWav();
      const { bytes } = window.delivered.pop();
      const hash = new Uint8Array(await crypto.subtle.digest('SHA-256', bytes));
      out.push(`${name} ${rate} ${bits} ${Array.from(hash, (b) => b.toString(16).padStart(2, '0')).join('')}:${bytes.length}`);
    }
  }
  return out;
}, Object.entries(patches).map(([name, bytes]) => ({ name, b64: bytes.toString('base64') })), formats, formatCommand);

// The views whose canvas differs from a fresh drawing of the core.
const views = ['wave', 'volume', 'pitch'];
const differing = (page, which = views) => page.evaluate((list) => Promise.all(list.map(async (view) => {
  const c = document.getElementById(`view-${view}`);
  const shown = new Uint32Array(c.getContext('2d').getImageData(0, 0, c.width, c.height).data.buffer);
  const core = new Uint32Array((await window.PlimbarPage.call('draw', { view })).result);
  return shown.length === core.length && shown.every((v, i) => v === core[i]) ? [] : [view];
})).then((d) => d.flat()), which);

// The core's names of the kinds and strengths, from its one table
// (editor/variations.cpp): [cli, japanese, english].
const variationNames = fs.readFileSync(path.join(root, 'editor/variations.cpp'), 'utf8');
const kindNames = [...variationNames.matchAll(/\{\{"([\w-]+)", "([^"]+)", "([^"]+)"\}/g)].map((m) => m.slice(1));
const strengthNames = [...variationNames.match(/kStrengthNameTable[^=]*=\s*\{([^;]*)\};/)[1]
  .matchAll(/\{"(\w+)", "([^"]+)", "([^"]+)"\}/g)].map((m) => m.slice(1));

// The page loaded afresh (a new document, not a jump within this one), with
// nothing kept; bytes opened in it as a picked file; what it shows once the
// session is idle (the state, the patch's link, the seed field); the status
// line once it says words; keys pressed on the real keyboard.
const freshStart = (page, url) => page.evaluate(() => localStorage.clear()).then(() => page.goto('about:blank'))
  .then(() => load(page, url));
const openIn = (page, bytes, name) => page.evaluate((b64, n) => window.PlimbarPage.commands.openFile(asFile(b64, n)),
  bytes.toString('base64'), name);
const look = (page) => page.evaluate(async () => ({ ...(await window.PlimbarPage.idle(), window.PlimbarPage.state()),
  link: (await window.PlimbarPage.call('linkEncode')).result, seed: document.getElementById('seed').value }));
const statusSays = (page, words) => page.waitForFunction((w) => document.getElementById('status').textContent.includes(w),
  { timeout: 10000 }, words).catch(() => assert.fail(`no "${words}" in the status line`));
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
    });
    after(async () => { if (b) await b.close(); });

    it('exports the bytes plimbar-render writes, for every patch and format', { timeout: 900000 }, async () => {
      const patches = { ...examples('examples'), ...examples('tests/data/render'), ...randomPatches(100, 20) };
      const native = formats.map(({ rate, bits }) => runNative(renderPath,
        ['--rate', rate, '--bits', bits, ...Object.keys(patches)], patches));
      const want = Object.keys(patches).flatMap((name) => formats.map(({ rate, bits }, f) =>
        `${name} ${rate} ${bits} ${sha(native[f][name.replace(/\.plb$/, '.wav')])}`));
      assert.deepEqual(await pageExports(page, patches), want);
    });

    it('carries out the session steps as the native core does, showing the core\'s pictures', { timeout: 300000 }, async () => {
      const stepsFile = path.join(root, 'tests/data/session/every-kind.steps');
      const native = runNative(replayPath, [stepsFile, '.']);
      const out = path.join(process.env.PLIMBAR_WEB_SESSION_OUT || tempDir('session'), which);
      fs.rmSync(out, { recursive: true, force: true });
      fs.mkdirSync(out, { recursive: true });
      await freshStart(page);
      // The waveform view shows the last render, as the program's does until
      // it renders again: compared after the steps that render.
      const renders = new Set(['start', 'render', 'test', 'wave', 'rate', 'bits']);
      let previous = 'start';
      for (const s of readSteps(stepsFile)) {
        // The program's accelerators, from the keyboard (redo both ways).
        const letter = { copy: 'c', paste: 'v', undo: 'z', redo: s.line % 2 ? 'y' : 'Z' }[s.action];
        if (letter) await pressKeys(page, letter === 'Z' ? ['Control', 'Shift'] : ['Control'], letter);
        await page.evaluate(async (step, command) => {
          const P = window.PlimbarPage;
          const ids = DIALOGS.ids;
          const el = (id) => document.getElementById(`c${id}`);
          const change = (id, set) => { set(el(id)); el(id).dispatchEvent(new Event('change')); };
          const a = step.action;
          if (a === 'osc') el(DIALOGS.editor.oscButtons[step.value - 1]).click();
          else if (a === 'scroll') P.bars[step.bar].send(step.code, step.value);
          else if (a === 'mute') change(ids.IDC_MUTE, (box) => { box.checked = step.value !== 0; });
          else if (a === 'wave') change(ids.IDC_WAVEFORM, (list) => { list.selectedIndex = step.value; });
          else if (a === 'render') P.command(ids.IDOK);
          else if (a === 'test') await P.commands.test();
          else if (a === 'rate' || a === 'bits') document.querySelector(`[data-command="${ids[command[step.value]]}"]`).click();
          else if (a === 'export') { window.nextName = step.name; await P.commands.exportWav(); }
          await P.idle();
        }, s, formatCommand);
        if (s.action !== 'export') {
          previous = s.action;
          continue;
        }
        const { name, bytes } = await lastDelivered(page);
        assert.equal(name, `${s.name}.wav`);
        fs.writeFileSync(path.join(out, name), bytes);
        assert.ok(bytes.equals(native[name]), `export ${name}`);
        assert.deepEqual(await differing(page, renders.has(previous) ? views : views.slice(1)), [], `line ${s.line}`);
      }
    });

    // The program's controls and picture, left by its end-to-end test.
    const [controls, picture] = ['controls.txt', 'program.ppm'].map((name) => path.join(shotsDir, name));
    const skip = [controls, picture].every(fs.existsSync) ? false : `no ${controls} or ${picture}: run the program's test first`;
    it('places every control where the program has it', { timeout: 120000, skip }, async () => {
      await freshStart(page);
      const [placed, shown] = await page.evaluate((names) => {
        const c = document.getElementById('client').getBoundingClientRect();
        const at = (el, r = el.getBoundingClientRect()) => [r.left - c.left, r.top - c.top, r.width, r.height].map(Math.round);
        const ctls = [...document.querySelectorAll('#client > .ctl')].sort((x, y) => x.dataset.index - y.dataset.index);
        return [ctls.map((el) => at(el)), Object.fromEntries(names.map((v) => [v, at(document.getElementById(`view-${v}`))]))];
      }, views);
      const lines = fs.readFileSync(controls, 'utf8').trim().split(/\r?\n/).map((l) => l.trim().split(/\s+/));
      assert.deepEqual(placed, lines.filter((l) => l[0] !== 'view').map((l) => l.slice(2).map(Number)));
      // A view has its frame's client size and lies inside the frame's border.
      for (const l of lines.filter((x) => x[0] === 'view')) {
        const [x, y, w, h] = shown[{ WaveWnd: 'wave', PitchWnd: 'pitch', VolWnd: 'volume' }[l[1]]];
        const [px, py, pw, ph] = l.slice(2).map(Number);
        assert.ok(w === pw && h === ph && Math.abs(x - px) <= 1 && Math.abs(y - py) <= 1, `${l.join(' ')}: ${[x, y, w, h]}`);
      }
      fs.mkdirSync(artifacts, { recursive: true });
      const shot = path.join(artifacts, `page-${which}.png`);
      await (await page.$('#client')).screenshot({ path: shot });
      const side = which === 'chrome' ? 'side-by-side.png' : `side-by-side-${which}.png`;
      execFileSync('convert', [picture, shot, '+append', path.join(artifacts, side)]);
    });

    it('opens, saves, exports, drops, undoes, keeps and shares as the program would', { timeout: 300000 }, async () => {
      await freshStart(page);
      const kick = fs.readFileSync(path.join(root, 'examples/kick.plb'));
      const kickTime = Number(/^Time=(\d+)/m.exec(kick.toString())[1]);

      // Open (the picker's handler), then Save writes under its name what Save As
      // writes (which the variations' test compares with plimbar-render's).
      await openIn(page, kick, 'kick.plb');
      assert.equal(await page.$eval('#c1020', (el) => el.textContent), String(kickTime * 20));
      await page.evaluate(() => window.PlimbarPage.commands.save());
      const saved = await lastDelivered(page);
      assert.equal(saved.name, 'kick.plb');
      // Save As and Export propose the program's names; a cancel writes nothing.
      await page.evaluate(() => window.PlimbarPage.commands.exportWav());
      await page.evaluate(async () => { window.nextName = 'copy'; await window.PlimbarPage.commands.saveAs(); });
      assert.deepEqual(await page.evaluate(() => window.askedNames), [['wav', 'kick.wav'], ['plb', 'kick.plb']]);
      assert.deepEqual(await lastDelivered(page), { name: 'copy.plb', bytes: saved.bytes });

      // Keys, from the real keyboard: a bar's, Enter on an OSC button selects
      // it (the session steps press the program's accelerators).
      await page.focus('#c1001');
      for (const key of ['Home', 'End', 'PageUp']) await page.keyboard.press(key);
      assert.equal((await look(page)).positions[9], kickTime - 10, 'Home and End move nothing, Page Up a page');
      await page.focus('#c1023');
      await page.keyboard.press('Enter');
      assert.equal((await look(page)).currentOsc, 1);
      await page.evaluate(() => window.PlimbarPage.call('select', { n: 0 }));  // a start shows OSC1
      // Enter elsewhere is Test: the sound handed to Web Audio is the export's.
      await page.evaluate(() => {
        const P = window.PlimbarPage;
        P.platform.play = async (pcm, rate, bits) => { window.played = { rate, samples: Array.from(P.makeAudioBuffer(
          new OfflineAudioContext(1, 1, rate), new Uint8Array(pcm), rate, bits).getChannelData(0).slice(0, 4000)) }; };
      });
      await page.focus('#c1001');
      await page.keyboard.press('Enter');
      await page.evaluate(async () => { window.nextName = 'played'; await window.PlimbarPage.commands.exportWav(); });
      const wav = (await lastDelivered(page)).bytes;
      const played = await page.evaluate(() => window.played);
      const samples = played.samples.map((_, i) => wav.readInt16LE(44 + 2 * i) / 32768);
      assert.deepEqual(played, { rate: wav.readUInt32LE(24), samples });

      // F1 shows the help text inside the page; the about box stays on Esc.
      await page.keyboard.press('F1');
      assert.ok(await page.$eval('#help', (d) => d.open && d.textContent.includes('PlimbarMaker ヘルプ')));
      await page.$eval('#help', (d) => d.close());
      await page.evaluate(() => window.PlimbarPage.command(DIALOGS.ids.IDM_ABOUT));
      await page.keyboard.press('Escape');
      assert.ok(await page.$eval('#about', (d) => d.open));
      await page.keyboard.press('Enter');
      assert.ok(!(await page.$eval('#about', (d) => d.open)));

      // A dropped file opens; the working patch and its format survive a reload.
      await page.evaluate(async (b64) => {
        const dt = new DataTransfer();
        dt.items.add(asFile(b64, 'snare.plb'));
        document.body.dispatchEvent(new DragEvent('drop', { dataTransfer: dt, bubbles: true, cancelable: true }));
      }, fs.readFileSync(path.join(root, 'examples/snare.plb')).toString('base64'));
      await statusSays(page, 'snare.plb');
      await page.evaluate(() => window.PlimbarPage.command(DIALOGS.ids.IDM_RATE_22K));
      const at22 = { ...(await look(page)), canUndo: 0, canRedo: 0 };
      await load(page);
      assert.deepEqual(await look(page), at22);
      assert.equal(await page.$eval('[role=menuitemradio][aria-checked=true]', (el) => el.textContent), '22KHz');

      // A share link opens the same patch and format, as a load, and leaves the address.
      const url = await page.evaluate(() => window.PlimbarPage.commands.linkUrl());
      await freshStart(page, url);
      assert.deepEqual(await look(page), at22);
      assert.equal(await page.evaluate(() => location.hash), '');
      // A bad link is answered in one line and changes nothing.
      for (const [link, words] of [['not.a.link', '壊れて'], ['FAB4yZMq', '途中で切れて'], ['GAB4', '知らない版']]) {
        await load(page, `${pageUrl}#plimbar=${link}`);  // the same document after the first: a hashchange
        await statusSays(page, words);
        assert.deepEqual(await look(page), at22, link);
      }

      // The language is kept between visits (the names in both are the next test's).
      await page.select('#language', 'en');
      await load(page);
      assert.equal(await page.$eval('#c1004', (el) => el.textContent), 'Test');
      await page.select('#language', 'ja');
    });

    // The (role, name) pairs of want a screen reader does not find. Firefox answers a query in over
    // a second, so there the first and the last of each role stand for the ways the page names a control.
    const unnamed = async (want) => {
      const ends = (r) => [want.findIndex((w) => w[0] === r), want.findLastIndex((w) => w[0] === r)];
      const ask = which === 'chrome' ? want : want.filter(([r], i) => ends(r).includes(i));
      const found = await Promise.all(ask.map(([role, name]) => page.$(`aria/${name}[role="${role}"]`)));
      return ask.filter((_, i) => !found[i]).map(([role, name]) => `${role} ${name}`);
    };

    it('names every control for assistive technology, in Japanese and English', { timeout: 120000 }, async () => {
      // Each bar by its caption, each button, the box and the menu, all named
      // from the .rc; the list, the views, the variations' controls and a
      // lock for each bar, the box and the list, by the page's texts.
      const rc = fs.readFileSync(path.join(root, 'resources/plimbar.rc'), 'utf8');
      const main = rc.slice(rc.indexOf('IDD_MAIN DIALOGEX'), rc.indexOf('IDR_MAIN_MENU MENU'));
      const lines = [...main.matchAll(/CONTROL "([^"]*)", (-?\w+), "(\w+)", ([^,]*)/g)];
      const want = [...lines.flatMap(([, text, , cls, style], i) => (cls === 'SCROLLBAR' ? [['slider', lines[i - 1][1]]]
        : cls === 'BUTTON' && !style.includes('GROUPBOX') ? [[style.includes('CHECKBOX') ? 'checkbox' : 'button', text]] : [])),
        ...[...rc.matchAll(/POPUP "([^"]+)"/g)].map(([, caption]) => ['menuitem', caption.replace('&', '')])];
      assert.equal(want.filter(([r]) => r === 'slider').length, 10);
      const locked = want.filter(([r]) => r === 'slider' || r === 'checkbox').map(([, n]) => n);
      for (const [lang, column] of [['ja', 1], ['en', 2]]) {
        await page.select('#language', lang);
        const pageNamed = await page.evaluate((l, captions) => {
          const t = (key) => pageText(key, l);
          const locks = [...captions.map((c) => resourceText(c, l)), t('waveList')].map((c) => ['checkbox', t('lockOf') + c]);
          return [['combobox', t('waveList')], ['image', t('views')], ['image', t('volumeView')], ['image', t('pitchView')],
            ['button', t('generate')], ['button', t('vary')], ['combobox', t('kind')], ['combobox', t('strength')],
            ['textbox', t('seed')], ...locks];
        }, lang, locked);
        assert.deepEqual(await unnamed([...(lang === 'ja' ? want : []), ...pageNamed]), [], lang);
        // The kinds and strengths by the core's names.
        const options = await Promise.all(['#kind', '#strength'].map((list) => page.$$eval(`${list} option`,
          (os) => os.map((o) => [o.value, o.textContent]))));
        assert.deepEqual(options, [kindNames, strengthNames].map((names) => names.map((n) => [n[0], n[column]])), lang);
      }
      await page.select('#language', 'ja');
    });

    it('generates and varies as plimbar-render does, one undo step each, and keeps the locks', { timeout: 180000 }, async () => {
      await freshStart(page);
      await page.select('#strength', 'small');
      const typeSeed = (text) => page.$eval('#seed', (el) => { el.value = ''; }).then(() => page.type('#seed', text));
      const steps = [await look(page)];
      let origin = null;
      // A typed seed (full-width digits too, as a Japanese keyboard types them) is used once; then
      // fresh seeds, each shown, by the button and by the program's keys (Cmd beside Ctrl).
      const presses = [['kick', '1', '1'], ['hihat-open', '4294967295', '4294967295'], ['clap', '１２３４５', '12345'],
        ['small'], ['medium', '', '', ['Control']], ['large', '', '', ['Control', 'Shift']], ['medium', '', '', ['Meta']]];
      for (const [kind, typed, seed, held] of presses) {
        const generate = kindNames.some(([cli]) => cli === kind);
        if (generate) await page.select('#kind', kind);
        if (typed) await typeSeed(typed);
        await (held ? pressKeys(page, held, held.includes('Shift') ? 'M' : 'm') : page.click(generate ? '#generate' : '#vary'));
        steps.push(await look(page));
        const shown = steps.at(-1).seed;
        if (typed) assert.equal(shown, seed);
        await page.evaluate(async () => { window.nextName = 'patch'; await window.PlimbarPage.commands.saveAs(); });
        const got = (await lastDelivered(page)).bytes;
        const args = generate ? ['--generate', kind] : ['--vary', 1, '--strength', kind, `${kind}.plb`];
        const native = runNative(renderPath, [...args, '--seed', shown, '-o', '.'], generate ? {} : { [`${kind}.plb`]: origin });
        assert.equal(got.toString('latin1'), native[`${kind}-001.plb`].toString('latin1'), `${kind} ${shown}`);
        if (generate) origin = got;
      }
      assert.equal(new Set(steps.slice(-4).map((s) => s.seed)).size, 4);
      assert.deepEqual(await differing(page), []);
      // Each press is one undo step (the keys of undo and redo are the session's).
      assert.equal(new Set(steps.map((s) => s.link)).size, steps.length);
      for (const s of steps.slice(0, -1).reverse()) {
        await pressKeys(page, ['Control'], 'z');
        assert.equal((await look(page)).link, s.link);
      }
      // A bad seed is refused in one line, and nothing changes.
      const kept = await look(page);
      for (const bad of ['4294967296', '-1', '1.5', 'abc', '12 34', '0x10']) {
        await typeSeed(bad);
        await page.click('#generate');
        await statusSays(page, '4294967295');
        assert.deepEqual({ ...(await look(page)), seed: kept.seed }, kept, bad);
        assert.equal(await page.$eval('#seed', (el) => el.getAttribute('aria-invalid')), 'true', bad);
      }

      // The lock boxes reach the core and are kept over a reload and a
      // variation; OSC2's Tune is locked, then unlocked again.
      const oscButtons = await page.evaluate(() => DIALOGS.editor.oscButtons);
      const clicks = [['Volume', 'Tune', 'WaveForm', 'Mute', 'Bend'], ['Decay', 'Tune', 'Volume', 'Tune', 'Time']];
      for (const [n, stems] of clicks.entries()) {
        await page.click(`#c${oscButtons[n]}`).then(() => look(page));  // the boxes show its locks
        for (const stem of stems) await page.click(`#lock-${stem}`);
      }
      const word = (...stems) => stems.reduce((w, stem) => w | (1 << keys.findIndex((k) => k.stem === stem)), 0);
      const want = [word('Volume', 'Tune', 'WaveForm', 'Mute', 'Bend'), word('Decay', 'Volume'), 0, 0, 0, 0, 0, 0, 0];
      const lockState = async () => [(await look(page)).locks, (await look(page)).timeLocked,
        await page.$$eval('#locks input', (l) => l.filter((x) => x.checked).map((x) => x.id.slice(5)).sort())];
      assert.deepEqual(await lockState(), [want, 1, ['Decay', 'Time', 'Volume']], 'OSC2 current');
      await load(page);
      await pressKeys(page, ['Control'], 'm');
      assert.deepEqual(await lockState(), [want, 1, ['Bend', 'Mute', 'Time', 'Tune', 'Volume', 'WaveForm']], 'reloaded: OSC1');
    });

    it('answers bad files and bad storage in one line and keeps the working patch', { timeout: 120000 }, async () => {
      await freshStart(page);
      const before = await look(page);
      // Junk and a random 1 MiB file load as the program loads them: what
      // the file lacks takes its default.
      assert.ok(await openIn(page, Buffer.from('\u0000\u00ffjunk\n[Setting]\nTune1=abc\nTime=9999\n', 'latin1'), 'junk.plb'));
      assert.deepEqual((await look(page)).positions.filter((_, i) => [0, 4, 9].includes(i)), [0, keys[4].defaultFirst, 100]);
      assert.ok(await openIn(page, crypto.randomBytes(1 << 20), 'random.plb'));
      assert.deepEqual((await look(page)).positions, before.positions);
      // Past the portable reader's limit a file is refused before it is read.
      const huge = () => window.PlimbarPage.commands.openFile(new File([new Uint8Array(16 * 1024 * 1024 + 1)], 'huge.plb'));
      assert.equal(await page.evaluate(huge), false);
      await statusSays(page, '16 MiB');
      assert.deepEqual(await look(page), before);
      // Junk where the settings are kept starts as nothing kept does (the
      // reader's answer to junk is the native tests'); of the kept locks,
      // those that cannot be read are off, and the page says so.
      const keptLocks = [['{"osc":[1,2,"x"],"time":', [0, 0, 0, 0, 0, 0, 0, 0, 0], 0],
        ['{"osc":[1,4096,"x",-1,2.5,0,0,0,3],"time":1}', [1, 0, 0, 0, 0, 0, 0, 0, 3], 1]];
      for (const [stored, locks, timeLocked] of keptLocks) {
        await page.evaluate((l) => {
          localStorage.setItem('plimbar.settings', '\u0000\u00ff[format]\nfreq=48000\n[Setting]\nTune1=x');
          localStorage.setItem('plimbar.locks', l);
        }, stored);
        await load(page);
        const started = { ...(await look(page)), link: before.link };
        assert.deepEqual(started, { ...before, positions: [0, ...before.positions.slice(1)], locks, timeLocked }, stored);
        await statusSays(page, 'ロック');
      }
      assert.deepEqual(b.errors, []);
    });

    it('asked the network for nothing', () => {
      const outside = b.requests.filter((u) => !/^(file|data|blob|about):/.test(u));
      assert.deepEqual(outside, []);
    });
  });
}
