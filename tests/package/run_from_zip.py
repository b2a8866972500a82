#!/usr/bin/env python3
"""The release zip as a user uses it, in a Wine prefix made for this run.

Makes a fresh prefix, unpacks the zip into a new folder C:\\Tools of it,
gives Wine an ALSA capture device, and runs package_test.exe there (see
tests/package/package_test.cpp): the program is started from another working
folder, opens an example, plays it, saves a WAV, opens help and exits.
Then it checks the file system: the unpacked folder gained exactly the
settings file and the saved WAV, and nothing at all changed in the prefix's
user folders (drive_c/users and the home folder they link to) or in the
working folder.

usage: run_from_zip.py --zip FILE --driver package_test.exe --work DIR
                       --version X.Y [--kind win32|win64] [--wine LOADER]
Needs DISPLAY (an X server) in the environment.
"""

import argparse
import os
import shutil
import subprocess
import sys
import zipfile

BOOT_TIMEOUT = 300
RUN_TIMEOUT = 300


def fail(message):
    print(f"run_from_zip: FAILED: {message}", file=sys.stderr)
    sys.exit(1)


def windows_path(unix_path):
    """The path as Wine's drive Z: shows it."""
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


def snapshot(root):
    """Every entry under root (symbolic links not followed): relative path
    -> (kind, size, modification time, link target)."""
    entries = {}
    if not os.path.lexists(root):
        return entries
    for folder, dirs, files in os.walk(root):
        for name in dirs + files:
            path = os.path.join(folder, name)
            st = os.lstat(path)
            rel = os.path.relpath(path, root)
            if os.path.islink(path):
                entries[rel] = ("link", 0, 0, os.readlink(path))
            elif os.path.isdir(path):
                entries[rel] = ("dir", 0, 0, "")
            else:
                entries[rel] = ("file", st.st_size, st.st_mtime_ns, "")
    return entries


def changes(before, after):
    """(added, removed, modified) relative paths, each sorted."""
    added = sorted(set(after) - set(before))
    removed = sorted(set(before) - set(after))
    modified = sorted(p for p in set(before) & set(after) if before[p] != after[p])
    return added, removed, modified


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--zip", required=True)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--kind", default="win32", choices=("win32", "win64"))
    # The Wine loader: the one the test run chose for this machine.
    parser.add_argument("--wine", default=os.environ.get("PLIMBAR_WINE", "wine"))
    args = parser.parse_args()
    if not os.environ.get("DISPLAY"):
        fail("DISPLAY is not set: the program needs an X server")

    work = os.path.abspath(args.work)
    shutil.rmtree(work, ignore_errors=True)
    prefix = os.path.join(work, "prefix")
    home = os.path.join(work, "home")
    out = os.path.join(work, "out")
    capture = os.path.join(work, "capture.wav")
    for d in (home, out):
        os.makedirs(d)

    env = dict(os.environ)
    env.update({
        "WINEPREFIX": prefix,
        "HOME": home,
        # Caches and menus of the desktop go outside the home folder.
        "XDG_CACHE_HOME": os.path.join(work, "xdg-cache"),
        "XDG_CONFIG_HOME": os.path.join(work, "xdg-config"),
        "XDG_DATA_HOME": os.path.join(work, "xdg-data"),
        "LANG": "ja_JP.UTF-8",
        "LC_ALL": "ja_JP.UTF-8",
        "WINEDEBUG": "-all",
        # No offers to download add-ons.
        "WINEDLLOVERRIDES": "mscoree=;mshtml=",
    })
    if os.path.basename(args.wine) == "wine64":
        # Wine's 64-bit loader alone: a 64-bit prefix.
        env.update({"WINEARCH": "win64", "WINELOADER": args.wine})

    def wine(*argv, timeout, log=None):
        with open(log or os.devnull, "wb") as sink:
            return subprocess.run([args.wine, *argv], env=env, stdin=subprocess.DEVNULL,
                                  stdout=sink, stderr=subprocess.STDOUT,
                                  timeout=timeout).returncode

    def wineserver(flag):
        subprocess.run(["wineserver", flag], env=env, timeout=60,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)

    try:
        wine("wineboot", "-i", timeout=BOOT_TIMEOUT)
        wineserver("-w")
        drive_c = os.path.join(prefix, "drive_c")
        if not os.path.isdir(os.path.join(drive_c, "users")):
            fail(f"the Wine prefix {prefix} was not made")

        tools = os.path.join(drive_c, "Tools")
        start = os.path.join(drive_c, "StartHere")
        os.makedirs(tools)
        os.makedirs(start)
        with zipfile.ZipFile(args.zip) as z:
            z.extractall(tools)
        folders = os.listdir(tools)
        top = f"PlimbarMaker-{args.version}-{args.kind}"
        if folders != [top]:
            fail(f"the zip unpacks to {folders}, not one folder {top}")
        package = os.path.join(tools, folders[0])
        with open(os.path.join(home, ".asoundrc"), "w") as f:
            f.write('pcm.!default { type file; slave.pcm "null"; '
                    f'file "{capture}"; format "wav" }}\n')

        watched = {
            "the user folders": os.path.join(drive_c, "users"),
            "the home folder": home,
            "the working folder": start,
            "the package folder": package,
        }
        before = {what: snapshot(root) for what, root in watched.items()}

        env.update({
            "PLIMBAR_PACKAGE_DIR": f"C:\\Tools\\{folders[0]}",
            "PLIMBAR_PACKAGE_START": "C:\\StartHere",
            "PLIMBAR_PACKAGE_OUT": windows_path(out),
            "PLIMBAR_PACKAGE_VERSION": args.version,
            "PLIMBAR_PACKAGE_CAPTURE": capture,
        })
        log = os.path.join(work, "package_test.log")
        rc = wine(args.driver, timeout=RUN_TIMEOUT, log=log)
        with open(log, "rb") as f:
            sys.stdout.write(f.read().decode("utf-8", "replace"))
        if rc != 0:
            fail(f"package_test.exe exited with {rc}")
        # Every process of the prefix has ended before the files are looked at.
        wineserver("-w")
    finally:
        wineserver("-k")

    after = {what: snapshot(root) for what, root in watched.items()}
    expected = {"the package folder": (["PlimbarMaker.ini", os.path.join("examples", "kick.wav")], [], [])}
    problems = []
    for what in watched:
        found = changes(before[what], after[what])
        want = expected.get(what, ([], [], []))
        if found != want:
            problems.append(f"{what} ({watched[what]}): added {found[0]}, removed {found[1]}, "
                            f"modified {found[2]}; expected added {want[0]} only")
    if problems:
        fail("\n  ".join(["files written where they should not be:"] + problems))
    print("run_from_zip: the unpacked program wrote PlimbarMaker.ini next to itself and "
          "the WAV it was asked for, and nothing else in the user folders")


if __name__ == "__main__":
    main()
