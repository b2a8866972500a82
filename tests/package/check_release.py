#!/usr/bin/env python3
"""Checks a Windows build without running it; every check prints a line, and one FAIL fails it all.

  exports  The DLLs export, undecorated, every name that the program or its tests look up with
           GetProcAddress (a stdcall function of the 32-bit build is exported as Name@12 unless
           the link says otherwise, and then a lookup of Name finds nothing).
  help     Plimbar.chm read back with extract_chmLib (an outside reader): start page index.htm,
           Japanese, the program's title, contents and index there; every page Shift_JIS and says
           so; index.htm names every text of the resource script and the version line.
  zips     Each release zip's one folder holds exactly the programs, help, guide, license and
           examples (help and examples the project's bytes); both programs are of the zip's kind
           (GUI, console), carry the version, no debugging data and import only system DLLs; the
           texts are UTF-8 with a byte-order mark and CR LF. Two zips differ only in the
           programs, whose resources are the same bytes."""

import argparse
import html
import os
import pathlib
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile

# Untranslated tool output, whatever locale the tests run in (Wine runs them in Japanese).
C_LOCALE = dict(os.environ, LC_ALL="C")
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "comdlg32.dll", "winmm.dll",
               "msvcrt.dll", "shell32.dll"}
KINDS = {"win32": (0x14C, 0x10B), "win64": (0x8664, 0x20B)}  # PE machine, optional-header magic
failed = 0


def check(ok, what, detail=""):
    global failed
    failed += not ok
    print(("ok    " if ok else "FAIL  ") + what + ("" if ok or not detail else f": {detail}"))


def looked_up(sources):
    """The names passed as string literals to GetProcAddress in the C++ sources under sources."""
    names = set()
    for path in pathlib.Path(sources).rglob("*"):
        if path.suffix in (".cpp", ".h") and "build" not in path.parts:
            names |= set(re.findall(r'GetProcAddress\s*\([^;]*?,\s*"(\w+)"\s*\)', path.read_text("utf-8", "replace")))
    return names


def exported(objdump, dll):
    """The names in the DLL's export table."""
    out = subprocess.run([objdump, "-p", dll], stdout=subprocess.PIPE, check=True, env=C_LOCALE).stdout.decode("utf-8", "replace")
    table = out.split("[Ordinal/Name Pointer] Table", 1)
    return set(re.findall(r"^\s*\[\s*\d+\]\s+(\S+)\s*$", table[1], re.M)) if len(table) == 2 else set()


def exports(args):
    names = looked_up(args.sources)
    everything = set().union(*(exported(args.objdump, dll) for dll in args.dlls))
    check(bool(names), "GetProcAddress lookups found under " + args.sources)
    for name in sorted(names):
        check(name in everything, f"{name} is exported under that name")


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


def help_file(args):
    out = os.path.join(args.work or tempfile.mkdtemp(prefix="check_help_"), "extracted")
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


def tool(args, kind, name, *arguments):
    """Output of a binutils program of the zip's own kind (the other kind's may not read its programs)."""
    return subprocess.run([dict(b.split("=", 1) for b in args.binutils)[kind] + name, *arguments],
                          stdout=subprocess.PIPE, env=C_LOCALE).stdout.decode("utf-8", "replace")


