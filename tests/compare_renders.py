#!/usr/bin/env python3
"""Renders patch files with the native plimbar-render and with each Windows
plimbar-render.exe given (--windows, once per build) under Wine, in several
output formats, and compares the WAV files byte for byte.

Prints how many pairs are byte-identical and, for the others, the largest
difference in PCM steps; any difference fails.

The patches are the files named on the command line, plus --random N
patches generated from --seed (written to WORK/random/ as random-NNNN.plb),
weighted toward what tells builds apart: deep FM that drives sine carriers'
phases far below zero (noise or loud modulators), the top pitches (Tune,
DeTune and Bend near 100) and full lengths (Time near 100).

    compare_renders.py --native build/native/cli/plimbar-render \\
        --windows build/win32/cli/plimbar-render.exe \\
        --wine cmake/wine-run.sh --work build/compare \\
        --random 300 --seed 1 examples/*.plb

Without --wine, the --windows program runs directly: a second native
renderer (or the same one, to check the script itself) can stand in for
it. Each renderer starts once per format and batch of --batch patches,
since a start under Wine costs time.
"""
import argparse
import os
import random
import subprocess
import sys
import wave

# The named patches are rendered in every format; the random ones, which
# are there to tell the builds' arithmetic apart, in the first only (the
# formats differ only in the integer mixdown).
FORMATS = [(44100, 16), (22050, 8), (11025, 16)]

KEYS = ["Tune", "DeTune", "Bend", "BendCurve", "Volume", "Attack",
        "AttackCurve", "Decay", "DecayCurve", "Distortion", "Mute",
        "WaveForm"]
SINE, SAWTOOTH, SQUARE, NOISE = 0, 1, 2, 3


def random_patch(rng):
    """One random valid patch: a dict of key -> value, as a file holds it."""
    kind = rng.random()
    deep_fm = kind < 0.45
    top_pitch = 0.3 <= kind < 0.7

    def near(lo, hi, top_share):
        return rng.randint(90, 100) if rng.random() < top_share else \
            rng.randint(lo, hi)

    patch = {}
    for n in range(9):
        carrier = n % 3 == 0
        v = {}
        v["Tune"] = near(0, 100, 0.8 if top_pitch or (deep_fm and carrier)
                         else 0.2)
        v["DeTune"] = near(0, 100, 0.7 if top_pitch else 0.1)
        v["Bend"] = near(0, 100, 0.7 if top_pitch else 0.2)
        v["BendCurve"] = rng.choice([0, 0, rng.randint(0, 100)]) \
            if top_pitch else rng.randint(0, 100)
        if deep_fm and not carrier:
            # Loud modulators (below -0.1 they run the phase backwards):
            # noise, whose window sums can exceed 1 at low pitches (long
            # windows), and sawtooth over a loud modulator, which stays at
            # -1 while its own phase is below zero and so drives the
            # carrier's phase down for long stretches.
            v["Volume"] = rng.randint(70, 100)
            v["WaveForm"] = rng.choice([NOISE, SAWTOOTH, SAWTOOTH, SINE,
                                        SQUARE] if n % 3 == 1 else
                                       [NOISE, NOISE, SINE, SQUARE])
            v["Tune"] = rng.randint(0, 30) if v["WaveForm"] == NOISE and \
                rng.random() < 0.6 else rng.randint(0, 100)
        else:
            v["Volume"] = rng.randint(0, 100)
            v["WaveForm"] = rng.randint(0, 3)
        if carrier and (deep_fm or top_pitch or rng.random() < 0.5):
            v["WaveForm"] = SINE
        v["Attack"] = 0 if rng.random() < 0.4 else rng.randint(0, 100)
        v["AttackCurve"] = rng.randint(0, 100)
        v["Decay"] = 100 if rng.random() < 0.5 else rng.randint(0, 100)
        v["DecayCurve"] = rng.randint(0, 100)
        v["Distortion"] = rng.randint(0, 100)
        v["Mute"] = 1 if rng.random() < 0.05 else 0
        for key in KEYS:
            patch["%s%d" % (key, n + 1)] = v[key]
    patch["Time"] = rng.randint(90, 100) if rng.random() < 0.7 else \
        rng.randint(1, 100)
    return patch


