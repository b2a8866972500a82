// The tests' tables, from the one copy the native tests use: the patch
// file's keys (tests/patch_table.h) and the session steps as the native
// reader reads them (session_replay --list, tests/data/session/*.steps).
import fs from 'node:fs';
import path from 'node:path';
import { execFileSync } from 'node:child_process';
import { replayPath, root } from './harness.mjs';

// [{stem, defaultFirst, defaultOthers, min, max}] in file order.
export const keys = [...fs.readFileSync(path.join(root, 'tests/patch_table.h'), 'utf8')
  .matchAll(/\{"(\w+)", (\d+), (\d+), (\d+), (\d+)\}/g)]
  .map(([, stem, a, b, min, max]) => ({ stem, defaultFirst: +a, defaultOthers: +b, min: +min, max: +max }));

// [{action, bar, code, value, name, line}] of a step table.
export const readSteps = (file) => execFileSync(replayPath, ['--list', file], { encoding: 'utf8' })
  .trim().split('\n').map((line) => JSON.parse(line));

// A patch file's text from values[osc][key] and Time (numbers or any text).
export function patchText(values, time) {
  let s = '[Setting]\r\n';
  values.forEach((row, n) => row.forEach((v, k) => { s += `${keys[k].stem}${n + 1}=${v}\r\n`; }));
  return `${s}Time=${time}\r\n[Version]\r\nVersion=20\r\n`;
}
