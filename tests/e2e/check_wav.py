#!/usr/bin/env python3
"""Reads WAV files the program wrote with Python's wave module (and soxi
when it is installed) and checks their format and length.

check_wav.py FILE RATE BITS FRAMES [FILE RATE BITS FRAMES ...]
"""
import shutil
import subprocess
import sys
import wave


def check(path, rate, bits, frames):
    errors = []
    with wave.open(path, "rb") as w:
        got = (w.getnchannels(), w.getframerate(), w.getsampwidth() * 8, w.getnframes())
        want = (1, rate, bits, frames)
        if got != want:
            errors.append(f"{path}: wave reads (channels, rate, bits, frames) {got}, want {want}")
        data = w.readframes(frames)
        if len(data) != frames * bits // 8:
            errors.append(f"{path}: {len(data)} bytes of samples, want {frames * bits // 8}")
    if shutil.which("soxi"):
        out = subprocess.run(["soxi", "-r", path], capture_output=True, text=True).stdout.strip()
        if out != str(rate):
            errors.append(f"{path}: soxi rate {out}, want {rate}")
        out = subprocess.run(["soxi", "-s", path], capture_output=True, text=True).stdout.strip()
        if out != str(frames):
            errors.append(f"{path}: soxi samples {out}, want {frames}")
        out = subprocess.run(["soxi", "-b", path], capture_output=True, text=True).stdout.strip()
        if out != str(bits):
            errors.append(f"{path}: soxi bits {out}, want {bits}")
    return errors


def main(args):
    if len(args) == 0 or len(args) % 4:
        print(__doc__)
        return 2
    errors = []
    for i in range(0, len(args), 4):
        path, rate, bits, frames = args[i], int(args[i + 1]), int(args[i + 2]), int(args[i + 3])
        errors += check(path, rate, bits, frames)
        print(f"{path}: checked")
    for e in errors:
        print(e)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
