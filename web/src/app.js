// The page: the program's main window built from its dialog template
// (DIALOGS, read from plimbar.rc at build time), every event handed to the
// editing session in the worker (worker.js), and what each answer's Refresh
// bits say brought up to date. Nothing of the editing rules lives here.
'use strict';

(() => {
  const ids = DIALOGS.ids;
  const ed = DIALOGS.editor;
  const R = ed.refresh;
  const SB = ed.scrollCodes;
  const mainDialog = DIALOGS.dialogs[String(ids.IDD_MAIN)];
  const aboutDialog = DIALOGS.dialogs[String(ids.IDD_ABOUT)];
  const kMaxOpenBytes = 16 * 1024 * 1024;  // the portable reader's limit too
  const kStoreSettings = 'plimbar.settings';
  const kStoreLanguage = 'plimbar.lang';
  const kStoreLocks = 'plimbar.locks';
  const kLinkPrefix = '#plimbar=';
  const $ = (id) => document.getElementById(id);

  // --- the worker --------------------------------------------------------------

  const workerUrl = URL.createObjectURL(new Blob([CORE_WORKER_SOURCE], { type: 'text/javascript' }));
  const worker = new Worker(workerUrl);
  let nextCall = 1;
  const waiting = new Map();
  let last = null;  // the last panel state the session sent

  // One user action to the session; the answer is shown before the promise settles.
  function call(op, args = {}, transfer = []) {
    return new Promise((resolve, reject) => {
      const id = nextCall++;
      waiting.set(id, { resolve, reject });
      worker.postMessage({ id, op, args }, transfer);
    });
  }
  worker.onmessage = (event) => {
    const m = event.data;
    const w = waiting.get(m.id);
    waiting.delete(m.id);
    if (m.error) { w.reject(new Error(m.error)); return; }
    if (m.state) show(m);
    w.resolve(m);
  };

  // --- languages ------------------------------------------------------------------

  let lang = 'ja';
  try { if (localStorage.getItem(kStoreLanguage) === 'en') lang = 'en'; } catch (e) { /* none kept */ }
  const translated = [];  // [element, how] for every text that follows the language

  // A caption with its mnemonic ("開く(&O)...") as text with the letter underlined.
  function setCaption(el, caption) {
    el.textContent = '';
    const at = caption.indexOf('&');
    if (at < 0 || at + 1 >= caption.length) { el.textContent = caption; return null; }
    el.append(caption.slice(0, at));
    const u = document.createElement('u');
    u.textContent = caption[at + 1];
    el.append(u, caption.slice(at + 2));
    return caption[at + 1].toUpperCase();
  }
  function resText(el, japanese, mnemonic = false) {
    const apply = () => {
      const text = resourceText(japanese, lang);
      if (mnemonic) {
        const key = setCaption(el.querySelector('.caption') || el, text);
        el.dataset.mnemonic = key || '';
      } else {
        el.textContent = text;
      }
    };
    translated.push(apply);
    apply();
  }
  function pageRes(el, key) {
    const apply = () => { el.textContent = pageText(key, lang); };
    translated.push(apply);
    apply();
  }
  function setLanguage(l) {
    lang = l === 'en' ? 'en' : 'ja';
    document.documentElement.lang = lang;
    for (const apply of translated) apply();
    if (last) showPanel(last, null);
    try { localStorage.setItem(kStoreLanguage, lang); } catch (e) { /* not kept */ }
  }

  // --- status line ------------------------------------------------------------------

  let statusNow = null;
  function status(key, ...values) {
    statusNow = [key, values];
    $('status').textContent = pageText(key, lang, ...values);
  }
  translated.push(() => { if (statusNow) $('status').textContent = pageText(statusNow[0], lang, ...statusNow[1]); });

  // --- the window -------------------------------------------------------------------

  const client = $('client');
  client.style.width = `${mainDialog.px[0]}px`;
  client.style.height = `${mainDialog.px[1]}px`;
  const bars = [];          // in the editor's order
  const oscButtons = [];    // OSC1..OSC9
  const canvases = {};      // wave, volume, pitch
  const frames = { [ids.IDC_WAVE_FRAME]: 'wave', [ids.IDC_VOLUME_FRAME]: 'volume', [ids.IDC_PITCH_FRAME]: 'pitch' };
  const viewLabels = { wave: 'views', volume: 'volumeView', pitch: 'pitchView' };
  const valueOf = {};       // value display id -> <output>
  const unitOf = {};        // value display id -> unit text element
  let muteBox = null;
  let waveList = null;

  function place(el, c, index) {
    const [x, y, w, h] = c.px;
    el.style.left = `${x}px`;
    el.style.top = `${y}px`;
    el.style.width = `${w}px`;
    el.style.height = `${h}px`;
    el.dataset.index = String(index);
    el.dataset.cls = c.class;
    if (c.id !== -1) el.dataset.id = String(c.id);
    el.classList.add('ctl');
  }

  const has = (c, style) => c.styles.includes(style);

  function makeControl(c, index, list) {
    const cls = c.class.toUpperCase();
    let el;
    if (cls === 'BUTTON' && has(c, 'BS_GROUPBOX')) {
      el = document.createElement('div');
      el.className = 'groupbox';
      if (c.text) {
        const cap = document.createElement('span');
        cap.className = 'caption';
        resText(cap, c.text);
        el.append(cap);
      }
    } else if (cls === 'BUTTON' && has(c, 'BS_AUTOCHECKBOX')) {
      el = document.createElement('label');
      el.className = 'checkbox';
      const box = document.createElement('input');
      box.type = 'checkbox';
      box.id = `c${c.id}`;
      const cap = document.createElement('span');
      resText(cap, c.text);
      el.append(box, cap);
      if (c.id === ids.IDC_MUTE) {
        muteBox = box;
        box.addEventListener('change', () => call('mute', { on: box.checked }));
      }
    } else if (cls === 'BUTTON') {
      el = document.createElement('button');
      el.type = 'button';
      el.id = `c${c.id}`;
      resText(el, c.text);
      if (has(c, 'BS_DEFPUSHBUTTON')) el.classList.add('default');
      const osc = ed.oscButtons.indexOf(c.id);
      if (osc >= 0) {
        oscButtons[osc] = el;
        el.classList.add('osc');
        el.setAttribute('aria-pressed', 'false');
        el.addEventListener('click', () => call('select', { n: osc }));
      } else {
        el.addEventListener('click', () => command(c.id));
      }
    } else if (cls === 'COMBOBOX') {
      el = document.createElement('select');
      el.id = `c${c.id}`;
      for (let i = 1; i <= 4; ++i) {
        const o = document.createElement('option');
        o.value = String(i - 1);
        resText(o, DIALOGS.strings[String(i)]);
        el.append(o);
      }
      if (c.id === ids.IDC_WAVEFORM) {
        waveList = el;
        const label = document.createElement('span');
        label.className = 'a11y';
        label.id = 'wave-list-label';
        pageRes(label, 'waveList');
        el.setAttribute('aria-labelledby', label.id);
        client.append(label);
        el.addEventListener('change', () => call('wave', { n: el.selectedIndex }));
      }
    } else if (cls === 'SCROLLBAR') {
      el = makeBar(c);
    } else if (has(c, 'SS_BLACKRECT')) {
      el = document.createElement('div');
      el.className = 'blackrect';
    } else if (has(c, 'SS_SUNKEN')) {
      el = document.createElement('div');
      el.className = 'sunken';
      const view = frames[c.id];
      if (view) {
        const canvas = document.createElement('canvas');
        canvas.width = c.px[2] - 2;
        canvas.height = c.px[3] - 2;
        canvas.setAttribute('role', 'img');
        canvas.id = `view-${view}`;
        const label = document.createElement('span');
        label.className = 'a11y';
        label.id = `view-${view}-label`;
        pageRes(label, viewLabels[view]);
        canvas.setAttribute('aria-labelledby', label.id);
        canvases[view] = canvas;
        el.append(canvas, label);
      }
    } else {
      // Static text: a bar's caption (the control before its bar), a value
      // display, or a unit.
      const next = list[index + 1];
      const isValue = ed.bars.some((b) => b.value === c.id);
      if (!isValue && next && next.class.toUpperCase() === 'SCROLLBAR') {
        el = document.createElement('label');
        el.htmlFor = `c${next.id}`;
      } else if (isValue) {
        el = document.createElement('output');
        el.id = `c${c.id}`;
        valueOf[c.id] = el;
      } else {
        el = document.createElement('span');
        const prev = list[index - 1];
        if (prev && ed.bars.some((b) => b.value === prev.id)) unitOf[prev.id] = el;
      }
      el.classList.add('static');
      if (has(c, 'SS_CENTER')) el.classList.add('center');
      if (has(c, 'SS_CENTERIMAGE')) el.classList.add('middle');
      resText(el, c.text);
    }
    place(el, c, index);
    return el;
  }

  // --- the parameter bars --------------------------------------------------------------
  // A scroll bar as the program's: the arrows step 1, a press on the track
  // steps 10 toward it, the thumb drags; holding an arrow or the track
  // repeats. The focusable, labelled part is a native range input, whose
  // keys become the bar's codes. Every move is a Scroll message to the core,
  // and the thumb shows the position the core answers.
  const kFirstRepeat = 200, kRepeat = 50;  // ms, as the system's scroll bars

  function makeBar(c) {
    const bar = ed.bars.findIndex((b) => b.bar === c.id);
    const el = document.createElement('div');
    el.className = 'scrollbar';
    const left = document.createElement('span');
    const right = document.createElement('span');
    left.className = 'arrow left';
    right.className = 'arrow right';
    const track = document.createElement('span');
    track.className = 'track';
    const thumb = document.createElement('span');
    thumb.className = 'thumb';
    track.append(thumb);
    const input = document.createElement('input');
    input.type = 'range';
    input.min = '0';
    input.max = '100';
    input.step = '1';
    input.id = `c${c.id}`;
    input.className = 'a11y-range';
    el.append(left, track, right, input);

    const [, , w, h] = c.px;
    const arrow = Math.min(h, Math.floor(w / 2));
    const thumbSize = arrow;
    const trackLength = w - 2 * arrow;
    let shown = 0;
    let dragging = null;  // {dx} while the thumb is held
    let timer = null;

    const thumbLeft = (pos) => Math.floor(((trackLength - thumbSize) * pos) / 100);
    const showThumb = (pos) => { thumb.style.left = `${thumbLeft(pos)}px`; };
    const send = (code, position = 0) => call('scroll', { bar, code, position });

    function stopRepeat() { if (timer !== null) clearTimeout(timer); timer = null; }
    function hold(code, keepOn) {
      send(code);
      const again = (delay) => {
        timer = setTimeout(() => {
          if (keepOn && !keepOn()) { timer = null; return; }
          send(code);
          again(kRepeat);
        }, delay);
      };
      again(kFirstRepeat);
    }
    function release() {
      stopRepeat();
      send(SB.kEndScroll);
    }
    const posAt = (clientX) => {
      const r = track.getBoundingClientRect();
      const x = clientX - r.left - dragging.dx;
      const span = trackLength - thumbSize;
      return Math.max(0, Math.min(100, Math.round((x * 100) / (span > 0 ? span : 1))));
    };

    el.addEventListener('pointerdown', (e) => {
      if (e.button !== 0) return;
      e.preventDefault();
      input.focus({ preventScroll: true });
      el.setPointerCapture(e.pointerId);
      const t = e.target;
      if (t === left) { hold(SB.kLineLeft); return; }
      if (t === right) { hold(SB.kLineRight); return; }
      if (t === thumb) {
        const r = thumb.getBoundingClientRect();
        dragging = { dx: e.clientX - r.left, pos: shown };
        return;
      }
      // The track: a page toward the press, again while the thumb has not reached it.
      const r = track.getBoundingClientRect();
      const x = e.clientX - r.left;
      const toward = x < thumbLeft(shown) ? SB.kPageLeft : SB.kPageRight;
      hold(toward, () => {
        const tl = thumbLeft(shown);
        return toward === SB.kPageLeft ? x < tl : x >= tl + thumbSize;
      });
    });
    el.addEventListener('pointermove', (e) => {
      if (!dragging) return;
      const pos = posAt(e.clientX);
      if (pos !== dragging.pos) {
        dragging.pos = pos;
        showThumb(pos);
        send(SB.kThumbTrack, pos);
      }
    });
    const up = () => {
      if (dragging) {
        const pos = dragging.pos;
        dragging = null;
        send(SB.kThumbPosition, pos);
        send(SB.kEndScroll);
        return;
      }
      if (timer !== null) release();
    };
    el.addEventListener('pointerup', up);
    el.addEventListener('pointercancel', up);

    // The keys of a focused bar: arrows a line, Page Up and Down a page,
    // Home and End their codes (which move nothing); the key's release ends
    // the move.
    const keyCodes = {
      ArrowLeft: SB.kLineLeft, ArrowUp: SB.kLineLeft, ArrowRight: SB.kLineRight, ArrowDown: SB.kLineRight,
      PageUp: SB.kPageLeft, PageDown: SB.kPageRight, Home: SB.kTop, End: SB.kBottom,
    };
    input.addEventListener('keydown', (e) => {
      if (!(e.key in keyCodes) || e.ctrlKey || e.metaKey || e.altKey) return;
      e.preventDefault();
      send(keyCodes[e.key]);
    });
    input.addEventListener('keyup', (e) => {
      if (e.key in keyCodes) { e.preventDefault(); send(SB.kEndScroll); }
    });
    // A value set by assistive technology: a move to it and its release.
    input.addEventListener('input', () => {
      const pos = Number(input.value);
      input.value = String(shown);
      send(SB.kThumbPosition, pos);
      send(SB.kEndScroll);
    });
    input.addEventListener('focus', () => el.classList.add('focused'));
    input.addEventListener('blur', () => el.classList.remove('focused'));

    bars[bar] = {
      el, input, id: c.id,
      show(pos) {
        shown = pos;
        input.value = String(pos);
        if (!dragging) showThumb(pos);
      },
      // For the page's tests: the bar's code straight to the core.
      send,
    };
    return el;
  }

  // --- showing what the core says --------------------------------------------------------

  function showPanel(s, values) {
    ed.bars.forEach((b, i) => {
      bars[i].show(s.positions[i]);
      const out = valueOf[b.value];
      if (values) out.textContent = values[i];
      const unit = unitOf[b.value] ? unitOf[b.value].textContent : '';
      bars[i].input.setAttribute('aria-valuetext', `${out.textContent} ${unit}`.trim());
    });
    muteBox.checked = s.mute !== 0;
    waveList.selectedIndex = s.waveForm >= 0 && s.waveForm <= 3 ? s.waveForm : -1;
  }

  function showOscButtons(s) {
    oscButtons.forEach((b, n) => {
      const on = n === s.currentOsc;
      b.classList.toggle('pressed', on);
      b.setAttribute('aria-pressed', on ? 'true' : 'false');
    });
  }

  function showPicture(name, buffer) {
    const canvas = canvases[name];
    const img = new ImageData(new Uint8ClampedArray(buffer), canvas.width, canvas.height);
    canvas.getContext('2d').putImageData(img, 0, 0);
  }

  function show(m) {
    const r = m.refresh || 0;
    last = m.state;
    if (r & R.kRefreshOscButtons) showOscButtons(m.state);
    if (r & R.kRefreshPanel) showPanel(m.state, m.values);
    if (r & R.kRefreshMarks) showMarks(m.state);
    for (const [name, px] of Object.entries(m.pixels || {})) showPicture(name, px);
    if (m.settings !== undefined) keepSettings(m.settings);
    showLocks(m.state);
  }

  // --- memory between visits ------------------------------------------------------------------

  let storageWarned = false;
  function keepSettings(text) {
    try {
      localStorage.setItem(kStoreSettings, text);
    } catch (e) {
      if (!storageWarned) { storageWarned = true; status('noStorage'); }
    }
  }
  function storedSettings() {
    try { return localStorage.getItem(kStoreSettings); } catch (e) { return null; }
  }
  // The locks, kept beside the settings: {osc: [nine words], time: 0 or 1}.
  // What cannot be read is no lock, and the page says so once.
  let keptLocks = null;
  function keepLocks(s) {
    const text = JSON.stringify({ osc: s.locks, time: s.timeLocked });
    if (text === keptLocks) return;
    keptLocks = text;
    try { localStorage.setItem(kStoreLocks, text); } catch (e) { /* noStorage was said for the settings */ }
  }
  function storedLocks() {
    let text = null;
    try { text = localStorage.getItem(kStoreLocks); } catch (e) { return null; }
    if (text === null) return null;
    let v = null;
    try { v = JSON.parse(text); } catch (e) { /* damaged */ }
    const osc = v && Array.isArray(v.osc) && v.osc.length === ed.oscButtons.length ? v.osc : [];
    const good = (x) => Number.isInteger(x) && x >= 0 && x < 2 ** coreNames.keys.length;
    const locks = ed.oscButtons.map((_, n) => (good(osc[n]) ? osc[n] : 0));
    const damaged = osc.length === 0 || !osc.every(good) || (v.time !== 0 && v.time !== 1);
    return { locks, time: Boolean(v) && v.time === 1, damaged };
  }
  // The session started as the page keeps it: the settings, then the locks.
  async function startSession() {
    const locks = storedLocks();
    show(await call('start', { settings: storedSettings(), locks }));
    if (locks && locks.damaged) status('badLocks');
  }

  // --- the menu ---------------------------------------------------------------------------

  const menubar = $('menubar');
  const menuItems = {};  // command id -> item element
  const popups = [];
  const rateOf = { IDM_RATE_44K: 44100, IDM_RATE_22K: 22050, IDM_RATE_11K: 11025 };
  const bitsOf = { IDM_BITS_16: 16, IDM_BITS_8: 8 };

  function showMarks(s) {
    const rates = [44100, 22050, 11025];
    for (const [name, rate] of Object.entries(rateOf)) menuItems[ids[name]].setAttribute('aria-checked', String(s.rateChecked[rates.indexOf(rate)] === 1));
    menuItems[ids.IDM_BITS_16].setAttribute('aria-checked', String(s.bitsChecked[0] === 1));
    menuItems[ids.IDM_BITS_8].setAttribute('aria-checked', String(s.bitsChecked[1] === 1));
  }

  DIALOGS.menu.forEach((popup, p) => {
    const title = document.createElement('button');
    title.type = 'button';
    title.className = 'menu-title';
    title.setAttribute('role', 'menuitem');
    title.setAttribute('aria-haspopup', 'menu');
    title.setAttribute('aria-expanded', 'false');
    title.tabIndex = p === 0 ? 0 : -1;
    const cap = document.createElement('span');
    cap.className = 'caption';
    title.append(cap);
    resText(title, popup.caption, true);
    const list = document.createElement('div');
    list.className = 'popup';
    list.setAttribute('role', 'menu');
    list.id = `menu-${p}`;
    list.hidden = true;
    title.setAttribute('aria-controls', list.id);
    const items = [];
    for (const item of popup.items) {
      if (item.separator) {
        const sep = document.createElement('div');
        sep.setAttribute('role', 'separator');
        sep.className = 'separator';
        list.append(sep);
        continue;
      }
      const el = document.createElement('button');
      el.type = 'button';
      el.tabIndex = -1;
      el.className = 'menu-item';
      el.dataset.command = String(item.id);
      const radio = item.name in rateOf || item.name in bitsOf;
      el.setAttribute('role', radio ? 'menuitemradio' : 'menuitem');
      if (radio) el.setAttribute('aria-checked', 'false');
      const mark = document.createElement('span');
      mark.className = 'mark';
      mark.setAttribute('aria-hidden', 'true');
      const c = document.createElement('span');
      c.className = 'caption';
      el.append(mark, c);
      resText(el, item.caption, true);
      el.addEventListener('click', () => { closeMenus(); command(item.id); });
      menuItems[item.id] = el;
      items.push(el);
      list.append(el);
    }
    const wrap = document.createElement('div');
    wrap.className = 'menu';
    wrap.append(title, list);
    menubar.append(wrap);
    popups.push({ title, list, items });
    title.addEventListener('click', () => (list.hidden ? openMenu(p, false) : closeMenus(title)));
    title.addEventListener('pointerenter', () => { if (popups.some((x) => !x.list.hidden)) openMenu(p, false); });
  });

  function openMenu(p, focusFirst) {
    popups.forEach((x, i) => {
      x.list.hidden = i !== p;
      x.title.setAttribute('aria-expanded', String(i === p));
      x.title.tabIndex = i === p ? 0 : -1;
    });
    const m = popups[p];
    if (focusFirst) m.items[0].focus(); else m.title.focus();
  }
  function closeMenus(focusTitle) {
    for (const x of popups) { x.list.hidden = true; x.title.setAttribute('aria-expanded', 'false'); }
    if (focusTitle) focusTitle.focus();
  }
  menubar.addEventListener('keydown', (e) => {
    const p = popups.findIndex((x) => x.title === document.activeElement || x.list.contains(document.activeElement));
    if (p < 0) return;
    const m = popups[p];
    const inList = m.list.contains(document.activeElement);
    const at = m.items.indexOf(document.activeElement);
    const n = popups.length;
    const key = e.key;
    let handled = true;
    if (key === 'ArrowRight') openMenu((p + 1) % n, inList);
    else if (key === 'ArrowLeft') openMenu((p + n - 1) % n, inList);
    else if (key === 'ArrowDown') { if (inList) m.items[(at + 1) % m.items.length].focus(); else openMenu(p, true); }
    else if (key === 'ArrowUp') { if (inList) m.items[(at + m.items.length - 1) % m.items.length].focus(); else { openMenu(p, true); m.items[m.items.length - 1].focus(); } }
    else if (key === 'Escape') closeMenus(m.title);
    else if ((key === 'Enter' || key === ' ') && !inList) openMenu(p, true);
    else if (key === 'Home' && inList) m.items[0].focus();
    else if (key === 'End' && inList) m.items[m.items.length - 1].focus();
    else if (key.length === 1 && !e.ctrlKey && !e.metaKey) {
      const letter = key.toUpperCase();
      if (inList) {
        const item = m.items.find((x) => x.dataset.mnemonic === letter);
        if (item) item.click(); else handled = false;
      } else {
        const q = popups.findIndex((x) => x.title.dataset.mnemonic === letter);
        if (q >= 0) openMenu(q, true); else handled = false;
      }
    } else handled = false;
    if (handled) { e.preventDefault(); e.stopPropagation(); }
  });
  document.addEventListener('pointerdown', (e) => { if (!menubar.contains(e.target)) closeMenus(); });

  // --- commands ---------------------------------------------------------------------------

  const platform = {
    // Asks for a name to save under: the browser's save picker where it has
    // one, else a small dialog of the page. {name, handle} or null.
    async askName(kind, proposed) {
      if (typeof window.showSaveFilePicker === 'function') {
        const types = kind === 'wav'
          ? [{ description: 'WAV', accept: { 'audio/wav': ['.wav'] } }]
          : [{ description: 'PlimbarMaker', accept: { 'application/octet-stream': ['.plb'] } }];
        try {
          const handle = await window.showSaveFilePicker({ suggestedName: proposed || undefined, types });
          return { name: handle.name, handle };
        } catch (e) {
          if (e && e.name === 'AbortError') return null;
        }
      }
      return askNameInPage(kind, proposed);
    },
    // The bytes of a saved file to where the user wanted them: the picked
    // file, else a download.
    async deliver(name, bytes, handle) {
      if (handle) {
        const w = await handle.createWritable();
        await w.write(bytes);
        await w.close();
        return;
      }
      const url = URL.createObjectURL(new Blob([bytes], { type: 'application/octet-stream' }));
      const a = document.createElement('a');
      a.href = url;
      a.download = name;
      document.body.append(a);
      a.click();
      a.remove();
      setTimeout(() => URL.revokeObjectURL(url), 60000);
    },
    // A file to open, {file, handle} or null: the open picker, else the file input.
    async pickOpen() {
      if (typeof window.showOpenFilePicker === 'function') {
        try {
          const [handle] = await window.showOpenFilePicker({
            types: [{ description: 'PlimbarMaker', accept: { 'application/octet-stream': ['.plb'] } }] });
          return { file: await handle.getFile(), handle };
        } catch (e) {
          if (e && e.name === 'AbortError') return null;
        }
      }
      return new Promise((resolve) => {
        const input = $('file-input');
        input.value = '';
        const done = (v) => { input.onchange = null; input.oncancel = null; resolve(v); };
        input.onchange = () => done(input.files[0] ? { file: input.files[0], handle: null } : null);
        input.oncancel = () => done(null);
        input.click();
      });
    },
    // Plays the sound once; settles when it has ended or could not play.
    play(pcm, rate, bits) { return playOnce(pcm, rate, bits); },
  };

  let currentHandle = null;  // the file a save writes again, where the browser gives one

  const baseName = (path) => path.slice(path.lastIndexOf('/') + 1);
  const safeName = (name) => (name.replace(/[/\0]/g, '_') || 'untitled');

  async function openFile(file, { dropped = false, handle = null } = {}) {
    const name = safeName(file.name);
    if (file.size > kMaxOpenBytes) {
      if (!dropped) await call('cancelOpen');
      status('tooLarge', name);
      return false;
    }
    const bytes = await file.arrayBuffer();
    const m = await call('open', { name, bytes, dropped }, [bytes]);
    if (m.result) {
      currentHandle = handle;
      status('opened', name);
      return true;
    }
    status('openFailed', name);
    return false;
  }

  async function openDialog() {
    await call('beginOpen');
    const picked = await platform.pickOpen();
    if (!picked) { await call('cancelOpen'); return; }
    await openFile(picked.file, { handle: picked.handle });
  }

  async function delivered(m, handle) {
    if (!m.result || !m.file) { status('saveFailed'); return false; }
    try {
      await platform.deliver(m.file.name, m.file.bytes, handle);
    } catch (e) {
      status('saveFailed');
      return false;
    }
    status('saved', m.file.name);
    return true;
  }

  async function save() {
    const m = await call('save');
    if (m.result === 'ask') return saveAs();
    return delivered(m, currentHandle);
  }

  async function saveAs() {
    const proposed = baseName((await call('proposed', { kind: 1 })).result);
    const chosen = await platform.askName('plb', proposed);
    if (!chosen) return false;
    const m = await call('saveAs', { name: safeName(chosen.name) });
    currentHandle = chosen.handle || null;
    return delivered(m, chosen.handle);
  }

  async function exportWav() {
    const proposed = baseName((await call('proposed', { kind: 2 })).result);
    const chosen = await platform.askName('wav', proposed);
    if (!chosen) return false;
    const m = await call('exportWav', { name: safeName(chosen.name) });
    return delivered(m, chosen.handle);
  }

  // --- sound ---------------------------------------------------------------------------------

  let audio = null;
  // The sound as Web Audio plays it: 16-bit samples s / 32768, 8-bit (b - 128) / 128.
  function makeAudioBuffer(ctx, bytes, rate, bits) {
    const n = bits === 16 ? bytes.length >> 1 : bytes.length;
    if (n === 0) return null;
    const buffer = ctx.createBuffer(1, n, rate);
    const out = buffer.getChannelData(0);
    if (bits === 16) {
      const view = new DataView(bytes.buffer, bytes.byteOffset, n * 2);
      for (let i = 0; i < n; ++i) out[i] = view.getInt16(2 * i, true) / 32768;
    } else {
      for (let i = 0; i < n; ++i) out[i] = (bytes[i] - 128) / 128;
    }
    return buffer;
  }
  async function playOnce(pcm, rate, bits) {
    try {
      if (!audio) audio = new AudioContext();
      if (audio.state !== 'running') await Promise.race([audio.resume(), new Promise((r) => setTimeout(r, 500))]);
      const buffer = makeAudioBuffer(audio, new Uint8Array(pcm), rate, bits);
      if (!buffer) return;
      await new Promise((resolve) => {
        const source = audio.createBufferSource();
        source.buffer = buffer;
        source.connect(audio.destination);
        source.onended = resolve;
        // A context that never runs (no device, no permission) ends it too.
        setTimeout(resolve, buffer.duration * 1000 + 1000);
        source.start();
      });
    } catch (e) {
      status('noSound');
    }
  }

  async function test() {
    const m = await call('beginPlayback');
    if (!m.result) return false;  // a sound plays already
    await platform.play(m.pcm, m.rate, m.bits);
    await call('endPlayback');
    return true;
  }

  // --- dialogs of the page ---------------------------------------------------------------------

  function askNameInPage(kind, proposed) {
    const dlg = $('name-dialog');
    const input = $('name-input');
    $('name-title').textContent = pageText(kind === 'wav' ? 'exportTitle' : 'saveAsTitle', lang);
    input.value = proposed;
    return new Promise((resolve) => {
      dlg.onclose = () => {
        dlg.onclose = null;
        const name = input.value.trim();
        resolve(dlg.returnValue === 'ok' && name ? { name, handle: null } : null);
      };
      dlg.returnValue = '';
      dlg.showModal();
      input.select();
    });
  }

  function buildAbout() {
    const box = $('about-client');
    box.style.width = `${aboutDialog.px[0]}px`;
    box.style.height = `${aboutDialog.px[1]}px`;
    resText($('about-title'), aboutDialog.caption);
    aboutDialog.controls.forEach((c, i) => {
      let el;
      if (has(c, 'SS_ICON')) {
        el = document.createElement('img');
        el.src = ICON_URL;
        el.alt = '';
        el.className = 'icon';
      } else if (c.class.toUpperCase() === 'BUTTON') {
        el = document.createElement('button');
        el.value = 'ok';
        el.id = 'about-ok';
        el.textContent = c.text;
        el.classList.add('default');
        el.autofocus = true;
      } else {
        el = document.createElement('p');
        el.className = 'static center';
        el.textContent = c.text;
        el.id = 'about-text';
      }
      place(el, c, i);
      box.append(el);
    });
    // Only OK and Enter close the box, as in the program: not Esc.
    $('about').addEventListener('cancel', (e) => e.preventDefault());
  }

  function showAbout() { $('about').showModal(); $('about-ok').focus(); }
  function showHelp() { if (!$('help').open) $('help').showModal(); }

  // Help's links go to their place in the help, never into the address.
  $('help-body').addEventListener('click', (e) => {
    const a = e.target.closest('a[href^="#"]');
    if (!a) return;
    e.preventDefault();
    const target = $('help-body').querySelector(`[id="${CSS.escape(a.getAttribute('href').slice(1))}"]`);
    if (target) target.scrollIntoView();
  });

  async function exit() {
    await call('exit');
    for (const d of document.querySelectorAll('dialog[open]')) d.close();
    $('window').inert = true;
    $('ended').showModal();
  }
  $('ended').addEventListener('cancel', (e) => e.preventDefault());
  async function startAgain() {
    $('ended').close();
    $('window').inert = false;
    currentHandle = null;
    seedField.value = '';  // no seed until the first press
    seedTyped = false;
    seedField.removeAttribute('aria-invalid');
    await startSession();
  }
  $('start-again').addEventListener('click', startAgain);

  // --- share links ---------------------------------------------------------------------------

  const linkMessages = {
    [ed.linkStatus.kNotBase64]: 'linkBad', [ed.linkStatus.kDamaged]: 'linkBad',
    [ed.linkStatus.kTruncated]: 'linkTruncated', [ed.linkStatus.kUnknownVersion]: 'linkVersion',
    [ed.linkStatus.kOutOfRange]: 'linkRange',
  };
  async function openLink(text) {
    const m = await call('linkOpen', { text });
    if (m.result === ed.linkStatus.kOk) { currentHandle = null; status('linkOpened'); return true; }
    status(linkMessages[m.result] || 'linkBad');
    return false;
  }
  // A link in the address opens its patch once; the address then loses it,
  // so a reload keeps the edits made since.
  async function takeLinkFromAddress() {
    if (!location.hash.startsWith(kLinkPrefix)) return;
    const text = location.hash.slice(kLinkPrefix.length);
    history.replaceState(null, '', location.pathname + location.search);
    await openLink(text);
  }
  window.addEventListener('hashchange', takeLinkFromAddress);

  async function linkUrl() {
    const text = (await call('linkEncode')).result;
    return `${location.href.split('#')[0]}${kLinkPrefix}${text}`;
  }
  async function copyLink() {
    const url = await linkUrl();
    try {
      await navigator.clipboard.writeText(url);
      status('linkCopied');
    } catch (e) {
      status('linkShown');
      const out = $('link-out');
      out.hidden = false;
      out.value = url;
      out.select();
    }
  }

  // --- 生成 and 変化 ---------------------------------------------------------------------------
  // A new sound of the chosen kind, a variation of the chosen strength (or,
  // by key, medium and large as in the program), each from the seed the
  // user typed or else a fresh one; the field then shows the seed the core
  // used. The kinds, strengths and key names are the core's (init).

  const kMaxSeed = 4294967295;
  let coreNames = null;   // {kinds, strengths, keys}: {cli, japanese, english}, key stems
  let seedTyped = false;  // the seed field holds what the user typed since the last press
  const seedField = $('seed');
  const nameIn = (n) => (lang === 'en' ? n.english : n.japanese);

  function fillChoice(select, list, chosen) {
    for (const n of list) {
      const o = document.createElement('option');
      o.value = n.cli;
      translated.push(() => { o.textContent = nameIn(n); });
      select.append(o);
    }
    select.selectedIndex = chosen;
  }

  // The typed seed (full-width digits too), a fresh one when none is typed,
  // null for a bad entry.
  function pressSeed() {
    const text = seedField.value.normalize('NFKC').trim();
    if (!seedTyped || text === '') return crypto.getRandomValues(new Uint32Array(1))[0];
    return /^\d{1,10}$/.test(text) && Number(text) <= kMaxSeed ? Number(text) : null;
  }
  function refuseSeed() {
    seedField.setAttribute('aria-invalid', 'true');
    status('badSeed');
  }
  seedField.addEventListener('input', () => { seedTyped = true; seedField.removeAttribute('aria-invalid'); });
  seedField.addEventListener('change', () => { if (pressSeed() === null) refuseSeed(); });

  // One press: the core's operation with its seed; true when the sound changed.
  async function press(op, args, said, name) {
    const seed = pressSeed();
    if (seed === null) { refuseSeed(); return false; }
    seedTyped = false;
    const m = await call(op, { ...args, seed });
    if (!seedTyped) seedField.value = String(m.state.lastSeed);
    if (!m.refresh) { status('allLocked'); return false; }
    status(said, name, m.state.lastSeed);
    return true;
  }
  async function generate(kind = $('kind').selectedIndex) {
    const n = coreNames && coreNames.kinds[kind];
    return n ? press('generate', { kind }, 'generated', { toString: () => nameIn(n) }) : false;
  }
  async function vary(strength = $('strength').selectedIndex) {
    const n = coreNames && coreNames.strengths[strength];
    return n ? press('vary', { strength }, 'varied', { toString: () => nameIn(n) }) : false;
  }

  // The locks of the current oscillator's parameters, the mute box and the
  // waveform list, and Time's, in groups as the dialog groups them (its
  // captioned group boxes, then the rest of the oscillator, then the
  // patch's Time), each named "ロック: " and the control's caption.
  const lockBoxes = [];  // {box, key}: key of kPatchParams, -1 for Time
  let locksOsc = 0;

  function buildLocks() {
    const list = mainDialog.controls;
    const items = [];
    list.forEach((c, i) => {
      const bar = ed.bars.findIndex((b) => b.bar === c.id);
      if (bar >= 0) items.push({ c, caption: () => resourceText(list[i - 1].text, lang), stem: ed.barNames[bar] });
      else if (c.id === ids.IDC_MUTE) items.push({ c, caption: () => resourceText(c.text, lang), stem: 'Mute' });
      else if (c.id === ids.IDC_WAVEFORM) items.push({ c, caption: () => pageText('waveList', lang), stem: 'WaveForm' });
    });
    const within = (c, g) => c.px[0] >= g.px[0] && c.px[1] >= g.px[1] &&
      c.px[0] + c.px[2] <= g.px[0] + g.px[2] && c.px[1] + c.px[3] <= g.px[1] + g.px[3];
    const boxes = list.filter((c) => c.class.toUpperCase() === 'BUTTON' && has(c, 'BS_GROUPBOX') && c.text);
    const groups = [...boxes.map((g) => ({ caption: () => resourceText(g.text, lang), items: [] })),
      { caption: null, items: [] }, { caption: () => pageText('wholePatch', lang), items: [] }];
    for (const item of items) {
      item.key = coreNames.keys.indexOf(item.stem);
      if (item.key < 0 && item.stem !== 'Time') throw new Error(`no patch key ${item.stem}`);
      const g = item.key < 0 ? groups.length - 1 : boxes.findIndex((b) => within(item.c, b));
      groups[g >= 0 ? g : groups.length - 2].items.push(item);
    }
    const fieldset = $('locks');
    groups.filter((g) => g.items.length).forEach((g, n) => {
      const row = document.createElement('div');
      row.className = 'lock-group';
      row.setAttribute('role', 'group');
      const head = document.createElement('span');
      head.className = 'lock-caption';
      if (g.caption) {
        head.id = `lock-group-${n}`;
        translated.push(() => { head.textContent = g.caption(); });
        row.setAttribute('aria-labelledby', head.id);
      }
      row.append(head);
      g.items.sort((a, b) => a.c.px[1] - b.c.px[1] || a.c.px[0] - b.c.px[0]);
      for (const item of g.items) {
        const label = document.createElement('label');
        label.className = 'lock';
        const box = document.createElement('input');
        box.type = 'checkbox';
        box.id = `lock-${item.stem}`;
        const text = document.createElement('span');
        translated.push(() => {
          text.textContent = item.caption();
          box.setAttribute('aria-label', `${pageText('lockOf', lang)}${item.caption()}`);
        });
        label.append(box, text);
        row.append(label);
        box.addEventListener('change', () => (item.key < 0
          ? call('lockTime', { on: box.checked }) : call('lock', { osc: locksOsc, key: item.key, on: box.checked })));
        lockBoxes.push({ box, key: item.key });
      }
      fieldset.append(row);
    });
    translated.push(() => { $('locks-legend').textContent = pageText('locks', lang, locksOsc + 1); });
  }

  function showLocks(s) {
    if (!s.locks) return;
    keepLocks(s);
    const word = s.locks[s.currentOsc] || 0;
    for (const { box, key } of lockBoxes) box.checked = key < 0 ? s.timeLocked !== 0 : ((word >> key) & 1) === 1;
    if (locksOsc !== s.currentOsc) {
      locksOsc = s.currentOsc;
      $('locks-legend').textContent = pageText('locks', lang, locksOsc + 1);
    }
  }

  // The choices and locks once the core has said its names.
  function buildVariations(names) {
    coreNames = names;
    const from = translated.length;
    fillChoice($('kind'), names.kinds, 0);
    fillChoice($('strength'), names.strengths, ed.strengths.kStrengthMedium);
    buildLocks();
    for (const apply of translated.slice(from)) apply();
  }
  // The keys of the program's accelerators that vary, told to assistive technology.
  $('vary').setAttribute('aria-keyshortcuts', DIALOGS.accelerators.filter((a) => a.id === ids.IDM_MUTATE_MEDIUM || a.id === ids.IDM_MUTATE_LARGE)
    .map((a) => [a.ctrl && 'Control', a.shift && 'Shift', a.alt && 'Alt', a.key].filter(Boolean).join('+')).join(' '));
  $('generate').addEventListener('click', () => generate());
  $('vary').addEventListener('click', () => vary());

  const commands = {
    [ids.IDOK]: () => call('render'),
    [ids.IDCANCEL]: exit,
    [ids.IDM_EXIT]: exit,
    [ids.IDC_TEST]: test,
    [ids.IDM_OPEN]: openDialog,
    [ids.IDM_SAVE]: save,
    [ids.IDM_SAVE_AS]: saveAs,
    [ids.IDM_SAVE_WAV]: exportWav,
    [ids.IDM_COPY]: () => call('copy'),
    [ids.IDM_PASTE]: () => call('paste'),
    [ids.IDM_UNDO]: () => call('undo'),
    [ids.IDM_MUTATE_MEDIUM]: () => vary(ed.strengths.kStrengthMedium),
    [ids.IDM_MUTATE_LARGE]: () => vary(ed.strengths.kStrengthLarge),
    [ids.IDM_REDO]: () => call('redo'),
    [ids.IDM_ABOUT]: showAbout,
    [ids.IDM_HELP]: showHelp,
  };
  for (const [name, rate] of Object.entries(rateOf)) commands[ids[name]] = () => call('rate', { rate });
  for (const [name, bits] of Object.entries(bitsOf)) commands[ids[name]] = () => call('bits', { bits });
  function command(id) { const f = commands[id]; return f ? f() : undefined; }

  // The program's accelerator table, with Cmd beside Ctrl on a Mac.
  function acceleratorFor(e) {
    const letter = /^Key[A-Z]$/.test(e.code) ? e.code.slice(3) : (e.key.length === 1 ? e.key.toUpperCase() : e.key);
    const ctrl = e.ctrlKey || e.metaKey;
    return DIALOGS.accelerators.find((a) => (a.key.startsWith('VK_') ? a.key.slice(3) === e.key : a.key === letter) &&
      a.ctrl === ctrl && a.shift === e.shiftKey && a.alt === e.altKey);
  }
  const inText = (el) => el && (el.tagName === 'TEXTAREA' || (el.tagName === 'INPUT' && /^(text|search|url|email)$/.test(el.type)) || el.isContentEditable);
  const pressable = (el) => el && (el.tagName === 'BUTTON' || el.tagName === 'A' || /^menuitem/.test(el.getAttribute('role') || ''));

  document.addEventListener('keydown', (e) => {
    if (document.querySelector('dialog[open]')) {
      if (e.key === 'F1' && !$('ended').open) { e.preventDefault(); showHelp(); }
      return;
    }
    if (e.key === 'F10' && !e.shiftKey) {
      e.preventDefault();
      popups[0].title.focus();
      return;
    }
    if (e.altKey && !e.ctrlKey && !e.metaKey && e.key.length === 1) {
      const q = popups.findIndex((x) => x.title.dataset.mnemonic === e.key.toUpperCase());
      if (q >= 0) { e.preventDefault(); openMenu(q, true); return; }
    }
    const acc = acceleratorFor(e);
    if (acc) {
      const copying = acc.id === ids.IDM_COPY || acc.id === ids.IDM_PASTE;
      if (copying && (inText(document.activeElement) || String(window.getSelection()).length > 0)) return;
      e.preventDefault();
      command(acc.id);
      return;
    }
    // Enter is the default button's, Test, unless a button has the focus.
    if (e.key === 'Enter' && !e.ctrlKey && !e.metaKey && !e.altKey && !pressable(document.activeElement) &&
        !menubar.contains(document.activeElement) && !inText(document.activeElement)) {
      e.preventDefault();
      command(ids.IDC_TEST);
    }
  });

  // --- drop ---------------------------------------------------------------------------------

  document.addEventListener('dragover', (e) => { e.preventDefault(); if (e.dataTransfer) e.dataTransfer.dropEffect = 'copy'; });
  document.addEventListener('drop', (e) => {
    e.preventDefault();
    const file = e.dataTransfer && e.dataTransfer.files[0];
    if (file && !$('window').inert) openFile(file, { dropped: true });
  });

  // --- start -----------------------------------------------------------------------------

  mainDialog.controls.forEach((c, i, list) => client.append(makeControl(c, i, list)));
  resText($('title-text'), mainDialog.caption);
  $('title-icon').src = ICON_URL;
  buildAbout();
  pageRes($('help-title'), 'helpTitle');
  pageRes($('help-note'), 'helpEnglishNote');
  for (const el of document.querySelectorAll('[data-text]')) pageRes(el, el.dataset.text);
  menubar.setAttribute('aria-label', 'PlimbarMaker');
  $('language').value = lang;
  $('language').addEventListener('change', () => setLanguage($('language').value));
  $('copy-link').addEventListener('click', copyLink);
  setLanguage(lang);

  const wasm = Uint8Array.from(atob(CORE_WASM_BASE64), (ch) => ch.charCodeAt(0)).buffer;
  const sizes = {};
  for (const [name, canvas] of Object.entries(canvases)) sizes[name] = [canvas.width, canvas.height];
  const ready = (async () => {
    buildVariations((await call('init', { wasm, views: sizes, refresh: R }, [wasm])).names);
    await startSession();
    await takeLinkFromAddress();
    document.documentElement.dataset.ready = 'true';
  })();

  // What the page's tests drive: the same handlers as the controls, the
  // picker and the drop.
  window.PlimbarPage = {
    ready, call, idle: () => call('idle'), command, commands: { openFile, openDialog, save, saveAs, exportWav, test, exit, startAgain, copyLink, linkUrl, openLink, generate, vary },
    platform, bars, makeAudioBuffer, setLanguage, state: () => last,
  };
})();
