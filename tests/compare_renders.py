#!/usr/bin/env python3
"""Renders patch files with the native plimbar-render and with each Windows
plimbar-render.exe given (--windows, once per build) under Wine, in several
output formats, and compares the WAV files byte for byte.

Prints how many pairs are identical; fails on any pair that is not, naming
the first byte that differs.
"""
import argparse
import os
import subprocess
import sys

FORMATS = [(44100, 16), (22050, 8), (11025, 16)]


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--native", required=True)
    ap.add_argument("--windows", required=True, action="append")
    ap.add_argument("--wine", required=True)
    ap.add_argument("--work", required=True)
    ap.add_argument("patches", nargs="+")
    args = ap.parse_args()
    os.makedirs(args.work, exist_ok=True)

    identical = 0
    compared = 0
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
                first = next((i for i, (x, y) in enumerate(zip(a, b)) if x != y),
                             min(len(a), len(b)))
                failures.append(f"{tag} ({exe}): differs from byte {first} on")
    print(f"{identical} of {compared} renders byte-identical")
    for f in failures:
        print("FAIL", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