def check_zip(args, path):
    """Checks one zip; returns its files by name inside the package folder."""
    kind = "win64" if path.endswith("-win64.zip") else "win32"
    top = f"PlimbarMaker-{args.version}-{kind}"
    print(f"--- {os.path.basename(path)}")
    check(os.path.basename(path) == top + ".zip", f"the zip is named {top}.zip")
    examples = sorted(n for n in os.listdir(args.examples) if n.endswith(".plb"))
    expected = {"PlimbarMaker.exe", "Plimbar.chm", "plimbar-render.exe", "Readme.txt", "License.txt"}
    expected |= {"examples/" + n for n in examples}
    with zipfile.ZipFile(path) as z:
        names = [i.filename for i in z.infolist() if not i.is_dir()]
        files = {n[len(top) + 1:]: z.read(n) for n in names}
    check(sorted(names) == sorted(f"{top}/{n}" for n in expected), "the zip holds the package's files", str(names))
    for name, source in [("examples/" + n, os.path.join(args.examples, n)) for n in examples] + [("Plimbar.chm", args.chm)]:
        check(files.get(name) == open(source, "rb").read(), f"{name} is the project's")
    with tempfile.TemporaryDirectory() as tmp:
        for exe, subsystem in (("PlimbarMaker.exe", 2), ("plimbar-render.exe", 3)):
            data = files.get(exe, b"")
            at = struct.unpack_from("<I", data, 0x3C)[0] if len(data) > 64 else 0
            header = None if data[at:at + 4] != b"PE\0\0" else struct.unpack_from("<H", data, at + 4) + \
                struct.unpack_from("<H", data, at + 24) + struct.unpack_from("<H", data, at + 92)
            check(header == KINDS[kind] + (subsystem,), f"{exe} is a {kind} program, subsystem {subsystem}", str(header))
            utf16 = [t.encode("utf-16-le") for t in ("ProductVersion", args.version)]
            check(re.search(re.escape(utf16[0]) + b"\0\0(\0\0)?" + re.escape(utf16[1]) + b"\0\0", data),
                  f"{exe}'s version record says {args.version}")
            exe_path, res = os.path.join(tmp, exe), os.path.join(tmp, exe + ".res")
            open(exe_path, "wb").write(data)
            dlls = {d.lower() for d in re.findall(r"DLL Name:\s*(\S+)", tool(args, kind, "objdump", "-p", exe_path))}
            check("kernel32.dll" in dlls and dlls <= SYSTEM_DLLS, f"{exe} imports only system DLLs", str(dlls))
            debug = re.findall(r"\s(\.debug_\w+)", tool(args, kind, "objdump", "-h", exe_path))
            check(not debug, f"{exe} carries no debugging data", str(debug))
            tool(args, kind, "windres", "-i", exe_path, "-O", "res", "-o", res)
            files[exe + " resources"] = open(res, "rb").read() if os.path.exists(res) else None
    for name, pieces in (("Readme.txt", [f"PlimbarMaker Version {args.version}", "plimbar-render"] +
                                        [f"PlimbarMaker-{args.version}-{k}.zip" for k in KINDS]),
                         ("License.txt", ["MIT License", "Third-party notices"])):
        text = files.get(name, b"")
        check(text.startswith(b"\xef\xbb\xbf"), f"{name} starts with a UTF-8 byte-order mark")
        text = text[3:].decode("utf-8", "replace")
        check(not re.search(r"\r(?!\n)|(?<!\r)\n", text) and "\r\n" in text, f"{name} has CR LF line ends")
        check(all(p in text for p in pieces) and "@PLIMBAR_VERSION@" not in text, f"{name} says what it must")
    return files


def zips(args):
    packages = [check_zip(args, path) for path in args.zip]
    for a, b in [packages] if len(packages) == 2 else []:
        for name in sorted((set(a) | set(b)) - {"PlimbarMaker.exe", "plimbar-render.exe"}):
            check(a.get(name) is not None and a.get(name) == b.get(name), f"{name}: the same bytes in both zips")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    commands = parser.add_subparsers(dest="command", required=True)
    e = commands.add_parser("exports")
    e.add_argument("--objdump", required=True)
    e.add_argument("--sources", required=True)
    e.add_argument("dlls", nargs="+")
    h = commands.add_parser("help")
    for option, required in (("--chm", True), ("--rc", True), ("--version", True), ("--extract", False), ("--work", False)):
        h.add_argument(option, required=required)
    z = commands.add_parser("zips")
    for option in ("--version", "--examples", "--chm"):
        z.add_argument(option, required=True)
    z.add_argument("--binutils", required=True, action="append", help="KIND=PREFIX, e.g. win32=i686-w64-mingw32-")
    z.add_argument("--zip", required=True, action="append")
    args = parser.parse_args()
    {"exports": exports, "help": help_file, "zips": zips}[args.command](args)
    print(f"{failed} check(s) failed" if failed else "every check passed")
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
