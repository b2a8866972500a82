// What the page's tests share: the browsers (Debian's Chromium and Firefox
// ESR, headless, each with a fresh profile), the page opened from disk with
// every request it makes logged, and the native programs the page must match.
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { execFileSync } from 'node:child_process';
import { fileURLToPath, pathToFileURL } from 'node:url';
import puppeteer from 'puppeteer-core';

export const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
const env = (name, fallback) => process.env[name] || fallback;
export const pageUrl = pathToFileURL(env('PLIMBAR_WEB_PAGE', path.join(root, 'build/web/web/PlimbarMaker.html'))).href;
export const renderPath = env('PLIMBAR_RENDER', path.join(root, 'build/web-native/cli/plimbar-render'));
export const replayPath = env('PLIMBAR_SESSION_REPLAY', path.join(root, 'build/native/tests/session_replay'));
export const shotsDir = env('PLIMBAR_PROGRAM_SHOTS', path.join(root, 'build/win64/tests/e2e/work/StartUp'));
export const artifacts = env('PLIMBAR_WEB_ARTIFACTS', path.join(root, 'build/web/artifacts'));
export const browsers = env('PLIMBAR_WEB_BROWSERS', 'chrome,firefox').split(',').filter(Boolean);

export const tempDir = (name) => fs.mkdtempSync(path.join(os.tmpdir(), `plimbar-web-${name}-`));

// One browser for all of a file's tests; the profile goes with it.
export async function launch(which) {
  const profile = tempDir(`${which}-profile`);
  const browser = await puppeteer.launch({ browser: which, headless: true, userDataDir: profile, ...(which === 'chrome'
    ? { executablePath: env('PLIMBAR_CHROMIUM', '/usr/bin/chromium'), args: ['--no-sandbox', '--disable-background-networking',
      '--disable-component-update', '--no-first-run', '--disable-sync', '--autoplay-policy=no-user-gesture-required'] }
    : { executablePath: env('PLIMBAR_FIREFOX', '/usr/bin/firefox-esr'),
      extraPrefsFirefox: { 'media.autoplay.default': 0, 'media.autoplay.block-webaudio': false } }) });
  const requests = [];
  const errors = [];
  return {
    browser, requests, errors,
    async open(url = pageUrl) {
      const page = await browser.newPage();
      page.on('request', (r) => requests.push(r.url()));
      page.on('pageerror', (e) => errors.push(String(e && e.message)));
      await page.setViewport({ width: 760, height: 700 });
      await load(page, url);
      return page;
    },
    async close() {
      await browser.close();
      fs.rmSync(profile, { recursive: true, force: true });
    },
  };
}

// The page loaded and started. What it then hands to a download or save
// lands in window.delivered, and its name dialogs answer window.nextName
// (null: a cancel); asFile(base64, name) makes bytes a picked file.
export async function load(page, url = pageUrl) {
  await page.goto(url);
  await page.waitForFunction(() => document.documentElement.dataset.ready === 'true', { timeout: 30000 });
  await page.evaluate(() => {
    Object.assign(window, { delivered: [], askedNames: [], nextName: null });
    window.asFile = (b64, name) => new File([Uint8Array.from(atob(b64), (c) => c.charCodeAt(0))], name);
    Object.assign(window.PlimbarPage.platform, {
      async askName(kind, proposed) {
        window.askedNames.push([kind, proposed]);
        return window.nextName === null ? null : { name: window.nextName, handle: null };
      },
      async deliver(name, bytes) { window.delivered.push({ name, bytes: new Uint8Array(bytes) }); },
    });
  });
}

// The last file the page handed over, its bytes as a Buffer.
export const lastDelivered = (page) => page.evaluate(() => window.delivered.slice(-1).map((d) => [d.name, [...d.bytes]])[0])
  .then(([name, bytes]) => ({ name, bytes: Buffer.from(bytes) }));

// A native program run in a folder of its own holding files ({name: bytes}),
// args naming them there; what the folder then holds, {name: bytes}.
export function runNative(program, args, files = {}) {
  const dir = tempDir('native');
  try {
    for (const [name, bytes] of Object.entries(files)) fs.writeFileSync(path.join(dir, name), bytes);
    execFileSync(program, args.map(String), { cwd: dir, stdio: ['ignore', 'ignore', 'pipe'] });
    return Object.fromEntries(fs.readdirSync(dir).map((name) => [name, fs.readFileSync(path.join(dir, name))]));
  } finally {
    fs.rmSync(dir, { recursive: true, force: true });
  }
}
