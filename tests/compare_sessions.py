#!/usr/bin/env python3
"""Compares the exports of one step table (tests/data/session/) carried out by several faces: every
folder must hold the same NAME.wav files as the reference (the editor's own run, tests/session_replay),
byte for byte.

  compare_sessions.py REFERENCE_DIR DIR [DIR ...]"""

import filecmp
import os
import sys


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    reference, others = sys.argv[1], sys.argv[2:]
    names = sorted(n for n in os.listdir(reference) if n.endswith(".wav"))
    failed = not names
    for other in others:
        theirs = sorted(n for n in os.listdir(other) if n.endswith(".wav")) if os.path.isdir(other) else []
        differ = [n for n in names if n not in theirs or not filecmp.cmp(os.path.join(reference, n),
                                                                          os.path.join(other, n), shallow=False)]
        extra = sorted(set(theirs) - set(names))
        failed |= bool(differ or extra or not theirs)
        print(("FAIL  " if differ or extra or not theirs else "ok    ") + f"{other}: {len(names) - len(differ)} of "
              f"{len(names)} exports identical" + (f"; differ: {differ[:5]}" if differ else "") +
              (f"; not exported by the reference: {extra[:5]}" if extra else ""))
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
