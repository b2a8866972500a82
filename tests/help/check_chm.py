#!/usr/bin/env python3
"""Reads Plimbar.chm back with extract_chmLib (an outside reader): start page index.htm,
Japanese, the program's title, contents and index there; every page Shift_JIS and says so;
index.htm names every text of the resource script and the version line."""

import argparse
import html
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

failed = 0


def check(ok, what, detail=""):
    global failed
    failed += not ok
    print(("PASS " if ok else "FAIL ") + what + ("" if ok or not detail else f": {detail}"))


def rc_texts(path):
    """The texts a user sees in a resource script ('&': access key; numbers set at run time)."""
    texts, strings = [], False
    for line in open(path, encoding="utf-8"):
        word = (line.split() or [""])[0]
        strings = word == "STRINGTABLE" or (strings and word != "END")
        m = re.match(r'\s*(?:\w+\s+)?"((?:[^"]|"")*)"', line) if strings else \
            re.match(r'\s*(?:CONTROL|[LCR]TEXT|\w*PUSHBUTTON|GROUPBOX|\w*CHECKBOX|POPUP|MENUITEM|CAPTION)\s+'
                     r'"((?:[^"]|"")*)"', line)
        if m and not line.lstrip().startswith("//"):
            for part in m.group(1).replace('""', '"').replace("&&", "\0").replace("&", "").split("\\t"):
                if part.strip() and not re.fullmatch(r"-?\d+", part.strip()):
                    texts.append(part.replace("\0", "&").strip())
    return texts


def main():
    parser = argparse.ArgumentParser()
    for option, required in (("--chm", True), ("--rc", True), ("--version", True), ("--extract", False), ("--work", False)):
        parser.add_argument(option, required=required)
    args = parser.parse_args()
    out = os.path.join(args.work or tempfile.mkdtemp(prefix="check_chm_"), "extracted")
    shutil.rmtree(out, ignore_errors=True)
    run = subprocess.run([args.extract or "extract_chmLib", args.chm, out], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    check(run.returncode == 0 and open(args.chm, "rb").read(4) == b"ITSF", "extract_chmLib unpacks the help file",
          run.stdout.decode("utf-8", "replace"))
    data = open(os.path.join(out, "#SYSTEM"), "rb").read() if run.returncode == 0 else b""
    system, at = {}, 4
    while at + 4 <= len(data):
        code, length = struct.unpack_from("<HH", data, at)
        system[code] = data[at + 4:at + 4 + length]
        at += 4 + length
    name = {code: system.get(code, b"").split(b"\0", 1)[0] for code in (0, 1, 2, 3)}
    check(name[2] == b"index.htm", "the start page is index.htm", repr(name[2]))
    check(system.get(4, b"")[:4] == struct.pack("<I", 0x0411), "the language is Japanese (0x0411)")
    check("PlimbarMaker" in name[3].decode("cp932", "replace"), "the title is the program's", repr(name[3]))
    for code in (0, 1):
        there = name[code] and os.path.isfile(os.path.join(out, name[code].decode()))
        check(there, f"the file {name[code]!r} named by #SYSTEM is there")
    page = ""
    for name in sorted(n for n in os.listdir(out) if n.lower().endswith((".htm", ".hhc", ".hhk"))):
        raw = open(os.path.join(out, name), "rb").read()
        charsets = [c.lower() for c in re.findall(rb"charset=([\w-]+)", raw, re.I)]
        check(charsets == [b"shift_jis"], f"{name} declares Shift_JIS", str(charsets))
        # Text stored as UTF-8 by mistake can decode as CP932 by chance.
        utf8 = raw.decode("utf-8", "ignore").encode("utf-8") == raw
        check(raw.decode("cp932", "ignore").encode("cp932") == raw and (raw.isascii() or not utf8),
              f"{name} is Shift_JIS text")
        if name == "index.htm":
            page = html.unescape(re.sub(r"<!--.*?-->|<[^>]*>", " ", raw.decode("cp932", "replace"), flags=re.S))
    wanted = rc_texts(args.rc) + [f"PlimbarMaker Version {args.version}"]
    missing = sorted({t for t in wanted if t not in page})
    check(len(wanted) > 20 and not missing, f"index.htm names all {len(wanted)} texts of the program", str(missing))
    print(f"{failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
