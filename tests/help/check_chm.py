#!/usr/bin/env python3
"""Reads the built help file Plimbar.chm back with extract_chmLib (Debian
package libchm-bin, an outside reader of the format) and checks what the
Help menu and a user rely on:

- the file is a compiled help file that extract_chmLib can unpack;
- its system record names index.htm as the start page, Japanese (0x0411)
  as its language and contents and index files that are in the archive;
- index.htm declares Shift_JIS and really is Shift_JIS (CP932) text, as the
  HTML Help viewer of a Japanese Windows expects; so are the table of
  contents and the index;
- index.htm explains every caption of the main window, every menu item,
  the waveform names, the files and the keys of the patch and settings
  files (the texts a user sees, with '&' removed from menu captions);
- with --rc, every caption, menu item and string of the program's resource
  script appears in index.htm too, so the help follows the program;
- every link and picture of the pages, the contents and the index points
  at a file (and an anchor) that exist.

usage: check_chm.py --chm FILE [--extract PATH] [--rc FILE] [--work DIR]
Prints one line per check and "N passed, N failed"; exits 1 on a failure.
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

# What the main window, its menu and the about box show, as the user sees it.
CONTROL_CAPTIONS = [
    "音量", "アタック時間", "アタックカープ", "減衰時間", "減衰カーブ",
    "音程", "初期周波数", "デチューン", "ベンド", "カーブ", "音の長さ",
    "OSC1", "OSC2", "OSC3", "OSC4", "OSC5", "OSC6", "OSC7", "OSC8", "OSC9",
    "ミュート", "テスト", "終了", "%", "Hz", "mSec",
]
WAVEFORM_NAMES = ["正弦波", "鋸歯波", "矩形波", "ノイズ"]
MENU_CAPTIONS = [
    "ﾌｧｲﾙ(&F)", "開く(&O)...", "上書き保存(&S)", "名前を付けて保存(&A)...",
    "WAVを保存(&W)", "終了(&X)",
    "編集(&E)", "コピー(&C)", "貼り付け(&P)",
    "設定(&O)", "44KHz", "22KHz", "11KHz", "16Bits", "8Bits",
    "ﾍﾙﾌﾟ(&H)", "PlimbarMakerのヘルプ", "ﾊﾞｰｼﾞｮﾝ情報(&A)",
]
ABOUT_TEXTS = ["PlimbarMaker Version {version}", "OK"]
FILE_TEXTS = [
    ".plb", "PlimbarMaker.ini", "Plimbar.chm", "PlimbarMaker.exe", "WAV",
    "[Setting]", "[Version]", "[format]", "Version=20",
    "Tune", "DeTune", "Bend", "BendCurve", "Volume", "Attack", "AttackCurve",
    "Decay", "DecayCurve", "Distortion", "Mute", "WaveForm", "Time",
    "freq", "bits", "dir", "44100", "22050", "11025",
]
USE_TEXTS = [
    "Enter", "Esc", "Ctrl+C", "Ctrl+V", "plimbar-render",
    "-100～100 %", "20～2000 mSec", "27.5 Hz", "キャリア", "モジュレーター",
]
REQUIRED_FILES = ["index.htm", "Plimbar.hhc", "Plimbar.hhk", "help.css"]
SHIFT_JIS_META = re.compile(
    rb'<meta\s+http-equiv="Content-Type"\s+content="text/html;\s*'
    rb'charset=Shift_JIS"\s*>', re.IGNORECASE)
ANY_CHARSET = re.compile(rb"charset=([A-Za-z0-9_-]+)", re.IGNORECASE)


class Checks:
    def __init__(self):
        self.passed = 0
        self.failed = 0

    def check(self, ok, what, detail=""):
        if ok:
            self.passed += 1
            print(f"PASS {what}")
        else:
            self.failed += 1
            print(f"FAIL {what}" + (f": {detail}" if detail else ""))
        return ok


def shown(caption):
    """A menu caption as the menu shows it: '&' marks the access key."""
    return caption.replace("&&", "\0").replace("&", "").replace("\0", "&")


def visible_text(markup):
    """The text of a page as a reader sees it: no comments, no tags."""
    markup = re.sub(r"<!--.*?-->", " ", markup, flags=re.S)
    markup = re.sub(r"<[^>]*>", " ", markup)
    return html.unescape(markup)


def system_record(path):
    """The entries of the archive's #SYSTEM file: code -> bytes."""
    with open(path, "rb") as f:
        data = f.read()
    entries = {}
    pos = 4  # version
    while pos + 4 <= len(data):
        code, length = struct.unpack_from("<HH", data, pos)
        entries[code] = data[pos + 4:pos + 4 + length]
        pos += 4 + length
    return entries


