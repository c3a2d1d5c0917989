#!/usr/bin/env python3
"""The README's "Layout" against the folders that exist.

Every folder at the top of the tree, every folder under src/ and every folder directly under
tests/ must have exactly one line in the fenced block under "## Layout", and every line there
must name a folder that exists. Folders git ignores (build trees), hidden folders and Python's
__pycache__ are not part of the layout.

Usage: check_layout.py SOURCE_DIR
"""
import os
import re
import subprocess
import sys


def layout_lines(readme):
    text = open(readme, encoding="utf-8").read()
    section = re.search(r"^## Layout\s*$(.*?)(?=^## |\Z)", text, re.M | re.S)
    if not section:
        sys.exit(f"check_layout: {readme} has no '## Layout' section")
    block = re.search(r"^```[^\n]*\n(.*?)^```", section.group(1), re.M | re.S)
    if not block:
        sys.exit(f"check_layout: the Layout section of {readme} has no fenced block")
    listed, problems = [], []
    for n, line in enumerate(block.group(1).splitlines(), 1):
        if not line.strip():
            continue
        first = line.split()[0]
        if not first.endswith("/") or len(line.split()) < 2:
            problems.append(f"Layout line {n} does not start with a folder and its purpose: {line!r}")
            continue
        listed.append(first.rstrip("/"))
    return listed, problems


def ignored_by_git(root, paths):
    if not paths or not os.path.isdir(os.path.join(root, ".git")) and not os.path.isfile(os.path.join(root, ".git")):
        return set()
    try:
        out = subprocess.run(["git", "-C", root, "check-ignore", "--stdin"], input="\n".join(paths) + "\n",
                             capture_output=True, text=True, check=False).stdout
    except OSError:
        return set()
    return {p.rstrip("/") for p in out.splitlines()}


def existing_folders(root):
    def subdirs(rel):
        base = os.path.join(root, rel)
        return sorted(os.path.join(rel, d) if rel else d for d in os.listdir(base)
                      if os.path.isdir(os.path.join(base, d)) and not d.startswith((".", "__")))

    folders = subdirs("")
    if os.path.isdir(os.path.join(root, "src")):
        for dirpath, dirnames, _ in os.walk(os.path.join(root, "src")):
            dirnames[:] = [d for d in dirnames if not d.startswith((".", "__"))]
            folders += [os.path.relpath(os.path.join(dirpath, d), root) for d in dirnames]
    if os.path.isdir(os.path.join(root, "tests")):
        folders += subdirs("tests")
    ignored = ignored_by_git(root, [f + "/" for f in folders])
    # Without git, a configured build tree is known by its cache.
    return sorted(f for f in set(folders)
                  if f not in ignored and not os.path.exists(os.path.join(root, f, "CMakeCache.txt")))


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else ".")
    listed, problems = layout_lines(os.path.join(root, "README.md"))
    folders = existing_folders(root)
    for f in sorted({f for f in listed if listed.count(f) > 1}):
        problems.append(f"{f}/ is listed more than once")
    for f in folders:
        if f not in listed:
            problems.append(f"{f}/ exists but the README's Layout does not list it")
    for f in listed:
        if f not in folders:
            problems.append(f"{f}/ is listed in the README's Layout but there is no such folder")
    if problems:
        print("\n".join("check_layout: " + p for p in problems))
        print(f"check_layout: FAILED: {len(problems)} problem(s)")
        return 1
    print(f"check_layout: OK: {len(folders)} folders, each listed once")
    return 0


if __name__ == "__main__":
    sys.exit(main())
