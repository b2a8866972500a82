#!/usr/bin/env python3
"""Renders patches natively and with each Windows plimbar-render.exe given
(through --wine) and fails unless every pair of WAVs is the same bytes: the
patches named, in three formats, and --random N patches from --seed, weighted
toward deep FM below zero, the top pitches and full lengths. Then both make
new sounds of every kind (--generate) and variations of the first patch named
at every strength (--vary) from --seed, and every patch and WAV they write
must be the same bytes too."""
import argparse
import filecmp
import os
import random
import shutil
import subprocess
import sys
from pathlib import Path

FORMATS = [(44100, 16), (22050, 8), (11025, 16)]
KEYS = ["Tune", "DeTune", "Bend", "BendCurve", "Volume", "Attack", "AttackCurve",
        "Decay", "DecayCurve", "Distortion", "Mute", "WaveForm"]
SINE, SAWTOOTH, SQUARE, NOISE = 0, 1, 2, 3  # WaveForm


def random_patch_text(rng):
    kind = rng.random()
    deep_fm, top_pitch = kind < 0.45, 0.3 <= kind < 0.7

    def near_top(share, lo=0):
        return rng.randint(90, 100) if rng.random() < share else rng.randint(lo, 100)

    lines = ["[Setting]"]
    for n in range(9):
        carrier = n % 3 == 0
        v = {"Tune": near_top(0.8 if top_pitch or (deep_fm and carrier) else 0.2),
             "DeTune": near_top(0.7 if top_pitch else 0.1), "Bend": near_top(0.7 if top_pitch else 0.2),
             "BendCurve": rng.choice([0, rng.randint(0, 100)]) if top_pitch else rng.randint(0, 100),
             "Volume": rng.randint(0, 100), "WaveForm": rng.randint(0, 3),
             "Attack": 0 if rng.random() < 0.4 else rng.randint(0, 100), "AttackCurve": rng.randint(0, 100),
             "Decay": 100 if rng.random() < 0.5 else rng.randint(0, 100),
             "DecayCurve": rng.randint(0, 100), "Distortion": rng.randint(0, 100), "Mute": int(rng.random() < 0.05)}
        if deep_fm and not carrier:
            # Below -0.1 a modulator runs the phase above it backwards: low noise, held sawtooth.
            v["Volume"] = rng.randint(70, 100)
            v["WaveForm"] = rng.choice([NOISE, SAWTOOTH, SAWTOOTH, SINE, SQUARE])
            if v["WaveForm"] == NOISE and rng.random() < 0.6:
                v["Tune"] = rng.randint(0, 30)
        if carrier and (deep_fm or top_pitch or rng.random() < 0.5):
            v["WaveForm"] = SINE
        lines += ["%s%d=%d" % (key, n + 1, v[key]) for key in KEYS]
    lines += ["Time=%d" % near_top(0.7, 1), "[Version]", "Version=20", ""]
    return "\r\n".join(lines)


def run(program, wine, args):
    """Runs the program, under wine if given, where the Paths among args become Z:\\..."""
    args = [("Z:" + os.path.abspath(a).replace("/", "\\") if wine else str(a)) if isinstance(a, Path) else a
            for a in args]
    subprocess.run(([wine] if wine else []) + [program] + args, check=True, stdout=subprocess.DEVNULL)


def render(program, wine, patches, folder, rate, bits):
    """Renders copies of the patches in folder, 100 per start (Wine starts slowly); returns the WAVs."""
    os.makedirs(folder, exist_ok=True)
    copies = [os.path.join(folder, "%04d-%s" % (i, os.path.basename(p))) for i, p in enumerate(patches)]
    for patch, copy in zip(patches, copies):
        shutil.copyfile(patch, copy)
    for start in range(0, len(copies), 100):
        run(program, wine, ["--rate", str(rate), "--bits", str(bits)] + [Path(c) for c in copies[start:start + 100]])
    return [os.path.splitext(c)[0] + ".wav" for c in copies]


# The kinds are named after the example patches, one per kind.
KINDS = sorted(p.stem for p in (Path(__file__).resolve().parent.parent / "examples").glob("*.plb"))
STRENGTHS = ["small", "medium", "large"]


def batches(program, wine, patch, folder, seed):
    """The --generate and --vary runs into folder (emptied; the program makes it); returns {name: bytes}."""
    shutil.rmtree(folder, ignore_errors=True)
    for i, kind in enumerate(KINDS):
        run(program, wine, ["--generate", kind, "--count", "3", "--seed", str(seed + i), "-o", Path(folder, "g")])
    for i, s in enumerate(STRENGTHS if patch else []):
        run(program, wine, ["--vary", "4", "--strength", s, "--seed", str(seed + i), "--rate", "22050", "--bits", "8",
                            "-o", Path(folder, "v-" + s), Path(patch)])
    return {str(f.relative_to(folder)): f.read_bytes() for f in Path(folder).rglob("*") if f.is_file()}


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--native", required=True)
    ap.add_argument("--windows", required=True, action="append")
    ap.add_argument("--wine", default="")
    ap.add_argument("--work", required=True)
    ap.add_argument("--random", type=int, default=0)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("patches", nargs="*")
    args = ap.parse_args()
    rng = random.Random(args.seed)
    os.makedirs(os.path.join(args.work, "random"), exist_ok=True)
    randoms = [os.path.join(args.work, "random", "random-%04d.plb" % i) for i in range(args.random)]
    for name in randoms:
        Path(name).write_bytes(random_patch_text(rng).encode())
    compared, failures = 0, []
    for rate, bits in FORMATS:
        # The random patches in the first format: the formats differ only in the mixdown.
        patches = args.patches + (randoms if (rate, bits) == FORMATS[0] else [])
        tag = "%d-%d" % (rate, bits)
        native = render(args.native, "", patches, os.path.join(args.work, "native-" + tag), rate, bits)
        for k, exe in enumerate(args.windows):
            other = render(exe, args.wine, patches, os.path.join(args.work, "windows%d-%s" % (k, tag)), rate, bits)
            compared += len(patches)
            failures += ["%s, %s: %s differs from %s" % (patch, tag, b, a)
                         for patch, a, b in zip(patches, native, other) if not filecmp.cmp(a, b, shallow=False)]
    # New sounds and variations: the same files, byte for byte.
    patch = args.patches[0] if args.patches else ""
    native = batches(args.native, "", patch, os.path.join(args.work, "batch-native"), args.seed)
    for k, exe in enumerate(args.windows):
        other = batches(exe, args.wine, patch, os.path.join(args.work, "batch-windows%d" % k), args.seed)
        compared += len(native)
        failures += ["%s: %s differs or is missing" % (exe, name) for name in sorted(set(native) | set(other))
                     if native.get(name) != other.get(name)]
    print("%d of %d renders and new files byte-identical" % (compared - len(failures), compared))
    for f in failures:
        print("FAIL", f)
    return 1 if failures or not compared else 0


if __name__ == "__main__":
    sys.exit(main())