def c_string(raw):
    return raw.split(b"\0", 1)[0]


def rc_texts(rc_path):
    """Captions, menu items and strings of a resource script (UTF-8)."""
    with open(rc_path, encoding="utf-8") as f:
        lines = f.read().splitlines()
    texts = []
    quoted = re.compile(r'"((?:[^"]|"")*)"')
    in_strings = False
    depth = 0
    for line in lines:
        stripped = line.strip()
        if stripped.startswith("//"):
            continue
        word = stripped.split(None, 1)[0] if stripped else ""
        if word == "STRINGTABLE":
            in_strings, depth = True, 0
            continue
        if in_strings:
            if word in ("BEGIN", "{"):
                depth += 1
            elif word in ("END", "}"):
                depth -= 1
                in_strings = depth > 0
            else:
                texts += [m.group(1) for m in quoted.finditer(stripped)]
            continue
        if word in ("CONTROL", "LTEXT", "CTEXT", "RTEXT", "PUSHBUTTON",
                    "DEFPUSHBUTTON", "GROUPBOX", "CHECKBOX", "AUTOCHECKBOX",
                    "POPUP", "MENUITEM", "CAPTION"):
            # The text right after the keyword; a control whose text is a
            # macro (the about box's version line) has none here.
            m = re.match(r'\w+\s+"((?:[^"]|"")*)"', stripped)
            if m:
                texts.append(m.group(1))
    result = []
    for t in texts:
        t = t.replace('""', '"')
        for part in t.split("\\t"):  # "Copy\tCtrl+C": caption and key
            part = shown(part).strip()
            # Empty captions and the numbers the program overwrites at once.
            if part and not re.fullmatch(r"-?\d+", part):
                result.append(part)
    return result


