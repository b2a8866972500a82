#!/usr/bin/env python3
"""Checks the release zips without running them.

For each zip (PlimbarMaker-<version>-win32.zip or -win64.zip):
- its name carries the version and the kind, and it holds exactly one
  folder of that name with the program, the help, the renderer, the user's
  guide, the license and the example patches, nothing else;
- the examples and the help are the project's own, byte for byte;
- both programs are Windows programs (GUI and console) for the zip's kind,
  32-bit x86 or x86-64, carry no debugging data, and import only DLLs that
  every Windows has: no run-time DLL of the compiler;
- Readme.txt and License.txt are UTF-8 with a byte-order mark and CR LF line
  ends (what Notepad shows right), with the version in place.
With two zips, also: both programs' resources (dialogs, menu, strings,
icon, version record), as windres reads them back, are the same bytes in
both, and the two zips differ in nothing but the programs.

usage: check_package.py --zip FILE [--zip FILE] --version X.Y
                        --objdump PATH --windres PATH --examples DIR --chm FILE
"""

import argparse
import os
import re
import struct
import subprocess
import sys
import tempfile
import zipfile

# DLLs of Windows itself, present on every 32-bit and 64-bit Windows (in
# SysWOW64 for 32-bit programs on 64-bit Windows).
SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "comdlg32.dll",
    "winmm.dll", "msvcrt.dll",
}
# PE machine and optional-header magic of each kind.
KINDS = {"win32": (0x14C, 0x10B, "32-bit x86"), "win64": (0x8664, 0x20B, "x86-64")}
SUBSYSTEM_GUI = 2
SUBSYSTEM_CONSOLE = 3


class Checks:
    def __init__(self):
        self.failed = 0

    def check(self, ok, what, detail=""):
        print(("ok    " if ok else "FAIL  ") + what + ("" if ok or not detail else f": {detail}"))
        if not ok:
            self.failed += 1


def pe_header(data):
    """(machine, optional-header magic, subsystem) of a PE file, or None."""
    if data[:2] != b"MZ" or len(data) < 64:
        return None
    at = struct.unpack_from("<I", data, 0x3C)[0]
    if data[at:at + 4] != b"PE\0\0":
        return None
    machine = struct.unpack_from("<H", data, at + 4)[0]
    optional = at + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    subsystem = struct.unpack_from("<H", data, optional + 68)[0]
    return machine, magic, subsystem


def objdump(tool, path, flag):
    run = subprocess.run([tool, flag, path], stdout=subprocess.PIPE,
                         stderr=subprocess.STDOUT)
    return run.returncode, run.stdout.decode("utf-8", "replace")


def check_text(checks, name, data, must_hold):
    checks.check(data.startswith(b"\xef\xbb\xbf"), f"{name} starts with a UTF-8 byte-order mark")
    try:
        text = data[3:].decode("utf-8")
    except UnicodeDecodeError as e:
        checks.check(False, f"{name} is UTF-8", f"byte {e.start}")
        return
    bare = len(re.findall(r"\r(?!\n)|(?<!\r)\n", text))
    checks.check(bare == 0 and "\r\n" in text, f"{name} has CR LF line ends only",
                 f"{bare} bare CR or LF")
    for piece in must_hold:
        checks.check(piece in text, f"{name} holds {piece!r}")
    checks.check("@PLIMBAR_VERSION@" not in text, f"{name} has the version in place")


