#!/usr/bin/env python3
"""Checks the release zips without running them: each zip's one folder holds exactly the
programs, help, guide, license and examples (help and examples the project's bytes); both
programs are of the zip's kind (GUI, console), carry the version, no debugging data and
import only system DLLs; the texts are UTF-8 with a byte-order mark and CR LF. Two zips
differ only in the programs, whose resources are the same bytes."""

import argparse
import os
import re
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


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for option in ("--version", "--examples", "--chm"):
        parser.add_argument(option, required=True)
    parser.add_argument("--binutils", required=True, action="append", help="KIND=PREFIX, e.g. win32=i686-w64-mingw32-")
    parser.add_argument("--zip", required=True, action="append")
    args = parser.parse_args()
    packages = [check_zip(args, path) for path in args.zip]
    for a, b in [packages] if len(packages) == 2 else []:
        for name in sorted((set(a) | set(b)) - {"PlimbarMaker.exe", "plimbar-render.exe"}):
            check(a.get(name) is not None and a.get(name) == b.get(name), f"{name}: the same bytes in both zips")
    print(f"{failed} check(s) failed" if failed else "the package is complete")
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
