#!/usr/bin/env python3
"""Reads the built help file Plimbar.chm back with extract_chmLib (Debian
package libchm-bin, an outside reader of the format) and checks what the
Help menu and a user rely on: a compiled help file whose system record names
index.htm as the start page, Japanese (0x0411) as its language and contents
and index files that are there; pages, contents and index in Shift_JIS (as
the viewer of a Japanese Windows expects) and declaring it; every caption,
menu item and string of the program's resource script (--rc) and the about
box's version line named in index.htm; every link and picture reaching its
file and anchor.

usage: check_chm.py --chm FILE --rc FILE --version X.Y [--extract PATH] [--work DIR]
Exits 1 on a failure.
"""

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
    """The quoted texts of a resource script's captions, controls, menu items
    and string table, as the user sees them: '&' marks an access key, a tab
    parts a caption from its key, numbers are overwritten at run time."""
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
    parser.add_argument("--chm", required=True)
    parser.add_argument("--rc", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--extract", default="extract_chmLib")
    parser.add_argument("--work")
    args = parser.parse_args()
    out = os.path.join(args.work or tempfile.mkdtemp(prefix="check_chm_"), "extracted")
    shutil.rmtree(out, ignore_errors=True)
    run = subprocess.run([args.extract, args.chm, out], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
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
        check(name[code] and os.path.isfile(os.path.join(out, name[code].decode())),
              f"the file {name[code]!r} named by #SYSTEM is there")

    texts = {}
    for name in sorted(n for n in os.listdir(out) if n.lower().endswith((".htm", ".hhc", ".hhk"))):
        raw = open(os.path.join(out, name), "rb").read()
        charsets = [c.lower() for c in re.findall(rb"charset=([\w-]+)", raw, re.I)]
        check(charsets == [b"shift_jis"], f"{name} declares Shift_JIS", str(charsets))
        texts[name] = raw.decode("cp932", "replace")
        # Text stored as UTF-8 by mistake can decode as CP932 by chance.
        utf8 = raw.decode("utf-8", "ignore").encode("utf-8") == raw
        check(raw.decode("cp932", "ignore").encode("cp932") == raw and (raw.isascii() or not utf8),
              f"{name} is Shift_JIS text")

    page = html.unescape(re.sub(r"<[^>]*>", " ", re.sub(r"<!--.*?-->", " ", texts.get("index.htm", ""), flags=re.S)))
    wanted = rc_texts(args.rc) + [f"PlimbarMaker Version {args.version}"]
    missing = sorted({t for t in wanted if t not in page})
    check(len(wanted) > 20 and not missing, f"index.htm names all {len(wanted)} texts of the program", str(missing))

    anchors = {n: set(re.findall(r'\b(?:name|id)\s*=\s*"([^"]+)"', t)) for n, t in texts.items()}
    broken, links = [], 0
    for name, text in texts.items():
        for target in re.findall(r'\b(?:href|src)\s*=\s*"([^"]*)"|<param\s+name="Local"\s+value="([^"]*)"', text, re.I):
            target = "".join(target)
            if re.match(r"[a-z]+:", target, re.I):
                continue
            links += 1
            file, _, anchor = target.partition("#")
            file = file or name
            if not os.path.isfile(os.path.join(out, file)) or (anchor and anchor not in anchors.get(file, set())):
                broken.append(f"{name} -> {target}")
    check(links > 0 and not broken, f"all {links} links and pictures reach their file and anchor", str(broken))
    print(f"{failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
