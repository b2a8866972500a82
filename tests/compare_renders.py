#!/usr/bin/env python3
"""Renders patch files with the native plimbar-render and with each Windows
plimbar-render.exe given (--windows, once per build) under Wine, in several
output formats, and compares the WAV files.

Prints how many pairs are byte-identical and, for the others, the largest
difference in PCM steps. Fails when a pair differs in anything but sample
values (header, length) or by more than --max-steps.
"""
import argparse
import os
import subprocess
import sys
import wave

FORMATS = [(44100, 16), (22050, 8), (11025, 16)]


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


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--native", required=True)
    ap.add_argument("--windows", required=True, action="append")
    ap.add_argument("--wine", required=True)
    ap.add_argument("--work", required=True)
    ap.add_argument("--max-steps", type=int, default=0)
    ap.add_argument("patches", nargs="+")
    args = ap.parse_args()
    os.makedirs(args.work, exist_ok=True)

    identical = 0
    compared = 0
    worst = 0
    failures = []
    for patch in args.patches:
        name = os.path.splitext(os.path.basename(patch))[0]
        for rate, bits in FORMATS:
            tag = f"{name}-{rate}-{bits}"
            native_out = os.path.join(args.work, tag + ".native.wav")
            fmt = ["--rate", str(rate), "--bits", str(bits)]
            subprocess.run([args.native, *fmt, "-o", native_out, patch],
                           check=True, stdout=subprocess.DEVNULL)
            a = open(native_out, "rb").read()
            for k, exe in enumerate(args.windows):
                win_out = os.path.join(args.work, f"{tag}.windows{k}.wav")
                subprocess.run([args.wine, exe, *fmt,
                                "-o", windows_path(win_out), windows_path(patch)],
                               check=True, stdout=subprocess.DEVNULL)
                compared += 1
                b = open(win_out, "rb").read()
                if a == b:
                    identical += 1
                    continue
                if len(a) != len(b) or a[:44] != b[:44]:
                    failures.append(f"{tag} ({exe}): header or length differs")
                    continue
                diff = max(abs(x - y) for x, y in zip(samples(native_out),
                                                      samples(win_out)))
                worst = max(worst, diff)
                print(f"{tag} ({exe}): differs by up to {diff} PCM steps")
                if diff > args.max_steps:
                    failures.append(f"{tag} ({exe}): {diff} steps")
    print(f"{identical} of {compared} renders byte-identical"
          + (f"; largest difference {worst} PCM steps" if worst else ""))
    for f in failures:
        print("FAIL", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
