#!/usr/bin/env python3
"""Makes PlimbarMaker.html: one self-contained page, loading nothing.

Into web/src/page.html go the style (page.css and the help's style, kept to
the help), the help's text (resources/help/index.htm, its picture inline),
the icon, and one script: the dialogs read from the resource script
(dialog_layout.py), the worker's source (emscripten's glue and worker.js),
the WebAssembly module as base64, texts.js and app.js. The
Content-Security-Policy allows exactly that script and that style by their
SHA-256, WebAssembly, the worker from a blob: URL and data: images, and
nothing from anywhere else: no fetch, no connection, no frame, no form.

usage: build_page.py --src web/src --layout dialogs.json --core-js plimbar_core.js
                     --core-wasm plimbar_core.wasm --help-dir resources/help
                     --icon plimbar.ico --version X.Y --output PlimbarMaker.html
"""

import argparse
import base64
import hashlib
import json
import re
import sys


def read(path, mode="r"):
    with open(path, mode, **({} if "b" in mode else {"encoding": "utf-8"})) as f:
        return f.read()


def js_value(value):
    """A JSON value that can stand inside a <script> element."""
    return json.dumps(value, ensure_ascii=False).replace("</", "<\\/").replace("\u2028", "\\u2028").replace("\u2029", "\\u2029")


def help_parts(folder, version):
    """The help page's body, its anchors prefixed with help- so that they
    cannot clash with the page's ids, and its style kept inside #help-body."""
    html = read(f"{folder}/index.htm")
    body = re.search(r"<body[^>]*>(.*)</body>", html, re.S).group(1)
    body = body.replace("@PLIMBAR_VERSION@", version)
    body = re.sub(r'\sname="[^"]*"', "", body)
    body = re.sub(r'\sid="([^"]+)"', r' id="help-\1"', body)
    body = re.sub(r'href="#([^"]+)"', r'href="#help-\1"', body)
    png = base64.b64encode(read(f"{folder}/main.png", "rb")).decode()
    body = body.replace('src="main.png"', f'src="data:image/png;base64,{png}"')
    if re.search(r"<script|\son\w+=|javascript:", body, re.I):
        sys.exit("build_page: the help holds script")
    css = re.sub(r"/\*.*?\*/", "", read(f"{folder}/help.css"), flags=re.S)
    scoped = []
    for selectors, rules in re.findall(r"([^{}]+)\{([^}]*)\}", css):
        parts = []
        for sel in selectors.split(","):
            sel = sel.strip()
            parts.append("#help-body" if sel == "body" else f"#help-body {sel}")
        scoped.append(f"{', '.join(parts)} {{{rules.strip()}}}")
    return body, "\n".join(scoped)


def sha256(text):
    return "'sha256-" + base64.b64encode(hashlib.sha256(text.encode("utf-8")).digest()).decode() + "'"


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for name in ("src", "layout", "core-js", "core-wasm", "help-dir", "icon", "version", "output"):
        ap.add_argument(f"--{name}", required=True)
    a = ap.parse_args()

    page = read(f"{a.src}/page.html")
    help_body, help_css = help_parts(a.help_dir, a.version)
    style = read(f"{a.src}/page.css") + "\n" + help_css
    icon = "data:image/x-icon;base64," + base64.b64encode(read(a.icon, "rb")).decode()
    worker = read(a.core_js) + "\n" + read(f"{a.src}/worker.js")
    wasm = base64.b64encode(read(a.core_wasm, "rb")).decode()
    sources = [read(f"{a.src}/{name}") for name in ("texts.js", "app.js")]
    for s in sources:
        if "</" in s and re.search(r"</script", s, re.I):
            sys.exit("build_page: a script holds </script")
    script = "\n".join([
        f"const DIALOGS = {js_value(json.loads(read(a.layout)))};",
        f"const CORE_WORKER_SOURCE = {js_value(worker)};",
        f"const CORE_WASM_BASE64 = {js_value(wasm)};",
        f"const ICON_URL = {js_value(icon)};",
        *sources,
    ])
    csp = "; ".join([
        "default-src 'none'",
        f"script-src {sha256(script)} 'wasm-unsafe-eval'",
        f"style-src {sha256(style)}",
        "img-src data:",
        "worker-src blob:",
        "base-uri 'none'",
        "form-action 'none'",
    ])
    # Each placeholder once, the script last (its text is not searched again).
    for key, value in (("@CSP@", csp), ("@ICON_URL@", icon), ("@STYLE@", style), ("@HELP@", help_body)):
        if page.count(key) != 1:
            sys.exit(f"build_page: {key} must appear once in page.html")
        page = page.replace(key, value)
    head, tail = page.split("@SCRIPT@")
    with open(a.output, "w", encoding="utf-8", newline="\n") as f:
        f.write(head + script + tail)


if __name__ == "__main__":
    main()
