#!/usr/bin/env python3
"""Writes a text file of the package the way Windows' Notepad reads it right.

The sources are UTF-8 with LF line ends. The output is their concatenation
(a blank line between two inputs), with "@PLIMBAR_VERSION@" replaced by the
version, CR LF line ends and a UTF-8 byte-order mark, so that every Notepad
since Windows XP shows the Japanese text and the line breaks.

usage: windows_text.py --version X.Y --output FILE INPUT [INPUT ...]
"""

import argparse
import sys

VERSION_PLACEHOLDER = "@PLIMBAR_VERSION@"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--version", required=True)
    parser.add_argument("--output", required=True)
    parser.add_argument("inputs", nargs="+")
    args = parser.parse_args()

    parts = []
    for path in args.inputs:
        with open(path, "rb") as f:
            raw = f.read()
        try:
            text = raw.decode("utf-8")
        except UnicodeDecodeError as e:
            sys.exit(f"windows_text: {path}: not valid UTF-8 at byte {e.start}")
        text = text.lstrip("\ufeff").replace("\r\n", "\n").replace("\r", "\n")
        parts.append(text.rstrip("\n") + "\n")
    text = "\n".join(parts).replace(VERSION_PLACEHOLDER, args.version)
    with open(args.output, "wb") as f:
        f.write(b"\xef\xbb\xbf" + text.replace("\n", "\r\n").encode("utf-8"))


if __name__ == "__main__":
    main()