def resources(windres, path):
    """The program's resources as windres writes them, or None."""
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "r.res")
        run = subprocess.run([windres, "-i", path, "-O", "res", "-o", out],
                             stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if run.returncode != 0 or not os.path.exists(out):
            return None
        with open(out, "rb") as f:
            return f.read()


def check_zip(checks, args, path):
    """Checks one zip; returns its files by name inside the package folder."""
    kind = next((k for k in KINDS if os.path.basename(path).endswith(f"-{k}.zip")), "win32")
    machine, magic, bits = KINDS[kind]
    top = f"PlimbarMaker-{args.version}-{kind}"
    print(f"--- {os.path.basename(path)}")
    checks.check(os.path.basename(path) == top + ".zip", f"the zip is named {top}.zip",
                 os.path.basename(path))
    examples = sorted(n for n in os.listdir(args.examples) if n.endswith(".plb"))
    expected = {f"{top}/{n}" for n in ("PlimbarMaker.exe", "Plimbar.chm", "plimbar-render.exe",
                                       "Readme.txt", "License.txt")}
    expected |= {f"{top}/examples/{n}" for n in examples}

    with zipfile.ZipFile(path) as z:
        infos = [i for i in z.infolist() if not i.is_dir()]
        names = [i.filename for i in infos]
        checks.check(len(names) == len(set(names)), "no entry twice")
        checks.check(set(names) == expected, f"the zip holds the {len(expected)} files of the package",
                     f"extra {sorted(set(names) - expected)}, missing {sorted(expected - set(names))}")
        checks.check(z.testzip() is None, "every entry reads back with its CRC")
        print(f"{'size':>10}  file")
        for i in infos:
            print(f"{i.file_size:>10}  {i.filename}")
        print(f"{os.path.getsize(path):>10}  {os.path.basename(path)} (compressed)")
        files = {n[len(top) + 1:]: z.read(n) for n in names if n in expected}

    for n in examples:
        with open(os.path.join(args.examples, n), "rb") as f:
            checks.check(files.get(f"examples/{n}") == f.read(), f"examples/{n} is the project's")
    with open(args.chm, "rb") as f:
        checks.check(files.get("Plimbar.chm") == f.read(), "Plimbar.chm is the built help file")

    with tempfile.TemporaryDirectory() as tmp:
        for exe, subsystem in (("PlimbarMaker.exe", SUBSYSTEM_GUI),
                               ("plimbar-render.exe", SUBSYSTEM_CONSOLE)):
            data = files.get(exe, b"")
            header = pe_header(data)
            checks.check(header == (machine, magic, subsystem),
                         f"{exe} is a {bits} Windows "
                         f"{'GUI' if subsystem == SUBSYSTEM_GUI else 'console'} program",
                         str(header))
            exe_path = os.path.join(tmp, exe)
            with open(exe_path, "wb") as f:
                f.write(data)
            rc, text = objdump(args.objdump, exe_path, "-p")
            dlls = re.findall(r"DLL Name:\s*(\S+)", text)
            checks.check(rc == 0 and "kernel32.dll" in (d.lower() for d in dlls),
                         f"{exe}: imports read", text[-300:])
            others = sorted(d for d in dlls if d.lower() not in SYSTEM_DLLS)
            checks.check(not others, f"{exe} imports only system DLLs ({', '.join(dlls)})",
                         f"also needs {others}")
            rc, text = objdump(args.objdump, exe_path, "-h")
            debug = sorted(set(re.findall(r"\s(\.debug_\w+)", text)))
            checks.check(rc == 0 and not debug, f"{exe} carries no debugging data", str(debug))
            files[exe + ":resources"] = resources(args.windres, exe_path)
            checks.check(files[exe + ":resources"], f"{exe}: resources read")

    check_text(checks, "Readme.txt", files.get("Readme.txt", b""),
               [f"PlimbarMaker Version {args.version}", "PlimbarMaker.exe", "Plimbar.chm",
                "plimbar-render", "PlimbarMaker.ini",
                f"PlimbarMaker-{args.version}-win32.zip", f"PlimbarMaker-{args.version}-win64.zip"])
    check_text(checks, "License.txt", files.get("License.txt", b""),
               ["MIT License", "Third-party notices"])
    return files


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--zip", required=True, action="append")
    parser.add_argument("--version", required=True)
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--windres", required=True)
    parser.add_argument("--examples", required=True)
    parser.add_argument("--chm", required=True)
    args = parser.parse_args()
    checks = Checks()

    packages = [check_zip(checks, args, path) for path in args.zip]
    if len(packages) == 2:
        print("--- the two zips side by side")
        a, b = packages
        for name in sorted(set(a) | set(b)):
            if name.endswith(".exe"):
                continue
            what = name.replace(":resources", "'s resources are") if ":" in name else name + " is"
            checks.check(a.get(name) is not None and a.get(name) == b.get(name),
                         f"{what} the same bytes in both zips")

    if checks.failed:
        print(f"{checks.failed} check(s) failed")
        sys.exit(1)
    print("the package is complete" if len(packages) == 1 else "both packages are complete")


if __name__ == "__main__":
    main()
