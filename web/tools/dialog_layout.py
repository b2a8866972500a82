#!/usr/bin/env python3
"""Reads the program's resource script into the page's description of it.

From resources/plimbar.rc (ids from resources/resource.h): the main dialog
(101) and the about box (105) with every control in template order (class,
text, styles, rectangle in dialog units and in pixels), the menu with its
popups and items, the accelerator table and the string table. The page is
laid out from this file alone, so it follows the template wherever it
changes.

Dialog units become pixels as Windows converts a template, each number on
its own: x and width by MulDiv(v, base_x, 4), y and height by
MulDiv(v, base_y, 8), MulDiv rounding halves away from zero. The base units
are those the program gets for its dialog font, "ＭＳ Ｐゴシック" 9 pt,
drawn with IPAPGothic (cmake/wine-run.sh) at 96 DPI: 7 x 13, measured from
the running program under Wine (the volume frame, 65 x 70 units, is
114 x 114 pixels at 350, 41; the client area is 667 x 475). A closed
drop-down list is as tall as the system makes it for the font, not as its
template says (that height includes the list): 21 pixels there.

The editor's own tables come along, read from its headers, so that the
page never retypes them: the bars' scroll bars and value displays in the
editor's order and the OSC buttons (editor/controls.h), the Refresh bits,
scroll codes and the bars' names (editor/session.h), the link statuses
(editor/share_link.h) and the strengths of a variation
(editor/variations.h).

usage: dialog_layout.py --rc FILE --ids resource.h --editor DIR --version X.Y --output FILE.json
"""

import argparse
import json
import re
import sys

BASE_X = 7
BASE_Y = 13
CLOSED_COMBO_HEIGHT = 21

# Constants of windows.h that the script uses.
WINDOWS_IDS = {"IDOK": 1, "IDCANCEL": 2}


