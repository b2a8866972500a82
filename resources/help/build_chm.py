#!/usr/bin/env python3
"""Compiles the help sources of this folder into Plimbar.chm.

The sources are kept in UTF-8 so that they read well in any editor. The HTML
Help viewer of a Japanese Windows expects its pages, table of contents and
index in the ANSI code page, Shift_JIS (CP932), so every text file is
converted to CP932 in a work folder first, and each charset declaration
"charset=UTF-8" becomes "charset=Shift_JIS". A character that CP932 cannot
hold stops the build with its file, line and column. Then chmcmd (Debian
package fp-utils) compiles the project file of the work folder, and the
result is copied to the output path. "@PLIMBAR_VERSION@" in a source stands for
the program's version, given by the build.

usage: build_chm.py --source DIR --work DIR --output FILE --version X.Y
                    [--chmcmd PATH]
"""

import argparse
import os
import re
import shutil
import subprocess
import sys

TEXT_SUFFIXES = {".htm", ".html", ".hhc", ".hhk", ".hhp", ".css"}
MARKUP_SUFFIXES = {".htm", ".html", ".hhc", ".hhk"}
COPIED_SUFFIXES = {".png", ".gif", ".jpg", ".jpeg", ".bmp", ".ico"}
# Stands for the program's version in the sources.
VERSION_PLACEHOLDER = "@PLIMBAR_VERSION@"
CHARSET_UTF8 = re.compile(r"charset=utf-8", re.IGNORECASE)


def fail(message):
    print(f"build_chm: error: {message}", file=sys.stderr)
    sys.exit(1)


def to_cp932(path, text):
    """The text in CP932, or a clear stop at the first character that does
    not fit."""
    try:
        return text.encode("cp932")
    except UnicodeEncodeError as e:
        line = text.count("\n", 0, e.start) + 1
        column = e.start - (text.rfind("\n", 0, e.start) + 1) + 1
        bad = text[e.start:e.end]
        codes = " ".join(f"U+{ord(c):04X}" for c in bad)
        fail(f"{path}:{line}:{column}: character {bad!r} ({codes}) has no "
             f"Shift_JIS (CP932) form; use another character")


def convert(source, work, version):
    project = None
    for name in sorted(os.listdir(source)):
        src = os.path.join(source, name)
        if not os.path.isfile(src):
            continue
        suffix = os.path.splitext(name)[1].lower()
        dst = os.path.join(work, name)
        if suffix in COPIED_SUFFIXES:
            shutil.copyfile(src, dst)
            continue
        if suffix not in TEXT_SUFFIXES:
            continue  # this script and other notes are not part of the help
        with open(src, "rb") as f:
            raw = f.read()
        try:
            text = raw.decode("utf-8")
        except UnicodeDecodeError as e:
            fail(f"{src}: not valid UTF-8 at byte {e.start}")
        if text.startswith("\ufeff"):
            text = text[1:]
        text = text.replace(VERSION_PLACEHOLDER, version)
        if suffix in MARKUP_SUFFIXES:
            text, count = CHARSET_UTF8.subn("charset=Shift_JIS", text)
            if count != 1:
                fail(f"{src}: needs exactly one charset declaration "
                     f"'<meta http-equiv=\"Content-Type\" content=\"text/html; "
                     f"charset=UTF-8\">', found {count}")
        with open(dst, "wb") as f:
            f.write(to_cp932(src, text))
        if suffix == ".hhp":
            if project is not None:
                fail(f"{source}: more than one project file (.hhp)")
            project = name
    if project is None:
        fail(f"{source}: no project file (.hhp)")
    return project


def compiled_name(work, project):
    """The "Compiled file=" of the project, relative to the work folder."""
    with open(os.path.join(work, project), "rb") as f:
        for line in f.read().decode("cp932").splitlines():
            key, _, value = line.partition("=")
            if key.strip().lower() == "compiled file":
                return value.strip()
    fail(f"{project}: no 'Compiled file=' line")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--source", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--output", required=True)
    parser.add_argument("--chmcmd", default="chmcmd")
    parser.add_argument("--version", required=True,
                        help=f"the program's version, put in place of {VERSION_PLACEHOLDER}")
    args = parser.parse_args()

    chmcmd = shutil.which(args.chmcmd)
    if chmcmd is None:
        fail(f"'{args.chmcmd}' not found: install the Debian package fp-utils")

    # The work folder belongs to this build step alone: start it afresh so
    # that no file of an earlier build ends up in the help file.
    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(args.work)
    project = convert(args.source, args.work, args.version)
    built = os.path.join(args.work, compiled_name(args.work, project))

    run = subprocess.run([chmcmd, project], cwd=args.work,
                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    log = run.stdout.decode("utf-8", "replace")
    if run.returncode != 0:
        fail(f"chmcmd failed with exit code {run.returncode}:\n{log}")
    # chmcmd reports a link to a missing file or anchor only as a message
    # and still writes the file; such a help file is not shipped.
    for line in log.splitlines():
        if re.match(r"\s*(warning|error)\b", line, re.IGNORECASE):
            fail(f"chmcmd: {line.strip()}\n{log}")
    if not os.path.isfile(built):
        fail(f"chmcmd wrote no {built}:\n{log}")
    with open(built, "rb") as f:
        if f.read(4) != b"ITSF":
            fail(f"{built} is not a compiled help file")

    with open(built, "rb") as f:
        data = f.read()
    out_dir = os.path.dirname(os.path.abspath(args.output))
    os.makedirs(out_dir, exist_ok=True)
    temp = args.output + ".part"
    with open(temp, "wb") as f:
        f.write(without_build_time(data, built))
    os.replace(temp, args.output)


def without_build_time(data, name):
    """The help file with its two records of the build time set to 0, so
    that every build of the same sources gives the same bytes: the header's
    (at offset 16, big-endian) and the #SYSTEM file's entry 10 (4 bytes,
    little-endian, a few seconds later than the header's)."""
    stamp = int.from_bytes(data[16:20], "big")
    found = [m.start() for m in re.finditer(re.escape(b"\x0a\x00\x04\x00"), data)
             if abs(int.from_bytes(data[m.start() + 4:m.start() + 8], "little") - stamp) < 3600]
    if len(found) != 1:
        fail(f"{name}: the build time of #SYSTEM was not found once, but {len(found)} times")
    at = found[0] + 4
    return data[:16] + bytes(4) + data[20:at] + bytes(4) + data[at + 4:]


if __name__ == "__main__":
    main()
