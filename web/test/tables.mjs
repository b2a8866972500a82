// The tests' tables, read from the one copy the native tests use: the patch
// file's keys (tests/patch_table.h) and the session steps
// (tests/session_steps.h, tests/data/session/*.steps).
import fs from 'node:fs';
import path from 'node:path';
import { root } from './harness.mjs';

const header = (name) => fs.readFileSync(path.join(root, 'tests', name), 'utf8');

// [{stem, defaultFirst, defaultOthers, min, max}] in file order.
export const keys = [...header('patch_table.h').matchAll(/\{"(\w+)", (\d+), (\d+), (\d+), (\d+)\}/g)]
  .map(([, stem, a, b, min, max]) => ({ stem, defaultFirst: +a, defaultOthers: +b, min: +min, max: +max }));

const names = (table) => [...header('session_steps.h').match(new RegExp(`${table}\\[\\] = \\{([^}]*)\\}`))[1]
  .matchAll(/"(\w+)"/g)].map((m) => m[1]);
const [stepBars, stepCodes] = ['kStepBars', 'kStepCodes'].map(names);

// The steps of a table, as tests/session_steps.h reads them.
export function readSteps(file) {
  const steps = [];
  fs.readFileSync(file, 'utf8').split('\n').forEach((line, i) => {
    const [action, a, b, c] = line.trim().split(/\s+/);
    if (!action || action.startsWith('#')) return;
    const s = { action, line: i + 1 };
    if (action === 'scroll') Object.assign(s, { bar: stepBars.indexOf(a), code: stepCodes.indexOf(b), value: Number(c || 0) });
    else if (action === 'mute') s.value = a === 'on' ? 1 : 0;
    else if (action === 'export') s.name = a;
    else if (a !== undefined) s.value = Number(a);
    if (s.bar === -1 || s.code === -1) throw new Error(`line ${i + 1}: ${line}`);
    steps.push(s);
  });
  return steps;
}

// A patch file's text from values[osc][key] and Time (numbers or any text).
export function patchText(values, time) {
  let s = '[Setting]\r\n';
  values.forEach((row, n) => row.forEach((v, k) => { s += `${keys[k].stem}${n + 1}=${v}\r\n`; }));
  return `${s}Time=${time}\r\n[Version]\r\nVersion=20\r\n`;
}