def anchors_of(markup):
    return set(re.findall(r'\b(?:name|id)\s*=\s*"([^"]+)"', markup))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--chm", required=True)
    parser.add_argument("--extract", default="extract_chmLib")
    parser.add_argument("--rc")
    parser.add_argument("--work")
    parser.add_argument("--version", required=True,
                        help="the version the build defines, as the about box shows it")
    args = parser.parse_args()
    checks = Checks()

    extract = shutil.which(args.extract)
    if extract is None:
        print(f"FAIL extract_chmLib not found ({args.extract}): install the "
              f"Debian package libchm-bin")
        print("0 passed, 1 failed")
        return 1
    if not checks.check(os.path.isfile(args.chm), f"{args.chm} exists"):
        print(f"{checks.passed} passed, {checks.failed} failed")
        return 1
    with open(args.chm, "rb") as f:
        checks.check(f.read(4) == b"ITSF", "the file is a compiled help file (ITSF)")

    if args.work:
        shutil.rmtree(args.work, ignore_errors=True)
        os.makedirs(args.work)
        out = os.path.join(args.work, "extracted")
    else:
        out = os.path.join(tempfile.mkdtemp(prefix="check_chm_"), "extracted")
    run = subprocess.run([extract, args.chm, out], stdout=subprocess.PIPE,
                         stderr=subprocess.STDOUT)
    checks.check(run.returncode == 0, "extract_chmLib unpacks it",
                 run.stdout.decode("utf-8", "replace"))
    for name in REQUIRED_FILES:
        checks.check(os.path.isfile(os.path.join(out, name)), f"{name} is in it")

    # The system record: start page, language, contents and index.
    system_path = os.path.join(out, "#SYSTEM")
    if checks.check(os.path.isfile(system_path), "#SYSTEM is in it"):
        system = system_record(system_path)
        lcid = struct.unpack_from("<I", system[4])[0] if len(system.get(4, b"")) >= 4 else None
        checks.check(lcid == 0x0411, "the language is Japanese (0x0411)",
                     f"found {lcid!r}")
        checks.check(c_string(system.get(2, b"")) == b"index.htm",
                     "the start page is index.htm", repr(system.get(2)))
        for code, what in ((0, "contents"), (1, "index")):
            name = c_string(system.get(code, b"")).decode("ascii", "replace")
            checks.check(name != "" and os.path.isfile(os.path.join(out, name)),
                         f"the {what} file named by #SYSTEM is in it", repr(name))
        title = c_string(system.get(3, b""))
        try:
            title_text = title.decode("cp932")
        except UnicodeDecodeError:
            title_text = None
        checks.check(title_text is not None and "PlimbarMaker" in title_text
                     and "ヘルプ" in title_text,
                     "the title reads as Shift_JIS 'PlimbarMaker ヘルプ'", repr(title))

    # Encoding of every page, the contents and the index.
    texts = {}
    for name in sorted(os.listdir(out)):
        if not name.lower().endswith((".htm", ".html", ".hhc", ".hhk")):
            continue
        with open(os.path.join(out, name), "rb") as f:
            raw = f.read()
        declared = [m.group(1).decode().lower() for m in ANY_CHARSET.finditer(raw)]
        checks.check(SHIFT_JIS_META.search(raw) is not None and declared == ["shift_jis"],
                     f"{name} declares charset=Shift_JIS and nothing else",
                     f"declared {declared}")
        try:
            text = raw.decode("cp932")
            ok = True
        except UnicodeDecodeError as e:
            text, ok = raw.decode("cp932", "replace"), False
            checks.check(False, f"{name} is Shift_JIS (CP932) text", str(e))
        if ok:
            checks.check(True, f"{name} is Shift_JIS (CP932) text")
        # Text stored as UTF-8 by mistake can decode as CP932 by chance, but
        # then it decodes as UTF-8 too and reads as nonsense.
        is_utf8 = True
        try:
            raw.decode("utf-8")
        except UnicodeDecodeError:
            is_utf8 = False
        checks.check(not is_utf8 or raw.isascii(),
                     f"{name} is not UTF-8 text")
        texts[name] = text

    page = visible_text(texts.get("index.htm", ""))
    missing = [t for t in CONTROL_CAPTIONS if t not in page]
    checks.check(not missing, "index.htm names every control of the main window", str(missing))
    missing = [t for t in WAVEFORM_NAMES if t not in page]
    checks.check(not missing, "index.htm names the four waveforms", str(missing))
    missing = [shown(t) for t in MENU_CAPTIONS if shown(t) not in page]
    checks.check(not missing, "index.htm names every menu and menu item", str(missing))
    missing = [t for t in (a.format(version=args.version) for a in ABOUT_TEXTS)
               if t not in page]
    checks.check(not missing, "index.htm describes the about box", str(missing))
    missing = [t for t in FILE_TEXTS if t not in page]
    checks.check(not missing, "index.htm describes the patch, settings and WAV files", str(missing))
    missing = [t for t in USE_TEXTS if t not in page]
    checks.check(not missing, "index.htm explains keys, value ranges and the chains", str(missing))
    for heading in ("はじめてのドラム音", "スネア", "ハイハット", "音が作り直されるタイミング"):
        checks.check(heading in page, f"index.htm has the section '{heading}'")

    if args.rc:
        from_rc = rc_texts(args.rc)
        missing = sorted({t for t in from_rc if t not in page})
        checks.check(bool(from_rc) and not missing,
                     f"index.htm names all {len(from_rc)} texts of {os.path.basename(args.rc)}",
                     str(missing) if from_rc else "no texts found")

    # Links of the pages, the contents and the index.
    anchors = {name: anchors_of(text) for name, text in texts.items()}
    broken = []
    links = 0
    for name, text in texts.items():
        targets = re.findall(r'\b(?:href|src)\s*=\s*"([^"]*)"', text)
        targets += re.findall(r'<param\s+name="Local"\s+value="([^"]*)"', text, re.I)
        for target in targets:
            if re.match(r"[a-z]+:", target, re.I):
                continue  # no outside links are expected; none is followed
            links += 1
            file, _, anchor = target.partition("#")
            file = file or name
            path = os.path.join(out, file)
            if not os.path.isfile(path):
                broken.append(f"{name} -> {target}")
            elif anchor and anchor not in anchors.get(file, set()):
                broken.append(f"{name} -> {target}")
    checks.check(links > 0 and not broken, f"all {links} links and pictures reach their file and anchor",
                 str(broken))
    names = re.findall(r'<param\s+name="Name"\s+value="([^"]*)"',
                       texts.get("Plimbar.hhc", ""), re.I)
    checks.check("メニュー" in names and "ファイル" in names and len(names) >= 10,
                 "the table of contents lists the sections", str(names))

    print(f"{checks.passed} passed, {checks.failed} failed")
    return 0 if checks.failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
