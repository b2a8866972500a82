#!/usr/bin/env python3
"""Runs the native plimbar-render and each other build given (--windows
PROGRAM.exe under --wine, --node PROGRAM.js under Node.js) alike and fails
unless every file they write is the same bytes: the patches named in three
formats, and --random N patches from --seed, weighted toward deep FM below
zero, the top pitches and full lengths, in the first; then new sounds of every
kind (--generate) and variations of the first patch named at every strength
(--vary) from --seed."""
import argparse
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


# The kinds are named after the example patches, one per kind.
KINDS = sorted(p.stem for p in (Path(__file__).resolve().parent.parent / "examples").glob("*.plb"))
STRENGTHS = ["small", "medium", "large"]


def make_all(command, windows, named, randoms, folder, seed):
    """What one build makes in folder (emptied first), {path there: bytes}. A Windows program is
    given its paths as Wine maps them (Z:\\...)."""
    def run(*args):
        args = [("Z:" + str(a.resolve()).replace("/", "\\") if windows else str(a)) if isinstance(a, Path) else a
                for a in args]
        subprocess.run(command + args, check=True, stdout=subprocess.DEVNULL)

    shutil.rmtree(folder, ignore_errors=True)
    for f, (rate, bits) in enumerate(FORMATS):
        # The random patches in the first format: the formats differ only in the mixdown.
        out = Path(folder, "%d-%d" % (rate, bits))
        out.mkdir(parents=True)
        copies = [Path(shutil.copy(p, out)) for p in named + (randoms if f == 0 else [])]
        for start in range(0, len(copies), 100):  # Wine starts slowly
            run("--rate", str(rate), "--bits", str(bits), *copies[start:start + 100])
    for i, kind in enumerate(KINDS):
        run("--generate", kind, "--count", "3", "--seed", str(seed + i), "-o", Path(folder, "g"))
    for i, s in enumerate(STRENGTHS if named else []):
        run("--vary", "4", "--strength", s, "--seed", str(seed + i), "--rate", "22050", "--bits", "8",
            "-o", Path(folder, "v-" + s), Path(named[0]))
    return {str(f.relative_to(folder)): f.read_bytes() for f in Path(folder).rglob("*") if f.is_file()}


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--native", required=True)
    ap.add_argument("--windows", action="append", default=[])
    ap.add_argument("--wine", default="")
    ap.add_argument("--node", action="append", default=[])
    ap.add_argument("--work", required=True)
    ap.add_argument("--random", type=int, default=0)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("patches", nargs="*")
    args = ap.parse_args()
    rng = random.Random(args.seed)
    Path(args.work, "random").mkdir(parents=True, exist_ok=True)
    randoms = [Path(args.work, "random", "random-%04d.plb" % i) for i in range(args.random)]
    for name in randoms:
        name.write_bytes(random_patch_text(rng).encode())
    native = make_all([args.native], False, args.patches, randoms, Path(args.work, "native"), args.seed)
    others = [([args.wine, exe], True) for exe in args.windows] + [(["node", js], False) for js in args.node]
    failures = []
    for k, (command, windows) in enumerate(others):
        other = make_all(command, windows, args.patches, randoms, Path(args.work, "other%d" % k), args.seed)
        failures += ["%s: %s differs or is missing" % (command[-1], name) for name in sorted(set(native) | set(other))
                     if native.get(name) != other.get(name)]
    compared = len(native) * len(others)
    print("%d of %d files byte-identical" % (compared - len(failures), compared))
    for f in failures:
        print("FAIL", f)
    return 1 if failures or not compared else 0


if __name__ == "__main__":
    sys.exit(main())