def patch_text(patch):
    lines = ["[Setting]"]
    for n in range(1, 10):
        lines += ["%s%d=%d" % (key, n, patch["%s%d" % (key, n)])
                  for key in KEYS]
    lines += ["Time=%d" % patch["Time"], "[Version]", "Version=20", ""]
    return "\r\n".join(lines)


def write_random_patches(folder, count, seed):
    os.makedirs(folder, exist_ok=True)
    rng = random.Random(seed)
    paths = []
    for i in range(count):
        path = os.path.join(folder, "random-%04d.plb" % i)
        with open(path, "w", newline="") as f:
            f.write(patch_text(random_patch(rng)))
        paths.append(path)
    return paths


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def samples(path):
    with wave.open(path, "rb") as w:
        width = w.getsampwidth()
        data = w.readframes(w.getnframes())
    if width == 2:
        return [int.from_bytes(data[i:i + 2], "little", signed=True)
                for i in range(0, len(data) - 1, 2)]
    return list(data)


def render(program, wine, patches, folder, rate, bits, batch):
    """Renders copies of the patches in folder (each WAV beside its copy);
    returns the WAV paths in order."""
    os.makedirs(folder, exist_ok=True)
    copies = []
    for i, patch in enumerate(patches):
        copy = os.path.join(folder, "%04d-%s" % (i, os.path.basename(patch)))
        with open(patch, "rb") as src, open(copy, "wb") as dst:
            dst.write(src.read())
        copies.append(copy)
    fmt = ["--rate", str(rate), "--bits", str(bits)]
    for start in range(0, len(copies), batch):
        part = copies[start:start + batch]
        if wine:
            cmd = [wine, program, *fmt, *[windows_path(p) for p in part]]
        else:
            cmd = [program, *fmt, *part]
        subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)
    return [os.path.splitext(c)[0] + ".wav" for c in copies]


def main():
    ap = argparse.ArgumentParser(
        description=__doc__, formatter_class=argparse.RawTextHelpFormatter)
    ap.add_argument("--native", required=True,
                    help="the native plimbar-render")
    ap.add_argument("--windows", required=True, action="append",
                    help="plimbar-render.exe of a Windows build (or a second "
                         "native renderer); once per build")
    ap.add_argument("--wine", default="",
                    help="runs --windows (e.g. cmake/wine-run.sh); "
                         "without it --windows runs directly")
    ap.add_argument("--work", required=True, help="folder for the files")
    ap.add_argument("--random", type=int, default=0, metavar="N",
                    help="also N random patches (WORK/random/), rendered "
                         "in the first format")
    ap.add_argument("--seed", type=int, default=1,
                    help="seed of the random patches (default 1)")
    ap.add_argument("--batch", type=int, default=100,
                    help="patches per start of a renderer (default 100)")
    ap.add_argument("patches", nargs="*")
    args = ap.parse_args()
    os.makedirs(args.work, exist_ok=True)
    named = list(args.patches)
    randoms = write_random_patches(os.path.join(args.work, "random"),
                                   args.random, args.seed) if args.random else []
    patches = named + randoms
    if not patches:
        ap.error("no patches: name some or ask for --random N")

    identical = 0
    compared = 0
    worst = 0
    failures = []
    for rate, bits in FORMATS:
        if (rate, bits) != FORMATS[0]:
            patches = named
        tag = "%d-%d" % (rate, bits)
        native = render(args.native, "", patches,
                        os.path.join(args.work, "native-" + tag),
                        rate, bits, args.batch)
        for k, exe in enumerate(args.windows):
            other = render(exe, args.wine, patches,
                           os.path.join(args.work, "windows%d-%s" % (k, tag)),
                           rate, bits, args.batch)
            for patch, native_out, other_out in zip(patches, native, other):
                name = "%s-%s (%s)" % (
                    os.path.splitext(os.path.basename(patch))[0], tag, exe)
                compared += 1
                a = open(native_out, "rb").read()
                b = open(other_out, "rb").read()
                if a == b:
                    identical += 1
                    continue
                if len(a) != len(b) or a[:44] != b[:44]:
                    failures.append(f"{name}: header or length differs")
                    continue
                diff = max(abs(x - y) for x, y in zip(samples(native_out),
                                                      samples(other_out)))
                worst = max(worst, diff)
                failures.append(f"{name}: differs by up to {diff} PCM steps ({patch})")
    print(f"{identical} of {compared} renders byte-identical"
          + (f"; largest difference {worst} PCM steps" if worst else ""))
    for f in failures:
        print("FAIL", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
