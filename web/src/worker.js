// The page's worker: the whole editing session (the core compiled to
// WebAssembly, web/src/bindings.cpp) runs here, so that no render freezes
// the page. The page sends one message per user action, {id, op, args}; each
// answer carries what the core's Refresh bits ask for (panel state, value
// texts, view pixels), the settings text to keep and any file written.
// emscripten's glue (createPlimbarCore) is put in front of this file by
// web/tools/build_page.py; the module's bytes come with the first message.
'use strict';

const kSettingsPath = '/store/PlimbarMaker.ini';
const kFiles = '/files';

let core = null;      // the emscripten module
let views = null;     // {wave: [w, h], volume: [w, h], pitch: [w, h]}
let lastSettings = null;
let R = null;      // the Refresh bits of editor/session.h, from the page

function cstr(text) {
  const n = core.lengthBytesUTF8(text) + 1;
  const p = core._malloc(n);
  core.stringToUTF8(text, p, n);
  return p;
}

function withString(text, f) {
  const p = cstr(text);
  try { return f(p); } finally { core._free(p); }
}

// File bytes <-> a string of char codes 0..255, as localStorage keeps them.
function bytesToLatin1(bytes) {
  let s = '';
  for (let i = 0; i < bytes.length; i += 8192) s += String.fromCharCode.apply(null, bytes.subarray(i, i + 8192));
  return s;
}
function latin1ToBytes(s) {
  const b = new Uint8Array(s.length);
  for (let i = 0; i < s.length; ++i) b[i] = s.charCodeAt(i) & 0xFF;
  return b;
}

function clearFiles() {
  for (const name of core.FS.readdir(kFiles)) if (name !== '.' && name !== '..') core.FS.unlink(`${kFiles}/${name}`);
}

// The one file an operation wrote into /files, taken out of it.
function takeWrittenFile() {
  const names = core.FS.readdir(kFiles).filter((n) => n !== '.' && n !== '..');
  if (names.length !== 1) { clearFiles(); return null; }
  const path = `${kFiles}/${names[0]}`;
  const bytes = core.FS.readFile(path);
  core.FS.unlink(path);
  return { name: names[0], bytes };
}

// The core's names of the kinds and strengths ({cli, japanese, english}
// each) and the patch file's key stems, listed until the core has no more.
function names() {
  const list = (f, which) => {
    const out = [];
    for (let i = 0; core[f](i, which) !== 0; ++i) out.push(core.UTF8ToString(core[f](i, which)));
    return out;
  };
  const named = (f) => {
    const [japanese, english] = [list(f, 1), list(f, 2)];
    return list(f, 0).map((cli, i) => ({ cli, japanese: japanese[i], english: english[i] }));
  };
  return { kinds: named('_pm_kind_name'), strengths: named('_pm_strength_name'), keys: list('_pm_key_name') };
}

function state() {
  const p = core._pm_state() >> 2;
  const n = core._pm_state_ints();
  const v = Array.from(core.HEAP32.subarray(p, p + n));
  return {
    currentOsc: v[0], positions: v.slice(1, 11), mute: v[11], waveForm: v[12],
    rateChecked: v.slice(13, 16), bitsChecked: v.slice(16, 18), playing: v[18],
    rate: v[19], bits: v[20], pcmBytes: v[21], canUndo: v[22], canRedo: v[23],
    locks: v.slice(24, 33), timeLocked: v[33], lastSeed: v[34] >>> 0,
  };
}

function draw(view, [w, h]) {
  const p = core._pm_draw(view, w, h);
  if (p === 0) return null;
  return core.HEAPU8.slice(p, p + w * h * 4).buffer;
}

// The settings file as the session would write it at exit, when it changed.
function settingsText() {
  core._pm_exit();
  let text = '';
  try { text = bytesToLatin1(core.FS.readFile(kSettingsPath)); } catch (e) { text = ''; }
  if (text === lastSettings) return undefined;
  lastSettings = text;
  return text;
}