def mul_div(v, num, den):
    q = abs(v) * num
    r = (q + den // 2) // den
    return r if v >= 0 else -r


def read_ids(path):
    ids = dict(WINDOWS_IDS)
    with open(path, encoding="utf-8") as f:
        for line in f:
            m = re.match(r"\s*#define\s+(\w+)\s+(-?\d+)\s*$", line)
            if m:
                ids[m.group(1)] = int(m.group(2))
    return ids


def tokens(text):
    """Strings, names, numbers and punctuation of one statement."""
    return re.findall(r'"(?:[^"]|"")*"|[A-Za-z_]\w*|-?\d+|[|,]', text)


def unquote(tok):
    return tok[1:-1].replace('""', '"')


def value(tok, ids, defines):
    if tok.startswith('"'):
        return unquote(tok)
    if re.fullmatch(r"-?\d+", tok):
        return int(tok)
    if tok in ids:
        return ids[tok]
    if tok in defines:
        return defines[tok]
    raise ValueError(f"unknown name {tok}")


def statements(lines):
    """Joins a statement continued on the next line (ending in ',' or '|')."""
    out, cur = [], ""
    for line in lines:
        line = re.sub(r"//.*$", "", line).strip()
        if not line:
            continue
        cur = f"{cur} {line}".strip()
        if cur.endswith(",") or cur.endswith("|"):
            continue
        out.append(cur)
        cur = ""
    if cur:
        out.append(cur)
    return out


def block(lines, start):
    """The statements between BEGIN and its END from line start on, and the line after."""
    i, depth, body = start, 0, []
    while i < len(lines):
        word = re.sub(r"//.*$", "", lines[i]).strip()
        if word == "BEGIN":
            depth += 1
            if depth == 1:
                i += 1
                continue
        elif word == "END":
            depth -= 1
            if depth == 0:
                return body, i + 1
        if depth >= 1:
            body.append(lines[i])
        i += 1
    raise ValueError("BEGIN without END")


def read_dialog(header, lines, start, ids, defines):
    toks = tokens(header)
    dialog = {"id": value(toks[0], ids, defines), "kind": toks[1]}
    nums = [int(t) for t in toks[2:] if re.fullmatch(r"-?\d+", t)]
    dialog["dlu"] = nums[2:4]
    i = start
    while re.sub(r"//.*$", "", lines[i]).strip() != "BEGIN":
        st = re.sub(r"//.*$", "", lines[i]).strip()
        t = tokens(st)
        if t and t[0] == "CAPTION":
            dialog["caption"] = unquote(t[1])
        elif t and t[0] == "STYLE":
            dialog["style"] = [x for x in t[1:] if x != "|"]
        elif t and t[0] == "EXSTYLE":
            dialog["exstyle"] = [x for x in t[1:] if x != "|"]
        elif t and t[0] == "MENU":
            dialog["menu"] = value(t[1], ids, defines)
        elif t and t[0] == "FONT":
            dialog["font"] = {"points": int(t[1]), "face": unquote(t[3])}
        i += 1
    body, after = block(lines, i)
    controls = []
    for st in statements(body):
        t = [x for x in tokens(st) if x != ","]
        if t[0] != "CONTROL":
            raise ValueError(f"only CONTROL statements are read: {st}")
        # CONTROL text, id, class, style, x, y, cx, cy
        text = value(t[1], ids, defines)
        cid = value(t[2], ids, defines)
        cls = unquote(t[3])
        rest = t[4:]
        rect = [int(x) for x in rest[-4:]]
        styles = [x for x in rest[:-4] if x != "|"]
        c = {"id": cid, "name": next((n for n, v in ids.items() if v == cid and n not in WINDOWS_IDS), None),
             "class": cls, "text": text if isinstance(text, str) else "", "styles": styles, "dlu": rect}
        if isinstance(text, int):
            c["resource"] = text  # an icon's ordinal
        if cid in WINDOWS_IDS.values():
            c["name"] = next(n for n, v in WINDOWS_IDS.items() if v == cid)
        px = [mul_div(rect[0], BASE_X, 4), mul_div(rect[1], BASE_Y, 8),
              mul_div(rect[2], BASE_X, 4), mul_div(rect[3], BASE_Y, 8)]
        if cls.upper() == "COMBOBOX":
            c["listHeight"] = px[3]
            px[3] = CLOSED_COMBO_HEIGHT
        c["px"] = px
        controls.append(c)
    dialog["controls"] = controls
    dialog["px"] = [mul_div(dialog["dlu"][0], BASE_X, 4), mul_div(dialog["dlu"][1], BASE_Y, 8)]
    return dialog, after


def read_menu(lines, start, ids, defines):
    body, after = block(lines, start)
    popups, i = [], 0
    while i < len(body):
        t = tokens(re.sub(r"//.*$", "", body[i]))
        if t and t[0] == "POPUP":
            items_body, j = block(body, i + 1)
            items = []
            for st in statements(items_body):
                u = [x for x in tokens(st) if x != ","]
                if u[:2] == ["MENUITEM", "SEPARATOR"]:
                    items.append({"separator": True})
                else:
                    items.append({"caption": unquote(u[1]), "id": value(u[2], ids, defines), "name": u[2]})
            popups.append({"caption": unquote(t[1]), "items": items})
            i = j
        else:
            i += 1
    return popups, after


def read_accelerators(lines, start, ids, defines):
    body, after = block(lines, start)
    keys = []
    for st in statements(body):
        u = [x for x in tokens(st) if x != ","]
        key = unquote(u[0]) if u[0].startswith('"') else u[0]
        flags = set(u[2:])
        keys.append({"key": key, "id": value(u[1], ids, defines), "name": u[1],
                     "ctrl": "CONTROL" in flags, "shift": "SHIFT" in flags, "alt": "ALT" in flags})
    return keys, after


def read_strings(lines, start, ids, defines):
    body, after = block(lines, start)
    strings = {}
    for st in statements(body):
        u = [x for x in tokens(st) if x != ","]
        strings[str(value(u[0], ids, defines))] = unquote(u[1])
    return strings, after


def enum_values(text, enum):
    """name -> value of a C++ enum whose members are numbered or shifted."""
    body = re.search(r"enum\s+(?:class\s+)?" + enum + r"\b[^{]*\{(.*?)\};", text, re.S).group(1)
    body = re.sub(r"//.*$", "", body, flags=re.M)
    values, nxt = {}, 0
    for item in [x.strip() for x in body.split(",") if x.strip()]:
        if "=" in item:
            name, expr = [x.strip() for x in item.split("=", 1)]
            m = re.fullmatch(r"(\d+)u?\s*<<\s*(\d+)", expr)
            v = (int(m.group(1)) << int(m.group(2))) if m else (
                int(expr.rstrip("u"), 0) if re.fullmatch(r"0x[0-9A-Fa-f]+u?|\d+u?", expr) else None)
            if v is None:
                continue  # a combination of other members
        else:
            name, v = item, nxt
        values[name] = v
        nxt = v + 1
    return values


def read_editor(folder, ids):
    with open(f"{folder}/controls.h", encoding="utf-8") as f:
        controls = f.read()
    table = re.search(r"kBarControls\[kParamBars\]\s*=\s*\{(.*?)\};", controls, re.S).group(1)
    bars = [{"bar": ids[a], "value": ids[b]} for a, b in re.findall(r"\{(IDC_\w+),\s*(IDC_\w+)\}", table)]
    buttons = re.search(r"kOscButtonIds\[kOscillators\]\s*=\s*\{(.*?)\};", controls, re.S).group(1)
    osc = [ids[n] for n in re.findall(r"IDC_\w+", buttons)]
    with open(f"{folder}/session.h", encoding="utf-8") as f:
        session = f.read()
    with open(f"{folder}/share_link.h", encoding="utf-8") as f:
        link = f.read()
    with open(f"{folder}/variations.h", encoding="utf-8") as f:
        variations = f.read()
    # The bars' names in ParamBar order without "kBar" ("Tune" ... "Time"):
    # the patch file's key stems, which name the locks.
    params = enum_values(session, "ParamBar")
    names = [n[4:] for n, v in sorted(params.items(), key=lambda x: x[1]) if n.startswith("kBar")]
    return {"bars": bars, "oscButtons": osc, "barNames": names, "refresh": enum_values(session, "Refresh"),
            "scrollCodes": enum_values(session, "ScrollCode"), "linkStatus": enum_values(link, "LinkStatus"),
            "strengths": enum_values(variations, "MutationStrength")}


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--rc", required=True)
    ap.add_argument("--ids", required=True)
    ap.add_argument("--editor", required=True)
    ap.add_argument("--version", required=True)
    ap.add_argument("--output", required=True)
    args = ap.parse_args()
    ids = read_ids(args.ids)
    # The about text comes from the version header the build writes.
    defines = {"PLIMBAR_ABOUT_TEXT": f"PlimbarMaker Version {args.version}"}
    with open(args.rc, encoding="utf-8") as f:
        lines = f.read().splitlines()
    out = {"baseUnits": [BASE_X, BASE_Y], "dialogs": {}, "version": args.version}
    i = 0
    while i < len(lines):
        line = re.sub(r"//.*$", "", lines[i]).strip()
        t = tokens(line)
        if len(t) >= 2 and t[1] in ("DIALOGEX", "DIALOG"):
            d, i = read_dialog(line, lines, i + 1, ids, defines)
            out["dialogs"][str(d["id"])] = d
        elif len(t) >= 2 and t[1] == "MENU":
            out["menu"], i = read_menu(lines, i + 1, ids, defines)
        elif len(t) >= 2 and t[1] == "ACCELERATORS":
            out["accelerators"], i = read_accelerators(lines, i + 1, ids, defines)
        elif t[:1] == ["STRINGTABLE"]:
            out["strings"], i = read_strings(lines, i + 1, ids, defines)
        else:
            i += 1
    main_dialog = out["dialogs"].get(str(ids["IDD_MAIN"]))
    if main_dialog is None or len(main_dialog["controls"]) != 69:
        sys.exit("dialog_layout: the main dialog must have its 69 controls")
    out["ids"] = {n: v for n, v in ids.items()}
    out["editor"] = read_editor(args.editor, ids)
    if len(out["editor"]["bars"]) != 10 or len(out["editor"]["oscButtons"]) != 9:
        sys.exit("dialog_layout: editor/controls.h must list ten bars and nine OSC buttons")
    if len(out["editor"]["barNames"]) != 10:
        sys.exit("dialog_layout: editor/session.h must name ten bars")
    with open(args.output, "w", encoding="utf-8") as f:
        json.dump(out, f, ensure_ascii=False, indent=1)


if __name__ == "__main__":
    main()
