// What the page's tests share: the browsers (Debian's Chromium and Firefox
// ESR, headless, each with a fresh profile), the page opened from disk with
// every request it makes logged, and the native programs the page must match.
import crypto from 'node:crypto';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { execFileSync } from 'node:child_process';
import { fileURLToPath, pathToFileURL } from 'node:url';
import puppeteer from 'puppeteer-core';

export const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
const env = (name, fallback) => process.env[name] || fallback;
export const pagePath = env('PLIMBAR_WEB_PAGE', path.join(root, 'build/web/web/PlimbarMaker.html'));
export const pageUrl = pathToFileURL(pagePath).href;
export const renderPath = env('PLIMBAR_RENDER', path.join(root, 'build/web-native/cli/plimbar-render'));
export const replayPath = env('PLIMBAR_SESSION_REPLAY', path.join(root, 'build/native/tests/session_replay'));
export const shotsDir = env('PLIMBAR_PROGRAM_SHOTS', path.join(root, 'build/win64/tests/e2e/work/StartUp'));
export const artifacts = env('PLIMBAR_WEB_ARTIFACTS', path.join(root, 'build/web/artifacts'));
export const browsers = env('PLIMBAR_WEB_BROWSERS', 'chrome,firefox').split(',').filter(Boolean);

export function tempDir(name) {
  return fs.mkdtempSync(path.join(os.tmpdir(), `plimbar-web-${name}-`));
}

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
    // A page of the browser with the program's page loaded and started.
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

export async function load(page, url = pageUrl) {
  await page.goto(url);
  await page.waitForFunction(() => document.documentElement.dataset.ready === 'true', { timeout: 30000 });
}

// Lets the page's tests catch what the page hands to a download or save and
// answer the name dialogs: each export's bytes land in window.delivered.
export async function hookFiles(page) {
  await page.evaluate(() => {
    Object.assign(window, { delivered: [], askedNames: [], nextName: null });
    Object.assign(window.PlimbarPage.platform, {
      askName: async (kind, proposed) => { window.askedNames.push([kind, proposed]); return window.nextName === null ? null : { name: window.nextName, handle: null }; },
      deliver: async (name, bytes) => { window.delivered.push({ name, bytes: new Uint8Array(bytes) }); },
    });
  });
}

// The page's exported bytes, as a Buffer in node.
export async function lastDelivered(page) {
  const d = await page.evaluate(() => { const { name, bytes } = window.delivered.at(-1); return { name, bytes: Array.from(bytes) }; });
  return { name: d.name, bytes: Buffer.from(d.bytes) };
}

// Native renders of patches in every format: dir/RATE-BITS/NAME.wav.
export const formats = [44100, 22050, 11025].flatMap((rate) => [16, 8].map((bits) => ({ rate, bits })));
export function nativeRenders(patches, dir) {
  for (const { rate, bits } of formats) {
    const out = path.join(dir, `${rate}-${bits}`);
    fs.mkdirSync(out, { recursive: true });
    for (const p of patches) fs.writeFileSync(path.join(out, p.name), p.bytes);
    execFileSync(renderPath, ['--rate', String(rate), '--bits', String(bits),
      ...patches.map((p) => path.join(out, p.name))], { stdio: ['ignore', 'ignore', 'ignore'] });
  }
}

// A seeded generator of the tests' own: 0 <= x < 1 from the SHA-256 of the
// seed and a count.
export function random(seed) {
  let i = 0;
  return () => crypto.createHash('sha256').update(`${seed}:${i++}`).digest().readUInt32LE(0) / 4294967296;
}