function answer(refresh, extra = {}) {
  const out = { refresh, state: state(), ...extra };
  const transfer = [];
  if (refresh & R.kRefreshPanel) {
    out.values = [];
    for (let bar = 0; bar < 10; ++bar) out.values.push(core.UTF8ToString(core._pm_value_text(bar)));
  }
  const pictures = [[R.kRefreshWaveView, 'wave', 0], [R.kRefreshVolumeView, 'volume', 1], [R.kRefreshPitchView, 'pitch', 2]];
  out.pixels = {};
  for (const [bit, name, view] of pictures) {
    if (!(refresh & bit)) continue;
    const px = draw(view, views[name]);
    if (px) { out.pixels[name] = px; transfer.push(px); }
  }
  const settings = settingsText();
  if (settings !== undefined) out.settings = settings;
  if (out.file) transfer.push(out.file.bytes.buffer);
  if (out.pcm) transfer.push(out.pcm);
  return [out, transfer];
}

// Writes the picked or dropped file where the loader reads it.
function putFile(name, bytes) {
  clearFiles();
  const path = `${kFiles}/${name}`;
  core.FS.writeFile(path, new Uint8Array(bytes));
  return path;
}

function fileOp(f) {
  clearFiles();
  const ok = f();
  const file = ok ? takeWrittenFile() : (clearFiles(), null);
  return { result: ok && file ? 1 : 0, file };
}

// Every noise kernel gives the same bytes, but which of this build's layouts
// a browser's compiler runs faster differs (rows step by step in one,
// diagonally in another, by a factor of up to three). So the faster one on
// this machine is picked once, before the session starts: nine noise
// oscillators at the lowest pitch, the slowest sound there is, cut to Time
// 20, loaded and rendered again with each kernel. StartSession then begins
// from nothing, so the sound of the session does not depend on this.
function pickNoiseKernel() {
  let text = '[Setting]\r\n';
  for (let n = 1; n <= 9; ++n) text += `Tune${n}=0\r\nDeTune${n}=0\r\nVolume${n}=100\r\nDecay${n}=100\r\nWaveForm${n}=3\r\n`;
  const bytes = latin1ToBytes(`${text}Time=20\r\n`);
  let best = -1;
  let bestMs = Infinity;
  for (let k = 0; k < core._pm_bench_kernel_count(); ++k) {
    if (!core._pm_bench_kernel(k)) continue;
    withString(putFile('kernel.plb', bytes), (p) => core._pm_open_named(p));
    const t = performance.now();
    core._pm_bench_render_all();
    const ms = performance.now() - t;
    if (ms < bestMs) [best, bestMs] = [k, ms];
  }
  clearFiles();
  if (best >= 0) core._pm_bench_kernel(best);
  core._pm_reset();
}

