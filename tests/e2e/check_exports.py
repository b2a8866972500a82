#!/usr/bin/env python3
"""Checks without running them that the DLLs of a Windows build export, undecorated, every name
that the program or its tests look up with GetProcAddress (a stdcall function of the 32-bit build
is exported as Name@12 unless the link says otherwise, and then a lookup of Name finds nothing).

  check_exports.py --objdump OBJDUMP --sources DIR DLL [DLL ...]"""

import argparse
import os
import pathlib
import re
import subprocess
import sys

# Untranslated tool output, whatever locale the tests run in (Wine runs them in Japanese).
C_LOCALE = dict(os.environ, LC_ALL="C")


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


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--sources", required=True)
    parser.add_argument("dlls", nargs="+")
    args = parser.parse_args()
    names = looked_up(args.sources)
    everything = set().union(*(exported(args.objdump, dll) for dll in args.dlls))
    failed = not names
    if not names:
        print("FAIL  no GetProcAddress lookups found under " + args.sources)
    for name in sorted(names):
        found = name in everything
        failed |= not found
        print(("ok    " if found else "FAIL  ") + f"{name} is exported under that name")
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
