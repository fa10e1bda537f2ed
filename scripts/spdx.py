#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The Quvelta developers
"""Keeps the licence line at the top of every file of ours that can hold a comment.

  scripts/spdx.py          add the lines where they are missing
  scripts/spdx.py --check  list the files without them; exit 1 if there are any

Files listed in git are looked at. Pictures, fonts and the published code tables are not ours
to mark (the DejaVu font has its own licence beside it) or cannot hold a comment; nor can Qt
Linguist's translation files keep one (lupdate writes them afresh without comments).
"""
import os
import subprocess
import sys

IDENT = "SPDX-License-Identifier: MIT"
HOLDER = "SPDX-FileCopyrightText: 2026 The Quvelta developers"

SKIP_SUFFIXES = (".png", ".ico", ".ttf", ".jpg", ".pdf", ".ts")
SKIP_PATHS = ("LICENSE", "resources/fonts/", "resources/codes/stgc-")

SLASHES = (".cpp", ".h", ".inc", ".rc")
HASHES = (".txt", ".cmake", ".sh", ".py", ".desktop", ".clang-format", ".gitignore", ".yml")
HASH_NAMES = ("Makefile", "run")
XML = (".ui", ".xml", ".qrc", ".svg", ".md")
ROFF = (".1",)


def style(path):
    name = os.path.basename(path)
    if path.endswith(SLASHES):
        return "//", ""
    if path.endswith(HASHES) or name in HASH_NAMES:
        return "#", ""
    if path.endswith(XML):
        return "<!--", " -->"
    if path.endswith(ROFF):
        return '.\\"', ""
    return None


def wanted(path):
    return not path.endswith(SKIP_SUFFIXES) and not path.startswith(SKIP_PATHS)


def marked(text):
    return IDENT in "\n".join(text.splitlines()[:6])


def add(path, text):
    opener, closer = style(path)
    block = [f"{opener} {IDENT}{closer}", f"{opener} {HOLDER}{closer}"]
    lines = text.splitlines(keepends=True)
    # A shebang, an XML declaration or a doctype must stay first.
    keep = 0
    while keep < len(lines) and lines[keep].startswith(("#!", "<?xml", "<!DOCTYPE")):
        keep += 1
    return "".join(lines[:keep]) + "".join(b + "\n" for b in block) + "".join(lines[keep:])


def main():
    check = "--check" in sys.argv[1:]
    root = subprocess.run(["git", "rev-parse", "--show-toplevel"], capture_output=True,
                          text=True, check=True).stdout.strip()
    os.chdir(root)
    files = subprocess.run(["git", "ls-files"], capture_output=True, text=True,
                           check=True).stdout.split("\n")
    missing = []
    for path in filter(None, files):
        if not wanted(path) or not os.path.isfile(path):
            continue
        if style(path) is None:
            missing.append(path + " (no known comment style)")
            continue
        with open(path, encoding="utf-8") as f:
            text = f.read()
        if marked(text):
            continue
        if check:
            missing.append(path)
        else:
            with open(path, "w", encoding="utf-8") as f:
                f.write(add(path, text))
    for path in missing:
        print(f"no licence line: {path}")
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main())