const ops = {
  async init({ wasm, views: sizes, refresh }) {
    views = sizes;
    R = refresh;
    core = await createPlimbarCore({ wasmBinary: new Uint8Array(wasm), print() {}, printErr() {} });
    core.FS.mkdir('/store');
    core.FS.mkdir(kFiles);
    pickNoiseKernel();
    return [{ ok: true, names: names() }, []];
  },
  // The session started with the settings and the locks the page kept.
  start({ settings, locks }) {
    core._pm_reset();
    lastSettings = null;
    let have = 0;
    try { core.FS.unlink(kSettingsPath); } catch (e) { /* none yet */ }
    if (typeof settings === 'string') {
      core.FS.writeFile(kSettingsPath, latin1ToBytes(settings));
      have = 1;
    }
    const refresh = core._pm_start(have);
    if (locks) {
      locks.locks.forEach((bits, n) => core._pm_set_locks(n, bits));
      core._pm_lock_time(locks.time ? 1 : 0);
    }
    return answer(refresh);
  },
  select: ({ n }) => answer(core._pm_select(n)),
  scroll: ({ bar, code, position }) => answer(core._pm_scroll(bar, code, position)),
  mute: ({ on }) => answer(core._pm_mute(on ? 1 : 0)),
  wave: ({ n }) => answer(core._pm_wave(n)),
  copy: () => answer(core._pm_copy()),
  paste: () => answer(core._pm_paste()),
  undo: () => answer(core._pm_undo()),
  redo: () => answer(core._pm_redo()),
  rate: ({ rate }) => answer(core._pm_rate(rate)),
  bits: ({ bits }) => answer(core._pm_bits(bits)),
  render: () => answer(core._pm_render()),
  // A new sound of a kind, a variation of the sound: seeds 0 .. 2^32 - 1.
  generate: ({ kind, seed }) => answer(core._pm_generate(kind, seed >>> 0)),
  vary: ({ strength, seed }) => answer(core._pm_mutate(strength, seed >>> 0)),
  // Locks: key (kPatchParams order) of oscillator osc, the one the page
  // showed when the box was clicked; Time's.
  lock: ({ osc, key, on }) => {
    const word = state().locks[osc];
    core._pm_set_locks(osc, on ? word | (1 << key) : word & ~(1 << key));
    return answer(0);
  },
  lockTime: ({ on }) => { core._pm_lock_time(on ? 1 : 0); return answer(0); },

  exit: () => answer(0, { result: 1 }),
  beginPlayback() {
    const r = core._pm_begin_playback();
    if (r < 0) return answer(0, { result: 0 });
    const s = state();
    const p = core._pm_pcm();
    const pcm = core.HEAPU8.slice(p, p + s.pcmBytes).buffer;  // a copy: nothing rewrites what plays
    return answer(r, { result: 1, pcm, rate: s.rate, bits: s.bits });
  },
  idle: () => [{}, []],  // answers once everything before it is done
  endPlayback() { core._pm_end_playback(); return answer(0); },
  beginOpen() { core._pm_begin_open(); return answer(0); },
  cancelOpen: () => answer(core._pm_end_open(0)),
  open({ name, bytes, dropped }) {
    const path = putFile(name, bytes);
    const refresh = withString(path, (p) => (dropped ? core._pm_open_named(p) : core._pm_end_open(p)));
    clearFiles();
    return answer(refresh, { result: refresh !== 0 ? 1 : 0 });
  },
  save() {
    let code = 0;
    const r = fileOp(() => { code = core._pm_save(); return code === 1; });
    return answer(0, { result: code === 0 ? 'ask' : r.result, file: r.file });
  },
  saveAs: ({ name }) => answer(0, fileOp(() => withString(`${kFiles}/${name}`, (p) => core._pm_save_as(p)) === 1)),
  exportWav: ({ name }) => answer(0, fileOp(() => withString(`${kFiles}/${name}`, (p) => core._pm_export(p)) === 1)),
  proposed: ({ kind }) => answer(0, { result: core.UTF8ToString(core._pm_proposed(kind)) }),
  linkEncode: () => answer(0, { result: core.UTF8ToString(core._pm_link_encode()) }),
  linkOpen({ text }) {
    const bytes = new TextEncoder().encode(text);
    const p = core._malloc(bytes.length + 1);
    const q = core._malloc(4);
    core.HEAPU8.set(bytes, p);
    const status = core._pm_link_open(p, bytes.length, q);
    const refresh = core.HEAPU32[q >> 2];
    core._free(q);
    core._free(p);
    return answer(refresh, { result: status });
  },
  // Pixels of a view drawn afresh, for the page's tests of its canvases.
  draw: ({ view }) => {
    const px = draw(['wave', 'volume', 'pitch'].indexOf(view), views[view]);
    return [{ result: px }, px ? [px] : []];
  },
  // Render times, for web/bench: each patch loaded (all nine rendered) and
  // rendered again `repeats` times, in milliseconds.
  bench({ patches, repeats, kernel }) {
    if (kernel !== undefined && !core._pm_bench_kernel(kernel)) return [{ result: null }, []];
    const out = [];
    for (const { name, bytes } of patches) {
      const path = putFile(name, bytes);
      const t0 = performance.now();
      withString(path, (p) => core._pm_open_named(p));
      const load = performance.now() - t0;
      const times = [];
      for (let i = 0; i < repeats; ++i) {
        const t = performance.now();
        core._pm_bench_render_all();
        times.push(performance.now() - t);
      }
      out.push({ name, load, times });
    }
    clearFiles();
    return [{ result: out, kernel: core.UTF8ToString(core._pm_bench_kernel_name()) }, []];
  },
};

// One message at a time, in order: the first one (init) is awaited before
// the next is looked at.
let queue = Promise.resolve();
self.onmessage = (event) => { queue = queue.then(() => handle(event)); };
async function handle(event) {
  const { id, op, args } = event.data;
  let reply, transfer = [];
  try {
    [reply, transfer] = await ops[op](args || {});
  } catch (e) {
    reply = { error: `${e && e.message ? e.message : e}${e && e.errno !== undefined ? ` (errno ${e.errno})` : ''} ${e && e.stack ? e.stack.split('\n').slice(0, 3).join(' / ') : ''}` };
  }
  self.postMessage({ id, ...reply }, transfer);
}
